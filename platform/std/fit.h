// Least-squares fits of ellipses and circles to plane points.
#ifndef QEL_PLATFORM_STD_FIT_H
#define QEL_PLATFORM_STD_FIT_H

#include <limits>
#include <string>
#include <vector>

#include "platform/std/angle.h"
#include "platform/std/ellipse.h"
#include "platform/std/exception.h"
#include "platform/std/geometry.h"
#include "platform/std/vector.h"

// A fit could not be made. The message says why: too few points for the
// model, coincident or collinear points, a point that is not finite, a result
// that is not of the model's kind, a residual above the caller's limit, or a
// parameter out of its range.
class krFitError : public krExceptionWithString {
public:
    explicit krFitError(const std::wstring& message = std::wstring())
        : krExceptionWithString(message) {}
    long errorNumber() const override { return 0x10000401; }
    void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
};

// ---------------------------------------------------------------------------
// Ellipse fit

class krEllipseFitDefs {
public:
    // A fixed underlying type, so a value from outside (a file, a binding) that
    // names no mode is a value the fit can see and refuse.
    enum fit_mode : int {
        // Direct least squares: the conic a x^2 + b xy + c y^2 + d x + e y + f
        // that minimizes the sum of squared algebraic distances subject to
        // 4ac - b^2 = 1, so the answer is an ellipse whatever the points.
        // Solved in the numerically stable reduced form (a 3x3 eigenproblem)
        // on coordinates centred, turned onto the points' principal axes and
        // scaled to unit spread along each, so far-off, tiny or long thin
        // point sets lose no accuracy.
        eDirect = 0,
        // Geometric least squares: the ellipse minimizing the sum of squared
        // orthogonal distances of the points to it, refined from the direct
        // fit by Levenberg-Marquardt on centre, semi-axes and rotation, each
        // step with every point's exact foot on the current ellipse. Free of
        // the direct fit's pull towards small, round ellipses on short or
        // noisy arcs, at some 30 times its cost (a few evaluations of every
        // point's distance). When the refinement cannot improve on the direct
        // fit, the direct fit is the answer.
        eGeometric = 1
    };
};

// What kfEllipseFit does:
//   mode   eDirect or eGeometric; any other value is refused.
//   angle  an ellipse's direction is defined modulo pi, so the fitted rotation
//          is reported in the half turn [angle, angle + pi). Must be finite.
//   count  0 fits every point; otherwise at most count points, taken evenly
//          through the list (point floor(i * n / count) for i = 0 .. count-1).
//   limit  the largest residual accepted: a fit whose residual is above it is
//          refused. +infinity accepts every fit. Must not be NaN.
class krEllipseFitParams {
public:
    explicit krEllipseFitParams(krEllipseFitDefs::fit_mode mode = krEllipseFitDefs::eDirect,
                                const krRadian& angle = krRadian(0.0), unsigned long count = 0,
                                double limit = std::numeric_limits<double>::infinity())
        : mode_(mode), angle_(angle), count_(count), limit_(limit) {}

    krEllipseFitDefs::fit_mode mode() const { return mode_; }
    const krRadian& angle() const { return angle_; }
    unsigned long count() const { return count_; }
    double limit() const { return limit_; }

private:
    krEllipseFitDefs::fit_mode mode_;
    krRadian angle_;
    unsigned long count_;
    double limit_;
};

// The fitted ellipse, with a() >= b() and the rotation the direction of a(),
// and the residual, the root mean square over the points used of each
// point's distance to the ellipse, in the points' units so that it is
// comparable with their noise:
//   eGeometric  the true orthogonal distance to the fitted ellipse, the
//               quantity the fit minimizes.
//   eDirect     the first-order estimate |F(p)| / |grad F(p)| for the fitted
//               conic F, exact on the ellipse and close to it. A point at the
//               very centre, where the gradient vanishes, counts with its true
//               distance, the minor semi-axis.
class krEllipseFitResults {
public:
    krEllipseFitResults() = default;
    krEllipseFitResults(const krEllipse& ellipse, double residual)
        : ellipse_(ellipse), residual_(residual) {}

