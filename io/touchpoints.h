// Where a hole touches its polygon's boundary at a vertex of the hole that
// lies on a side of the boundary, the boundary gets that vertex too, so the
// two share it and the hole can be joined to the boundary there.
#ifndef QEL_IO_TOUCHPOINTS_H
#define QEL_IO_TOUCHPOINTS_H

#include "io/shape.h"

namespace qs {

// Puts into the outer ring every vertex of a hole that lies on one of its
// sides (to within rounding). Each vertex is tried against every side: fine
// for the rare polygon a reader needs it for, and due to give way to an
// indexed search beside the library's repair.
void insertTouchPoints(Polygon& p);

}  // namespace qs

#endif
