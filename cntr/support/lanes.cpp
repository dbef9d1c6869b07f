#include "cntr/support/lanes.h"

#include <algorithm>
#include <atomic>

namespace qel::detail {

namespace {

Lanes machineLanes() {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return Lanes::eAvx512;
    if (__builtin_cpu_supports("avx")) return Lanes::eAvx;
#endif
#if defined(__SSE2__)
    return Lanes::eSse2;
#else
    return Lanes::eScalar;
#endif
}

// Constant-initialised, so a limit set during static initialisation holds.
std::atomic<int> gLimit{static_cast<int>(Lanes::eAvx512)};

}  // namespace

Lanes widestLanes() {
    static const Lanes machine = machineLanes();
    return static_cast<Lanes>(
        std::min(gLimit.load(std::memory_order_relaxed), static_cast<int>(machine)));
}

void limitLanes(Lanes widest) { gLimit.store(static_cast<int>(widest), std::memory_order_relaxed); }

}  // namespace qel::detail
