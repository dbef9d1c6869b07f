// Value types of the support layer: angles, vectors, matrices, transforms,
// lines, segments, rectangles, tolerant comparison, random numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/std/angle.h"
#include "platform/std/exception.h"
#include "platform/std/geometry.h"
#include "platform/std/matrix.h"
#include "platform/std/random.h"
#include "platform/std/realeq.h"
#include "platform/std/vector.h"
#include "platform/std/xform.h"

namespace {

using V = krVector<2>;
using M = krMatrix<2>;
using X = krXform<2>;
constexpr double kTurn = 2.0 * kPi;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(Angle, NormAndPolarVectors) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    for (double a : {0.0, 1.0, kTurn, -kTurn, 3 * kTurn + 1.0, -1.0, -tiny, -1e-20, kTurn - 1e-15, 1e6, -1e6, -7 * kTurn}) {
        const double n = krRadian(a).norm().toDouble();
        EXPECT_TRUE(n >= 0.0 && n < kTurn) << a;
        EXPECT_TRUE(std::fabs(std::cos(n) - std::cos(a)) < 1e-9 && std::fabs(std::sin(n) - std::sin(a)) < 1e-9) << a;
    }
    EXPECT_EQ(krRadian(-1.0).norm().toDouble(), kTurn - 1.0);
    EXPECT_EQ(krRadian(-tiny).norm().toDouble(), 0.0);  // would round up to a full turn
    EXPECT_DOUBLE_EQ(krRadian(krDegree(-90.0)).norm().toDouble(), 1.5 * kPi);
    // Negating an axis vector yields -0.0 components; the direction is still pi.
    EXPECT_EQ((-V(1.0, 0.0)).angle().toDouble(), kPi);
    EXPECT_NEAR(V(2.5, krRadian(-3.0)).angle().toDouble(), -3.0, 1e-15);
    EXPECT_THROW(V(0.0, 0.0).unit(), krMathError::Singular);
}

TEST(Matrix, AngleFormMapsTheUnitVectors) {
    // Columns sx (cos xr, sin xr) and sy (-sin yr, cos yr).
    const double xr = 0.4, yr = -0.3, sx = 2.0, sy = 0.5;
    const M m(krRadian(xr), krRadian(yr), sx, sy);
    EXPECT_TRUE(kfRealEq(m * V(1, 0), V(sx * std::cos(xr), sx * std::sin(xr)), 1e-15));
    EXPECT_TRUE(kfRealEq(m * V(0, 1), V(-sy * std::sin(yr), sy * std::cos(yr)), 1e-15));
    EXPECT_NEAR(m.determinant(), sx * sy * std::cos(xr - yr), 1e-15);
    for (const M& s : {M(1, 2, 2, 4), M(0, 0, 0, 0), M(kInf, 0, 0, 1), M(kNaN, 0, 0, 1)})
        EXPECT_THROW(s.inverse(), krMathError::Singular) << s;
}

TEST(Xform, MapsComposesAndInverts) {
    // Neither commutes with the other, so a swapped product shows.
    const X t(M(0, -1, 1, 0), V(3, 4)), s(M(krRadian(0.3), krRadian(-1.1), 2, 0.5), V(-7, 2));
    const V p(1, 2);
    EXPECT_EQ(t * p, V(1, 5));
    EXPECT_TRUE(kfRealEq((t * s) * p, t * (s * p), 1e-12) && kfRealEq((s * t) * p, s * (t * p), 1e-12));
    EXPECT_TRUE(kfRealEq(s * s.inverse() * p, p, 1e-12) && kfRealEq(s.inverse() * (s * p), p, 1e-12));
    EXPECT_THROW(X(M(1, 1, 1, 1), V(0, 0)).inverse(), krMathError::Singular);
}

