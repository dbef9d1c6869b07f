#include "cntr/support/lanes.h"

#include <algorithm>
#include <atomic>

namespace {

kr_Lanes machineLanes() {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return kr_Lanes::eAvx512;
    if (__builtin_cpu_supports("avx")) return kr_Lanes::eAvx;
#endif
#if defined(__SSE2__)
    return kr_Lanes::eSse2;
#else
    return kr_Lanes::eScalar;
#endif
}

// Constant-initialised, so a limit set during static initialisation holds.
std::atomic<int> gLimit{static_cast<int>(kr_Lanes::eAvx512)};

}  // namespace

kr_Lanes kf_Lanes() {
    static const kr_Lanes machine = machineLanes();
    return static_cast<kr_Lanes>(
        std::min(gLimit.load(std::memory_order_relaxed), static_cast<int>(machine)));
}

void kf_LimitLanes(kr_Lanes widest) { gLimit.store(static_cast<int>(widest), std::memory_order_relaxed); }
