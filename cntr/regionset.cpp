#include "cntr/regionset.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <set>

#include "cntr/support/foreachpoint.h"
#include "cntr/index/anypaircrosses.h"
#include "cntr/index/boxgrid.h"
#include "cntr/flags.h"
#include "cntr/moments.h"
#include "cntr/repair/nodedboundary.h"
#include "cntr/support/tolerance.h"
#include "platform/std/archive.h"

using namespace qel::detail;

namespace {

// Where the region set record's version errors say they come from.
// Frozen: the place and line numbers are part of the archive format; they
// name throw sites that readers of the format know, not lines of this file,
// and never follow edits here.
const char* const kRegionSetSource = "src/tarn/cntr/regionst";
const long kRegionSetLine = 479;  // the region set level

// A region's outer boundary, whatever the region adds to the contour's members.
const krContour& outline(const krPtrHandle_const<krRegion>& r) { return *r; }

// Box of a region's outer boundary for the pairwise walks. Regions with fewer
// than three points stay wild, so that the region's own emptiness check runs
// where the plain walk would run it.
Box memberBox(const krPtrHandle_const<krRegion>& r) {
    return r ? pairBox(outline(r).points(), 3) : Box::everything();
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction, copying, the list.

krRegionSet::krRegionSet(const Regions& regions, krContourDefs::IntersectionMode mode)
    : regions_(regions) {
    initializePointers();
    cleanCacheInfo();
    applyMode(mode);
}

krRegionSet::krRegionSet(const std::vector<krPtrHandle<krRegion>>& regions,
                         krContourDefs::IntersectionMode mode)
    : krRegionSet(Regions(regions.begin(), regions.end()), mode) {}

krRegionSet::krRegionSet(const krRegionSet& other) : krPersistent(), krRepBase() {
    initializePointers();
    *this = other;
}

krRegionSet& krRegionSet::operator=(const krRegionSet& other) {
    if (&other == this) return *this;
    // Copies first, then moves that cannot throw: a failed copy changes nothing.
    Regions regions = other.regions_;
    Caches caches = other.cache_;
    regions_.swap(regions);
    cachedVectorSize_ = other.cachedVectorSize_;
    cache_ = std::move(caches);
    return *this;
}

krRegionSet::~krRegionSet() {
    deletePointers();
    cache_.outerHull = krPtrHandle_const<krRegionSet>();
    cache_.regularized = krPtrHandle_const<krRegionSet>();
}

void krRegionSet::initializePointers() { cache_.rectCache.reset(); }
void krRegionSet::deletePointers() { cache_.rectCache.reset(); }

void krRegionSet::applyMode(krContourDefs::IntersectionMode mode) {
    if (mode == krContourDefs::eOuterHull)
        outerHull(*this);
    else if (mode == krContourDefs::eRegularize)
        regularize(*this);
}

void krRegionSet::regions(const Regions& v, krContourDefs::IntersectionMode mode) {
    cleanCacheInfo();
    regions_ = v;
    makeDataConsistentWithPoints();
    applyMode(mode);
}

void krRegionSet::regions(const std::vector<krPtrHandle<krRegion>>& v,
                          krContourDefs::IntersectionMode mode) {
    regions(Regions(v.begin(), v.end()), mode);
}

void krRegionSet::add(const krPtrHandle_const<krRegion>& r, krContourDefs::IntersectionMode mode) {
    cleanCacheInfo();
    regions_.push_back(r);
    makeDataConsistentWithPoints();
    applyMode(mode);
}

void krRegionSet::cachedVectorSize(long n) {
    // The bound is archived as a 32-bit value; a larger one is refused like a
    // negative one.
    if (n < 0 || n > std::numeric_limits<std::int32_t>::max()) throw krContourDefs::BadParams();
    notifyMutation();
    cachedVectorSize_ = static_cast<std::int32_t>(n);
}

void krRegionSet::checkEmptyRegionSet() const {
    if (regions_.empty()) throw krContourDefs::EmptyRegionSet();
}

void krRegionSet::makeDataConsistentWithPoints() { cleanCacheInfo(); }
void krRegionSet::makePointsConsistentWithData() { cleanCacheInfo(); }

void krRegionSet::cleanCacheInfo() {
    notifyMutation();
    // A fresh record: every flag false, the rectangle cache deleted, the
    // repaired sets released. Nothing in it allocates.
    cache_ = Caches();
}

void krRegionSet::cacheFilled() const { const_cast<krRegionSet*>(this)->notifyMutation(); }

// ---------------------------------------------------------------------------
// Measures and queries. A cache is filled only when its whole computation
// succeeded, so an error from a region leaves it invalid.

// The kept measure, or the one computed and kept.
template <class T, class Compute>
T krRegionSet::measured(qel::detail::Kept<T>& kept, Compute compute) const {
    if (kept.valid) return kept.value;
    install(*this, kept, compute());
    cacheFilled();
    return kept.value;
}

double krRegionSet::area(bool considerHoles) const {
    return measured(cache_.measures[considerHoles].area, [&] {
        double sum = 0.0;
        for (const auto& r : regions_) sum += r->area(considerHoles);
        return sum;
    });
}

krVector<2> krRegionSet::centerOfMass(bool considerHoles) const {
    checkEmptyRegionSet();
    return measured(cache_.measures[considerHoles].com, [&] {
        // Summed afresh: the area cache is neither read nor filled here.
        double a = 0.0, summed = 0.0;
        krVector<2> s(0.0, 0.0);
        for (const auto& r : regions_) {
            const double ra = r->area(considerHoles);
            s = s + r->centerOfMass(considerHoles) * ra;
            a += ra;
            summed += std::abs(ra);
        }
        // Areas that cancel out (regions whose holes outweigh them beside
        // others) leave only the rounding of their sum, a few ulps of the areas
        // summed apart from their signs: no centre, as for no area at all.
        if (std::abs(a) <= knTolerance::kNoArea || knTolerance::areasCancel(a, summed))
            return krVector<2>(0.0, 0.0);
        const double inv = 1.0 / a;
        return krVector<2>(s.x() * inv, s.y() * inv);
    });
}

krMatrix<2> krRegionSet::inertiaMatrix(bool considerHoles) const {
    checkEmptyRegionSet();
    return measured(cache_.measures[considerHoles].inertia, [&] {
        // The parallel-axis sum of the regions' records, taken in list order.
        kr_InertiaData sum;
        for (const auto& r : regions_) {
            const krMatrix<2> m = r->inertiaMatrix(considerHoles);
            const krVector<2> c = r->centerOfMass(considerHoles);
            const double a = r->area(considerHoles);
            sum = sum + kr_InertiaData(a, c, m);
        }
        return sum.inertiaMatrix();
    });
}

namespace {
// Below this many regions a walk over them is as quick as their index.
constexpr std::size_t kIndexedRegions = 4;
}  // namespace

// Built aside (it reads the members' caches) and published once, a null
// index too: the set is not asked to build it again until it changes.
void krRegionSet::buildMemberIndex() const {
    if (cache_.memberIndexTried) return;
    const auto grid = [&]() -> std::shared_ptr<const BoxGrid> {
        if (regions_.size() < kIndexedRegions) return nullptr;
        std::vector<Box> boxes;
        for (const auto& r : regions_) {
            // A null region or one without a box throws when the walk reaches
            // it; only the walk keeps that order.
            if (!r || r->points().size() < 2) return nullptr;
            boxes.push_back(Box::of(outline(r).encloseRect(krXform<2>::I)));
        }
        return std::make_shared<const BoxGrid>(std::move(boxes));
    };
    install(*this, cache_.memberIndexTried, cache_.memberIndex, grid());
}

bool krRegionSet::inside(const krVector<2>& p, bool considerHoles) const {
    // A region whose box does not hold p answers false before anything else,
    // so asking only those whose box does changes no answer.
    // The first query walks the members; the second builds the index.
    if (!cache_.memberIndexTried && cache_.insideAsked.testAndSet()) buildMemberIndex();
    if (const BoxGrid* index = memberIndex())
        return index->any(p, [&](std::size_t k) { return regions_[k]->inside(p, considerHoles); });
    for (const auto& r : regions_)
        if (r->inside(p, considerHoles)) return true;
    return false;
}

void krRegionSet::prepareInside(bool considerHoles) const {
    buildMemberIndex();
    for (const auto& r : regions_)
        if (r) r->prepareInside(considerHoles);
}

std::vector<unsigned char> krRegionSet::insideMany(const std::vector<krVector<2>>& points,
                                           bool considerHoles) const {
    if (!points.empty()) prepareInside(considerHoles);
    return mapPoints<unsigned char>(points, [&](const krVector<2>& p) { return inside(p, considerHoles); });
}

std::vector<double> krRegionSet::distToPoints(const std::vector<krVector<2>>& points, bool vertexOnly,
                                         bool considerHoles, bool zeroInside) const {
    if (points.empty()) return {};
    checkEmptyRegionSet();
    if (zeroInside) prepareInside(considerHoles);
    for (const auto& r : regions_)
        if (r) r->prepareDistances();
    return mapPoints<double>(
        points, [&](const krVector<2>& p) { return distToPoint(p, vertexOnly, considerHoles, zeroInside); });
}

double krRegionSet::distToPoint(const krVector<2>& p, bool vertexOnly, bool considerHoles,
                                bool zeroInside) const {
    checkEmptyRegionSet();
    double d = std::numeric_limits<double>::infinity();
    for (const auto& r : regions_) {
        // A region wholly farther than the best so far cannot lower it.
        if (r->beyond(p, d)) continue;
        const double e = r->distToPoint(p, vertexOnly, considerHoles, zeroInside);
        if (e < d) d = e;
    }
    return d;
}

krRect krRegionSet::encloseRect(const krXform<2>& x) const {
    checkEmptyRegionSet();
    {
        // A keyed cache: its entries give way to new ones, so it is read
        // under the lock too.
        CacheLock lock(*this);
        if (cache_.rectCache)
            if (const krRect* hit = cache_.rectCache->find(x)) return *hit;
    }
    // Each boundary answers from its own rectangle cache when it can; they
    // are asked outside the set's lock, which guards the set's caches only.
    krRect rect = outline(regions_[0]).encloseRect(x);
    for (std::size_t k = 1; k < regions_.size(); ++k)
        rect = rect.enclose(outline(regions_[k]).encloseRect(x));
    CacheLock lock(*this);
    if (!cache_.rectCache) cache_.rectCache = std::make_unique<RectCache>();
    if (!cache_.rectCache->find(x)) cache_.rectCache->insert(x, rect, cachedVectorSize_);
    cacheFilled();
    return rect;
}

bool krRegionSet::isSelfIntersecting() const {
    if (regions_.empty()) return false;
    if (cache_.selfIntersectingValid) return cache_.selfIntersecting;
    // Every boundary is asked about itself and the pairs are walked even after
    // a true answer, so that an unusable region (a null handle, too few
    // points) is reported whatever the others hold. The answer is cached only
    // when the whole walk went through.
    // Each box is taken right after its region's own test, while the points
    // are at hand.
    bool found = false;
    std::vector<Box> boxes(regions_.size());
    for (std::size_t k = 0; k < regions_.size(); ++k) {
        if (outline(regions_[k]).isSelfIntersecting()) found = true;
        boxes[k] = memberBox(regions_[k]);
    }
    if (anyPairCrosses(boxes, [&](std::size_t i, std::size_t j) {
            return !outline(regions_[i]).intersections(outline(regions_[j])).empty();
        }))
        found = true;
    return install(*this, cache_.selfIntersectingValid, cache_.selfIntersecting, found);
}

bool krRegionSet::operator==(const krRegionSet& other) const {
    if (regions_.size() != other.regions_.size()) return false;
    for (std::size_t k = 0; k < regions_.size(); ++k)
        if (!(*regions_[k] == *other.regions_[k])) return false;
    return true;
}

void krRegionSet::draw(krUITablet& tablet, const krColor& color,
                       const krUITablet::Layers& layers) const {
    for (const auto& r : regions_) r->draw(tablet, color, layers);
}

// ---------------------------------------------------------------------------
// Repair.

void krRegionSet::outerHull(krRegionSet& out) const {
    repaired(out, cache_.outerHullValid, cache_.outerHull, krContourDefs::eOuterHull);
}

void krRegionSet::regularize(krRegionSet& out) const {
    repaired(out, cache_.regularizedValid, cache_.regularized, krContourDefs::eRegularize);
}

void krRegionSet::repaired(krRegionSet& out, CacheFlag& valid, krPtrHandle_const<krRegionSet>& cached,
                           krContourDefs::IntersectionMode mode) const {
    for (const auto& r : regions_)
        if (r) NodedBoundary::requireRepairable(r->points());
    if (!isSelfIntersecting()) {
        out = *this;
        return;
    }
    // Our own handle keeps the cached set alive while out (perhaps this very
    // set, whose cache handle the assignment overwrites) copies it.
    krPtrHandle_const<krRegionSet> keep;
    if (valid) {
        keep = cached;
    } else {
        const krPtrHandle<krRegionSet> fresh(new krRegionSet());
        outerHullRegularize(*fresh, mode);
        keep = install(*this, valid, cached, krPtrHandle_const<krRegionSet>(fresh));
    }
    out = *keep;
}

namespace {

// The members grouped as the merge pass leaves them when it merges until no
// two members cross: each group is a set of members linked by crossings (a
// contact counts), in the order the pass takes them in. The pass asks each
// slot in turn for every later member of its group, lowest slot first; a
// member merged away frees its slot for the last member of the list.
std::vector<std::vector<std::size_t>> mergeGroups(const std::vector<std::size_t>& groupOf) {
    const std::size_t n = groupOf.size();
    std::vector<std::set<std::size_t>> slots(n);
    for (std::size_t k = 0; k < n; ++k) slots[groupOf[k]].insert(k);
    std::vector<std::size_t> list(n);
    std::iota(list.begin(), list.end(), std::size_t(0));
    std::vector<std::vector<std::size_t>> merged;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::set<std::size_t>& mine = slots[groupOf[list[i]]];
        mine.erase(i);
        merged.push_back({list[i]});
        while (!mine.empty()) {
            const std::size_t j = *mine.begin(), last = list.size() - 1;
            mine.erase(mine.begin());
            merged.back().push_back(list[j]);
            if (j != last) {
                std::set<std::size_t>& moved = slots[groupOf[list[last]]];
                moved.erase(last);
                moved.insert(j);
                list[j] = list[last];
            }
            list.pop_back();
        }
    }
    return merged;
}

}  // namespace

void krRegionSet::outerHullRegularize(krRegionSet& out, krContourDefs::IntersectionMode mode) const {
    const bool doOuterHull = mode == krContourDefs::eOuterHull;
    checkEmptyRegionSet();
    const std::size_t n = regions_.size();
    for (const auto& r : regions_)
        if (!r) throw krBadPointer();

    // The members' outer boundaries rounded together; members whose rounded
    // boundaries share a node are linked (the rule the walk nodes them by),
    // and the chains of links make the groups.
    std::vector<const krContour::Points*> rings(n);
    for (std::size_t k = 0; k < n; ++k) rings[k] = &regions_[k]->points();
    const SnapRounder rounded(rings);
    std::vector<std::size_t> link(n), owner(rounded.nodes(), n);
    std::iota(link.begin(), link.end(), std::size_t(0));
    const auto root = [&](std::size_t k) {
        while (link[k] != k) k = link[k] = link[link[k]];
        return k;
    };
    for (std::size_t k = 0; k < n; ++k)
        for (const SnapRounder::Piece& p : rounded.ring(k)) {
            std::size_t& o = owner[p.a];
            if (o == n) {
                o = k;
            } else {
                const std::size_t a = root(o), b = root(k);
                if (a != b) link[std::max(a, b)] = std::min(a, b);
            }
        }
    std::vector<std::size_t> groupOf(n);
    for (std::size_t k = 0; k < n; ++k) groupOf[k] = root(k);

    // Each group by its outer hull or regularized form: a member alone by its
    // own (a simple one is copied, holes and label with it), several by the
    // walk round all their boundaries noded together.
    Regions list;
    for (const std::vector<std::size_t>& group : mergeGroups(groupOf)) {
        const krPtrHandle<krRegion> fixed(new krRegion());
        const krRegion& first = *regions_[group.front()];
        if (group.size() == 1) {
            if (doOuterHull)
                first.outerHull(*fixed);
            else
                first.regularize(*fixed);
        } else {
            for (std::size_t k : group) regions_[k]->checkEmptyContour();
            // Members that cancel out (two equal squares, say) leave no face
            // of odd winding and no regularized region.
            krContour::Points walked;
            const NodedBoundary graph(rounded, group);
            if (!graph.walk(doOuterHull ? NodedBoundary::Walk::eOuter : NodedBoundary::Walk::eOdd, walked)) {
                if (doOuterHull) throw krContourDefs::BadParams(L"invalid contour");
                continue;
            }
            *fixed = krRegion(walked, krContourDefs::eAsIs);
        }
        list.push_back(fixed);
    }
    out = krRegionSet(list, krContourDefs::eAsIs);
}

// ---------------------------------------------------------------------------
// Archive record. Version 1 is written: the persistence base, the region list
// (shared regions are written once), cachedVectorSize. Version 0, from older
// files, has no cachedVectorSize; loading it keeps the current value.

krPersistent* krRegionSet::make() { return new krRegionSet(); }

kr_Instantiator krRegionSet::sExemplar(typeid(krRegionSet), &krRegionSet::make, "krRegionSet");

void krRegionSet::dispatchSerialize(krArchive& ar) {
    // A direct call: a derived set's serialize_ nests this whole record in its own.
    kfSerializeLevel(ar, static_cast<krRegionSet*>(this), sizeof(krRegionSet), 1,
                     [&](unsigned char version) { krRegionSet::serialize_(ar, version); });
}

void krRegionSet::serialize_(krArchive& ar, unsigned char version) {
    if (version > 1) throw krArchive::UnknownVersion(kRegionSetSource, kRegionSetLine);
    kfSerializeFields(
        ar,
        [&] {
            krPersistent::dispatchSerialize(ar);
            kfSerializeHandleList(ar, regions_);
            if (version == 1) ar || cachedVectorSize_;
        },
        [&] { cleanCacheInfo(); });
}
