// An index over a contour's segments for the segment query and the
// self-intersection test: the segments cut into monotone runs, with a
// bounding-box tree over the runs.
#ifndef QEL_CNTR_SEGINDEX_H
#define QEL_CNTR_SEGINDEX_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/std/vector.h"

// A contour's segments in segment order, read straight from its points: a
// closed contour of n points has (p[n-1], p[0]) first, then (p[k-1], p[k]); an
// open one has (p[k], p[k+1]).
struct krSegmentView {
    const krVector<2>* p;
    std::size_t n;
    bool closed;

    std::size_t count() const { return n == 0 ? 0 : (closed ? n : n - 1); }
    const krVector<2>& end(std::size_t k) const { return p[closed ? k : k + 1]; }
    const krVector<2>& start(std::size_t k) const {
        return closed ? p[k == 0 ? n - 1 : k - 1] : p[k];
    }
};

// The index cuts the segments into runs of consecutive segments along which
// both coordinates change monotonically (each never rises or never falls).
// A run holds only usable segments: not of zero length within 1e-15 and with a
// finite direction. The others can keep no crossing (a zero-length segment
// takes part in no test; a direction that is not finite is parallel to every
// line), so leaving them out changes no answer.
//
// Monotone runs make both queries cheap. A run's bounding box is the box of its
// two ends, and the segments of a run whose boxes overlap a given box are one
// stretch of it, found by bisection. And two segments of one run never need a
// test: neighbours share an end point, and the boxes of segments i and j > i+1
// can only touch if every point between them is the same point, which would
// make segment i+1 zero length.
class krSegmentIndex {
public:
    static constexpr std::size_t kFanout = 4;

    // An axis-aligned box by its corners; overlap is closed on both axes, as
    // krRect::overlaps.
    struct Box {
        double lox, loy, hix, hiy;
        bool overlaps(const Box& o) const {
            return hix >= o.lox && o.hix >= lox && hiy >= o.loy && o.hiy >= loy;
        }
    };
    // The bounding box of a segment's ends, with the same operand order (and
    // so the same treatment of NaN) as krRect(a, 0).enclose(krRect(b, 0)).
    static Box boxOf(const krVector<2>& a, const krVector<2>& b) {
        return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()),
                std::max(a.y(), b.y())};
    }

    // Rebuilds the index over the segments in one pass, writing valid[k]
    // (false for a segment of zero length within 1e-15). Storage is kept
    // between builds.
    void build(const krSegmentView& s, std::vector<bool>& valid);

    // Calls visit(k) in ascending k for every usable segment whose box
    // overlaps query. Runs and nodes whose box fails near(box) are passed
    // over: near must hold for every box that holds a segment visit would act
    // on.
    template <class Near, class Visit>
    void forEachOverlap(const krSegmentView& s, const Box& query, Near&& near, Visit&& visit) const;

    // Calls pair(i, j) for every two usable segments of different runs whose
    // boxes overlap and that come within near of each other, until pair
    // returns false; it may also call it for pairs that keep farther apart or
    // share a run, and for a pair more than once. The pairs come in no
    // particular order. Returns false when stopped.
    template <class Pair>
    bool forEachPair(const krSegmentView& s, double near, Pair&& pair) const;

private:
    struct Run {
        std::uint32_t first, last;  // segments [first, last)
        std::int8_t sx, sy;         // direction of travel on each axis: -1, 0 (none yet) or 1
        Box box;
    };

    // The pair search among the first upto runs, for the pairs not both among
    // the first done.
    template <class Pair>
    bool pairsAmong(const krSegmentView& s, double near, std::size_t done, std::size_t upto, Pair&& pair) const;
    // Sorts the first upto runs by their boxes' left edges into byLeft_ and
    // returns how many pairs of them overlap in x.
    std::size_t sortByLeft(std::size_t upto) const;
    // Fills arcs_ and everywhere_ with the segments of the first upto runs for
    // the pair search by angle (see pairsAmong) and returns how many pairs
    // that search would try; the largest count when it cannot be used.
    std::size_t sortByAngle(const krSegmentView& s, double near, std::size_t upto) const;
    struct Arc {
        double lo, hi;
        std::uint32_t k;
        bool operator<(const Arc& o) const { return lo < o.lo; }
    };
    template <class F>
    void forEachUsable(std::size_t upto, F&& f) const {
        for (std::size_t r = 0; r < upto; ++r)
            for (std::size_t k = runs_[r].first; k < runs_[r].last; ++k) f(k);
    }

    // The stretch [lo, hi) of run r whose segment boxes overlap q.
    static void stretch(const krSegmentView& s, const Run& r, const Box& q, std::size_t& lo, std::size_t& hi);

    // A node box starts empty: it overlaps nothing until a run widens it.
    static void widen(Box& b, const Box& c) {
        b.lox = std::min(b.lox, c.lox);
        b.loy = std::min(b.loy, c.loy);
        b.hix = std::max(b.hix, c.hix);
        b.hiy = std::max(b.hiy, c.hiy);
    }

    std::vector<Run> runs_;
    // levels_[0] has one box per kFanout runs; each next level one box per
    // kFanout boxes of the level below; the last has one box. Only the first
    // depth_ levels are in use; the rest keep their storage.
    std::vector<std::vector<Box>> levels_;
    std::size_t depth_ = 0;
    // Scratch of the pair searches: run numbers by their boxes' left edges;
    // segments by the angles they span seen from the middle of the contour,
    // and those seen all around.
    mutable std::vector<std::pair<double, std::uint32_t>> byLeft_;
    mutable std::vector<Arc> arcs_;
    mutable std::vector<std::uint32_t> everywhere_;
    // The middle of the outline and its largest coordinate, once per search.
    mutable bool centreKnown_ = false;
    mutable krVector<2> centre_;
    mutable double top_ = 0.0;
};

