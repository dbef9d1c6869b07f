// Shapes that keep edgelets beside their points: the edgelet contour (and,
// built on it, the edgelet region and region set). Only the krEdgelet
// instantiations exist; the library holds them, so users link them.
#ifndef QEL_DEFS_CNTRTMPL_H
#define QEL_DEFS_CNTRTMPL_H

#include <typeinfo>
#include <vector>

#include "cntr/contour.h"
#include "cntr/region.h"
#include "cntr/regionset.h"
#include "platform/disp/tablet.h"
#include "platform/ip/edgelet.h"
#include "platform/std/handle.h"
#include "platform/std/persistent.h"
#include "platform/std/xform.h"
#include "platform/std/xform2.h"

// The registry entry of one of the template classes: its factory under the
// given name.
template <class C>
class kr_TemplateInstantiator : public kr_Instantiator {
public:
    explicit kr_TemplateInstantiator(const char* name) : kr_Instantiator(typeid(C), &C::make, name) {}
};

template <class T>
class krContourT;
template <class T>
class krRegionT;
template <class T>
class krRegionSetT;

// A contour whose vertices stand for edgelets. It keeps the edgelets (its
// data) in vertex order and a transform from contour points to edgelet
// positions; points are the edgelet positions mapped back through the
// transform's inverse. Whichever side changes, the other is rebuilt from it:
// data(v) remakes the points, points(v) remakes the edgelets, as synthetic
// ones with magnitude 0 and angle 0 (the real ones are gone once the points
// move). Everything else is the plain contour working on its points.
//
// Copies share the transform object, which is never changed once held; a
// constructor given a transform keeps its own clone. Without a transform
// (default-made, or loaded from an old record) nothing can be mapped, and
// every step that needs to map throws krBadPointer.
template <>
class krContourT<krEdgelet> : public virtual krContour {
public:
    typedef std::vector<krEdgelet> Data;

    // Empty, closed, label 0, no transform and no edgelets.
    krContourT();
    // The edgelets under the identity; the points are their positions.
    explicit krContourT(const Data& data);
    // The edgelets under a clone of xform (the identity for a null handle).
    krContourT(const Data& data, const krPtrHandle_const<kr2XformBase>& xform);
    krContourT(const krContourT& other);
    krContourT& operator=(const krContourT& other);
    ~krContourT() override;

    // Record, version 1: the contour record, the edgelet list, the transform as
    // a shared object. Version 0 has no transform; loading it keeps the one
    // the object had. Points and edgelets are loaded as stored, unchecked.
    void dispatchSerialize(krArchive& ar) override;

    const Data& data() const { return data_; }
    // Stores v and remakes the points from it.
    void data(const Data& v);
    // The transform from contour points to edgelet positions (null if none).
    krPtrHandle_const<kr2XformBase> dataFromPointsXform() const { return xform; }
    // The synthetic edgelet standing for contour point p: at the mapped
    // position, magnitude 0, angle 0.
    krEdgelet datum(const krVector<2>& p) const;
    // The contour point standing for e. The inverse transform is computed on
    // first use and kept; a singular transform throws krMathError::Singular
    // each time it is asked.
    krVector<2> point(const krEdgelet& e) const;

    // Same points in order (compared with ==) and the very same transform
    // object; two transforms equal in value but made apart never match.
    // Closedness, label and edgelets are not compared.
    bool operator==(const krContourT& other) const;
    bool operator!=(const krContourT& other) const { return !(*this == other); }

    // Not supported for edgelet contours: krPel::BadWindow, nothing changes.
    void mapT(const krXform<2>& xform, krContourT& result) const;
    void convexHullT(krRegionT<krEdgelet>& result) const;

    static krPersistent* make();
    typedef kr_TemplateInstantiator<krContourT<krEdgelet>> Instantiator;
    static Instantiator sExemplar;

protected:
    // Rebuild the edgelets from the points, or the points from the edgelets.
    void makeDataConsistentWithPoints() override;
    void makePointsConsistentWithData() override;
    void serialize_(krArchive& ar, unsigned char version) override;
    // Takes other's edgelets, its transform (shared) and its kept inverse.
    void takeEdgeletPart(const krContourT& other);

    krPtrHandle<kr2XformBase> xform;
    Data data_;
    mutable bool inverseValid = false;
    mutable krPtrHandle<kr2XformBase> inverse;

private:
    const kr2XformBase& inverseXform() const;
};

// A region whose outer boundary is an edgelet contour. Beside the plain holes
// of the region part it keeps a list of edgelet holes, which nothing derives
// from the plain list or the plain list from it; every measure uses the plain
// holes. It draws its edgelets, not its boundary.
template <>
class krRegionT<krEdgelet> : public krContourT<krEdgelet>, public krRegion {
public:
    typedef std::vector<krPtrHandle_const<krRegionT<krEdgelet>>> HolesT;

