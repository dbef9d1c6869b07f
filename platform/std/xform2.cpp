#include "platform/std/xform2.h"

#include "platform/std/archive.h"

void kr2XformBase::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<kr2XformBase*>(this), sizeof(kr2XformBase), 0,
                     [&](unsigned char version) {
                         if (version != 0) throw krArchive::UnknownVersion("kr2XformBase", 0);
                         krPersistent::dispatchSerialize(ar);
                     });
}

// ---------------------------------------------------------------------------

krPtrHandle<kr2XformBase> kr2XformLinear::inverseBase() const {
    return krPtrHandle<kr2XformBase>(new kr2XformLinear(xform_.inverse()));
}

krPtrHandle<kr2XformBase> kr2XformLinear::clone() const {
    return krPtrHandle<kr2XformBase>(new kr2XformLinear(xform_));
}

void kr2XformLinear::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<kr2XformLinear*>(this), sizeof(kr2XformLinear), 0,
                     [&](unsigned char version) {
                         if (version != 0) throw krArchive::UnknownVersion("kr2XformLinear", 0);
                         kr2XformBase::dispatchSerialize(ar);
                         double e[4] = {xform_.matrix().element(0, 0), xform_.matrix().element(0, 1),
                                        xform_.matrix().element(1, 0), xform_.matrix().element(1, 1)};
                         krVector<2> trans = xform_.trans();
                         ar || e[0] || e[1] || e[2] || e[3] || trans;
                         if (ar.isLoading()) xform_ = krXform<2>(krMatrix<2>(e[0], e[1], e[2], e[3]), trans);
                     });
}

krPersistent* kr2XformLinear::make() { return new kr2XformLinear(); }

kr_Instantiator kr2XformLinear::sExemplar(typeid(kr2XformLinear), &kr2XformLinear::make,
                                          "kr2XformLinear");

// ---------------------------------------------------------------------------

namespace {

krXform<2> rigidXform(const krDegree& angle, const krVector<2>& trans) {
    const krRadian a = angle;
    return krXform<2>(krMatrix<2>(a, a, 1.0, 1.0), trans);
}

}  // namespace

kr2Rigid::kr2Rigid(const krDegree& angle, const krVector<2>& trans)
    : angle_(angle), xform_(rigidXform(angle, trans)) {}

// R(-a) undoes R(a) and moves trans back to the origin: p -> R(-a) p - R(-a) trans.
krPtrHandle<kr2XformBase> kr2Rigid::inverseBase() const {
    const krDegree back(-angle_.toDouble());
    const krVector<2> backTrans = rigidXform(back, krVector<2>()) * trans();
    return krPtrHandle<kr2XformBase>(new kr2Rigid(back, -backTrans));
}

krPtrHandle<kr2XformBase> kr2Rigid::clone() const {
    return krPtrHandle<kr2XformBase>(new kr2Rigid(*this));
}

void kr2Rigid::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<kr2Rigid*>(this), sizeof(kr2Rigid), 0,
                     [&](unsigned char version) {
                         if (version != 0) throw krArchive::UnknownVersion("kr2Rigid", 0);
                         kr2XformBase::dispatchSerialize(ar);
                         double degrees = angle_.toDouble();
                         krVector<2> t = trans();
                         ar || degrees || t;
                         if (ar.isLoading()) *this = kr2Rigid(krDegree(degrees), t);
                     });
}

krPersistent* kr2Rigid::make() { return new kr2Rigid(); }

kr_Instantiator kr2Rigid::sExemplar(typeid(kr2Rigid), &kr2Rigid::make, "kr2Rigid");
