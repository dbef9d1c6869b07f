// The pointer behind a shape's owned caches (keyed maps, vertex grids, the
// segment index): null until the query that needs it first runs, owned by the
// shape, and copied deeply with it, so a copy answers from its own caches and
// never shares them.
#ifndef QEL_CNTR_SUPPORT_OWNEDCACHE_H
#define QEL_CNTR_SUPPORT_OWNEDCACHE_H

#include <memory>
#include <utility>

template <class T>
class kr_OwnedCache : public std::unique_ptr<T> {
public:
    kr_OwnedCache() noexcept = default;
    kr_OwnedCache(std::unique_ptr<T> p) noexcept : std::unique_ptr<T>(std::move(p)) {}
    kr_OwnedCache(const kr_OwnedCache& o)
        : std::unique_ptr<T>(o ? std::make_unique<T>(*o) : nullptr) {}
    kr_OwnedCache(kr_OwnedCache&&) noexcept = default;
    // The copy is made before this one lets go of its own, so a copy that
    // fails leaves it as it was.
    kr_OwnedCache& operator=(const kr_OwnedCache& o) {
        kr_OwnedCache copy(o);
        return *this = std::move(copy);
    }
    kr_OwnedCache& operator=(kr_OwnedCache&&) noexcept = default;
};

#endif
