// The distances at which the shapes' tests decide, and the other numbers the
// library's tests and screens are built on, each with its derivation. Every
// tolerance is absolute: no shape scales it. The screens that spare the full
// tests (support/crossing.h, support/nearness.h) derive their margins from
// these constants, so that a screen can never pass over what the full test
// would keep.
#ifndef QEL_CNTR_SUPPORT_TOLERANCE_H
#define QEL_CNTR_SUPPORT_TOLERANCE_H

#include <cmath>
#include <limits>

namespace knTolerance {

// Two points are one point (two directions, two transforms the same) when
// every component agrees within this.
constexpr double kEqual = 1e-15;

// The reach of contact. A crossing is kept only where the lines' common point
// lies within it of both segments; a segment within it of a query's end
// touches that end; a vertex within it of a point is on the point; boundaries
// nearer than it touch.
constexpr double kContact = 1e-6;

// A kept crossing lies within kContact of both segments, so two segments that
// keep one come within twice that of each other: pairs or boxes farther apart
// hold none.
constexpr double kPairReach = 2 * kContact;

// Room for rounding, as a part of the size of the coordinates involved: far
// above the few units in the last place that a difference, a product or a
// root loses (some 4500 of them), so a margin of kRounding * size covers the
// rounding of every step a filter or a full test takes.
constexpr double kRounding = 1e-12;

// The unit roundoff of double: each operation is exact up to a factor 1 + d,
// |d| <= kUnitRoundoff.
constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;

// The largest coordinate the kept indexes (point location, nearest points)
// take: their bounds and walks form products of up to four spans (a squared
// cross product), which stay finite below 2^254. Shapes beyond it are
// answered by one pass over their edges instead.
constexpr double kIndexLargest = 0x1p250;

// Squares below this have lost digits to underflow, or come near enough to
// it that a comparison of two of them proves nothing: 2^-900, far above the
// smallest normal double (2^-1022) and the square of lengths of about 1e-135.
constexpr double kSquareFloor = 0x1p-900;

// A part in 1e9: the room a screen leaves where it compares two distances
// (their squares, or two angles) reached along different paths. Each path
// loses a few units in the last place, some 1e-16 of the value; a part in 1e9
// leaves them far behind.
constexpr double kRoom = 1e-9;

// Beyond this size a coordinate, or a sum of a few of them, may overflow: the
// loops that add or square such numbers scale them first or take another
// path. 1e300 leaves a factor of more than 1e8 below the largest double.
constexpr double kHuge = 1e300;

// Signed areas summed cancel out when what is left is only the rounding of
// the sum: some units in the last place of the areas summed apart from their
// signs, which kRounding of that size covers.
inline bool areasCancel(double sum, double sizes) { return std::fabs(sum) <= kRounding * sizes; }

// An area this small is none at all, whatever the areas that gave it.
constexpr double kNoArea = 1e-15;

}  // namespace knTolerance

#endif
