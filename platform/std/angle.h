// Angles as explicit types, so that overloads taking a length and an angle
// stay unambiguous.
#ifndef QEL_PLATFORM_STD_ANGLE_H
#define QEL_PLATFORM_STD_ANGLE_H

#include <cmath>

class krDegree;

// An angle in radians.
class krRadian {
public:
    krRadian() = default;
    explicit krRadian(double value) : value_(value) {}

    double toDouble() const { return value_; }

    // The same direction in [0, 2*pi).
    krRadian norm() const;

    krRadian operator+(const krRadian& o) const { return krRadian(value_ + o.value_); }
    krRadian operator-(const krRadian& o) const { return krRadian(value_ - o.value_); }
    krRadian operator-() const { return krRadian(-value_); }
    krRadian operator*(double s) const { return krRadian(value_ * s); }
    friend krRadian operator*(double s, const krRadian& a) { return a * s; }
    bool operator<(const krRadian& o) const { return value_ < o.value_; }
    bool operator==(const krRadian& o) const { return value_ == o.value_; }
    bool operator!=(const krRadian& o) const { return value_ != o.value_; }

private:
    double value_ = 0.0;
};

// An angle in degrees; converts to krRadian wherever one is expected.
class krDegree {
public:
    krDegree() = default;
    explicit krDegree(double value) : value_(value) {}
    explicit krDegree(const krRadian& r);

    double toDouble() const { return value_; }
    operator krRadian() const;

    bool operator==(const krDegree& o) const { return value_ == o.value_; }
    bool operator!=(const krDegree& o) const { return value_ != o.value_; }

private:
    double value_ = 0.0;
};

inline double sin(const krRadian& a) { return std::sin(a.toDouble()); }
inline double cos(const krRadian& a) { return std::cos(a.toDouble()); }
inline double tan(const krRadian& a) { return std::tan(a.toDouble()); }

constexpr double kPi = 3.14159265358979323846;

#endif
