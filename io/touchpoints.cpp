#include "io/touchpoints.h"

#include <algorithm>
#include <cmath>

#include "platform/std/geometry.h"

namespace qs {

void insertTouchPoints(Polygon& p) {
    for (const Ring& h : p.holes)
        for (const krVector<2>& v : h) {
            const double tol = 1e-12 * std::max(1.0, std::max(std::fabs(v.x()), std::fabs(v.y())));
            for (std::size_t i = 0; i < p.outer.size(); ++i) {
                const krVector<2>& a = p.outer[i];
                const krVector<2>& b = p.outer[(i + 1) % p.outer.size()];
                if (a == v || b == v) break;
                if (krLineSeg(a, b).distToPoint(v) <= tol) {
                    p.outer.insert(p.outer.begin() + std::ptrdiff_t(i + 1), v);
                    break;
                }
            }
        }
}

}  // namespace qs
