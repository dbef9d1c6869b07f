#include "platform/std/geometry.h"

#include <cmath>

#include "platform/std/exception.h"
#include "platform/std/xform.h"

const krXform<2> krXform<2>::I;

krXform<2> krXform<2>::inverse() const {
    const krMatrix<2> inv = matrix_.inverse();
    return {inv, -(inv * trans_)};
}

void krLine::throwSingular() { throw krMathError::Singular(); }

krPoint krLine::proj(const krVector<2>& v) const {
    const double dd = direction_ * direction_;
    if (dd == 0.0) return krPoint(point_);
    const krVector<2> w = v - point_;
    // A point that tests as lying on the line is its own foot: the formula would
    // move it by the rounding of t * direction, so a contour vertex lying on
    // another segment would end up a few ulps away from itself.
    if (kfCross(w, direction_) == 0.0) return krPoint(v);
    return krPoint(point_ + direction_ * ((w * direction_) / dd));
}

double krLine::distToPoint(const krVector<2>& v) const {
    const double l = direction_.len();
    if (l == 0.0) return v.distance(point_);
    return std::fabs(kfCross(v - point_, direction_)) / l;
}
