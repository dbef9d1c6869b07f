// A bounding-box tree over a contour's segments, for segment queries that
// visit only the segments whose boxes can overlap the query's box.
#ifndef QEL_CNTR_SEGINDEX_H
#define QEL_CNTR_SEGINDEX_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/std/geometry.h"

// The tree groups consecutive segments: each leaf covers kFanout segments in
// segment order and each inner node kFanout nodes of the level below. A
// contour's neighbouring segments lie near each other, so these groups have
// tight boxes and the tree needs no sorting: it is filled while the segment
// table is written, and a depth-first walk meets the segments in ascending
// order, which is the order the plain scan visits them in.
//
// The tree keeps no segment boxes of its own: a segment's box is worked out
// from the segment when a leaf is opened, exactly as the boxes table would hold
// it, so the index adds little to the tables' size.
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
    static Box boxOf(const krLineSeg& s) { return boxOf(s.p1(), s.p2()); }

    // Filling: reset(count), then add(k, box) for every valid segment k (in any
    // order), then finish(). Storage is kept between fillings.
    void reset(std::size_t count);
    void add(std::size_t k, const Box& box) { widen(levels_[0][k / kFanout], box); }
    void finish();

    // Calls visit(k) in ascending k, for every valid segment k >= first whose
    // box overlaps query, until visit returns false. segs and valid are the
    // tables the index was filled from. Returns false when stopped. Nodes
    // whose box fails near(box) are passed over: near must hold for every box
    // that holds a segment visit would act on; then visit sees the same
    // segments in the same order, only sooner.
    template <class Near, class Visit>
    bool forEachOverlap(const std::vector<krLineSeg>& segs, const std::vector<bool>& valid,
                        const Box& query, std::size_t first, Near&& near, Visit&& visit) const;

    // Calls pair(i, j), i < j, for every two valid segments whose boxes
    // overlap and that come within near of each other, in ascending order of
    // i and then of j, until pair returns false; it may also call it for pairs
    // that keep farther apart. Returns false when stopped.
    template <class Pair>
    bool forEachPairInOrder(const std::vector<krLineSeg>& segs, const std::vector<bool>& valid,
                            double near, Pair&& pair) const;

private:
    // Whether t lies wholly on one side of s's line, farther than near from
    // it (and so farther than near from s). A test with slack: false when in
    // doubt.
    static bool apart(const krLineSeg& s, const krLineSeg& t, double near) {
        const double dx = s.p2().x() - s.p1().x(), dy = s.p2().y() - s.p1().y();
        const double c1 = dx * (t.p1().y() - s.p1().y()) - dy * (t.p1().x() - s.p1().x());
        const double c2 = dx * (t.p2().y() - s.p1().y()) - dy * (t.p2().x() - s.p1().x());
        const double c = (c1 > 0) == (c2 > 0) ? std::min(std::fabs(c1), std::fabs(c2)) : 0.0;
        // c is the smaller distance times |d|; compare squares, widened by
        // far more than the rounding of c (relative to the coordinates' size).
        const double m = std::max({std::fabs(s.p1().x()), std::fabs(s.p1().y()), std::fabs(t.p1().x()),
                                   std::fabs(t.p1().y()), std::fabs(t.p2().x()), std::fabs(t.p2().y())});
        const double reach = near + 1e-12 * m;
        // Below 1e75 none of the squares overflows; a valid segment's squared
        // length is far above where reach's square times it could underflow.
        return m < 1e75 && c * c > reach * reach * (dx * dx + dy * dy);
    }

    // Appends to leaves, in ascending order, the leaves after leaf whose boxes
    // overlap its own: its later siblings' subtrees level by level upward.
    void leavesAfter(std::size_t leaf, std::vector<std::size_t>& leaves) const;

    // A node box starts empty: it overlaps nothing until a segment widens it.
    // Comparisons with NaN are false, so a NaN coordinate never widens a node:
    // its segment overlaps nothing, in the plain test as here. So a node
    // overlaps whatever any of its valid segments overlaps.
    static void widen(Box& b, const Box& c) {
        if (c.lox < b.lox) b.lox = c.lox;
        if (c.loy < b.loy) b.loy = c.loy;
        if (c.hix > b.hix) b.hix = c.hix;
        if (c.hiy > b.hiy) b.hiy = c.hiy;
    }
    // The first segment after the subtree of node at level.
    std::size_t segmentEnd(std::size_t level, std::size_t node) const {
        std::size_t end = node + 1;
        for (std::size_t l = 0; l <= level; ++l) end *= kFanout;
        return std::min(end, count_);
    }

    std::size_t count_ = 0;
    // levels_[0] has one box per leaf group of segments; each next level one
    // box per group of kFanout boxes of the level below; the last has one box.
    // Only the first depth_ levels are in use; the rest keep their storage.
    std::vector<std::vector<Box>> levels_;
    // Per level and node, the box of the node's later siblings (those after
    // it under the same parent): one test passes over all of them.
    std::vector<std::vector<Box>> later_;
    std::size_t depth_ = 0;
};

