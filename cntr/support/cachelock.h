// The caches of shapes that other shapes share.
//
// A shape held through a handle (a hole, a member of a set, a cached hull)
// can be reached from several owners, and so from several threads at once,
// although each thread works on its own top-level shape. Its caches follow
// two rules:
//   - a cached value is published behind a CacheFlag: written first, then
//     the flag set with release order; a reader that sees the flag set (an
//     acquire load) sees the value, which nothing changes until the shape is
//     changed (a mutation, the caller's to serialise);
//   - the fill of a cache, and every use of a keyed cache (whose entries give
//     way to new ones), runs under the shape's CacheLock.
// A shape with no handle on it (refCount() == 0) is reachable only through
// its owner, which the caller already serialises: its lock takes nothing and
// its flags cost a plain load or store, so it pays as before.
//
// Under a lock only the locked shape's own caches are touched; work that
// reads another shape's caches (a region's holes, a set's members) is done
// before, and its result installed under the lock. The locks are striped by
// address and recursive, so a fill that fills another cache of the same shape
// may take its lock again, and no thread ever waits for a second stripe while
// it holds one.
#ifndef QEL_CNTR_SUPPORT_CACHELOCK_H
#define QEL_CNTR_SUPPORT_CACHELOCK_H

#include <atomic>
#include <mutex>
#include <utility>

#include "platform/std/handle.h"

namespace qel::detail {

// A cache's validity flag: a bool that publishes what was written before it.
// Copies take the value.
class CacheFlag {
public:
    CacheFlag(bool v = false) noexcept : v_(v) {}
    CacheFlag(const CacheFlag& o) noexcept : v_(static_cast<bool>(o)) {}
    CacheFlag& operator=(const CacheFlag& o) noexcept { return *this = static_cast<bool>(o); }
    CacheFlag& operator=(bool v) noexcept {
        v_.store(v, std::memory_order_release);
        return *this;
    }
    operator bool() const noexcept { return v_.load(std::memory_order_acquire); }
    // Sets the flag; whether it was set already. Of several threads exactly
    // one is told it was not.
    bool testAndSet() noexcept { return v_.exchange(true, std::memory_order_acq_rel); }

private:
    std::atomic<bool> v_;
};

// Holds the cache lock of a shape while the shape is shared; nothing
// otherwise.
class CacheLock {
public:
    explicit CacheLock(const krRepBase& shape);
    ~CacheLock() {
        if (mutex_) mutex_->unlock();
    }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;

private:
    std::recursive_mutex* mutex_ = nullptr;
};

// A cached value behind its flag.
template <class T>
struct Kept {
    CacheFlag valid;
    T value{};
};

// Installs value, worked out aside, as the cached one unless another thread
// was first; gives the cached value either way.
template <class T>
T install(const krRepBase& shape, CacheFlag& valid, T& slot, T value) {
    CacheLock lock(shape);
    if (!valid) {
        slot = std::move(value);
        valid = true;
    }
    return slot;
}

template <class T>
T install(const krRepBase& shape, Kept<T>& kept, T value) {
    return install(shape, kept.valid, kept.value, std::move(value));
}

}  // namespace qel::detail

#endif
