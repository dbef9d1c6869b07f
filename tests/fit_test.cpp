// Ellipse and circle fits against the shapes their points were sampled from.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "contour_probe.h"
#include "platform/std/fit.h"

namespace {

using Points = std::vector<krVector<2>>;
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kTurn = 2 * kPi;

struct Ellipse {
    krVector<2> center;
    double a, b, rot;
};

// n points at parameter angles evenly spread over [from, to), with Gaussian
// noise of deviation sigma on each coordinate.
Points sample(const Ellipse& e, double from, double to, int n, double sigma = 0.0, unsigned seed = 1) {
    Points pts = ellipsePoints(e.center, e.a, e.b, e.rot, n, from, to);
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    if (sigma > 0.0)
        for (auto& p : pts) p = p + krVector<2>(sigma * noise(gen), sigma * noise(gen));
    return pts;
}

// The fit reports the major axis as a; the sampled ellipse may name its axes
// the other way round.
void expectEllipse(const krEllipse& got, Ellipse w, double tolCenter, double tolAxes, double tolAngle) {
    if (w.a < w.b) {
        std::swap(w.a, w.b);
        w.rot += kPi / 2;
    }
    EXPECT_NEAR(got.center().x(), w.center.x(), tolCenter);
    EXPECT_NEAR(got.center().y(), w.center.y(), tolCenter);
    EXPECT_NEAR(got.a(), w.a, tolAxes);
    EXPECT_NEAR(got.b(), w.b, tolAxes);
    if (w.a != w.b) {
        EXPECT_LE(axisGap(got.rotation().toDouble(), w.rot), tolAngle);
    }
}

krEllipseFitResults fitEllipse(const Points& pts, const krEllipseFitParams& params = krEllipseFitParams()) {
    krEllipseFitResults r;
    kfEllipseFit(params, pts, r);
    return r;
}

krEllipseFitParams ellipseParams(double from, unsigned long count, double limit) {
    return krEllipseFitParams(krEllipseFitDefs::eDirect, krRadian(from), count, limit);
}

krCircleFitResults fitCircle(const Points& pts, const krCircleFitParams& params = krCircleFitParams()) {
    krCircleFitResults r;
    kfCircleFit(params, pts, r);
    return r;
}

// Without noise the fit is exact. Noise of 1% of the minor axis moves it by
// about a tenth of that; the residual is then the noise level, since it
// measures distances in the points' units.
TEST(EllipseFit, RecoversSampledEllipses) {
    struct Case { const char* name; Ellipse e; double from, to; int n; double sigma; } cases[] = {
        {"far off-centre, rotation past a quarter turn", {{1e5, -2e5}, 40, 10, 2.0}, 0, kTurn, 100, 0},
        {"tiny", {{1e-3, 2e-3}, 2e-4, 1e-4, -0.5}, 0, kTurn, 40, 0},
        {"axes named the other way", {{-3, 7}, 1, 4, 0.1}, 0, kTurn, 50, 0},
        {"quarter arc", {{2, 1}, 5, 3, 1.0}, 0, kPi / 2, 50, 0},
        {"long and thin", {{0, 5}, 100, 0.5, 0.7}, 0, kTurn, 400, 0},
        {"nearly round", {{1, 1}, 10, 9.99, 1.2}, 0, kTurn, 100, 0},
        {"round", {{4, -4}, 7, 7, 0}, 0, kTurn, 30, 0},
        {"five points", {{1, 2}, 3, 1, 0.4}, 0.3, kTurn + 0.3, 5, 0},
        {"small spread far from the origin", {{1e6, 1e6}, 1, 0.5, -1.0}, 0, kTurn, 64, 0},
        {"noisy", {{10, -5}, 8, 4, 0.6}, 0, kTurn, 200, 0.04},
    };
    unsigned seed = 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const krEllipseFitResults r = fitEllipse(sample(c.e, c.from, c.to, c.n, c.sigma, seed++));
        const double size = std::max(c.e.a, c.e.b), rot = r.ellipse().rotation().toDouble();
        EXPECT_GE(r.ellipse().a(), r.ellipse().b());
        EXPECT_TRUE(rot >= 0.0 && rot < kPi) << rot;
        if (c.sigma == 0) {
            expectEllipse(r.ellipse(), c.e, 1e-6 * size, 1e-6 * size, 1e-6);
            EXPECT_LE(r.residual(), 1e-9 * size);
        } else {
            const double b = std::min(c.e.a, c.e.b);
            expectEllipse(r.ellipse(), c.e, 0.005 * b, 0.005 * b, 0.5 * kPi / 180);
            EXPECT_GT(r.residual(), 0.7 * c.sigma);
            EXPECT_LT(r.residual(), 1.3 * c.sigma);
        }
    }
}

