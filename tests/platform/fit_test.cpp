// Ellipse and circle fits against the shapes their points were sampled from.
#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/contour_probe.h"
#include "platform/std/fit.h"
#include "tests/platform/greyscene.h"

namespace {

using Points = std::vector<krVector<2>>;
const double kTurn = 2 * kPi;

struct Ellipse { krVector<2> center; double a, b, rot; };

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

// The sampled ellipses name their major axis a, as the fit does.
void expectEllipse(const krEllipse& got, const Ellipse& w, double tolCenter, double tolAxes, double tolAngle) {
    EXPECT_TRUE(kfRealEq(got.center(), w.center, tolCenter)) << got.center();
    EXPECT_TRUE(std::fabs(got.a() - w.a) <= tolAxes && std::fabs(got.b() - w.b) <= tolAxes) << got.a() << " " << got.b();
    EXPECT_TRUE(w.a == w.b || axisGap(got.rotation().toDouble(), w.rot) <= tolAngle) << got.rotation().toDouble();
}

krEllipseFitResults fitEllipse(const Points& pts, const krEllipseFitParams& params = krEllipseFitParams()) {
    krEllipseFitResults r;
    kfEllipseFit(params, pts, r);
    return r;
}

krEllipseFitParams ellipseParams(double from, unsigned long count, double limit,
                                 krEllipseFitDefs::fit_mode mode = krEllipseFitDefs::eDirect) {
    return krEllipseFitParams(mode, krRadian(from), count, limit);
}

krCircleFitResults fitCircle(const Points& pts, const krCircleFitParams& params = krCircleFitParams()) {
    krCircleFitResults r;
    kfCircleFit(params, pts, r);
    return r;
}

const krEllipseFitDefs::fit_mode kEllipseModes[] = {krEllipseFitDefs::eDirect, krEllipseFitDefs::eGeometric};
const krCircleFitDefs::fit_mode kCircleModes[] = {krCircleFitDefs::eTaubin, krCircleFitDefs::eGeometric};

// Without noise the fits are exact; with noise the residual is the noise level.
// Round shapes also go through the circle fit, short arcs of circles only there.
// Every case runs in both modes: the geometric refinement must keep exact
// answers exact, on tiny, thin and far-off shapes alike.
TEST(Fit, RecoversSampledEllipsesAndCircles) {
    struct Case { const char* name; Ellipse e; double from, to; int n; double sigma; bool ellipse; } cases[] = {
        {"tiny", {{1e-3, 2e-3}, 2e-4, 1e-4, -0.5}, 0, kTurn, 40, 0, true},
        {"quarter arc", {{2, 1}, 5, 3, 1.0}, 0, kPi / 2, 50, 0, true},
        {"long and thin", {{0, 5}, 100, 0.5, 0.7}, 0, kTurn, 400, 0, true},
        {"nearly round", {{1, 1}, 10, 9.99, 1.2}, 0, kTurn, 100, 0, true},
        {"round", {{4, -4}, 7, 7, 0}, 0, kTurn, 30, 0, true},
        {"five points", {{1, 2}, 3, 1, 0.4}, 0.3, kTurn + 0.3, 5, 0, true},
        {"small spread far from the origin, past a quarter turn", {{1e6, -1e6}, 1, 0.5, 2.0}, 0, kTurn, 64, 0, true},
        {"noisy", {{10, -5}, 8, 4, 0.6}, 0, kTurn, 200, 0.04, true},
        {"circle far off-centre", {{1e4, 1e4}, 0.5, 0.5, 0}, 0, kTurn, 40, 0, false},
        {"thirty degrees of a circle", {{-5, 5}, 20, 20, 0}, 1, 1 + kPi / 6, 30, 0, false},
        {"three points on a circle", {{2, -1}, 4, 4, 0}, 0.2, 0.2 + kTurn, 3, 0, false},
        {"noisy circle", {{30, -40}, 12, 12, 0}, 0, kTurn, 200, 0.12, false},
    };
    for (int mode : {0, 1}) {
        unsigned seed = 7;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (mode ? ", geometric" : ", algebraic"));
            const Points pts = sample(c.e, c.from, c.to, c.n, c.sigma, seed++);
            auto expectResidual = [&](double residual, double exactBound) {
                EXPECT_TRUE(c.sigma == 0 ? residual <= exactBound : residual > 0.7 * c.sigma && residual < 1.3 * c.sigma)
                    << residual;
            };
            if (c.ellipse) {
                const krEllipseFitResults r = fitEllipse(pts, ellipseParams(0, 0, kInf, kEllipseModes[mode]));
                const double rot = r.ellipse().rotation().toDouble();
                EXPECT_TRUE(r.ellipse().a() >= r.ellipse().b() && rot >= 0.0 && rot < kPi) << rot;
                const double tol = c.sigma == 0 ? 1e-6 * c.e.a : 0.005 * c.e.b;
                expectEllipse(r.ellipse(), c.e, tol, tol, c.sigma == 0 ? 1e-6 : 0.5 * kPi / 180);
                expectResidual(r.residual(), 1e-9 * c.e.a);
            }
            if (c.e.a == c.e.b) {
                const krCircleFitResults r = fitCircle(pts, krCircleFitParams(kCircleModes[mode]));
                const double tol = c.sigma == 0 ? 1e-8 * c.e.a : 0.005 * c.e.a;
                expectEllipse(krEllipse(r.circle()), c.e, tol, tol, 0);
                expectResidual(r.residual(), tol);
            }
        }
    }
}

