// Polygon moments and the ellipses derived from them, checked against closed
// forms of triangles, rectangles and elliptical discs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "cntr/moments.h"
#include "tests/contour_probe.h"
#include "platform/std/exception.h"
#include "platform/std/fit.h"
#include "platform/std/realeq.h"

namespace {

using Points = std::vector<krVector<2>>;

Points reversed(const Points& p) { return Points(p.rbegin(), p.rend()); }

// Edgelets at the points, with magnitudes and angles that must not matter.
std::vector<krEdgelet> edgelets(const Points& pts) {
    std::vector<krEdgelet> out;
    for (unsigned short m = 0; m < pts.size(); ++m)
        out.emplace_back(pts[m], m + 7, krAngle8(static_cast<unsigned char>(3 * m + 21)));
    return out;
}

// The record of a w x h rectangle centred at c: diag(w^3 h, w h^3) / 12 turned by phi.
kr_InertiaData rectangleRecord(const krVector<2>& c, double w, double h, double phi = 0.0, double sign = 1.0) {
    const double cs = std::cos(phi), sn = std::sin(phi);
    const double ixx = w * w * w * h / 12, iyy = w * h * h * h / 12;
    const double mxy = cs * sn * (ixx - iyy);
    return kr_InertiaData(sign * w * h, c,
                          krMatrix<2>(cs * cs * ixx + sn * sn * iyy, mxy, mxy, sn * sn * ixx + cs * cs * iyy));
}

// Area and matrix relative to their own size, the centre relative to the
// shape's, or to the spacing of doubles where it lies.
void expectClose(const kr_InertiaData& got, const kr_InertiaData& want, double rel) {
    const krMatrix<2>& m = want.inertiaMatrix();
    const krVector<2> c = want.centerOfMass();
    const double norm = std::max(std::fabs(m.element(0, 0)), std::fabs(m.element(1, 1)));
    EXPECT_NEAR(got.area(), want.area(), rel * std::fabs(want.area()));
    const double far = 4e-16 * std::max(std::fabs(c.x()), std::fabs(c.y()));
    EXPECT_TRUE(kfRealEq(got.centerOfMass(), c, rel * std::sqrt(std::fabs(want.area())) + far))
        << got.centerOfMass() << " vs " << want.centerOfMass();
    EXPECT_TRUE(kfRealEq(got.inertiaMatrix(), m, rel * norm)) << got.inertiaMatrix() << " vs " << m;
}

// A 10 x 1 foot and a 1 x 9 upright: the centroid lies outside.
const Points kL = {{0, 0}, {10, 0}, {10, 1}, {1, 1}, {1, 10}, {0, 10}};

// Area and centre of a polygon, in the point and edgelet forms alike.
TEST(AreaAndCenterOfMass, PolygonsAndDegenerateLists) {
    const struct { const char* name; Points pts; double area; krVector<2> want; double tol; } cases[] = {
        // Foot (5, 0.5) weighs 10, upright (0.5, 5.5) weighs 9.
        {"L", kL, 19, {(50 + 4.5) / 19, (5 + 49.5) / 19}, 1e-12},
        {"square clockwise", reversed(kSquare), 4, {1, 1}, 1e-12},
        {"bow tie: the lobes cancel", {{0, 0}, {2, 2}, {2, 0}, {0, 2}}, 0, {0, 0}, 1e-12},
        {"collinear", {{0, 0}, {1, 0}, {2, 0}}, 0, {0, 0}, 1e-12},
        {"two points", {{1, 1}, {3, 4}}, 0, {0, 0}, 1e-12},
        {"one point", {{3, 4}}, 0, {0, 0}, 1e-12},
        {"none", {}, 0, {0, 0}, 1e-12},
        // Twice the area is 0.9e-6, below the limit of 1e-6 ...
        {"too small", {{10, 10}, {10.001, 10}, {10, 10.0009}}, 0.45e-6, {0, 0}, 1e-12},
        // ... and 1.1e-6 above it.
        {"just large enough", {{10, 10}, {10.001, 10}, {10, 10.0011}}, 0.55e-6,
         {10 + 0.001 / 3, 10 + 0.0011 / 3}, 1e-6},
        {"NaN", {{0, 0}, {1, 0}, {0, kNaN}}, kNaN, {0, 0}, 1e-12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const double area = kf_Area(c.pts), edgeletArea = kf_Area(edgelets(c.pts));
        EXPECT_TRUE(std::isnan(c.area) ? std::isnan(area) : std::fabs(area - c.area) <= 1e-12 * (1 + c.area)) << area;
        EXPECT_TRUE(std::isnan(area) ? std::isnan(edgeletArea) : edgeletArea == area);
        EXPECT_TRUE(c.pts.size() >= 3 || kf_InertiaDataPolygon(c.pts) == kr_InertiaData());
        const krVector<2> got = kf_CenterOfMass(c.pts);
        EXPECT_TRUE(kfRealEq(got, c.want, c.tol)) << got;
        EXPECT_EQ(knContour::centerOfMass(c.pts), got);
        EXPECT_EQ(kf_CenterOfMass(edgelets(c.pts)), got);
    }
}

// The centroid's sums as the plain loop forms them, about the first finite
// vertex: edge i, from point i - 1 to point i, into lane i % 4, the lanes
// added pairwise. The library's loop must give these bits exactly.
krVector<2> laneCentroid(const Points& p) {
    const std::size_t n = p.size();
    krVector<2> o{};
    for (const auto& v : p)
        if (std::isfinite(v.x()) && std::isfinite(v.y())) { o = v; break; }
    double w[4] = {}, sx[4] = {}, sy[4] = {};
    for (std::size_t i = 0; i < n; ++i) {
        const krVector<2> u = p[(i + n - 1) % n] - o, v = p[i] - o;
        const double c = u.x() * v.y() - u.y() * v.x();
        if (!(std::fabs(c) > 1e-15)) continue;
        w[i % 4] += c, sx[i % 4] += (u.x() + v.x()) * c, sy[i % 4] += (u.y() + v.y()) * c;
    }
    const double W = (w[0] + w[1]) + (w[2] + w[3]);
    if (n < 3 || !(std::fabs(W) > 1e-6)) return {};
    const double f = 1.0 / (3.0 * W);
    return {o.x() + ((sx[0] + sx[1]) + (sx[2] + sx[3])) * f, o.y() + ((sy[0] + sy[1]) + (sy[2] + sy[3])) * f};
}

TEST(CenterOfMass, SameBitsAsThePlainLoop) {
    krRandomUniform rnd(3);
    for (int round = 0; round < 400; ++round) {
        Points p(3 + std::size_t(rnd.next(0, 40)));
        const double scale = round % 3 == 0 ? 1e-7 : round % 3 == 1 ? 1.0 : 1e9;
        for (auto& v : p) v = krVector<2>(rnd.next(-1, 1), rnd.next(-1, 1)) * scale + krVector<2>(1e3, -2e3);
        if (round % 7 == 0) p[std::size_t(rnd.next(0, double(p.size()))) % p.size()] = p[0];  // an empty edge
        if (round % 11 == 0) p[p.size() / 2] = krVector<2>(std::nan(""), 1.0);
        const krVector<2> want = laneCentroid(p), got = kf_CenterOfMass(p);
        ASSERT_TRUE((std::isnan(want.x()) && std::isnan(got.x())) || want == got) << round << ": " << got << " vs " << want;
    }
}

// The moments by Green's theorem in long double, about the first vertex.
kr_InertiaData longDoubleMoments(const Points& p) {
    typedef long double L;
    L w = 0, mx = 0, my = 0, xx = 0, xy = 0, yy = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const krVector<2>& a = p[i == 0 ? p.size() - 1 : i - 1];
        const L ux = L(a.x()) - p[0].x(), uy = L(a.y()) - p[0].y();
        const L vx = L(p[i].x()) - p[0].x(), vy = L(p[i].y()) - p[0].y();
        const L c = ux * vy - uy * vx;
        w += c, mx += (ux + vx) * c, my += (uy + vy) * c;
        xx += (ux * ux + ux * vx + vx * vx) * c, yy += (uy * uy + uy * vy + vy * vy) * c;
        xy += (ux * vy + 2 * ux * uy + 2 * vx * vy + vx * uy) * c;
    }
    const L a = w / 2, cx = mx / (6 * a), cy = my / (6 * a), sense = a < 0 ? -1 : 1;
    return kr_InertiaData(double(a), {double(p[0].x() + cx), double(p[0].y() + cy)},
                          krMatrix<2>(double(sense * (xx / 12 - a * cx * cx)), double(sense * (xy / 24 - a * cx * cy)),
                                      double(sense * (xy / 24 - a * cx * cy)), double(sense * (yy / 12 - a * cy * cy))));
}

// Random outlines star-shaped about a random centre only: they fold back elsewhere.
Points radialPolygon(krRandomUniform& rnd) {
    std::vector<double> angles(3 + kfIFloor(rnd.next(0, 40)));
    for (double& a : angles) a = rnd.next(0, 2 * kPi);
    std::sort(angles.begin(), angles.end());
    const krVector<2> c(rnd.next(-3, 3), rnd.next(-3, 3));
    Points p;
    for (double a : angles) p.push_back(c + krVector<2>(rnd.next(0.1, 1), krRadian(a)));
    return p;
}

// Clockwise outlines negate the area only; tiny copies (below the centroid's
// 1e-6 limit) agree once scaled back: no tolerance may depend on the scale.
// Copies moved up to 1e8 away, where sums about the origin would cancel,
// keep the shape's moments too.
TEST(InertiaDataPolygon, EitherSenseAndScaleGiveTheShapesMoments) {
    krRandomUniform rnd(8);
    const double s = std::ldexp(1.0, -12);
    for (int k = 0; k < 400; ++k) {
        SCOPED_TRACE(k);
        const Points ccw = radialPolygon(rnd);
        const kr_InertiaData want = longDoubleMoments(ccw);
        Points far;
        for (const krVector<2>& v : ccw) far.push_back(v + krVector<2>(1e8, -5e7) * std::pow(10.0, -(k % 6)));
        const double farArea = longDoubleMoments(far).area();
        expectClose(kf_InertiaDataPolygon(far), longDoubleMoments(far), 1e-12);
        EXPECT_NEAR(kf_Area(far), std::fabs(farArea), 1e-12 * std::fabs(farArea));
        for (const Points& p : {ccw, reversed(ccw)}) {
            const double sense = p == ccw ? 1.0 : -1.0;
            const kr_InertiaData signedWant(sense * want.area(), want.centerOfMass(), want.inertiaMatrix());
            expectClose(kf_InertiaDataPolygon(p), signedWant, 1e-12);
            Points tiny;
            for (const krVector<2>& v : p) tiny.push_back(v * s);
            const kr_InertiaData t = kf_InertiaDataPolygon(tiny);
            expectClose(kr_InertiaData(t.area() / (s * s), t.centerOfMass() * (1 / s), t.inertiaMatrix() * (1 / (s * s * s * s))),
                        signedWant, 1e-9);
        }
    }
}

TEST(InertiaDataSum, ParallelAxisRule) {
    const kr_InertiaData square = rectangleRecord({1, 1}, 2, 2);
    const kr_InertiaData hole = rectangleRecord({1, 1}, 1, 1, 0, -1.0);
    const kr_InertiaData odd(0.0, {5, -7}, krMatrix<2>(1, 2, 3, 4));
    const struct { const char* name; kr_InertiaData a, b, want; } cases[] = {
        {"empty left", odd, square, square},
        {"empty right", square, odd, square},
        {"side by side", square, rectangleRecord({3, 1}, 2, 2), rectangleRecord({2, 1}, 4, 2)},
        {"stacked, turned", rectangleRecord({0, 0}, 2, 1, 0.3),
         rectangleRecord({-std::sin(0.3), std::cos(0.3)}, 2, 1, 0.3),
         rectangleRecord({-0.5 * std::sin(0.3), 0.5 * std::cos(0.3)}, 2, 2, 0.3)},
        {"centred hole", square, hole, kr_InertiaData(3, {1, 1}, square.inertiaMatrix() - hole.inertiaMatrix())},
        // A 4 x 2 rectangle less its right half is its left half.
        {"hole off centre", rectangleRecord({2, 1}, 4, 2), rectangleRecord({3, 1}, 2, 2, 0, -1.0),
         rectangleRecord({1, 1}, 2, 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const kr_InertiaData got = c.a + c.b;
        if (c.a.area() == 0.0 || c.b.area() == 0.0)
            EXPECT_EQ(got, c.want);
        else
            expectClose(got, c.want, 1e-12);
    }
    // A part and its exact hole leave nothing to centre on.
    const kr_InertiaData none = square + rectangleRecord({1, 1}, 2, 2, 0, -1.0);
    EXPECT_TRUE(none.area() == 0.0 && none.centerOfMass() == krVector<2>());
}

// Divided by the count, not one less, and without cancelling far from zero.
TEST(StdDev, DividesByTheCount) {
    EXPECT_NEAR(kf_StdDev({1, 2, 3, 4}), std::sqrt(1.25), 1e-12);
    EXPECT_NEAR(kf_StdDev({1e9 + 1, 1e9 + 2, 1e9 + 3, 1e9 + 4}), std::sqrt(1.25), 1e-12);
    EXPECT_EQ(kf_StdDev({}), 0.0);
}

// Many-sided polygons inscribed in turned, off-centre ellipses give the ellipse.
TEST(EllipseFromInertiaData, RecoversEllipticalDiscsAndRefusesFlatOnes) {
    const struct { krVector<2> c; double a, b, rot; } cases[] = {
        {{3, -4}, 5, 2, 0.7}, {{-100, 50}, 1, 0.25, -1.3}, {{0, 0}, 3, 2.9, 2.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a);
        const krEllipse e = kf_EllipseFromInertiaData(kf_InertiaDataPolygon(ellipsePoints(c.c, c.a, c.b, c.rot, 4096)));
        EXPECT_TRUE(kfRealEq(e.center(), c.c, 1e-9)) << e.center();
        EXPECT_NEAR(e.a(), c.a, 1e-5 * c.a);
        EXPECT_NEAR(e.b(), c.b, 1e-5 * c.a);
        EXPECT_LE(axisGap(e.rotation().toDouble(), c.rot), 1e-6);
        EXPECT_FALSE(e.geom().flag0 || e.geom().flag1);
    }
    // Moments of no spread along some axis have no ellipse.
    for (const krMatrix<2>& m : {krMatrix<2>(0, 0, 0, 0), krMatrix<2>(1, 0, 0, 1e-12), krMatrix<2>(1e-12, 0, 0, 1),
                                 krMatrix<2>(1, 1, 1, 1)})
        EXPECT_THROW(kf_EllipseFromInertiaData(kr_InertiaData(1, {}, m)), krMathError::Singular) << m;
    EXPECT_THROW(kf_EllipseFromInertiaData(kf_InertiaDataPolygon({{0, 0}, {1, 1}, {2, 2}})), krMathError::Singular);
    EXPECT_NO_THROW(kf_EllipseFromInertiaData(kr_InertiaData(1, {}, krMatrix<2>(1, 0, 0, 2e-12))));
    EXPECT_TRUE(std::isnan(kf_EllipseFromInertiaData(kr_InertiaData(1, {}, krMatrix<2>(kNaN, 0, 0, 1))).a()));
}

// An ellipse where one fits, else the circle, else the empty ellipse and -1.
TEST(FitEllipse, FallsBackToTheCircleThenToNothing) {
    const Points ellipse = ellipsePoints({2, -1}, 4, 1.5, 0.5, 30);
    const Points circle4 = {{4, 1}, {1, 4}, {-2, 1}, {1, -2}};

    krEllipseFitResults fit;
    krCircleFitResults circleFit;
    kfEllipseFit(krEllipseFitParams(), ellipse, fit);
    kfCircleFit(krCircleFitParams(), circle4, circleFit);

    const struct { const char* name; Points pts; krEllipse want; double residual; } cases[] = {
        {"ellipse", ellipse, fit.ellipse(), fit.residual()},
        {"four points on a circle", circle4, krEllipse(circleFit.circle()), circleFit.residual()},
        {"collinear", {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}, krEllipse(), -1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        krEllipse e(krCircle({9, 9}, 9));
        double residual = 123.0;
        kf_FitEllipse(c.pts, e, residual);
        EXPECT_TRUE(e == c.want && residual == c.residual) << residual;
    }
}

}  // namespace