    // Empty, with no transform and no edgelets.
    krRegionT();
    // The edgelets under the identity (or under a clone of xform, the
    // identity for a null handle); the points are made from them.
    krRegionT(const Data& data, unsigned long label);
    krRegionT(const Data& data, const krPtrHandle_const<kr2XformBase>& xform, unsigned long label);
    // The contour's edgelets, its transform (shared) and its kept inverse;
    // the points are remade from the edgelets.
    krRegionT(const krContourT<krEdgelet>& contour, unsigned long label);
    krRegionT(const krRegionT& other);
    krRegionT& operator=(const krRegionT& other);
    ~krRegionT() override;

    // Record, version 0: the whole region record. The edgelets, the transform
    // and the edgelet holes are not stored; loading keeps the ones the object has.
    void dispatchSerialize(krArchive& ar) override;

    bool isClosed() const override { return krRegion::isClosed(); }
    void isClosed(bool c) override { krRegion::isClosed(c); }

    // The edgelet holes. Setting them drops the caches; they are not checked
    // and the plain holes stay as they are.
    const HolesT& holes() const { return holesT; }
    void holes(const HolesT& v);

    // The edgelet contours compared: same points, same transform object.
    bool operator==(const krRegionT& other) const { return krContourT<krEdgelet>::operator==(other); }
    bool operator!=(const krRegionT& other) const { return !(*this == other); }

    // Each edgelet as a stroke of length 1 centred on its position (as stored,
    // in the edgelet frame), across its direction. Holes are not drawn. The
    // boundary is drawn with the contour's draw, which stays visible.
    using krRegion::draw;
    void draw(krUITablet& tablet, const krColor& color, const krUITablet::Layers& layers) const override;

    // Not supported for edgelet regions: krPel::BadWindow, nothing changes.
    void mapT(const krXform<2>& xform, krRegionT& result) const;
    void regularizeT(krRegionT& result) const;

    static krPersistent* make();
    typedef kr_TemplateInstantiator<krRegionT<krEdgelet>> Instantiator;
    static Instantiator sExemplar;

protected:
    void serialize_(krArchive& ar, unsigned char version) override;
    void makeDataConsistentWithPoints() override { krContourT<krEdgelet>::makeDataConsistentWithPoints(); }
    void makePointsConsistentWithData() override { krContourT<krEdgelet>::makePointsConsistentWithData(); }
    void cleanCacheInfo() override { krRegion::cleanCacheInfo(); }

    HolesT holesT;
};

// A region set that keeps, beside its plain regions, the edgelet regions they
// stand for. Built from edgelet regions, both lists hold the same objects.
// Changing the plain list (regions(...), add(...)) remakes the edgelet list
// from the outer boundaries only: each new edgelet region gets a new identity
// transform, so its edgelets are synthetic ones at the boundary's points.
template <>
class krRegionSetT<krEdgelet> : public krRegionSet {
public:
    typedef std::vector<krPtrHandle_const<krRegionT<krEdgelet>>> RegionsT;

    krRegionSetT();
    // The plain list is made of the same objects; no repair is applied.
    krRegionSetT(const RegionsT& v);
    krRegionSetT(std::vector<krPtrHandle<krRegionT<krEdgelet>>> v);
    krRegionSetT(const krRegionSetT& other);
    krRegionSetT& operator=(const krRegionSetT& other);
    ~krRegionSetT() override;

    // Record, version 0: the whole region-set record, then the edgelet regions
    // as a list of shared objects. No consistency step runs after a load.
    void dispatchSerialize(krArchive& ar) override;

    RegionsT regionsT() const { return regionsT_; }

    // The plain lists compared, as for every region set.
    bool operator==(const krRegionSetT& other) const { return krRegionSet::operator==(other); }
    bool operator!=(const krRegionSetT& other) const { return !(*this == other); }

    // Not supported for edgelet region sets: krPel::BadWindow, nothing changes.
    void mapT(const krXform<2>& xform, krRegionSetT& result) const;
    void regularizeT(krRegionSetT& result) const;

    static krPersistent* make();
    typedef kr_TemplateInstantiator<krRegionSetT<krEdgelet>> Instantiator;
    static Instantiator sExemplar;

protected:
    void serialize_(krArchive& ar, unsigned char version) override;
    // Plain regions from the edgelet regions, and edgelet regions from the plain ones.
    void makeDataConsistentWithPoints() override;
    void makePointsConsistentWithData() override;
    void cleanCacheInfo() override { krRegionSet::cleanCacheInfo(); }

    RegionsT regionsT_;
};

#endif
