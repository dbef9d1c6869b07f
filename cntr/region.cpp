#include "cntr/region.h"

#include <algorithm>
#include <cmath>

#include "cntr/moments.h"
#include "cntr/raygap.h"
#include "platform/std/archive.h"

// ---------------------------------------------------------------------------
// Construction, copying, comparison.

namespace {
// What every constructor does after building the contour part.
void applyMode(krRegion& r, krContourDefs::IntersectionMode mode) {
    if (mode == krContourDefs::eOuterHull)
        r.outerHull(r);
    else if (mode == krContourDefs::eRegularize)
        r.regularize(r);
    // Any other value leaves the boundary as passed.
}
}  // namespace

krRegion::krRegion(const Points& points, krContourDefs::IntersectionMode mode)
    : krContour(points, true, 0) {
    cleanCacheInfo();
    applyMode(*this, mode);
}

krRegion::krRegion(const krPolygon& polygon, krContourDefs::IntersectionMode mode)
    : krContour(polygon, 0) {
    closed = true;
    cleanCacheInfo();
    applyMode(*this, mode);
}

krRegion::krRegion(const krContour& contour, krContourDefs::IntersectionMode mode)
    : krContour(contour) {
    // The stored flag follows the region's rule, so the contour record of a
    // region always says closed.
    closed = true;
    cleanCacheInfo();
    applyMode(*this, mode);
}

krRegion::krRegion(const krRegion& other)
    : krPersistent(), krRepBase(), krContour(Points(), true, 0) {
    *this = other;
}

krRegion::~krRegion() = default;

krRegion& krRegion::operator=(const krRegion& other) {
    if (&other == this) return *this;
    // Copies first, then the contour part (which changes nothing when it
    // fails), then moves that cannot throw.
    Holes holes = other.holes_;
    Caches caches = other.regionCache_;
    krContour::operator=(other);
    holes_.swap(holes);
    regionCache_ = std::move(caches);
    return *this;
}

bool krRegion::operator==(const krRegion& other) const { return krContour::operator==(other); }

void krRegion::draw(krUITablet&, const krColor&, const krUITablet::Layers&) const {}

// ---------------------------------------------------------------------------
// Closedness, holes, caches.

bool krRegion::isClosed() const { return true; }

void krRegion::isClosed(bool c) {
    if (!c) throw krContourDefs::RegionCannotBeSetOpen();
}

void krRegion::holes(const Holes& v) {
    // The caches go even when a hole is refused: callers rely on a fresh start.
    cleanCacheInfo();
    makeDataConsistentWithPoints();
    for (const auto& h : v) {
        if (!h) throw krBadPointer();
        if (!krContour::intersections(*h).empty())
            throw krContourDefs::BadParams(L"holes cannot intersect region");
    }
    holes_ = v;
}

void krRegion::holes(const std::vector<krPtrHandle<krRegion>>& v) {
    holes(Holes(v.begin(), v.end()));
}

void krRegion::cleanCacheInfo() {
    krContour::cleanCacheInfo();
    regionCache_ = Caches();
}

void krRegion::checkEmptyContour() const {
    if (points().size() < 3) throw krContourDefs::EmptyContour();
}

// ---------------------------------------------------------------------------
// Area and moments. Each hole counts by its outer boundary alone, through its
// own caches.

namespace {
const krRegion& holeAt(const krRegion::Holes& holes, std::size_t i) {
    if (!holes[i]) throw krBadPointer();
    return *holes[i];
}
}  // namespace

double krRegion::area(bool considerHoles) const {
    checkEmptyContour();
    if (!considerHoles) {
        if (!regionCache_.areaValid) {
            regionCache_.area = kf_Area(points());
            regionCache_.areaValid = true;
        }
        return regionCache_.area;
    }
    if (regionCache_.areaHolesValid) return regionCache_.areaHoles;
    double a = area(false);
    // No test that a hole lies inside: every hole's area is taken away.
    for (std::size_t i = 0; i < holes_.size(); ++i) a -= holeAt(holes_, i).area(false);
    regionCache_.areaHoles = a;
    regionCache_.areaHolesValid = true;
    return a;
}