// The angle chooses the half turn of the rotation; taking 10 of 20 points
// evenly picks exactly the even ones, which lie on the ellipse; a limit
// refuses a worse fit and leaves the results as they were.
TEST(EllipseFit, AngleCountAndLimit) {
    const Ellipse e{{1, 1}, 4, 2, 2.8};
    const Points pts = sample(e, 0, kTurn, 40);
    for (double from : {0.0, -kPi / 2, 3.0, -10.0}) {
        const double rot = fitEllipse(pts, ellipseParams(from, 0, kInf)).ellipse().rotation().toDouble();
        EXPECT_TRUE(rot >= from && rot < from + kPi && axisGap(rot, e.rot) <= 1e-9) << from << ": " << rot;
    }

    const Points on = sample(e, 0, kTurn, 10);
    Points mixed;
    for (std::size_t i = 0; i < on.size(); ++i) mixed.insert(mixed.end(), {on[i], krVector<2>(20.0 + i, -3.0 * i * i)});
    expectEllipse(fitEllipse(mixed, ellipseParams(0, 10, kInf)).ellipse(), e, 1e-9, 1e-9, 1e-9);
    EXPECT_GT(fitEllipse(mixed).residual(), 0.1);
    EXPECT_THROW(fitEllipse(mixed, ellipseParams(0, 4, kInf)), krFitError);

    const Points noisy = sample({{0, 0}, 6, 3, 0.2}, 0, kTurn, 200, 0.05, 3);
    const double residual = fitEllipse(noisy).residual();
    EXPECT_NO_THROW(fitEllipse(noisy, ellipseParams(0, 0, 2 * residual)));
    const krEllipseFitResults before(krEllipse(krCircle({1, 2}, 3)), 0.5);
    krEllipseFitResults r = before;
    EXPECT_THROW(kfEllipseFit(ellipseParams(0, 0, 0.5 * residual), noisy, r), krFitError);
    EXPECT_TRUE(r.ellipse() == before.ellipse() && r.residual() == before.residual());
}

// Sets without a curve through them and bad parameters are refused.
TEST(Fit, RefusesBadPointsAndParameters) {
    const Points ellipse = sample({{0, 0}, 3, 2, 0}, 0, kTurn, 12);
    Points withNaN = ellipse, withInf = ellipse, line, coincident(8, krVector<2>(1e3, -2e3)), parallel, parabola;
    withNaN[3] = {kNaN, 1};
    withInf[7] = {0, -kInf};
    for (int i = 0; i < 10; ++i) {
        line.emplace_back(1.0 + 0.1 * i, -2.0 + 0.3 * i);
        parallel.emplace_back(i % 2 ? 1.0 : -1.0, 0.5 * i);
        parabola.emplace_back(i - 3.0, 0.7 * (i - 6.0) * (i - 6.0));
    }
    // The first six no circle goes through either.
    const Points bad[] = {{}, {{0, 0}, {1, 1}}, coincident, line, withNaN, withInf,
                          Points(ellipse.begin(), ellipse.begin() + 4), parallel, parabola};
    for (int mode : {0, 1})
        for (std::size_t k = 0; k < std::size(bad); ++k) {
            SCOPED_TRACE(::testing::Message() << mode << ::testing::PrintToString(bad[k]));
            EXPECT_THROW(fitEllipse(bad[k], ellipseParams(0, 0, kInf, kEllipseModes[mode])), krException);
            if (k < 6) {
                EXPECT_THROW(fitCircle(bad[k], krCircleFitParams(kCircleModes[mode])), krFitError);
            }
        }
    for (const krEllipseFitParams& p : {krEllipseFitParams(krEllipseFitDefs::fit_mode(2)), ellipseParams(kNaN, 0, kInf),
                                        ellipseParams(0, 0, kNaN)})
        EXPECT_THROW(fitEllipse(ellipse, p), krFitError);
    for (const krCircleFitParams& p :
         {krCircleFitParams(krCircleFitDefs::eTaubin, 0.0), krCircleFitParams(krCircleFitDefs::eTaubin, -0.5),
          krCircleFitParams(krCircleFitDefs::eTaubin, 1.5), krCircleFitParams(krCircleFitDefs::eTaubin, kNaN),
          krCircleFitParams(krCircleFitDefs::fit_mode(2)), krCircleFitParams(krCircleFitDefs::eTaubin, 1.0, 2)})
        EXPECT_THROW(fitCircle(ellipse, p), krFitError);
}

