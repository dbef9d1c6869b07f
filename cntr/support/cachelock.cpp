#include "cntr/support/cachelock.h"

#include <cstdint>
#include <functional>

namespace qel::detail {

namespace {
// Enough stripes that threads filling the caches of different shapes seldom
// meet on one; each holds its own line.
constexpr std::size_t kStripes = 64;

struct alignas(64) Stripe {
    std::recursive_mutex mutex;
};

std::recursive_mutex& stripeOf(const void* shape) {
    static Stripe stripes[kStripes];
    const std::size_t h = std::hash<const void*>()(shape);
    // Shapes are larger than 64 bytes: the low bits carry nothing.
    return stripes[((h >> 6) ^ (h >> 12)) % kStripes].mutex;
}
}  // namespace

CacheLock::CacheLock(const krRepBase& shape) {
    if (shape.refCount() == 0) return;
    mutex_ = &stripeOf(&shape);
    mutex_->lock();
}

}  // namespace qel::detail
