// Plane vectors and integer or real pairs.
#ifndef QEL_PLATFORM_STD_VECTOR_H
#define QEL_PLATFORM_STD_VECTOR_H

#include <cmath>
#include <iosfwd>
#include <type_traits>

#include "platform/std/angle.h"

template <int N>
class krVector;

// A point or displacement in the plane: two doubles.
// The length of (x, y). The common case is one root of the sum of squares;
// sums out of range take kfScaledLength.
double kfScaledLength(double x, double y);
// The sums of squares whose plain root is the length (the lane passes
// decide alike).
constexpr double kfPlainSquareLow = 0x1p-900, kfPlainSquareHigh = 1.7976931348623157e308;
inline double kfLength(double x, double y) {
    const double s = x * x + y * y;
    if (s >= kfPlainSquareLow && s <= kfPlainSquareHigh) return std::sqrt(s);
    return kfScaledLength(x, y);
}

template <>
class krVector<2> {
public:
    // krVector<2>() is (0, 0): value-initialisation zeroes both coordinates.
    // The constructor itself writes nothing, so the point type is trivial and
    // lists of points are copied whole (memmove), and a list made to be
    // overwritten is not cleared first. A point declared without an
    // initialiser (krVector<2> v;) holds nothing defined: write {} there.
    krVector() = default;
    krVector(double x, double y) : x_(x), y_(y) {}
    // Polar form: a vector of the given length pointing along the angle.
    krVector(double length, const krRadian& angle)
        : x_(length * cos(angle)), y_(length * sin(angle)) {}

    double x() const { return x_; }
    double y() const { return y_; }
    void x(double v) { x_ = v; }
    void y(double v) { y_ = v; }

    krVector operator+(const krVector& o) const { return {x_ + o.x_, y_ + o.y_}; }
    krVector operator-(const krVector& o) const { return {x_ - o.x_, y_ - o.y_}; }
    krVector operator-() const { return {-x_, -y_}; }
    krVector operator*(double s) const { return {x_ * s, y_ * s}; }
    friend krVector operator*(double s, const krVector& v) { return v * s; }
    krVector operator/(double s) const { return {x_ / s, y_ / s}; }
    // Dot product.
    double operator*(const krVector& o) const { return x_ * o.x_ + y_ * o.y_; }
    krVector& operator+=(const krVector& o) { x_ += o.x_; y_ += o.y_; return *this; }
    krVector& operator-=(const krVector& o) { x_ -= o.x_; y_ -= o.y_; return *this; }
    krVector& operator*=(double s) { x_ *= s; y_ *= s; return *this; }

    bool operator==(const krVector& o) const { return x_ == o.x_ && y_ == o.y_; }
    bool operator!=(const krVector& o) const { return !(*this == o); }

    // Euclidean length and distance. They use sqrt(dx*dx + dy*dy) rather than
    // hypot: several times faster in the passes over large contours. Where the
    // sum of squares overflows or falls below 2^-900 (coordinates above about
    // 1e153, or tiny ones), the components are scaled by a power of two first,
    // so the answer stays right for every finite coordinate.
    double len() const { return kfLength(x_, y_); }
    double distance(const krVector& o) const { return kfLength(x_ - o.x_, y_ - o.y_); }
    // The vector scaled to length 1; throws krMathError::Singular for (0, 0).
    krVector unit() const;
    // Direction, atan2(y, x), in (-pi, pi]. Adding 0.0 turns a -0.0 y into +0.0,
    // which atan2 would otherwise answer with -pi for a vector along -x.
    krRadian angle() const { return krRadian(std::atan2(y_ + 0.0, x_)); }

private:
    double x_;
    double y_;
};

static_assert(std::is_trivial<krVector<2>>::value, "a point list copies as bytes");

// z of the cross product u x v: positive when v turns counter-clockwise from u.
inline double kfCross(const krVector<2>& u, const krVector<2>& v) {
    return u.x() * v.y() - u.y() * v.x();
}

std::ostream& operator<<(std::ostream& os, const krVector<2>& v);

// A pair of values; the integer form addresses grid cells, the real form
// carries tablet coordinates.
template <class T>
class krPair {
public:
    krPair() = default;
    krPair(T x, T y) : x_(x), y_(y) {}
    template <class U = T, class = std::enable_if_t<std::is_same<U, double>::value>>
    krPair(const krVector<2>& v) : x_(v.x()), y_(v.y()) {}

    T x() const { return x_; }
    T y() const { return y_; }
    void x(T v) { x_ = v; }
    void y(T v) { y_ = v; }

    bool operator==(const krPair& o) const { return x_ == o.x_ && y_ == o.y_; }
    bool operator!=(const krPair& o) const { return !(*this == o); }
    // Ordered by x, then y.
    bool operator<(const krPair& o) const { return x_ < o.x_ || (x_ == o.x_ && y_ < o.y_); }

private:
    T x_{};
    T y_{};
};

#endif
