#include "cntr/index/boxgrid.h"

#include <cmath>

namespace qel::detail {

BoxGrid::BoxGrid(std::vector<Box> boxes) : boxes_(std::move(boxes)) {
    Box extent{0, 0, 0, 0};
    bool any = false;
    for (const Box& b : boxes_) {
        if (!b.placeable()) continue;
        if (any)
            extent.widen(b);
        else
            extent = b;
        any = true;
    }
    place(boxes_, extent, boxes_.size());
}

BoxGrid::BoxGrid(const std::vector<Box>& boxes, const Box& extent, std::size_t cellsWanted) {
    place(boxes, extent, cellsWanted);
}

void BoxGrid::layout(const Box& e, std::size_t nx, std::size_t ny) {
    nx_ = nx;
    ny_ = ny;
    x0_ = e.lox;
    y0_ = e.loy;
    const double w = (e.hix - e.lox) / static_cast<double>(nx),
                 h = (e.hiy - e.loy) / static_cast<double>(ny);
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

void BoxGrid::place(const std::vector<Box>& boxes, const Box& extent, std::size_t cellsWanted) {
    for (std::size_t k = 0; k < boxes.size(); ++k)
        if (!boxes[k].placeable()) loose_.push_back(static_cast<std::uint32_t>(k));
    const double w = extent.hix - extent.lox, h = extent.hiy - extent.loy;
    const double c =
        static_cast<double>(std::max<std::size_t>(1, std::min<std::size_t>(cellsWanted, 1u << 26)));
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
            if (!b.placeable()) continue;
            total += (column(b.hix) - column(b.lox) + 1) * (row(b.hiy) - row(b.loy) + 1);
            if (total > budget) break;
        }
        if (total <= budget || (nx == 1 && ny == 1)) break;
        nx = (nx + 1) / 2;
        ny = (ny + 1) / 2;
    }
    start_.assign(nx_ * ny_ + 1, 0);
    for (const Box& b : boxes)
        if (b.placeable())
            for (std::size_t j = row(b.loy), j1 = row(b.hiy); j <= j1; ++j)
                for (std::size_t i = column(b.lox), i1 = column(b.hix); i <= i1; ++i)
                    ++start_[j * nx_ + i + 1];
    for (std::size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
    items_.resize(start_.back());
    std::vector<std::uint32_t> fill(start_.begin(), start_.end() - 1);
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        const Box& b = boxes[k];
        if (!b.placeable()) continue;
        for (std::size_t j = row(b.loy), j1 = row(b.hiy); j <= j1; ++j)
            for (std::size_t i = column(b.lox), i1 = column(b.hix); i <= i1; ++i)
                items_[fill[j * nx_ + i]++] = static_cast<std::uint32_t>(k);
    }
}

void BoxGrid::overlapping(const Box& q, std::vector<std::size_t>& out) const {
    if (seen_.size() != boxes_.size()) seen_.assign(boxes_.size(), 0);
    if (++stamp_ == 0) {  // the stamps wrapped: forget every old mark
        std::fill(seen_.begin(), seen_.end(), 0);
        stamp_ = 1;
    }
    const auto take = [&](std::size_t k) {
        if (seen_[k] == stamp_) return;
        seen_[k] = stamp_;
        if (boxes_[k].overlaps(q)) out.push_back(k);
    };
    for (std::size_t k : loose_) take(k);
    for (std::size_t j = row(q.loy), j1 = row(q.hiy); j <= j1; ++j)
        for (std::size_t i = column(q.lox), i1 = column(q.hix); i <= i1; ++i)
            for (std::uint32_t s = start_[j * nx_ + i]; s < start_[j * nx_ + i + 1]; ++s)
                take(items_[s]);
}

}  // namespace qel::detail
