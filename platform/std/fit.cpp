#include "platform/std/fit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace {

// Points whose spread about their mean is below this share of their
// coordinates' magnitude differ only in the last digits: they coincide.
constexpr double kCoincident = 1e-12;

// Exactly collinear points keep a width of the order of the rounding of their
// coordinates, 1e-16 of their length or more when they lie far from the origin.
// The ellipse fit measures the variance across the principal axis directly and
// calls the points collinear when it is below 1e-18 of the variance along it
// (a width of 1e-9 of the length). The circle fit tests the determinant of the
// normalized scatter (trace 2, so at most 1), which carries the rounding of a
// difference of products; its limit, 1e-14, is a width of about 5e-8.
constexpr double kCollinearVariance = 1e-18;
constexpr double kCollinearDet = 1e-14;

// A conic a u^2 + b uw + c w^2 + ... fitted to whitened points is an ellipse
// when 4ac - b^2 > 0, and since whitened data look round, a well-determined
// ellipse has the constraint comparable to a^2 + b^2 + c^2. Points on a
// degenerate conic (two parallel lines, a parabola) leave the eigenproblem
// nearly defective, and rounding then tips the answer to a huge ellipse with
// the constraint near sqrt(epsilon), 1e-7 of the norm. Below this margin the
// fit is refused. It also refuses arcs shorter than about a degree of a
// circle, which do not fix an ellipse to more than a few digits.
constexpr double kEllipseMargin = 1e-5;

// ---------------------------------------------------------------------------
// 3x3 matrices, just what the ellipse fit needs.

struct krMat3 {
    double e[3][3];
};

krMat3 operator*(const krMat3& a, const krMat3& b) {
    krMat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.e[i][j] = a.e[i][0] * b.e[0][j] + a.e[i][1] * b.e[1][j] + a.e[i][2] * b.e[2][j];
    return r;
}

krMat3 transpose(const krMat3& a) {
    krMat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.e[i][j] = a.e[j][i];
    return r;
}

// Cofactor inverse; the callers' matrices are normalized and well away from
// singular once the collinearity test has passed, so nothing finer is needed.
krMat3 inverse(const krMat3& a) {
    const auto& e = a.e;
    krMat3 c{};
    c.e[0][0] = e[1][1] * e[2][2] - e[1][2] * e[2][1];
    c.e[0][1] = e[0][2] * e[2][1] - e[0][1] * e[2][2];
    c.e[0][2] = e[0][1] * e[1][2] - e[0][2] * e[1][1];
    c.e[1][0] = e[1][2] * e[2][0] - e[1][0] * e[2][2];
    c.e[1][1] = e[0][0] * e[2][2] - e[0][2] * e[2][0];
    c.e[1][2] = e[0][2] * e[1][0] - e[0][0] * e[1][2];
    c.e[2][0] = e[1][0] * e[2][1] - e[1][1] * e[2][0];
    c.e[2][1] = e[0][1] * e[2][0] - e[0][0] * e[2][1];
    c.e[2][2] = e[0][0] * e[1][1] - e[0][1] * e[1][0];
    const double det = e[0][0] * c.e[0][0] + e[0][1] * c.e[1][0] + e[0][2] * c.e[2][0];
    if (det == 0.0 || !std::isfinite(det)) throw krMathError::Singular();
    const double f = 1.0 / det;
    for (auto& row : c.e)
        for (double& v : row) v *= f;
    return c;
}

// The largest real root of x^3 + c2 x^2 + c1 x + c0. The closed form (the
// trigonometric one when all three roots are real, Cardano's otherwise) is
// polished by Newton steps, which take it to full precision even where the
// closed form loses digits to cancellation.
double largestRealRoot(double c2, double c1, double c0) {
    const double shift = -c2 / 3.0;
    const double p = c1 - c2 * c2 / 3.0;
    const double q = 2.0 * c2 * c2 * c2 / 27.0 - c2 * c1 / 3.0 + c0;
    const double disc = q * q / 4.0 + p * p * p / 27.0;
    double t;
    if (p < 0.0 && disc <= 0.0) {
        const double arg = std::clamp(1.5 * q / p * std::sqrt(-3.0 / p), -1.0, 1.0);
        t = 2.0 * std::sqrt(-p / 3.0) * std::cos(std::acos(arg) / 3.0);
    } else {
        const double r = std::sqrt(std::max(disc, 0.0));
        t = std::cbrt(-q / 2.0 + r) + std::cbrt(-q / 2.0 - r);
    }
    double x = t + shift;
    auto value = [&](double v) { return ((v + c2) * v + c1) * v + c0; };
    double fx = value(x);
    for (int i = 0; i < 8 && fx != 0.0; ++i) {
        const double slope = (3.0 * x + 2.0 * c2) * x + c1;
        if (slope == 0.0) break;
        const double next = x - fx / slope;
        const double fnext = value(next);
        if (!(std::fabs(fnext) < std::fabs(fx))) break;
        x = next;
        fx = fnext;
    }
    return x;
}

