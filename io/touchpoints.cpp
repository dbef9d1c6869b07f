#include "io/touchpoints.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cntr/index/segmentindex.h"
#include "platform/std/geometry.h"

namespace qs {

std::size_t insertTouchPoints(Polygon& p) {
    const std::size_t n = p.outer.size();
    const qel::detail::SegmentView view{p.outer.data(), n, true};
    qel::detail::SegmentIndex index;
    std::vector<bool> usable;
    index.build(view, usable);

    // (i, point) for every point that goes in on the side from p.outer[i];
    // segment k of the view runs from p.outer[k - 1] to p.outer[k].
    std::vector<std::pair<std::size_t, krVector<2>>> found;
    const auto anywhere = [](const qel::detail::SegmentIndex::Box&) { return true; };
    for (const Ring& h : p.holes)
        for (const krVector<2>& v : h) {
            const double tol = 1e-12 * std::max(1.0, std::max(std::fabs(v.x()), std::fabs(v.y())));
            const qel::detail::SegmentIndex::Box near{v.x() - tol, v.y() - tol, v.x() + tol, v.y() + tol};
            std::size_t side = n;
            bool shared = false;
            index.forEachOverlap(view, near, anywhere, [&](std::size_t k) {
                if (view.start(k) == v || view.end(k) == v)
                    shared = true;
                else if (side == n && krLineSeg(view.start(k), view.end(k)).distToPoint(v) <= tol)
                    side = k;
            });
            if (!shared && side != n) found.emplace_back((side + n - 1) % n, v);
        }
    if (found.empty()) return 0;

    // Along each side in order from its start; a point two holes share goes in once.
    std::sort(found.begin(), found.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        const krVector<2>& s = p.outer[a.first];
        return s.distance(a.second) < s.distance(b.second);
    });
    found.erase(std::unique(found.begin(), found.end()), found.end());

    Ring outer;
    outer.reserve(n + found.size());
    auto next = found.begin();
    for (std::size_t i = 0; i < n; ++i) {
        outer.push_back(p.outer[i]);
        for (; next != found.end() && next->first == i; ++next) outer.push_back(next->second);
    }
    p.outer = std::move(outer);
    return found.size();
}

bool ringsCross(const krContour& a, const krContour& b) {
    const bool aLarger = a.points().size() >= b.points().size();
    for (const krVector<2>& h : (aLarger ? a : b).intersections(aLarger ? b : a)) {
        // A crossing point of two sides is rounded: near a vertex it is that vertex.
        const double tol = 1e-9 * std::max(1.0, std::max(std::fabs(h.x()), std::fabs(h.y())));
        if (a.distToPoint(h, true) > tol && b.distToPoint(h, true) > tol) return true;
    }
    return false;
}

}  // namespace qs
