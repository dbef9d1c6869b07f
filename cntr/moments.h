// Area, centre of mass and second moments of polygons given as point or
// edgelet lists, the record that carries them, and the ellipses that stand for
// a shape: the disc with the same moments, or the curve fitted to its boundary.
#ifndef QEL_CNTR_MOMENTS_H
#define QEL_CNTR_MOMENTS_H

#include <vector>

#include "platform/ip/edgelet.h"
#include "platform/std/ellipse.h"
#include "platform/std/matrix.h"
#include "platform/std/vector.h"

// The moments of a plane region: its signed area (positive when the outline
// turns counter-clockwise), its centre of mass, and its second moments about
// that centre, (0,0) = integral of (x - cx)^2, (0,1) = (1,0) = integral of
// (x - cx)(y - cy), (1,1) = integral of (y - cy)^2. The moments are kept
// positive whatever the orientation; the sign of the area says whether the
// region adds to a sum or is taken from it (a hole). The zero record has area
// 0, centre (0,0) and the zero matrix.
class kr_InertiaData {
public:
    explicit kr_InertiaData(double area = 0.0, const krVector<2>& centerOfMass = krVector<2>(),
                            const krMatrix<2>& inertiaMatrix = krMatrix<2>(0.0, 0.0, 0.0, 0.0))
        : area_(area), centerOfMass_(centerOfMass), inertiaMatrix_(inertiaMatrix) {}

    double area() const { return area_; }
    const krVector<2>& centerOfMass() const { return centerOfMass_; }
    const krMatrix<2>& inertiaMatrix() const { return inertiaMatrix_; }

    // The moments of the union of the two regions, or of their difference when
    // one of them has negative area and the other positive (the parallel-axis
    // rule: each part's moments about its own centre plus its area times the
    // squared shift to the common centre, a hole's part subtracted). A record
    // of area 0 adds nothing, whatever its centre and matrix.
    kr_InertiaData operator+(const kr_InertiaData& other) const;

    bool operator==(const kr_InertiaData& o) const {
        return area_ == o.area_ && centerOfMass_ == o.centerOfMass_ &&
               inertiaMatrix_ == o.inertiaMatrix_;
    }
    bool operator!=(const kr_InertiaData& o) const { return !(*this == o); }

private:
    double area_;
    krVector<2> centerOfMass_{};
    krMatrix<2> inertiaMatrix_;
};

// A point list is always read as a closed polygon: the edge from the last point
// back to the first is included.

// The moments of the closed polygon through the points; the zero record for
// fewer than three points. A clockwise outline gets the negative area and the
// same centre and matrix as the outline listed counter-clockwise. The sums are
// taken about one of the polygon's own vertices, so a shape far from the
// origin keeps the precision it has near it. Never throws.
kr_InertiaData kf_InertiaDataPolygon(const std::vector<krVector<2>>& points);

// Unsigned area of the polygon; 0 for one or two points, and 0 for an empty
// list as well, the area of nothing.
double kf_Area(const std::vector<krVector<2>>& points);
// Unsigned area of the polygon through the edgelets' positions; 0 for fewer
// than three.
double kf_Area(const std::vector<krEdgelet>& edgelets);

namespace knContour {
// Centroid of the polygon; (0,0) for fewer than three points or when twice the
// area is 1e-6 or less. Summed about a vertex of the polygon, like the
// moments. Never throws.
krVector<2> centerOfMass(const std::vector<krVector<2>>& points);
}  // namespace knContour

// The same as knContour::centerOfMass.
krVector<2> kf_CenterOfMass(const std::vector<krVector<2>>& points);
// Centroid of the polygon through the edgelets' positions.
krVector<2> kf_CenterOfMass(const std::vector<krEdgelet>& edgelets);

// Population standard deviation (dividing by n, not n - 1); 0 for an empty
// list, which has no spread.
double kf_StdDev(const std::vector<double>& values);

// The uniform elliptical disc with the record's centre and second moments: a
// is the larger semi-axis and lies along the rotation. The area is not used,
// so the disc's area need not be the record's. Throws krMathError::Singular
// when a principal moment is 1e-12 or less (the zero record, a segment, a
// point); NaN moments give a NaN ellipse instead.
krEllipse kf_EllipseFromInertiaData(const kr_InertiaData& data);

// Fits an ellipse to the boundary points (the support library's direct fit).
// When that fit fails, the circle fit stands in (an ellipse with equal axes);
// when both fail, ellipse is the default (empty) ellipse and residual is -1.0.
// Fitting failures never escape; other errors pass through. Both outputs are
// written whenever the function returns.
void kf_FitEllipse(const std::vector<krVector<2>>& points, krEllipse& ellipse, double& residual);
// The same for the edgelets' positions.
void kf_FitEllipse(const std::vector<krEdgelet>& edgelets, krEllipse& ellipse, double& residual);

#endif