// A vector spanning the null space of the rank-2 matrix a: the largest of the
// cross products of its rows, which is the best conditioned of the three.
void nullVector(const krMat3& a, double v[3]) {
    const auto cross = [&](int i, int j, double out[3]) {
        const double* r = a.e[i];
        const double* s = a.e[j];
        out[0] = r[1] * s[2] - r[2] * s[1];
        out[1] = r[2] * s[0] - r[0] * s[2];
        out[2] = r[0] * s[1] - r[1] * s[0];
        return out[0] * out[0] + out[1] * out[1] + out[2] * out[2];
    };
    double best = -1.0;
    const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (const auto& pr : pairs) {
        double c[3];
        const double n = cross(pr[0], pr[1], c);
        if (n > best) {
            best = n;
            std::copy(c, c + 3, v);
        }
    }
    if (!(best > 0.0) || !std::isfinite(best)) throw krFitError(L"ellipse fit has no unique solution");
}

// ---------------------------------------------------------------------------
// Preparation shared by both fits.

// The points a fit works on: the caller's list, or count of them taken evenly
// through it.
const std::vector<krVector<2>>& sampled(const std::vector<krVector<2>>& points,
                                        unsigned long count, std::vector<krVector<2>>& store) {
    if (count == 0 || count >= points.size()) return points;
    const std::uint64_t n = points.size();
    store.clear();
    store.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) store.push_back(points[i * n / count]);
    return store;
}

// The mean of the points. A point that is not finite is refused here: it would
// turn every later sum into NaN without a word.
krVector<2> checkedMean(const std::vector<krVector<2>>& points) {
    double sx = 0.0, sy = 0.0;
    bool finite = true;
    for (const krVector<2>& p : points) {
        finite &= std::isfinite(p.x()) && std::isfinite(p.y());
        sx += p.x();
        sy += p.y();
    }
    if (!finite) throw krFitError(L"a point to fit is not finite");
    const double f = 1.0 / static_cast<double>(points.size());
    return {sx * f, sy * f};
}

// The spread that scales centred coordinates to unit variance per axis on
// average: sqrt(sum of squared distances to the mean / 2n). Coincident points
// have no scale to fit at.
double checkedSpread(double sumSquares, std::size_t n, const krVector<2>& mean) {
    const double s = std::sqrt(sumSquares / (2.0 * static_cast<double>(n)));
    const double magnitude = std::max(std::fabs(mean.x()), std::fabs(mean.y()));
    if (!(s > kCoincident * magnitude) || s == 0.0) throw krFitError(L"the points to fit coincide");
    return s;
}

// mxx, mxy, myy: the normalized second moments (mxx + myy = 2).
void checkNotCollinear(double mxx, double mxy, double myy) {
    if (!(mxx * myy - mxy * mxy > kCollinearDet)) throw krFitError(L"the points to fit are collinear");
}

void checkLimit(double residual, double limit) {
    if (residual > limit) throw krFitError(L"the fit's residual is above the limit");
}

// ---------------------------------------------------------------------------
// Ellipse fit

// The frame the ellipse fit works in: the points centred on their mean and
// turned onto the principal axes of their scatter, (u, w) = R^T (p - mean),
// u along the larger spread. Dividing u and w by their deviations su and sw
// then whitens the data: however long, thin, small or far away the ellipse,
// the fit sees a round cloud of unit spread, and its sums keep their digits.
// (A fit on merely centred and scaled data loses about (a/b)^4 in precision.)
struct krFitFrame {
    krVector<2> mean{};
    double cs = 1.0, sn = 0.0;
    double su = 1.0, sw = 1.0;

    double u(const krVector<2>& p) const { return cs * (p.x() - mean.x()) + sn * (p.y() - mean.y()); }
    double w(const krVector<2>& p) const { return -sn * (p.x() - mean.x()) + cs * (p.y() - mean.y()); }
    // Back from (u, w) to the plane.
    krVector<2> toPlane(double u, double w) const {
        return mean + krVector<2>(cs * u - sn * w, sn * u + cs * w);
    }
};

// A conic a u^2 + b uw + c w^2 + d u + e w + f = 0.
struct krConic {
    double a, b, c, d, e, f;
};

// The frame of the points, with the mean of u^p w^q / (su^p sw^q) for
// p + q <= 4, the whitened moments.
struct krWhitened {
    krFitFrame frame;
    double m[5][5] = {};
};

