#include "cntr/locate/ringlocator.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "cntr/locate/ringinside.h"
#include "cntr/support/nearness.h"
#include "platform/std/hull.h"

namespace qel::detail {

namespace {

// Orientations of a point against a line, with the point moved by the shift
// (d, e), 0 < e << d, that the ray rule stands for. Against the edge a b:
// orient(a, b, q + (d, e)) = orient(a, b, q) + (b.x - a.x) e - (b.y - a.y) d.
inline int shiftedSide(const krVector<2>& a, const krVector<2>& b, const krVector<2>& q) {
    if (const int o = kfOrientation(a, b, q)) return o;
    if (b.y() != a.y()) return a.y() > b.y() ? 1 : -1;
    return b.x() > a.x() ? 1 : -1;
}

// Whether the walk from q to c crosses the edge a b when both ends of the walk
// move by the shift: then no vertex lies on the walk and no edge along it.
// The edge's ends against the walk's line use orient(q, c, v - (d, e)) =
// orient(q, c, v) - (c.x - q.x)(-e) ... whose leading term is (c.y - q.y) d.
bool walkCrosses(const krVector<2>& q, const krVector<2>& c, const krVector<2>& a,
                 const krVector<2>& b) {
    if (a == b) return false;
    if (std::max(a.x(), b.x()) < std::min(q.x(), c.x()) || std::min(a.x(), b.x()) > std::max(q.x(), c.x()) ||
        std::max(a.y(), b.y()) < std::min(q.y(), c.y()) || std::min(a.y(), b.y()) > std::max(q.y(), c.y()))
        return false;
    if (shiftedSide(a, b, q) == shiftedSide(a, b, c)) return false;
    const auto side = [&](const krVector<2>& v) {
        if (const int o = kfOrientation(q, c, v)) return o;
        if (c.y() != q.y()) return c.y() > q.y() ? 1 : -1;
        return q.x() > c.x() ? 1 : -1;
    };
    return side(a) != side(b);
}

inline const krVector<2>& edgeStart(const krVector<2>* p, std::size_t n, std::size_t k) {
    return p[k == 0 ? n - 1 : k - 1];
}

}  // namespace

// ---------------------------------------------------------------------------
// The ring's locator.

RingLocator::RingLocator(const std::vector<krVector<2>>& ring, const Box& box)
    : ring_(ring), box_(box) {
    const std::size_t n = ring_.size();
    // Edge numbers are kept in 32 bits.
    if (n < 3 || n > (std::size_t(1) << 28)) return;
    for (const krVector<2>& v : ring_)
        if (!indexable(v)) return;
    // Each edge's box grown by twice the reach: a cell's list then holds every
    // edge within reach of any of its points, and every edge the walk from
    // its centre can meet.
    const double m = 2.0 * kInsideReach;
    std::vector<Box> boxes(n);
    for (std::size_t k = 0; k < n; ++k) {
        const krVector<2>&a = edgeStart(ring_.data(), n, k), &b = ring_[k];
        boxes[k] = {std::min(a.x(), b.x()) - m, std::min(a.y(), b.y()) - m, std::max(a.x(), b.x()) + m,
                    std::max(a.y(), b.y()) + m};
    }
    grid_ = BoxGrid(boxes, box_, n);
    if (!grid_.centresSound()) return;

    // The centres' parities, row by row: each edge taken upwards toggles the
    // centres of each row it spans (bottom end in, top end out, as the ray
    // rule has it) that lie strictly left of it, a prefix of the row. marks
    // holds the toggles at the prefix ends; a sum from the right gives them.
    const std::size_t nx = grid_.columns(), ny = grid_.rows();
    std::vector<double> cy(ny);
    for (std::size_t j = 0; j < ny; ++j) cy[j] = grid_.centreY(j);
    parity_.assign(nx * ny, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const krVector<2>&a = edgeStart(ring_.data(), n, k), &b = ring_[k];
        if (a.y() == b.y()) continue;
        const krVector<2>& lo = a.y() < b.y() ? a : b;
        const krVector<2>& hi = a.y() < b.y() ? b : a;
        const auto first = std::lower_bound(cy.begin(), cy.end(), lo.y());
        const auto last = std::lower_bound(first, cy.end(), hi.y());
        for (auto it = first; it != last; ++it) {
            const double y = *it;
            const double x = lo.x() + (y - lo.y()) * (hi.x() - lo.x()) / (hi.y() - lo.y());
            std::size_t left = grid_.column(x);
            const auto leftOf = [&](std::size_t i) { return kfOrientation(lo, hi, krVector<2>(grid_.centreX(i), y)) > 0; };
            while (left > 0 && !leftOf(left - 1)) --left;
            while (left < nx && leftOf(left)) ++left;
            if (left > 0) parity_[static_cast<std::size_t>(it - cy.begin()) * nx + left - 1] ^= 1;
        }
    }
    for (std::size_t j = 0; j < ny; ++j)
        for (std::size_t i = nx - 1; i-- > 0;) parity_[j * nx + i] ^= parity_[j * nx + i + 1];
    gridded_ = true;
}

bool RingLocator::inside(const krVector<2>& q) const {
    const std::size_t n = ring_.size();
    if (!gridded_) return ringInside(ring_.data(), n, q);
    const std::size_t i = grid_.column(q.x()), j = grid_.row(q.y());
    const krVector<2> c(grid_.centreX(i), grid_.centreY(j));
    bool odd = parity_[j * grid_.columns() + i] != 0;
    const std::uint32_t* end;
    for (const std::uint32_t* it = grid_.candidates(q, end); it != end; ++it) {
        const krVector<2>&a = edgeStart(ring_.data(), n, *it), &b = ring_[*it];
        if (withinReach(a, b, q)) return true;
        odd ^= walkCrosses(q, c, a, b);
    }
    return odd;
}

}  // namespace qel::detail