template <class Near, class Visit>
void krSegmentIndex::forEachOverlap(const krSegmentView& s, const Box& query, Near&& near,
                                    Visit&& visit) const {
    if (depth_ == 0) return;
    // Depth-first with an explicit stack, children pushed last-first so that
    // they come off in ascending order. At most kFanout entries per level wait.
    struct Entry {
        std::size_t level, node;
    };
    Entry stack[32 * kFanout];
    std::size_t top = 0;
    stack[top++] = {depth_ - 1, 0};
    while (top > 0) {
        const Entry e = stack[--top];
        const Box& b = levels_[e.level][e.node];
        if (!b.overlaps(query) || !near(b)) continue;
        const std::size_t lo = e.node * kFanout;
        if (e.level == 0) {
            const std::size_t end = std::min(lo + kFanout, runs_.size());
            for (std::size_t r = lo; r < end; ++r) {
                if (!runs_[r].box.overlaps(query) || !near(runs_[r].box)) continue;
                std::size_t k, kEnd;
                stretch(s, runs_[r], query, k, kEnd);
                for (; k < kEnd; ++k) visit(k);
            }
            continue;
        }
        const std::size_t end = std::min(lo + kFanout, levels_[e.level - 1].size());
        for (std::size_t c = end; c-- > lo;) stack[top++] = {e.level - 1, c};
    }
}

template <class Pair>
bool krSegmentIndex::forEachPair(const krSegmentView& s, double near, Pair&& pair) const {
    // Over ever longer stretches of the contour from its start, each time the
    // pairs with a run new to the stretch: a contour that crosses itself near
    // its start is found out at the cost of that part alone, and the
    // repeated sorting adds a third at most to the whole search.
    centreKnown_ = false;
    for (std::size_t done = 0, upto = std::min<std::size_t>(64, runs_.size()); done < runs_.size();
         done = upto, upto = std::min(4 * upto, runs_.size()))
        if (!pairsAmong(s, near, done, upto, pair)) return false;
    return true;
}

template <class Pair>
bool krSegmentIndex::pairsAmong(const krSegmentView& s, double near, std::size_t done, std::size_t upto,
                                Pair&& pair) const {
    auto box = [&s](std::size_t k) { return boxOf(s.start(k), s.end(k)); };
    const std::size_t count = runs_[upto - 1].last, fresh = done ? runs_[done].first : 0;
    const std::size_t byX = sortByLeft(upto);
    if (byX > 4 * count + 256 && sortByAngle(s, near, upto) < byX) {
        // Many runs overlap in x (long thin spikes around a centre, say), and
        // the angles the segments span, seen from the middle of the contour,
        // set them apart better: segments whose widened arcs do not overlap
        // keep farther apart than near (see sortByAngle).
        for (std::size_t a = 0; a < arcs_.size(); ++a) {
            const std::size_t i = arcs_[a].k;
            const Box bi = box(i);
            for (std::size_t b = a + 1; b < arcs_.size() && arcs_[b].lo <= arcs_[a].hi; ++b) {
                const std::size_t j = arcs_[b].k;
                if (j != i && std::max(i, j) >= fresh && bi.overlaps(box(j)) && !pair(i, j)) return false;
            }
        }
        for (const std::uint32_t i : everywhere_) {
            const Box bi = box(i);
            bool go = true;
            forEachUsable(upto, [&](std::size_t j) {
                go = go && (j == i || std::max<std::size_t>(i, j) < fresh || !bi.overlaps(box(j)) || pair(i, j));
            });
            if (!go) return false;
        }
        return true;
    }
    // Each run meets the later ones in byLeft_ whose left edge lies within its
    // own span, which covers every two runs overlapping in x.
    for (std::size_t a = 0; a < byLeft_.size(); ++a) {
        const Run& ra = runs_[byLeft_[a].second];
        for (std::size_t b = a + 1; b < byLeft_.size() && byLeft_[b].first <= ra.box.hix; ++b) {
            const Run& rb = runs_[byLeft_[b].second];
            if (std::max(byLeft_[a].second, byLeft_[b].second) < done || !ra.box.overlaps(rb.box)) continue;
            // The segments of a that reach into b's box, each against the
            // segments of b that reach into its own.
            std::size_t i = ra.first, iEnd = ra.last;
            if (iEnd - i > 1) stretch(s, ra, rb.box, i, iEnd);
            for (; i < iEnd; ++i) {
                std::size_t j, jEnd;
                stretch(s, rb, box(i), j, jEnd);
                for (; j < jEnd; ++j)
                    if (!pair(i, j)) return false;
            }
        }
    }
    return true;
}

#endif