krWhitened whitenedMoments(const std::vector<krVector<2>>& points) {
    krWhitened r;
    krFitFrame& fr = r.frame;
    fr.mean = checkedMean(points);
    const std::size_t n = points.size();
    double sxx = 0, sxy = 0, syy = 0;
    for (const krVector<2>& p : points) {
        const double x = p.x() - fr.mean.x(), y = p.y() - fr.mean.y();
        sxx += x * x; sxy += x * y; syy += y * y;
    }
    checkedSpread(sxx + syy, n, fr.mean);
    const double phi = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
    fr.cs = std::cos(phi);
    fr.sn = std::sin(phi);

    // The moments in the turned frame come from the points themselves, not from
    // sxx, sxy and syy: the spread across the axis must be measured, not left as
    // a difference of large numbers, for the collinearity test to mean anything.
    double s10 = 0, s01 = 0, s20 = 0, s11 = 0, s02 = 0, s30 = 0, s21 = 0, s12 = 0, s03 = 0;
    double s40 = 0, s31 = 0, s22 = 0, s13 = 0, s04 = 0;
    for (const krVector<2>& p : points) {
        const double u = fr.u(p), w = fr.w(p);
        const double u2 = u * u, uw = u * w, w2 = w * w;
        s10 += u; s01 += w;
        s20 += u2; s11 += uw; s02 += w2;
        s30 += u2 * u; s21 += u2 * w; s12 += u * w2; s03 += w2 * w;
        s40 += u2 * u2; s31 += u2 * uw; s22 += u2 * w2; s13 += uw * w2; s04 += w2 * w2;
    }
    if (!(s02 > kCollinearVariance * s20)) throw krFitError(L"the points to fit are collinear");
    const double inv = 1.0 / static_cast<double>(n);
    fr.su = std::sqrt(s20 * inv);
    fr.sw = std::sqrt(s02 * inv);
    // Scaling the sums rather than the points: one multiplication per moment
    // instead of two per point.
    const double ku = 1.0 / fr.su, kw = 1.0 / fr.sw;
    const double pu[5] = {inv, inv * ku, inv * ku * ku, inv * ku * ku * ku, inv * ku * ku * ku * ku};
    const double pw[5] = {1.0, kw, kw * kw, kw * kw * kw, kw * kw * kw * kw};
    const double sums[5][5] = {{static_cast<double>(n), s01, s02, s03, s04},
                               {s10, s11, s12, s13, 0},
                               {s20, s21, s22, 0, 0},
                               {s30, s31, 0, 0, 0},
                               {s40, 0, 0, 0, 0}};
    for (int p = 0; p <= 4; ++p)
        for (int q = 0; p + q <= 4; ++q) r.m[p][q] = sums[p][q] * pu[p] * pw[q];
    return r;
}

// The direct fit in its reduced form, on whitened moments. The scatter matrix
// of (u^2, uw, w^2 | u, w, 1) is split into blocks S1 (quadratic), S2 (mixed)
// and S3 (linear); the linear part of the conic is eliminated as T times the
// quadratic part, which leaves the 3x3 problem M q = lambda C q with
// M = S1 + S2 T and C the constraint 4ac - b^2. The wanted eigenvector is the
// one that meets the constraint, and it belongs to the largest eigenvalue (the
// other two are negative). The conic comes back in the frame's unscaled (u, w).
krConic directFit(const krWhitened& wh) {
    const auto& m = wh.m;
    const krMat3 s1 = {{{m[4][0], m[3][1], m[2][2]}, {m[3][1], m[2][2], m[1][3]},
                        {m[2][2], m[1][3], m[0][4]}}};
    const krMat3 s2 = {{{m[3][0], m[2][1], m[2][0]}, {m[2][1], m[1][2], m[1][1]},
                        {m[1][2], m[0][3], m[0][2]}}};
    const krMat3 s3 = {{{m[2][0], m[1][1], m[1][0]}, {m[1][1], m[0][2], m[0][1]},
                        {m[1][0], m[0][1], m[0][0]}}};
    krMat3 t = inverse(s3) * transpose(s2);
    for (auto& row : t.e)
        for (double& v : row) v = -v;
    krMat3 mm = s2 * t;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) mm.e[i][j] += s1.e[i][j];

    // C^-1 M: C^-1 swaps the first and last rows with factor 1/2 and negates
    // the middle one.
    krMat3 a{};
    for (int j = 0; j < 3; ++j) {
        a.e[0][j] = 0.5 * mm.e[2][j];
        a.e[1][j] = -mm.e[1][j];
        a.e[2][j] = 0.5 * mm.e[0][j];
    }
    const auto& e = a.e;
    const double trace = e[0][0] + e[1][1] + e[2][2];
    const double minors = e[0][0] * e[1][1] - e[0][1] * e[1][0] + e[0][0] * e[2][2] -
                          e[0][2] * e[2][0] + e[1][1] * e[2][2] - e[1][2] * e[2][1];
    const double det = e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) -
                       e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0]) +
                       e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
    const double lambda = largestRealRoot(-trace, minors, -det);

    krMat3 shifted = a;
    for (int i = 0; i < 3; ++i) shifted.e[i][i] -= lambda;
    double q[3] = {0.0, 0.0, 0.0};
    nullVector(shifted, q);
    const double constraint = 4.0 * q[0] * q[2] - q[1] * q[1];
    if (!(constraint > kEllipseMargin * (q[0] * q[0] + q[1] * q[1] + q[2] * q[2])))
        throw krFitError(L"the fitted conic is not an ellipse");

    // Undo the whitening: u' = u / su, w' = w / sw.
    const double ku = 1.0 / wh.frame.su, kw = 1.0 / wh.frame.sw;
    krConic c;
    c.a = q[0] * ku * ku;
    c.b = q[1] * ku * kw;
    c.c = q[2] * kw * kw;
    c.d = (t.e[0][0] * q[0] + t.e[0][1] * q[1] + t.e[0][2] * q[2]) * ku;
    c.e = (t.e[1][0] * q[0] + t.e[1][1] * q[1] + t.e[1][2] * q[2]) * kw;
    c.f = t.e[2][0] * q[0] + t.e[2][1] * q[1] + t.e[2][2] * q[2];
    return c;
}

