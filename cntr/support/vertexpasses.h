// The passes that read a contour's vertex list once: the sums of its segment
// lengths (and of their midpoints, weighted), the bounds of its points, the
// box screen of the closest-point walk, and the polygon centroid's sums. Each
// is written once for every width of lanes (a lane type of cntr/support/lanes.h
// or cntr/support/avxlanes.h) and taken through vertexPasses(), which picks the
// widest lanes widestLanes() allows. Every width does the same operations on the
// same values in the same order, so all give the same bits.
//
// Points are read as the doubles x0 y0 x1 y1 ... of a krVector<2> list.
#ifndef QEL_CNTR_SUPPORT_VERTEXPASSES_H
#define QEL_CNTR_SUPPORT_VERTEXPASSES_H

#include <cstddef>
#include <cstdint>

#include "cntr/support/tolerance.h"
#include "platform/std/geometry.h"
#include "platform/std/vector.h"

namespace qel::detail {

// Running sums of segments (p[i-1], p[i]): segment i adds to sums [i % 8],
// its length d to `length`, and 0.5 (a + b) d, its midpoint weighted by its
// length, to `x` and `y`. Eight independent sums let eight lanes add side by
// side; they are merged in one fixed order (mergeEight), whatever the
// width.
struct SegmentSums {
    double length[8] = {}, x[8] = {}, y[8] = {};
};

// The polygon centroid's four running sums: the fan triangle (o, p[i-1], p[i])
// adds to lane i % 4 twice its signed area w and (u + v) w, where u, v are its
// corners about o; triangles with |w| <= 1e-15 add nothing.
struct CentroidLanes {
    double w[4] = {}, x[4] = {}, y[4] = {};
};

// Eight stretches of a contour, as the nearest-point index keeps a node's
// children: each one's box, and its chord a-b with the reach r within which
// all its points lie.
struct StretchLanes {
    double lox[8], loy[8], hix[8], hiy[8], ax[8], ay[8], bx[8], by[8], r[8];
};

struct VertexPasses {
    // The segments ending at p[i] for i in [from, to), both multiples of 8 and
    // from at least 8; with `mean`, the midpoint sums too.
    void (*segmentSums)(const double* xy, std::size_t from, std::size_t to, bool mean, SegmentSums& s);
    // The least and greatest x and y of the n >= 1 points, p[0]'s first and
    // the others in order, each replacing the bound only when strictly beyond
    // it (so a NaN in p[0] stays). Where a least bound is zero its sign may be
    // that of another zero than the first: callers needing it take the
    // scalar pass.
    void (*bounds)(const double* xy, std::size_t n, double (&lo)[2], double (&hi)[2]);
    // Of the 64 segments ending at p[0] ... p[63] (xy points at p[0]; p[-1]
    // is read), the bits of those whose box may come within a squared
    // distance `bound` of (px, py), or which have a coordinate that is not
    // finite. (px, py) must be finite.
    std::uint64_t (*nearSegments)(const double* xy, double px, double py, double bound);
    // Of the `count` segments ending at p[0] ... p[count - 1] (count a
    // multiple of 8 up to 64; xy points at p[0] and p[-1] is read), the bits
    // of those that may come as near (px, py) as best: all but those
    // capsuleBeyondIn shows farther. For each of those, dist[j] is its
    // distance from (px, py) as krLineSeg::distToPoint gives it, or -1 where
    // that takes its scaled form (segmentDistanceIn).
    std::uint64_t (*nearCapsules)(const double* xy, std::size_t count, double px, double py, double best,
                                  double* dist);
    // Of the eight stretches, the bits of those that may come as near (px, py)
    // as best: whose box's squared gap, written to gaps, is within `bound`
    // (beyondSquare(best)) and whose capsule capsuleBeyondIn does not show
    // farther. (px, py) must be finite.
    unsigned (*nearStretches)(const StretchLanes& s, double px, double py, double best, double bound,
                              double (&gaps)[8]);
    // The triangles ending at p[i] for i in [from, to), both multiples of 4
    // and from at least 4, corners taken about (ox, oy).
    void (*centroidSums)(const double* xy, std::size_t from, std::size_t to, double ox, double oy,
                         CentroidLanes& s);
};

// The passes in the widest lanes widestLanes() allows now.
const VertexPasses& vertexPasses();

// The sums of every segment of the n points, in segment order: for a closed
// list the closing segment (p[n-1], p[0]) is segment 0.
SegmentSums sumSegments(const krVector<2>* p, std::size_t n, bool closed, bool mean);
// The rectangle that enclosing the n >= 1 points one after another gives
// (krRect::enclose from krRect(p[0], (0, 0)) on).
krRect boundingRect(const krVector<2>* p, std::size_t n);

// The passes of a given width, for the files that build them.
#if defined(QEL_WIDE_PASSES)
extern const VertexPasses kAvxPasses;
extern const VertexPasses kAvx512Passes;
#endif

// ((s0 + s1) + (s2 + s3)) + ((s4 + s5) + (s6 + s7)).
inline double mergeEight(const double (&s)[8]) {
    return ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
}

// Asks for the `lines` cache lines of 64 bytes that start 4 KB past xy (the
// vertices a pass reads a few blocks on): the passes do enough per vertex
// that the processor's own look-ahead falls behind on lists beyond the caches.
// Fetching past the end of a list is harmless. Local to each file, as the
// passes are.
static inline void kf_FetchAhead(const double* xy, unsigned lines) {
    for (unsigned k = 0; k < lines; ++k) __builtin_prefetch(xy + 512 + 8 * k);
}

// ---------------------------------------------------------------------------
// The passes for a lane type L. Instantiated in the file that builds L's
// width, for L internal to it; they call nothing inline that another file
// could build differently (kfScaledLength lives out of line).

template <class L>
void segmentSumsIn(const double* xy, std::size_t from, std::size_t to, bool mean, SegmentSums& s) {
    typedef typename L::V V;
    constexpr unsigned W = L::kWidth, R = 8 / W, all = (1u << W) - 1;
    V length[R], sx[R], sy[R];
    for (unsigned r = 0; r < R; ++r) {
        length[r] = L::get(s.length + r * W);
        sx[r] = L::get(s.x + r * W);
        sy[r] = L::get(s.y + r * W);
    }
    // kfLength's range for the plain root; the others are scaled, lane by lane.
    const V lowest = L::set(kfPlainSquareLow), highest = L::set(kfPlainSquareHigh), half = L::set(0.5);
    // The segments' starts are the ends one lane back.
    V lastx = L::set(xy[2 * from - 2]), lasty = L::set(xy[2 * from - 1]);
    for (std::size_t i = from; i < to; i += 8) {
        kf_FetchAhead(xy + 2 * i, 2);
        for (unsigned r = 0; r < R; ++r) {
            V bx, by;
            L::load(xy + 2 * (i + r * W), bx, by);
            const V ax = L::prev(bx, lastx), ay = L::prev(by, lasty);
            lastx = bx;
            lasty = by;
            const V dx = L::sub(ax, bx), dy = L::sub(ay, by);
            const V sq = L::add(L::mul(dx, dx), L::mul(dy, dy));
            V d = L::sqrt(sq);
            const unsigned plain = L::bits(L::both(L::ge(sq, lowest), L::le(sq, highest)));
            if (plain != all) {
                double ds[W], xs[W], ys[W];
                L::put(ds, d);
                L::put(xs, dx);
                L::put(ys, dy);
                for (unsigned j = 0; j < W; ++j)
                    if (!(plain >> j & 1)) ds[j] = kfScaledLength(xs[j], ys[j]);
                d = L::get(ds);
            }
            length[r] = L::add(length[r], d);
            if (mean) {
                sx[r] = L::add(sx[r], L::mul(L::mul(half, L::add(ax, bx)), d));
                sy[r] = L::add(sy[r], L::mul(L::mul(half, L::add(ay, by)), d));
            }
        }
    }
    for (unsigned r = 0; r < R; ++r) {
        L::put(s.length + r * W, length[r]);
        L::put(s.x + r * W, sx[r]);
        L::put(s.y + r * W, sy[r]);
    }
}

template <class L>
void boundsIn(const double* xy, std::size_t n, double (&lo)[2], double (&hi)[2]) {
    typedef typename L::V V;
    constexpr unsigned W = L::kWidth;
    // Every lane starts at p[0], so a NaN there is in every lane and stays;
    // later NaNs never pass the tests.
    V lox = L::set(xy[0]), loy = L::set(xy[1]), hix = lox, hiy = loy;
    std::size_t i = 1;
    for (; i + W <= n; i += W) {
        if (i % 8 < W) kf_FetchAhead(xy + 2 * i, 2);
        V x, y;
        L::load(xy + 2 * i, x, y);
        lox = L::min(x, lox);
        loy = L::min(y, loy);
        hix = L::max(x, hix);
        hiy = L::max(y, hiy);
    }
    double l[2][W], h[2][W];
    L::put(l[0], lox);
    L::put(l[1], loy);
    L::put(h[0], hix);
    L::put(h[1], hiy);
    for (int c = 0; c < 2; ++c) {
        lo[c] = l[c][0];
        hi[c] = h[c][0];
        for (unsigned j = 1; j < W; ++j) {
            if (l[c][j] < lo[c]) lo[c] = l[c][j];
            if (h[c][j] > hi[c]) hi[c] = h[c][j];
        }
        for (std::size_t k = i; k < n; ++k) {
            if (xy[2 * k + c] < lo[c]) lo[c] = xy[2 * k + c];
            if (xy[2 * k + c] > hi[c]) hi[c] = xy[2 * k + c];
        }
    }
}

template <class L>
std::uint64_t nearSegmentsIn(const double* xy, double px, double py, double bound) {
    typedef typename L::V V;
    constexpr unsigned W = L::kWidth, all = (1u << W) - 1;
    const V qx = L::set(px), qy = L::set(py), zero = L::set(0.0), b = L::set(bound);
    std::uint64_t todo = 0;
    kf_FetchAhead(xy, 16);
    // The segments' starts are the ends one lane back, the first of them the
    // point before xy.
    V lastx = L::set(xy[-2]), lasty = L::set(xy[-1]);
    for (unsigned j = 0; j < 64; j += W) {
        V bx, by;
        L::load(xy + 2 * j, bx, by);
        const V ax = L::prev(bx, lastx), ay = L::prev(by, lasty);
        lastx = bx;
        lasty = by;
        // The gaps from the point to the segment's box along x and y.
        const V gx = L::max(L::max(L::sub(L::min(ax, bx), qx), L::sub(qx, L::max(ax, bx))), zero);
        const V gy = L::max(L::max(L::sub(L::min(ay, by), qy), L::sub(qy, L::max(ay, by))), zero);
        // Where the sum of the coordinates is finite, so is each of them (a
        // sum that overflows only sends its segment to the plain test).
        const V sum = L::add(L::add(ax, bx), L::add(ay, by));
        const auto finite = L::le(L::sub(sum, sum), zero);
        const auto far = L::gt(L::add(L::mul(gx, gx), L::mul(gy, gy)), b);
        todo |= static_cast<std::uint64_t>(L::bits(L::both(finite, far)) ^ all) << j;
    }
    return todo;
}

// In each lane, whether every point within r of segment a-b keeps farther from
// p than best, by the squared distance from p to a-b taken without root or
// quotient: the distance to the nearer end where the foot falls outside, else
// the cross product over the length. With m the size of p - a and b - a, this
// and the distances the queries compute (of krLineSeg, of two points) are
// within a few units in the last place of m + r of the exact ones; the room
// of kRounding (m + r) leaves them far behind. Where the two forms of the
// segment's distance would be chosen differently this one takes the distance
// to the line, which is no larger. Sizes whose squares may overflow or lose
// digits decide nothing (and nor does a NaN).
template <class L>
typename L::Mask capsuleBeyondIn(typename L::V ax, typename L::V ay, typename L::V bx, typename L::V by,
                                 typename L::V r, typename L::V px, typename L::V py, typename L::V best) {
    typedef typename L::V V;
    const V zero = L::set(0.0);
    const auto abs = [zero](V v) { return L::max(v, L::sub(zero, v)); };
    const V abx = L::sub(bx, ax), aby = L::sub(by, ay), apx = L::sub(px, ax), apy = L::sub(py, ay);
    const V m = L::add(L::add(L::add(abs(abx), abs(aby)), abs(apx)), abs(apy));
    const V dd = L::add(L::mul(abx, abx), L::mul(aby, aby));
    const auto usable = L::both(L::both(L::gt(m, L::set(1e-100)), L::gt(L::set(1e100), m)),
                                L::ge(dd, L::set(knTolerance::kSquareFloor)));
    const V reach = L::add(L::add(L::mul(best, L::set(1.0 + knTolerance::kRoom)), r),
                           L::mul(L::set(4 * knTolerance::kRounding), L::add(m, r)));
    const V reach2 = L::mul(reach, reach);
    const V t = L::add(L::mul(apx, abx), L::mul(apy, aby));
    const V bpx = L::sub(px, bx), bpy = L::sub(py, by);
    const V cross = L::sub(L::mul(apx, aby), L::mul(apy, abx));
    // The foot before a, past b, or between them.
    const auto before = L::le(t, zero), past = L::ge(t, dd);
    const V square = L::select(before, L::add(L::mul(apx, apx), L::mul(apy, apy)),
                               L::select(past, L::add(L::mul(bpx, bpx), L::mul(bpy, bpy)), L::mul(cross, cross)));
    const V limit = L::select(before, reach2, L::select(past, reach2, L::mul(reach2, dd)));
    return L::both(usable, L::gt(square, limit));
}

// In each lane, the distance from p to segment a-b by krLineSeg::distToPoint's
// steps, operation for operation, so that it is the same double: the quotient
// t places the foot, the distance to the nearer end where it falls outside,
// else the cross product over the length. Lanes where those steps take the
// scaled form instead (a square out of range, t not a number) hold -1.
template <class L>
typename L::V segmentDistanceIn(typename L::V ax, typename L::V ay, typename L::V bx, typename L::V by,
                                typename L::V px, typename L::V py) {
    typedef typename L::V V;
    const V zero = L::set(0.0), one = L::set(1.0);
    const V dx = L::sub(bx, ax), dy = L::sub(by, ay), apx = L::sub(px, ax), apy = L::sub(py, ay);
    const V dd = L::add(L::mul(dx, dx), L::mul(dy, dy));
    const V t = L::div(L::add(L::mul(apx, dx), L::mul(apy, dy)), dd);
    const auto before = L::le(t, zero), past = L::ge(t, one);
    const V ex = L::select(before, apx, L::sub(px, bx)), ey = L::select(before, apy, L::sub(py, by));
    const V ends = L::add(L::mul(ex, ex), L::mul(ey, ey));
    // One root serves both: of the end's square beyond the ends, of the
    // length's square between them.
    const auto outside = L::either(before, past);
    const V root = L::sqrt(L::select(outside, ends, dd));
    const V cross = L::sub(L::mul(apx, dy), L::mul(apy, dx));
    const V d = L::select(outside, root, L::div(L::max(cross, L::sub(zero, cross)), root));
    // distToPoint's range for the length's square and kfLength's for the
    // end's; a NaN t is neither before nor past nor between.
    const auto between = L::both(L::lt(zero, t), L::lt(t, one));
    const auto plain =
        L::both(L::both(L::ge(dd, L::set(krLineSeg::kPlainSquareLow)), L::le(dd, L::set(krLineSeg::kPlainSquareHigh))),
                L::either(between, L::both(L::ge(ends, L::set(kfPlainSquareLow)), L::le(ends, L::set(kfPlainSquareHigh)))));
    return L::select(plain, d, L::set(-1.0));
}

template <class L>
std::uint64_t nearCapsulesIn(const double* xy, std::size_t count, double px, double py, double best, double* dist) {
    typedef typename L::V V;
    constexpr unsigned W = L::kWidth, all = (1u << W) - 1;
    const V qx = L::set(px), qy = L::set(py), b = L::set(best), zero = L::set(0.0);
    std::uint64_t todo = 0;
    V lastx = L::set(xy[-2]), lasty = L::set(xy[-1]);
    for (unsigned j = 0; j < count; j += W) {
        V bx, by;
        L::load(xy + 2 * j, bx, by);
        const V ax = L::prev(bx, lastx), ay = L::prev(by, lasty);
        lastx = bx;
        lasty = by;
        const unsigned near = L::bits(capsuleBeyondIn<L>(ax, ay, bx, by, zero, qx, qy, b)) ^ all;
        // The distances cost a root and two quotients: only for lanes
        // where some segment is left.
        if (near == 0) continue;
        L::put(dist + j, segmentDistanceIn<L>(ax, ay, bx, by, qx, qy));
        todo |= static_cast<std::uint64_t>(near) << j;
    }
    return todo;
}

template <class L>
unsigned nearStretchesIn(const StretchLanes& s, double px, double py, double best, double bound,
                         double (&gaps)[8]) {
    typedef typename L::V V;
    constexpr unsigned W = L::kWidth, all = (1u << W) - 1;
    const V qx = L::set(px), qy = L::set(py), b = L::set(best), zero = L::set(0.0), limit = L::set(bound);
    unsigned near = 0;
    for (unsigned j = 0; j < 8; j += W) {
        const V gx = L::max(L::max(L::sub(L::get(s.lox + j), qx), L::sub(qx, L::get(s.hix + j))), zero);
        const V gy = L::max(L::max(L::sub(L::get(s.loy + j), qy), L::sub(qy, L::get(s.hiy + j))), zero);
        const V gap = L::add(L::mul(gx, gx), L::mul(gy, gy));
        L::put(gaps + j, gap);
        const unsigned far = L::bits(L::gt(gap, limit)) |
                             L::bits(capsuleBeyondIn<L>(L::get(s.ax + j), L::get(s.ay + j), L::get(s.bx + j),
                                                        L::get(s.by + j), L::get(s.r + j), qx, qy, b));
        near |= (far ^ all) << j;
    }
    return near;
}

template <class L>
void centroidSumsIn(const double* xy, std::size_t from, std::size_t to, double ox, double oy,
                       CentroidLanes& s) {
    typedef typename L::V V;
    constexpr unsigned W = L::kWidth, R = 4 / W;
    static_assert(W <= 4, "four running sums take at most four lanes");
    V w[R], sx[R], sy[R];
    for (unsigned r = 0; r < R; ++r) {
        w[r] = L::get(s.w + r * W);
        sx[r] = L::get(s.x + r * W);
        sy[r] = L::get(s.y + r * W);
    }
    const V vox = L::set(ox), voy = L::set(oy), tiny = L::set(1e-15), zero = L::set(0.0);
    for (std::size_t i = from; i < to; i += 4) {
        kf_FetchAhead(xy + 2 * i, 1);
        for (unsigned r = 0; r < R; ++r) {
            const double* at = xy + 2 * (i + r * W);
            V ux, uy, vx, vy;
            L::load(at - 2, ux, uy);
            L::load(at, vx, vy);
            ux = L::sub(ux, vox);
            uy = L::sub(uy, voy);
            vx = L::sub(vx, vox);
            vy = L::sub(vy, voy);
            const V c = L::sub(L::mul(ux, vy), L::mul(uy, vx));
            // |c| > 1e-15; never for a NaN.
            const auto counts = L::gt(L::max(c, L::sub(zero, c)), tiny);
            w[r] = L::add(w[r], L::select(counts, c, zero));
            sx[r] = L::add(sx[r], L::select(counts, L::mul(L::add(ux, vx), c), zero));
            sy[r] = L::add(sy[r], L::select(counts, L::mul(L::add(uy, vy), c), zero));
        }
    }
    for (unsigned r = 0; r < R; ++r) {
        L::put(s.w + r * W, w[r]);
        L::put(s.x + r * W, sx[r]);
        L::put(s.y + r * W, sy[r]);
    }
}

}  // namespace qel::detail

#endif
