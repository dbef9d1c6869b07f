#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "cntr/regionset.h"
#include "platform/std/archive.h"
#include "platform/std/random.h"

namespace {

typedef krPtrHandle_const<krRegion> Handle;
typedef std::vector<unsigned char> Bytes;
using V = krVector<2>;

Handle rect(double x0, double y0, double w, double h) {
    return Handle(new krRegion({{x0, y0}, {x0 + w, y0}, {x0 + w, y0 + h}, {x0, y0 + h}}));
}
Handle square(double x0, double y0, double side) { return rect(x0, y0, side, side); }

// A set that shows its caches.
struct SetProbe : krRegionSet {
    using krRegionSet::krRegionSet;
    using krRegionSet::cache_;
};

const krContour& outline(const Handle& r) { return *r; }

}  // namespace

// Real regions: overlapping, touching, nested, disjoint and degenerate ones,
// now and then with a corner that is not a number or infinite.
TEST(RegionSetPairs, CrossingTestMatchesPlainLoop) {
    krRandomUniform rnd(5);
    int crossing = 0;
    const double odd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
    for (int round = 0; round < 200; ++round) {
        krRegionSet::Regions list;
        const int n = 1 + kfIFloor(rnd.next(0, 12));
        for (int k = 0; k < n; ++k) {
            const double x = kfIFloor(rnd.next(0, 20)), y = kfIFloor(rnd.next(0, 20));
            const double s = (round + k) % 23 == 22 ? odd[round % 2] : 1 + kfIFloor(rnd.next(0, 6));
            list.push_back(k % 7 == 6 ? Handle(new krRegion({{x, y}, {x + s, y + s}}))
                                      : rect(x, y, s, k % 5 == 4 ? 1e-7 : s));
        }
        bool expect = false;  // the plain walk: each outline, then every pair
        for (const auto& r : list) expect = outline(r).isSelfIntersecting() || expect;
        for (std::size_t i = 0; i < list.size(); ++i)
            for (std::size_t j = i + 1; j < list.size(); ++j)
                expect = expect || !outline(list[i]).intersections(outline(list[j])).empty();
        crossing += expect;
        EXPECT_EQ(expect, krRegionSet(list).isSelfIntersecting()) << "round " << round;
    }
    EXPECT_GT(crossing, 20);
}

TEST(RegionSet, MeasuresOfTheWhole) {
    const krRegionSet none;
    EXPECT_TRUE(none.area(true) == 0.0 && !none.isSelfIntersecting());
    EXPECT_THROW(none.centerOfMass(true), krContourDefs::EmptyRegionSet);
    EXPECT_THROW(none.inertiaMatrix(false), krContourDefs::EmptyRegionSet);
    EXPECT_THROW(none.distToPoint(V(0, 0), false, false, false), krContourDefs::EmptyRegionSet);
    EXPECT_THROW(none.encloseRect(krXform<2>::I), krContourDefs::EmptyRegionSet);

    const krRegionSet pair({square(0, 0, 1), square(2, 0, 1)});
    EXPECT_TRUE(pair.area(false) == 2.0 && pair.inside(V(2.5, 0.5), false));
    EXPECT_EQ(pair.encloseRect(krXform<2>::I), krRect(V(0, 0), V(3, 1)));
    EXPECT_DOUBLE_EQ(pair.distToPoint(V(1.2, 0.5), false, false, false), 0.2);

    // Two unequal parts of a bar have the bar's moments.
    const krRegionSet parts({square(0, 0, 1), rect(1, 0, 3, 1)});
    EXPECT_TRUE(kfRealEq(parts.inertiaMatrix(false), rect(0, 0, 4, 1)->inertiaMatrix(false), 1e-12));
    EXPECT_TRUE(kfRealEq(parts.centerOfMass(false), V(2, 0.5), 1e-12));
    // A region whose hole outweighs it beside one it cancels up to rounding
    // (1e-12 left of 900): no centre to speak of.
    const double s = 100;
    krRegion* under = new krRegion({{5 * s, 5 * s}, {5.1 * s, 5 * s}, {5.1 * s, 5.1 * s}, {5 * s, 5.1 * s}});
    under->holes({rect(7 * s, 7 * s, 0.1 * s, s)});
    const krRegionSet cancel({rect(s, s, 0.3 * s, 0.3 * s), Handle(under)});
    EXPECT_TRUE(cancel.area(true) != 0.0 && cancel.centerOfMass(true) == V(0, 0));

    // Equal by value and in order.
    EXPECT_TRUE(pair == krRegionSet({square(0, 0, 1), square(2, 0, 1)}));
    EXPECT_FALSE(pair == krRegionSet({pair.regions()[1], pair.regions()[0]}));
    EXPECT_FALSE(pair == krRegionSet({pair.regions()[0]}));
}

TEST(RegionSet, CachesAndTheirInvalidation) {
    SetProbe set({square(0, 0, 1)});
    EXPECT_DOUBLE_EQ(set.area(false), 1.0);
    set.add(square(2, 0, 1));
    EXPECT_TRUE(!set.cache_.measures[false].area.valid && set.area(false) == 2.0);

    // The rectangle cache grows to cachedVectorSize + 1 entries, then replaces.
    auto scaled = [](double s, double last) { return krXform<2>(krMatrix<2>(s, 0, 0, last), V(0, 0)); };
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(set.encloseRect(scaled(k, k)), krRect(V(0, 0), V(3 * k, k)));
        EXPECT_EQ(set.cache_.rectCache->size(), std::min(k, 4)) << k;
    }
    EXPECT_EQ(set.encloseRect(scaled(1, 2)), krRect(V(0, 0), V(3, 2)));  // only the last element differs

    // A copy owns its own rectangle cache, with the same entries.
    SetProbe copy(set);
    EXPECT_EQ(copy.cache_.rectCache->entries(), set.cache_.rectCache->entries());
    EXPECT_EQ((copy = SetProbe()).cache_.rectCache, nullptr);

    EXPECT_THROW(set.cachedVectorSize(-1), krContourDefs::BadParams);
    set.cachedVectorSize(0);  // a lower bound drops nothing
    EXPECT_NE(set.cache_.rectCache, nullptr);
}

