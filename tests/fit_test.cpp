// Ellipse and circle fits against the shapes their points were sampled from.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "platform/std/fit.h"

namespace {

using Points = std::vector<krVector<2>>;
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Ellipse {
    krVector<2> center;
    double a, b, rot;
};

// n points at parameter angles evenly spread over [from, to), with Gaussian
// noise of deviation sigma on each coordinate.
Points sampleEllipse(const Ellipse& e, double from, double to, int n, double sigma = 0.0,
                     unsigned seed = 1) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double c = std::cos(e.rot), s = std::sin(e.rot);
    Points pts;
    for (int i = 0; i < n; ++i) {
        const double t = from + (to - from) * i / n;
        const double u = e.a * std::cos(t), v = e.b * std::sin(t);
        double x = e.center.x() + c * u - s * v, y = e.center.y() + s * u + c * v;
        if (sigma > 0.0) {
            x += sigma * noise(gen);
            y += sigma * noise(gen);
        }
        pts.emplace_back(x, y);
    }
    return pts;
}

// Distance between two directions of an axis, which repeat every half turn.
double axisGap(double x, double y) {
    const double d = std::fmod(std::fabs(x - y), kPi);
    return std::min(d, kPi - d);
}

// The fit reports the major axis as a; the sampled ellipse may name its axes
// the other way round.
Ellipse majorFirst(Ellipse e) {
    if (e.a < e.b) {
        std::swap(e.a, e.b);
        e.rot += kPi / 2;
    }
    return e;
}