TEST(Line, IsParallelUsesAScaleFreeSineTolerance) {
    struct Case { V d1, d2; bool parallel; } cases[] = {
        {{1, 0}, {2, 0}, true},
        {{1, 0}, {-3, 0}, true},                 // opposite directions
        {{1, 0}, {1, 0.9e-12}, true},            // sine just inside 1e-12
        {{1, 0}, {1, 1.1e-12}, false},
        {{1e-6, 0}, {1e-6, 1e-19}, true},        // same sine at a smaller scale
        {{1e-6, 0}, {1e-6, 1e-17}, false},
        {{0.1, 0.3}, {0.1 * 7, 0.3 * 7}, true},  // rounded multiples on a slant
        {{1, 1}, {1, -1}, false},
        {{0, 0}, {1, 2}, true},                  // a degenerate line is parallel to all
    };
    for (const Case& c : cases) {
        const krLine a(V(1, 1), c.d1), b(V(-4, 2), c.d2);
        EXPECT_TRUE(a.isParallel(b) == c.parallel && b.isParallel(a) == c.parallel) << c.d1 << " " << c.d2;
    }
}

TEST(Line, IntersectProjAndDistance) {
    const krLine ax(V(0, 0), V(1, 0));
    EXPECT_EQ(ax.intersect(krLine(V(2, -1), V(0, 3))).pos(), V(2, 0));
    // Nearly parallel lines count as parallel but still intersect.
    const krLine near(V(0, 1), V(1, 1e-13));
    EXPECT_TRUE(ax.isParallel(near));
    EXPECT_NEAR(ax.intersect(near).pos().x(), -1e13, 1e-2);
    for (const V d : {V(-2, 0), V(0, 0)}) EXPECT_THROW(ax.intersect(krLine(V(0, 1), d)), krMathError::Singular);

    const krLine slant(V(1, 1), V(2, 2));
    EXPECT_TRUE(kfRealEq(slant.proj(V(4, 0)).pos(), V(2, 2), 1e-15) && std::fabs(slant.distToPoint(V(4, 0)) - std::sqrt(8.0)) < 1e-15);

    // A point on the line is its own foot, not one moved by rounding t * direction.
    const V a(-0x1.5c7748c8e2c14p+1, -0x1.158965a14de83p+2), b(0x1.8e22dcdc74fb2p-1, 0x1.54ed34bd642fap+1);
    const V onLine(-0x1.71dd23238b04ep-1, -0x1.58965a14de83p-2);
    EXPECT_TRUE(krLineSeg(a, b).distToPoint(onLine) == 0.0 && krLineSeg(a, b).line().proj(onLine).pos() == onLine);

    const krLine degenerate(V(1, 2), V(0, 0));
    EXPECT_EQ(degenerate.proj(V(7, 7)).pos(), V(1, 2));
    EXPECT_TRUE(degenerate.distToPoint(V(4, 6)) == 5.0 && krLineSeg(V(1, 2), V(1, 2)).distToPoint(V(4, 6)) == 5.0);
}

// Near the ends of the number range the answers are those of the same shapes
// scaled into its middle: no square may overflow or vanish on the way.
TEST(LineSeg, HugeAndTinyCoordinatesKeepTheirAnswers) {
    const double top = std::numeric_limits<double>::max();
    for (double s : {1e160, 1e300, 1e-160, 1e-300}) {
        SCOPED_TRACE(s);
        const krLineSeg seg(V(-1, 0) * s, V(1, 0) * s);
        EXPECT_NEAR(seg.distToPoint(V(0, 1) * s) / s, 1.0, 1e-15);
        EXPECT_NEAR(seg.distToPoint(V(3, 4) * s) / s, std::sqrt(20.0), 1e-15);
        EXPECT_NEAR((V(3, 4) * s).len() / s, 5.0, 1e-15);
        EXPECT_NEAR((V(3, 4) * s).distance(V(-3, -4) * s) / s, 10.0, 1e-14);
        EXPECT_TRUE(kfRealEq((V(3, 4) * s).unit(), V(0.6, 0.8), 1e-15));
        const krLine horizontal(V(0, 0), V(1, 0) * s);
        EXPECT_FALSE(horizontal.isParallel(krLine(V(0, 0), V(1, 1) * s)));
        EXPECT_TRUE(horizontal.isParallel(krLine(V(0, 1), V(-3, 0) * s)));
        EXPECT_TRUE(horizontal.isParallel(krLine(V(1, 1) * s, V(0, 0))));  // no direction
        EXPECT_TRUE(kfRealEq(horizontal.intersect(krLine(V(0.5, -1) * s, V(0, 1) * s)).pos(), V(0.5, 0) * s, 1e-15 * s));
    }
    EXPECT_EQ(krLineSeg(V(-top, 0), V(top, 0)).distToPoint(V(0, 1)), 1.0);
    EXPECT_TRUE(krLine(V(0, 0), V(1, 0)).isParallel(krLine(V(0, 0), V(kInf, 1))));
}

