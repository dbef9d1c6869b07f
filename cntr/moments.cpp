#include "cntr/moments.h"

#include <cmath>
#include <limits>

#include "platform/std/exception.h"
#include "platform/std/fit.h"
#include "platform/std/geometry.h"

namespace {

// The point and edgelet forms share their loops through this accessor, so the
// edgelet forms give bit for bit the answers of the point forms on the
// positions without copying them first.
inline const krVector<2>& positionOf(const krVector<2>& p) { return p; }
inline const krVector<2>& positionOf(const krEdgelet& e) { return e.position(); }

// Twice the signed area: cross products over the edges (p[n-1], p[0]),
// (p[0], p[1]), ..., (p[n-2], p[n-1]), summed in that order. Not empty.
template <class T>
double twiceSignedArea(const std::vector<T>& items) {
    const krVector<2>* u = &positionOf(items.back());
    double sum = 0.0;
    for (const T& item : items) {
        const krVector<2>& v = positionOf(item);
        sum += kfCross(*u, v);
        u = &v;
    }
    return sum;
}

// Each edge (u, v) with a cross product w beyond 1e-15 adds the centroid of the
// triangle (origin, u, v) weighted by w, the centroid found where two medians
// meet. W is twice the area, and a polygon with |W| <= 1e-6 has no centroid
// worth the division: it gives the origin.
template <class T>
krVector<2> polygonCentroid(const std::vector<T>& items) {
    if (items.size() < 3) return krVector<2>();
    const krVector<2> origin;
    const krVector<2>* u = &positionOf(items.back());
    double w = 0.0, sx = 0.0, sy = 0.0;
    for (const T& item : items) {
        const krVector<2>& v = positionOf(item);
        const double c = kfCross(*u, v);
        if (std::fabs(c) > 1e-15) {
            const krLine fromOrigin = krLineSeg(origin, (*u + v) * 0.5).line();
            const krLine fromU = krLineSeg(*u, v * 0.5).line();
            const krVector<2> g = fromOrigin.intersect(fromU).pos();
            sx += g.x() * c;
            sy += g.y() * c;
            w += c;
        }
        u = &v;
    }
    if (std::fabs(w) <= 1e-6) return krVector<2>();
    const double f = 1.0 / w;
    return {sx * f, sy * f};
}

// The moments of the triangle (p1, p2, p3), worked out in a frame where the
// triangle stands on one side with its apex above the foot of the altitude.
// The area carries the orientation; the moments stay positive.
kr_InertiaData triangleRecord(krVector<2> p1, krVector<2> p2, krVector<2> p3) {
    // Stand the triangle on a side the altitude's foot falls within (the
    // longest side always qualifies), since the frame below measures a and b
    // without sign: while the apex is farther from the side than from its
    // line, turn the vertices. The 1e-10 keeps a right angle
    // at the base, where the two distances agree up to rounding, from turning
    // the triangle. Should rounding refuse all three sides, three turns bring
    // back the order given.
    for (int turn = 0; turn < 3; ++turn) {
        const krLineSeg side(p1, p2);
        if (!(side.distToPoint(p3) - 1e-10 > side.line().distToPoint(p3))) break;
        const krVector<2> first = p1;
        p1 = p2;
        p2 = p3;
        p3 = first;
    }

    // Local frame: the side on the x axis from (-a, 0) to (b, 0), the apex at (0, h).
    const krVector<2> foot = krLineSeg(p1, p2).line().proj(p3).pos();
    const double a = foot.distance(p1), b = foot.distance(p2), h = foot.distance(p3);
    double area = (a + b) * h / 2.0;
    const double cx = (b - a) / 3.0;
    double cy = h / 3.0;
    const double iyy = (a + b) * (h * h * h) / 12.0 - area * cy * cy;
    double ixy = (b * b - a * a) * (h * h) / 24.0 - area * cx * cy;
    const double ixx = h * (a * a * a + b * b * b) / 12.0 - area * cx * cx;

    // An apex right of p1 -> p2 lies at (0, -h): the frame's y flips.
    if (kfCross(p2 - p1, p3 - p1) < 0.0) {
        area = -area;
        cy = -cy;
        ixy = -ixy;
    }

    // Back into the plane, turned by the direction of the side.
    const double theta = (p2 - p1).angle().toDouble();
    const double c = std::cos(theta), s = std::sin(theta);
    const double mxx = c * c * ixx - 2.0 * c * s * ixy + s * s * iyy;
    const double myy = s * s * ixx + 2.0 * c * s * ixy + c * c * iyy;
    const double mxy = c * s * ixx + (c * c - s * s) * ixy - c * s * iyy;
    const krMatrix<2> rotation(c, -s, s, c);  // krMatrix<2>(theta, theta, 1, 1), cos and sin taken once
    return kr_InertiaData(area, foot + rotation * krVector<2>(cx, cy), krMatrix<2>(mxx, mxy, mxy, myy));
}

}  // namespace

