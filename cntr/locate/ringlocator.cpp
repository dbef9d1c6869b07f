#include "cntr/locate/ringlocator.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/std/hull.h"

namespace {

// Box tests screen edges for the reach with a wider margin, so that their
// rounding never drops an edge within kInsideReach; the distance decides.
constexpr double kScreen = 1.5 * kInsideReach;

// Whether q lies within kInsideReach of the segment a b. The foot is clamped
// to the segment, and at either end the distance is the vertex's own, as
// krVector<2>::distance gives it.
inline bool withinReach(const krVector<2>& a, const krVector<2>& b, const krVector<2>& q) {
    const double qx = q.x(), qy = q.y();
    if (qx < std::min(a.x(), b.x()) - kScreen || qx > std::max(a.x(), b.x()) + kScreen ||
        qy < std::min(a.y(), b.y()) - kScreen || qy > std::max(a.y(), b.y()) + kScreen)
        return false;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double px = qx - a.x(), py = qy - a.y();
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0.0 ? (px * dx + py * dy) / len2 : 0.0;
    double d;
    if (!(t > 0.0))
        d = kfLength(px, py);
    else if (t >= 1.0)
        d = kfLength(qx - b.x(), qy - b.y());
    else
        d = kfLength(px - t * dx, py - t * dy);
    return d <= kInsideReach;
}

// The ray's count for one edge: one end above q (strictly), the other not,
// and q strictly left of the edge taken upwards.
inline bool rayCrosses(const krVector<2>& a, const krVector<2>& b, const krVector<2>& q) {
    if ((a.y() > q.y()) == (b.y() > q.y())) return false;
    if (a.x() > q.x() && b.x() > q.x()) return true;
    if (a.x() < q.x() && b.x() < q.x()) return false;
    const bool up = b.y() > a.y();
    return kfOrientation(up ? a : b, up ? b : a, q) > 0;
}

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

// Finite and not inverted: a box the grid can place.
bool finite(const krCellGrid::Box& b) {
    return std::isfinite(b.lox) && std::isfinite(b.loy) && std::isfinite(b.hix) && std::isfinite(b.hiy) &&
           b.lox <= b.hix && b.loy <= b.hiy;
}

inline const krVector<2>& edgeStart(const krVector<2>* p, std::size_t n, std::size_t k) {
    return p[k == 0 ? n - 1 : k - 1];
}

}  // namespace

bool kf_RingInside(const krVector<2>* p, std::size_t n, const krVector<2>& q) {
    if (n == 0) return false;
    bool odd = false;
    const double qy = q.y();
    const krVector<2>* a = &p[n - 1];
    for (std::size_t k = 0; k < n; a = &p[k++]) {
        const krVector<2>& b = p[k];
        // Most edges lie wholly above or below q and beyond the reach.
        const double ay = a->y(), by = b.y();
        if ((ay < qy - kScreen && by < qy - kScreen) || (ay > qy + kScreen && by > qy + kScreen)) continue;
        if (withinReach(*a, b, q)) return true;
        odd ^= rayCrosses(*a, b, q);
    }
    return odd;
}

// ---------------------------------------------------------------------------
// The grid of boxes.

void krCellGrid::layout(const Box& e, std::size_t nx, std::size_t ny) {
    nx_ = nx;
    ny_ = ny;
    x0_ = e.lox;
    y0_ = e.loy;
    const double w = (e.hix - e.lox) / static_cast<double>(nx), h = (e.hiy - e.loy) / static_cast<double>(ny);
    invW_ = w > 0.0 ? 1.0 / w : 0.0;
    invH_ = h > 0.0 ? 1.0 / h : 0.0;
    cx_.resize(nx);
    cy_.resize(ny);
    centresSound_ = std::isfinite(invW_) && std::isfinite(invH_);
    for (std::size_t i = 0; i < nx; ++i) {
        cx_[i] = e.lox + (static_cast<double>(i) + 0.5) * w;
        centresSound_ = centresSound_ && std::isfinite(cx_[i]) && column(cx_[i]) == i;
    }
    for (std::size_t j = 0; j < ny; ++j) {
        cy_[j] = e.loy + (static_cast<double>(j) + 0.5) * h;
        centresSound_ = centresSound_ && std::isfinite(cy_[j]) && row(cy_[j]) == j;
    }
}

