#include "cntr/masks.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "cntr/repair/splicetouchingholes.h"

using namespace qel::detail;

namespace {

using Ring = std::vector<krVector<2>>;

// The mask with a frame of unset pixels around it, so every boundary closes.
class Grid {
public:
    Grid(const unsigned char* pixels, long width, long height)
        : w_(width), h_(height), stride_(std::size_t(width) + 2),
          set_(stride_ * (std::size_t(height) + 2), 0) {
        for (long y = 0; y < height; ++y)
            for (long x = 0; x < width; ++x)
                set_[index(x, y)] = pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] != 0;
    }
    long width() const { return w_; }
    long height() const { return h_; }
    // Pixels from (-1, -1) to (width, height).
    std::size_t index(long x, long y) const { return std::size_t(y + 1) * stride_ + std::size_t(x + 1); }
    bool at(long x, long y) const { return set_[index(x, y)] != 0; }

private:
    long w_, h_;
    std::size_t stride_;
    std::vector<unsigned char> set_;
};

// Numbers the connected pieces 1, 2, … in the order of their first pixel.
std::vector<std::int32_t> label(const Grid& g, int connectivity, std::int32_t& pieces) {
    std::vector<std::int32_t> labels(g.index(g.width(), g.height()) + 1, 0);
    std::vector<std::pair<long, long>> stack;
    pieces = 0;
    for (long y = 0; y < g.height(); ++y)
        for (long x = 0; x < g.width(); ++x) {
            if (!g.at(x, y) || labels[g.index(x, y)]) continue;
            labels[g.index(x, y)] = ++pieces;
            stack.push_back({x, y});
            while (!stack.empty()) {
                auto [px, py] = stack.back();
                stack.pop_back();
                for (long dy = -1; dy <= 1; ++dy)
                    for (long dx = -1; dx <= 1; ++dx) {
                        if ((dx == 0 && dy == 0) || (connectivity == 4 && dx && dy)) continue;
                        long nx = px + dx, ny = py + dy;
                        if (!g.at(nx, ny) || labels[g.index(nx, ny)]) continue;
                        labels[g.index(nx, ny)] = pieces;
                        stack.push_back({nx, ny});
                    }
            }
        }
    return labels;
}

// Directions along pixel edges, counter-clockwise from +x.
const long kDx[4] = {1, 0, -1, 0}, kDy[4] = {0, 1, 0, -1};

// Walks every boundary once, the set pixels always on the left (x right,
// y up): outer boundaries counter-clockwise, holes clockwise.
class Tracer {
public:
    Tracer(const Grid& g, int connectivity)
        : g_(g), turnAtSaddle_(connectivity == 8 ? 3 : 1),
          hSeen_(std::size_t(g.width()) * std::size_t(g.height() + 1), false),
          vSeen_(std::size_t(g.width() + 1) * std::size_t(g.height()), false) {}

    // Calls found(ring, x, y) for each boundary, (x, y) a set pixel beside it.
    template <class F>
    void run(F found) {
        for (long y = 0; y <= g_.height(); ++y)
            for (long x = 0; x < g_.width(); ++x) {
                bool below = g_.at(x, y), above = g_.at(x, y - 1);
                if (below == above || hSeen_[hIndex(x, y)]) continue;
                // Along +x the set pixel is at the larger y; along -x at the smaller.
                if (below)
                    found(walk(x, y, 0), x, y);
                else
                    found(walk(x + 1, y, 2), x, y - 1);
            }
    }

private:
    std::size_t hIndex(long x, long y) const { return std::size_t(y) * std::size_t(g_.width()) + std::size_t(x); }
    std::size_t vIndex(long x, long y) const { return std::size_t(y) * std::size_t(g_.width() + 1) + std::size_t(x); }

    void markEdge(long x, long y, int d) {
        switch (d) {
        case 0: hSeen_[hIndex(x, y)] = true; break;
        case 2: hSeen_[hIndex(x - 1, y)] = true; break;
        case 1: vSeen_[vIndex(x, y)] = true; break;
        default: vSeen_[vIndex(x, y - 1)] = true; break;
        }
    }

    // Whether the edge leaving vertex (x, y) in direction d is a boundary
    // with the set pixel on its left.
    bool leaves(long x, long y, int d) const {
        switch (d) {
        case 0: return g_.at(x, y) && !g_.at(x, y - 1);
        case 2: return g_.at(x - 1, y - 1) && !g_.at(x - 1, y);
        case 1: return g_.at(x - 1, y) && !g_.at(x, y);
        default: return g_.at(x, y - 1) && !g_.at(x - 1, y - 1);
        }
    }

    // Where a boundary arriving at (x, y) along d goes on. At a vertex where
    // two set pixels meet only by their corners two ways leave: turning
    // right keeps the two pixels on one boundary (they are joined), turning
    // left keeps them apart.
    int onwards(long x, long y, int d) const {
        bool a = g_.at(x - 1, y - 1), b = g_.at(x, y - 1), c = g_.at(x - 1, y), e = g_.at(x, y);
        if (a == e && b == c && a != b) return (d + turnAtSaddle_) % 4;
        for (int turn : {1, 0, 3})
            if (leaves(x, y, (d + turn) % 4)) return (d + turn) % 4;
        return d;  // not reached: every boundary vertex has a way on
    }

    Ring walk(long x0, long y0, int d0) {
        Ring ring;
        long x = x0, y = y0;
        int d = d0;
        while (true) {
            markEdge(x, y, d);
            x += kDx[d];
            y += kDy[d];
            int next = onwards(x, y, d);
            if (next != d) ring.emplace_back(double(x), double(y));
            d = next;
            if (x == x0 && y == y0 && d == d0) break;
        }
        return ring;
    }

    const Grid& g_;
    int turnAtSaddle_;
    std::vector<bool> hSeen_, vSeen_;
};

}  // namespace

krRegionSet kf_TraceMask(const unsigned char* pixels, long width, long height, int connectivity) {
    if (connectivity != 4 && connectivity != 8)
        throw krContourDefs::BadParams(L"connectivity is neither 4 nor 8");
    const long kLimit = std::numeric_limits<std::int32_t>::max() / 4;
    if (width < 0 || height < 0 || width > kLimit || height > kLimit ||
        (!pixels && width && height))
        throw krContourDefs::BadParams(L"the mask's size is not that of a raster");
    if (!width || !height) return krRegionSet();
    Grid grid(pixels, width, height);
    std::int32_t pieces = 0;
    std::vector<std::int32_t> labels = label(grid, connectivity, pieces);

    struct Piece {
        Ring outer;
        std::vector<Ring> holes;
    };
    std::vector<Piece> byLabel(std::size_t(pieces) + 1);
    Tracer(grid, connectivity).run([&](Ring ring, long x, long y) {
        Piece& p = byLabel[std::size_t(labels[grid.index(x, y)])];
        if (kf_TwiceSignedArea(ring) > 0)
            p.outer = std::move(ring);  // one outer boundary a piece
        else
            p.holes.push_back(std::move(ring));
    });

    krRegionSet::Regions regions;
    for (std::size_t k = 1; k < byLabel.size(); ++k) {
        Piece& p = byLabel[k];
        // Only joined corners let a hole touch its outer boundary.
        if (connectivity == 8) kf_SpliceTouchingHoles(p.outer, p.holes);
        krPtrHandle<krRegion> region(new krRegion(p.outer));
        krRegion::Holes holes;
        for (const Ring& h : p.holes) holes.push_back(krPtrHandle_const<krRegion>(new krRegion(h)));
        region->holes(holes);
        regions.push_back(region);
    }
    return krRegionSet(regions);
}