kr_InertiaData kr_InertiaData::operator+(const kr_InertiaData& other) const {
    const kr_InertiaData& a = *this;
    const kr_InertiaData& b = other;
    if (a.area_ == 0.0) return b;
    if (b.area_ == 0.0) return a;

    const double sum = b.area_ + a.area_;
    krVector<2> center;
    if (std::fabs(sum) > 1e-16)
        center = (a.centerOfMass_ * a.area_ + b.centerOfMass_ * b.area_) * (1.0 / sum);
    const krVector<2> da = center - a.centerOfMass_, db = center - b.centerOfMass_;

    // Two parts of one sign add with their sizes. Parts of opposite signs make
    // a difference: the shifts keep the areas' signs, and the negative part
    // (a hole) has its own moments taken away.
    double wa, wb, sa = 1.0, sb = 1.0;
    const double product = a.area_ * b.area_;
    if (product > 0.0) {
        wa = std::fabs(a.area_);
        wb = std::fabs(b.area_);
    } else {
        wa = a.area_;
        wb = b.area_;
        if (product < 0.0) {
            if (b.area_ < a.area_)
                sb = -1.0;
            else
                sa = -1.0;
        }
    }
    const krMatrix<2>& ma = a.inertiaMatrix_;
    const krMatrix<2>& mb = b.inertiaMatrix_;
    const double m00 = sa * ma.element(0, 0) + sb * mb.element(0, 0) + wb * (db.x() * db.x()) +
                       wa * (da.x() * da.x());
    const double m01 = sa * ma.element(0, 1) + sb * mb.element(0, 1) + wb * db.x() * db.y() +
                       wa * da.x() * da.y();
    const double m11 = sa * ma.element(1, 1) + sb * mb.element(1, 1) + wa * (da.y() * da.y()) +
                       wb * (db.y() * db.y());
    return kr_InertiaData(sum, center, krMatrix<2>(m00, m01, m01, m11));
}

kr_InertiaData kf_InertiaDataPolygon(const std::vector<krVector<2>>& points) {
    const std::size_t n = points.size();
    if (n < 3) return kr_InertiaData();

    // The polygon as a fan of triangles from its centroid, one per edge.
    const krVector<2> c = knContour::centerOfMass(points);
    std::vector<kr_InertiaData> fan;
    fan.reserve(n);
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        fan.push_back(triangleRecord(c, points[i == 0 ? n - 1 : i - 1], points[i]));
        total += fan.back().area();
    }
    const double avg = total / static_cast<double>(n);

    // The triangles go into the sum in three passes, and the order matters:
    // the sum takes a part away when the signs of the sum so far and the part
    // differ. Large triangles of the polygon's own sense come first, then the
    // other non-negligible ones of that sense, and only then the small, empty
    // and opposite ones, so those are taken from a sum that already has the
    // polygon's sense. Which pass a triangle belongs to follows from its area,
    // so no marks need to be kept.
    const auto firstPass = [avg](double area) { return avg < area || (avg < 0.0 && area < avg); };
    const double t = avg > 0.0 ? 1e-6 : -1e-6;
    const auto secondPass = [t](double area) { return t < area || (t < 0.0 && area < t); };
    kr_InertiaData r;
    for (const kr_InertiaData& tri : fan)
        if (firstPass(tri.area())) r = r + tri;
    for (const kr_InertiaData& tri : fan)
        if (!firstPass(tri.area()) && secondPass(tri.area())) r = r + tri;
    for (const kr_InertiaData& tri : fan)
        if (!firstPass(tri.area()) && !secondPass(tri.area())) r = r + tri;
    return r;
}