void expectEllipse(const krEllipse& got, const Ellipse& want, double tolCenter, double tolAxes,
                   double tolAngle) {
    const Ellipse w = majorFirst(want);
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

krCircleFitResults fitCircle(const Points& pts, const krCircleFitParams& params = krCircleFitParams()) {
    krCircleFitResults r;
    kfCircleFit(params, pts, r);
    return r;
}

TEST(EllipseFit, RecoversNoiseFreeEllipses) {
    struct Case {
        const char* name;
        Ellipse e;
        double from, to;
        int n;
    } cases[] = {
        {"plain", {{0, 0}, 3, 2, 0.3}, 0, 2 * kPi, 60},
        {"far off-centre, rotation past a quarter turn", {{1e5, -2e5}, 40, 10, 2.0}, 0, 2 * kPi, 100},
        {"tiny", {{1e-3, 2e-3}, 2e-4, 1e-4, -0.5}, 0, 2 * kPi, 40},
        {"axes named the other way", {{-3, 7}, 1, 4, 0.1}, 0, 2 * kPi, 50},
        {"quarter arc", {{2, 1}, 5, 3, 1.0}, 0, kPi / 2, 50},
        {"long and thin", {{0, 5}, 100, 0.5, 0.7}, 0, 2 * kPi, 400},
        {"nearly round", {{1, 1}, 10, 9.99, 1.2}, 0, 2 * kPi, 100},
        {"round", {{4, -4}, 7, 7, 0}, 0, 2 * kPi, 30},
        {"five points", {{1, 2}, 3, 1, 0.4}, 0.3, 2 * kPi + 0.3, 5},
        {"small spread far from the origin", {{1e6, 1e6}, 1, 0.5, -1.0}, 0, 2 * kPi, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const krEllipseFitResults r = fitEllipse(sampleEllipse(c.e, c.from, c.to, c.n));
        const double size = std::max(c.e.a, c.e.b);
        expectEllipse(r.ellipse(), c.e, 1e-6 * size, 1e-6 * size, 1e-6);
        EXPECT_GE(r.ellipse().a(), r.ellipse().b());
        EXPECT_LE(r.residual(), 1e-9 * size);
        const double rot = r.ellipse().rotation().toDouble();
        EXPECT_TRUE(rot >= 0.0 && rot < kPi) << rot;
    }
}

// Noise of 1% of the minor axis moves the fit by about a tenth of that; the
// residual is the noise level, since it measures distances in the points' units.
TEST(EllipseFit, NoisySamplesStayClose) {
    const Ellipse shapes[] = {{{10, -5}, 8, 4, 0.6}, {{-300, 200}, 50, 30, 2.5}, {{0, 0}, 2, 1.5, -1.2}};
    unsigned seed = 7;
    for (const Ellipse& e : shapes) {
        SCOPED_TRACE(e.a);
        const double sigma = 0.01 * e.b;
        const krEllipseFitResults r = fitEllipse(sampleEllipse(e, 0, 2 * kPi, 200, sigma, seed++));
        expectEllipse(r.ellipse(), e, 0.005 * e.b, 0.005 * e.b, 0.5 * kPi / 180);
        EXPECT_GT(r.residual(), 0.7 * sigma);
        EXPECT_LT(r.residual(), 1.3 * sigma);
    }
}

TEST(EllipseFit, AngleChoosesTheHalfTurnOfTheRotation) {
    const Ellipse e{{1, 1}, 4, 2, 2.8};
    const Points pts = sampleEllipse(e, 0, 2 * kPi, 40);
    for (double from : {0.0, -kPi / 2, 3.0, -10.0}) {
        SCOPED_TRACE(from);
        const krEllipseFitResults r =
            fitEllipse(pts, krEllipseFitParams(krEllipseFitDefs::eDirect, krRadian(from), 0, kInf));
        const double rot = r.ellipse().rotation().toDouble();
        EXPECT_GE(rot, from);
        EXPECT_LT(rot, from + kPi);
        EXPECT_LE(axisGap(rot, e.rot), 1e-9);
    }
}

// Even entries lie on the ellipse, odd ones are far off: taking 10 of the 20
// points evenly picks exactly the even ones.
TEST(EllipseFit, CountTakesPointsEvenlyThroughTheList) {
    const Ellipse e{{0, 0}, 5, 2, 0.25};
    const Points on = sampleEllipse(e, 0, 2 * kPi, 10);
    Points mixed;
    for (std::size_t i = 0; i < on.size(); ++i) {
        mixed.push_back(on[i]);
        mixed.emplace_back(20.0 + i, -3.0 * i * i);
    }
    const krEllipseFitResults picked =
        fitEllipse(mixed, krEllipseFitParams(krEllipseFitDefs::eDirect, krRadian(0), 10, kInf));
    expectEllipse(picked.ellipse(), e, 1e-9, 1e-9, 1e-9);
    EXPECT_GT(fitEllipse(mixed).residual(), 0.1);
    EXPECT_THROW(fitEllipse(mixed, krEllipseFitParams(krEllipseFitDefs::eDirect, krRadian(0), 4, kInf)),
                 krFitError);
}

TEST(EllipseFit, LimitRefusesAWorseFitAndLeavesResultsAlone) {
    const Points pts = sampleEllipse({{0, 0}, 6, 3, 0.2}, 0, 2 * kPi, 200, 0.05, 3);
    const double residual = fitEllipse(pts).residual();
    EXPECT_NO_THROW(fitEllipse(pts, krEllipseFitParams(krEllipseFitDefs::eDirect, krRadian(0), 0, 2 * residual)));

    const krEllipseFitResults before(krEllipse(krCircle({1, 2}, 3)), 0.5);
    krEllipseFitResults r = before;
    EXPECT_THROW(kfEllipseFit(krEllipseFitParams(krEllipseFitDefs::eDirect, krRadian(0), 0, 0.5 * residual), pts, r),
                 krFitError);
    EXPECT_EQ(r.ellipse(), before.ellipse());
    EXPECT_EQ(r.residual(), before.residual());
}

TEST(EllipseFit, RefusesPointsWithoutAnEllipse) {
    const Points ellipse = sampleEllipse({{0, 0}, 3, 2, 0}, 0, 2 * kPi, 12);
    Points withNaN = ellipse, withInf = ellipse;
    withNaN[3] = {kNaN, 1};
    withInf[7] = {0, -kInf};
    Points line, coincident(8, krVector<2>(1e3, -2e3)), parallel, parabola;
    for (int i = 0; i < 10; ++i) {
        line.emplace_back(1.0 + 0.1 * i, -2.0 + 0.3 * i);
        parallel.emplace_back(i % 2 ? 1.0 : -1.0, 0.5 * i);
        parabola.emplace_back(i - 3.0, 0.7 * (i - 6.0) * (i - 6.0));
    }
    const struct {
        const char* name;
        Points pts;
    } cases[] = {
        {"none", {}},
        {"four", Points(ellipse.begin(), ellipse.begin() + 4)},
        {"coincident", coincident},
        {"collinear", line},
        {"two parallel lines", parallel},
        {"parabola", parabola},
        {"NaN", withNaN},
        {"infinity", withInf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(fitEllipse(c.pts), krException);
    }
    EXPECT_THROW(fitEllipse(ellipse, krEllipseFitParams(krEllipseFitDefs::fit_mode(1))), krFitError);
    EXPECT_THROW(fitEllipse(ellipse, krEllipseFitParams(krEllipseFitDefs::eDirect, krRadian(kNaN))), krFitError);
    EXPECT_THROW(fitEllipse(ellipse, krEllipseFitParams(krEllipseFitDefs::eDirect, krRadian(0), 0, kNaN)), krFitError);
}

TEST(CircleFit, RecoversNoiseFreeCircles) {
    const struct {
        const char* name;
        Ellipse e;
        double from, to;
        int n;
    } cases[] = {
        {"plain", {{1, 2}, 3, 3, 0}, 0, 2 * kPi, 40},
        {"far off-centre", {{1e4, 1e4}, 0.5, 0.5, 0}, 0, 2 * kPi, 40},
        {"tiny", {{0, 0}, 1e-5, 1e-5, 0}, 0, 2 * kPi, 40},
        {"thirty degrees of arc", {{-5, 5}, 20, 20, 0}, 1, 1 + kPi / 6, 30},
        {"three points", {{2, -1}, 4, 4, 0}, 0.2, 0.2 + 2 * kPi, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const krCircleFitResults r = fitCircle(sampleEllipse(c.e, c.from, c.to, c.n));
        EXPECT_NEAR(r.circle().center().x(), c.e.center.x(), 1e-8 * c.e.a);
        EXPECT_NEAR(r.circle().center().y(), c.e.center.y(), 1e-8 * c.e.a);
        EXPECT_NEAR(r.circle().radius(), c.e.a, 1e-8 * c.e.a);
        EXPECT_LE(r.residual(), 1e-8 * c.e.a);
    }
}

TEST(CircleFit, NoisySamplesStayClose) {
    const Ellipse e{{30, -40}, 12, 12, 0};
    const double sigma = 0.01 * e.a;
    const krCircleFitResults r = fitCircle(sampleEllipse(e, 0, 2 * kPi, 200, sigma, 11));
    EXPECT_NEAR(r.circle().center().x(), e.center.x(), 0.01 * e.a);
    EXPECT_NEAR(r.circle().center().y(), e.center.y(), 0.01 * e.a);
    EXPECT_NEAR(r.circle().radius(), e.a, 0.01 * e.a);
    EXPECT_GT(r.residual(), 0.7 * sigma);
    EXPECT_LT(r.residual(), 1.3 * sigma);
}

// 100 points on the circle and 10 far outside: keeping the nearest 100 drops the
// outliers, so the second fit is exact again.
TEST(CircleFit, KeepShedsOutliers) {
    const Ellipse e{{5, 5}, 2, 2, 0};
    Points pts = sampleEllipse(e, 0, 2 * kPi, 100);
    for (int i = 0; i < 10; ++i) pts.emplace_back(5 + 3 * std::cos(0.6 * i), 5 + 3 * std::sin(0.6 * i));

    const krCircleFitResults all = fitCircle(pts);
    EXPECT_GT(std::fabs(all.circle().radius() - e.a), 0.1);
    const krCircleFitResults kept =
        fitCircle(pts, krCircleFitParams(krCircleFitDefs::eTaubin, 100.0 / 110.0, 0, kInf));
    EXPECT_NEAR(kept.circle().center().x(), 5, 1e-9);
    EXPECT_NEAR(kept.circle().center().y(), 5, 1e-9);
    EXPECT_NEAR(kept.circle().radius(), 2, 1e-9);
    EXPECT_LT(kept.residual(), 1e-9);
}

TEST(CircleFit, RefusesPointsWithoutACircleAndBadParameters) {
    const Points circle = sampleEllipse({{0, 0}, 1, 1, 0}, 0, 2 * kPi, 8);
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

    const Points noisy = sampleEllipse({{0, 0}, 1, 1, 0}, 0, 2 * kPi, 50, 0.02, 5);
    const double residual = fitCircle(noisy).residual();
    EXPECT_THROW(fitCircle(noisy, krCircleFitParams(krCircleFitDefs::eTaubin, 1.0, 0, 0.5 * residual)), krFitError);
}

}  // namespace
