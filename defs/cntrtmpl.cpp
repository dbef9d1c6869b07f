#include "defs/cntrtmpl.h"

#include "cntr/flags.h"
#include "platform/std/archive.h"

namespace {

// Where the template records' version errors say they come from.
// Frozen: the place and line numbers are part of the archive format; they
// name throw sites that readers of the format know, not lines of this file,
// and never follow edits here.
const char* const kTemplateSource = "defs/cntrtmpl";
const long kEdgeletContourLine = 98;     // the edgelet contour level
const long kEdgeletRegionLine = 186;     // the edgelet region level
const long kEdgeletRegionSetLine = 283;  // the edgelet region set level

krPtrHandle<kr2XformBase> cloneOrIdentity(const krPtrHandle_const<kr2XformBase>& xform) {
    return xform ? xform->clone() : krPtrHandle<kr2XformBase>(new kr2XformLinear());
}

}  // namespace

// ---------------------------------------------------------------------------
// The edgelet contour.

krContourT<krEdgelet>::krContourT() : krContour(Points(), knFlags::kClosed, 0) {}

krContourT<krEdgelet>::krContourT(const Data& data)
    : krContour(Points(), knFlags::kClosed, 0), xform(new kr2XformLinear()), data_(data) {
    makePointsConsistentWithData();
}

krContourT<krEdgelet>::krContourT(const Data& data, const krPtrHandle_const<kr2XformBase>& xform)
    : krContour(Points(), knFlags::kClosed, 0), xform(cloneOrIdentity(xform)), data_(data) {
    makePointsConsistentWithData();
}

krContourT<krEdgelet>::krContourT(const krContourT& other)
    : krPersistent(), krRepBase(), krContour(other), xform(other.xform), data_(other.data_),
      inverseValid(other.inverseValid), inverse(other.inverse) {}

krContourT<krEdgelet>& krContourT<krEdgelet>::operator=(const krContourT& other) {
    krContour::operator=(other);
    takeEdgeletPart(other);
    return *this;
}

void krContourT<krEdgelet>::takeEdgeletPart(const krContourT& other) {
    xform = other.xform;
    data_ = other.data_;
    inverseValid = other.inverseValid;
    inverse = other.inverse;
}

krContourT<krEdgelet>::~krContourT() = default;

void krContourT<krEdgelet>::data(const Data& v) {
    data_ = v;
    makePointsConsistentWithData();
}

// Maps through the held transform directly: taking a handle per call would
// cost two interlocked operations per vertex.
krEdgelet krContourT<krEdgelet>::datum(const krVector<2>& p) const {
    if (!xform) throw krBadPointer();
    return krEdgelet(xform->mapPoint(p), 0, krAngle8(0));
}

// The inverse is computed once per transform; a failure (a singular
// transform) leaves it invalid, so the next call tries again and fails alike.
const kr2XformBase& krContourT<krEdgelet>::inverseXform() const {
    if (!inverseValid) {
        if (!xform) throw krBadPointer();
        inverse = xform->inverseBase();
        inverseValid = true;
    }
    return *inverse;
}

krVector<2> krContourT<krEdgelet>::point(const krEdgelet& e) const {
    return inverseXform().mapPoint(e.position());
}

bool krContourT<krEdgelet>::operator==(const krContourT& other) const {
    return points_ == other.points_ && xform.get() == other.xform.get();
}

void krContourT<krEdgelet>::mapT(const krXform<2>&, krContourT&) const { throw krPel::BadWindow(); }

void krContourT<krEdgelet>::convexHullT(krRegionT<krEdgelet>&) const {
    throw krPel::BadWindow();
}

// Without a transform this throws krBadPointer with the caches and the
// edgelets already gone (for a non-empty point list).
void krContourT<krEdgelet>::makeDataConsistentWithPoints() {
    cleanCacheInfo();
    data_.clear();
    data_.reserve(points_.size());
    for (const krVector<2>& p : points_) data_.push_back(datum(p));
}

// The new list is moved in rather than copied by setPoints: the same
// effect (caches dropped, no hook), one pass over a million points less.
void krContourT<krEdgelet>::makePointsConsistentWithData() {
    cleanCacheInfo();
    Points list;
    list.reserve(data_.size());
    for (const krEdgelet& e : data_) list.push_back(point(e));
    cleanCacheInfo();
    points_.swap(list);
}