krVector<2> krRegion::centerOfMass(bool considerHoles) const {
    checkEmptyContour();
    if (!considerHoles || holes_.empty()) {
        if (!regionCache_.comValid) {
            regionCache_.com = kf_CenterOfMass(points());
            regionCache_.comValid = true;
        }
        return regionCache_.com;
    }
    if (regionCache_.comHolesValid) return regionCache_.comHoles;
    double a = area(false), summed = a;
    krVector<2> s = centerOfMass(false) * a;
    for (std::size_t i = 0; i < holes_.size(); ++i) {
        const krRegion& h = holeAt(holes_, i);
        const double ha = h.area(false);
        s = s - h.centerOfMass(false) * ha;
        a -= ha;
        summed += ha;
    }
    // Holes that take away the whole area leave no surface to weigh. What the
    // subtraction leaves of it is then only the rounding of the areas taken
    // away (a few ulps of their sum), and dividing by that would put the
    // centre anywhere, so the caller hears about it instead.
    if (std::fabs(a) <= 1e-12 * summed)
        throw krContourDefs::BadParams(L"holes cancel the area of the region");
    regionCache_.comHoles = s * (1.0 / a);
    regionCache_.comHolesValid = true;
    return regionCache_.comHoles;
}

krMatrix<2> krRegion::inertiaMatrix(bool considerHoles) const {
    checkEmptyContour();
    if (considerHoles && !holes_.empty())
        throw krContourDefs::BadParams(L"inertiaMatrix(considerHoles) is not implemented");
    if (!regionCache_.inertiaValid) {
        regionCache_.inertia = kf_InertiaDataPolygon(points()).inertiaMatrix();
        regionCache_.inertiaValid = true;
    }
    return regionCache_.inertia;
}

// ---------------------------------------------------------------------------
// Point queries. None of them keeps a result in the region; the contour
// queries they stand on fill the contours' own caches.

bool krRegion::inside(const krVector<2>& p, bool considerHoles) const {
    const bool in = insideCount(p, false) % 2 != 0;
    if (!in || !considerHoles) return in;
    // Each hole answers with its own holes, so an island in a hole is inside.
    for (std::size_t i = 0; i < holes_.size(); ++i)
        if (holeAt(holes_, i).inside(p, true)) return false;
    return true;
}

double krRegion::distToPoint(const krVector<2>& p, bool vertexOnly, bool considerHoles,
                             bool zeroInside) const {
    if (zeroInside && inside(p, considerHoles)) return 0.0;
    return p.distance(closestPoint(p, vertexOnly, considerHoles));
}

krVector<2> krRegion::closestPoint(const krVector<2>& p, bool vertexOnly,
                                   bool considerHoles) const {
    if (vertexOnly) {
        long which = -1;
        const long k = closestVertexIndex(p, considerHoles, which);
        const krRegion& owner = which < 0 ? *this : *holes_[static_cast<std::size_t>(which)];
        return owner.points()[static_cast<std::size_t>(k)];
    }
    // Every hole is tried, whatever considerHoles says; only a strictly nearer
    // point replaces the candidate, so ties stay with the outer boundary.
    krVector<2> best = krContour::closestPoint(p, false);
    double bestDist = p.distance(best);
    for (std::size_t i = 0; i < holes_.size(); ++i) {
        const krVector<2> q = holeAt(holes_, i).krContour::closestPoint(p, false);
        const double d = p.distance(q);
        if (d < bestDist) {
            best = q;
            bestDist = d;
        }
    }
    return best;
}

long krRegion::closestVertexIndex(const krVector<2>& p) const {
    return krContour::closestVertexIndex(p);
}

long krRegion::closestVertexIndex(const krVector<2>& p, bool considerHoles, long& which) const {
    which = -1;
    long best = krContour::closestVertexIndex(p);
    if (!considerHoles || holes_.empty()) return best;
    double bestDist = p.distance(points()[static_cast<std::size_t>(best)]);
    for (std::size_t i = 0; i < holes_.size(); ++i) {
        const krRegion& h = holeAt(holes_, i);
        const long k = h.krContour::closestVertexIndex(p);
        const double d = p.distance(h.points()[static_cast<std::size_t>(k)]);
        if (d < bestDist) {
            best = k;
            bestDist = d;
            which = static_cast<long>(i);
        }
    }
    return best;
}

