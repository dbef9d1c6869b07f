// Region repair: mapping, the outer hull and the regularized outline.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "cntr/moments.h"
#include "cntr/region.h"
#include "cntr/regionset.h"
#include "tests/contour_probe.h"
#include "tests/region_access.h"

namespace {

constexpr auto eOuterHull = krContourDefs::eOuterHull;
constexpr auto eRegularize = krContourDefs::eRegularize;
const Pts kBowTie = {{0, 0}, {2, 2}, {2, 0}, {0, 2}};

template <class F>
std::wstring badParamsMessage(F&& f) {
    try {
        f();
    } catch (const krContourDefs::BadParams& e) {
        return e.string();
    }
    return L"(no BadParams)";
}

// A pentagram has no edge free of crossings: the walk starts at the first
// outside piece, from the first point, round its ten corners.
TEST(RegionRepair, PentagramOutline) {
    Pts star;
    for (int k = 0; k < 5; ++k) star.push_back(V(1.0, krRadian(kPi / 2 + 4 * kPi / 5 * k)));
    krRegion out;
    krRegion(star).outerHull(out);
    EXPECT_EQ(out.points().size(), 10u);
    EXPECT_EQ(out.points().back(), star[0]);
}

// Repairs of a simple boundary keep label and holes and cache nothing; a map drops the holes.
TEST(RegionRepair, CopiesKeepTheLabel) {
    const Pts square = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    RegionProbe r{krContour(square)};
    r.label(7);
    r.holes(krRegion::Holes{hole({{1, 1}, {2, 1}, {2, 2}})});
    for (bool hull : {true, false}) {
        krRegion out(Pts{{9, 9}, {8, 8}, {9, 8}});
        hull ? r.outerHull(out) : r.regularize(out);
        EXPECT_TRUE(out.points() == square && out.label() == 7u && out.holes().size() == 1u &&
                    out.holes()[0].get() == r.holes()[0].get());
    }
    EXPECT_FALSE(r.regionCache_.outerHullValid || r.regionCache_.regularizedValid);
    krRegion out;
    r.map(krXform<2>(krMatrix<2>(), V(1, -2)), out);
    EXPECT_TRUE(out.points() == (Pts{{1, -2}, {5, -2}, {5, 2}, {1, 2}}) && out.label() == 7u && out.holes().empty());
    r.map(krXform<2>::I, r);
    EXPECT_TRUE(r == krRegion(square) && r.label() == 7u);
}

TEST(RegionRepair, CrossingResultsAreCachedWithoutHolesOrLabel) {
    RegionProbe r{krContour(kBowTie)};
    r.label(5);
    r.holes(krRegion::Holes{hole({{1.9, 0.5}, {1.9, 0.6}, {1.8, 0.55}})});
    krRegion first, second;
    r.outerHull(first);
    EXPECT_FALSE(r.regionCache_.regularizedValid);
    const krRegion* cached = r.regionCache_.outerHull.get();
    r.outerHull(second);
    EXPECT_EQ(r.regionCache_.outerHull.get(), cached);  // no second trace
    EXPECT_TRUE(first == second && second.holes().empty() && second.label() == 0u);
    // New points drop the cache; out may be the region itself.
    r.points(Pts{{0, 0}, {3, 3}, {3, 0}, {0, 3}});
    EXPECT_FALSE(r.regionCache_.outerHullValid);
    r.regularize(r);
    EXPECT_TRUE(r.points() == (Pts{{3, 0}, {1.5, 1.5}, {0, 0}, {0, 3}, {1.5, 1.5}, {3, 3}}) && r.holes().empty() &&
                r.label() == 0u);
}

// A boundary that crosses itself but encloses nothing (a plus sign walked
// along its arms) cannot be repaired, nor one with a coordinate that is not a
// number; out stays as it was.
TEST(RegionRepair, BoundariesEnclosingNothing) {
    const Pts plus = {{0, 0}, {2, 0}, {1, 0}, {1, 1}, {1, -1}, {1, 0}};
    const krRegion nan(Pts{{0, 0}, {2, 2}, {2, 0}, {0, 2}, {1, std::nan("")}});
    krRegion out(kBowTie);
    for (bool hull : {true, false}) {
        EXPECT_EQ(badParamsMessage([&] { hull ? krRegion(plus).outerHull(out) : krRegion(plus).regularize(out); }),
                  L"invalid contour");
        EXPECT_THROW(hull ? nan.outerHull(out) : nan.regularize(out), krContourDefs::BadParams);
    }
    EXPECT_EQ(out.points(), kBowTie);
}

// A bow-tie's lobes keep one orientation, so their signed areas add up; the
// outline of everything enclosed is the same walk here, and the constructors
// repair in place. Far out, products of spans overflow. Up to 2^1021
// (2.2e307) every repair gives the walk scaled, and an area that is a number,
// infinite only where the area itself lies beyond the doubles; past it, where
// sums of spans overflow and the crossing tests no longer see crossings, a
// clear error.
TEST(RegionRepair, BowTieOutlinesAtEveryScale) {
    const Pts regular = {{2, 0}, {1, 1}, {0, 0}, {0, 2}, {1, 1}, {2, 2}};
    const Pts squares[] = {{{0, 0}, {2, 0}, {2, 2}, {0, 2}}, {{1, 1}, {3, 1}, {3, 3}, {1, 3}}};
    const auto scaled = [](const Pts& p, double big) {
        Pts q;
        for (const V& v : p) q.push_back((v - V(1, 1)) * big);  // about the origin
        return q;
    };
    for (double big : {1.0, 1e150, 1e155, 1e300, 2.2e307, 2.3e307, 1.7e308, DBL_MAX}) {
        SCOPED_TRACE(big);
        const krRegion bow(scaled(kBowTie, big));
        const krRegionSet set(members({scaled(squares[0], big / 2), scaled(squares[1], big / 2)}));
        krRegion out;
        krRegionSet merged;
        if (big > std::ldexp(1.0, 1021)) {
            EXPECT_EQ(badParamsMessage([&] { bow.outerHull(out); }),
                      L"boundary coordinates of 2^1021 (2.2e307) and more are too large to repair");
            EXPECT_THROW(bow.regularize(out), krContourDefs::BadParams);
            EXPECT_THROW(set.outerHull(merged), krContourDefs::BadParams);
            continue;
        }
        for (bool hull : {true, false}) {
            hull ? bow.outerHull(out) : bow.regularize(out);
            EXPECT_EQ(out.points(), scaled(regular, big));
            EXPECT_EQ(out.area(false), 2 * big * big);
            EXPECT_EQ(krRegion(bow.points(), hull ? eOuterHull : eRegularize).points(), out.points());
        }
        set.outerHull(merged);
        ASSERT_EQ(merged.regions().size(), 1u);
        EXPECT_EQ(merged.regions()[0]->points().size(), 8u);
        const double area = merged.area(false), want = 1.75 * big * big;
        EXPECT_TRUE(area == want || std::fabs(area - want) <= 1e-12 * want) << area;
    }
}

}  // namespace
