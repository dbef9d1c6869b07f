// The plane transforms held by edgelet shapes, and the edgelet contour, region
// and region set: the two sides kept in step, sharing of transforms, refusals
// and records.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "defs/cntrtmpl.h"
#include "platform/std/archive.h"

namespace {

typedef krVector<2> V;
typedef std::vector<krEdgelet> Edgelets;
typedef krContourT<krEdgelet> EContour;
typedef std::vector<unsigned char> Bytes;

void expectNear(const V& a, const V& b, double tol = 1e-12) {
    EXPECT_NEAR(a.x(), b.x(), tol);
    EXPECT_NEAR(a.y(), b.y(), tol);
}

krPtrHandle_const<kr2XformBase> translation(double dx, double dy) {
    return krPtrHandle_const<kr2XformBase>(new kr2XformLinear(krXform<2>(krMatrix<2>(), V(dx, dy))));
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

// Every class of the library is registered when it is loaded, and a freshly
// made object of each stores, loads as the same class and stores alike again.
TEST(EdgeletRegistry, EveryLibraryClassRoundTrips) {
    const std::vector<std::string> names = kr_Instantiator::names();
    for (const char* name :
         {"krContour", "krContourDefs::BadParams", "krContourDefs::EmptyContour",
          "krContourDefs::EmptyRegionSet", "krContourDefs::RegionCannotBeSetOpen",
          "krContourT<krEdgelet>", "kr2XformLinear", "kr2Rigid"}) {
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
