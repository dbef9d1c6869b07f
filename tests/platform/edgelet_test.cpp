// Edgelet transforms and shapes: both sides in step, shared transforms, refusals, records.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "defs/cntrtmpl.h"
#include "platform/disp/recordingtablet.h"
#include "platform/std/archive.h"
#include "platform/std/realeq.h"
#include "tests/version_check.h"

namespace {

typedef krVector<2> V;
typedef std::vector<krEdgelet> Edgelets;
typedef krContourT<krEdgelet> EContour;
typedef krRegionT<krEdgelet> ERegion;
typedef krRegionSetT<krEdgelet> ESet;
typedef std::vector<unsigned char> Bytes;

// The linear map m, followed by a shift by (dx, dy).
krPtrHandle_const<kr2XformBase> shifted(double dx, double dy, const krMatrix<2>& m = krMatrix<2>()) {
    return krPtrHandle_const<kr2XformBase>(new kr2XformLinear(krXform<2>(m, V(dx, dy))));
}

// The corners of the square of side s at (x, y), counter-clockwise.
Edgelets square(double x, double y, double s) {
    return {krEdgelet(V(x, y), 10, krAngle8(0)), krEdgelet(V(x + s, y), 10, krAngle8(64)),
            krEdgelet(V(x + s, y + s), 10, krAngle8(128)), krEdgelet(V(x, y + s), 10, krAngle8(192))};
}

Edgelets someEdgelets() {
    return {krEdgelet(V(11, 2), 300, krAngle8(5)), krEdgelet(V(13, 2), 65535, krAngle8(255)),
            krEdgelet(V(12, 5), 1, krAngle8(64))};
}

// Exposes the transform so a test can drop it, as an old record leaves it.
struct EProbe : EContour {
    using EContour::EContour;
    using EContour::xform;
};

Bytes record(const krPersistent& obj) {
    Bytes b;
    krArchive ar(b);
    obj.storeSimple(ar);
    return b;
}

void loadRecord(const Bytes& b, krPersistent& obj) {
    krArchive ar(b.data(), b.size());
    obj.loadSimple(ar);
}

// A record of T whose version byte at `at` is 2 is refused, naming place and line.
template <class T>
void expectUnknownVersion(const Bytes& b, std::size_t at, const char* place, long line) {
    ::expectUnknownVersion(b, at, 2, place, line, [](const Bytes& x) { T into; loadRecord(x, into); });
}

}  // namespace

// Each transform: the inverse undoes it; a clone and a stored copy map alike.
TEST(EdgeletXform, InverseCloneAndRecord) {
    const krPtrHandle<kr2XformBase> xforms[] = {
        krPtrHandle<kr2XformBase>(new kr2XformLinear(krXform<2>(krMatrix<2>(2, 1, -0.5, 3), V(4, -7)))),
        krPtrHandle<kr2XformBase>(new kr2Rigid(krDegree(-250), V(3, -2)))};
    for (const auto& t : xforms) {
        const krPtrHandle<kr2XformBase> inv = t->inverseBase(), copy = t->clone();
        const std::shared_ptr<kr2XformBase> loaded = kfLoadAs<kr2XformBase>(kfStore(*t));
        for (const V p : {V(0, 0), V(1, 0), V(-3.5, 8), V(1e3, -2e3)}) {
            EXPECT_TRUE(kfRealEq(inv->mapPoint(t->mapPoint(p)), p, 1e-9)) << p;
            EXPECT_EQ(copy->mapPoint(p), t->mapPoint(p));
            EXPECT_EQ(loaded->mapPoint(p), t->mapPoint(p));
        }
    }
}

// Points are edgelet positions mapped back; new points make synthetic edgelets.
TEST(EdgeletContour, KeepsPointsAndEdgeletsInStep) {
    const krPtrHandle_const<kr2XformBase> shift = shifted(10, 0);
    EContour c(someEdgelets(), shift);
    EXPECT_EQ(c.points(), (krContour::Points{V(1, 2), V(3, 2), V(2, 5)}));

    c.points({V(0, 0), V(0, 1)});
    EXPECT_EQ(c.data(), Edgelets({krEdgelet(V(10, 0), 0, krAngle8(0)), krEdgelet(V(10, 1), 0, krAngle8(0))}));
    c.data({krEdgelet(V(20, 20), 4, krAngle8(4))});
    EXPECT_EQ(c.points(), krContour::Points{V(10, 20)});

    // Equality needs the same points and the very same transform object.
    const EContour a(someEdgelets(), shift);
    EContour copy(a);
    EXPECT_TRUE(copy == a && !(EContour(someEdgelets(), shift) == a));  // each clones the transform it is given
    copy.points({V(1, 2)});
    EXPECT_TRUE(!(copy == a) && a.data() == someEdgelets());  // the source keeps its edgelets
}

TEST(EdgeletContour, RefusesWithoutAUsableTransform) {
    EContour none;
    EXPECT_THROW(none.datum(V(1, 2)), krBadPointer);
    EXPECT_THROW(none.point(krEdgelet()), krBadPointer);
    EXPECT_THROW(none.points({V(1, 2)}), krBadPointer);

    // A singular transform fails on every attempt, not only the first.
    const krPtrHandle_const<kr2XformBase> flat = shifted(0, 0, krMatrix<2>(1, 2, 2, 4));
    EXPECT_THROW(EContour(someEdgelets(), flat), krMathError::Singular);
    EContour e(Edgelets{}, flat);
    for (int attempt = 0; attempt < 2; ++attempt) EXPECT_THROW(e.point(krEdgelet()), krMathError::Singular);
    EXPECT_EQ(e.datum(V(1, 1)).position(), V(3, 6));
}