// Centre, semi-axes (major first) and direction of the major axis of the
// conic, in the plane. A conic whose quadratic part is definite but whose
// value at the centre has the same sign is an empty (imaginary) ellipse.
struct krEllipseShape {
    krVector<2> center{};
    double major, minor, angle;
};

krEllipseShape ellipseShape(const krConic& k, const krFitFrame& frame) {
    double a = k.a, b = k.b, c = k.c;
    const double den = 4.0 * a * c - b * b;
    const double u0 = (b * k.e - 2.0 * c * k.d) / den;
    const double w0 = (b * k.d - 2.0 * a * k.e) / den;
    double f0 = k.f + 0.5 * (k.d * u0 + k.e * w0);
    if (a + c < 0.0) {
        a = -a; b = -b; c = -c; f0 = -f0;
    }
    // Eigenvalues of the quadratic form [a b/2; b/2 c]; the smaller comes from
    // the determinant, which keeps its digits for long thin ellipses.
    const double big = 0.5 * (a + c) + std::hypot(0.5 * (a - c), 0.5 * b);
    const double small = 0.25 * den / big;
    if (!(f0 < 0.0)) throw krFitError(L"the fitted conic is not a real ellipse");
    krEllipseShape s;
    s.center = frame.toPlane(u0, w0);
    s.major = std::sqrt(-f0 / small);
    s.minor = std::sqrt(-f0 / big);
    // The major axis is the eigenvector of the smaller eigenvalue; the frame
    // is turned by the principal direction.
    s.angle = 0.5 * std::atan2(-b, c - a) + std::atan2(frame.sn, frame.cs);
    if (!(std::isfinite(s.center.x()) && std::isfinite(s.center.y()) && std::isfinite(s.major) &&
          std::isfinite(s.minor) && s.minor > 0.0))
        throw krFitError(L"the fitted conic is not a real ellipse");
    return s;
}

// The angle moved by whole half turns into [from, from + pi).
double intoHalfTurn(double angle, double from) {
    double d = std::fmod(angle - from, kPi);
    if (d < 0.0) d += kPi;
    if (d >= kPi) d = 0.0;
    return from + d;
}

// RMS of |F| / |grad F| over the points. The frame is the plane turned and
// moved, so these are distances in the plane.
double ellipseResidual(const std::vector<krVector<2>>& points, const krConic& k,
                       const krFitFrame& frame, double minor) {
    double sum = 0.0;
    for (const krVector<2>& p : points) {
        const double u = frame.u(p), w = frame.w(p);
        const double f = (k.a * u + k.b * w + k.d) * u + (k.c * w + k.e) * w + k.f;
        const double gu = 2.0 * k.a * u + k.b * w + k.d;
        const double gw = k.b * u + 2.0 * k.c * w + k.e;
        const double g2 = gu * gu + gw * gw;
        sum += g2 > 0.0 ? f * f / g2 : minor * minor;
    }
    return std::sqrt(sum / static_cast<double>(points.size()));
}

void checkParams(const krEllipseFitParams& params) {
    if (params.mode() != krEllipseFitDefs::eDirect && params.mode() != krEllipseFitDefs::eGeometric)
        throw krFitError(L"unknown ellipse fit mode");
    if (!std::isfinite(params.angle().toDouble())) throw krFitError(L"the ellipse fit angle is not finite");
    if (std::isnan(params.limit())) throw krFitError(L"the ellipse fit limit is not a number");
}

// ---------------------------------------------------------------------------
// Circle fit

