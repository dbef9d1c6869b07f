// A uniform grid of cells over a fixed list of boxes, for finding the few
// boxes that hold a point or overlap a box without looking at the others.
#ifndef QEL_CNTR_INDEX_BOXGRID_H
#define QEL_CNTR_INDEX_BOXGRID_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cntr/index/box.h"
#include "platform/std/vector.h"

namespace qel::detail {

// Each cell lists, in ascending order, the boxes that reach into it. The grid
// is fine enough for about one box per cell where the boxes are small, and
// coarsened until every box's cells together stay within a few per box.
// Boxes that are not placeable (a coordinate that is not finite, or
// inverted) enter no cell and are tried on every query; boxes reaching beyond
// the extent count in its border cells.
class BoxGrid {
public:
    BoxGrid() = default;
    // Cells spread over the placeable boxes' common extent, about one a box.
    explicit BoxGrid(std::vector<Box> boxes);
    // Cells only, spread over extent (which must be finite), about
    // cellsWanted of them: candidates() and the cells' geometry answer, while
    // any() and overlapping() need the boxes kept, as the constructor above
    // keeps them.
    BoxGrid(const std::vector<Box>& boxes, const Box& extent, std::size_t cellsWanted);

    // The placed boxes of q's cell (a superset of those holding q), ascending.
    const std::uint32_t* candidates(const krVector<2>& q, const std::uint32_t*& end) const {
        const std::size_t c = cellAt(q);
        end = items_.data() + start_[c + 1];
        return items_.data() + start_[c];
    }

    // Calls f(k) in ascending k for the boxes that hold q, until f returns
    // true; returns whether it did.
    template <class F>
    bool any(const krVector<2>& q, F&& f) const {
        const std::uint32_t* end;
        const std::uint32_t* it = candidates(q, end);
        std::size_t s = 0;
        // The cell's candidates and the unplaced boxes, merged in order.
        for (;;) {
            const std::size_t a = it != end ? *it : boxes_.size();
            const std::size_t b = s < loose_.size() ? loose_[s] : boxes_.size();
            const std::size_t k = std::min(a, b);
            if (k == boxes_.size()) return false;
            if (k == a) ++it;
            if (k == b) ++s;
            if (boxes_[k].holds(q) && f(k)) return true;
        }
    }

    // Appends to out, once each and in no particular order, the index of every
    // box that overlaps q.
    void overlapping(const Box& q, std::vector<std::size_t>& out) const;

    std::size_t columns() const { return nx_; }
    std::size_t rows() const { return ny_; }
    // The column or row of a coordinate, clamped to the grid; monotone, so a
    // box's cells are those between its corners' cells.
    std::size_t column(double x) const { return bin(x, x0_, invW_, nx_); }
    std::size_t row(double y) const { return bin(y, y0_, invH_, ny_); }
    std::size_t cellAt(const krVector<2>& q) const { return row(q.y()) * nx_ + column(q.x()); }
    // Cell centres' coordinates (each lies in its own column or row).
    double centreX(std::size_t i) const { return cx_[i]; }
    double centreY(std::size_t j) const { return cy_[j]; }
    bool centresSound() const { return centresSound_; }

private:
    static std::size_t bin(double v, double origin, double inv, std::size_t n) {
        const double t = (v - origin) * inv;
        if (!(t > 0.0)) return 0;
        if (t >= static_cast<double>(n)) return n - 1;
        return static_cast<std::size_t>(t);
    }
    void layout(const Box& extent, std::size_t nx, std::size_t ny);
    void place(const std::vector<Box>& boxes, const Box& extent, std::size_t cellsWanted);

    std::vector<Box> boxes_;
    std::vector<std::uint32_t> loose_;
    double x0_ = 0.0, y0_ = 0.0, invW_ = 1.0, invH_ = 1.0;
    std::size_t nx_ = 1, ny_ = 1;
    // The boxes of cell c are items_[start_[c] .. start_[c + 1]).
    std::vector<std::uint32_t> start_{0, 0};
    std::vector<std::uint32_t> items_;
    std::vector<double> cx_, cy_;
    bool centresSound_ = false;
    // Marks of the boxes a box query has taken, by query.
    mutable std::vector<unsigned> seen_;
    mutable unsigned stamp_ = 0;
};

}  // namespace qel::detail

#endif