// Keeping the nearest 100 of 110 points sheds the outliers.
TEST(CircleFit, KeepShedsOutliers) {
    Points pts = sample({{5, 5}, 2, 2, 0}, 0, kTurn, 100);
    for (int i = 0; i < 10; ++i) pts.emplace_back(5 + 3 * std::cos(0.6 * i), 5 + 3 * std::sin(0.6 * i));

    EXPECT_GT(std::fabs(fitCircle(pts).circle().radius() - 2), 0.1);
    for (const auto mode : kCircleModes) {
        const krCircleFitResults kept = fitCircle(pts, krCircleFitParams(mode, 100.0 / 110.0, 0, kInf));
        expectEllipse(krEllipse(kept.circle()), {{5, 5}, 2, 2, 0}, 1e-9, 1e-9, 0);
        EXPECT_LT(kept.residual(), 1e-9);
    }
}

// The distance from p to the ellipse, found independently of the fit's foot
// points (and of the fit's own steps).
double trueDistance(const Ellipse& e, const krVector<2>& p) {
    return std::fabs(greyscene::ellipseDistance({e.center.x(), e.center.y(), e.a, e.b, e.rot}, {p.x(), p.y()}));
}

double trueSquares(const Ellipse& e, const Points& pts) {
    double sum = 0;
    for (const auto& p : pts) sum += std::pow(trueDistance(e, p), 2);
    return sum;
}

Ellipse asTruth(const krEllipse& e) {
    return {e.center(), e.a(), e.b(), e.rotation().toDouble()};
}

// The geometric fits against the truth on random ellipses and circles (axis
// ratio 0.3 to 1, any rotation) sampled with noise on full, half and quarter
// turns: each fit's residual is the true orthogonal root mean square, and no
// small move of any parameter lowers the true sum of squares, so the fit is a
// least-squares minimum, not merely near one.
TEST(Fit, GeometricFitsAreOrthogonalLeastSquaresMinima) {
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> unit(0, 1);
    const double sigma = 0.1, h = 1e-3 * sigma;
    const auto notLower = [](double moved, double sum) { return moved >= sum * (1 - 1e-12); };
    for (int t = 0; t < 30; ++t) {
        const double ratio = t % 3 == 0 ? 1.0 : 0.3 + 0.7 * unit(gen), a = 8 + 52 * unit(gen);
        const Ellipse truth{{1000 * unit(gen), 1000 * unit(gen)}, a, a * ratio, kPi * unit(gen)};
        const double from = kTurn * unit(gen), turn = kTurn / (1 << t % 3);
        const Points pts = sample(truth, from, from + turn, 100, sigma, gen());
        SCOPED_TRACE(::testing::Message() << "case " << t << ", axes " << truth.a << ", " << truth.b
                                          << ", turn " << turn);

        const krEllipseFitResults direct = fitEllipse(pts);
        const krEllipseFitResults geometric =
            fitEllipse(pts, ellipseParams(0, 0, kInf, krEllipseFitDefs::eGeometric));
        const Ellipse fit = asTruth(geometric.ellipse());
        const double sum = trueSquares(fit, pts);
        EXPECT_NEAR(geometric.residual(), std::sqrt(sum / pts.size()), 1e-9 * sigma);
        EXPECT_PRED2(notLower, trueSquares(asTruth(direct.ellipse()), pts), sum);
        for (int k = 0; k < 10; ++k) {
            double q[5] = {fit.center.x(), fit.center.y(), fit.a, fit.b, fit.rot};
            q[k / 2] += (k % 2 ? h : -h) / (k / 2 == 4 ? fit.a : 1);
            EXPECT_PRED2(notLower, trueSquares({{q[0], q[1]}, q[2], q[3], q[4]}, pts), sum) << "parameter " << k / 2;
        }

        if (ratio != 1.0) continue;
        const krCircleFitResults r = fitCircle(pts, krCircleFitParams(krCircleFitDefs::eGeometric));
        const krCircle& c = r.circle();
        const double circleSum = trueSquares(asTruth(krEllipse(c)), pts);
        EXPECT_NEAR(r.residual(), std::sqrt(circleSum / pts.size()), 1e-9 * sigma);
        EXPECT_PRED2(notLower, trueSquares(asTruth(krEllipse(fitCircle(pts).circle())), pts), circleSum);
        for (int k = 0; k < 6; ++k) {
            double q[3] = {c.center().x(), c.center().y(), c.radius()};
            q[k / 2] += k % 2 ? h : -h;
            EXPECT_PRED2(notLower, trueSquares({{q[0], q[1]}, q[2], q[2], 0}, pts), circleSum) << "parameter " << k / 2;
        }
    }
}

}  // namespace
