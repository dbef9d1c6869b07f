// The contour object: construction, copies with caches, equality, mutators.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>

#include "cntr/region.h"
#include "tests/alloc_watch.h"
#include "tests/contour_probe.h"
#include "platform/disp/recordingtablet.h"

namespace {


TEST(ContourObject, Construction) {
    const Probe c(kSquare, false, 0x1FFFFFFFFul);
    EXPECT_EQ(c.label(), 0xFFFFFFFFul);  // the low 32 bits

    // From a polygon: closed when the ends meet within 1e-15, which stay in the list.
    struct Case { Pts pts; bool closed; } cases[] = {
        {{{0, 0}, {1, 0}, {1, 1}, {0, 0}}, true},
        {{{0, 0}, {1, 0}, {1, 1}}, false},
        {{{0, 0}, {1, 0}, {1, 1}, {1e-15, -1e-15}}, true},
        {{{0, 0}, {1, 0}, {1, 1}, {0, 2e-15}}, false},
        {{{3, 3}}, true},
        {{}, true},
    };
    for (const Case& c : cases) {
        const krContour k(krPolygon(c.pts, 1), 9);
        EXPECT_TRUE(k.points() == c.pts && k.isClosed() == c.closed && k.label() == 9u) << c.pts.size();
    }
}

TEST(ContourObject, MutatorsDropCachesExactlyWhenGeometryMayChange) {
    struct Case { const char* name; std::function<void(Probe&)> apply; bool clears, notice; } cases[] = {
        {"points(same)", [](Probe& c) { c.points(c.points()); }, true, true},
        {"points(other)", [](Probe& c) { c.points(Pts{{0, 0}, {1, 1}}); }, true, true},
        {"setPoints", [](Probe& c) { c.setPoints(Pts{{0, 0}, {1, 1}}); }, true, true},
        {"isClosed(true) when closed", [](Probe& c) { c.isClosed(true); }, true, true},
        {"makeDataConsistentWithPoints", [](Probe& c) { c.makeDataConsistentWithPoints(); }, true, true},
        {"makePointsConsistentWithData", [](Probe& c) { c.makePointsConsistentWithData(); }, true, true},
        {"label(7)", [](Probe& c) { c.label(7); }, false, true},
        {"cachedVectorSize(2^31 - 1)", [](Probe& c) { c.cachedVectorSize(0x7FFFFFFFL); }, false, true},
        // Sizes outside the stored 32-bit range are refused; they must not wrap.
        {"cachedVectorSize out of range",
         [](Probe& c) {
             for (long n : {-1L, LONG_MIN, LONG_MAX, 0x80000000L, 0x100000005L})
                 EXPECT_THROW(c.cachedVectorSize(n), krContourDefs::BadParams) << n;
             EXPECT_EQ(c.cachedVectorSize(), 3);
         }, false, false},
        {"const queries",
         [](Probe& c) { c.length(); c.meanPosition(); c.closestPoint(V(1, 1), false);
                        c.vertexIndex(V(1, 1), 0.5); }, false, false},
        {"assignment", [](Probe& c) { static_cast<krContour&>(c) = krContour(kSquare); }, true, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Probe c(kSquare, true, 3);
        c.tracking(true);
        c.fillCaches();
        ASSERT_EQ(c.valid(), Probe::kAll);
        EXPECT_EQ(c.mutations(), 0u) << "queries gave a mutation notice";
        k.apply(c);
        EXPECT_EQ(c.valid(), k.clears ? "" : Probe::kAll);
        EXPECT_EQ(c.mutations() > 0, k.notice);

        // Without tracking no notice is counted.
        Probe quiet(kSquare);
        k.apply(quiet);
        EXPECT_EQ(quiet.mutations(), 0u);
    }
}

TEST(ContourObject, CopiesCarryCachesAndOwnTheirOwnedOnes) {
    Probe src(kSquare, false, 4);
    src.fillCaches();
    src.cache_->length = 42.0;  // only a carried cache can answer this
    src.tracking(true);
    krPtrHandle<Probe> held(new Probe(src));
    const Probe& copy = *held;
    EXPECT_EQ(copy.length(), 42.0);
    // Fresh persistence base and count.
    EXPECT_TRUE(!copy.tracking() && copy.mutations() == 0u && copy.refCount() == 1);
    // Owned caches are copied, not shared.
    EXPECT_NE(copy.cache_->vertexGrids.get(), src.cache_->vertexGrids.get());
    EXPECT_NE(copy.cache_->rectCache.get(), src.cache_->rectCache.get());
    EXPECT_EQ(copy.cache_->rectCache->entries(), src.cache_->rectCache->entries());
    EXPECT_EQ(copy.cache_->extremalCache->entries(), src.cache_->extremalCache->entries());
    held->points(Pts{{0, 0}, {1, 0}});
    EXPECT_TRUE(src.valid() == Probe::kAll && src.mutations() == 0u);
}

TEST(ContourObject, AssignmentReplacesCachesAndKeepsIdentity) {
    krPtrHandle<Probe> held(new Probe(kSquare));  // one reference
    Probe& dst = *held;
    dst.fillCaches();
    dst.tracking(true);
    Probe fresh(Pts{{1, 1}, {2, 2}}, false, 8);
    fresh.cachedVectorSize(1);
    static_cast<krContour&>(dst) = fresh;
    EXPECT_EQ(dst.valid(), "");  // owned caches the source lacks are deleted
    EXPECT_TRUE(dst == fresh && dst.label() == 8u);
    EXPECT_TRUE(dst.tracking() && dst.mutations() == 0u && dst.refCount() == 1);

    Probe src(kSquare);
    src.fillCaches();
    static_cast<krContour&>(dst) = src;  // and created where the source has them
    EXPECT_EQ(dst.valid(), Probe::kAll);
    static_cast<krContour&>(dst) = dst;
    EXPECT_TRUE(dst.valid() == Probe::kAll && dst.points() == kSquare);
    // Where both have them, the source's replace this side's.
    const Probe moved(Pts{{5, 5}, {7, 7}});
    moved.vertexIndex(V(0, 0), 1.0);
    moved.encloseRect(krXform<2>::I);
    static_cast<krContour&>(dst) = moved;
    EXPECT_EQ(dst.vertexIndex(V(5, 5), 1.0), std::vector<int>{0});
    EXPECT_EQ(dst.encloseRect(krXform<2>::I), krRect({5, 5}, {2, 2}));
}

// Whichever allocation fails, a failed assignment leaves the target as it was.
TEST(ContourObject, FailedAssignmentChangesNothing) {
    if (!kt::allocationsWatchable()) GTEST_SKIP() << "the sanitizer owns operator new";
    Probe src(kSquare, false, 5);
    src.fillCaches();
    const Pts triangle = {{0, 0}, {3, 0}, {3, 4}};
    for (long n = 0;; ++n) {
        Probe dst(triangle, true, 9);
        dst.fillCaches();
        kt::failAllocation(n);
        try {
            static_cast<krContour&>(dst) = src;
        } catch (const std::bad_alloc&) {
            EXPECT_TRUE(dst.points() == triangle && dst.isClosed() && dst.label() == 9u) << n;
            EXPECT_TRUE(dst.valid() == Probe::kAll && dst.length() == 12.0) << n;
            continue;
        }
        kt::failAllocation(-1);
        EXPECT_EQ(dst, src);
        EXPECT_GT(n, 5);  // the loop did fail allocations inside the assignment
        break;
    }
}

// Reports closed whatever its flag says, as a region does.
struct AlwaysClosed : krContour {
    using krContour::krContour;
    bool isClosed() const override { return true; }
    using krContour::isClosed;
};

TEST(ContourObject, EqualityRules) {
    const krContour base(kSquare, true, 1);
    krContour otherSize(kSquare, true, 1);
    otherSize.cachedVectorSize(4);
    struct Case { const char* name; krContour other; bool equal; } cases[] = {
        {"other label", krContour(kSquare, true, 2), true},
        {"signed zero", krContour(Pts{{-0.0, 0}, {2, 0}, {2, 2}, {0, 2}}), true},
        {"open", krContour(kSquare, false, 1), false},
        {"other cachedVectorSize", otherSize, false},
        {"reordered", krContour(Pts{{2, 0}, {2, 2}, {0, 2}, {0, 0}}), false},
        {"perturbed", krContour(Pts{{0, 0}, {2, 0}, {2, std::nextafter(2.0, 3.0)}, {0, 2}}), false},
    };
    for (const Case& c : cases) EXPECT_TRUE((base == c.other) == c.equal && (c.other == base) == c.equal) << c.name;
    // The closed flag is read through the virtual on both sides.
    const AlwaysClosed region(kSquare, false, 1);
    EXPECT_TRUE(base == region && region == base);
    EXPECT_FALSE(region == krContour(kSquare, false, 1));
    const krContour withNaN(Pts{{kNaN, 0}, {1, 1}});
    EXPECT_FALSE(withNaN == withNaN);
}

// Segment order, closing segment first, in either mode; a region draws as closed.
TEST(ContourObject, DrawIssuesSegmentsInOrder) {
    const V a(0, 0), b(4, 0), c(0, 3);
    const krColor red(255, 0, 0);
    const krUITablet::Layers top("top");
    const std::pair<krContour, std::vector<std::pair<V, V>>> cases[] = {
        {krContour({a, b, c}, true), {{c, a}, {a, b}, {b, c}}},
        {krContour({a, b, c}, false), {{a, b}, {b, c}}},
        {krContour({b}, true), {{b, b}}},
        {krContour({b}, false), {}},
        {krContour(), {}}};
    for (const auto& [contour, segments] : cases)
        for (const auto mode : {krContourDefs::eDrawLines, krContourDefs::eDrawPoints}) {
            krRecordingTablet tablet;
            contour.draw(tablet, mode, red, top);
            std::vector<std::pair<V, V>> drawn;
            for (const auto& call : tablet.calls()) {
                drawn.emplace_back(V(call.p1.x(), call.p1.y()), V(call.p2.x(), call.p2.y()));
                EXPECT_TRUE(call.color == red && call.layers == top);
            }
            EXPECT_EQ(drawn, segments) << contour.points().size();
        }
    krRecordingTablet closed, region;
    cases[0].first.draw(closed, krContourDefs::eDrawLines, red, top);
    krRegion(Pts{a, b, c}).draw(region, krContourDefs::eDrawLines, red, top);
    EXPECT_EQ(region.calls(), closed.calls());
}

TEST(ContourObject, MapAndPolygon) {
    Probe c(Pts{{0, 0}, {1, 0}}, false, 9);
    c.cachedVectorSize(10);
    c.length();
    c.map(krXform<2>(krMatrix<2>(), V(2, 3)), c);
    EXPECT_TRUE(c == krContour(Pts{{2, 3}, {3, 3}}, false) && c.label() == 9u);
    EXPECT_EQ(c.valid(), "");
    const Pts tri = {{0, 0}, {1, 0}, {0, 1}};
    EXPECT_EQ(krContour(tri, true).polygon(), krPolygon(Pts{{0, 0}, {1, 0}, {0, 1}, {0, 0}}));
    EXPECT_EQ(krContour(tri, false).polygon(), krPolygon(tri));
    EXPECT_EQ(krContour().polygon().size(), 0u);
}

// Made once, shared by copies, dropped with the other caches.
TEST(ContourObject, ConvexHullIsSharedUntilTheGeometryChanges) {
    Probe c(Pts{{0, 0}, {2, 0}, {1, 1}, {2, 2}, {0, 2}});
    krRegion hull, again;
    c.convexHull(hull);
    EXPECT_EQ(hull.points(), kSquare);
    const krRegion* shared = c.cache_->convexHull.get();
    c.convexHull(again);
    const Probe copy(c);
    EXPECT_EQ(copy.cache_->convexHull.get(), shared);
    c.isClosed(true);
    c.convexHull(again);
    EXPECT_NE(c.cache_->convexHull.get(), shared);

    krRegion self(kSquare);
    self.convexHull(self);
    EXPECT_EQ(self.points(), kSquare);
    EXPECT_THROW(krContour(Pts{{1, 1}}).convexHull(hull), krContourDefs::EmptyContour);
    EXPECT_EQ(hull.points(), kSquare);
}

}  // namespace
