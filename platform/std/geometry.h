// Points, lines, segments, rectangles, circles and polygons of the plane.
#ifndef QEL_PLATFORM_STD_GEOMETRY_H
#define QEL_PLATFORM_STD_GEOMETRY_H

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/std/vector.h"

// A position.
class krPoint {
public:
    krPoint() = default;
    explicit krPoint(const krVector<2>& pos) : pos_(pos) {}
    const krVector<2>& pos() const { return pos_; }
    bool operator==(const krPoint& o) const { return pos_ == o.pos_; }
    bool operator!=(const krPoint& o) const { return !(*this == o); }

private:
    krVector<2> pos_{};
};

// An infinite line through a point along a direction. The direction is kept
// exactly as given (not normalized), so the line of a segment carries the
// segment's own coordinates and no rounding. A zero direction makes a
// degenerate line: it is parallel to every line and its points are its point.
class krLine {
public:
    krLine() = default;
    krLine(const krVector<2>& point, const krVector<2>& direction)
        : point_(point), direction_(direction) {}

    const krVector<2>& point() const { return point_; }
    const krVector<2>& direction() const { return direction_; }

    // Parallel when the sine of the angle between the two directions is at most
    // kParallelSine (1e-12), i.e. |d1 x d2| <= 1e-12 |d1| |d2|. The test is
    // independent of scale and catches directions that differ only by the rounding
    // of their coordinates, so a contour that doubles back on itself along a
    // slanted line counts as parallel there just as one along an axis does. A
    // degenerate line is parallel to everything.
    bool isParallel(const krLine& other) const {
        // Squared, to spare the roots. Where a square leaves the range (or a
        // direction has no length) the scaled form decides.
        const double c = kfCross(direction_, other.direction_);
        const double d1 = direction_ * direction_, d2 = other.direction_ * other.direction_;
        const double lhs = c * c, rhs = kParallelSine * kParallelSine * d1 * d2;
        if (rhs >= 0x1p-900 && lhs <= 1.7976931348623157e308 && rhs <= 1.7976931348623157e308)
            return lhs <= rhs;
        return isParallelScaled(other);
    }

    // The common point. Computed whenever the cross product of the directions is
    // not exactly zero (even for lines isParallel calls parallel), as
    // point + t * direction with t from one division; throws krMathError::Singular
    // when the directions are exactly parallel. Directions whose cross product
    // leaves the range are scaled first; a zero or non-finite one is
    // singular, as it is parallel to everything.
    krPoint intersect(const krLine& other) const {
        const double denom = kfCross(direction_, other.direction_);
        if (!(std::fabs(denom) >= 0x1p-900 && std::fabs(denom) <= 0x1p1000)) return intersectScaled(other);
        const double t = kfCross(other.point_ - point_, other.direction_) / denom;
        return krPoint(point_ + direction_ * t);
    }

    // The foot of the perpendicular from v: v itself when (v - point) x direction
    // is exactly zero, the line's point for a degenerate line.
    krPoint proj(const krVector<2>& v) const;

    // Perpendicular distance, |(v - point) x direction| / |direction|; the distance
    // to the line's point for a degenerate line.
    double distToPoint(const krVector<2>& v) const;

    bool operator==(const krLine& o) const {
        return point_ == o.point_ && direction_ == o.direction_;
    }
    bool operator!=(const krLine& o) const { return !(*this == o); }

    static constexpr double kParallelSine = 1e-12;

private:
    // Each direction divided by its largest component, so that nothing
    // overflows or underflows; a direction of length 0 or not finite is
    // parallel to everything.
    bool isParallelScaled(const krLine& other) const;
    krPoint intersectScaled(const krLine& other) const;
    [[noreturn]] static void throwSingular();
    krVector<2> point_{};
    krVector<2> direction_{};
};

// The closed segment from p1 to p2.
class krLineSeg {
public:
    krLineSeg() = default;
    krLineSeg(const krVector<2>& p1, const krVector<2>& p2) : p1_(p1), p2_(p2) {}

    const krVector<2>& p1() const { return p1_; }
    const krVector<2>& p2() const { return p2_; }
    double length() const { return p1_.distance(p2_); }
    // The line through p1 with direction p2 - p1.
    krLine line() const { return krLine(p1_, p2_ - p1_); }

