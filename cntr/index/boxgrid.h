// Pairing up the members of a list by their bounding boxes, for the region
// set's pairwise walks (the crossing test and the merge pass). Two boundaries
// can only cross where their boxes overlap, so pairs with disjoint boxes are
// skipped; the pairs that remain are visited in exactly the order of the plain
// walk over all pairs, which keeps every answer and every merge order.
#ifndef QEL_CNTR_INDEX_BOXGRID_H
#define QEL_CNTR_INDEX_BOXGRID_H

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

#include "platform/std/vector.h"

// A member's bounding box, widened by the contact tolerance
// (knTolerance::kContact). A wild box stands for a member that must not be
// skipped: no points to box, too few for the member's own checks to pass
// silently, coordinates that are not finite, or no member at all (a null
// handle). A wild box overlaps everything, so the walk reaches that member
// where the plain walk would, and the member's own operation reports what it
// reports there.
struct kr_PairBox {
    bool wild = true;
    double lox = 0.0, loy = 0.0, hix = 0.0, hiy = 0.0;

    // The box of the points; wild below minPoints points or with a coordinate
    // that is not finite.
    static kr_PairBox of(const std::vector<krVector<2>>& points, std::size_t minPoints);

    bool overlaps(const kr_PairBox& o) const {
        return wild || o.wild ||
               (hix >= o.lox && o.hix >= lox && hiy >= o.loy && o.hiy >= loy);
    }
};

// A uniform grid over a fixed list of boxes that finds the boxes overlapping a
// query box without looking at the others. Wild boxes, and boxes that would
// cover too many cells, are kept aside and tried on every query.
class krBoxGrid {
public:
    explicit krBoxGrid(const std::vector<kr_PairBox>& boxes);

    // Appends to out, once each and in no particular order, the index of every
    // box that overlaps q.
    void query(const kr_PairBox& q, std::vector<std::size_t>& out) const;

private:
    std::size_t cellX(double x) const;
    std::size_t cellY(double y) const;

    std::vector<kr_PairBox> boxes_;
    double x0_ = 0.0, y0_ = 0.0, cellW_ = 1.0, cellH_ = 1.0;
    std::size_t nx_ = 0, ny_ = 0;
    // The members of cell c are cellItems_[cellStart_[c] .. cellStart_[c + 1]).
    std::vector<std::size_t> cellStart_, cellItems_;
    std::vector<std::size_t> aside_;
    mutable std::vector<unsigned> seen_;
    mutable unsigned stamp_ = 0;
};

// Calls crosses(i, j) for the pairs i < j, i ascending and then j ascending,
// skipping pairs whose boxes do not overlap, until a call answers true.
// Returns whether one did.
template <class Crosses>
bool kf_AnyPairCrosses(const std::vector<kr_PairBox>& boxes, Crosses&& crosses) {
    const krBoxGrid grid(boxes);
    std::vector<std::size_t> partners;
    for (std::size_t i = 0; i + 1 < boxes.size(); ++i) {
        partners.clear();
        grid.query(boxes[i], partners);
        partners.erase(std::remove_if(partners.begin(), partners.end(),
                                      [i](std::size_t j) { return j <= i; }),
                       partners.end());
        std::sort(partners.begin(), partners.end());
        for (std::size_t j : partners)
            if (crosses(i, j)) return true;
    }
    return false;
}

#endif
