#include "cntr/index/boxgrid.h"

#include <cmath>

#include "cntr/support/tolerance.h"

namespace {
// Boxes are widened by the distance at which two boundaries still count as
// touching, so that a contact found by the boundaries' own test is never
// skipped for a box that misses by a rounding error.
using knTolerance::kContact;
// A box that would sit in more cells than this is tried on every query instead.
constexpr double kMaxCellsPerBox = 16.0;
}  // namespace

kr_PairBox kr_PairBox::of(const std::vector<krVector<2>>& points, std::size_t minPoints) {
    kr_PairBox b;
    if (points.empty() || points.size() < minPoints) return b;
    // One pass without branches: a NaN is noted as it passes, and an
    // infinity ends up on the box itself.
    b.lox = b.hix = points[0].x();
    b.loy = b.hiy = points[0].y();
    bool nan = false;
    for (const krVector<2>& p : points) {
        b.lox = std::min(b.lox, p.x());
        b.hix = std::max(b.hix, p.x());
        b.loy = std::min(b.loy, p.y());
        b.hiy = std::max(b.hiy, p.y());
        nan |= std::isnan(p.x()) | std::isnan(p.y());
    }
    if (nan || !std::isfinite(b.lox) || !std::isfinite(b.hix) || !std::isfinite(b.loy) || !std::isfinite(b.hiy))
        return kr_PairBox();
    b.lox -= kContact;
    b.loy -= kContact;
    b.hix += kContact;
    b.hiy += kContact;
    b.wild = false;
    return b;
}

krBoxGrid::krBoxGrid(const std::vector<kr_PairBox>& boxes) : boxes_(boxes), seen_(boxes.size(), 0) {
    // The grid spans the tame boxes, with about one cell per box, shaped like
    // the span so that cells come out roughly square.
    std::size_t tame = 0;
    double x1 = 0.0, y1 = 0.0;
    for (const kr_PairBox& b : boxes_) {
        if (b.wild) continue;
        x0_ = tame ? std::min(x0_, b.lox) : b.lox;
        y0_ = tame ? std::min(y0_, b.loy) : b.loy;
        x1 = tame ? std::max(x1, b.hix) : b.hix;
        y1 = tame ? std::max(y1, b.hiy) : b.hiy;
        ++tame;
    }
    const double w = x1 - x0_, h = y1 - y0_;
    if (tame > 0 && std::isfinite(w) && std::isfinite(h)) {
        const double n = static_cast<double>(tame);
        double nx = 1.0, ny = 1.0;
        if (w > 0.0 && h > 0.0) {
            nx = std::min(n, std::max(1.0, std::ceil(std::sqrt(n * w / h))));
            ny = std::min(n, std::max(1.0, std::ceil(n / nx)));
        } else if (w > 0.0) {
            nx = n;
        } else if (h > 0.0) {
            ny = n;
        }
        nx_ = static_cast<std::size_t>(nx);
        ny_ = static_cast<std::size_t>(ny);
        cellW_ = w > 0.0 ? w / nx : 1.0;
        cellH_ = h > 0.0 ? h / ny : 1.0;
    }

    // Two passes over the boxes: count the members of each cell, then place them.
    cellStart_.assign(nx_ * ny_ + 1, 0);
    std::vector<bool> inCells(boxes_.size(), false);
    for (std::size_t k = 0; k < boxes_.size(); ++k) {
        const kr_PairBox& b = boxes_[k];
        if (b.wild || nx_ == 0) {
            aside_.push_back(k);
            continue;
        }
        const std::size_t cx0 = cellX(b.lox), cx1 = cellX(b.hix);
        const std::size_t cy0 = cellY(b.loy), cy1 = cellY(b.hiy);
        if (static_cast<double>(cx1 - cx0 + 1) * static_cast<double>(cy1 - cy0 + 1) > kMaxCellsPerBox) {
            aside_.push_back(k);
            continue;
        }
        inCells[k] = true;
        for (std::size_t cy = cy0; cy <= cy1; ++cy)
            for (std::size_t cx = cx0; cx <= cx1; ++cx) ++cellStart_[cy * nx_ + cx + 1];
    }
    std::partial_sum(cellStart_.begin(), cellStart_.end(), cellStart_.begin());
    cellItems_.resize(cellStart_.back());
    std::vector<std::size_t> fill(cellStart_.begin(), cellStart_.end() - 1);
    for (std::size_t k = 0; k < boxes_.size(); ++k) {
        if (!inCells[k]) continue;
        const kr_PairBox& b = boxes_[k];
        for (std::size_t cy = cellY(b.loy); cy <= cellY(b.hiy); ++cy)
            for (std::size_t cx = cellX(b.lox); cx <= cellX(b.hix); ++cx)
                cellItems_[fill[cy * nx_ + cx]++] = k;
    }
}

std::size_t krBoxGrid::cellX(double x) const {
    const double c = std::floor((x - x0_) / cellW_);
    return c <= 0.0 ? 0 : std::min(nx_ - 1, static_cast<std::size_t>(std::min(c, 1e18)));
}

std::size_t krBoxGrid::cellY(double y) const {
    const double c = std::floor((y - y0_) / cellH_);
    return c <= 0.0 ? 0 : std::min(ny_ - 1, static_cast<std::size_t>(std::min(c, 1e18)));
}

void krBoxGrid::query(const kr_PairBox& q, std::vector<std::size_t>& out) const {
    if (++stamp_ == 0) {  // the stamps wrapped: forget every old mark
        std::fill(seen_.begin(), seen_.end(), 0);
        stamp_ = 1;
    }
    auto take = [&](std::size_t k) {
        if (seen_[k] == stamp_) return;
        seen_[k] = stamp_;
        if (boxes_[k].overlaps(q)) out.push_back(k);
    };
    for (std::size_t k : aside_) take(k);
    if (nx_ == 0) return;
    if (q.wild) {
        for (std::size_t k = 0; k < boxes_.size(); ++k) take(k);
        return;
    }
    const std::size_t cx0 = cellX(q.lox), cx1 = cellX(q.hix);
    for (std::size_t cy = cellY(q.loy); cy <= cellY(q.hiy); ++cy)
        for (std::size_t cx = cx0; cx <= cx1; ++cx)
            for (std::size_t s = cellStart_[cy * nx_ + cx]; s < cellStart_[cy * nx_ + cx + 1]; ++s)
                take(cellItems_[s]);
}