TEST(EllipseFit, AngleChoosesTheHalfTurnOfTheRotation) {
    const Ellipse e{{1, 1}, 4, 2, 2.8};
    const Points pts = sample(e, 0, kTurn, 40);
    for (double from : {0.0, -kPi / 2, 3.0, -10.0}) {
        SCOPED_TRACE(from);
        const double rot = fitEllipse(pts, ellipseParams(from, 0, kInf)).ellipse().rotation().toDouble();
        EXPECT_GE(rot, from);
        EXPECT_LT(rot, from + kPi);
        EXPECT_LE(axisGap(rot, e.rot), 1e-9);
    }
}

// Even entries lie on the ellipse, odd ones are far off: taking 10 of the 20
// points evenly picks exactly the even ones.
TEST(EllipseFit, CountTakesPointsEvenlyThroughTheList) {
    const Ellipse e{{0, 0}, 5, 2, 0.25};
    const Points on = sample(e, 0, kTurn, 10);
    Points mixed;
    for (std::size_t i = 0; i < on.size(); ++i) {
        mixed.push_back(on[i]);
        mixed.emplace_back(20.0 + i, -3.0 * i * i);
    }
    expectEllipse(fitEllipse(mixed, ellipseParams(0, 10, kInf)).ellipse(), e, 1e-9, 1e-9, 1e-9);
    EXPECT_GT(fitEllipse(mixed).residual(), 0.1);
    EXPECT_THROW(fitEllipse(mixed, ellipseParams(0, 4, kInf)), krFitError);
}

TEST(EllipseFit, LimitRefusesAWorseFitAndLeavesResultsAlone) {
    const Points pts = sample({{0, 0}, 6, 3, 0.2}, 0, kTurn, 200, 0.05, 3);
    const double residual = fitEllipse(pts).residual();
    EXPECT_NO_THROW(fitEllipse(pts, ellipseParams(0, 0, 2 * residual)));

    const krEllipseFitResults before(krEllipse(krCircle({1, 2}, 3)), 0.5);
    krEllipseFitResults r = before;
    EXPECT_THROW(kfEllipseFit(ellipseParams(0, 0, 0.5 * residual), pts, r), krFitError);
    EXPECT_EQ(r.ellipse(), before.ellipse());
    EXPECT_EQ(r.residual(), before.residual());
}

TEST(EllipseFit, RefusesPointsWithoutAnEllipse) {
    const Points ellipse = sample({{0, 0}, 3, 2, 0}, 0, kTurn, 12);
    Points withNaN = ellipse, withInf = ellipse;
    withNaN[3] = {kNaN, 1};
    withInf[7] = {0, -kInf};
    Points line, coincident(8, krVector<2>(1e3, -2e3)), parallel, parabola;
    for (int i = 0; i < 10; ++i) {
        line.emplace_back(1.0 + 0.1 * i, -2.0 + 0.3 * i);
        parallel.emplace_back(i % 2 ? 1.0 : -1.0, 0.5 * i);
        parabola.emplace_back(i - 3.0, 0.7 * (i - 6.0) * (i - 6.0));
    }
    const Points bad[] = {{}, Points(ellipse.begin(), ellipse.begin() + 4), coincident, line,
                          parallel, parabola, withNaN, withInf};
    for (const Points& pts : bad) EXPECT_THROW(fitEllipse(pts), krException) << ::testing::PrintToString(pts);
    EXPECT_THROW(fitEllipse(ellipse, krEllipseFitParams(krEllipseFitDefs::fit_mode(1))), krFitError);
    EXPECT_THROW(fitEllipse(ellipse, ellipseParams(kNaN, 0, kInf)), krFitError);
    EXPECT_THROW(fitEllipse(ellipse, ellipseParams(0, 0, kNaN)), krFitError);
}

