#include "platform/std/geometry.h"

#include <algorithm>
#include <cmath>

#include "platform/std/exception.h"
#include "platform/std/xform.h"

const krXform<2> krXform<2>::I;

krXform<2> krXform<2>::inverse() const {
    const krMatrix<2> inv = matrix_.inverse();
    return {inv, -(inv * trans_)};
}

void krLine::throwSingular() { throw krMathError::Singular(); }

namespace {
// v divided by its largest component; false for a zero or non-finite v.
bool normalized(const krVector<2>& v, krVector<2>& out) {
    const double m = std::max(std::fabs(v.x()), std::fabs(v.y()));
    if (!(m > 0.0) || !std::isfinite(m) || !std::isfinite(v.x() + v.y())) return false;
    out = krVector<2>(v.x() / m, v.y() / m);
    return true;
}
}  // namespace

bool krLine::isParallelScaled(const krLine& other) const {
    krVector<2> a{}, b{};
    if (!normalized(direction_, a) || !normalized(other.direction_, b)) return true;
    return std::fabs(kfCross(a, b)) <= kParallelSine * a.len() * b.len();
}

krPoint krLine::intersectScaled(const krLine& other) const {
    // Dividing a direction by a number changes t, not the point.
    krVector<2> a{}, b{};
    if (!normalized(direction_, a) || !normalized(other.direction_, b)) throwSingular();
    const double denom = kfCross(a, b);
    if (denom == 0.0) throwSingular();
    return krPoint(point_ + a * (kfCross(other.point_ - point_, b) / denom));
}

double krLineSeg::scaledDistToPoint(const krVector<2>& v) const {
    // Coordinates near the top of the range are brought down first (exactly),
    // so that their differences cannot overflow.
    const double top = std::max({std::fabs(p1_.x()), std::fabs(p1_.y()), std::fabs(p2_.x()),
                                 std::fabs(p2_.y()), std::fabs(v.x()), std::fabs(v.y())});
    if (!std::isfinite(top)) return std::isnan(top + v.x() + v.y()) ? top + v.x() + v.y() : v.distance(p1_);
    const int pre = top > 0x1p1000 ? 64 : 0;
    const krVector<2> a(std::scalbn(p1_.x(), -pre), std::scalbn(p1_.y(), -pre));
    const krVector<2> b(std::scalbn(p2_.x(), -pre), std::scalbn(p2_.y(), -pre));
    const krVector<2> q(std::scalbn(v.x(), -pre), std::scalbn(v.y(), -pre));
    krVector<2> d = b - a, w = q - a;
    const double m = std::max({std::fabs(d.x()), std::fabs(d.y()), std::fabs(w.x()), std::fabs(w.y())});
    if (m == 0.0) return 0.0;
    if (std::isnan(m)) return m;  // a coordinate that is not a number
    const int e = std::ilogb(m);
    d = krVector<2>(std::scalbn(d.x(), -e), std::scalbn(d.y(), -e));
    w = krVector<2>(std::scalbn(w.x(), -e), std::scalbn(w.y(), -e));
    const double dd = d * d;
    const double t = dd == 0.0 ? 0.0 : (w * d) / dd;
    double r;
    if (t <= 0.0)
        r = w.len();
    else if (t >= 1.0)
        r = (w - d).len();
    else
        r = std::fabs(kfCross(w, d)) / std::sqrt(dd);
    return std::scalbn(r, e + pre);
}

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