TEST(RegionSet, NullHandlesThrowAndChangeNothing) {
    SetProbe set({square(0, 0, 1), Handle()});
    EXPECT_THROW(set.area(false), krBadPointer);
    EXPECT_THROW(set.isSelfIntersecting(), krBadPointer);
    EXPECT_FALSE(set.cache_.measures[false].area.valid || set.cache_.selfIntersectingValid);
    EXPECT_THROW((void)(set == krRegionSet(set)), krBadPointer);
    krRegionSet out({square(7, 7, 1)});
    EXPECT_THROW(set.outerHull(out), krBadPointer);
    EXPECT_EQ(out.regions().size(), 1u);
}

// Shared regions and shared holes come back shared.
TEST(RegionSet, ArchiveRecord) {
    krRegion* framed = new krRegion({{0, 0}, {4, 0}, {4, 4}, {0, 4}});
    const Handle a(framed), h = square(1, 1, 1);
    framed->holes({h, h});
    framed->label(9);
    krRegionSet set({a, square(3, 0, 2), a, Handle()});
    set.cachedVectorSize(7);
    const std::shared_ptr<krRegionSet> back = kfLoadAs<krRegionSet>(kfStore(set));
    ASSERT_EQ(back->regions().size(), 4u);
    const krRegion& r = *back->regions()[0];
    EXPECT_TRUE(back->regions()[0] == back->regions()[2] && back->regions()[3].isNull() &&
                back->cachedVectorSize() == 7);
    EXPECT_TRUE(r == *a && r.label() == 9u && r.holes().size() == 2u && r.holes()[0] == r.holes()[1] &&
                r.area(true) == 14.0);
}

// Merged regions take the lower slot and the last moves into the freed one;
// an unknown mode keeps the list as it is.
TEST(RegionSetRepair, MergeOrder) {
    const Handle a = square(0, 0, 2), b = square(1, 1, 2), c = square(10, 0, 1), d = square(20, 0, 1);
    const Handle e = square(-1, -1, 1.5), f = square(2.5, 2.5, 1);  // e overlaps a only, f b only
    struct Case {
        krRegionSet::Regions in;
        std::vector<Handle> kept;  // by value; null for the merged region
        std::vector<V> merged;     // points the merged region holds
    } cases[] = {{{a, b, e}, {Handle()}, {{0.5, 0.5}, {2.5, 2.5}, {-0.5, -0.5}}},
                 {{a, b, c, d}, {Handle(), d, c}, {{0.5, 0.5}, {2.5, 2.5}}},
                 // f meets the merged a and b only: merged all the same.
                 {{a, f, c, b}, {Handle(), c}, {{0.5, 0.5}, {2.5, 2.5}, {3.4, 3.4}}}};
    for (const Case& k : cases) {
        for (auto mode : {krContourDefs::eOuterHull, krContourDefs::eRegularize}) {
            const krRegionSet out(k.in, mode);
            ASSERT_EQ(out.regions().size(), k.kept.size());
            EXPECT_FALSE(out.isSelfIntersecting());
            for (const V& p : k.merged) EXPECT_TRUE(out.regions()[0]->inside(p, false));
            for (std::size_t i = 1; i < k.kept.size(); ++i) EXPECT_TRUE(*out.regions()[i] == *k.kept[i]);
        }
        EXPECT_EQ(krRegionSet(k.in, krContourDefs::IntersectionMode(5)).regions(), k.in);
    }
    // The earlier region takes the later one in, so the outline starts on a's
    // boundary, at its first free edge (b's would end at (3, 1)).
    EXPECT_EQ(krRegionSet({b, a}, krContourDefs::eOuterHull).regions()[0]->points().back(), V(3, 1));
    EXPECT_EQ(krRegionSet({a, b}, krContourDefs::eOuterHull).regions()[0]->points().back(), V(0, 0));
    // Without crossings the set is copied, region objects and all.
    krRegionSet out({a});
    krRegionSet({c, d}).outerHull(out);
    EXPECT_EQ(out.regions(), (krRegionSet::Regions{c, d}));
}

TEST(RegionSetRepair, CachedResultsAndAFailingRegion) {
    SetProbe set({square(0, 0, 2), square(1, 1, 2)});
    set.cachedVectorSize(7);
    krRegionSet first, second;
    set.outerHull(first);
    set.outerHull(second);
    EXPECT_TRUE(first.regions() == second.regions() && first.cachedVectorSize() == 3);  // computed once
    set.add(square(30, 0, 1));
    set.outerHull(second);
    ASSERT_EQ(second.regions().size(), 2u);
    EXPECT_NE(second.regions()[0], first.regions()[0]);

    // A plus sign walked along its arms encloses nothing: out and the cache
    // flag stay as they were.
    const krContour::Points plus = {{10, 0}, {12, 0}, {11, 0}, {11, 1}, {11, -1}, {11, 0}};
    const SetProbe bad({square(0, 0, 2), Handle(new krRegion(plus))});
    krRegionSet out({square(5, 5, 1)});
    const krRegionSet::Regions before = out.regions();
    EXPECT_THROW(bad.outerHull(out), krContourDefs::BadParams);
    EXPECT_TRUE(!bad.cache_.outerHullValid && out.regions() == before);
}
