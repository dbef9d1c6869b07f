// The contour's measures against GEOS on thousands of random outlines, and the
// places where our rules differ from GEOS's on purpose, each shown by name.
#include <geos_c.h>
#include <gtest/gtest.h>

#include <memory>

#include "cntr/moments.h"
#include "cntr/region.h"
#include "contour_probe.h"

namespace {
using Pts = krContour::Points;
using V = krVector<2>;

GEOSContextHandle_t ctx() {
    static GEOSContextHandle_t c = GEOS_init_r();
    return c;
}
struct Free {
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(ctx(), g); }
};
using Geom = std::unique_ptr<GEOSGeometry, Free>;

// The points as a GEOS sequence; closed repeats the first point at the end.
GEOSCoordSequence* sequence(const Pts& p, bool closed) {
    std::vector<double> xy;
    for (const V& v : p) xy.insert(xy.end(), {v.x(), v.y()});
    if (closed) xy.insert(xy.end(), {p[0].x(), p[0].y()});
    return GEOSCoordSeq_copyFromBuffer_r(ctx(), xy.data(), static_cast<unsigned>(xy.size() / 2), 0, 0);
}
Geom lineString(const Pts& p, bool closed) {
    return Geom(GEOSGeom_createLineString_r(ctx(), sequence(p, closed)));
}

// Within 1e-12 relative, or within the rounding of coordinates of size scale.
void expectNear(double ours, double geos, double scale, const char* what) {
    const double tol = std::max(1e-12 * std::max(std::fabs(ours), std::fabs(geos)), 1e-14 * scale);
    EXPECT_LE(std::fabs(ours - geos), tol) << what;
}

const Pts kSquare{{0, 0}, {2, 0}, {2, 2}, {0, 2}};
}  // namespace

// Star-shaped outlines of 3 to 60 vertices at random places and scales, open
// and closed: lengths, boundary distances, areas and boxes as GEOS has them.
TEST(PeersAgreement, MeasuresMatchGeos) {
    krRandomUniform rnd(15);
    for (int trial = 0; trial < 3000 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        const int n = 3 + kfIFloor(rnd.next(0, 58));
        // Offsets up to ten sizes: the area's sums are taken about the origin.
        const double scale = std::pow(10.0, rnd.next(-2, 3));
        const V at = V(rnd.next(-10, 10), rnd.next(-10, 10)) * scale;
        Pts p;
        for (int i = 0; i < n; ++i)
            p.push_back(at + V(scale * rnd.next(0.3, 1), krRadian(2 * kPi * (i + rnd.next(0, 0.9)) / n)));
        const bool closed = trial % 4 != 0;
        const krContour c(p, closed);
        const Geom line = lineString(p, closed);
        double geos;
        GEOSLength_r(ctx(), line.get(), &geos);
        expectNear(c.length(), geos, scale, "length");
        const V q = at + V(rnd.next(-1.5, 1.5) * scale, rnd.next(-1.5, 1.5) * scale);
        const Geom point(GEOSGeom_createPointFromXY_r(ctx(), q.x(), q.y()));
        GEOSDistance_r(ctx(), line.get(), point.get(), &geos);
        expectNear(c.distToPoint(q, false), geos, scale, "distance");
        const Geom polygon(
            GEOSGeom_createPolygon_r(ctx(), GEOSGeom_createLinearRing_r(ctx(), sequence(p, true)), nullptr, 0));
        GEOSArea_r(ctx(), polygon.get(), &geos);
        expectNear(kf_Area(p), geos, scale * scale, "area");  // counter-clockwise, so positive
        const krRect box = c.encloseRect(krXform<2>::I);
        double x0, y0, x1, y1;
        GEOSGeom_getExtent_r(ctx(), line.get(), &x0, &y0, &x1, &y1);
        EXPECT_EQ(box.origin(), V(x0, y0));
        EXPECT_EQ(box.corner(), V(x1, y1));
    }
}

// Where a query passes through a vertex, each of the two segments meeting there
// reports the hit; GEOS reports the point once.
TEST(PeersAgreement, HitsAtAVertexComeOncePerSegment) {
    const Pts diagonal{{-1, -1}, {3, 3}};
    const Geom hits(GEOSIntersection_r(ctx(), lineString(kSquare, true).get(), lineString(diagonal, false).get()));
    EXPECT_EQ(GEOSGetNumGeometries_r(ctx(), hits.get()), 2);
    EXPECT_EQ(krContour(kSquare).intersections(krLineSeg(diagonal[0], diagonal[1]), true),
              (Pts{{0, 0}, {0, 0}, {2, 2}, {2, 2}}));
}

