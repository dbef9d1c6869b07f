// Point location in closed rings: whether a point lies within the inside
// test's reach of a ring or, farther away, inside it by the even-odd rule; a
// kept grid that answers the same in about constant time per point; and a grid
// over rectangles that finds the shapes whose box holds a point.
#ifndef QEL_CNTR_LOCATE_RINGLOCATOR_H
#define QEL_CNTR_LOCATE_RINGLOCATOR_H

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "cntr/support/tolerance.h"
#include "platform/std/geometry.h"
#include "platform/std/vector.h"

// A point this near a ring's vertex or edge counts as inside it.
constexpr double kInsideReach = knTolerance::kContact;

// Whether q lies within kInsideReach of an edge of the closed ring p[0 .. n)
// (its vertices included), and otherwise whether q is inside the ring by the
// even-odd rule. The parity comes from a ray from q towards +x: an edge counts
// when one end lies above q and the other not (so a vertex level with q counts
// as above) and q lies strictly left of the edge taken upwards, decided by the
// exact orientation. The rule is that of q moved up by an infinitesimal and
// right by a far larger one, so every point gets one consistent answer, and
// points farther than the reach get the exact one. One pass over the edges;
// nothing is kept. The caller checks the bounding rectangle.
bool kf_RingInside(const krVector<2>* p, std::size_t n, const krVector<2>& q);

// Closed boxes on a grid of cells over an extent: each cell lists, in
// ascending order, the boxes that reach into it. The grid is fine enough for
// about one box per cell where the boxes are small, and coarsened until every
// box's cells together stay within a few per box.
class krCellGrid {
public:
    struct Box {
        double lox, loy, hix, hiy;
        bool holds(const krVector<2>& q) const {
            return lox <= q.x() && q.x() <= hix && loy <= q.y() && q.y() <= hiy;
        }
    };

    krCellGrid() = default;
    // Builds over the boxes with cells spread over extent (which must be
    // finite); boxes reaching beyond it count in its border cells, boxes with
    // a coordinate that is not finite in none.
    void build(const std::vector<Box>& boxes, const Box& extent, std::size_t cellsWanted);

    // The boxes whose cells include q's cell (a superset of those holding q),
    // ascending.
    const std::uint32_t* begin(const krVector<2>& q, const std::uint32_t*& end) const {
        const std::size_t c = cellAt(q);
        end = items_.data() + start_[c + 1];
        return items_.data() + start_[c];
    }
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

    double x0_ = 0.0, y0_ = 0.0, invW_ = 1.0, invH_ = 1.0;
    std::size_t nx_ = 1, ny_ = 1;
    std::vector<std::uint32_t> start_{0, 0};
    std::vector<std::uint32_t> items_;
    std::vector<double> cx_, cy_;
    bool centresSound_ = false;
};

// Shapes (the holes of a region, the regions of a set) by their bounding
// boxes, for finding the few whose box holds a point. Boxes with a coordinate
// that is not finite are left out of the grid and tried for every point.
class krBoxIndex {
public:
    explicit krBoxIndex(std::vector<krCellGrid::Box> boxes);
    // Calls f(k) in ascending k for the shapes whose box holds q, until f
    // returns true; returns whether it did.
    template <class F>
    bool any(const krVector<2>& q, F&& f) const {
        const std::uint32_t* end;
        const std::uint32_t* it = grid_.begin(q, end);
        std::size_t s = 0;
        // The grid's candidates and the unplaced boxes, merged in order.
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

private:
    std::vector<krCellGrid::Box> boxes_;
    std::vector<std::uint32_t> loose_;
    krCellGrid grid_;
};

// A kept index over one closed ring that gives kf_RingInside's answer for
// points within the ring's bounding rectangle. A grid of cells lists the
// edges that come within reach of each cell, and keeps for each cell's centre
// whether it is inside. A query walks from the centre of its cell to the
// point: the parity changes at each edge the walk crosses, and an edge within
// reach of the point answers at once. The crossings are taken with the same
// infinitesimal shift of both ends as kf_RingInside's, so the walk never meets
// a vertex or runs along an edge, and the parity agrees with the ray's.
//
// The ring's points are copied; the index stays valid whatever happens to the
// shape it came from.
class krRingLocator {
public:
    // Coordinates that are not finite or beyond knTolerance::kIndexLargest,
    // or cells too small to tell apart from the coordinates' rounding, leave
    // the locator without a grid: it then answers by one pass over its copy
    // of the ring.
    krRingLocator(const std::vector<krVector<2>>& ring, const krCellGrid::Box& box);
    const krCellGrid::Box& box() const { return box_; }
    // kf_RingInside(ring, q) for q within box(); not thread-safe only in the
    // sense that nothing is: it reads and never writes.
    bool inside(const krVector<2>& q) const;

private:
    std::vector<krVector<2>> ring_;
    krCellGrid::Box box_;
    krCellGrid grid_;
    bool gridded_ = false;
    std::vector<std::uint8_t> parity_;  // per cell: its centre is inside
};

#endif
