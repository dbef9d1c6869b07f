#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "cntr/boxpairs.h"
#include "cntr/regionst.h"
#include "platform/disp/recordingtablet.h"
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
    using krRegionSet::areaValid, krRegionSet::outerHullValid, krRegionSet::rectCache,
        krRegionSet::selfIntersectingValid;
};

const krContour& outline(const Handle& r) { return *r; }

}  // namespace

// The merge walk must make exactly the calls of the plain walk that can
// answer true (boxes overlap), in the same order, and end with the same list.
TEST(RegionSetPairs, MergeWalkMatchesThePlainWalk) {
    krRandomUniform rnd(11);
    struct Item {
        int id;
        std::vector<V> pts;
        std::size_t need;
        kr_PairBox box() const { return kr_PairBox::of(pts, need); }
    };
    typedef std::vector<std::pair<int, int>> Calls;
    for (int round = 0; round < 300; ++round) {
        // Integer corners make shared edges and corners; some boxes are flat or
        // points, a few are wild.
        const int n = kfIFloor(rnd.next(0, 40));
        const double spread = rnd.next(0, 1) < 0.5 ? 4 : 30;
        std::vector<Item> items;
        for (int k = 0; k < n; ++k) {
            const V p(kfIFloor(rnd.next(0, spread)), kfIFloor(rnd.next(0, spread)));
            const V size(kfIFloor(rnd.next(0, 4)), kfIFloor(rnd.next(0, 4)));
            items.push_back({k, {p, p + size}, rnd.next(0, 1) < 0.05 ? 3u : 2u});
        }
        // Pairs whose boxes overlap cross at random; those calls are logged.
        const unsigned salt = static_cast<unsigned>(rnd.next(0, 1000));
        Calls plainCalls, fastCalls, *log = &plainCalls;
        int next = n;
        auto crosses = [&](const Item& a, const Item& b) {
            if (!a.box().overlaps(b.box())) return false;
            log->emplace_back(a.id, b.id);
            return (a.id * 7919u + b.id * 104729u + salt) % 3 == 0;
        };
        auto merge = [&](const Item& a, const Item& b) {
            Item m{next++, a.pts, 2};
            m.pts.insert(m.pts.end(), b.pts.begin(), b.pts.end());
            return m;
        };
        std::vector<Item> plain = items, fast = items;
        for (std::size_t i = 0; i + 1 < plain.size(); ++i)
            for (std::size_t j = i + 1; j < plain.size();) {
                if (!crosses(plain[i], plain[j])) {
                    ++j;
                    continue;
                }
                plain[i] = merge(plain[i], plain[j]);
                plain[j] = plain.back();
                plain.pop_back();
            }
        log = &fastCalls;
        next = n;
        kf_MergeCrossingPairs(fast, [](const Item& it) { return it.box(); }, crosses, merge);
        ASSERT_EQ(plainCalls, fastCalls) << "round " << round;
        ASSERT_EQ(plain.size(), fast.size());
        for (std::size_t k = 0; k < plain.size(); ++k) EXPECT_EQ(plain[k].id, fast[k].id);
    }
}

// Real regions: overlapping, touching, nested, disjoint and degenerate ones.
TEST(RegionSetPairs, CrossingTestMatchesPlainLoop) {
    krRandomUniform rnd(5);
    int crossing = 0;
    for (int round = 0; round < 200; ++round) {
        krRegionSet::Regions list;
        const int n = 1 + kfIFloor(rnd.next(0, 12));
        for (int k = 0; k < n; ++k) {
            const double x = kfIFloor(rnd.next(0, 20)), y = kfIFloor(rnd.next(0, 20));
            const double s = 1 + kfIFloor(rnd.next(0, 6));
            list.push_back(k % 7 == 6 ? Handle(new krRegion({{x, y}, {x + s, y + s}}))
                                      : rect(x, y, s, k % 5 == 4 ? 1e-7 : s));
        }
        bool expect = false;  // the plain walk: each outline, then every pair
        for (const auto& r : list) expect = outline(r).isSelfIntersecting() || expect;
        for (std::size_t i = 0; i < list.size(); ++i)
            for (std::size_t j = i + 1; j < list.size(); ++j)
                expect = expect || !outline(list[i]).intersections(outline(list[j])).empty();
        const krRegionSet set(list);
        crossing += expect;
        EXPECT_EQ(expect, set.isSelfIntersecting()) << "round " << round;
    }
    EXPECT_GT(crossing, 20);
}