    // Distance from v to the nearest point of the segment. With
    // t = (v - p1).(p2 - p1) / |p2 - p1|^2: |v - p1| for t <= 0, |v - p2| for
    // t >= 1, otherwise the perpendicular distance |(v - p1) x (p2 - p1)| / |p2 - p1|,
    // which is computed without forming the foot point and so loses no accuracy
    // to it. A zero-length segment gives |v - p1|.
    // The squared lengths distToPoint takes the plain form for (the lane
    // passes decide alike).
    static constexpr double kPlainSquareLow = 0x1p-900, kPlainSquareHigh = 0x1p1000;
    double distToPoint(const krVector<2>& v) const {
        const krVector<2> d = p2_ - p1_;
        const double dd = d * d;
        // Squares out of range (coordinates above about 1e150, segments shorter
        // than about 1e-135, zero-length ones) take the scaled form; so does a
        // t lost to overflowing products.
        if (!(dd >= kPlainSquareLow && dd <= kPlainSquareHigh)) return scaledDistToPoint(v);
        const double t = ((v - p1_) * d) / dd;
        if (t <= 0.0) return v.distance(p1_);
        if (t >= 1.0) return v.distance(p2_);
        if (std::isnan(t)) return scaledDistToPoint(v);
        return std::fabs(kfCross(v - p1_, d)) / std::sqrt(dd);
    }

    bool operator==(const krLineSeg& o) const { return p1_ == o.p1_ && p2_ == o.p2_; }
    bool operator!=(const krLineSeg& o) const { return !(*this == o); }

private:
    // distToPoint with the points taken about p1 and scaled by a power of two.
    double scaledDistToPoint(const krVector<2>& v) const;
    krVector<2> p1_{};
    krVector<2> p2_{};
};

// An axis-aligned rectangle: an origin (the lower corner) and a size. It keeps
// its two corners, so enclosing and the closed within test are exact; size()
// is the difference of the corners.
class krRect {
public:
    krRect() = default;
    krRect(const krVector<2>& origin, const krVector<2>& size) : lo_(origin), hi_(origin + size) {}

    const krVector<2>& origin() const { return lo_; }
    krVector<2> size() const { return hi_ - lo_; }
    const krVector<2>& corner() const { return hi_; }
    double width() const { return hi_.x() - lo_.x(); }
    double height() const { return hi_.y() - lo_.y(); }

    // The smallest rectangle holding both.
    krRect enclose(const krRect& o) const {
        krRect r;
        r.lo_ = krVector<2>(std::min(lo_.x(), o.lo_.x()), std::min(lo_.y(), o.lo_.y()));
        r.hi_ = krVector<2>(std::max(hi_.x(), o.hi_.x()), std::max(hi_.y(), o.hi_.y()));
        return r;
    }
    // Closed: a point on the border is within.
    bool within(const krVector<2>& v) const {
        return lo_.x() <= v.x() && v.x() <= hi_.x() && lo_.y() <= v.y() && v.y() <= hi_.y();
    }
    // Closed intervals overlap on both axes: touching rectangles overlap.
    bool overlaps(const krRect& o) const {
        return hi_.x() >= o.lo_.x() && o.hi_.x() >= lo_.x() && hi_.y() >= o.lo_.y() &&
               o.hi_.y() >= lo_.y();
    }

    bool operator==(const krRect& o) const { return lo_ == o.lo_ && hi_ == o.hi_; }
    bool operator!=(const krRect& o) const { return !(*this == o); }

private:
    krVector<2> lo_{};
    krVector<2> hi_{};
};

class krCircle {
public:
    krCircle() = default;
    krCircle(const krVector<2>& center, double radius) : center_(center), radius_(radius) {}
    const krVector<2>& center() const { return center_; }
    double radius() const { return radius_; }
    bool operator==(const krCircle& o) const {
        return center_ == o.center_ && radius_ == o.radius_;
    }
    bool operator!=(const krCircle& o) const { return !(*this == o); }

private:
    krVector<2> center_{};
    double radius_ = 0.0;
};

// A list of vertices with a fill mode (0: even-odd; the mode is carried, not
// interpreted, by this library).
class krPolygon {
public:
    krPolygon() = default;
    explicit krPolygon(const std::vector<krVector<2>>& points, int fillMode = 0)
        : points_(points), fillMode_(fillMode) {}

    std::size_t size() const { return points_.size(); }
    // Unchecked, like std::vector.
    const krVector<2>& operator[](std::size_t i) const { return points_[i]; }
    const std::vector<krVector<2>>& points() const { return points_; }
    int fillMode() const { return fillMode_; }

    bool operator==(const krPolygon& o) const {
        return points_ == o.points_ && fillMode_ == o.fillMode_;
    }
    bool operator!=(const krPolygon& o) const { return !(*this == o); }

private:
    std::vector<krVector<2>> points_;
    int fillMode_ = 0;
};

#endif
