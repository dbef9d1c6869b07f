// A kept index over one closed ring that answers the one-pass point
// location in about constant time per point.
#ifndef QEL_CNTR_LOCATE_RINGLOCATOR_H
#define QEL_CNTR_LOCATE_RINGLOCATOR_H

#include <cstdint>
#include <vector>

#include "cntr/index/boxgrid.h"
#include "platform/std/vector.h"

namespace qel::detail {

// A kept index over one closed ring that gives ringInside's answer for
// points within the ring's bounding rectangle. A grid of cells lists the
// edges that come within reach of each cell, and keeps for each cell's centre
// whether it is inside. A query walks from the centre of its cell to the
// point: the parity changes at each edge the walk crosses, and an edge within
// reach of the point answers at once. The crossings are taken with the same
// infinitesimal shift of both ends as ringInside's, so the walk never meets
// a vertex or runs along an edge, and the parity agrees with the ray's.
//
// The ring's points are copied; the index stays valid whatever happens to the
// shape it came from.
class RingLocator {
public:
    // Coordinates that are not finite or beyond knTolerance::kIndexLargest,
    // or cells too small to tell apart from the coordinates' rounding, leave
    // the locator without a grid: it then answers by one pass over its copy
    // of the ring.
    RingLocator(const std::vector<krVector<2>>& ring, const Box& box);
    const Box& box() const { return box_; }
    // ringInside(ring, q) for q within box(); not thread-safe only in the
    // sense that nothing is: it reads and never writes.
    bool inside(const krVector<2>& q) const;

private:
    std::vector<krVector<2>> ring_;
    Box box_;
    BoxGrid grid_;
    bool gridded_ = false;
    std::vector<std::uint8_t> parity_;  // per cell: its centre is inside
};

}  // namespace qel::detail

#endif