// The circle through the points in the algebraic sense normalized by the mean
// squared gradient. On centred data the answer is the smallest non-negative
// root eta of a cubic (the generalized eigenvalue of the moment matrix against
// the constraint); Newton's method from 0 climbs to it monotonically, and the
// centre follows from eta by a 2x2 solve.
krCircle taubinFit(const std::vector<krVector<2>>& points) {
    const krVector<2> mean = checkedMean(points);
    double sxx = 0, syy = 0, sxy = 0, sxz = 0, syz = 0, szz = 0;
    const double mx = mean.x(), my = mean.y();
    for (const krVector<2>& p : points) {
        const double x = p.x() - mx, y = p.y() - my;
        const double z = x * x + y * y;
        sxx += x * x; syy += y * y; sxy += x * y;
        sxz += x * z; syz += y * z; szz += z * z;
    }
    const std::size_t n = points.size();
    const double scale = checkedSpread(sxx + syy, n, mean);
    const double k = 1.0 / scale;
    const double k2 = k * k / static_cast<double>(n);
    const double k3 = k2 * k, k4 = k3 * k;
    const double mxx = sxx * k2, myy = syy * k2, mxy = sxy * k2;
    const double mxz = sxz * k3, myz = syz * k3, mzz = szz * k4;
    checkNotCollinear(mxx, mxy, myy);

    const double mz = mxx + myy;
    const double covXY = mxx * myy - mxy * mxy;
    const double varZ = mzz - mz * mz;
    const double a3 = 4.0 * mz;
    const double a2 = -3.0 * mz * mz - mzz;
    const double a1 = varZ * mz + 4.0 * covXY * mz - mxz * mxz - myz * myz;
    const double a0 = mxz * (mxz * myy - myz * mxy) + myz * (myz * mxx - mxz * mxy) - varZ * covXY;
    double eta = 0.0, value = a0;
    for (int i = 0; i < 100; ++i) {
        const double slope = a1 + eta * (2.0 * a2 + 3.0 * a3 * eta);
        const double next = eta - value / slope;
        if (next == eta || !std::isfinite(next)) break;
        const double nextValue = a0 + next * (a1 + next * (a2 + next * a3));
        if (!(std::fabs(nextValue) < std::fabs(value))) break;
        eta = next;
        value = nextValue;
    }
    const double det = eta * eta - eta * mz + covXY;
    const double cx = (mxz * (myy - eta) - myz * mxy) / (2.0 * det);
    const double cy = (myz * (mxx - eta) - mxz * mxy) / (2.0 * det);
    const double r = std::sqrt(cx * cx + cy * cy + mz);
    const krCircle circle(mean + krVector<2>(cx, cy) * scale, r * scale);
    if (!(std::isfinite(circle.center().x()) && std::isfinite(circle.center().y()) &&
          std::isfinite(circle.radius())))
        throw krFitError(L"the circle fit has no finite solution");
    return circle;
}

double circleDistance(const krVector<2>& p, const krCircle& c) {
    return std::fabs(p.distance(c.center()) - c.radius());
}

double circleResidual(const std::vector<krVector<2>>& points, const krCircle& c) {
    double sum = 0.0;
    for (const krVector<2>& p : points) {
        const double d = circleDistance(p, c);
        sum += d * d;
    }
    return std::sqrt(sum / static_cast<double>(points.size()));
}

// The k points nearest to the circle, in their original order (ties go to the
// earlier point, so the choice does not depend on the selection algorithm).
std::vector<krVector<2>> nearestToCircle(const std::vector<krVector<2>>& points,
                                         const krCircle& c, std::size_t k) {
    std::vector<std::pair<double, std::size_t>> d;
    d.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) d.emplace_back(circleDistance(points[i], c), i);
    std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(k - 1), d.end());
    std::vector<std::size_t> keep;
    keep.reserve(k);
    for (std::size_t i = 0; i < k; ++i) keep.push_back(d[i].second);
    std::sort(keep.begin(), keep.end());
    std::vector<krVector<2>> out;
    out.reserve(k);
    for (std::size_t i : keep) out.push_back(points[i]);
    return out;
}

// ---------------------------------------------------------------------------
// Geometric refinement

// The normal equations of a least-squares step over N parameters: J^T J and
// J^T d for the Jacobian J of the distances d.
template <int N>
struct krNormalEq {
    double a[N][N] = {};
    double g[N] = {};

    void clear() {
        for (auto& row : a)
            for (double& v : row) v = 0.0;
        for (double& v : g) v = 0.0;
    }
    // Adds one distance d with its gradient j.
    void add(double d, const double (&j)[N]) {
        for (int r = 0; r < N; ++r) {
            g[r] += j[r] * d;
            for (int c = 0; c <= r; ++c) a[r][c] += j[r] * j[c];
        }
    }
};

// The damped step: solves (A + lambda D) step = -g by Cholesky, with D the
// diagonal of A. A parameter the points hardly fix (the rotation of a nearly
// round ellipse) has a diagonal near 0; a floor of 1e-12 of the trace keeps
// its step bounded. False when the matrix is not positive definite.
template <int N>
bool dampedStep(const krNormalEq<N>& eq, double lambda, double (&step)[N]) {
    double trace = 0.0;
    for (int i = 0; i < N; ++i) trace += eq.a[i][i];
    double l[N][N] = {};
    for (int r = 0; r < N; ++r) {
        for (int c = 0; c <= r; ++c) {
            double v = eq.a[r][c];
            if (r == c) v += lambda * std::max(eq.a[r][r], 1e-12 * trace);
            for (int k = 0; k < c; ++k) v -= l[r][k] * l[c][k];
            if (r == c) {
                if (!(v > 0.0)) return false;
                l[r][r] = std::sqrt(v);
            } else {
                l[r][c] = v / l[c][c];
            }
        }
    }
    double y[N];
    for (int r = 0; r < N; ++r) {
        double v = -eq.g[r];
        for (int k = 0; k < r; ++k) v -= l[r][k] * y[k];
        y[r] = v / l[r][r];
    }
    for (int r = N - 1; r >= 0; --r) {
        double v = y[r];
        for (int k = r + 1; k < N; ++k) v -= l[k][r] * step[k];
        step[r] = v / l[r][r];
    }
    return true;
}

