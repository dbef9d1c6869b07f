#include "cntr/moments.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "cntr/support/vertexpasses.h"

#include "platform/std/exception.h"
#include "platform/std/fit.h"
#include "platform/std/geometry.h"

using namespace qel::detail;

namespace {

// The point and edgelet forms share their loops through this accessor, so the
// edgelet forms give bit for bit the answers of the point forms on the
// positions without copying them first.
inline const krVector<2>& positionOf(const krVector<2>& p) { return p; }
inline const krVector<2>& positionOf(const krEdgelet& e) { return e.position(); }

// The sums below are taken about a local origin, a vertex of the polygon, and
// moved back at the end. About the plane's origin they would lose every digit
// the polygon's distance from it takes up: the cross products of far-off
// points cancel. The first vertex with finite coordinates serves, so that one
// bad vertex spoils only its own edges, as it would about the plane's origin.
template <class T>
krVector<2> localOrigin(const std::vector<T>& items) {
    for (const T& item : items) {
        const krVector<2>& p = positionOf(item);
        if (std::isfinite(p.x()) && std::isfinite(p.y())) return p;
    }
    return krVector<2>();
}

// Calls sums[i % 4].add(u, v) for every edge (u, v) ending at p[i], i in
// [from, to) (from a multiple of 4), of the closed polygon, its points taken
// relative to o: edge 0 is (p[n-1], p[0]), edge i > 0 is (p[i-1], p[i]). Four
// chains of additions run side by side; merge them with mergeLanes.
template <class Sums, class T>
void sumEdges(const std::vector<T>& items, const krVector<2>& o, Sums (&sums)[4], std::size_t from,
              std::size_t to) {
    const std::size_t n = items.size();
    const double ox = o.x(), oy = o.y();
    auto at = [&](std::size_t i, double& x, double& y) {
        const krVector<2>& p = positionOf(items[i]);
        x = p.x() - ox;
        y = p.y() - oy;
    };
    double ux, uy;
    at(from == 0 ? n - 1 : from - 1, ux, uy);
    std::size_t i = from;
    for (; i + 4 <= to; i += 4) {
        double x0, y0, x1, y1, x2, y2, x3, y3;
        at(i, x0, y0);
        at(i + 1, x1, y1);
        at(i + 2, x2, y2);
        at(i + 3, x3, y3);
        sums[0].add(ux, uy, x0, y0);
        sums[1].add(x0, y0, x1, y1);
        sums[2].add(x1, y1, x2, y2);
        sums[3].add(x2, y2, x3, y3);
        ux = x3;
        uy = y3;
    }
    for (; i < to; ++i) {
        double x, y;
        at(i, x, y);
        sums[i % 4].add(ux, uy, x, y);
        ux = x;
        uy = y;
    }
}

template <class Sums, class T>
void sumEdges(const std::vector<T>& items, const krVector<2>& o, Sums (&sums)[4]) {
    sumEdges(items, o, sums, 0, items.size());
}

template <class Sums>
Sums mergeLanes(const Sums (&sums)[4]) {
    Sums a = sums[0], b = sums[2];
    a.merge(sums[1]);
    b.merge(sums[3]);
    a.merge(b);
    return a;
}

// Twice the signed area: the sum of the edges' cross products.
struct AreaSums {
    double w = 0.0;
    void add(double ux, double uy, double vx, double vy) { w += ux * vy - uy * vx; }
    void merge(const AreaSums& o) { w += o.w; }
};

// Past spans of about 1e154 the cross products overflow, and their sum may
// come out as inf - inf. The sums are then taken again with the coordinates
// scaled by a power of two (exact, but for coordinates that shrink into the
// subnormals, which a polygon of that size cannot feel) so that every span is
// below 2, and scaled back: the area is a number, infinite only where it lies
// beyond the doubles itself. A vertex that is not finite leaves the area as
// the sums gave it.
template <class T>
double signedArea(const std::vector<T>& items) {
    AreaSums sums[4];
    const krVector<2> o = localOrigin(items);
    sumEdges(items, o, sums);
    const double w = mergeLanes(sums).w;
    if (std::isfinite(w)) return 0.5 * w;
    double far = 0.0;
    for (const T& item : items) {
        const krVector<2>& p = positionOf(item);
        if (!std::isfinite(p.x()) || !std::isfinite(p.y())) return 0.5 * w;
        far = std::max(far, std::max(std::fabs(p.x()), std::fabs(p.y())));
    }
    const int shift = std::ilogb(far) + 1;  // far < 2^shift
    std::vector<krVector<2>> scaled;
    scaled.reserve(items.size());
    for (const T& item : items) {
        const krVector<2>& p = positionOf(item);
        scaled.push_back(krVector<2>(std::ldexp(p.x(), -shift), std::ldexp(p.y(), -shift)));
    }
    AreaSums again[4];
    sumEdges(scaled, krVector<2>(std::ldexp(o.x(), -shift), std::ldexp(o.y(), -shift)), again);
    return std::ldexp(mergeLanes(again).w, 2 * shift - 1);
}

// The fan of triangles (o, u, v), o the local origin: twice each one's signed
// area w, and its centroid (u + v) / 3 weighted by w, the three kept as w and
// the sums of (u + v) w. Triangles with |w| of 1e-15 or less (or not a number)
// are left out: they have no centroid worth weighing.
struct CentroidSums {
    double w = 0.0, sx = 0.0, sy = 0.0;
    void add(double ux, double uy, double vx, double vy) {
        const double c = ux * vy - uy * vx;
        const bool counts = std::fabs(c) > 1e-15;
        w += counts ? c : 0.0;
        sx += counts ? (ux + vx) * c : 0.0;
        sy += counts ? (uy + vy) * c : 0.0;
    }
    void merge(const CentroidSums& o) {
        w += o.w;
        sx += o.sx;
        sy += o.sy;
    }
};

template <class T>
void sumCentroidEdges(const std::vector<T>& items, const krVector<2>& o, CentroidSums (&lanes)[4]) {
    sumEdges(items, o, lanes);
}

// A point list takes the vertex passes' lanes for its whole groups of four
// edges; they add exactly as CentroidSums::add does, lane i % 4 for edge i.
void sumCentroidEdges(const std::vector<krVector<2>>& items, const krVector<2>& o, CentroidSums (&lanes)[4]) {
    const std::size_t n = items.size(), to = n / 4 * 4;
    if (n < 8) return sumEdges(items, o, lanes);
    sumEdges(items, o, lanes, 0, 4);
    CentroidLanes s;
    for (int k = 0; k < 4; ++k) s.w[k] = lanes[k].w, s.x[k] = lanes[k].sx, s.y[k] = lanes[k].sy;
    vertexPasses().centroidSums(reinterpret_cast<const double*>(items.data()), 4, to, o.x(), o.y(), s);
    for (int k = 0; k < 4; ++k) lanes[k].w = s.w[k], lanes[k].sx = s.x[k], lanes[k].sy = s.y[k];
    sumEdges(items, o, lanes, to, n);
}

// The centroid of the polygon about o as o + S / (3 W), S the sum of the
// weighted (u + v); the triangles' centroids (u + v) / 3, where their medians
// meet, are divided by 3 only at the end. The centroid is wanted only where W
// is clear of zero: cut is the least |W| that the caller accepts (NaN never is).
template <class T>
bool centroidOf(const std::vector<T>& items, const krVector<2>& o, double cut, krVector<2>& centroid) {
    CentroidSums lanes[4];
    sumCentroidEdges(items, o, lanes);
    const CentroidSums sums = mergeLanes(lanes);
    if (!(std::fabs(sums.w) > cut)) return false;
    const double f = 1.0 / (3.0 * sums.w);
    centroid = krVector<2>(o.x() + sums.sx * f, o.y() + sums.sy * f);
    return true;
}

// A polygon with |W| <= 1e-6 has no centroid worth the division, and neither
// has one of fewer than three points: the answer is then the plane's origin.
template <class T>
krVector<2> polygonCentroid(const std::vector<T>& items) {
    krVector<2> c{};
    if (items.size() < 3 || !centroidOf(items, localOrigin(items), 1e-6, c)) return krVector<2>();
    return c;
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
    krVector<2> center{};
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

namespace {

// Twice the signed area w of each fan triangle (c, u, v), c the point the
// points are taken about, with the triangle's moments about c weighted by w:
// first moments (u + v) w, second moments (u.u + u.v + v.v) w per axis pair.
// Summed, they are the polygon's signed moments about c (Green's theorem);
// size sums the |w|.
struct MomentSums {
    double w = 0.0, size = 0.0, mx = 0.0, my = 0.0, xx = 0.0, xy = 0.0, yy = 0.0;
    void add(double ux, double uy, double vx, double vy) {
        const double c = ux * vy - uy * vx;
        w += c;
        size += std::fabs(c);
        mx += (ux + vx) * c;
        my += (uy + vy) * c;
        xx += (ux * ux + ux * vx + vx * vx) * c;
        yy += (uy * uy + uy * vy + vy * vy) * c;
        xy += (ux * (vy + 2.0 * uy) + vx * (uy + 2.0 * vy)) * c;
    }
    void merge(const MomentSums& o) {
        w += o.w;
        size += o.size;
        mx += o.mx;
        my += o.my;
        xx += o.xx;
        xy += o.xy;
        yy += o.yy;
    }
};

// The moments from the sums about c, a point near the centroid, in one pass;
// false when the polygon's area is lost in the cancellation of its triangles'
// (|W| not above 1e-9 of the sum of their |w|: lobes that cancel, an outline
// folded onto itself, no area at all). The sums' own first moments correct
// the centre. A clockwise outline's sums are all negated; they are turned
// around so that its moments are those of the same outline listed
// counter-clockwise while its area keeps its sign.
bool momentsAbout(const std::vector<krVector<2>>& points, const krVector<2>& c, kr_InertiaData& out) {
    MomentSums lanes[4];
    sumEdges(points, c, lanes);
    const MomentSums m = mergeLanes(lanes);
    if (!(std::fabs(m.w) > 1e-9 * m.size)) return false;
    const double area = 0.5 * m.w;
    const double fx = m.mx / 6.0, fy = m.my / 6.0;  // first moments about c
    const double sense = area < 0.0 ? -1.0 : 1.0;
    const double ixx = sense * (m.xx / 12.0 - fx * fx / area);
    const double iyy = sense * (m.yy / 12.0 - fy * fy / area);
    const double ixy = sense * (m.xy / 24.0 - fx * fy / area);
    out = kr_InertiaData(area, krVector<2>(c.x() + fx / area, c.y() + fy / area),
                         krMatrix<2>(ixx, ixy, ixy, iyy));
    return true;
}

// The polygon (points taken about its first vertex) summed as a fan of
// triangles from that vertex with the records' operator+. The sum takes a part
// away when the signs of the sum so far and of the part differ, so the order
// matters: large triangles of the outline's own sense go first, then the other
// non-negligible ones of that sense, and only then the small, empty and
// opposite ones, so that those are taken from a sum that already has the
// outline's sense. A clockwise outline is summed in its own sense too: its
// triangles' areas are negated for the passes and the sum's afterwards, so it
// gets the moments of the same outline listed counter-clockwise. Which pass a
// triangle belongs to follows from its area, so no marks need to be kept.
kr_InertiaData fanMoments(const std::vector<krVector<2>>& local) {
    const std::size_t n = local.size();
    const krVector<2> apex{};
    std::vector<kr_InertiaData> fan;
    fan.reserve(n);
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        fan.push_back(triangleRecord(apex, local[i == 0 ? n - 1 : i - 1], local[i]));
        total += fan.back().area();
    }
    double avg = total / static_cast<double>(n);
    const bool clockwise = avg < 0.0;
    if (clockwise) {
        for (kr_InertiaData& tri : fan)
            tri = kr_InertiaData(-tri.area(), tri.centerOfMass(), tri.inertiaMatrix());
        avg = -avg;
    }

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
    if (clockwise) r = kr_InertiaData(-r.area(), r.centerOfMass(), r.inertiaMatrix());
    return r;
}

}  // namespace

// Two passes over the edges: one for the centroid (about the first vertex),
// one for the moments about it (see momentsAbout). Only where those sums lose
// the area does the fan of triangles decide, as it does the sign rule of
// operator+. Both give a simple polygon's moments.
kr_InertiaData kf_InertiaDataPolygon(const std::vector<krVector<2>>& points) {
    const std::size_t n = points.size();
    if (n < 3) return kr_InertiaData();
    const krVector<2> o = localOrigin(points);
    krVector<2> c = o;
    centroidOf(points, o, 0.0, c);
    kr_InertiaData r;
    if (momentsAbout(points, c, r)) return r;
    std::vector<krVector<2>> local;
    local.reserve(n);
    for (const krVector<2>& p : points) local.push_back(p - o);
    r = fanMoments(local);
    return kr_InertiaData(r.area(), r.centerOfMass() + o, r.inertiaMatrix());
}

double kf_Area(const std::vector<krVector<2>>& points) {
    if (points.empty()) return 0.0;
    return std::fabs(signedArea(points));
}

double kf_Area(const std::vector<krEdgelet>& edgelets) {
    if (edgelets.size() < 3) return 0.0;
    return std::fabs(signedArea(edgelets));
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
