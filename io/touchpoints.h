// Where a hole touches its polygon's boundary at a vertex of the hole that
// lies on a side of the boundary, the boundary gets that vertex too, so the
// two share it and the hole can be joined to the boundary there.
#ifndef QEL_IO_TOUCHPOINTS_H
#define QEL_IO_TOUCHPOINTS_H

#include "io/shape.h"

namespace qs {

// Puts into the outer ring every vertex of a hole that lies on one of its
// sides (to within rounding) without being one of its vertices; points put
// on one side keep their order along it. Each vertex asks a segment index of
// the outer ring for the sides near it, so the cost is that of the index,
// n log n, not outer sides times hole vertices. Returns how many went in.
std::size_t insertTouchPoints(Polygon& p);

}  // namespace qs

#endif