// Levenberg-Marquardt from x, on parameters of the order of 1 (the callers
// work in the points' normalized frame). eval(x, eq) returns the sum of
// squared distances at x and fills eq, or a value that is not finite where x
// describes no shape. Only steps that lower the sum are taken, so the answer
// is never worse than the start, and x is left exactly as it was when no step
// lowers it. The refinement stops before a step that
// promises to lower the sum by less than kSumDone of it, or moves no
// parameter by more than kStepDone (1e-10 of the points' spread): the answer
// is then settled far below any noise the points carry, and such steps are
// lost in the rounding of the sum. It also stops when the damping passes
// kMaxDamping (no step lowers the sum) and after kMaxEvaluations
// evaluations of the distances, which bounds its cost on points that fit the
// model badly. Returns the final sum of squares.
constexpr double kSumDone = 1e-12;
constexpr double kStepDone = 1e-10;
constexpr double kMaxDamping = 1e8;
constexpr int kMaxEvaluations = 60;

template <int N, class Eval>
double levenbergMarquardt(double (&x)[N], Eval eval) {
    krNormalEq<N> eq, trialEq;
    double sum = eval(x, eq);
    double lambda = 1e-6, growth = 2.0;
    for (int k = 1; k < kMaxEvaluations && sum > 0.0 && std::isfinite(sum); ++k) {
        double step[N], trial[N];
        bool taken = false;
        double size = 0.0;
        if (dampedStep(eq, lambda, step)) {
            // The decrease the linear model promises, -(2 g.step + step.A.step).
            double promised = 0.0;
            for (int i = 0; i < N; ++i) {
                trial[i] = x[i] + step[i];
                size = std::max(size, std::fabs(step[i]));
                double as = 0.0;
                for (int j = 0; j < N; ++j) as += (i >= j ? eq.a[i][j] : eq.a[j][i]) * step[j];
                promised -= step[i] * (2.0 * eq.g[i] + as);
            }
            if (promised <= kSumDone * sum || size <= kStepDone) break;
            const double trialSum = eval(trial, trialEq);
            if (trialSum < sum) {
                // Damping follows how well the model predicted the decrease:
                // down to a third when it was exact, up when it was poor, so
                // a long curved valley is followed without the zigzag of
                // fixed factors.
                const double rho = promised > 0.0 ? (sum - trialSum) / promised : 0.0;
                const double t = 2.0 * rho - 1.0;
                lambda *= std::max(1.0 / 3.0, 1.0 - t * t * t);
                lambda = std::max(lambda, 1e-15);
                growth = 2.0;
                std::copy(trial, trial + N, x);
                eq = trialEq;
                sum = trialSum;
                taken = true;
            }
        }
        if (!taken) {
            lambda *= growth;
            growth *= 2.0;
            if (lambda > kMaxDamping) break;
        }
    }
    return sum;
}

// The points moved to their mean and scaled to unit spread, the frame both
// refinements work in.
struct krNormalized {
    krVector<2> mean;
    double scale;
    std::vector<krVector<2>> points;

    explicit krNormalized(const std::vector<krVector<2>>& pts) : mean(checkedMean(pts)) {
        double sum = 0.0;
        for (const krVector<2>& p : pts) {
            const krVector<2> d = p - mean;
            sum += d * d;
        }
        scale = checkedSpread(sum, pts.size(), mean);
        const double k = 1.0 / scale;
        points.reserve(pts.size());
        for (const krVector<2>& p : pts) points.push_back((p - mean) * k);
    }
};

// Sum of squared distances | |p - c| - r | for x = (cx, cy, r), with their
// gradients. A point at the centre has no direction; it moves only with r.
double circleSquares(const std::vector<krVector<2>>& points, const double (&x)[3], krNormalEq<3>& eq) {
    if (!(x[2] > 0.0)) return std::numeric_limits<double>::infinity();
    eq.clear();
    double sum = 0.0;
    for (const krVector<2>& p : points) {
        const double dx = p.x() - x[0], dy = p.y() - x[1];
        const double rho = std::sqrt(dx * dx + dy * dy);
        const double d = rho - x[2];
        const double k = rho > 0.0 ? 1.0 / rho : 0.0;
        eq.add(d, {-dx * k, -dy * k, -1.0});
        sum += d * d;
    }
    return sum;
}

krCircle geometricCircle(const std::vector<krVector<2>>& points, const krCircle& start) {
    const krNormalized frame(points);
    const double k = 1.0 / frame.scale;
    const krVector<2> c = (start.center() - frame.mean) * k;
    double x[3] = {c.x(), c.y(), start.radius() * k};
    const double before[3] = {x[0], x[1], x[2]};
    const auto eval = [&](const double (&v)[3], krNormalEq<3>& eq) { return circleSquares(frame.points, v, eq); };
    const double sum = levenbergMarquardt(x, eval);
    // Unmoved, the start comes back as it was, not through the frame's rounding.
    if (!std::isfinite(sum) || std::equal(x, x + 3, before)) return start;
    const krCircle refined(frame.mean + krVector<2>(x[0], x[1]) * frame.scale, x[2] * frame.scale);
    if (!(std::isfinite(refined.center().x()) && std::isfinite(refined.center().y()) &&
          std::isfinite(refined.radius())))
        return start;
    return refined;
}