void krCellGrid::build(const std::vector<Box>& boxes, const Box& extent, std::size_t cellsWanted) {
    // Boxes with a coordinate that is not finite enter no cell.
    const double w = extent.hix - extent.lox, h = extent.hiy - extent.loy;
    const double c = static_cast<double>(std::max<std::size_t>(1, std::min<std::size_t>(cellsWanted, 1u << 26)));
    double fx = 1.0, fy = 1.0;
    if (w > 0.0 && h > 0.0) {
        fx = std::sqrt(c * w / h);
        fx = std::min(std::max(fx, 1.0), c);
        fy = std::min(std::max(c / fx, 1.0), c);
    } else if (w > 0.0) {
        fx = c;
    } else if (h > 0.0) {
        fy = c;
    }
    std::size_t nx = static_cast<std::size_t>(fx), ny = static_cast<std::size_t>(fy);
    // Coarsen until the boxes' cells stay within a bound: long edges across
    // a fine grid would otherwise take quadratic room.
    const std::size_t budget = 8 * boxes.size() + 64;
    for (;;) {
        layout(extent, nx, ny);
        std::size_t total = 0;
        for (const Box& b : boxes) {
            if (!finite(b)) continue;
            total += (column(b.hix) - column(b.lox) + 1) * (row(b.hiy) - row(b.loy) + 1);
            if (total > budget) break;
        }
        if (total <= budget || (nx == 1 && ny == 1)) break;
        nx = (nx + 1) / 2;
        ny = (ny + 1) / 2;
    }
    start_.assign(nx_ * ny_ + 1, 0);
    for (const Box& b : boxes)
        if (finite(b))
            for (std::size_t j = row(b.loy), j1 = row(b.hiy); j <= j1; ++j)
                for (std::size_t i = column(b.lox), i1 = column(b.hix); i <= i1; ++i) ++start_[j * nx_ + i + 1];
    for (std::size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
    items_.resize(start_.back());
    std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        const Box& b = boxes[k];
        if (!finite(b)) continue;
        for (std::size_t j = row(b.loy), j1 = row(b.hiy); j <= j1; ++j)
            for (std::size_t i = column(b.lox), i1 = column(b.hix); i <= i1; ++i)
                items_[fill[j * nx_ + i]++] = static_cast<std::uint32_t>(k);
    }
}

// ---------------------------------------------------------------------------
// The ring's locator.

krRingLocator::krRingLocator(const std::vector<krVector<2>>& ring, const krCellGrid::Box& box)
    : ring_(ring), box_(box) {
    const std::size_t n = ring_.size();
    // Edge numbers are kept in 32 bits.
    if (n < 3 || n > (std::size_t(1) << 28)) return;
    for (const krVector<2>& v : ring_)
        if (!knTolerance::indexable(v)) return;
    // Each edge's box grown by twice the reach: a cell's list then holds every
    // edge within reach of any of its points, and every edge the walk from
    // its centre can meet.
    const double m = 2.0 * kInsideReach;
    std::vector<krCellGrid::Box> boxes(n);
    for (std::size_t k = 0; k < n; ++k) {
        const krVector<2>&a = edgeStart(ring_.data(), n, k), &b = ring_[k];
        boxes[k] = {std::min(a.x(), b.x()) - m, std::min(a.y(), b.y()) - m, std::max(a.x(), b.x()) + m,
                    std::max(a.y(), b.y()) + m};
    }
    grid_.build(boxes, box_, n);
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

bool krRingLocator::inside(const krVector<2>& q) const {
    const std::size_t n = ring_.size();
    if (!gridded_) return kf_RingInside(ring_.data(), n, q);
    const std::size_t i = grid_.column(q.x()), j = grid_.row(q.y());
    const krVector<2> c(grid_.centreX(i), grid_.centreY(j));
    bool odd = parity_[j * grid_.columns() + i] != 0;
    const std::uint32_t* end;
    for (const std::uint32_t* it = grid_.begin(q, end); it != end; ++it) {
        const krVector<2>&a = edgeStart(ring_.data(), n, *it), &b = ring_[*it];
        if (withinReach(a, b, q)) return true;
        odd ^= walkCrosses(q, c, a, b);
    }
    return odd;
}

// ---------------------------------------------------------------------------
// Shapes by their boxes.

krBoxIndex::krBoxIndex(std::vector<krCellGrid::Box> boxes) : boxes_(std::move(boxes)) {
    krCellGrid::Box extent{0, 0, 0, 0};
    bool any = false;
    for (std::size_t k = 0; k < boxes_.size(); ++k) {
        const krCellGrid::Box& b = boxes_[k];
        if (!finite(b)) {
            loose_.push_back(static_cast<std::uint32_t>(k));
            continue;
        }
        extent = any ? krCellGrid::Box{std::min(extent.lox, b.lox), std::min(extent.loy, b.loy),
                                      std::max(extent.hix, b.hix), std::max(extent.hiy, b.hiy)}
                     : b;
        any = true;
    }
    grid_.build(boxes_, extent, boxes_.size());
}
