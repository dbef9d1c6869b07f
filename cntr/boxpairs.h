// Pairing up the members of a list by their bounding boxes, for the region
// set's pairwise walks (the crossing test and the merge pass). Two boundaries
// can only cross where their boxes overlap, so pairs with disjoint boxes are
// skipped; the pairs that remain are visited in exactly the order of the plain
// walk over all pairs, which keeps every answer and every merge order.
#ifndef QEL_CNTR_BOXPAIRS_H
#define QEL_CNTR_BOXPAIRS_H

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

#include "platform/std/vector.h"

// A member's bounding box, widened by the 1e-6 contact tolerance. A wild box
// stands for a member that must not be skipped: no points to box, too few for
// the member's own checks to pass silently, coordinates that are not finite, or
// no member at all (a null handle). A wild box overlaps everything, so the
// walk reaches that member where the plain walk would, and the member's own
// operation reports what it reports there.
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

// The merge pass over list, as the plain walk does it: for each slot i and each
// later slot j in turn, when crosses(list[i], list[j]) the pair becomes
// merge(list[i], list[j]) in slot i, the last member moves into slot j and j is
// tried again; otherwise j advances. Members whose boxes miss the box of
// list[i] are passed over without a call. boxOf gives a member's box.
//
// Every slot above i holds a member of the original list (a merge writes slot
// i, a move fills slot j from the tail), so one grid over the original members
// finds every partner; the members' current slots are tracked beside it.
template <class Item, class BoxOf, class Crosses, class Merge>
void kf_MergeCrossingPairs(std::vector<Item>& list, BoxOf&& boxOf, Crosses&& crosses,
                           Merge&& merge) {
    const std::size_t n = list.size();
    std::vector<kr_PairBox> boxes(n);
    for (std::size_t k = 0; k < n; ++k) boxes[k] = boxOf(list[k]);
    const krBoxGrid grid(boxes);
    std::vector<std::size_t> origin(n), slotOf(n);
    std::iota(origin.begin(), origin.end(), std::size_t(0));
    std::iota(slotOf.begin(), slotOf.end(), std::size_t(0));

    std::vector<std::size_t> partners;
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        kr_PairBox box = boxes[origin[i]];
        std::size_t j = i + 1;
        bool merged = true;
        while (merged) {
            merged = false;
            // The partners still to try: slots from j on, in slot order.
            partners.clear();
            grid.query(box, partners);
            for (std::size_t& k : partners) k = slotOf[k];
            partners.erase(std::remove_if(partners.begin(), partners.end(),
                                          [&](std::size_t s) { return s < j || s >= list.size(); }),
                           partners.end());
            std::sort(partners.begin(), partners.end());
            for (std::size_t s : partners) {
                if (!crosses(list[i], list[s])) continue;
                list[i] = merge(list[i], list[s]);
                box = boxOf(list[i]);
                const std::size_t last = list.size() - 1;
                slotOf[origin[s]] = n;  // gone: past every slot
                if (s != last) {
                    list[s] = list[last];
                    origin[s] = origin[last];
                    slotOf[origin[s]] = s;
                }
                list.pop_back();
                origin.pop_back();
                j = s;
                merged = true;
                break;
            }
        }
    }
}

#endif
