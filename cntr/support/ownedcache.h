// The pointer behind a shape's owned caches (keyed maps, vertex grids, the
// segment index): null until the query that needs it first runs, owned by the
// shape, and copied deeply with it, so a copy answers from its own caches and
// never shares them.
#ifndef QEL_CNTR_SUPPORT_OWNEDCACHE_H
#define QEL_CNTR_SUPPORT_OWNEDCACHE_H

#include <atomic>
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

// A shape's whole record of cached answers, made on the first query that
// writes or reads a cache. A shape that is built, copied and dropped without
// being asked anything (the common lot of a contour made from a list of
// points) never pays for setting up its caches. Copies take a deep copy of the
// record; a copy of a shape without one has none either.
//
// Const queries of a shape shared through handles may run in several threads
// at once (cachelock.h): the first of them to need the record publishes it
// with a compare-and-swap, and a thread that lost the race drops its own.
template <class T>
class OwnedRecord {
public:
    OwnedRecord() noexcept = default;
    OwnedRecord(const OwnedRecord& o) : p_(o.peek() ? new T(*o.peek()) : nullptr) {}
    OwnedRecord& operator=(const OwnedRecord& o) {
        OwnedRecord copy(o);
        return *this = std::move(copy);
    }
    OwnedRecord& operator=(OwnedRecord&& o) noexcept {
        T* old = p_.exchange(o.p_.exchange(nullptr));
        delete old;
        return *this;
    }
    ~OwnedRecord() { delete p_.load(std::memory_order_relaxed); }

    // The record, made now if there is none.
    T& operator*() const {
        if (T* p = peek()) return *p;
        return make();
    }
    T* operator->() const { return &**this; }
    // The record, or null while no query has needed one.
    T* peek() const noexcept { return p_.load(std::memory_order_acquire); }

private:
    T& make() const {
        auto fresh = std::make_unique<T>();
        T* seen = nullptr;
        if (p_.compare_exchange_strong(seen, fresh.get(), std::memory_order_acq_rel, std::memory_order_acquire))
            return *fresh.release();
        return *seen;
    }
    mutable std::atomic<T*> p_{nullptr};
};

}  // namespace qel::detail

#endif
