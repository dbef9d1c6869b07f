// Plane transforms as shared, archivable objects: what a shape holds when it
// keeps two coordinate frames in step.
#ifndef QEL_PLATFORM_STD_XFORM2_H
#define QEL_PLATFORM_STD_XFORM2_H

#include "platform/std/angle.h"
#include "platform/std/handle.h"
#include "platform/std/persistent.h"
#include "platform/std/vector.h"
#include "platform/std/xform.h"

// A transform of the plane held by reference-counted handles. Once shared it
// is only read, so a holder that wants its own copy asks for clone().
// Record: version 0, then the persistence base; each concrete class adds its
// own level in front.
class kr2XformBase : public virtual krPersistent, public virtual krRepBase {
public:
    ~kr2XformBase() override = default;

    virtual krVector<2> mapPoint(const krVector<2>& p) const = 0;
    // The transform that undoes this one; krMathError::Singular when there is none.
    virtual krPtrHandle<kr2XformBase> inverseBase() const = 0;
    // An independent copy, shared with nobody.
    virtual krPtrHandle<kr2XformBase> clone() const = 0;

    void dispatchSerialize(krArchive& ar) override;

protected:
    kr2XformBase() = default;
    kr2XformBase(const kr2XformBase&) = default;
    kr2XformBase& operator=(const kr2XformBase&) = default;
};

// Any affine transform: p -> matrix * p + trans. The default is the identity.
// Record: version 0, the base level, the matrix elements (0,0), (0,1), (1,0),
// (1,1) as doubles, the translation.
class kr2XformLinear : public kr2XformBase {
public:
    kr2XformLinear() = default;
    explicit kr2XformLinear(const krXform<2>& xform) : xform_(xform) {}

    const krXform<2>& xform() const { return xform_; }

    krVector<2> mapPoint(const krVector<2>& p) const override { return xform_ * p; }
    krPtrHandle<kr2XformBase> inverseBase() const override;
    krPtrHandle<kr2XformBase> clone() const override;

    void dispatchSerialize(krArchive& ar) override;

private:
    krXform<2> xform_;

    static krPersistent* make();
    static kr_Instantiator sExemplar;
};

// A rotation about the origin followed by a translation: p -> R(angle) p + trans.
// Keeps the angle in degrees as it was given. Record: version 0, the base
// level, the angle in degrees (double), the translation.
class kr2Rigid : public kr2XformBase {
public:
    kr2Rigid() = default;
    kr2Rigid(const krDegree& angle, const krVector<2>& trans);

    krDegree angle() const { return angle_; }
    const krVector<2>& trans() const { return xform_.trans(); }

    krVector<2> mapPoint(const krVector<2>& p) const override { return xform_ * p; }
    // The rigid transform with the opposite angle that undoes this one.
    krPtrHandle<kr2XformBase> inverseBase() const override;
    krPtrHandle<kr2XformBase> clone() const override;

    void dispatchSerialize(krArchive& ar) override;

private:
    krDegree angle_;
    krXform<2> xform_;  // the rotation matrix and translation, made from angle_

    static krPersistent* make();
    static kr_Instantiator sExemplar;
};

#endif