// A query along a side overlaps it in a line for GEOS; parallel segments never
// cross for us, so only the sides meeting the query's ends report.
TEST(PeersAgreement, ParallelSegmentsNeverCross) {
    const Pts along{{0.5, 0}, {3, 0}};
    const Geom common(GEOSIntersection_r(ctx(), lineString(kSquare, true).get(), lineString(along, false).get()));
    double length;
    GEOSLength_r(ctx(), common.get(), &length);
    EXPECT_DOUBLE_EQ(length, 1.5);
    EXPECT_EQ(krContour(kSquare).intersections(krLineSeg(along[0], along[1]), true), (Pts{{2, 0}}));
}

// Two triangles meeting at one vertex that the outline passes twice: GEOS
// calls the ring not simple; a shared vertex is no self-intersection for us.
// A vertex lying on another segment is one for both.
TEST(PeersAgreement, SharedVerticesAreNoSelfIntersection) {
    const Pts bow{{0, 0}, {2, 0}, {1, 1}, {2, 2}, {0, 2}, {1, 1}};
    EXPECT_FALSE(GEOSisSimple_r(ctx(), lineString(bow, true).get()));
    EXPECT_FALSE(krContour(bow).isSelfIntersecting());
    const Pts onSide{{0, 0}, {4, 0}, {4, 4}, {2, 0}, {0, 4}};
    EXPECT_FALSE(GEOSisSimple_r(ctx(), lineString(onSide, true).get()));
    EXPECT_TRUE(krContour(onSide).isSelfIntersecting());
}

// The outer hull of a tangle is the outline of everything it encloses: GEOS
// nodes the boundary, fills its faces and unites them; the shells of that union
// hold the same area. Random polygons, random walks and figure-eights; those
// without an uncrossed outside edge to start from are refused.
TEST(PeersAgreement, OuterHullsEncloseWhatGeosFills) {
    krRandomUniform rnd(23);
    int traced = 0;
    for (int trial = 0; trial < 1500 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        Pts p;
        const int n = 4 + kfIFloor(rnd.next(0, 30));
        V at(0, 0);
        for (int i = 0; i < n; ++i) {
            if (trial % 3 == 0) p.push_back(V(rnd.next(0, 10), rnd.next(0, 10)));
            if (trial % 3 == 1) p.push_back(at = at + V(1.0, krRadian(rnd.next(0, 2 * kPi))));
            if (trial % 3 == 2)  // two lobes turning opposite ways
                p.push_back(V(i < n / 2 ? -3 : 3, 0) +
                            V(rnd.next(1, 2.5), krRadian((i < n / 2 ? 0.3 : kPi - 0.3) +
                                                         (i < n / 2 ? 1 : -1) * (2 * kPi - 0.6) * (i % (n / 2)) / (n / 2))));
        }
        krRegion hull;
        try {
            krRegion(p).outerHull(hull);
        } catch (const krContourDefs::BadParams&) {
            continue;
        }
        ++traced;
        EXPECT_FALSE(hull.isSelfIntersecting());
        const Geom line = lineString(p, true);
        const Geom noded(GEOSNode_r(ctx(), line.get()));
        const GEOSGeometry* parts[] = {noded.get()};
        const Geom faces(GEOSPolygonize_r(ctx(), parts, 1));
        const Geom filled(GEOSUnaryUnion_r(ctx(), faces.get()));
        double shells = 0;
        for (int k = 0; k < GEOSGetNumGeometries_r(ctx(), filled.get()); ++k) {
            const GEOSGeometry* ring = GEOSGetExteriorRing_r(ctx(), GEOSGetGeometryN_r(ctx(), filled.get(), k));
            const Geom shell(GEOSGeom_createPolygon_r(ctx(), GEOSGeom_clone_r(ctx(), ring), nullptr, 0));
            double a;
            GEOSArea_r(ctx(), shell.get(), &a);
            shells += a;
        }
        expectNear(hull.area(false), shells, 10, "outer hull area");
    }
    EXPECT_GT(traced, 1000);
}
