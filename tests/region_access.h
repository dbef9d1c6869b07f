// The tests' door to the region's private steps.
#ifndef QEL_TESTS_REGION_ACCESS_H
#define QEL_TESTS_REGION_ACCESS_H

#include "cntr/region.h"

struct kr_RegionAccess {
    static long insideCount(const krRegion& r, const krVector<2>& p) { return r.insideCount(p, false); }
};

#endif
