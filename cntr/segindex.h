// A bounding-box tree over a contour's segments, for segment queries that
// visit only the segments whose boxes can overlap the query's box, and for
// finding all pairs of segments whose boxes overlap.
#ifndef QEL_CNTR_SEGINDEX_H
#define QEL_CNTR_SEGINDEX_H

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/std/geometry.h"

// The tree groups consecutive segments: each leaf covers kFanout segments in
// segment order and each inner node kFanout nodes of the level below. A
// contour's neighbouring segments lie near each other, so these groups have
// tight boxes and the tree needs no sorting: it is built in one pass over the
// boxes, and a depth-first walk meets the segments in ascending order, which is
// the order the plain scan visits them in.
class krSegmentIndex {
public:
    static constexpr std::size_t kFanout = 4;

    // boxes and valid are the contour's boxes and validity tables; every query
    // must pass the same tables again. Invalid segments are never reported.
    krSegmentIndex(const std::vector<krRect>& boxes, const std::vector<bool>& valid);

    // Calls visit(k) in ascending k for every valid segment k whose box overlaps
    // query (closed intervals on both axes, as krRect::overlaps).
    template <class Visit>
    void forEachOverlap(const std::vector<krRect>& boxes, const std::vector<bool>& valid,
                        const krRect& query, Visit&& visit) const {
        forEachOverlap(boxes, valid, query, [](double, double, double, double) { return true; },
                       visit);
    }
    // The same, passing over every node for which near(lox, loy, hix, hiy),
    // given the node's box, is false. near must hold for every box that holds
    // a segment visit would act on; then visit sees the same segments in the
    // same order, only sooner.
    template <class Near, class Visit>
    void forEachOverlap(const std::vector<krRect>& boxes, const std::vector<bool>& valid,
                        const krRect& query, Near&& near, Visit&& visit) const;

    // Calls pair(a, b), a < b, for every two valid segments whose boxes overlap,
    // until pair returns false. The order of the calls is unspecified. Returns
    // false when stopped.
    template <class Pair>
    bool forEachOverlappingPair(const std::vector<krRect>& boxes, const std::vector<bool>& valid,
                                Pair&& pair) const;

private:
    struct Box {
        double lox, loy, hix, hiy;
        bool overlaps(const Box& o) const {
            return hix >= o.lox && o.hix >= lox && hiy >= o.loy && o.hiy >= loy;
        }
    };
    static Box boxOf(const krRect& r) {
        return {r.origin().x(), r.origin().y(), r.corner().x(), r.corner().y()};
    }
    template <class Pair>
    bool join(const std::vector<krRect>& boxes, const std::vector<bool>& valid, std::size_t level,
              std::size_t a, std::size_t b, Pair& pair) const;
    std::size_t childEnd(std::size_t level, std::size_t node) const {
        const std::size_t below = level == 0 ? count_ : levels_[level - 1].size();
        return std::min((node + 1) * kFanout, below);
    }

    std::size_t count_ = 0;
    // levels_[0] has one box per leaf group of segments; each next level one
    // box per group of kFanout boxes of the level below; the last has one box.
    std::vector<std::vector<Box>> levels_;
};

template <class Near, class Visit>
void krSegmentIndex::forEachOverlap(const std::vector<krRect>& boxes,
                                    const std::vector<bool>& valid, const krRect& query,
                                    Near&& near, Visit&& visit) const {
    if (levels_.empty()) return;
    const Box q = boxOf(query);
    // Depth-first with an explicit stack; children are pushed last-first so
    // they come off in ascending order.
    struct Entry {
        std::size_t level, node;
    };
    std::vector<Entry> stack;
    stack.push_back({levels_.size() - 1, 0});
    while (!stack.empty()) {
        const Entry e = stack.back();
        stack.pop_back();
        const Box& b = levels_[e.level][e.node];
        if (!b.overlaps(q) || !near(b.lox, b.loy, b.hix, b.hiy)) continue;
        const std::size_t first = e.node * kFanout, end = childEnd(e.level, e.node);
        if (e.level == 0) {
            for (std::size_t k = first; k < end; ++k)
                if (valid[k] && boxes[k].overlaps(query)) visit(k);
        } else {
            for (std::size_t c = end; c-- > first;) stack.push_back({e.level - 1, c});
        }
    }
}

template <class Pair>
bool krSegmentIndex::forEachOverlappingPair(const std::vector<krRect>& boxes,
                                            const std::vector<bool>& valid, Pair&& pair) const {
    if (levels_.empty()) return true;
    const std::size_t top = levels_.size() - 1;
    return !levels_[top][0].overlaps(levels_[top][0]) || join(boxes, valid, top, 0, 0, pair);
}

// Pairs the children of two overlapping nodes of one level, down to the
// segments: each unordered pair of nodes is met once.
template <class Pair>
bool krSegmentIndex::join(const std::vector<krRect>& boxes, const std::vector<bool>& valid,
                          std::size_t level, std::size_t a, std::size_t b, Pair& pair) const {
    const std::size_t aFirst = a * kFanout, aEnd = childEnd(level, a);
    const std::size_t bFirst = b * kFanout, bEnd = childEnd(level, b);
    if (level == 0) {
        for (std::size_t i = aFirst; i < aEnd; ++i)
            for (std::size_t j = (a == b ? i + 1 : bFirst); j < bEnd; ++j)
                if (boxes[i].overlaps(boxes[j]) && valid[i] && valid[j] && !pair(i, j))
                    return false;
        return true;
    }
    const std::vector<Box>& below = levels_[level - 1];
    for (std::size_t i = aFirst; i < aEnd; ++i)
        for (std::size_t j = (a == b ? i : bFirst); j < bEnd; ++j)
            if (below[i].overlaps(below[j]) && !join(boxes, valid, level - 1, i, j, pair))
                return false;
    return true;
}

#endif
