// Lanes of four (AVX) and eight (AVX-512) doubles, in the interface of
// ScalarLane (cntr/support/lanes.h). Only the files built for those
// processors include this, and each gets its own copies: the lanes are
// internal to the file (an unnamed namespace), so code built for AVX can never
// stand in for a function that runs on every machine. Minimum and maximum are
// the processor's: min(a, b) is a < b ? a : b, max(a, b) is a > b ? a : b.
#ifndef QEL_CNTR_SUPPORT_AVXLANES_H
#define QEL_CNTR_SUPPORT_AVXLANES_H

#include <immintrin.h>

#include "cntr/support/lanes.h"

namespace qel::detail {
namespace {

#if defined(__AVX__)
// Four doubles, the first in the lowest lane.
struct AvxLane : LaneArithmetic<AvxLane> {
    typedef __m256d V;
    typedef __m256d Mask;
    static constexpr unsigned kWidth = 4;
    static __m256d set(double v) { return _mm256_set1_pd(v); }
    // The x and y of four points stored x0 y0 x1 y1 ...
    static void load(const double* xy, __m256d& x, __m256d& y) {
        // x0 y0 x1 y1 | x2 y2 x3 y3, regrouped to x0 y0 x2 y2 | x1 y1 x3 y3.
        const __m256d a = _mm256_loadu_pd(xy), b = _mm256_loadu_pd(xy + 4);
        const __m256d even = _mm256_permute2f128_pd(a, b, 0x20), odd = _mm256_permute2f128_pd(a, b, 0x31);
        x = _mm256_unpacklo_pd(even, odd);
        y = _mm256_unpackhi_pd(even, odd);
    }
    // The lanes of v moved up by one, the last lane of `last` in the first.
    static __m256d prev(__m256d v, __m256d last) {
        return _mm256_shuffle_pd(_mm256_permute2f128_pd(last, v, 0x21), v, 0x5);
    }
    static __m256d sqrt(__m256d a) { return _mm256_sqrt_pd(a); }
    static __m256d min(__m256d a, __m256d b) { return _mm256_min_pd(a, b); }
    static __m256d max(__m256d a, __m256d b) { return _mm256_max_pd(a, b); }
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
#endif

#if defined(__AVX512F__)
// Eight doubles, the first in the lowest lane; tests give bit masks.
struct Avx512Lane : LaneArithmetic<Avx512Lane> {
    typedef __m512d V;
    typedef __mmask8 Mask;
    static constexpr unsigned kWidth = 8;
    static __m512d set(double v) { return _mm512_set1_pd(v); }
    static void load(const double* xy, __m512d& x, __m512d& y) {
        const __m512d a = _mm512_loadu_pd(xy), b = _mm512_loadu_pd(xy + 8);
        x = _mm512_permutex2var_pd(a, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), b);
        y = _mm512_permutex2var_pd(a, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), b);
    }
    static __m512d prev(__m512d v, __m512d last) {
        const __m512i a = _mm512_castpd_si512(v), b = _mm512_castpd_si512(last);
        return _mm512_castsi512_pd(_mm512_mask_alignr_epi64(a, 0xff, a, b, 7));
    }
    // All lanes of the masked forms: g++ 12's plain ones read an undefined
    // vector and warn that it is.
    static __m512d sqrt(__m512d a) { return _mm512_mask_sqrt_pd(a, 0xff, a); }
    static __m512d min(__m512d a, __m512d b) { return _mm512_mask_min_pd(b, 0xff, a, b); }
    static __m512d max(__m512d a, __m512d b) { return _mm512_mask_max_pd(b, 0xff, a, b); }
    static __mmask8 gt(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
    static __mmask8 ge(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ); }
    static __mmask8 lt(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static __mmask8 le(__m512d a, __m512d b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static __mmask8 both(__mmask8 a, __mmask8 b) { return static_cast<__mmask8>(a & b); }
    static __mmask8 either(__mmask8 a, __mmask8 b) { return static_cast<__mmask8>(a | b); }
    static __m512d select(__mmask8 m, __m512d a, __m512d b) { return _mm512_mask_blend_pd(m, b, a); }
    static unsigned bits(__mmask8 m) { return m; }
};
#endif

}  // namespace
}  // namespace qel::detail

#endif
