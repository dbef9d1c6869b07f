// Regions: holes, measures, point queries, and the inside test's ray.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cntr/region.h"
#include "tests/contour_probe.h"
#include "tests/region_access.h"
#include "tests/region_plain.h"

namespace {

using qel::detail::RayDirection;
using qel::detail::rayDirection;
typedef krContour::Points Points;
typedef krPtrHandle_const<krRegion> Hole;

Points square(double x0, double y0, double side) {
    return {{x0, y0}, {x0 + side, y0}, {x0 + side, y0 + side}, {x0, y0 + side}};
}

// A unit square with a centred hole of side 0.5, which has an island of side 0.1.
krRegion framed() {
    krRegion r(square(0, 0, 1));
    r.holes({hole(square(0.25, 0.25, 0.5), {hole(square(0.45, 0.45, 0.1))})});
    return r;
}

// A star of n vertices, radii alternating between 1 and 0.5, about c.
Points star(std::size_t n, const V& c = V(0, 0)) {
    Points p;
    for (std::size_t i = 0; i < n; ++i)
        p.push_back(c + V(i % 2 ? 0.5 : 1.0, krRadian(2 * kPi * double(i) / double(n))));
    return p;
}

}  // namespace

// Opening the region and a bad hole list both throw and change nothing.
TEST(RegionObject, RejectedChangesKeepTheOldState) {
    RegionProbe r(krContour(square(0, 0, 1), false, 7));
    EXPECT_TRUE(r.isClosed() && r.area(false) == 1.0);  // the closing edge counts
    r.isClosed(true);
    EXPECT_TRUE(r.regionCache_.measures[false].area.valid);
    EXPECT_THROW(r.isClosed(false), krContourDefs::RegionCannotBeSetOpen);
    EXPECT_TRUE(r.regionCache_.measures[false].area.valid && r.isClosed());
    EXPECT_THROW(krRegion({{0, 0}, {1, 0}}).area(false), krContourDefs::EmptyContour);

    const Hole inner = hole(square(0.4, 0.4, 0.2)), outside = hole(square(5, 5, 1));
    r.holes({inner, outside});  // a hole outside the region is accepted
    r.area(true);
    EXPECT_THROW(r.holes({inner, hole(square(0.5, 0.5, 1))}), krContourDefs::BadParams);
    EXPECT_FALSE(r.regionCache_.measures[false].area.valid);  // cleared before the test
    EXPECT_THROW(r.holes({inner, Hole()}), krBadPointer);
    EXPECT_TRUE(r.holes().size() == 2u && r.holes()[0] == inner);

    // Copies share the hole objects; equality looks at the outer points only.
    r.area(false);
    const RegionProbe copy(r);
    EXPECT_TRUE(copy.holes()[1] == outside && copy.regionCache_.measures[false].area.valid &&
                copy == krRegion(square(0, 0, 1)));
}

TEST(RegionMeasures, AreaCentreAndInertiaWithHoles) {
    const krRegion f = framed();
    EXPECT_DOUBLE_EQ(f.area(true), 0.75);  // the island does not count
    EXPECT_TRUE(kfRealEq(f.centerOfMass(true), V(0.5, 0.5), 1e-12));
    EXPECT_THROW(f.inertiaMatrix(true), krContourDefs::BadParams);

    // Orientation does not matter; a hole outside still counts.
    krRegion r({{0, 0}, {0, 2}, {2, 2}, {2, 0}});
    r.holes({hole(square(0.5, 0.5, 1)), hole(square(10, 10, 1))});
    EXPECT_DOUBLE_EQ(r.area(true), 2.0);
    EXPECT_TRUE(kfRealEq(r.centerOfMass(true), V(-3.75, -3.75), 1e-12));  // (4 - 1 - 10.5) / 2

    // Holes that cancel the area, exactly or up to rounding (a 0.3 square less
    // a 0.1 by 0.9 hole leaves about 1e-16), leave no centre; new points drop
    // every measure.
    krRegion thin({{0, 0}, {0.3, 0}, {0.3, 0.3}, {0, 0.3}});
    thin.holes({hole({{5, 5}, {5.1, 5}, {5.1, 5.9}, {5, 5.9}})});
    EXPECT_NE(thin.area(true), 0.0);
    EXPECT_THROW(thin.centerOfMass(true), krContourDefs::BadParams);
    RegionProbe p{krContour(square(0, 0, 1))};
    p.holes({hole(square(3, 3, 1))});
    EXPECT_THROW(p.centerOfMass(true), krContourDefs::BadParams);
    EXPECT_TRUE(kfRealEq(p.centerOfMass(false), V(0.5, 0.5), 1e-15));
    p.area(false), p.inertiaMatrix(false);
    p.points(square(0, 0, 3));
    EXPECT_FALSE(p.regionCache_.measures[false].area.valid || p.regionCache_.measures[false].com.valid ||
                 p.regionCache_.measures[false].inertia.valid);
    EXPECT_DOUBLE_EQ(p.area(false), 9.0);
    p.holes_.push_back(Hole());
    EXPECT_THROW(p.area(true), krBadPointer);
    EXPECT_THROW(p.inside(V(1, 1), true), krBadPointer);
}