TEST(CircleFit, RecoversSampledCircles) {
    struct Case { const char* name; Ellipse e; double from, to; int n; double sigma; } cases[] = {
        {"far off-centre", {{1e4, 1e4}, 0.5, 0.5, 0}, 0, kTurn, 40, 0},
        {"tiny", {{0, 0}, 1e-5, 1e-5, 0}, 0, kTurn, 40, 0},
        {"thirty degrees of arc", {{-5, 5}, 20, 20, 0}, 1, 1 + kPi / 6, 30, 0},
        {"three points", {{2, -1}, 4, 4, 0}, 0.2, 0.2 + kTurn, 3, 0},
        {"noisy", {{30, -40}, 12, 12, 0}, 0, kTurn, 200, 0.12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const krCircleFitResults r = fitCircle(sample(c.e, c.from, c.to, c.n, c.sigma, 11));
        const double tol = c.sigma == 0 ? 1e-8 * c.e.a : 0.01 * c.e.a;
        EXPECT_NEAR(r.circle().center().x(), c.e.center.x(), tol);
        EXPECT_NEAR(r.circle().center().y(), c.e.center.y(), tol);
        EXPECT_NEAR(r.circle().radius(), c.e.a, tol);
        if (c.sigma == 0) {
            EXPECT_LE(r.residual(), tol);
        } else {
            EXPECT_GT(r.residual(), 0.7 * c.sigma);
            EXPECT_LT(r.residual(), 1.3 * c.sigma);
        }
    }
}

// 100 points on the circle and 10 far outside: keeping the nearest 100 drops the
// outliers, so the second fit is exact again.
TEST(CircleFit, KeepShedsOutliers) {
    Points pts = sample({{5, 5}, 2, 2, 0}, 0, kTurn, 100);
    for (int i = 0; i < 10; ++i) pts.emplace_back(5 + 3 * std::cos(0.6 * i), 5 + 3 * std::sin(0.6 * i));

    EXPECT_GT(std::fabs(fitCircle(pts).circle().radius() - 2), 0.1);
    const krCircleFitResults kept =
        fitCircle(pts, krCircleFitParams(krCircleFitDefs::eTaubin, 100.0 / 110.0, 0, kInf));
    EXPECT_TRUE(kfRealEq(kept.circle().center(), krVector<2>(5, 5), 1e-9)) << kept.circle().center();
    EXPECT_NEAR(kept.circle().radius(), 2, 1e-9);
    EXPECT_LT(kept.residual(), 1e-9);
}

TEST(CircleFit, RefusesPointsWithoutACircleAndBadParameters) {
    const Points circle = sample({{0, 0}, 1, 1, 0}, 0, kTurn, 8);
    const Points bad[] = {{},
                          {{0, 0}, {1, 1}},
                          {{0, 0}, {1, 1}, {2, 2}},
                          Points(5, krVector<2>(3, 3)),
                          {{0, 0}, {1, 0}, {0, kNaN}}};
    for (const Points& pts : bad) EXPECT_THROW(fitCircle(pts), krFitError) << pts.size();

    for (double keep : {0.0, -0.5, 1.5, kNaN})
        EXPECT_THROW(fitCircle(circle, krCircleFitParams(krCircleFitDefs::eTaubin, keep)), krFitError) << keep;
    EXPECT_THROW(fitCircle(circle, krCircleFitParams(krCircleFitDefs::fit_mode(1))), krFitError);
    EXPECT_THROW(fitCircle(circle, krCircleFitParams(krCircleFitDefs::eTaubin, 1.0, 2)), krFitError);

    const Points noisy = sample({{0, 0}, 1, 1, 0}, 0, kTurn, 50, 0.02, 5);
    const double residual = fitCircle(noisy).residual();
    EXPECT_THROW(fitCircle(noisy, krCircleFitParams(krCircleFitDefs::eTaubin, 1.0, 0, 0.5 * residual)), krFitError);
}

}  // namespace
