#include "cntr/index/anypaircrosses.h"

#include <cmath>

#include "cntr/support/tolerance.h"

namespace qel::detail {

Box pairBox(const std::vector<krVector<2>>& points, std::size_t minPoints) {
    if (points.empty() || points.size() < minPoints) return Box::everything();
    // One pass without branches: a NaN is noted as it passes, and an
    // infinity ends up on the box itself.
    Box b{points[0].x(), points[0].y(), points[0].x(), points[0].y()};
    bool nan = false;
    for (const krVector<2>& p : points) {
        b.lox = std::min(b.lox, p.x());
        b.hix = std::max(b.hix, p.x());
        b.loy = std::min(b.loy, p.y());
        b.hiy = std::max(b.hiy, p.y());
        nan |= std::isnan(p.x());
        nan |= std::isnan(p.y());
    }
    if (nan || !std::isfinite(b.lox) || !std::isfinite(b.hix) || !std::isfinite(b.loy) ||
        !std::isfinite(b.hiy))
        return Box::everything();
    // Widened by the distance at which two boundaries still count as
    // touching, so that a contact found by the boundaries' own test is never
    // skipped for a box that misses by a rounding error.
    const double reach = knTolerance::kContact;
    return {b.lox - reach, b.loy - reach, b.hix + reach, b.hiy + reach};
}

}  // namespace qel::detail
