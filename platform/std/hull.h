// Convex hulls and smallest enclosing circles of plane point sets, and the
// exact orientation test they rest on.
#ifndef QEL_PLATFORM_STD_HULL_H
#define QEL_PLATFORM_STD_HULL_H

#include <string>
#include <vector>

#include "platform/std/exception.h"
#include "platform/std/geometry.h"
#include "platform/std/vector.h"

// A hull was asked of points that are not all finite.
class krConvexHullError : public krExceptionWithString {
public:
    explicit krConvexHullError(const std::wstring& message = std::wstring())
        : krExceptionWithString(message) {}
    long errorNumber() const override { return 0x10000601; }
    void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
};

// The sign of the turn a -> b -> c: +1 counter-clockwise (c left of the
// directed line a b, with y up), -1 clockwise, 0 collinear. Exact: a quick
// floating-point answer is taken only when its error bound proves the sign,
// otherwise the determinant is summed exactly. Coordinates of very large or
// very small magnitude are first scaled by a power of two, which keeps the
// answer exact unless the six coordinates span more than about 2^900. A
// coordinate that is not finite gives 0.
int kfOrientation(const krVector<2>& a, const krVector<2>& b, const krVector<2>& c);

// The vertices of the convex hull, counter-clockwise with y up (so clockwise
// on an image, whose y runs down), starting at the lowest x, among those the
// lowest y. Only corners are kept: points on a hull edge and repeated points
// are dropped. Fewer than three corners give the degenerate hull: no points,
// one point (all points equal) or the two ends of the segment all points lie
// on, lowest first. Throws krConvexHullError when a coordinate is not finite.
//
// O(n log n), and close to one pass when most points lie well inside: points
// strictly inside the octagon of the extreme points in eight directions are
// dropped before the sort.
std::vector<krVector<2>> kfConvexHull(const std::vector<krVector<2>>& points);

// The smallest circle holding every point (Welzl's algorithm over the hull's
// corners). The two or three points that fix it are chosen with exact tests
// (inside the circle on a diameter, inside the circle through three points);
// its centre is then rounded, and its radius is the largest distance from
// that centre to a point, so no point lies outside it. No points give the
// default circle, one point a circle of radius 0 on it. Throws
// krConvexHullError when a coordinate is not finite.
krCircle kfMinEnclosingCircle(const std::vector<krVector<2>>& points);

#endif