TEST(RegionSet, EmptySetAnswers) {
    const krRegionSet set;
    EXPECT_EQ(set.area(true), 0.0);
    EXPECT_FALSE(set.inside(V(0, 0), true));
    EXPECT_FALSE(set.isSelfIntersecting());
    EXPECT_TRUE(set == krRegionSet());
    EXPECT_THROW(set.centerOfMass(true), krContourDefs::EmptyRegionSet);
    EXPECT_THROW(set.inertiaMatrix(false), krContourDefs::EmptyRegionSet);
    EXPECT_THROW(set.distToPoint(V(0, 0), false, false, false), krContourDefs::EmptyRegionSet);
    EXPECT_THROW(set.encloseRect(krXform<2>::I), krContourDefs::EmptyRegionSet);
}

TEST(RegionSet, MeasuresOfTheWhole) {
    const krRegionSet pair({square(0, 0, 1), square(2, 0, 1)});
    EXPECT_DOUBLE_EQ(pair.area(false), 2.0);
    EXPECT_TRUE(kfRealEq(pair.centerOfMass(true), V(1.5, 0.5), 1e-12));
    EXPECT_FALSE(pair.isSelfIntersecting());
    EXPECT_EQ(pair.encloseRect(krXform<2>::I), krRect(V(0, 0), V(3, 1)));
    EXPECT_TRUE(pair.inside(V(2.5, 0.5), false));
    EXPECT_FALSE(pair.inside(V(1.5, 0.5), false));
    EXPECT_DOUBLE_EQ(pair.distToPoint(V(1.2, 0.5), false, false, false), 0.2);
    EXPECT_EQ(pair.distToPoint(V(2.5, 0.5), false, false, true), 0.0);

    // Two halves of a bar have the bar's moments.
    const krRegionSet halves({square(0, 0, 1), square(1, 0, 1)});
    EXPECT_TRUE(kfRealEq(halves.inertiaMatrix(false), rect(0, 0, 2, 1)->inertiaMatrix(false), 1e-12));
    EXPECT_TRUE(kfRealEq(halves.centerOfMass(false), V(1, 0.5), 1e-12));

    const Handle a = square(0, 0, 1), b = square(5, 5, 1);
    const krRegionSet ab({a, b});
    EXPECT_TRUE(ab == krRegionSet(ab));
    EXPECT_FALSE(ab == krRegionSet({b, a}));
    EXPECT_FALSE(ab == krRegionSet({a}));
}

// A region that marks its first point when it draws itself.
struct Marking : krRegion {
    explicit Marking(const Points& p) : krContour(p), krRegion(p) {}
    void draw(krUITablet& t, const krColor& c, const krUITablet::Layers& l) const override {
        t.drawMarker(points()[0], 1, c, l);
    }
};

TEST(RegionSet, DrawsEachRegionThroughItsOwnDraw) {
    krRecordingTablet tablet;
    krRegionSet().draw(tablet, krColor(1, 2, 3), krUITablet::Layers());
    krRegionSet({Handle(new Marking({{4, 0}, {5, 0}, {5, 1}})), square(0, 0, 1),
                 Handle(new Marking({{2, 0}, {3, 0}, {3, 1}}))})
        .draw(tablet, krColor(1, 2, 3), krUITablet::Layers());
    ASSERT_EQ(tablet.calls().size(), 2u);  // the plain region draws nothing of its own
    EXPECT_EQ(tablet.calls()[0].p1.x() + 10 * tablet.calls()[1].p1.x(), 24);
}

