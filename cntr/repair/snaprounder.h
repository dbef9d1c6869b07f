// Closed rings rounded onto a grid of hot pixels, so that where they cross,
// touch or nearly meet they share a node, and nowhere else.
#ifndef QEL_CNTR_REPAIR_SNAPROUNDER_H
#define QEL_CNTR_REPAIR_SNAPROUNDER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/std/vector.h"

namespace qel::detail {

// The plane is cut into square pixels of a power of two about twice the
// contact tolerance (1.9e-6; far from the origin, a fixed share of the
// largest coordinate instead). A pixel is hot when a vertex or a crossing of
// two segments lies in it. Every segment is bent through the centre of every
// hot pixel it passes through, and the pieces that result are rounded again
// until none passes through a hot pixel that is not its end and none crosses
// another: then the pieces, drawn between centres in whole pixels, form a
// plane graph exactly, so edges lying on each other become one, near misses
// become shared nodes, and every node keeps half a pixel from every piece it
// does not end.
//
// Two segments of different rings that the region set's crossing test finds
// in contact (their lines meet within the contact tolerance of both, their
// boxes overlapping) share a node too, bent through the pixel of that point,
// even where they pass through no common pixel: a set links its members by
// that test, so their boundaries must meet where it says they do.
//
// A contact reaches no further than the pixels it touches: points more than
// a pixel and a half apart never become one node, however many points lie
// between them, and no node moves by more than its pixel's half diagonal.
//
// The arithmetic runs in pixels: the coordinates are scaled by a power of
// two (exactly) and the largest centre stays below 2^50, so no product of
// two spans overflows, and the tests between centres, whole numbers, are
// exact.
class SnapRounder {
public:
    typedef std::vector<krVector<2>> Points;
    typedef std::uint32_t Id;

    // A piece of ring segment seg (from point seg to point seg + 1, the
    // closing segment last) between nodes a and b, a != b.
    struct Piece {
        Id a, b, seg;
    };

    // The rings are closed point lists with finite coordinates (BadParams
    // otherwise). BadParams too when they cross themselves and each other
    // more often than the memory for it allows. everyPixel tries every piece
    // against every hot pixel in every round, instead of those a grid finds
    // near it and only the pieces a round may have changed: the same answer,
    // slowly, for checking the shortcuts.
    explicit SnapRounder(const std::vector<const Points*>& rings, bool everyPixel = false);

    // The side of a pixel.
    double pixel() const { return pixel_; }
    std::size_t nodes() const { return cx_.size(); }
    // Node v's centre in whole pixels, and the point that stands for it: the
    // first vertex of the rings in its pixel, else the first crossing found
    // there.
    std::int64_t cx(Id v) const { return cx_[v]; }
    std::int64_t cy(Id v) const { return cy_[v]; }
    const krVector<2>& at(Id v) const { return at_[v]; }
    // The centre in the rings' coordinates.
    krVector<2> centre(Id v) const;

    // Ring r after rounding: its pieces in order, each ending where the next
    // begins. A ring that lies within one pixel has none.
    std::size_t rings() const { return rings_.size(); }
    const std::vector<Piece>& ring(std::size_t r) const { return rings_[r]; }

    // Hands the nodes' points and centres over to their next owner (the
    // rounding keeps its rings, and no nodes).
    void handOver(Points& at, std::vector<std::int64_t>& cx, std::vector<std::int64_t>& cy) {
        at.swap(at_);
        cx.swap(cx_);
        cy.swap(cy_);
        at_.clear();
        cx_.clear();
        cy_.clear();
    }

private:
    // The first round takes the rings as given, the later ones none.
    bool round(const std::vector<const Points*>* given, bool everyPixel);
    Id hot(std::int64_t x, std::int64_t y, const krVector<2>& at);
    void grow();

    int scale_ = 0;  // the pixel is 2^scale_
    double pixel_ = 0;
    std::vector<std::int64_t> cx_, cy_;
    std::vector<krVector<2>> at_;
    std::vector<Id> table_;  // open addressing over (cx, cy)
    std::vector<std::vector<Piece>> rings_;
    // Piece f (ring after ring) is settled: tried against every pixel hot
    // before this round, it needs trying against the new ones only.
    std::vector<bool> settled_;
};

}  // namespace qel::detail

#endif