std::vector<krVector<2>> krRegion::intersections(const krLineSeg& seg, bool includeEnds,
                                                 bool considerHoles) const {
    std::vector<krVector<2>> out = krContour::intersections(seg, includeEnds);
    if (!considerHoles) return out;
    for (std::size_t i = 0; i < holes_.size(); ++i) {
        const std::vector<krVector<2>> h = holeAt(holes_, i).krContour::intersections(seg, includeEnds);
        out.insert(out.end(), h.begin(), h.end());
    }
    return out;
}

std::vector<krVector<2>> krRegion::intersections(const krContour& other,
                                                 bool considerHoles) const {
    std::vector<krVector<2>> out = krContour::intersections(other);
    if (!considerHoles) return out;
    for (std::size_t i = 0; i < holes_.size(); ++i) {
        const std::vector<krVector<2>> h = holeAt(holes_, i).krContour::intersections(other);
        out.insert(out.end(), h.begin(), h.end());
    }
    return out;
}

// ---------------------------------------------------------------------------
// The inside test casts a ray from the point through a wide enough gap
// between the directions to the vertices, so that it leaves between vertices
// and no vertex on the ray can make the count ambiguous.

long krRegion::insideCount(const krVector<2>& p, bool twoRays) const {
    if (!encloseRect(krXform<2>::I).within(p)) return 0;
    const kr_RayDirection ray = kf_RayDirection(points(), p);
    if (ray.onVertex) return 1;  // on a vertex: one crossing
    return rayCount(p, ray.direction, twoRays);
}

long krRegion::rayCount(const krVector<2>& p, const krVector<2>& dir, bool twoRays) const {
    // Twice the radius of a circle around every vertex reaches past the
    // boundary from any point of the bounding rectangle.
    const double r = 2.0 * encloseCircle(krContourDefs::eFast).radius();
    const auto count = [&](const krVector<2>& far) { return crossingCount(krLineSeg(p, far)); };
    const long c = count(p + dir * r);
    return twoRays ? std::min(c, count(p - dir * r)) : c;
}

// ---------------------------------------------------------------------------
// Archive record. Version 1 is written: the contour record, then the hole
// list as shared references. Version 0, from older files, had a legacy base
// level, the point list, a byte nobody reads and cachedVectorSize.

namespace {

// Where the region record's version errors say they come from.
const char* const kRegionSource = "src/tarn/cntr/region";

// The legacy level of version-0 region records. It holds nothing: each such
// level is read into one scratch object and dropped.
class krContourBase2 : public virtual krPersistent, public virtual krRepBase {
public:
    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<krContourBase2*>(this), sizeof(krContourBase2), 0,
                         [&](unsigned char version) {
                             if (version != 0) throw krArchive::UnknownVersion(kRegionSource, 809);
                             krPersistent::dispatchSerialize(ar);
                         });
    }
};

krContourBase2& legacyRegionBase() {
    static krContourBase2 scratch;
    return scratch;
}

}  // namespace

krPersistent* krRegion::make() { return new krRegion(); }

kr_Instantiator krRegion::sExemplar(typeid(krRegion), &krRegion::make, "krRegion");

void krRegion::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<krRegion*>(this), sizeof(krRegion), 1,
                     [&](unsigned char version) { krRegion::serialize_(ar, version); });
}

void krRegion::serialize_(krArchive& ar, unsigned char version) {
    if (version > 1) throw krArchive::UnknownVersion(kRegionSource, 819);
    kfSerializeFields(
        ar,
        [&] {
            if (version == 1) {
                krContour::dispatchSerialize(ar);
                kfSerializeHandleList(ar, holes_);
                return;
            }
            {
                // Fresh visited marks, so that a second version-0 record within
                // one object's operation reads its own legacy level too.
                krArchive::ObjectScope fresh;
                legacyRegionBase().dispatchSerialize(ar);
            }
            kfSerializeList(ar, points_);
            unsigned char dropped = 0;
            ar || dropped || cachedVectorSize_;
            label_ = 0;
        },
        [&] {
            closed = true;  // a region is closed whatever the contour record said
            cleanCacheInfo();
        });
}