TEST(EdgeletContour, RecordRoundTripAndVersions) {
    EContour c(someEdgelets(), shifted(10, 0));
    c.isClosed(false);
    c.label(42);
    const std::shared_ptr<EContour> back = kfLoadAs<EContour>(kfStore(c));
    EXPECT_TRUE(back->points() == c.points() && back->data() == c.data() && back->label() == 42u && !back->isClosed());
    EXPECT_EQ(back->point(krEdgelet(V(11, 1), 0, krAngle8())), V(1, 1));  // an equal transform

    // Version 0 has no transform: loading keeps the one the object holds.
    EProbe old(someEdgelets());
    old.xform = krPtrHandle<kr2XformBase>();
    Bytes v0 = record(old);
    ASSERT_EQ(v0.back(), 0);  // the null transform reference
    v0.pop_back();
    v0[krArchive::kHeaderSize] = 0;
    EContour keeper(Edgelets{}, shifted(5, 5));
    const kr2XformBase* kept = keeper.dataFromPointsXform().get();
    keeper.point(krEdgelet());  // fills the inverse
    loadRecord(v0, keeper);
    EXPECT_TRUE(keeper.dataFromPointsXform().get() == kept && keeper.data() == someEdgelets() && keeper.points() == old.points());
    // A record with another transform: the inverse worked out before goes.
    keeper.point(krEdgelet());
    loadRecord(record(c), keeper);
    EXPECT_EQ(keeper.point(krEdgelet(V(11, 1), 0, krAngle8())), V(1, 1));

    // The record's own version, then the edgelet list's after the contour record.
    expectUnknownVersion<EContour>(record(c), krArchive::kHeaderSize, "defs/cntrtmpl", 98);
    expectUnknownVersion<EContour>(record(c), krArchive::kHeaderSize + 1 + 16 + 16 * c.points().size(), "", 0);
}

// Built from a contour the region shares its transform; its record holds the
// region only, so loading leaves the edgelet part as the object had it.
TEST(EdgeletRegion, BuildsFromAContourAndStoresTheRegionOnly) {
    const EContour c(square(10, 0, 2), shifted(10, 0));
    const ERegion a(c, 7), b(EContour(c), 7);
    EXPECT_TRUE(a.points() == c.points() && a.label() == 7u && a == b);  // the transform is shared through the copy
    EXPECT_FALSE(a == ERegion(square(10, 0, 2), shifted(10, 0), 7));

    const std::shared_ptr<ERegion> back = kfLoadAs<ERegion>(kfStore(a));
    EXPECT_TRUE(back->points() == a.points() && back->label() == 7u && back->data().empty() && !back->dataFromPointsXform());
    expectUnknownVersion<ERegion>(record(a), krArchive::kHeaderSize, "defs/cntrtmpl", 186);
}

// Each edgelet is a unit stroke across its direction, centred on its stored
// position (not on the point), from the end a quarter turn back.
TEST(EdgeletRegion, DrawsEdgeletsAsStrokes) {
    ERegion r({krEdgelet(V(10, 10), 1, krAngle8(64)), krEdgelet(V(10, 10), 1, krAngle8(0))},
              shifted(-10, 3), 0);
    krRecordingTablet tablet;
    r.draw(tablet, krColor(255, 0, 0), krUITablet::Layers("overlay"));
    ASSERT_EQ(tablet.calls().size(), 2u);
    const V ends[][2] = {{V(10.5, 10), V(9.5, 10)}, {V(10, 9.5), V(10, 10.5)}};
    for (int i = 0; i < 2; ++i) {
        const auto& call = tablet.calls()[i];
        EXPECT_TRUE(kfRealEq(V(call.p1.x(), call.p1.y()), ends[i][0], 1e-12) && kfRealEq(V(call.p2.x(), call.p2.y()), ends[i][1], 1e-12)) << i;
    }
}

// Both lists hold the same objects: in the set, in a copy and in a loaded record.
TEST(EdgeletRegionSet, KeepsBothListsInStep) {
    const krPtrHandle_const<ERegion> a(new ERegion(square(0, 0, 1), 1)),
        b(new ERegion(square(5, 5, 2), shifted(1, 0), 2));
    const ESet set(ESet::RegionsT{a, b, a});
    EXPECT_EQ(set.regions(), (krRegionSet::Regions{a, b, a}));
    EXPECT_EQ(ESet(set).regionsT()[1].get(), b.get());
    const std::shared_ptr<ESet> back = kfLoadAs<ESet>(kfStore(set));
    const ESet::RegionsT t = back->regionsT();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(back->regions(), (krRegionSet::Regions{t[0], t[1], t[0]}));  // a is one object
    EXPECT_TRUE(t[0]->points() == a->points() && *back == set);  // equal by value

    // The set's own version, then the edgelet-region list's after the plain
    // set's record (which starts one byte in).
    expectUnknownVersion<ESet>(record(set), krArchive::kHeaderSize, "defs/cntrtmpl", 283);
    expectUnknownVersion<ESet>(record(set), 1 + record(krRegionSet(set)).size(), "", 0);
}
