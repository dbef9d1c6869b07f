// Two lanes of doubles (SSE2) for the loops that take two points at a time:
// the inside test's ray search, the centroid's sums and the closest point's
// box test. Each of those loops keeps its scalar form, which decides the same
// and serves builds without SSE2.
#ifndef QEL_CNTR_LANES_H
#define QEL_CNTR_LANES_H

#if defined(__SSE2__)
#include <emmintrin.h>

#include "platform/std/vector.h"

// The x coordinates of a and b, a's in the low lane; the same for y.
inline __m128d kf_LaneXs(const krVector<2>& a, const krVector<2>& b) { return _mm_set_pd(b.x(), a.x()); }
inline __m128d kf_LaneYs(const krVector<2>& a, const krVector<2>& b) { return _mm_set_pd(b.y(), a.y()); }

// |v| in each lane: the sign bits cleared.
inline __m128d kf_LaneAbs(__m128d v) {
    return _mm_and_pd(v, _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff)));
}

// The lanes where |v| <= limit; never those holding NaN.
inline __m128d kf_LaneWithin(__m128d v, __m128d limit) { return _mm_cmple_pd(kf_LaneAbs(v), limit); }
#endif

#endif
