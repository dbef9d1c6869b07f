// Region repair: mapping, splicing, the outer hull and the regularized outline.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cntr/moments.h"
#include "cntr/region.h"
#include "contour_probe.h"

// The private splice, for the tests.
struct kr_RegionAccess {
    static void splice(const krRegion& a, const krRegion& b, krRegion& out) { a.splice(b, out); }
};

namespace {

using V = krVector<2>;
using Pts = krContour::Points;
constexpr auto eOuterHull = krContourDefs::eOuterHull;
constexpr auto eRegularize = krContourDefs::eRegularize;

struct RegionProbe : krRegion {
    // The virtual base is built here, by the most derived class.
    explicit RegionProbe(const Pts& p) : krContour(p, true, 0), krRegion(p) {}
    using krRegion::regionCache_;
};

const Pts kBowTie = {{0, 0}, {2, 2}, {2, 0}, {0, 2}};

krPtrHandle_const<krRegion> hole(const Pts& p) {
    return krPtrHandle_const<krRegion>(new krRegion(p));
}

template <class F>
std::wstring badParamsMessage(F&& f) {
    try {
        f();
    } catch (const krContourDefs::BadParams& e) {
        return e.string();
    }
    return L"(no BadParams)";
}

TEST(RegionRepair, BowTieOutlines) {
    const krRegion tie(kBowTie);
    // Both lobes keep one orientation, so their signed areas add up.
    const Pts regular = {{2, 0}, {1, 1}, {0, 0}, {0, 2}, {1, 1}, {2, 2}};
    krRegion out;
    tie.regularize(out);
    EXPECT_EQ(out.points(), regular);
    // Two triangles split at (1,1), joined again there.
    tie.outerHull(out);
    EXPECT_EQ(out.points(), (Pts{{1, 1}, {0, 0}, {0, 2}, {1, 1}, {2, 2}, {2, 0}}));
    // The constructors repair in place.
    EXPECT_EQ(krRegion(kBowTie, eRegularize).points(), regular);
    EXPECT_EQ(krRegion(kBowTie, eOuterHull).points(), out.points());
}

// Repairs of a simple boundary keep label and holes and cache nothing; a map drops the holes.
TEST(RegionRepair, CopiesKeepTheLabel) {
    const Pts square = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    RegionProbe r(square);
    r.label(7);
    r.holes(krRegion::Holes{hole({{1, 1}, {2, 1}, {2, 2}})});
    for (bool hull : {true, false}) {
        krRegion out(Pts{{9, 9}, {8, 8}, {9, 8}});
        hull ? r.outerHull(out) : r.regularize(out);
        EXPECT_EQ(out.points(), square);
        EXPECT_EQ(out.label(), 7u);
        ASSERT_EQ(out.holes().size(), 1u);
        EXPECT_EQ(out.holes()[0].get(), r.holes()[0].get());
    }
    EXPECT_FALSE(r.regionCache_.outerHullValid || r.regionCache_.regularizedValid);
    krRegion out;
    r.map(krXform<2>(krMatrix<2>(), V(1, -2)), out);
    EXPECT_EQ(out.points(), (Pts{{1, -2}, {5, -2}, {5, 2}, {1, 2}}));
    EXPECT_EQ(out.label(), 7u);
    EXPECT_TRUE(out.holes().empty());
    r.map(krXform<2>::I, r);
    EXPECT_EQ(r, krRegion(square));
    EXPECT_EQ(r.label(), 7u);
}

TEST(RegionRepair, CrossingResultsAreCachedWithoutHolesOrLabel) {
    RegionProbe r(kBowTie);
    r.label(5);
    r.holes(krRegion::Holes{hole({{1.9, 0.5}, {1.9, 0.6}, {1.8, 0.55}})});
    krRegion first, second;
    r.outerHull(first);
    EXPECT_FALSE(r.regionCache_.regularizedValid);
    const krRegion* cached = r.regionCache_.outerHull.get();
    r.outerHull(second);
    EXPECT_EQ(r.regionCache_.outerHull.get(), cached);  // no second trace
    EXPECT_EQ(first, second);
    EXPECT_TRUE(second.holes().empty());
    EXPECT_EQ(second.label(), 0u);
    // New points drop the cache; out may be the region itself.
    r.points(Pts{{0, 0}, {3, 3}, {3, 0}, {0, 3}});
    EXPECT_FALSE(r.regionCache_.outerHullValid);
    r.regularize(r);
    EXPECT_EQ(r.points(), (Pts{{3, 0}, {1.5, 1.5}, {0, 0}, {0, 3}, {1.5, 1.5}, {3, 3}}));
    EXPECT_TRUE(r.holes().empty());
    EXPECT_EQ(r.label(), 0u);
}

TEST(RegionRepair, BoundariesThatCannotBeTraced) {
    // A pentagram: each of its edges is crossed twice, so none can start.
    Pts star;
    for (int k = 0; k < 5; ++k) star.push_back(V(1.0, krRadian(kPi / 2 + 4 * kPi / 5 * k)));
    krRegion out(kBowTie);
    EXPECT_EQ(badParamsMessage([&] { krRegion(star).outerHull(out); }), L"invalid contour");
    EXPECT_EQ(badParamsMessage([&] { krRegion(star, eRegularize); }), L"invalid contour");
    EXPECT_EQ(out.points(), kBowTie);  // out unchanged
    const krRegion nan(Pts{{0, 0}, {2, 2}, {2, 0}, {0, 2}, {1, std::nan("")}});
    EXPECT_THROW(nan.regularize(out), krContourDefs::BadParams);
    EXPECT_THROW(nan.outerHull(out), krContourDefs::BadParams);
}

TEST(RegionRepair, SpliceJoinsAtTheFirstCrossing) {
    const krRegion a(Pts{{0, 0}, {4, 0}, {4, 4}, {0, 4}});
    const krRegion b(Pts{{2, 2}, {6, 2}, {6, 6}, {2, 6}});
    krRegion out;
    kr_RegionAccess::splice(a, b, out);
    // a's segment 2, (4,0)->(4,4), is its first to meet b: at (4,2).
    EXPECT_EQ(out.points(), (Pts{{4, 2}, {4, 4}, {0, 4}, {0, 0}, {4, 0}, {4, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}}));
    // Degenerate first segments are passed over.
    const krRegion dup(Pts{{4, 3}, {4, 3}, {4, 3}, {0, 3}, {0, 5}, {4, 5}});
    kr_RegionAccess::splice(dup, b, out);
    EXPECT_EQ(out.points(), (Pts{{2, 3}, {0, 3}, {0, 5}, {4, 5}, {4, 3}, {4, 3}, {4, 3}, {2, 3},
                                 {2, 2}, {6, 2}, {6, 6}, {2, 6}}));
    const krRegion far(Pts{{10, 10}, {11, 10}, {11, 11}});
    const krRegion before = out;
    EXPECT_EQ(badParamsMessage([&] { kr_RegionAccess::splice(a, far, out); }), L"spliced regions do not intersect");
    EXPECT_EQ(out, before);
}

// Random tangles (lattice points with ties and repeats, random walks, rings with
// leaning needles): each repair gives finite points (a hull that does not cross
// itself) or one of the two errors of a boundary that cannot be repaired.
TEST(RegionRepair, RandomTanglesEndWithARegionOrAClearError) {
    krRandomUniform rnd(77);
    int traced = 0;
    for (int trial = 0; trial < 360 && !HasFailure(); ++trial) {
        const int kind = trial % 3, n = 4 + kfIFloor(rnd.next(0, 30));
        Pts p;
        V at(0, 0);
        for (int i = 0; i < n; ++i) {
            if (kind == 0) {
                p.push_back(V(kfIFloor(rnd.next(0, 7)), kfIFloor(rnd.next(0, 7))));
                if (rnd.next(0, 1) < 0.1) p.push_back(p.back());
            } else if (kind == 1) {
                p.push_back(at = at + V(rnd.next(-1, 1), rnd.next(-1, 1)));
            } else {
                const double t = 2 * kPi * i / n;
                p.push_back(V(1.0, krRadian(t)));
                if (rnd.next(0, 1) < 0.3) {
                    p.push_back(V(rnd.next(2, 5), krRadian(t + rnd.next(-3, 3) * 2 * kPi / n)));
                    p.push_back(V(1.0, krRadian(t + rnd.next(-1e-9, 1e-9))));
                }
            }
        }
        SCOPED_TRACE(::testing::Message() << "trial " << trial);
        const krRegion r(p);
        for (bool hull : {true, false}) {
            krRegion out;
            try {
                hull ? r.outerHull(out) : r.regularize(out);
            } catch (const krContourDefs::BadParams&) {
                continue;
            } catch (const krContourDefs::EmptyContour&) {
                continue;
            }
            // Any infinite or NaN vertex makes the area so.
            EXPECT_TRUE(std::isfinite(kf_Area(out.points())));
            traced += hull && r.isSelfIntersecting();
            EXPECT_FALSE(hull && out.isSelfIntersecting());
        }
    }
    EXPECT_GT(traced, 140);
}

// Figure-eights of two random star-shaped lobes: the outline encloses both.
TEST(RegionRepair, FigureEightsEncloseBothLobes) {
    krRandomUniform rnd(5);
    for (int trial = 0; trial < 200 && !HasFailure(); ++trial) {
        const int n = 3 + kfIFloor(rnd.next(0, 40));
        // Left lobe counterclockwise round (-3, 0), right lobe clockwise round (3, 0).
        Pts left, right;
        for (int i = 0; i < n; ++i) {
            const double t = 0.3 + (2 * kPi - 0.6) * i / (n - 1);
            left.push_back(V(-3, 0) + V(rnd.next(1, 2.5), krRadian(t)));
            right.push_back(V(3, 0) + V(rnd.next(1, 2.5), krRadian(kPi - t)));
        }
        Pts eight = left;
        eight.insert(eight.end(), right.begin(), right.end());
        const krLine a = krLineSeg(left.back(), right.front()).line();
        const V x = a.intersect(krLineSeg(right.back(), left.front()).line()).pos();
        left.push_back(x);
        right.push_back(x);
        const double lobes = kf_Area(left) + kf_Area(right);
        SCOPED_TRACE(::testing::Message() << "trial " << trial);
        krRegion hull, reg;
        krRegion(eight).outerHull(hull);
        krRegion(eight).regularize(reg);
        EXPECT_NEAR(hull.area(false), lobes, 1e-9 * lobes);
        EXPECT_NEAR(kf_Area(reg.points()), lobes, 1e-9 * lobes);
    }
}

}  // namespace
