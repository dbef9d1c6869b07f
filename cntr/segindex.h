// A bounding-box tree over a contour's segments, for segment queries that
// visit only the segments whose boxes can overlap the query's box.
#ifndef QEL_CNTR_SEGINDEX_H
#define QEL_CNTR_SEGINDEX_H

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
    static constexpr std::size_t kFanout = 16;

    // boxes and valid are the contour's boxes and validity tables; invalid
    // segments are never reported.
    krSegmentIndex(const std::vector<krRect>& boxes, const std::vector<bool>& valid);

    // Calls visit(k) in ascending k for every valid segment k whose box overlaps
    // query (closed intervals on both axes, as krRect::overlaps).
    template <class Visit>
    void forEachOverlap(const std::vector<krRect>& boxes, const std::vector<bool>& valid,
                        const krRect& query, Visit&& visit) const;

private:
    struct Box {
        double lox, loy, hix, hiy;
        bool overlaps(const krRect& r) const {
            return hix >= r.origin().x() && r.corner().x() >= lox && hiy >= r.origin().y() &&
                   r.corner().y() >= loy;
        }
    };
    template <class Visit>
    void descend(std::size_t level, std::size_t node, const std::vector<krRect>& boxes,
                 const std::vector<bool>& valid, const krRect& query, Visit& visit) const;

    std::size_t count_ = 0;
    // levels_[0] has one box per leaf group of segments; each next level one
    // box per group of kFanout boxes of the level below; the last has one box.
    std::vector<std::vector<Box>> levels_;
};

template <class Visit>
void krSegmentIndex::forEachOverlap(const std::vector<krRect>& boxes,
                                    const std::vector<bool>& valid, const krRect& query,
                                    Visit&& visit) const {
    if (levels_.empty()) return;
    const std::size_t top = levels_.size() - 1;
    for (std::size_t node = 0; node < levels_[top].size(); ++node)
        descend(top, node, boxes, valid, query, visit);
}

template <class Visit>
void krSegmentIndex::descend(std::size_t level, std::size_t node, const std::vector<krRect>& boxes,
                             const std::vector<bool>& valid, const krRect& query,
                             Visit& visit) const {
    if (!levels_[level][node].overlaps(query)) return;
    const std::size_t first = node * kFanout;
    if (level == 0) {
        const std::size_t last = std::min(first + kFanout, count_);
        for (std::size_t k = first; k < last; ++k)
            if (valid[k] && boxes[k].overlaps(query)) visit(k);
        return;
    }
    const std::size_t last = std::min(first + kFanout, levels_[level - 1].size());
    for (std::size_t child = first; child < last; ++child)
        descend(level - 1, child, boxes, valid, query, visit);
}

#endif
