// Pairing up the members of a list by their bounding boxes, for the region
// set's pairwise walks (the crossing test and the merge pass). Two boundaries
// can only cross where their boxes overlap, so pairs with disjoint boxes are
// skipped; the pairs that remain are visited in exactly the order of the plain
// walk over all pairs, which keeps every answer and every merge order.
#ifndef QEL_CNTR_INDEX_ANYPAIRCROSSES_H
#define QEL_CNTR_INDEX_ANYPAIRCROSSES_H

#include <algorithm>
#include <cstddef>
#include <vector>

#include "cntr/index/boxgrid.h"
#include "platform/std/vector.h"

namespace qel::detail {

// A member's bounding box for the pairwise walks, widened by the contact
// tolerance (knTolerance::kContact). Box::everything() stands for a member
// that must not be skipped: fewer than minPoints points, too few for the
// member's own checks to pass silently, or a coordinate that is not finite.
// It overlaps everything, so the walk reaches that member where the plain
// walk would, and the member's own operation reports what it reports there.
Box pairBox(const std::vector<krVector<2>>& points, std::size_t minPoints);

// The partners j > i of member i whose boxes overlap its box, ascending.
inline void laterPartners(const BoxGrid& grid, const std::vector<Box>& boxes, std::size_t i,
                          std::vector<std::size_t>& partners) {
    partners.clear();
    grid.overlapping(boxes[i], partners);
    partners.erase(
        std::remove_if(partners.begin(), partners.end(), [i](std::size_t j) { return j <= i; }),
        partners.end());
    std::sort(partners.begin(), partners.end());
}

// Calls crosses(i, j) for the pairs i < j, i ascending and then j ascending,
// skipping pairs whose boxes do not overlap, until a call answers true.
// Returns whether one did.
template <class Crosses>
bool anyPairCrosses(const std::vector<Box>& boxes, Crosses&& crosses) {
    const BoxGrid grid(boxes);
    std::vector<std::size_t> partners;
    for (std::size_t i = 0; i + 1 < boxes.size(); ++i) {
        laterPartners(grid, boxes, i, partners);
        for (std::size_t j : partners)
            if (crosses(i, j)) return true;
    }
    return false;
}

}  // namespace qel::detail

#endif