double kf_Area(const std::vector<krVector<2>>& points) {
    if (points.empty()) return 0.0;
    return std::fabs(twiceSignedArea(points) * 0.5);
}

double kf_Area(const std::vector<krEdgelet>& edgelets) {
    if (edgelets.size() < 3) return 0.0;
    return std::fabs(twiceSignedArea(edgelets) * 0.5);
}

krVector<2> knContour::centerOfMass(const std::vector<krVector<2>>& points) {
    return polygonCentroid(points);
}

krVector<2> kf_CenterOfMass(const std::vector<krVector<2>>& points) {
    return knContour::centerOfMass(points);
}

krVector<2> kf_CenterOfMass(const std::vector<krEdgelet>& edgelets) {
    return polygonCentroid(edgelets);
}

double kf_StdDev(const std::vector<double>& values) {
    if (values.empty()) return 0.0;
    const double n = static_cast<double>(values.size());
    double sum = 0.0;
    for (double v : values) sum += v;
    const double mean = sum / n;
    double squares = 0.0;
    for (double v : values) squares += (v - mean) * (v - mean);
    return std::sqrt(squares / n);
}

namespace {

krMatrix<2> rotationBy(double phi) { return krMatrix<2>(krRadian(phi), krRadian(phi), 1.0, 1.0); }

// Three correctly rounded square roots: cheaper than pow, and the same on every platform.
double eighthRoot(double v) { return std::sqrt(std::sqrt(std::sqrt(v))); }

}  // namespace

krEllipse kf_EllipseFromInertiaData(const kr_InertiaData& data) {
    const krMatrix<2>& m = data.inertiaMatrix();
    // The direction of the larger principal moment; atan2(0, 0) = 0 for a
    // round disc.
    const double theta = 0.5 * std::atan2(2.0 * m.element(0, 1), m.element(0, 0) - m.element(1, 1));
    const krMatrix<2> d = rotationBy(-theta) * m * rotationBy(theta);
    const double l1 = std::fabs(d.element(0, 0));
    const double l2 = std::fabs(d.element(1, 1));
    if (l1 <= 1e-12 || l2 <= 1e-12) throw krMathError::Singular();

    // A disc with semi-axes a, b has principal moments pi a^3 b / 4 and
    // pi a b^3 / 4; solved for a and b.
    const double piSquared = 9.869604401089358;
    const double a = eighthRoot(16.0 * l1 * l1 * l1 / (piSquared * l2));
    const double b = eighthRoot(16.0 * l2 * l2 * l2 / (piSquared * l1));
    return krEllipse(krEllipse::krEllipseGeom(data.centerOfMass(), a, b, krRadian(theta), false, false));
}

void kf_FitEllipse(const std::vector<krVector<2>>& points, krEllipse& ellipse, double& residual) {
    const double none = std::numeric_limits<double>::infinity();
    try {
        krEllipseFitResults fit;
        kfEllipseFit(krEllipseFitParams(krEllipseFitDefs::fit_mode(0), krRadian(0.0), 0, none), points,
                     fit);
        ellipse = fit.ellipse();
        residual = fit.residual();
        return;
    } catch (const krException&) {
        // Too few points, or not an ellipse: the circle may still do.
    }
    try {
        krCircleFitResults fit;
        kfCircleFit(krCircleFitParams(krCircleFitDefs::fit_mode(0), 1.0, 0, none), points, fit);
        ellipse = krEllipse(fit.circle());
        residual = fit.residual();
        return;
    } catch (const krException&) {
        // Neither fits; the empty ellipse and -1 say so.
    }
    ellipse = krEllipse();
    residual = -1.0;
}

void kf_FitEllipse(const std::vector<krEdgelet>& edgelets, krEllipse& ellipse, double& residual) {
    std::vector<krVector<2>> points;
    points.reserve(edgelets.size());
    for (const krEdgelet& e : edgelets) points.push_back(e.position());
    kf_FitEllipse(points, ellipse, residual);
}
