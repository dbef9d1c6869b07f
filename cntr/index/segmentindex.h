// An index over a contour's segments for the segment query and the
// self-intersection test: the segments cut into monotone runs, with a
// bounding-box tree over the runs.
#ifndef QEL_CNTR_INDEX_SEGMENTINDEX_H
#define QEL_CNTR_INDEX_SEGMENTINDEX_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cntr/index/box.h"
#include "platform/std/vector.h"

namespace qel::detail {

// A contour's segments in segment order, read straight from its points: a
// closed contour of n points has (p[n-1], p[0]) first, then (p[k-1], p[k]); an
// open one has (p[k], p[k+1]).
struct SegmentView {
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
// both coordinates change monotonically (each never rises or never falls). A
// run holds only usable segments: not of zero length within knTolerance::kEqual
// and with a finite direction. The others can keep no crossing (a zero-length
// segment takes part in no test; a direction that is not finite is parallel to
// every line), so leaving them out changes no answer.
//
// Monotone runs make both queries cheap. A run's bounding box is the box of its
// two ends, and the segments of a run whose boxes overlap a given box are one
// stretch of it, found by bisection. And two segments of one run never need a
// test: neighbours share an end point, and the boxes of segments i and j > i+1
// can only touch if every point between them is the same point, which would
// make segment i+1 zero length.
class SegmentIndex {
public:
    static constexpr std::size_t kFanout = 4;

    using Box = qel::detail::Box;

    // Rebuilds the index over the segments in one pass, writing valid[k]
    // (false for a segment of zero length within kEqual). Storage is kept
    // between builds.
    void build(const SegmentView& s, std::vector<bool>& valid);

    // Calls visit(k) in ascending k for every usable segment whose box
    // overlaps query. Runs and nodes whose box fails near(box) are passed
    // over: near must hold for every box that holds a segment visit would act
    // on.
    template <class Near, class Visit>
    void forEachOverlap(const SegmentView& s, const Box& query, Near&& near, Visit&& visit) const;

    // Calls pair(i, j) for every two usable segments of different runs whose
    // boxes overlap and that come within near of each other, until pair
    // returns false; it may also call it for pairs that keep farther apart or
    // share a run, and for a pair more than once. The pairs come in no
    // particular order. Returns false when stopped. The search goes in
    // contour order until it has tried about budget pairs (by default a few
    // per segment, and none where there are at most kFewRuns runs), then
    // sweeps over the rest.
    template <class Pair>
    bool forEachPair(const SegmentView& s, double near, Pair&& pair, std::size_t budget = kAuto) const;
    static constexpr std::size_t kAuto = ~std::size_t(0);
    // Up to this many runs the automatic budget sweeps from the start: a
    // sweep over so few runs costs less than asking the tree run by run.
    static constexpr std::size_t kFewRuns = 64;

private:
    struct Run {
        std::uint32_t first, last;  // segments [first, last)
        std::int8_t sx, sy;         // direction of travel on each axis: -1, 0 (none yet) or 1
    };
    // A run's box is the box of its two ends.
    static Box boxOf(const SegmentView& s, const Run& r) { return Box::of(s.start(r.first), s.end(r.last - 1)); }

    // Calls visit(b) for the runs b >= first whose boxes overlap query, in
    // ascending order, until visit returns false; nodes of the tree whose box
    // fails near(box) are passed over. Returns false when stopped.
    template <class Near, class Visit>
    bool forEachRunOverlap(const SegmentView& s, const Box& query, std::size_t first, Near&& near,
                           Visit&& visit) const;
    // The pairs of segments of runs a and b whose boxes overlap, and those of
    // segment i with the segments of run b; work counts the pairs tried.
    template <class Pair>
    bool runPairs(const SegmentView& s, const Run& a, const Run& b, std::size_t& work, Pair&& pair) const;
    template <class Pair>
    bool segmentPairs(const SegmentView& s, std::size_t i, const Run& b, std::size_t& work, Pair&& pair) const;
    // Every pair among the runs from the run first on, found by a sweep in x
    // or by angle, whichever tries fewer.
    template <class Pair>
    bool pairsFrom(const SegmentView& s, double near, std::size_t first, Pair&& pair) const;
    // Sorts the runs from first on by their boxes' left edges into byLeft_ and
    // returns how many pairs of them overlap in x.
    std::size_t sortByLeft(const SegmentView& s, std::size_t first) const;
    // Fills arcs_ and everywhere_ with the segments of the runs from first on
    // for the pair search by angle (see pairsFrom) and returns how many pairs
    // that search would try; the largest count when it cannot be used.
    std::size_t sortByAngle(const SegmentView& s, double near, std::size_t first) const;
    struct Arc {
        double lo, hi;
        std::uint32_t k;
        bool operator<(const Arc& o) const { return lo < o.lo; }
    };
    template <class F>
    void forEachUsable(std::size_t first, F&& f) const {
        for (std::size_t r = first; r < runs_.size(); ++r)
            for (std::size_t k = runs_[r].first; k < runs_[r].last; ++k) f(k);
    }