// ---- archive ----

krPersistent* krContourT<krEdgelet>::make() { return new krContourT<krEdgelet>(); }

krContourT<krEdgelet>::Instantiator krContourT<krEdgelet>::sExemplar("krContourT<krEdgelet>");

void krContourT<krEdgelet>::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<krContourT<krEdgelet>*>(this), sizeof(krContourT<krEdgelet>), 1,
                     [&](unsigned char version) { krContourT<krEdgelet>::serialize_(ar, version); });
}

void krContourT<krEdgelet>::serialize_(krArchive& ar, unsigned char version) {
    if (version > 1) throw krArchive::UnknownVersion(kTemplateSource, kEdgeletContourLine);
    kfSerializeFields(
        ar,
        [&] {
            krContour::dispatchSerialize(ar);
            kfSerializeList(ar, data_);
            if (version == 1) kfSerializeHandle(ar, xform);
        },
        // Whatever the load brought (a new transform, or none read yet), the
        // kept inverse may no longer match it. The contour record has dropped
        // the contour's caches itself.
        [&] { inverseValid = false; });
}

// ---------------------------------------------------------------------------
// The edgelet region. The contour part is the shared virtual base, built here
// empty and closed; the edgelet part then fills its points, and the region
// part, built from no points as is, leaves them in place.

krRegionT<krEdgelet>::krRegionT()
    : krContour(Points(), knFlags::kClosed, 0), krContourT<krEdgelet>(), krRegion(Points(), krContourDefs::eAsIs) {}

krRegionT<krEdgelet>::krRegionT(const Data& data, unsigned long label)
    : krContour(Points(), knFlags::kClosed, 0), krContourT<krEdgelet>(data), krRegion(Points(), krContourDefs::eAsIs) {
    krContour::label(label);
}

krRegionT<krEdgelet>::krRegionT(const Data& data, const krPtrHandle_const<kr2XformBase>& xform,
                                unsigned long label)
    : krContour(Points(), knFlags::kClosed, 0), krContourT<krEdgelet>(data, xform), krRegion(Points(), krContourDefs::eAsIs) {
    krContour::label(label);
}

krRegionT<krEdgelet>::krRegionT(const krContourT<krEdgelet>& contour, unsigned long label)
    : krContour(Points(), knFlags::kClosed, 0), krContourT<krEdgelet>(), krRegion(Points(), krContourDefs::eAsIs) {
    takeEdgeletPart(contour);
    makePointsConsistentWithData();
    krContour::label(label);
}

krRegionT<krEdgelet>::krRegionT(const krRegionT& other)
    : krPersistent(), krRepBase(), krContour(other), krContourT<krEdgelet>(other), krRegion(other),
      holesT(other.holesT) {}

krRegionT<krEdgelet>& krRegionT<krEdgelet>::operator=(const krRegionT& other) {
    krContourT<krEdgelet>::operator=(other);
    krRegion::operator=(other);
    holesT = other.holesT;
    return *this;
}

krRegionT<krEdgelet>::~krRegionT() = default;

void krRegionT<krEdgelet>::holes(const HolesT& v) {
    holesT = v;
    cleanCacheInfo();
}

// The stroke runs across the edgelet's direction: the direction turned back a
// quarter turn (64 units), in degrees, gives one end at +0.5 and the other at
// -0.5 (half a turn on). The angle and centre go through a rigid transform
// and come back out of it, as every drawing of a placed mark does.
void krRegionT<krEdgelet>::draw(krUITablet& tablet, const krColor& color,
                                const krUITablet::Layers& layers) const {
    const double kDegreesPerUnit = 360.0 / krAngle8::kUnitsPerTurn;  // 1.40625
    const double kRadiansPerDegree = 0.017453292519943295;
    for (const krEdgelet& e : data_) {
        const unsigned char back = static_cast<unsigned char>(e.angle().value() - 64);
        const kr2Rigid placed(krDegree(back * kDegreesPerUnit), e.position());
        const double theta = placed.angle().toDouble();
        const krVector<2> c = placed.trans();
        const krVector<2> p1 = c + krVector<2>(0.5, krRadian(theta * kRadiansPerDegree));
        const krVector<2> p2 = c + krVector<2>(0.5, krRadian((theta + 180.0) * kRadiansPerDegree));
        tablet.drawLineSeg(krPair<double>(krXform<2>::I * p1), krPair<double>(krXform<2>::I * p2), color,
                           layers);
    }
}