// The point of the ellipse (u/a)^2 + (w/b)^2 = 1, a >= b > 0, nearest to
// (u, w) with u, w >= 0. Off the axes the foot is (a^2 u / (s + a^2),
// b^2 w / (s + b^2)) for the one root s of
//   G(s) = (a u / (s + a^2))^2 + (b w / (s + b^2))^2 - 1
// above -b^2. Below, s is measured from that pole in units of b^2,
// t = s / b^2 + 1, so that t keeps its relative precision where the root
// lies close to the pole (points near the major axis inside the ellipse).
// G falls and is convex in t > 0, and the root lies in
// [w / b, |(a u / b^2, w / b)|]. Newton's method starts from root, the
// caller's guess (1 for a point on the ellipse; the refinement passes the
// root found for the same point on the ellipse of its previous step, one or
// two Newton steps from the new one), and returns the root there; bisection
// takes over when a step leaves the bracket or does not halve it.
struct krFoot {
    double u, w;
};

krFoot footInQuadrant(double a, double b, double u, double w, double& root) {
    if (w == 0.0) {
        // On the major axis: inside the centre of curvature of the vertex
        // (a u < a^2 - b^2) the nearest points leave the axis.
        const double reach = a * a - b * b;
        if (a * u < reach) {
            const double t = a * u / reach;
            return {a * t, b * std::sqrt(std::max(0.0, 1.0 - t * t))};
        }
        return {a, 0.0};
    }
    if (u == 0.0) return {0.0, b};
    const double ib = 1.0 / b;
    // r1 = a^2 / b^2 - 1, the gap between the two poles, without cancellation.
    const double r1 = (a - b) * (a + b) * ib * ib;
    const double n0 = a * u * ib * ib, z1 = w * ib;
    double lo = z1, hi = std::sqrt(n0 * n0 + z1 * z1);
    const auto value = [&](double t, double& slope) {
        // One division for both reciprocals: they are most of the cost.
        const double inv = 1.0 / ((t + r1) * t);
        const double i0 = t * inv, i1 = (t + r1) * inv;
        const double p = n0 * i0, q = z1 * i1;
        slope = -2.0 * (p * p * i0 + q * q * i1);
        return p * p + q * q - 1.0;
    };
    double t = std::clamp(root, lo, hi);
    double before = hi - lo, last = before;
    double slope;
    double g = value(t, slope);
    for (int i = 0; i < 100 && g != 0.0; ++i) {
        (g > 0.0 ? lo : hi) = t;
        double next = t - g / slope;
        const bool newton = next > lo && next < hi && std::fabs(next - t) <= 0.5 * before;
        if (!newton) next = 0.5 * (lo + hi);
        if (!(next > lo && next < hi)) break;  // the bracket holds no other double
        before = last;
        last = std::fabs(next - t);
        t = next;
        // Newton's error after a step is of the order of the step squared
        // over t, so a step of 1e-9 of t leaves the root to rounding.
        if (last <= (newton ? 1e-9 : 1e-16) * t) break;
        g = value(t, slope);
    }
    root = t;
    return {(r1 + 1.0) * u / (t + r1), w / t};
}

// The nearest point to (u, w) on the ellipse with semi-axes a along u and b
// along w, in any quadrant and either order of the axes; root as above.
krFoot footOnEllipse(double a, double b, double u, double w, double& root) {
    krFoot f;
    if (a >= b) {
        f = footInQuadrant(a, b, std::fabs(u), std::fabs(w), root);
    } else {
        const krFoot t = footInQuadrant(b, a, std::fabs(w), std::fabs(u), root);
        f = {t.w, t.u};
    }
    return {std::copysign(f.u, u), std::copysign(f.w, w)};
}

// Sum of squared orthogonal distances to the ellipse x = (cx, cy, a, b, phi),
// with their gradients. The distance is signed (positive outside) along the
// unit normal n at the foot; since the foot is the nearest point, moving it
// along the ellipse changes the distance only to second order, so the
// gradient is -n times the motion of the foot's point on the ellipse under
// each parameter: the centre moves it with itself, a and b stretch its
// coordinates, phi turns it about the centre.
double ellipseSquares(const std::vector<krVector<2>>& points, const double (&x)[5], krNormalEq<5>& eq,
                      std::vector<double>& roots) {
    const double a = x[2], b = x[3];
    if (!(a > 0.0 && b > 0.0 && std::isfinite(x[4]))) return std::numeric_limits<double>::infinity();
    const double cs = std::cos(x[4]), sn = std::sin(x[4]);
    const double ka = 1.0 / (a * a), kb = 1.0 / (b * b), ia = 1.0 / a, ib = 1.0 / b;
    eq.clear();
    double sum = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double dx = points[i].x() - x[0], dy = points[i].y() - x[1];
        const double u = cs * dx + sn * dy, w = -sn * dx + cs * dy;
        const krFoot f = footOnEllipse(a, b, u, w, roots[i]);
        double nu = f.u * ka, nw = f.w * kb;
        const double k = 1.0 / std::sqrt(nu * nu + nw * nw);
        nu *= k;
        nw *= k;
        const double d = nu * (u - f.u) + nw * (w - f.w);
        eq.add(d, {-(cs * nu - sn * nw), -(sn * nu + cs * nw), -nu * f.u * ia, -nw * f.w * ib,
                   nu * f.w - nw * f.u});
        sum += d * d;
    }
    return sum;
}

