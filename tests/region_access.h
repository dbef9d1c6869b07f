// The tests' door to the region's private steps and caches, and regions
// made in one line.
#ifndef QEL_TESTS_REGION_ACCESS_H
#define QEL_TESTS_REGION_ACCESS_H

#include <vector>

#include "cntr/region.h"

struct kr_RegionAccess {
    static long insideCount(const krRegion& r, const krVector<2>& p) { return r.insideCount(p, false); }
};

// A derived class builds the virtual contour base itself.
struct RegionProbe : krRegion {
    explicit RegionProbe(const krContour& c) : krContour(c), krRegion(c) {}
    using krRegion::holes_, krRegion::regionCache_;
};

// A shared region of the points, with its own holes.
inline krPtrHandle_const<krRegion> hole(const krContour::Points& p, const krRegion::Holes& its = {}) {
    auto* r = new krRegion(p);
    krPtrHandle_const<krRegion> h(r);
    r->holes(its);
    return h;
}

// One region a ring.
inline krRegion::Holes members(const std::vector<krContour::Points>& rings) {
    krRegion::Holes out;
    for (const auto& r : rings) out.push_back(hole(r));
    return out;
}

#endif
