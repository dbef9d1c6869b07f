#include "cntr/support/vertexpasses.h"

#include "cntr/support/lanes.h"

namespace qel::detail {

namespace {
template <class L>
constexpr VertexPasses passesIn() {
    return {&segmentSumsIn<L>, &boundsIn<L>, &nearSegmentsIn<L>, &nearCapsulesIn<L>, &nearStretchesIn<L>, &centroidSumsIn<L>};
}

const VertexPasses kScalar = passesIn<ScalarLane>();
#if defined(__SSE2__)
const VertexPasses kSse2 = passesIn<Sse2Lane>();
#endif
}  // namespace

const VertexPasses& vertexPasses() {
    const Lanes lanes = widestLanes();
#if defined(QEL_WIDE_PASSES)
    if (lanes == Lanes::eAvx512) return kAvx512Passes;
    if (lanes == Lanes::eAvx) return kAvxPasses;
#endif
#if defined(__SSE2__)
    if (lanes != Lanes::eScalar) return kSse2;
#endif
    return kScalar;
}

SegmentSums sumSegments(const krVector<2>* p, std::size_t n, bool closed, bool mean) {
    SegmentSums s;
    const auto add = [&](std::size_t i, const krVector<2>& a, const krVector<2>& b) {
        const double d = a.distance(b);
        s.length[i % 8] += d;
        if (!mean) return;
        s.x[i % 8] += 0.5 * (a.x() + b.x()) * d;
        s.y[i % 8] += 0.5 * (a.y() + b.y()) * d;
    };
    if (n == 0) return s;
    // The closing segment is segment 0.
    if (closed) add(0, p[n - 1], p[0]);
    // The lanes take whole groups of eight from the eighth segment on.
    const std::size_t from = n < 8 ? n : 8, to = n < 16 ? from : n / 8 * 8;
    for (std::size_t i = 1; i < from; ++i) add(i, p[i - 1], p[i]);
    if (to > from) vertexPasses().segmentSums(reinterpret_cast<const double*>(p), from, to, mean, s);
    for (std::size_t i = to; i < n; ++i) add(i, p[i - 1], p[i]);
    return s;
}

krRect boundingRect(const krVector<2>* p, std::size_t n) {
    const double* xy = reinterpret_cast<const double*>(p);
    double lo[2], hi[2];
    vertexPasses().bounds(xy, n, lo, hi);
    // A least bound of zero keeps the sign of the first zero that reached it,
    // which only the one-lane pass knows.
    if (lo[0] == 0.0 || lo[1] == 0.0) boundsIn<ScalarLane>(xy, n, lo, hi);
    // Enclosing the two corners sets them as they are, but for the upper one's
    // zeros, which become +0 as in a rectangle grown point by point.
    const krVector<2> zero(0.0, 0.0);
    return krRect(krVector<2>(lo[0], lo[1]), zero).enclose(krRect(krVector<2>(hi[0], hi[1]), zero));
}

}  // namespace qel::detail
