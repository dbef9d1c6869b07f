// The lanes of doubles the fast loops use: two (SSE2) for the inside test's
// ray search, four (AVX) for its screen, and two, four or eight (SSE2, AVX,
// AVX-512) for the passes over a contour's vertices
// (cntr/support/vertexpasses.h), where the machine has them. Each of those
// loops keeps its scalar form, which decides the same and serves builds
// without SSE2.
#ifndef QEL_CNTR_SUPPORT_LANES_H
#define QEL_CNTR_SUPPORT_LANES_H

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/std/vector.h"

namespace qel::detail {

// The widest lanes a fast loop may take.
enum class Lanes : int { eScalar = 0, eSse2 = 1, eAvx = 2, eAvx512 = 3 };

// What the build and the machine offer (AVX and AVX-512 only where the
// processor reports them), narrowed by limitLanes. Read at the start of
// each fast loop.
Lanes widestLanes();

// Narrows every fast loop to at most `widest` from now on, for all threads, so
// that each path can be run on one machine; Lanes::eAvx512 lifts the limit.
// The library never calls it: it is there for its tests.
void limitLanes(Lanes widest);

#if defined(__SSE2__)

// The x coordinates of a and b, a's in the low lane; the same for y.
inline __m128d laneXs(const krVector<2>& a, const krVector<2>& b) { return _mm_set_pd(b.x(), a.x()); }
inline __m128d laneYs(const krVector<2>& a, const krVector<2>& b) { return _mm_set_pd(b.y(), a.y()); }

// |v| in each lane: the sign bits cleared.
inline __m128d laneAbs(__m128d v) {
    return _mm_and_pd(v, _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff)));
}

// The lanes where |v| <= limit; never those holding NaN.
inline __m128d laneWithin(__m128d v, __m128d limit) { return _mm_cmple_pd(laneAbs(v), limit); }
#endif

}  // namespace qel::detail

#endif
