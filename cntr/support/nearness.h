// The screens of the closest-point queries: whether a box or a part of a
// contour can come as near a point as the best found so far.
#ifndef QEL_CNTR_SUPPORT_NEARNESS_H
#define QEL_CNTR_SUPPORT_NEARNESS_H

#include <algorithm>
#include <cmath>

#include "cntr/support/tolerance.h"
#include "platform/std/vector.h"

namespace qel::detail {

using knTolerance::kRounding;
using knTolerance::kRoom;
using knTolerance::kSquareFloor;

// Whether the kept indexes take the point (knTolerance::kIndexLargest).
inline bool indexable(const krVector<2>& v) {
    return std::fabs(v.x()) < knTolerance::kIndexLargest && std::fabs(v.y()) < knTolerance::kIndexLargest;
}

// The square that the distance from a point to a box must pass before nothing
// in the box, a segment's or a vertex's distance computed as the closest-point
// queries compute it, can come as near as best: best^2 with kRoom of
// room, far beyond the few units in the last place either distance loses.
// Where the square loses digits to underflow it gives no room to rely on, so
// only boxes beyond that range are passed over; a best of 0 passes over
// every box at a distance at all. The square of a best at infinity (or one
// that overflows) passes over nothing.
inline double beyondSquare(double best) {
    const double sq = best * best;
    if (sq >= kSquareFloor) return sq * (1.0 + kRoom);
    return best == 0.0 ? 0.0 : kSquareFloor;
}

// Whether every point of the box [lo, hi] lies farther from p than a distance
// d measured from p to a closest point: the box's distance, taken on the
// farther axis alone, passes d by kRoom and by kRounding of the
// coordinates' size, which covers the rounding of the closest point's
// coordinates and of its distance. Never for NaN.
inline bool boxBeyond(const krVector<2>& lo, const krVector<2>& hi, const krVector<2>& p, double d) {
    const double gap = std::max(std::max(lo.x() - p.x(), p.x() - hi.x()), std::max(lo.y() - p.y(), p.y() - hi.y()));
    const double size = std::max({std::fabs(lo.x()), std::fabs(lo.y()), std::fabs(hi.x()), std::fabs(hi.y()),
                                  std::fabs(p.x()), std::fabs(p.y())});
    return gap > d * (1.0 + kRoom) + kRounding * size;
}

}  // namespace qel::detail

#endif