TEST(RegionSet, CachesAndTheirInvalidation) {
    SetProbe set({square(0, 0, 1)});
    EXPECT_DOUBLE_EQ(set.area(false), 1.0);
    set.add(square(2, 0, 1));
    EXPECT_FALSE(set.areaValid);
    EXPECT_DOUBLE_EQ(set.area(false), 2.0);

    // The rectangle cache grows to cachedVectorSize + 1 entries, then replaces.
    auto scaled = [](double s, double last) { return krXform<2>(krMatrix<2>(s, 0, 0, last), V(0, 0)); };
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(set.encloseRect(scaled(k, k)), krRect(V(0, 0), V(3 * k, k)));
        EXPECT_EQ(set.rectCache->size(), std::min(k, 4)) << k;
    }
    EXPECT_EQ(set.encloseRect(scaled(1, 2)), krRect(V(0, 0), V(3, 2)));  // only the last element differs
    EXPECT_EQ(set.encloseRect(scaled(1, 1)), krRect(V(0, 0), V(3, 1)));

    // A copy owns its own rectangle cache, with the same entries.
    SetProbe copy(set);
    EXPECT_EQ(copy.rectCache->entries(), set.rectCache->entries());
    EXPECT_NE(copy.rectCache.get(), set.rectCache.get());
    EXPECT_EQ((copy = SetProbe()).rectCache, nullptr);

    EXPECT_THROW(set.cachedVectorSize(-1), krContourDefs::BadParams);
    EXPECT_EQ(set.cachedVectorSize(), 3);
    set.cachedVectorSize(0);
    EXPECT_NE(set.rectCache, nullptr);
}

TEST(RegionSet, NullHandlesThrowAndChangeNothing) {
    SetProbe set({square(0, 0, 1), Handle()});
    EXPECT_THROW(set.area(false), krBadPointer);
    EXPECT_FALSE(set.areaValid);
    EXPECT_THROW(set.isSelfIntersecting(), krBadPointer);
    EXPECT_FALSE(set.selfIntersectingValid);
    EXPECT_THROW((void)(set == krRegionSet(set)), krBadPointer);
    krRegionSet out({square(7, 7, 1)});
    EXPECT_THROW(set.outerHull(out), krBadPointer);
    EXPECT_EQ(out.regions().size(), 1u);
}

TEST(RegionSet, ArchiveRecord) {
    const Handle a = square(0, 0, 1);
    krRegionSet set({a, square(3, 0, 2), a, Handle()});
    set.cachedVectorSize(7);
    const std::shared_ptr<krRegionSet> back = kfLoadAs<krRegionSet>(kfStore(set));
    ASSERT_EQ(back->regions().size(), 4u);
    EXPECT_EQ(back->regions()[0], back->regions()[2]);  // one shared object
    EXPECT_TRUE(back->regions()[3].isNull());
    EXPECT_EQ(back->cachedVectorSize(), 7);
    EXPECT_TRUE(*back->regions()[1] == *set.regions()[1]);

    // An empty set's record: the set's version at byte 21, the list's at 23,
    // cachedVectorSize in the last four bytes.
    const Bytes empty = kfStore(krRegionSet());
    ASSERT_EQ(empty.size(), 32u);
    Bytes v0(empty.begin(), empty.end() - 4);
    v0[21] = 0;
    krRegionSet loaded({a});
    loaded.cachedVectorSize(9);
    EXPECT_EQ(loaded.area(false), 1.0);
    kfLoadInto(v0, loaded);
    EXPECT_EQ(loaded.cachedVectorSize(), 9);
    EXPECT_EQ(loaded.area(false), 0.0);  // the load dropped the cached area
    EXPECT_EQ(kfLoadAs<krRegionSet>(v0)->cachedVectorSize(), 3);

    auto version = [&](std::size_t at, unsigned char v) {
        Bytes b = empty;
        b[at] = v;
        try {
            kfLoad(b);
        } catch (const krArchive::UnknownVersion& e) {
            return e.line();
        }
        return -1L;
    };
    EXPECT_EQ(version(21, 2), 479);
    EXPECT_EQ(version(23, 1), 0);
}

