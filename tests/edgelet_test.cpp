// The plane transforms held by edgelet shapes, and the edgelet contour, region
// and region set: the two sides kept in step, sharing of transforms, refusals
// and records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "defs/cntrtmpl.h"
#include "platform/disp/recordingtablet.h"
#include "platform/std/archive.h"

namespace {

typedef krVector<2> V;
typedef std::vector<krEdgelet> Edgelets;
typedef krContourT<krEdgelet> EContour;
typedef krRegionT<krEdgelet> ERegion;
typedef std::vector<unsigned char> Bytes;

void expectNear(const V& a, const V& b, double tol = 1e-12) {
    EXPECT_NEAR(a.x(), b.x(), tol);
    EXPECT_NEAR(a.y(), b.y(), tol);
}

krPtrHandle_const<kr2XformBase> translation(double dx, double dy) {
    return krPtrHandle_const<kr2XformBase>(new kr2XformLinear(krXform<2>(krMatrix<2>(), V(dx, dy))));
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

}  // namespace

// Each transform: the inverse undoes it, a clone is a separate object that
// maps alike, and a stored transform comes back mapping alike.
TEST(EdgeletXform, InverseCloneAndRecord) {
    const krPtrHandle<kr2XformBase> xforms[] = {
        krPtrHandle<kr2XformBase>(new kr2XformLinear()),
        krPtrHandle<kr2XformBase>(new kr2XformLinear(krXform<2>(krMatrix<2>(2, 1, -0.5, 3), V(4, -7)))),
        krPtrHandle<kr2XformBase>(new kr2Rigid(krDegree(30), V(3, -2))),
        krPtrHandle<kr2XformBase>(new kr2Rigid(krDegree(-250), V(0, 1e3)))};
    for (const auto& t : xforms) {
        const krPtrHandle<kr2XformBase> inv = t->inverseBase(), copy = t->clone();
        const std::shared_ptr<kr2XformBase> loaded = kfLoadAs<kr2XformBase>(kfStore(*t));
        EXPECT_NE(copy.get(), t.get());
        for (const V p : {V(0, 0), V(1, 0), V(-3.5, 8), V(1e3, -2e3)}) {
            expectNear(inv->mapPoint(t->mapPoint(p)), p, 1e-9);
            EXPECT_EQ(copy->mapPoint(p), t->mapPoint(p));
            EXPECT_EQ(loaded->mapPoint(p), t->mapPoint(p));
        }
    }
    EXPECT_EQ(kr2XformLinear().mapPoint(V(3, 4)), V(3, 4));
    const kr2Rigid quarter(krDegree(90), V(5, 6));
    EXPECT_EQ(quarter.angle().toDouble(), 90);
    EXPECT_EQ(quarter.trans(), V(5, 6));
    expectNear(quarter.mapPoint(V(1, 0)), V(5, 7));
    const kr2XformLinear flat(krXform<2>(krMatrix<2>(1, 2, 2, 4), V(1, 1)));
    EXPECT_THROW(flat.inverseBase(), krMathError::Singular);
}

// Points are edgelet positions mapped back; moving the points replaces the
// edgelets by synthetic ones at the mapped positions.
TEST(EdgeletContour, KeepsPointsAndEdgeletsInStep) {
    const EContour plain({krEdgelet(V(1, 2), 9, krAngle8(3)), krEdgelet(V(3, 4), 9, krAngle8(3))});
    EXPECT_EQ(plain.points(), (krContour::Points{V(1, 2), V(3, 4)}));
    EXPECT_TRUE(plain.isClosed());
    EXPECT_EQ(plain.label(), 0u);

    const krPtrHandle_const<kr2XformBase> shift = translation(10, 0);
    EContour c(someEdgelets(), shift);
    EXPECT_NE(c.dataFromPointsXform().get(), shift.get());  // its own clone
    EXPECT_EQ(c.points(), (krContour::Points{V(1, 2), V(3, 2), V(2, 5)}));
    EXPECT_EQ(c.data(), someEdgelets());
    EXPECT_EQ(c.datum(V(1, 2)), krEdgelet(V(11, 2), 0, krAngle8(0)));
    EXPECT_EQ(c.point(krEdgelet(V(11, 2), 7, krAngle8(9))), V(1, 2));

    const double before = c.length();
    c.points({V(0, 0), V(0, 1)});
    EXPECT_EQ(c.data(), Edgelets({krEdgelet(V(10, 0), 0, krAngle8(0)), krEdgelet(V(10, 1), 0, krAngle8(0))}));
    EXPECT_NE(c.length(), before);
    c.data({krEdgelet(V(20, 20), 4, krAngle8(4))});
    EXPECT_EQ(c.points(), krContour::Points{V(10, 20)});
    EXPECT_EQ(c.data()[0].magnitude(), 4);

    // A null transform handle gives the identity.
    EXPECT_EQ(EContour(someEdgelets(), krPtrHandle_const<kr2XformBase>()).points()[0], V(11, 2));
}

// Equality needs the same points and the very same transform object.
TEST(EdgeletContour, EqualityIsByTransformIdentity) {
    const krPtrHandle_const<kr2XformBase> shift = translation(10, 0);
    const EContour a(someEdgelets(), shift);
    EContour copy(a), assigned;
    assigned = a;
    EXPECT_TRUE(copy == a && assigned == a);
    EXPECT_EQ(copy.dataFromPointsXform().get(), a.dataFromPointsXform().get());
    EXPECT_FALSE(EContour(someEdgelets(), shift) == a);  // an equal transform of its own
    copy.points({V(1, 2)});
    EXPECT_FALSE(copy == a);
    EXPECT_EQ(a.data(), someEdgelets());  // the source keeps its edgelets
    EXPECT_TRUE(EContour() == EContour());
}

TEST(EdgeletContour, RefusalsChangeNothing) {
    EContour none;
    EXPECT_TRUE(none.data().empty() && none.points().empty());
    EXPECT_THROW(none.datum(V(1, 2)), krBadPointer);
    EXPECT_THROW(none.point(krEdgelet()), krBadPointer);
    EXPECT_THROW(none.points({V(1, 2)}), krBadPointer);
    EXPECT_TRUE(none.data().empty());
    EXPECT_NO_THROW(none.points({}));

    // A singular transform fails on every attempt, not only the first.
    const krPtrHandle_const<kr2XformBase> flat(
        new kr2XformLinear(krXform<2>(krMatrix<2>(1, 2, 2, 4), V(0, 0))));
    EXPECT_THROW(EContour(someEdgelets(), flat), krMathError::Singular);
    EContour e(Edgelets{}, flat);
    EXPECT_THROW(e.point(krEdgelet()), krMathError::Singular);
    EXPECT_THROW(e.point(krEdgelet()), krMathError::Singular);
    EXPECT_EQ(e.datum(V(1, 1)).position(), V(3, 6));

    const EContour src(someEdgelets(), translation(1, 1));
    EContour out(someEdgelets());
    const EContour before(out);
    EXPECT_THROW(src.mapT(krXform<2>::I, out), krPel::BadWindow);
    EXPECT_TRUE(out == before);
    EXPECT_EQ(out.data(), before.data());
}

TEST(EdgeletContour, RecordRoundTripAndVersions) {
    EContour c(someEdgelets(), translation(10, 0));
    c.isClosed(false);
    c.label(42);
    const std::shared_ptr<EContour> back = kfLoadAs<EContour>(kfStore(c));
    EXPECT_EQ(back->points(), c.points());
    EXPECT_EQ(back->data(), c.data());
    EXPECT_EQ(back->label(), 42u);
    EXPECT_FALSE(back->isClosed());
    EXPECT_EQ(back->datum(V(1, 1)).position(), V(11, 1));  // an equal transform
    EXPECT_EQ(back->point(krEdgelet(V(11, 1), 0, krAngle8())), V(1, 1));

    // Version 0 has no transform: loading keeps the one the object holds.
    EProbe old(someEdgelets());
    old.xform = krPtrHandle<kr2XformBase>();
    Bytes v0 = record(old);
    ASSERT_EQ(v0.back(), 0);  // the null transform reference
    v0.pop_back();
    v0[krArchive::kHeaderSize] = 0;
    EContour keeper(Edgelets{}, translation(5, 5));
    const kr2XformBase* kept = keeper.dataFromPointsXform().get();
    keeper.point(krEdgelet());  // fills the inverse
    loadRecord(v0, keeper);
    EXPECT_EQ(keeper.dataFromPointsXform().get(), kept);
    EXPECT_EQ(keeper.data(), someEdgelets());
    EXPECT_EQ(keeper.points(), old.points());

    // The record's own version, then the edgelet list's.
    const Bytes v1 = record(c);
    const std::size_t listAt = krArchive::kHeaderSize + 1 + 16 + 16 * c.points().size();
    struct Case { std::size_t at; const char* place; long line; };
    for (const Case& k : {Case{krArchive::kHeaderSize, "defs/cntrtmpl", 98}, Case{listAt, "", 0}}) {
        Bytes bad = v1;
        bad[k.at] = 2;
        EContour into;
        try {
            loadRecord(bad, into);
            ADD_FAILURE() << "loaded";
        } catch (const krArchive::UnknownVersion& e) {
            EXPECT_EQ(e.place(), k.place);
            EXPECT_EQ(e.line(), k.line);
        }
    }
}

TEST(EdgeletRegion, BuildsFromEdgeletsOrAContour) {
    const ERegion r(square(0, 0, 1), 5);
    EXPECT_TRUE(r.isClosed());
    EXPECT_EQ(r.label(), 5u);
    EXPECT_DOUBLE_EQ(r.area(false), 1.0);
    EXPECT_EQ(r.points(), (krContour::Points{V(0, 0), V(1, 0), V(1, 1), V(0, 1)}));
    ERegion open(r);
    EXPECT_THROW(open.isClosed(false), krContourDefs::RegionCannotBeSetOpen);

    const EContour c(square(10, 0, 2), translation(10, 0));
    const ERegion a(c, 7), b(EContour(c), 7);
    EXPECT_EQ(a.points(), c.points());
    EXPECT_EQ(a.label(), 7u);
    EXPECT_TRUE(a == b);  // the transform object is shared through the copy
    EXPECT_FALSE(a == ERegion(square(10, 0, 2), translation(10, 0), 7));
    EXPECT_DOUBLE_EQ(ERegion(square(10, 0, 2), translation(10, 0), 7).area(true), 4.0);

    // Edgelet holes are kept apart from the plain ones, which the measures use.
    ERegion holed(square(0, 0, 4), 1);
    holed.krRegion::holes(krRegion::Holes{krPtrHandle_const<krRegion>(new krRegion(
        krContour::Points{V(1, 1), V(2, 1), V(2, 2), V(1, 2)}))});
    holed.holes(ERegion::HolesT{krPtrHandle_const<ERegion>(new ERegion(square(2, 2, 1), 0))});
    EXPECT_EQ(holed.holes().size(), 1u);
    EXPECT_EQ(holed.krRegion::holes().size(), 1u);
    EXPECT_DOUBLE_EQ(holed.area(true), 15.0);
    ERegion assigned;
    assigned = holed;
    EXPECT_EQ(assigned.holes()[0], holed.holes()[0]);
    EXPECT_EQ(assigned.dataFromPointsXform().get(), holed.dataFromPointsXform().get());
    EXPECT_EQ(assigned.data(), holed.data());
    EXPECT_DOUBLE_EQ(assigned.area(true), 15.0);

    ERegion out(square(0, 0, 1), 3);
    EXPECT_THROW(r.mapT(krXform<2>::I, out), krPel::BadWindow);
    EXPECT_THROW(r.regularizeT(out), krPel::BadWindow);
    EXPECT_EQ(out.label(), 3u);
    EXPECT_EQ(out.points(), r.points());
}

// Each edgelet is a unit stroke across its direction, centred on its stored
// position; the edgelet holes are not drawn.
TEST(EdgeletRegion, DrawsEdgeletsAsStrokes) {
    struct Case { unsigned char angle; V p1, p2; };
    const double h = 0.5 * std::sqrt(0.5);
    const Case cases[] = {{64, V(10.5, 10), V(9.5, 10)}, {0, V(10, 9.5), V(10, 10.5)},
                          {96, V(10 + h, 10 + h), V(10 - h, 10 - h)}, {192, V(9.5, 10), V(10.5, 10)}};
    Edgelets data;
    for (const Case& c : cases) data.emplace_back(V(10, 10), 1, krAngle8(c.angle));
    ERegion r(data, translation(-10, 3), 0);  // drawn where the edgelets are, not the points
    r.holes(ERegion::HolesT{krPtrHandle_const<ERegion>(new ERegion(square(0, 0, 1), 0))});
    krRecordingTablet tablet;
    const krColor red(255, 0, 0);
    const krUITablet::Layers overlay("overlay");
    r.draw(tablet, red, overlay);
    ASSERT_EQ(tablet.calls().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const krRecordingTablet::Call& call = tablet.calls()[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(call.kind, krRecordingTablet::eLineSeg);
        expectNear(V(call.p1.x(), call.p1.y()), cases[i].p1);
        expectNear(V(call.p2.x(), call.p2.y()), cases[i].p2);
        EXPECT_TRUE(call.color == red && call.layers == overlay);
    }
    tablet.clear();
    r.draw(tablet, krContourDefs::eDrawLines, red, overlay);  // the boundary, as a contour
    EXPECT_EQ(tablet.calls().size(), 4u);
}

// The record holds the region only: loading brings back points, label and
// plain holes, and leaves the edgelet part as the object had it.
TEST(EdgeletRegion, RecordHoldsTheRegionOnly) {
    ERegion r(square(0, 0, 4), translation(1, 1), 9);
    r.krRegion::holes(krRegion::Holes{krPtrHandle_const<krRegion>(new krRegion(
        krContour::Points{V(1, 1), V(2, 1), V(2, 2)}))});
    const std::shared_ptr<ERegion> back = kfLoadAs<ERegion>(kfStore(r));
    EXPECT_EQ(back->points(), r.points());
    EXPECT_EQ(back->label(), 9u);
    EXPECT_EQ(back->krRegion::holes().size(), 1u);
    EXPECT_TRUE(back->data().empty());
    EXPECT_FALSE(back->dataFromPointsXform());

    Bytes bad = record(r);
    bad[krArchive::kHeaderSize] = 1;
    ERegion into;
    try {
        loadRecord(bad, into);
        ADD_FAILURE() << "loaded";
    } catch (const krArchive::UnknownVersion& e) {
        EXPECT_EQ(e.place(), "defs/cntrtmpl");
        EXPECT_EQ(e.line(), 186);
    }
}

// Every class of the library is registered when it is loaded, and a freshly
// made object of each stores, loads as the same class and stores alike again.
TEST(EdgeletRegistry, EveryLibraryClassRoundTrips) {
    const std::vector<std::string> names = kr_Instantiator::names();
    for (const char* name :
         {"krContour", "krContourDefs::BadParams", "krContourDefs::EmptyContour",
          "krContourDefs::EmptyRegionSet", "krContourDefs::RegionCannotBeSetOpen",
          "krRegion", "krContourT<krEdgelet>", "krRegionT<krEdgelet>", "kr2XformLinear",
          "kr2Rigid"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(std::find(names.begin(), names.end(), name), names.end());
        const std::unique_ptr<krPersistent> made(kr_Instantiator::factoryOf(name)());
        const Bytes bytes = kfStore(*made);
        const std::shared_ptr<krPersistent> back = kfLoad(bytes);
        const krPersistent& obj = *back;
        EXPECT_EQ(kr_Instantiator::nameOf(typeid(obj)), name);
        EXPECT_EQ(kfStore(obj), bytes);
    }
}
