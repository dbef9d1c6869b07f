// The vertex grid behind krContour::vertexIndex: a contour's vertices bucketed
// into square cells one tolerance wide, so that a query inspects only the nine
// cells around its own.
#ifndef QEL_CNTR_INDEX_VERTEXGRID_H
#define QEL_CNTR_INDEX_VERTEXGRID_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/std/vector.h"

namespace qel::detail {

// Cells live in an open-addressing hash table whose entries chain the vertex
// indices of a cell in ascending order; lookups give exactly the cells and
// orders an ordered map of cells would, at a fraction of the cost to build.
//
// The cell coordinates are hashed with a key drawn for each grid, so nobody can
// choose points whose cells all land on one probe chain (points come from
// untrusted archives too); the key decides only where a cell sits in the table,
// never which cells exist or what a query returns.
class VertexGrid {
public:
    typedef std::vector<krVector<2>> Points;

    // tolerance must be a positive number.
    VertexGrid(const Points& points, double tolerance);
    double tolerance() const { return tolerance_; }
    // Appends to out the vertices nearer to point than the tolerance: cells
    // x-1, x, x+1 around the query's cell, each with y-1, y, y+1, and the
    // vertices of a cell in ascending order. points must be the list the grid
    // was built from.
    void query(const Points& points, const krVector<2>& point, std::vector<int>& out) const;

    // Longest run of occupied slots a lookup may walk; for the tests and benchmarks.
    std::size_t longestProbe() const;

private:
    struct Cell {
        std::int32_t cx = 0, cy = 0;
        std::int32_t head = -1, tail = -1;  // first and last vertex of the cell; -1: slot empty
    };
    static std::int32_t round(double v);
    std::size_t slot(std::int32_t cx, std::int32_t cy) const;
    const Cell* find(std::int32_t cx, std::int32_t cy) const;

    double tolerance_;
    double scale_;
    std::uint64_t key_;
    std::vector<Cell> table_;         // size a power of two, at most half full
    std::vector<std::int32_t> next_;  // next vertex of the same cell, -1 at the end
};

}  // namespace qel::detail

#endif