template <class Near, class Visit>
bool krSegmentIndex::forEachOverlap(const std::vector<krLineSeg>& segs,
                                    const std::vector<bool>& valid, const Box& query,
                                    std::size_t first, Near&& near, Visit&& visit) const {
    if (depth_ == 0 || first >= count_) return true;
    // Depth-first with an explicit stack, children pushed last-first so that
    // they come off in ascending order. Subtrees that end before first are
    // passed over. At most kFanout entries per level wait on the stack.
    struct Entry {
        std::size_t level, node;
    };
    Entry stack[64 * kFanout];
    std::size_t top = 0;
    stack[top++] = {depth_ - 1, 0};
    while (top > 0) {
        const Entry e = stack[--top];
        const Box& b = levels_[e.level][e.node];
        if (!b.overlaps(query) || !near(b)) continue;
        const std::size_t lo = e.node * kFanout;
        if (e.level == 0) {
            const std::size_t end = std::min(lo + kFanout, count_);
            for (std::size_t k = std::max(lo, first); k < end; ++k)
                if (valid[k] && boxOf(segs[k]).overlaps(query) && !visit(k)) return false;
            continue;
        }
        const std::size_t end = std::min(lo + kFanout, levels_[e.level - 1].size());
        for (std::size_t c = end; c-- > lo;)
            if (segmentEnd(e.level - 1, c) > first) stack[top++] = {e.level - 1, c};
    }
    return true;
}

template <class Pair>
bool krSegmentIndex::forEachPairInOrder(const std::vector<krLineSeg>& segs,
                                        const std::vector<bool>& valid, double near, Pair&& pair) const {
    if (depth_ == 0) return true;
    // Leaf by leaf: the leaf's partners are found once and shared by its
    // segments; each segment then meets the later segments of its own leaf and
    // of the partner leaves whose boxes overlap its own, in ascending order.
    std::vector<std::size_t> partners;
    const std::vector<Box>& leafBoxes = levels_[0];
    for (std::size_t a = 0; a < leafBoxes.size(); ++a) {
        partners.assign(1, a);
        leavesAfter(a, partners);
        const std::size_t end = std::min((a + 1) * kFanout, count_);
        for (std::size_t i = a * kFanout; i < end; ++i) {
            if (!valid[i]) continue;
            const Box bi = boxOf(segs[i]);
            for (std::size_t b : partners) {
                if (!leafBoxes[b].overlaps(bi)) continue;
                const std::size_t jEnd = std::min((b + 1) * kFanout, count_);
                // Segments of leaves apart in the contour are first tested
                // for keeping farther apart than near; neighbours rarely do.
                const bool far = b > a + 1;
                for (std::size_t j = std::max(b * kFanout, i + 1); j < jEnd; ++j)
                    if (valid[j] && boxOf(segs[j]).overlaps(bi) &&
                        !(far && (apart(segs[i], segs[j], near) || apart(segs[j], segs[i], near))) &&
                        !pair(i, j))
                        return false;
            }
        }
    }
    return true;
}

#endif