TEST(RegionQueries, TiesGoToTheOuterBoundaryThenTheEarlierHole) {
    // The distance is zero inside only when asked; in a hole it is the hole's.
    const krRegion f = framed();
    EXPECT_EQ(f.distToPoint({0.1, 0.5}, false, true, true), 0.0);
    EXPECT_DOUBLE_EQ(f.distToPoint({0.1, 0.5}, false, true, false), 0.1);
    EXPECT_DOUBLE_EQ(f.distToPoint({0.3, 0.5}, false, true, true), 0.05);

    krRegion r(square(0, 0, 4));
    r.holes({hole(square(2, 1, 1)), hole(square(2, 1, 1)), hole(square(1, 2.5, 0.5))});
    long which = 7;
    const struct { V p; bool holes; long which; V point; } cases[] = {
        {{1.0, 0.5}, true, -1, {1.0, 0.0}},   // vertices (0,0) and (2,1) tie: outer wins
        {{2.5, 0.5}, true, 0, {2.5, 0.0}},    // edges tie: outer wins; hole 0's vertex wins
        {{2.4, 1.6}, true, 0, {2.0, 1.6}},    // inside the first hole; its twin loses the tie
        {{1.2, 2.7}, false, -1, {1.0, 2.7}},  // nearest boundary is hole 2, vertices are not asked
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p.x() << ", " << c.p.y());
        EXPECT_EQ(r.closestPoint(c.p, false, false), c.point);
        const long k = r.closestVertexIndex(c.p, c.holes, which);
        EXPECT_EQ(which, c.which);
        EXPECT_EQ(k, c.which < 0 ? r.closestVertexIndex(c.p) : r.holes()[c.which]->closestVertexIndex(c.p));
    }
    EXPECT_EQ(r.closestPoint({2.1, 1.6}, true, true), V(2, 2));      // hole vertex
    EXPECT_EQ(r.closestPoint({2.1, 1.6}, true, false), V(4, 0));
    const krLineSeg seg(V(-1, 1.5), V(5, 1.5));
    EXPECT_EQ(r.intersections(seg, false, false).size(), 2u);
    EXPECT_EQ(r.intersections(seg, false, true).size(), 6u);  // + 2 per crossed hole
    EXPECT_EQ(r.intersections(krContour(square(1.5, 0.5, 1)), true).size(), 4u);  // 2 per twin
}

TEST(RegionInside, FastRayMatchesTheSortedAngles) {
    krRandomUniform rnd(91);
    auto check = [&](const Points& pts, const V& p) {
        const RayDirection fast = rayDirection(pts, p), plain = plainRay(pts, p);
        ASSERT_TRUE(fast.onVertex == plain.onVertex && fast.direction == plain.direction) << p;
    };
    const double scales[] = {1.0, 1e-5, 3e7, 1e300};
    for (int round = 0; round < 1500; ++round) {
        const int kind = round % 9;
        Points pts;
        if (kind < 6) {
            pts = randomContour(rnd, kind);
        } else if (kind == 6) {
            pts = star(2 + std::size_t(rnd.next(0, 2000)), V(rnd.next(-1, 1), rnd.next(-1, 1)));
        } else {
            // Directions a gap of pi/n apart (up to rounding) from the origin.
            const std::size_t n = 2 + std::size_t(rnd.next(0, 200));
            for (std::size_t i = 0; i < n; ++i)
                pts.push_back(V(rnd.next(0.5, 2), krRadian(kPi * double(i) / double(n) + (kind == 8 ? 3 : 0))));
        }
        const double s = scales[round % 4];
        for (V& v : pts) v = v * s;
        if (round % 50 == 0) pts.push_back(V(kNaN, 1.0));
        if (round % 70 == 0) pts.push_back(V(-kInf, 1.0));
        const std::size_t n = pts.size();
        const V& a = pts[std::size_t(rnd.next(0, double(n))) % n];
        const V& b = pts[std::size_t(rnd.next(0, double(n))) % n];
        check(pts, V(0, 0));
        check(pts, a);                                   // on a vertex
        check(pts, a + V(1e-6, 0));                      // at the vertex tolerance
        check(pts, (a + b) * 0.5);                       // on an edge or chord
        const V q(rnd.next(-2, 2) * s, rnd.next(-2, 2) * s);
        check(pts, q);
        check(pts, q + plainRay(pts, q).direction * (0.1 * s));  // on the ray's bisector
        // A vertex whose angle from q rounds up to a full turn, mid-list.
        pts.insert(pts.begin() + std::ptrdiff_t(n / 2), q + V(s, -1e-18 * s));
        check(pts, q);
    }
}
