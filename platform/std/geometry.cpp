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
    return krPoint(point_ + direction_ * (((v - point_) * direction_) / dd));
}

double krLine::distToPoint(const krVector<2>& v) const {
    const double l = direction_.len();
    if (l == 0.0) return v.distance(point_);
    return std::fabs(kfCross(v - point_, direction_)) / l;
}
