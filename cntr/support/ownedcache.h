// The pointer behind a shape's owned caches (keyed maps, vertex grids, the
// segment index): null until the query that needs it first runs, owned by the
// shape, and copied deeply with it, so a copy answers from its own caches and
// never shares them.
#ifndef QEL_CNTR_SUPPORT_OWNEDCACHE_H
#define QEL_CNTR_SUPPORT_OWNEDCACHE_H

#include <memory>
#include <utility>

namespace qel::detail {

template <class T>
class OwnedCache : public std::unique_ptr<T> {
public:
    OwnedCache() noexcept = default;
    OwnedCache(std::unique_ptr<T> p) noexcept : std::unique_ptr<T>(std::move(p)) {}
    OwnedCache(const OwnedCache& o)
        : std::unique_ptr<T>(o ? std::make_unique<T>(*o) : nullptr) {}
    OwnedCache(OwnedCache&&) noexcept = default;
    // The copy is made before this one lets go of its own, so a copy that
    // fails leaves it as it was.
    OwnedCache& operator=(const OwnedCache& o) {
        OwnedCache copy(o);
        return *this = std::move(copy);
    }
    OwnedCache& operator=(OwnedCache&&) noexcept = default;
};

}  // namespace qel::detail

#endif