TEST(Rect, EncloseWithinOverlapsAndSize) {
    const krRect r(V(1, 2), V(3, 4));  // [1,4] x [2,6]
    EXPECT_EQ(r.enclose(krRect(V(-1, 3), V(1, 1))), krRect(V(-1, 2), V(5, 4)));
    EXPECT_EQ(r.enclose(krRect(V(2, 3), V(1, 1))), r);
    struct { V p; bool in; } pts[] = {{{1, 2}, true},  {{4, 6}, true},  {{4, 2}, true},
                                      {{2.5, 6}, true}, {{std::nextafter(1.0, 0.0), 3}, false},
                                      {{2, std::nextafter(6.0, 7.0)}, false}, {{kNaN, 3}, false}};
    for (const auto& c : pts) EXPECT_EQ(r.within(c.p), c.in) << c.p;
    struct { krRect o; bool overlap; } others[] = {
        {krRect(V(4, 6), V(1, 1)), true},  // touching corners
        {krRect(V(0, 0), V(10, 10)), true},
        {krRect(V(std::nextafter(4.0, 5.0), 2), V(1, 1)), false},
        {krRect(V(1, -3), V(1, std::nextafter(5.0, 0.0))), false},
    };
    for (const auto& c : others) EXPECT_TRUE(r.overlaps(c.o) == c.overlap && c.o.overlaps(r) == c.overlap) << c.o.origin();
}

TEST(RealEq, ToleranceIsInclusiveAndNaNNeverMatches) {
    EXPECT_TRUE(kfRealEq(1.0, 1.5, 0.5) && kfRealEq(V(0, 0), V(0.1, -0.1), 0.1));
    EXPECT_FALSE(kfRealEq(1.0, std::nextafter(1.5, 2.0), 0.5) || kfRealEq(kNaN, kNaN, kInf));
    // Every component must be within.
    EXPECT_FALSE(kfRealEq(V(0, 0), V(0.1, 0.2), 0.15) || kfRealEq(M(1, 2, 3, 4), M(1, 2, 3, 4.5), 0.4));
}

TEST(Random, SeededSequencesAreReproducibleAndInRange) {
    krRandomUniform a(42);
    for (int i = 0; i < 10000; ++i) ASSERT_TRUE([](double x) { return x >= -2.0 && x < 3.0; }(a.next(-2.0, 3.0)));
    // The sequence is part of the cache-replacement behaviour: pin the start of
    // seed 1 (xoshiro256** seeded through splitmix64).
    krRandomUniform one(1);
    for (const double want : {0.70292183315885048, 0.52043661993885693}) EXPECT_DOUBLE_EQ(one.next(0.0, 1.0), want);
    EXPECT_TRUE(one.next(5.0, 5.0) == 5.0 && one.next(5.0, 1.0) == 5.0);  // an empty interval gives lo
    const double hi = std::nextafter(1.0, 2.0);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(one.next(1.0, hi), 1.0);
}

TEST(IFloor, RoundsDownAndSaturates) {
    const long lmax = std::numeric_limits<long>::max(), lmin = std::numeric_limits<long>::min();
    struct { double v; long f; } cases[] = {
        {2.5, 2}, {-2.5, -3}, {-3.0, -3}, {-0.0, 0}, {std::nextafter(3.0, 0.0), 2}, {-1e-300, -1},
        {4611686018427387904.0, 4611686018427387904L}, {1e300, lmax}, {-kInf, lmin}, {kNaN, 0}};
    for (const auto& c : cases) EXPECT_EQ(kfIFloor(c.v), c.f) << c.v;
}

}  // namespace
