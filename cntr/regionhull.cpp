// The derived regions: mapping, splicing, and the outer hull and regularized
// outline of a boundary that crosses itself.
#include "cntr/region.h"

#include <cmath>
#include <cstddef>

#include "cntr/flags.h"
#include "cntr/nodedboundary.h"

namespace {

typedef krContour::Points Points;

// m consecutive points of p starting at point `from`, wrapping around.
void appendRun(const Points& p, std::size_t from, std::size_t m, Points& out) {
    for (std::size_t t = 0; t < m; ++t) out.push_back(p[(from + t) % p.size()]);
}

// The cached-result protocol shared by outerHull and regularize: a simple
// boundary is copied as it is and caches nothing; a crossing one is traced
// once into a region made for the purpose, which later calls hand out again.
template <class Trace>
void cachedRepair(const krRegion& self, bool& valid, krPtrHandle_const<krRegion>& cache,
                  krRegion& out, Trace&& trace) {
    krNodedBoundary::requireFinite(self.points());
    if (!self.isSelfIntersecting()) {
        out = self;
        return;
    }
    if (!valid) {
        // The handle takes the region before the trace, so a throw leaves no
        // leak; the flag stays false and the next request starts afresh.
        auto* fresh = new krRegion(Points(), krContourDefs::eAsIs);
        cache = krPtrHandle_const<krRegion>(fresh);
        trace(*fresh);
        valid = true;
    }
    // out may be this region, whose assignment replaces the cache handle: hold
    // the result until the copy is done.
    const krPtrHandle_const<krRegion> result = cache;
    out = *result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Mapping and splicing.

void krRegion::map(const krXform<2>& xform, krRegion& out) const {
    Points mapped;
    mapped.reserve(points_.size());
    for (const krVector<2>& p : points_) mapped.push_back(xform * p);
    const unsigned long keep = label();  // out may be this region
    out = krRegion(mapped, krContourDefs::eAsIs);
    out.label(keep);
}

void krRegion::splice(const krRegion& other, krRegion& out) const {
    const std::vector<krLineSeg>& segs = lineSegs();
    const std::vector<bool>& valid = validLine();
    std::vector<int> indices;
    for (std::size_t i = 0; i < segs.size(); ++i) {
        if (!valid[i]) continue;
        const Points hits = other.krContour::intersections(segs[i], indices, knFlags::kWithEnds);
        if (hits.empty()) continue;
        // Segment k ends at point k, the closing segment 0 at point 0, so the
        // ends of segments i, i+1, ... are the points from i on.
        const Points& q = other.points_;
        Points joined;
        joined.reserve(points_.size() + q.size() + 2);
        joined.push_back(hits.front());
        appendRun(points_, i, points_.size(), joined);
        joined.push_back(hits.front());
        appendRun(q, static_cast<std::size_t>(indices.front()), q.size(), joined);
        out = krRegion(joined, krContourDefs::eAsIs);
        return;
    }
    throw krContourDefs::BadParams(L"spliced regions do not intersect");
}

// ---------------------------------------------------------------------------
// Outer hull and regularization.

void krRegion::outerHull(krRegion& out) const {
    cachedRepair(*this, regionCache_.outerHullValid, regionCache_.outerHull, out,
                 [this](krRegion& r) { outerHullRegularize(r, krContourDefs::eOuterHull); });
}

void krRegion::regularize(krRegion& out) const {
    cachedRepair(*this, regionCache_.regularizedValid, regionCache_.regularized, out,
                 [this](krRegion& r) { outerHullRegularize(r, krContourDefs::eRegularize); });
}

void krRegion::outerHullRegularize(krRegion& out, krContourDefs::IntersectionMode mode) const {
    checkEmptyContour();
    const krNodedBoundary graph({&points_});
    Points walked;
    if (!graph.walk(mode == krContourDefs::eOuterHull ? krNodedBoundary::Walk::eOuter : krNodedBoundary::Walk::eOdd, walked))
        throw krContourDefs::BadParams(L"invalid contour");
    out = krRegion(walked, krContourDefs::eAsIs);
}
