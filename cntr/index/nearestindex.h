// An index for the nearest segment or vertex of a contour to a point: the
// vertices in blocks of consecutive ones, with a tree over the blocks whose
// nodes bound their stretch of the contour by a box and by a capsule around
// a chord, searched nearest box first.
#ifndef QEL_CNTR_INDEX_NEARESTINDEX_H
#define QEL_CNTR_INDEX_NEARESTINDEX_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cntr/index/segmentindex.h"
#include "cntr/support/vertexpasses.h"
#include "platform/std/vector.h"

namespace qel::detail {

struct NearestCursor;

// The search reaches the same answer as a walk over every segment (or
// vertex) in order: the least distance, computed as the walk computes it,
// and among equal distances the lowest number. A block holds its vertices and
// the segments that end at them, so every segment and vertex is in one; a
// node is passed over only when its box (beyondSquare) or its
// capsule, with room for rounding, shows that nothing in it can come as near
// as the best found.
//
// Built only over finite coordinates below knTolerance::kIndexLargest;
// queries at points that are not finite are left to the walk.
class NearestIndex {
public:
    static constexpr std::size_t kBlock = 16;  // vertices per block
    static constexpr std::size_t kFanout = 8;  // boxes per box of the level above
    static constexpr std::size_t kNone = ~std::size_t(0);
    // At most this many nodes start the searches of a run (NearestCursor).
    static constexpr std::size_t kNarrowest = 16;

    // False (and nothing built) when a coordinate is not finite or beyond
    // knTolerance::kIndexLargest in size, or for more vertices than 32 bits
    // number.
    bool build(const SegmentView& s);

    // The number of the nearest segment, or kNone when none comes nearer
    // than infinity. A hint, the number of a segment that may be near (the
    // answer for a point close by) or kNone, changes nothing but the time:
    // its distance bounds the search from the start.
    std::size_t nearestSegment(const SegmentView& s, const krVector<2>& p, std::size_t hint = kNone) const;
    // The same for one point of a batch's run, with the cursor's answer
    // for the last point as the hint; the answer becomes the cursor's.
    std::size_t nearestSegment(const SegmentView& s, const krVector<2>& p, NearestCursor& at) const;
    // The index of the nearest vertex (0 when none comes nearer than
    // infinity), with a vertex for a hint.
    std::size_t nearestVertex(const SegmentView& s, const krVector<2>& p, std::size_t hint = kNone) const;
    // Whether every vertex, and so every point of the contour, lies farther
    // from p than a distance d to a closest point (boxBeyond).
    bool beyond(const krVector<2>& p, double d) const;

    // An order of the points that takes them in runs of near neighbours (by
    // rows of a grid over their box, each row the other way round from the
    // last), so that each one's answer is a good hint for the next; points
    // that are not finite come last. Empty for lists too short to gain by it
    // (or too long for 32-bit indices).
    static std::vector<std::uint32_t> nearbyOrder(const std::vector<krVector<2>>& points);

private:
    // A stretch of the contour: the box of its points, and its chord between
    // two of them (by index), within reach r of which all its points lie.
    struct Node {
        Box box;
        std::uint32_t a, b;
        double r;
    };
    // r widened for the rounding of the distances that gave it.
    static double widenReach(const Box& box, double r);
    // Node n into lane i of g, for the screens that weigh eight at once.
    static void putNode(const SegmentView& s, const Node& n, StretchLanes& g, std::size_t i);
    std::size_t nearestSegmentFrom(const SegmentView& s, const krVector<2>& p, std::size_t hint,
                                   const NearestCursor* from) const;
    // Calls leaf(block, best) for the blocks that may hold something as near
    // as best, which leaf lowers: those under the root, or under the nodes
    // of `from` where it has them.
    template <class Leaf>
    void search(const krVector<2>& p, double& best, const NearestCursor* from, Leaf&& leaf) const;
    // Sets at's nodes to those of one level whose boxes come near enough its
    // run's box to hold the nearest segment of a point there.
    void narrow(const SegmentView& s, NearestCursor& at) const;

    // levels_[0] has one node per block; each next level one per kFanout
    // nodes of the level below; the last one node.
    std::vector<std::vector<Node>> levels_;
    // groups_[l][u] holds the children of node u of level l >= 1 side by
    // side, for the screen that weighs them all at once; groups_[0] is empty.
    std::vector<std::vector<StretchLanes>> groups_;
};

// Where a batch of near points stands (nearbyOrder, taken a run at a time):
// the answer for the last point, a hint for the next, and the nodes of the
// index that may hold the nearest segment of any point in the box of the
// current run. A point of the run is searched from those rather than from the
// root: every other node lies farther from the whole box than the hint
// segment lies from its farthest corner, so it holds nothing as near as the
// hint for any point of the box, and the answer stays the root search's.
struct NearestCursor {
    std::size_t hint = NearestIndex::kNone;
    // Called before each run with the indices of its points.
    void nextRun(const std::vector<krVector<2>>& points, const std::uint32_t* order, std::size_t m);

private:
    friend class NearestIndex;
    Box run = Box::empty();  // the box of the run's finite points
    bool narrowed = false;   // nodes are for this run
    std::size_t level = 0;
    std::vector<std::uint32_t> nodes;
    std::vector<StretchLanes> lanes;  // the nodes eight at a time
};

}  // namespace qel::detail

#endif