// Merged regions take the lower slot and the last region moves into the
// freed one; the repaired set has no crossings left.
TEST(RegionSetRepair, MergeOrder) {
    const Handle a = square(0, 0, 2), b = square(1, 1, 2), c = square(10, 0, 1), d = square(20, 0, 1);
    const Handle e = square(-1, -1, 1.5);  // overlaps a only
    struct Case {
        krRegionSet::Regions in;
        std::vector<Handle> kept;  // by value; null for the merged region
        std::vector<V> merged;     // points the merged region holds
    } cases[] = {{{a, c, b}, {Handle(), c}, {{0.5, 0.5}, {2.5, 2.5}}},
                 {{a, b, e}, {Handle()}, {{0.5, 0.5}, {2.5, 2.5}, {-0.5, -0.5}}},
                 {{a, b, c, d}, {Handle(), d, c}, {{0.5, 0.5}, {2.5, 2.5}}}};
    for (const Case& k : cases) {
        for (bool hull : {true, false}) {
            const krRegionSet set(k.in);
            krRegionSet out;
            hull ? set.outerHull(out) : set.regularize(out);
            ASSERT_EQ(out.regions().size(), k.kept.size());
            EXPECT_FALSE(out.isSelfIntersecting());
            for (const V& p : k.merged) EXPECT_TRUE(out.regions()[0]->inside(p, false));
            for (std::size_t i = 1; i < k.kept.size(); ++i) EXPECT_TRUE(*out.regions()[i] == *k.kept[i]);
        }
    }
    // Without crossings the set is copied, region objects and all.
    const krRegionSet apart({c, d});
    krRegionSet out({a});
    apart.outerHull(out);
    EXPECT_EQ(out.regions(), apart.regions());
}

TEST(RegionSetRepair, CachesAndRepairModes) {
    SetProbe set({square(0, 0, 2), square(1, 1, 2)});
    set.cachedVectorSize(7);
    krRegionSet first, second;
    set.outerHull(first);
    set.outerHull(second);
    EXPECT_EQ(first.regions(), second.regions());  // computed once
    EXPECT_EQ(first.cachedVectorSize(), 3);
    set.add(square(30, 0, 1));
    set.outerHull(second);
    ASSERT_EQ(second.regions().size(), 2u);
    EXPECT_NE(second.regions()[0], first.regions()[0]);
    set.outerHull(set);
    EXPECT_EQ(set.regions(), second.regions());
    EXPECT_FALSE(set.outerHullValid);

    const krRegionSet::Regions in = {square(0, 0, 2), square(1, 1, 2)};
    for (auto mode : {krContourDefs::eOuterHull, krContourDefs::eRegularize}) {
        const krRegionSet repaired(in, mode);
        ASSERT_EQ(repaired.regions().size(), 1u);
        EXPECT_NE(repaired.regions()[0], in[0]);
    }
    EXPECT_EQ(krRegionSet(in, krContourDefs::IntersectionMode(5)).regions(), in);

    // A five-pointed star has no edge to start tracing from: the replacement
    // pass fails, and out and the cache flag stay as they were.
    krContour::Points star;
    for (int k = 0; k < 5; ++k) star.push_back(V(10, krRadian(kPi / 2 + k * 4 * kPi / 5)));
    const SetProbe bad({square(0, 0, 2), Handle(new krRegion(star))});
    krRegionSet out({square(5, 5, 1)});
    const krRegionSet::Regions before = out.regions();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_THROW(bad.outerHull(out), krContourDefs::BadParams);
        EXPECT_FALSE(bad.outerHullValid);
        EXPECT_EQ(out.regions(), before);
    }
}
