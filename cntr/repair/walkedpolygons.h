// A walk round the noded boundary cut into polygons with holes: how the
// readers take a polygon whose rings cross, and how the tool's repair writes
// what it walked.
#ifndef QEL_CNTR_REPAIR_WALKEDPOLYGONS_H
#define QEL_CNTR_REPAIR_WALKEDPOLYGONS_H

#include <vector>

#include "cntr/repair/nodedboundary.h"

namespace qel::detail {

struct WalkedPolygon {
    NodedBoundary::Points outer;
    std::vector<NodedBoundary::Points> holes;
};

// The graph's walk of the given kind, cut into loops wherever it comes back
// to a vertex it passed, so that loops meet at vertices only; a loop that
// encloses nothing (an edge walked there and back) is dropped. A loop inside
// no other, or inside a hole, is a polygon; a loop inside a polygon and no
// nearer loop is a hole of it. False (out untouched) when the walk encloses
// nothing.
bool walkedPolygons(const NodedBoundary& graph, NodedBoundary::Walk kind, std::vector<WalkedPolygon>& out);

// The even-odd reading of rings that may cross each other and themselves:
// all of them noded together, the faces lying inside an odd number of them,
// as polygons. Empty when no face does. The coordinates must be finite.
std::vector<WalkedPolygon> evenOddPolygons(const std::vector<const NodedBoundary::Points*>& rings);

}  // namespace qel::detail

#endif