void krRegionT<krEdgelet>::mapT(const krXform<2>&, krRegionT&) const { throw krPel::BadWindow(); }

void krRegionT<krEdgelet>::regularizeT(krRegionT&) const { throw krPel::BadWindow(); }

krPersistent* krRegionT<krEdgelet>::make() { return new krRegionT<krEdgelet>(); }

krRegionT<krEdgelet>::Instantiator krRegionT<krEdgelet>::sExemplar("krRegionT<krEdgelet>");

void krRegionT<krEdgelet>::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<krRegionT<krEdgelet>*>(this), sizeof(krRegionT<krEdgelet>), 0,
                     [&](unsigned char version) { krRegionT<krEdgelet>::serialize_(ar, version); });
}

void krRegionT<krEdgelet>::serialize_(krArchive& ar, unsigned char version) {
    if (version != 0) throw krArchive::UnknownVersion(kTemplateSource, kEdgeletRegionLine);
    krRegion::dispatchSerialize(ar);
}
// ---------------------------------------------------------------------------
// The edgelet region set.

krRegionSetT<krEdgelet>::krRegionSetT() : krRegionSet(Regions(), krContourDefs::eAsIs) { krRegionSet::cleanCacheInfo(); }

krRegionSetT<krEdgelet>::krRegionSetT(const RegionsT& v) : krRegionSet(Regions(), krContourDefs::eAsIs), regionsT_(v) {
    makePointsConsistentWithData();
}

krRegionSetT<krEdgelet>::krRegionSetT(std::vector<krPtrHandle<krRegionT<krEdgelet>>> v)
    : krRegionSetT(RegionsT(v.begin(), v.end())) {}

krRegionSetT<krEdgelet>::krRegionSetT(const krRegionSetT& other)
    : krPersistent(), krRepBase(), krRegionSet(other), regionsT_(other.regionsT_) {}

krRegionSetT<krEdgelet>& krRegionSetT<krEdgelet>::operator=(const krRegionSetT& other) {
    krRegionSet::operator=(other);
    regionsT_ = other.regionsT_;
    return *this;
}

krRegionSetT<krEdgelet>::~krRegionSetT() = default;

void krRegionSetT<krEdgelet>::mapT(const krXform<2>&, krRegionSetT&) const { throw krPel::BadWindow(); }

void krRegionSetT<krEdgelet>::regularizeT(krRegionSetT&) const { throw krPel::BadWindow(); }

// The plain list holds the region part of the very same objects.
void krRegionSetT<krEdgelet>::makePointsConsistentWithData() {
    cleanCacheInfo();
    setRegions(Regions(regionsT_.begin(), regionsT_.end()));
}

// Only outer boundaries carry over. Each new edgelet region holds an identity
// transform of its own (a region made bare would hold none and could not map
// its points to edgelets), so its edgelets sit at the boundary's points.
void krRegionSetT<krEdgelet>::makeDataConsistentWithPoints() {
    cleanCacheInfo();
    regionsT_.resize(regions_.size());
    for (std::size_t i = 0; i < regions_.size(); ++i) {
        if (!regions_[i]) throw krBadPointer();
        krPtrHandle<krRegionT<krEdgelet>> r(
            new krRegionT<krEdgelet>(krRegionT<krEdgelet>::Data(), krPtrHandle_const<kr2XformBase>(), 0));
        r->points(regions_[i]->points());
        regionsT_[i] = r;
    }
}

krPersistent* krRegionSetT<krEdgelet>::make() { return new krRegionSetT<krEdgelet>(); }

krRegionSetT<krEdgelet>::Instantiator krRegionSetT<krEdgelet>::sExemplar("krRegionSetT<krEdgelet>");

void krRegionSetT<krEdgelet>::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<krRegionSetT<krEdgelet>*>(this), sizeof(krRegionSetT<krEdgelet>), 0,
                     [&](unsigned char version) { krRegionSetT<krEdgelet>::serialize_(ar, version); });
}

void krRegionSetT<krEdgelet>::serialize_(krArchive& ar, unsigned char version) {
    if (version != 0) throw krArchive::UnknownVersion(kTemplateSource, kEdgeletRegionSetLine);
    krRegionSet::dispatchSerialize(ar);
    kfSerializeHandleList(ar, regionsT_);
}
