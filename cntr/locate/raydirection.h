// The direction of the inside test's ray: from a point, through the first gap
// between the directions to a contour's vertices that is wide enough.
#ifndef QEL_CNTR_LOCATE_RAYDIRECTION_H
#define QEL_CNTR_LOCATE_RAYDIRECTION_H

#include <vector>

#include "platform/std/vector.h"

namespace qel::detail {

struct RayDirection {
    // A vertex lies within knTolerance::kContact of the point; direction is
    // then meaningless.
    bool onVertex = false;
    krVector<2> direction = krVector<2>(1.0, 0.0);
};

// Takes the angle of every vertex seen from p, (v - p).angle().norm(), sorts
// them ascending and walks the gaps between neighbours, the last one wrapping
// round to the first. The ray bisects the first gap strictly wider than pi / n
// (n the number of points): it points along angle + gap / 2 as a unit vector of
// that angle. Without such a gap it points along (1, 0). A vertex with a
// coordinate that is not a number has no angle and takes no part, though it is
// counted in n.
//
// The answer is that of the sort, bit for bit, reached in linear time: see the
// source for how.
RayDirection rayDirection(const std::vector<krVector<2>>& points, const krVector<2>& p);

}  // namespace qel::detail

#endif
