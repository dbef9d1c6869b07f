// Extremal vertices, enclosing shapes, the median segment, the keyed caches.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tests/contour_probe.h"

namespace {

krXform<2> scale(double s) { return krXform<2>(krMatrix<2>(s, 0, 0, s), krVector<2>(0, 0)); }
}  // namespace

TEST(ContourExtremes, ExtremalVertexTiesGoToTheLowestIndex) {
    const krContour square(kSquare);
    const struct { double angle; long index; } cases[] = {
        {0, 1}, {kPi / 2, 2}, {kPi, 0}, {kPi / 4, 2}, {-kPi / 2, 0}, {3 * kPi / 4, 3}};
    for (const auto& c : cases)
        EXPECT_TRUE(square.extremalVertexIndex(krRadian(c.angle)) == c.index &&
                    square.extremalVertexPosition(krRadian(c.angle)) == kSquare[c.index]) << c.angle;
    // Near an axis the exact coordinate scores (cos(pi/2) is 6e-17, not 0).
    EXPECT_EQ(krContour(Pts{{0, 5}, {3, 5}, {1, 4}}).extremalVertexIndex(krRadian(kPi / 2)), 0);
    // Vertices that are not numbers never score.
    const krContour nan(Pts{{kNaN, kNaN}, {kNaN, 1}});
    EXPECT_EQ(nan.extremalVertexIndex(krRadian(0.3)), -1);
    EXPECT_THROW(nan.extremalVertexPosition(krRadian(0.3)), krContourDefs::BadParams);
    EXPECT_THROW(krContour(Pts{{1, 1}}).extremalVertexIndex(krRadian(0)), krContourDefs::EmptyContour);
}

TEST(ContourExtremes, EncloseRectUnderTransforms) {
    const krContour square(kSquare);
    EXPECT_EQ(square.encloseRect(scale(2)), krRect({0, 0}, {4, 4}));
    const krXform<2> turn(krMatrix<2>(krRadian(kPi / 4), krRadian(kPi / 4), 1, 1), krVector<2>(1, 0));
    const krRect turned = square.encloseRect(turn);
    EXPECT_TRUE(kfRealEq(turned.origin(), krVector<2>(1 - std::sqrt(2.0), 0), 1e-12) && kfRealEq(turned.size(), krVector<2>(2, 2) * std::sqrt(2.0), 1e-12));
    // A transform within 1e-15 of the identity leaves the points as they are.
    const krXform<2> almost(krMatrix<2>(1, 1e-16, 0, 1), krVector<2>(1e-16, 0));
    EXPECT_EQ(krContour(Pts{{1e17, 0}, {0, 1e17}}).encloseRect(almost), krRect({0, 0}, {1e17, 1e17}));
}

TEST(ContourExtremes, KeyedCachesAreBoundedAndReplaced) {
    Probe c(kSquare);
    // The default bound 3 lets the map grow to 4 entries; then it stays there.
    for (int i = 0; i < 20; ++i) c.encloseRect(scale(10 + i)), c.extremalVertexIndex(krRadian(i));
    EXPECT_TRUE(c.cache_->rectCache->size() == 4u && c.cache_->extremalCache->size() == 4u);

    // Bound 0: one entry, replaced by every new key; a lower bound trims nothing.
    Probe one(kSquare);
    one.cachedVectorSize(0);
    for (int i = 0; i < 5; ++i) {
        one.encloseRect(scale(i + 1));
        ASSERT_EQ(one.cache_->rectCache->size(), 1u);
        EXPECT_EQ(one.cache_->rectCache->entries().begin()->first, scale(i + 1));
    }
    c.cachedVectorSize(1);
    EXPECT_EQ(c.cache_->rectCache->size(), 4u);
}

// The untransformed rectangle takes its bounds in lanes; it must be the one
// enclose gives point by point, to the bit: a NaN first point spoils it, later
// NaNs do not, and a zero bound keeps the sign of the first zero reaching it.
TEST(ContourExtremes, FastPathsBoundingRectIsThePointByPointOne) {
    const double values[] = {-0.0, 0.0, 1.5, -2.0, kNaN, kInf, -kInf, 3e300};
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> coord(-5, 5);
    for (int trial = 0; trial < 2000; ++trial) {
        Pts p(2 + rng() % 70);
        for (auto& v : p) {
            const auto pick = [&] { return rng() % 4 ? coord(rng) : values[rng() % 8]; };
            v = krVector<2>(pick(), pick());
        }
        const krVector<2> zero(0, 0);
        krRect want(p[0], zero);
        for (const auto& v : p) want = want.enclose(krRect(v, zero));
        const krRect got = krContour(p).encloseRect(krXform<2>::I);
        const double w[4] = {want.origin().x(), want.origin().y(), want.corner().x(), want.corner().y()};
        const double g[4] = {got.origin().x(), got.origin().y(), got.corner().x(), got.corner().y()};
        ASSERT_EQ(std::memcmp(w, g, sizeof w), 0) << trial << ": " << got.origin() << got.corner() << " vs "
                                                  << want.origin() << want.corner();
    }
}