    const krEllipse& ellipse() const { return ellipse_; }
    double residual() const { return residual_; }

private:
    krEllipse ellipse_;
    double residual_ = 0.0;
};

// Fits an ellipse to the points. Throws krFitError for fewer than 5 points (after
// count), non-finite points, coincident or collinear points, points that do not
// fix an ellipse (on two parallel lines or a parabola, or on an arc shorter
// than about a degree of a circle), a residual above the limit, or bad
// parameters; results is then left as it was.
void kfEllipseFit(const krEllipseFitParams& params, const std::vector<krVector<2>>& points,
                  krEllipseFitResults& results);

// ---------------------------------------------------------------------------
// Circle fit

class krCircleFitDefs {
public:
    // A fixed underlying type, so a value from outside (a file, a binding) that
    // names no mode is a value the fit can see and refuse.
    enum fit_mode : int {
        // Algebraic fit normalized by the mean squared gradient (the circle
        // A (x^2 + y^2) + B x + C y + D = 0 minimizing the algebraic distances
        // under 4 A^2 mean(x^2 + y^2) + B^2 + C^2 = 1, for centred data). Nearly
        // free of the small-radius bias of the plain algebraic fit, and exact
        // for points on a circle.
        eTaubin = 0,
        // Geometric least squares: the circle minimizing the sum of squared
        // distances | |p - center| - radius |, refined from the eTaubin fit by
        // Levenberg-Marquardt. The maximum-likelihood circle for points with
        // Gaussian noise; when the refinement cannot improve on the algebraic
        // fit, that fit is the answer.
        eGeometric = 1
    };
};

// What kfCircleFit does:
//   mode   eTaubin or eGeometric; any other value is refused.
//   keep   the fraction of points, in (0, 1], that make the answer. Below 1
//          the points are fitted once, then the ceil(keep * n) points nearest
//          to that circle (at least 3) are fitted again, both times by the
//          mode's method, which sheds a known share of outliers. 1 makes a
//          single fit of every point.
//   count  as for the ellipse: 0 fits every point, otherwise at most count
//          points taken evenly through the list.
//   limit  as for the ellipse: the largest residual accepted; +infinity
//          accepts every fit. Must not be NaN.
class krCircleFitParams {
public:
    explicit krCircleFitParams(krCircleFitDefs::fit_mode mode = krCircleFitDefs::eTaubin,
                               double keep = 1.0, unsigned long count = 0,
                               double limit = std::numeric_limits<double>::infinity())
        : mode_(mode), keep_(keep), count_(count), limit_(limit) {}

    krCircleFitDefs::fit_mode mode() const { return mode_; }
    double keep() const { return keep_; }
    unsigned long count() const { return count_; }
    double limit() const { return limit_; }

private:
    krCircleFitDefs::fit_mode mode_;
    double keep_;
    unsigned long count_;
    double limit_;
};

// The fitted circle and the residual: the root mean square of the points'
// geometric distances | |p - center| - radius | over the points that made the
// answer (the kept points when keep < 1).
class krCircleFitResults {
public:
    krCircleFitResults() = default;
    krCircleFitResults(const krCircle& circle, double residual)
        : circle_(circle), residual_(residual) {}

    const krCircle& circle() const { return circle_; }
    double residual() const { return residual_; }

private:
    krCircle circle_;
    double residual_ = 0.0;
};

// Fits a circle to the points. Throws krFitError for fewer than 3 points (after
// count), non-finite points, coincident or collinear points, a residual above
// the limit, or bad parameters; results is then left as it was.
void kfCircleFit(const krCircleFitParams& params, const std::vector<krVector<2>>& points,
                 krCircleFitResults& results);

#endif