// Refines shape geometrically in place and returns the root mean square of
// the points' orthogonal distances to it. Where the refinement does not lower
// the sum of squares, shape stays as it was; where the distances cannot be
// had at all, it stays as it was and the answer is NaN.
double refineEllipse(const std::vector<krVector<2>>& points, krEllipseShape& shape) {
    const krNormalized frame(points);
    const double k = 1.0 / frame.scale;
    const krVector<2> c = (shape.center - frame.mean) * k;
    double x[5] = {c.x(), c.y(), shape.major * k, shape.minor * k, shape.angle};
    const double before[5] = {x[0], x[1], x[2], x[3], x[4]};
    std::vector<double> roots(points.size(), 1.0);
    const auto eval = [&](const double (&v)[5], krNormalEq<5>& eq) {
        return ellipseSquares(frame.points, v, eq, roots);
    };
    const double sum = levenbergMarquardt(x, eval);
    if (!std::isfinite(sum)) return std::numeric_limits<double>::quiet_NaN();
    const double residual = std::sqrt(sum / static_cast<double>(points.size())) * frame.scale;
    if (std::equal(x, x + 5, before)) return residual;
    const bool swap = x[3] > x[2];
    shape.center = frame.mean + krVector<2>(x[0], x[1]) * frame.scale;
    shape.major = (swap ? x[3] : x[2]) * frame.scale;
    shape.minor = (swap ? x[2] : x[3]) * frame.scale;
    shape.angle = swap ? x[4] + 0.5 * kPi : x[4];
    return residual;
}

void checkParams(const krCircleFitParams& params) {
    if (params.mode() != krCircleFitDefs::eTaubin && params.mode() != krCircleFitDefs::eGeometric)
        throw krFitError(L"unknown circle fit mode");
    if (!(params.keep() > 0.0 && params.keep() <= 1.0))
        throw krFitError(L"the circle fit's kept fraction is not in (0, 1]");
    if (std::isnan(params.limit())) throw krFitError(L"the circle fit limit is not a number");
}

}  // namespace

void kfEllipseFit(const krEllipseFitParams& params, const std::vector<krVector<2>>& points,
                  krEllipseFitResults& results) {
    checkParams(params);
    std::vector<krVector<2>> store;
    const std::vector<krVector<2>>& pts = sampled(points, params.count(), store);
    if (pts.size() < 5) throw krFitError(L"an ellipse fit needs at least 5 points");

    const krWhitened whitened = whitenedMoments(pts);
    const krConic conic = directFit(whitened);
    krEllipseShape shape = ellipseShape(conic, whitened.frame);
    double residual = params.mode() == krEllipseFitDefs::eGeometric
                          ? refineEllipse(pts, shape)
                          : std::numeric_limits<double>::quiet_NaN();
    if (std::isnan(residual)) residual = ellipseResidual(pts, conic, whitened.frame, shape.minor);
    checkLimit(residual, params.limit());
    const krRadian rotation(intoHalfTurn(shape.angle, params.angle().toDouble()));
    results = krEllipseFitResults(
        krEllipse(krEllipse::krEllipseGeom(shape.center, shape.major, shape.minor, rotation)),
        residual);
}

void kfCircleFit(const krCircleFitParams& params, const std::vector<krVector<2>>& points,
                 krCircleFitResults& results) {
    checkParams(params);
    std::vector<krVector<2>> store;
    const std::vector<krVector<2>>& pts = sampled(points, params.count(), store);
    if (pts.size() < 3) throw krFitError(L"a circle fit needs at least 3 points");

    const auto fit = [&params](const std::vector<krVector<2>>& p) {
        const krCircle algebraic = taubinFit(p);
        return params.mode() == krCircleFitDefs::eGeometric ? geometricCircle(p, algebraic) : algebraic;
    };
    krCircle circle = fit(pts);
    double residual;
    const auto kept = static_cast<std::size_t>(
        std::max(3.0, std::ceil(params.keep() * static_cast<double>(pts.size()))));
    if (kept < pts.size()) {
        const std::vector<krVector<2>> nearest = nearestToCircle(pts, circle, kept);
        circle = fit(nearest);
        residual = circleResidual(nearest, circle);
    } else {
        residual = circleResidual(pts, circle);
    }
    checkLimit(residual, params.limit());
    results = krCircleFitResults(circle, residual);
}