TEST(ContourExtremes, EnclosingCirclesAndDiameters) {
    using Defs = krContourDefs;
    const double r2 = std::sqrt(2.0);
    const krContour square(kSquare);
    EXPECT_TRUE(square.encloseCircle(Defs::eFast) == krCircle({0, 0}, 2 * r2) && std::fabs(square.diameter(Defs::eFast) - 4 * r2) < 1e-12);
    // All vertices at one place: radius 0 there. One point needs no pair.
    for (const auto mode : {Defs::eExact, Defs::eFast})
        for (const Pts& p : {Pts{{3, 4}, {3, 4}}, Pts{{3, 4}}}) EXPECT_EQ(krContour(p).encloseCircle(mode), krCircle({3, 4}, 0));
    EXPECT_THROW(krContour().encloseCircle(Defs::eFast), Defs::EmptyContour);

    // A bad mode throws before any cache is touched.
    Probe p(kSquare);
    EXPECT_THROW(p.diameter(static_cast<Defs::DiameterMode>(2)), Defs::BadParams);
    EXPECT_TRUE(p.cache_->circleValid.empty());
}

TEST(ContourExtremes, ExactCircleMatchesThePlainPairSearch) {
    // The farthest pair spans the circle, which need not hold every vertex.
    // Integer points give many pairs at the same largest distance; the first
    // pair (i, then j) reaching it decides.
    std::mt19937 rng(5);
    for (int trial = 0; trial < 300; ++trial) {
        Pts p;
        const int n = 2 + static_cast<int>(rng() % 30);
        for (int i = 0; i < n; ++i) p.emplace_back(rng() % 5, rng() % 5);
        double best = 0;
        krCircle want(p[0], 0);
        for (const auto& a : p)
            for (const auto& b : p)
                if (best < a.distance(b)) {
                    best = a.distance(b);
                    want = krCircle(0.5 * (a + b), 0.5 * best);
                }
        ASSERT_EQ(krContour(p).encloseCircle(krContourDefs::eExact), want) << trial;
    }
}

TEST(ContourExtremes, MedianFeatureSize) {
    const struct { Pts points; bool closed; double median; } cases[] = {
        {{{0, 0}, {1, 0}, {3, 0}, {6, 0}}, false, 2},
        {{{0, 0}, {1, 0}, {1, 2}, {0, 2}}, true, 2},  // 2, 1, 2, 1: the upper middle
        {{{0, 0}, {1, 0}}, false, 1},
        {{{0, 0}, {1, 0}, {3, 0}, {kNaN, 0}}, false, 2},  // not a number sorts last: 1, 2, NaN
    };
    for (const auto& c : cases) EXPECT_EQ(Probe(c.points, c.closed).medianFeatureSize(), c.median);
}

TEST(ContourExtremes, FittedEllipseIsCachedUntilTheContourChanges) {
    Probe c(ellipsePoints({3, 1}, 4, 2, 0, 40));
    krEllipse e;
    double residual = -5;
    c.fitEllipse(e, residual);
    EXPECT_TRUE(kfRealEq(e.center(), krVector<2>(3, 1), 1e-6) && kfRealEq(e.a(), 4, 1e-6)) << e.a();
    // A planted cache answers the second call: nothing is fitted again.
    c.cache_->ellipse = krEllipse(krCircle({9, 9}, 1));
    c.cache_->ellipseResidual = 0.25;
    c.fitEllipse(e, residual);
    EXPECT_TRUE(e == krEllipse(krCircle({9, 9}, 1)) && residual == 0.25);
    c.points(Pts{{0, 0}, {1, 1}});  // two points fit neither model
    c.fitEllipse(e, residual);
    EXPECT_EQ(residual, -1.0);
    EXPECT_THROW(Probe(Pts{{0, 0}}).fitEllipse(e, residual), krContourDefs::EmptyContour);
}
