// The ray search's screen with four lanes, for processors with AVX. This file
// alone is built for AVX, and it defines nothing that another file defines
// too: everything here is its own (the lanes are local, the screen is
// instantiated for them only), so no function built for AVX can stand in for
// one that runs on every machine.
#include <immintrin.h>

#include <cstdint>

#include "cntr/locate/quadrants.h"

namespace qel::detail {

namespace {
// Four directions, the first in the lowest lane.
struct AvxLane {
    typedef __m256d V;
    typedef __m256d Mask;
    static constexpr unsigned kWidth = 4;
    static __m256d set(double v) { return _mm256_set1_pd(v); }
    static void load(const double* xy, __m256d& x, __m256d& y) {
        // x0 y0 x1 y1 | x2 y2 x3 y3, regrouped to x0 y0 x2 y2 | x1 y1 x3 y3.
        const __m256d a = _mm256_loadu_pd(xy), b = _mm256_loadu_pd(xy + 4);
        const __m256d even = _mm256_permute2f128_pd(a, b, 0x20), odd = _mm256_permute2f128_pd(a, b, 0x31);
        x = _mm256_unpacklo_pd(even, odd);
        y = _mm256_unpackhi_pd(even, odd);
    }
    static __m256d add(__m256d a, __m256d b) { return _mm256_add_pd(a, b); }
    static __m256d sub(__m256d a, __m256d b) { return _mm256_sub_pd(a, b); }
    static __m256d mul(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }
    static __m256d div(__m256d a, __m256d b) { return _mm256_div_pd(a, b); }
    static __m256d neg(__m256d a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
    static __m256d gt(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static __m256d ge(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    static __m256d lt(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static __m256d le(__m256d a, __m256d b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static __m256d both(__m256d a, __m256d b) { return _mm256_and_pd(a, b); }
    static __m256d either(__m256d a, __m256d b) { return _mm256_or_pd(a, b); }
    static __m256d all(bool v) { return _mm256_castsi256_pd(_mm256_set1_epi64x(v ? -1 : 0)); }
    static __m256d select(__m256d m, __m256d a, __m256d b) { return _mm256_blendv_pd(b, a, m); }
    static unsigned bits(__m256d m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
};
}  // namespace

std::uint64_t screenFirstQuarterAvx(const double* xy, double px, double py, double near, double qHigh,
                                       double lastQuarter, bool useless) {
    return screenBlock<0, AvxLane>(xy, px, py, near, qHigh, lastQuarter, useless);
}

}  // namespace qel::detail
