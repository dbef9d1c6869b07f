// Where a polygon's rings meet: a hole touching the boundary at a vertex of
// the hole that lies on a side of the boundary, and rings that cross.
#ifndef QEL_IO_TOUCHPOINTS_H
#define QEL_IO_TOUCHPOINTS_H

#include "cntr/contour.h"
#include "io/shape.h"

namespace qs {

// Puts into the outer ring every vertex of a hole that lies on one of its
// sides (to within rounding) without being one of its vertices; points put
// on one side keep their order along it. Each vertex asks a segment index of
// the outer ring for the sides near it, so the cost is that of the index,
// n log n, not outer sides times hole vertices. Returns how many went in.
std::size_t insertTouchPoints(Polygon& p);

// Whether two rings cross: some point where they meet lies near a vertex of
// neither (to within rounding). Rings that meet only at vertices of one or
// the other touch. The sides of the ring with fewer vertices are asked of the
// other's segment index.
bool ringsCross(const krContour& a, const krContour& b);

}  // namespace qs

#endif
