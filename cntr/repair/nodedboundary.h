// The boundary of a region, or of several regions at once, cut at every
// place where it crosses or touches itself: a plane graph whose faces carry
// winding numbers. The outer hull and the regularized outline are walks
// round that graph.
#ifndef QEL_CNTR_REPAIR_NODEDBOUNDARY_H
#define QEL_CNTR_REPAIR_NODEDBOUNDARY_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cntr/repair/snaprounder.h"
#include "defs/cntrdefs.h"
#include "platform/std/vector.h"

namespace qel::detail {

// The rings are rounded onto hot pixels first (SnapRounder): every
// crossing, every vertex near another segment and every two vertices near
// each other become one node, and the rounded pieces meet only at nodes. The
// pieces between nodes become edges, pieces lying on each other one edge that
// remembers how often, and in which sense, the rings pass along it. Around
// each node the edges are ordered by their exact directions between pixel
// centres, which makes the faces; the unbounded face is found at the lowest
// node, and every other face's winding number follows from it across the
// edges. Nothing here casts a ray.
//
// The cost is that of finding the pairs of segments that come near each
// other (through the segment index, as the self-intersection test does),
// plus sorting: n log n + k for n segments and k contacts.
class NodedBoundary {
public:
    typedef std::vector<krVector<2>> Points;

    // The rings are closed point lists; ring r's segments run from point i
    // to point i+1, the closing one last. The coordinates must be finite.
    // BadParams when the rings cross and touch each other more than some
    // 16 million times.
    explicit NodedBoundary(const std::vector<const Points*>& rings);
    // The graph of the given rings of an arrangement rounded before (they
    // share no node with the others), in that order.
    NodedBoundary(const SnapRounder& rounded, const std::vector<std::size_t>& rings);
    // BadParams unless every coordinate is a finite number below 2^1021
    // (2.2e307) in size: beyond, sums of two spans overflow, and the crossing
    // tests that decide whether a boundary needs repair no longer see its
    // crossings.
    static void requireRepairable(const Points& ring);

    // What a walk follows: the outline of everything the rings enclose (the
    // unbounded face's border), or the border of the faces of odd winding,
    // each lobe walked once and all in one sense.
    enum class Walk { eOuter, eOdd };

    // The walk as a closed point list, into out; false (out untouched) when
    // the rings enclose no area that the walk would go round.
    //
    // The walk starts on the first edge from point i to i+1 of a ring (rings
    // in order, the closing edges left out) that no other piece of the
    // boundary crosses or touches, whose ends meet only their neighbours, and
    // that has the outside on one hand; failing that, on the first piece of
    // any segment with the outside on one hand. It keeps the outside on that
    // hand, so both walks turn the way the start edge does. The list begins
    // with the start edge's far end and ends with its start.
    //
    // Each node is given by the point that stands for it (a vertex of the
    // rings where there is one, so the input's own coordinates survive),
    // unless the walk then comes within the contact tolerance of itself:
    // then the nodes concerned by their pixels' centres, which keep half a
    // pixel from the edges they do not end.
    bool walk(Walk kind, Points& out) const;

private:
    typedef std::uint32_t Id;

    // spent, when given, is the rounding itself, no longer needed after.
    void build(const SnapRounder& rounded, const std::vector<std::size_t>& rings, SnapRounder* spent = nullptr);
    // ---- the graph ----
    void orderAroundNodes();
    void traceFaces();
    // ---- walks ----
    std::size_t startHalfEdge(bool& found) const;
    std::vector<Id> outerCycle() const;
    std::vector<Id> oddCycle() const;
    // The steps of oddCycle. The half-edges of odd passes leaving node v:
    // around[start[v] .. start[v+1]), slot[h] being h's place there.
    struct OddAround {
        std::vector<Id> start, around, slot;
    };
    OddAround oddEdgesAroundNodes() const;
    // Marks in used the odd half-edges with an even face on the left; false
    // when there is none. balanced: every node has as many leaving as entering.
    bool chooseEvenSides(std::vector<char>& used, bool& balanced) const;
    void linkAlongFaces(const OddAround& odd, const std::vector<char>& used, std::vector<Id>& succ) const;
    void linkAsTrails(const OddAround& odd, std::vector<char>& used, std::vector<Id>& succ) const;
    void bridgeParts(std::vector<Id>& succ) const;
    void joinWalks(std::vector<Id>& succ) const;

    Id twin(Id h) const { return h ^ 1u; }
    Id tail(Id h) const { return (h & 1u) ? edgeB_[h >> 1] : edgeA_[h >> 1]; }
    Id head(Id h) const { return (h & 1u) ? edgeA_[h >> 1] : edgeB_[h >> 1]; }
    // Net passes along half-edge h, in its sense.
    long passes(Id h) const { return (h & 1u) ? -wind_[h >> 1] : wind_[h >> 1]; }

    // Rings: first segment id and number of points of each.
    std::vector<Id> ringBase_, ringSize_;
    // Nodes (the points standing for them, their pixel centres in whole
    // pixels, and the pixel) and edges a -> b with the net passes from a to
    // b and the number of passes either way (2 standing for more). A tangle
    // costs these arrays per crossing, so they are kept narrow.
    std::vector<krVector<2>> node_;
    std::vector<std::int64_t> cx_, cy_;
    double pixel_ = 0;
    std::vector<Id> edgeA_, edgeB_;
    std::vector<std::int32_t> wind_;
    std::vector<std::uint8_t> count_;
    // The pieces of segment g, in order along it: pieceHalf_[pieceStart_[g]
    // .. pieceStart_[g+1]), each a half-edge in the segment's sense.
    std::vector<Id> pieceStart_, pieceHalf_;

    // Half-edges leaving node v, by angle: around_[aroundStart_[v] ..
    // aroundStart_[v+1]).
    std::vector<Id> aroundStart_, around_;
    // The next half-edge round the face on h's left, the face of each
    // half-edge, each face's winding number, and the unbounded face.
    std::vector<Id> next_, face_;
    std::vector<long> winding_;
    Id outer_ = 0;
};

}  // namespace qel::detail

#endif
