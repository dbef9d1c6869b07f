// The lanes of doubles the fast loops use: two (SSE2) for the inside test's
// ray search, four (AVX) for its screen, and two, four or eight (SSE2, AVX,
// AVX-512) for the passes over a contour's vertices
// (cntr/support/vertexpasses.h), where the machine has them. Each of those
// loops keeps its scalar form, which decides the same and serves builds
// without SSE2.
#ifndef QEL_CNTR_SUPPORT_LANES_H
#define QEL_CNTR_SUPPORT_LANES_H

#include <cmath>
#include <cstring>

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

// The lane types the fast loops are written for, one operation a function:
// V holds the doubles of the lanes and Mask the outcome of a test in each.
// These two serve every machine; the AVX and AVX-512 ones live in
// cntr/support/avxlanes.h, for the files built for those processors.
// What every width spells alike, its values being a double or a vector of
// them (Lane::V): their arithmetic, and their loads and stores. Lane is the
// lane type itself, so that the copies for the AVX lanes, internal to their
// files, stay apart from those that run on every machine.
template <class Lane>
struct LaneArithmetic {
    template <class L = Lane>
    static typename L::V get(const double* from) {
        typename L::V v;
        std::memcpy(&v, from, sizeof v);
        return v;
    }
    template <class V>
    static void put(double* to, V v) { std::memcpy(to, &v, sizeof v); }
    template <class V>
    static V add(V a, V b) { return a + b; }
    template <class V>
    static V sub(V a, V b) { return a - b; }
    template <class V>
    static V mul(V a, V b) { return a * b; }
    template <class V>
    static V div(V a, V b) { return a / b; }
    template <class V>
    static V neg(V a) { return -a; }
};

// One lane: plain doubles and bools.
struct ScalarLane : LaneArithmetic<ScalarLane> {
    typedef double V;
    typedef bool Mask;
    static constexpr unsigned kWidth = 1;
    static double set(double v) { return v; }
    static void load(const double* xy, double& x, double& y) { x = xy[0], y = xy[1]; }
    // The lanes of v moved up by one, the last lane of `last` in the first.
    static double prev(double, double last) { return last; }
    static double sqrt(double a) { return std::sqrt(a); }
    // As the processor's: the second operand unless the first is less (greater).
    static double min(double a, double b) { return a < b ? a : b; }
    static double max(double a, double b) { return a > b ? a : b; }
    static bool gt(double a, double b) { return a > b; }
    static bool ge(double a, double b) { return a >= b; }
    static bool lt(double a, double b) { return a < b; }
    static bool le(double a, double b) { return a <= b; }
    static bool both(bool a, bool b) { return a && b; }
    static bool either(bool a, bool b) { return a || b; }
    static bool all(bool v) { return v; }
    static double select(bool m, double a, double b) { return m ? a : b; }
    static unsigned bits(bool m) { return m ? 1u : 0u; }
};

#if defined(__SSE2__)
// Two lanes, the first in the low one.
struct Sse2Lane : LaneArithmetic<Sse2Lane> {
    typedef __m128d V;
    typedef __m128d Mask;
    static constexpr unsigned kWidth = 2;
    static __m128d set(double v) { return _mm_set1_pd(v); }
    static void load(const double* xy, __m128d& x, __m128d& y) {
        const __m128d a = _mm_loadu_pd(xy), b = _mm_loadu_pd(xy + 2);
        x = _mm_unpacklo_pd(a, b);
        y = _mm_unpackhi_pd(a, b);
    }
    static __m128d prev(__m128d v, __m128d last) { return _mm_shuffle_pd(last, v, 1); }
    static __m128d sqrt(__m128d a) { return _mm_sqrt_pd(a); }
    static __m128d min(__m128d a, __m128d b) { return _mm_min_pd(a, b); }
    static __m128d max(__m128d a, __m128d b) { return _mm_max_pd(a, b); }
    static __m128d gt(__m128d a, __m128d b) { return _mm_cmpgt_pd(a, b); }
    static __m128d ge(__m128d a, __m128d b) { return _mm_cmpge_pd(a, b); }
    static __m128d lt(__m128d a, __m128d b) { return _mm_cmplt_pd(a, b); }
    static __m128d le(__m128d a, __m128d b) { return _mm_cmple_pd(a, b); }
    static __m128d both(__m128d a, __m128d b) { return _mm_and_pd(a, b); }
    static __m128d either(__m128d a, __m128d b) { return _mm_or_pd(a, b); }
    static __m128d all(bool v) { return _mm_castsi128_pd(_mm_set1_epi64x(v ? -1 : 0)); }
    static __m128d select(__m128d m, __m128d a, __m128d b) {
        return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b));
    }
    static unsigned bits(__m128d m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
};
#endif

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
