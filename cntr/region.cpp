#include "cntr/region.h"

#include <algorithm>
#include <cmath>

#include <unordered_map>
#include <unordered_set>

#include "cntr/support/foreachpoint.h"
#include "cntr/flags.h"
#include "cntr/moments.h"
#include "cntr/index/nearestindex.h"
#include "cntr/locate/ringinside.h"
#include "cntr/locate/ringlocator.h"
#include "cntr/locate/raydirection.h"
#include "cntr/support/tolerance.h"
#include "platform/std/archive.h"

using namespace qel::detail;

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
    : krContour(points, knFlags::kClosed, 0) {
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
    : krPersistent(), krRepBase(), krContour(Points(), knFlags::kClosed, 0) {
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
    auto& kept = regionCache_.measures[considerHoles].area;
    if (kept.valid) return kept.value;
    if (!considerHoles) return install(*this, kept, kf_Area(points()));
    double a = area(knFlags::kOuterOnly);
    // No test that a hole lies inside: every hole's area is taken away.
    for (std::size_t i = 0; i < holes_.size(); ++i) a -= holeAt(holes_, i).area(knFlags::kOuterOnly);
    return install(*this, kept, a);
}

krVector<2> krRegion::centerOfMass(bool considerHoles) const {
    checkEmptyContour();
    const bool withHoles = considerHoles && !holes_.empty();
    auto& kept = regionCache_.measures[withHoles].com;
    if (kept.valid) return kept.value;
    if (!withHoles) return install(*this, kept, kf_CenterOfMass(points()));
    double a = area(knFlags::kOuterOnly), summed = a;
    krVector<2> s = centerOfMass(knFlags::kOuterOnly) * a;
    for (std::size_t i = 0; i < holes_.size(); ++i) {
        const krRegion& h = holeAt(holes_, i);
        const double ha = h.area(knFlags::kOuterOnly);
        s = s - h.centerOfMass(knFlags::kOuterOnly) * ha;
        a -= ha;
        summed += ha;
    }
    // Holes that take away the whole area leave no surface to weigh. What the
    // subtraction leaves of it is then only the rounding of the areas taken
    // away (a few ulps of their sum), and dividing by that would put the
    // centre anywhere, so the caller hears about it instead.
    if (knTolerance::areasCancel(a, summed))
        throw krContourDefs::BadParams(L"holes cancel the area of the region");
    return install(*this, kept, s * (1.0 / a));
}

krMatrix<2> krRegion::inertiaMatrix(bool considerHoles) const {
    checkEmptyContour();
    if (considerHoles && !holes_.empty())
        throw krContourDefs::BadParams(L"inertiaMatrix(considerHoles) is not implemented");
    auto& kept = regionCache_.measures[false].inertia;
    if (kept.valid) return kept.value;
    return install(*this, kept, kf_InertiaDataPolygon(points()).inertiaMatrix());
}

// ---------------------------------------------------------------------------
// Point queries. None of them keeps a result in the region; the contour
// queries they stand on fill the contours' own caches.

double krRegion::distToPoint(const krVector<2>& p, bool vertexOnly, bool considerHoles,
                             bool zeroInside) const {
    NearestCursor at;
    return distToPointFrom(p, vertexOnly, considerHoles, zeroInside, at);
}

double krRegion::distToPointFrom(const krVector<2>& p, bool vertexOnly, bool considerHoles, bool zeroInside,
                                 NearestCursor& at) const {
    if (zeroInside && inside(p, considerHoles)) return 0.0;
    return p.distance(closestPointFrom(p, vertexOnly, considerHoles, at));
}

krVector<2> krRegion::closestPoint(const krVector<2>& p, bool vertexOnly,
                                   bool considerHoles) const {
    NearestCursor at;
    return closestPointFrom(p, vertexOnly, considerHoles, at);
}

krVector<2> krRegion::closestPointFrom(const krVector<2>& p, bool vertexOnly, bool considerHoles,
                                       NearestCursor& at) const {
    if (vertexOnly) {
        long which = -1;
        const long k = closestVertexIndex(p, considerHoles, which);
        const krRegion& owner = which < 0 ? *this : *holes_[static_cast<std::size_t>(which)];
        return owner.points()[static_cast<std::size_t>(k)];
    }
    // Every hole is tried, whatever considerHoles says; only a strictly nearer
    // point replaces the candidate, so ties stay with the outer boundary.
    krVector<2> best = krContour::closestPointFrom(p, knFlags::kAnyPoint, at);
    if (holes_.empty()) return best;
    double bestDist = p.distance(best);
    for (std::size_t i = 0; i < holes_.size(); ++i) {
        const krRegion& h = holeAt(holes_, i);
        if (h.nearestBeyond(p, bestDist)) continue;
        const krVector<2> q = h.krContour::closestPoint(p, knFlags::kAnyPoint);
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
        if (h.nearestBeyond(p, bestDist)) continue;
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
// The inside test. The answer is whether the point lies in the region, with
// the 1e-6 reach around the boundary counted in: ringInside decides it in
// one pass, and the ring's kept locator gives the same answer.

namespace qel::detail {

struct InsideIndex {
    RingLocator ring;
    // The holes by their boxes; null when they are walked in order (few
    // holes, or a null handle or a hole without a box among them).
    std::unique_ptr<BoxGrid> holes;

    InsideIndex(const krContour::Points& points, const krRect& box)
        : ring(points, Box::of(box)) {}
};

}  // namespace qel::detail

// The answers of the holes that have holes of their own: a hole shared by
// many regions of one nest is worked out once per call, so a nest of shared
// holes costs its number of distinct regions, not its number of paths.
struct krRegion::HoleAnswers {
    enum : char { kNo, kYes, kWorking };
    std::unordered_map<const krRegion*, char> known;
};

namespace {
// Below this many holes a walk over them is as quick as their index.
constexpr std::size_t kIndexedHoles = 4;
}  // namespace

// Built aside (it reads the holes' caches) and published once: a region
// shared by several owners may be asked from several threads, whose batch
// workers read the index the first one published.
void krRegion::buildInsideIndex() const {
    if (insideIndex()) return;
    auto index = std::make_shared<InsideIndex>(points(), encloseRect(krXform<2>::I));
    if (holes_.size() >= kIndexedHoles) {
        std::vector<Box> boxes;
        for (const auto& h : holes_) {
            // A null hole or one without a box throws when a walk reaches
            // it; only the walk keeps that order.
            if (!h || h->points().size() < 2) {
                boxes.clear();
                break;
            }
            const krRect r = h->encloseRect(krXform<2>::I);
            boxes.push_back(Box::of(r));
        }
        if (!boxes.empty()) index->holes = std::make_unique<BoxGrid>(std::move(boxes));
    }
    CacheLock lock(*this);
    if (regionCache_.insideBuilt) return;
    regionCache_.insideIndex = std::move(index);
    regionCache_.insideBuilt = true;
}

bool krRegion::outerInside(const krVector<2>& p) const {
    if (const InsideIndex* index = insideIndex())
        return index->ring.box().holds(p) && index->ring.inside(p);
    if (!encloseRect(krXform<2>::I).within(p)) return false;
    // A single query on a fresh region is one pass; a second one pays for
    // the index, which the rest then share.
    if (!regionCache_.insideAsked && !regionCache_.insideAsked.testAndSet())
        return ringInside(points().data(), points().size(), p);
    buildInsideIndex();
    return insideIndex()->ring.inside(p);
}

bool krRegion::insideWithHoles(const krVector<2>& p, HoleAnswers& answers) const {
    if (!outerInside(p)) return false;
    const auto holds = [&](std::size_t i) {
        const krRegion& h = holeAt(holes_, i);
        if (h.holes_.empty()) return h.outerInside(p);
        const auto seen = answers.known.emplace(&h, HoleAnswers::kWorking);
        if (!seen.second) {
            if (seen.first->second == HoleAnswers::kWorking)
                throw krContourDefs::BadParams(L"a region lies among its own holes");
            return seen.first->second == HoleAnswers::kYes;
        }
        const bool in = h.insideWithHoles(p, answers);
        answers.known[&h] = in ? HoleAnswers::kYes : HoleAnswers::kNo;
        return in;
    };
    const InsideIndex* index = insideIndex();
    if (index && index->holes) return !index->holes->any(p, holds);
    for (std::size_t i = 0; i < holes_.size(); ++i)
        if (holds(i)) return false;
    return true;
}

bool krRegion::inside(const krVector<2>& p, bool considerHoles) const {
    if (!considerHoles || holes_.empty()) return outerInside(p);
    HoleAnswers known;
    return insideWithHoles(p, known);
}

void krRegion::prepareInside(bool considerHoles) const {
    std::vector<const krRegion*> todo{this};
    std::unordered_set<const krRegion*> seen{this};
    while (!todo.empty()) {
        const krRegion& r = *todo.back();
        todo.pop_back();
        // Without two points there is no box; each query throws for itself.
        if (r.points().size() >= 2) r.buildInsideIndex();
        if (!considerHoles) break;
        for (const auto& h : r.holes_)
            if (h && seen.insert(h.get()).second) todo.push_back(h.get());
    }
}

std::vector<unsigned char> krRegion::insideMany(const std::vector<krVector<2>>& points,
                                        bool considerHoles) const {
    if (!points.empty()) prepareInside(considerHoles);
    return mapPoints<unsigned char>(points, [&](const krVector<2>& p) { return inside(p, considerHoles); });
}

std::vector<double> krRegion::distToPoints(const std::vector<krVector<2>>& points, bool vertexOnly,
                                      bool considerHoles, bool zeroInside) const {
    if (points.empty()) return {};
    if (zeroInside) prepareInside(considerHoles);
    prepareDistances();
    // Near points one after another, as the contour's batch takes them; the
    // hint is the outer boundary's.
    const auto distance = [&](const krVector<2>& p, NearestCursor& at) {
        return distToPointFrom(p, vertexOnly, considerHoles, zeroInside, at);
    };
    std::vector<std::uint32_t> order;
    if (!vertexOnly && nearestIndex()) order = NearestIndex::nearbyOrder(points);
    if (!order.empty()) return mapPointsInOrder<double>(points, order, NearestCursor(), distance);
    return mapPoints<double>(
        points, [&](const krVector<2>& p) { return distToPoint(p, vertexOnly, considerHoles, zeroInside); });
}

void krRegion::prepareDistances() const {
    prepareNearest();
    for (const auto& h : holes_)
        if (h) h->prepareNearest();
}

bool krRegion::beyond(const krVector<2>& p, double d) const {
    if (!nearestBeyond(p, d)) return false;
    // A null hole is left for the query itself to report.
    for (const auto& h : holes_)
        if (!h || !h->nearestBeyond(p, d)) return false;
    return true;
}

// The literal ray, kept for the repair's counts of crossings: it leaves
// through a wide gap between the directions to the vertices.
long krRegion::insideCount(const krVector<2>& p, bool twoRays) const {
    if (!encloseRect(krXform<2>::I).within(p)) return 0;
    const RayDirection ray = rayDirection(points(), p);
    if (ray.onVertex) return 1;  // on a vertex: one crossing
    return rayCount(p, ray.direction, twoRays);
}

long krRegion::rayCount(const krVector<2>& p, const krVector<2>& dir, bool twoRays) const {
    // From a point of the bounding rectangle every vertex, and so the whole
    // boundary, lies within the rectangle's diagonal d. A ray of 2d + 1 ends
    // at least d + 1 beyond the boundary, out of the 1e-6 reach of its far
    // end. (The enclosing circle's diameter is not enough: a point in a corner
    // of the rectangle can be farther than that from the boundary.)
    const double r = 2.0 * encloseRect(krXform<2>::I).size().len() + 1.0;
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
// Frozen: the place and line numbers are part of the archive format; they
// name throw sites that readers of the format know, not lines of this file,
// and never follow edits here.
const char* const kRegionSource = "src/tarn/cntr/region";
const long kRegionBaseLine = 809;  // the legacy base level of version-0 records
const long kRegionLine = 819;      // the region level

// The legacy level of version-0 region records. It holds nothing: each such
// level is read into one scratch object and dropped.
class krContourBase2 : public virtual krPersistent, public virtual krRepBase {
public:
    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<krContourBase2*>(this), sizeof(krContourBase2), 0,
                         [&](unsigned char version) {
                             if (version != 0)
                                 throw krArchive::UnknownVersion(kRegionSource, kRegionBaseLine);
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
    if (version > 1) throw krArchive::UnknownVersion(kRegionSource, kRegionLine);
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