    // The stretch [lo, hi) of run r whose segment boxes overlap q.
    static void stretch(const SegmentView& s, const Run& r, const Box& q, std::size_t& lo, std::size_t& hi);

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
    // The middle of the outline and its largest coordinate, worked out on
    // first need after a build.
    mutable bool centreKnown_ = false;
    mutable krVector<2> centre_{};
    mutable double top_ = 0.0;
};

template <class Near, class Visit>
void SegmentIndex::forEachOverlap(const SegmentView& s, const Box& query, Near&& near,
                                    Visit&& visit) const {
    // A stretch of a monotone run is boxed by its two ends, so a run is
    // halved, in order, while a half's box overlaps the query and can come
    // near; short stretches test their segments' boxes one by one.
    struct Part {
        std::size_t lo, hi;
    };
    Part parts[64];
    forEachRunOverlap(s, query, 0, near, [&](std::size_t r) {
        std::size_t top = 0;
        parts[top++] = {runs_[r].first, runs_[r].last};
        while (top > 0) {
            const Part p = parts[--top];
            if (p.hi - p.lo <= 8) {
                for (std::size_t k = p.lo; k < p.hi; ++k)
                    if (Box::of(s.start(k), s.end(k)).overlaps(query)) visit(k);
                continue;
            }
            const Box b = Box::of(s.start(p.lo), s.end(p.hi - 1));
            if (!b.overlaps(query) || !near(b)) continue;
            const std::size_t mid = p.lo + (p.hi - p.lo) / 2;
            parts[top++] = {mid, p.hi};
            parts[top++] = {p.lo, mid};
        }
        return true;
    });
}

template <class Near, class Visit>
bool SegmentIndex::forEachRunOverlap(const SegmentView& s, const Box& query, std::size_t first, Near&& near,
                                       Visit&& visit) const {
    if (depth_ == 0 || first >= runs_.size()) return true;
    // Depth-first with an explicit stack, children pushed last-first so that
    // they come off in ascending order; subtrees that end before first are
    // passed over. At most kFanout entries per level wait.
    struct Entry {
        std::size_t level, node;
    };
    Entry stack[32 * kFanout];
    std::size_t top = 0;
    stack[top++] = {depth_ - 1, 0};
    while (top > 0) {
        const Entry e = stack[--top];
        if (!levels_[e.level][e.node].overlaps(query) || !near(levels_[e.level][e.node])) continue;
        const std::size_t lo = e.node * kFanout;
        if (e.level == 0) {
            const std::size_t end = std::min(lo + kFanout, runs_.size());
            for (std::size_t r = std::max(lo, first); r < end; ++r)
                if (boxOf(s, runs_[r]).overlaps(query) && !visit(r)) return false;
            continue;
        }
        std::size_t span = 1;  // runs under one node of the level below
        for (std::size_t l = 0; l < e.level; ++l) span *= kFanout;
        const std::size_t end = std::min(lo + kFanout, levels_[e.level - 1].size());
        for (std::size_t c = end; c-- > lo;)
            if ((c + 1) * span > first) stack[top++] = {e.level - 1, c};
    }
    return true;
}

template <class Pair>
bool SegmentIndex::runPairs(const SegmentView& s, const Run& a, const Run& b, std::size_t& work,
                              Pair&& pair) const {
    // The segments of a that reach into b's box, each against the segments of
    // b that reach into its own.
    std::size_t i = a.first, iEnd = a.last;
    if (iEnd - i > 1) stretch(s, a, boxOf(s, b), i, iEnd);
    for (; i < iEnd; ++i)
        if (!segmentPairs(s, i, b, work, pair)) return false;
    return true;
}

template <class Pair>
bool SegmentIndex::segmentPairs(const SegmentView& s, std::size_t i, const Run& b, std::size_t& work,
                                  Pair&& pair) const {
    std::size_t j, jEnd;
    stretch(s, b, Box::of(s.start(i), s.end(i)), j, jEnd);
    work += jEnd - j + 1;
    for (; j < jEnd; ++j)
        if (!pair(i, j)) return false;
    return true;
}

template <class Pair>
bool SegmentIndex::forEachPair(const SegmentView& s, double near, Pair&& pair, std::size_t budget) const {
    // In contour order first: each run against the later runs whose boxes
    // overlap its own, so that a contour crossing itself early is found out at
    // that part's cost. Where boxes overlap by the crowd (long thin spikes
    // around a centre, say) this turns quadratic: past a budget of work the
    // pairs among the remaining runs are left to a sweep.
    // A short run asks the tree for each of its segments: a corner's box can
    // be far larger than its two sides'.
    if (budget == kAuto) budget = runs_.size() <= kFewRuns ? 0 : 8 * s.count() + 1024;
    std::size_t work = 0;
    const auto always = [](const Box&) { return true; };
    for (std::size_t a = 0; a < runs_.size(); ++a) {
        if (work >= budget) return pairsFrom(s, near, a, pair);
        const Run& ra = runs_[a];
        bool go = true;
        if (ra.last - ra.first > 4) {
            go = forEachRunOverlap(s, boxOf(s, ra), a + 1, always, [&](std::size_t b) {
                ++work;
                return runPairs(s, ra, runs_[b], work, pair);
            });
        } else {
            for (std::size_t i = ra.first; go && i < ra.last; ++i)
                go = forEachRunOverlap(s, Box::of(s.start(i), s.end(i)), a + 1, always, [&](std::size_t b) {
                    ++work;
                    return segmentPairs(s, i, runs_[b], work, pair);
                });
        }
        if (!go) return false;
    }
    return true;
}

template <class Pair>
bool SegmentIndex::pairsFrom(const SegmentView& s, double near, std::size_t first, Pair&& pair) const {
    auto box = [&s](std::size_t k) { return Box::of(s.start(k), s.end(k)); };
    const std::size_t count = runs_.back().last - runs_[first].first;
    const std::size_t byX = sortByLeft(s, first);
    if (byX > 4 * count + 256 && sortByAngle(s, near, first) < byX) {
        // Many runs overlap in x, and the angles the segments span, seen from
        // the middle of the contour, set them apart better: segments whose
        // widened arcs do not overlap keep farther apart than near (see
        // sortByAngle).
        for (std::size_t a = 0; a < arcs_.size(); ++a) {
            const std::size_t i = arcs_[a].k;
            const Box bi = box(i);
            for (std::size_t b = a + 1; b < arcs_.size() && arcs_[b].lo <= arcs_[a].hi; ++b) {
                const std::size_t j = arcs_[b].k;
                if (j != i && bi.overlaps(box(j)) && !pair(i, j)) return false;
            }
        }
        for (const std::uint32_t i : everywhere_) {
            const Box bi = box(i);
            bool go = true;
            forEachUsable(first, [&](std::size_t j) { go = go && (j == i || !bi.overlaps(box(j)) || pair(i, j)); });
            if (!go) return false;
        }
        return true;
    }
    // Each run meets the later ones in byLeft_ whose left edge lies within its
    // own span, which covers every two runs overlapping in x.
    std::size_t work = 0;
    for (std::size_t a = 0; a < byLeft_.size(); ++a) {
        const Run& ra = runs_[byLeft_[a].second];
        const Box ba = boxOf(s, ra);
        for (std::size_t b = a + 1; b < byLeft_.size() && byLeft_[b].first <= ba.hix; ++b) {
            const Run& rb = runs_[byLeft_[b].second];
            if (ba.overlaps(boxOf(s, rb)) && !runPairs(s, ra, rb, work, pair)) return false;
        }
    }
    return true;
}

}  // namespace qel::detail

#endif
