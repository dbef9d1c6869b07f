// Ellipses.
#ifndef QEL_PLATFORM_STD_ELLIPSE_H
#define QEL_PLATFORM_STD_ELLIPSE_H

#include "platform/std/angle.h"
#include "platform/std/geometry.h"
#include "platform/std/vector.h"

// An ellipse: centre, semi-axis a along the direction `rotation`, semi-axis b
// across it. The default ellipse is empty: centre (0, 0), both axes 0.
class krEllipse {
public:
    struct krEllipseGeom {
        krEllipseGeom() = default;
        krEllipseGeom(const krVector<2>& center, double a, double b, const krRadian& rotation,
                      bool flag0 = false, bool flag1 = false)
            : center(center), a(a), b(b), rotation(rotation), flag0(flag0), flag1(flag1) {}
        krVector<2> center{};
        double a = 0.0;
        double b = 0.0;
        krRadian rotation;
        // Two caller-defined flags, carried unchanged.
        bool flag0 = false;
        bool flag1 = false;
        bool operator==(const krEllipseGeom& o) const {
            return center == o.center && a == o.a && b == o.b && rotation == o.rotation &&
                   flag0 == o.flag0 && flag1 == o.flag1;
        }
    };

    krEllipse() = default;
    explicit krEllipse(const krEllipseGeom& geom) : geom_(geom) {}
    // The circle as an ellipse with equal axes and rotation 0.
    explicit krEllipse(const krCircle& c) : geom_(c.center(), c.radius(), c.radius(), krRadian(0.0)) {}

    const krVector<2>& center() const { return geom_.center; }
    double a() const { return geom_.a; }
    double b() const { return geom_.b; }
    const krRadian& rotation() const { return geom_.rotation; }
    const krEllipseGeom& geom() const { return geom_; }

    bool operator==(const krEllipse& o) const { return geom_ == o.geom_; }
    bool operator!=(const krEllipse& o) const { return !(*this == o); }

private:
    krEllipseGeom geom_;
};

#endif
