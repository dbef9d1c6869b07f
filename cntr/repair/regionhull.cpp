// The derived regions: mapping, and the outer hull and regularized
// outline of a boundary that crosses itself.
#include "cntr/region.h"

#include <cmath>
#include <cstddef>

#include "cntr/flags.h"
#include "cntr/repair/nodedboundary.h"

using namespace qel::detail;

namespace {

typedef krContour::Points Points;

// The cached-result protocol shared by outerHull and regularize: a simple
// boundary is copied as it is and caches nothing; a crossing one is traced
// once into a region made for the purpose, which later calls hand out again.
template <class Trace>
void cachedRepair(const krRegion& self, CacheFlag& valid, krPtrHandle_const<krRegion>& cache,
                  krRegion& out, Trace&& trace) {
    NodedBoundary::requireRepairable(self.points());
    if (!self.isSelfIntersecting()) {
        out = self;
        return;
    }
    // out may be this region, whose assignment replaces the cache handle: hold
    // the result until the copy is done.
    krPtrHandle_const<krRegion> result;
    if (valid) {
        result = cache;
    } else {
        // The handle takes the region before the trace, so a throw leaves no
        // leak; the flag stays false and the next request starts afresh.
        auto* fresh = new krRegion(Points(), krContourDefs::eAsIs);
        result = krPtrHandle_const<krRegion>(fresh);
        trace(*fresh);
        result = install(self, valid, cache, result);
    }
    out = *result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Mapping.

void krRegion::map(const krXform<2>& xform, krRegion& out) const {
    Points mapped;
    mapped.reserve(points_.size());
    for (const krVector<2>& p : points_) mapped.push_back(xform * p);
    const unsigned long keep = label();  // out may be this region
    out = krRegion(mapped, krContourDefs::eAsIs);
    out.label(keep);
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
    const NodedBoundary graph({&points_});
    Points walked;
    if (!graph.walk(mode == krContourDefs::eOuterHull ? NodedBoundary::Walk::eOuter : NodedBoundary::Walk::eOdd, walked))
        throw krContourDefs::BadParams(L"invalid contour");
    out = krRegion(walked, krContourDefs::eAsIs);
}
