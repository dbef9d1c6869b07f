#include "cntr/repair/snaprounder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "cntr/index/segmentindex.h"
#include "cntr/support/crossing.h"
#include "defs/cntrdefs.h"

namespace qel::detail {

namespace {

typedef SnapRounder::Id Id;
typedef SnapRounder::Piece Piece;
typedef std::int64_t I64;
__extension__ typedef __int128 I128;
constexpr Id kNone = ~Id(0);

// The pixel, 2^-19 (1.9e-6), about twice the contact tolerance: a node keeps
// half a pixel, nearly that tolerance, from the pieces it does not end, so a
// traced outline seldom comes within it of itself, while points farther apart
// than the tolerances of the crossing tests mostly stay apart. Far out, doubles themselves lie more than a part in 2^52 of
// the coordinates apart: the pixel is a part in 2^50 of the largest one there.
// A pixel holds the points within half a pixel of its centre on both axes,
// its left and lower sides included, its right and upper ones not, so that
// the pixels tile the plane.
constexpr int kPixelScale = -19;
constexpr int kCentreBits = 50;
// Every crossing and bend costs some tens of bytes; past this many the memory,
// not the answer, is the problem.
constexpr std::size_t kMostHits = std::size_t(1) << 25;
// The rounds after the first meet almost nothing to do; this many is far
// beyond what any shape has needed.
constexpr int kMostRounds = 64;

// The pixel of u, floor(u + 1/2), through a double: the long format's own
// rounding to integers switches the rounding mode there and back, which costs
// more than all the rest of rounding a vertex. Below 2^51 the sum is exact,
// and rounding it to a double moves it across a whole number upwards at most.
I64 pixelOf(long double u) {
    const long double r = u + 0.5L;
    const I64 k = I64(std::floor(double(r)));
    return (long double)k > r ? k - 1 : k;
}
bool opposite(long double a, long double b) { return (a > 0 && b < 0) || (a < 0 && b > 0); }

std::uint64_t hashOf(I64 x, I64 y) {
    std::uint64_t h = std::uint64_t(x) * 0x9E3779B97F4A7C15ull ^ std::uint64_t(y) * 0xC2B2AE3D27D4EB4Full;
    return h ^ (h >> 29);
}

// The place of (x, y) in [0, 1]^2 along a Z-order curve, 32 bits a side.
std::uint64_t curveKey(double x, double y) {
    const auto spread = [](double t) {
        std::uint64_t v = std::uint64_t(std::min(std::max(t, 0.0), 1.0) * 4294967295.0);
        v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
        v = (v | (v << 8)) & 0x00FF00FF00FF00FFull;
        v = (v | (v << 4)) & 0x0F0F0F0F0F0F0F0Full;
        v = (v | (v << 2)) & 0x3333333333333333ull;
        return (v | (v << 1)) & 0x5555555555555555ull;
    };
    return spread(x) | (spread(y) << 1);
}

// A segment in pixels, from (x1, y1) to (x2, y2).
struct Seg {
    long double x1, y1, x2, y2;
};

// A whole number of pixels below 2^53 in the long format, read through a
// double: exactly, and without the long format's own conversion, which
// switches the rounding mode there and back.
I64 whole(long double u) { return I64(double(u)); }

// The cross product (s2 - s1) x (p - s1): twice the signed area. Between
// centres (whole numbers below 2^51) it is exact; otherwise rounded in the
// long format, which only the first round uses.
long double side(const Seg& s, long double px, long double py, bool exact) {
    if (exact) {
        const I128 c = I128(whole(s.x2) - whole(s.x1)) * (whole(py) - whole(s.y1)) -
                       I128(whole(s.y2) - whole(s.y1)) * (whole(px) - whole(s.x1));
        return c > 0 ? 1.0L : (c < 0 ? -1.0L : 0.0L);
    }
    return (s.x2 - s.x1) * (py - s.y1) - (s.y2 - s.y1) * (px - s.x1);
}

// Whether s meets the closed square of centre (x, y) reaching h from it on
// both axes, rounded in the long format: the segment's box must overlap the
// square, and the line pass between its corners.
bool meetsSquare(const Seg& s, long double x, long double y, long double h) {
    if (x < std::min(s.x1, s.x2) - h || x > std::max(s.x1, s.x2) + h || y < std::min(s.y1, s.y2) - h ||
        y > std::max(s.y1, s.y2) + h)
        return false;
    const long double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
    return std::fabs(dx * (y - s.y1) - dy * (x - s.x1)) <= h * (std::fabs(dx) + std::fabs(dy));
}

// Whether s passes through the pixel of centre (cx, cy). Between centres
// the test is exact: a segment between whole numbers meets the pixel's
// inside, or touches it at a corner only, and of the corners the pixel holds
// the lower left one. Otherwise (the first round) the closed square counts.
bool passesThrough(const Seg& s, I64 cx, I64 cy, bool exact) {
    if (exact) {
        const I64 x1 = whole(s.x1), y1 = whole(s.y1), x2 = whole(s.x2), y2 = whole(s.y2);
        const I64 dx = x2 - x1, dy = y2 - y1;
        // In half pixels, so that the corner is whole: the centre's offset
        // and the corner's, each crossed with the direction.
        const I128 c = I128(dx) * (2 * (cy - y1)) - I128(dy) * (2 * (cx - x1));
        const I128 k = I128(dx) * (2 * (cy - y1) - 1) - I128(dy) * (2 * (cx - x1) - 1);
        const bool inside = cx >= std::min(x1, x2) && cx <= std::max(x1, x2) && cy >= std::min(y1, y2) &&
                            cy <= std::max(y1, y2) && (c < 0 ? -c : c) < I128(dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
        const auto within = [](I64 v, I64 a, I64 b) { return v >= 2 * std::min(a, b) && v <= 2 * std::max(a, b); };
        return inside || (k == 0 && within(2 * cx - 1, x1, x2) && within(2 * cy - 1, y1, y2));
    }
    return meetsSquare(s, (long double)cx, (long double)cy, 0.5L);
}

// The hot pixels bucketed by their centres into square cells of a power of
// two pixels, about a cell a pixel over the pixels' common box. A piece is
// tried against the pixels of the cells along it, column by column, rather
// than against those of its whole box, which for a long slanted piece would
// be most of the grid. A cell that still holds a crowd (a tangle far from the
// rest, say) holds a grid of its own over its pixels, so that how the pixels
// lie never makes a piece try many pixels far from it.
class HotGrid {
public:
    // The n pixels ids[0 .. n) (0 .. n-1 without ids) of centres (cx[v],
    // cy[v]). oneCell puts them all into one cell, without a grid of its own.
    HotGrid(const std::vector<I64>& cx, const std::vector<I64>& cy, const Id* ids, std::size_t n, bool oneCell) {
        if (n == 0) return;
        const auto id = [&](std::size_t k) { return ids ? ids[k] : Id(k); };
        I64 hx = cx[id(0)], hy = cy[id(0)];
        x0_ = hx;
        y0_ = hy;
        for (std::size_t k = 0; k < n; ++k) {
            x0_ = std::min(x0_, cx[id(k)]);
            y0_ = std::min(y0_, cy[id(k)]);
            hx = std::max(hx, cx[id(k)]);
            hy = std::max(hy, cy[id(k)]);
        }
        while (I128(((hx - x0_) >> shift_) + 1) * (((hy - y0_) >> shift_) + 1) > I128(oneCell ? 1 : n)) ++shift_;
        nx_ = ((hx - x0_) >> shift_) + 1;
        ny_ = ((hy - y0_) >> shift_) + 1;
        const auto cell = [&](Id v) { return std::size_t(((cy[v] - y0_) >> shift_) * nx_ + ((cx[v] - x0_) >> shift_)); };
        start_.assign(std::size_t(nx_ * ny_) + 1, 0);
        for (std::size_t k = 0; k < n; ++k) ++start_[cell(id(k)) + 1];
        for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
        // Each cell filled from its start on, which then is the next one's.
        items_.resize(n);
        for (std::size_t k = 0; k < n; ++k) items_[start_[cell(id(k))]++] = id(k);
        std::copy_backward(start_.begin(), start_.end() - 1, start_.end());
        start_[0] = 0;
        if (oneCell) return;
        for (std::size_t c = 0; c + 1 < start_.size(); ++c)
            if (start_[c + 1] - start_[c] > kCrowd) {
                if (innerOf_.empty()) innerOf_.assign(start_.size() - 1, kNone);
                innerOf_[c] = Id(inner_.size());
                inner_.emplace_back(cx, cy, items_.data() + start_[c], start_[c + 1] - start_[c], false);
            }
    }

    // Calls visit(v) for every pixel whose centre s may come within reach
    // of on both axes, and for some more, each once.
    template <class Visit>
    void forEachNear(const Seg& s, long double reach, Visit&& visit) const {
        if (items_.empty()) return;
        // Half a pixel more leaves room for the rounding of the long format
        // below, and for the binning, which reads offsets below 2^51 through
        // a double (an eighth of a pixel off at most) rather than through the
        // long format's slow conversion to integers.
        const long double pad = reach + 0.5L, lox = std::min(s.x1, s.x2), hix = std::max(s.x1, s.x2);
        const long double loy = std::min(s.y1, s.y2), hiy = std::max(s.y1, s.y2);
        const I64 first = column(lox - pad), last = column(hix + pad);
        const long double slope = s.x2 != s.x1 ? (s.y2 - s.y1) / (s.x2 - s.x1) : 0;
        for (I64 i = first; i <= last; ++i) {
            // The part of s within reach of the column's centres, and the rows
            // within reach of that part.
            long double ya = loy, yb = hiy;
            if (s.x2 != s.x1) {
                const long double xa = std::max(lox, (long double)(x0_ + (i << shift_)) - pad);
                const long double xb = std::min(hix, (long double)(x0_ + ((i + 1) << shift_)) + pad);
                ya = std::clamp(s.y1 + (xa - s.x1) * slope, loy, hiy);
                yb = std::clamp(s.y1 + (xb - s.x1) * slope, loy, hiy);
                if (ya > yb) std::swap(ya, yb);
            }
            const I64 top = row(yb + pad);
            for (I64 j = row(ya - pad); j <= top; ++j) {
                const std::size_t c = std::size_t(j * nx_ + i);
                if (start_[c + 1] - start_[c] > kCrowd && !innerOf_.empty()) {
                    inner_[innerOf_[c]].forEachNear(s, reach, visit);
                    continue;
                }
                for (Id k = start_[c]; k < start_[c + 1]; ++k) visit(items_[k]);
            }
        }
    }

private:
    static constexpr Id kCrowd = 32;

    static I64 bin(long double u, I64 origin, int shift, I64 n) {
        if (!(u > (long double)origin)) return 0;
        const long double t = u - (long double)origin;
        return t >= (long double)((n - 1) << shift) ? n - 1 : I64(double(t)) >> shift;
    }
    I64 column(long double x) const { return bin(x, x0_, shift_, nx_); }
    I64 row(long double y) const { return bin(y, y0_, shift_, ny_); }

    I64 x0_ = 0, y0_ = 0, nx_ = 0, ny_ = 0;
    int shift_ = 0;
    // The pixels of cell c (row by row) are items_[start_[c] .. start_[c + 1]).
    std::vector<Id> start_, items_;
    // The grids of the crowded cells, and which one is cell c's (none
    // without crowded cells).
    std::vector<HotGrid> inner_;
    std::vector<Id> innerOf_;
};

}  // namespace

SnapRounder::SnapRounder(const std::vector<const Points*>& rings, bool everyPixel) {
    double far = 0;
    for (const Points* ring : rings)
        for (const krVector<2>& v : *ring) {
            if (!std::isfinite(v.x()) || !std::isfinite(v.y()))
                throw krContourDefs::BadParams(L"boundary coordinates must be finite numbers");
            far = std::max({far, std::fabs(v.x()), std::fabs(v.y())});
        }
    const int top = far > 0 ? std::ilogb(far) + 1 : 0;  // far < 2^top
    scale_ = std::max(kPixelScale, top - kCentreBits);
    pixel_ = std::ldexp(1.0, scale_);
    // Scaling by a power of two rounds as ldexp does, at the cost of a product.
    const double toPixels = std::ldexp(1.0, -scale_);

    // Every vertex makes its pixel hot, in ring order, so a pixel holding
    // vertices stands for the first of them; each segment is one piece.
    std::size_t total = 0;
    for (const Points* ring : rings) total += ring->size();
    // Room for the vertices' pixels and, as most shapes need, a few more.
    const std::size_t room = total + total / 8 + 16;
    cx_.reserve(room);
    cy_.reserve(room);
    at_.reserve(room);
    // Room for every vertex's pixel at once, and some crossings.
    std::size_t slots = 16;
    while (slots < 2 * (total + 1)) slots *= 2;
    table_.assign(slots, kNone);
    rings_.resize(rings.size());
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const Points& ring = *rings[r];
        const Id n = Id(ring.size());
        std::vector<Id> node(n);
        for (Id i = 0; i < n; ++i)
            node[i] = hot(pixelOf(ring[i].x() * toPixels), pixelOf(ring[i].y() * toPixels), ring[i]);
        rings_[r].reserve(n);
        for (Id i = 0; i < n; ++i) rings_[r].push_back({node[i], node[(i + 1) % n], i});
    }

    // The first round decides on the rings' own points; the pieces between
    // centres are then checked once at least, exactly.
    round(&rings, everyPixel);
    bool changed = true;
    for (int k = 1; changed; ++k) {
        if (k == kMostRounds) throw krContourDefs::BadParams(L"the boundary could not be rounded onto a grid");
        changed = round(nullptr, everyPixel);
    }
    // What the nodes hold is all the graph built on them keeps of the
    // rounding: no room to spare beyond what was set aside at first.
    table_ = std::vector<Id>();
    settled_ = std::vector<bool>();
    if (cx_.capacity() > room) {
        cx_.shrink_to_fit();
        cy_.shrink_to_fit();
        at_.shrink_to_fit();
    }
}

krVector<2> SnapRounder::centre(Id v) const {
    return krVector<2>(std::ldexp(double(cx_[v]), scale_), std::ldexp(double(cy_[v]), scale_));
}

SnapRounder::Id SnapRounder::hot(I64 x, I64 y, const krVector<2>& at) {
    if (2 * (cx_.size() + 1) > table_.size()) grow();
    const std::size_t mask = table_.size() - 1;
    for (std::size_t i = hashOf(x, y) & mask;; i = (i + 1) & mask) {
        const Id v = table_[i];
        if (v == kNone) {
            table_[i] = Id(cx_.size());
            cx_.push_back(x);
            cy_.push_back(y);
            at_.push_back(at);
            return table_[i];
        }
        if (cx_[v] == x && cy_[v] == y) return v;
    }
}

void SnapRounder::grow() {
    table_.assign(2 * table_.size(), kNone);
    const std::size_t mask = table_.size() - 1;
    for (Id v = 0; v < cx_.size(); ++v) {
        std::size_t i = hashOf(cx_[v], cy_[v]) & mask;
        while (table_[i] != kNone) i = (i + 1) & mask;
        table_[i] = v;
    }
}

// One round: the pieces' crossings make pixels hot, and every piece is bent
// through the hot pixels it passes near. The first round works on the rings'
// own points, the later ones on the centres, where every test is exact.
// Whether any piece was bent.
bool SnapRounder::round(const std::vector<const Points*>* given, bool everyPixel) {
    const bool first = given != nullptr;
    const std::size_t older = cx_.size();  // the pixels hot before this round
    // The pieces the pixel search tried, and (first round) those it found a
    // pixel near.
    std::vector<bool> tried, near;
    const long double toPixels = std::ldexp(1.0L, -scale_);
    // The pieces one ring after the other, each ring closed, with a point that
    // is not a number between rings (the index leaves out the segments into
    // and out of it). Piece f runs from all[at[f]] to all[at[f] + 1]. The
    // index boxes runs of pieces in the order given, so many small rings
    // (the members of a set) go in the order of a curve through the plane,
    // neighbours near each other.
    std::vector<Id> base(rings_.size() + 1, 0);
    for (std::size_t r = 0; r < rings_.size(); ++r) base[r + 1] = base[r] + Id(rings_[r].size());
    const Id pieces = base.back();
    const auto startOf = [&](std::size_t r, Id i) {
        if (first) {
            const krVector<2>& p = (*(*given)[r])[i];
            return krVector<2>(p.x() * double(toPixels), p.y() * double(toPixels));
        }
        return krVector<2>(double(cx_[rings_[r][i].a]), double(cy_[rings_[r][i].a]));
    };
    std::vector<std::pair<std::uint64_t, Id>> order;
    for (std::size_t r = 0; r < rings_.size(); ++r)
        if (!rings_[r].empty()) order.push_back({0, Id(r)});
    if (order.size() > 1) {
        double lox = 0, loy = 0, hix = 0, hiy = 0;
        for (std::size_t k = 0; k < order.size(); ++k) {
            const krVector<2> p = startOf(order[k].second, 0);
            lox = k ? std::min(lox, p.x()) : p.x();
            loy = k ? std::min(loy, p.y()) : p.y();
            hix = k ? std::max(hix, p.x()) : p.x();
            hiy = k ? std::max(hiy, p.y()) : p.y();
        }
        for (auto& o : order) {
            const krVector<2> p = startOf(o.second, 0);
            o.first = curveKey(hix > lox ? (p.x() - lox) / (hix - lox) : 0, hiy > loy ? (p.y() - loy) / (hiy - loy) : 0);
        }
        std::sort(order.begin(), order.end());
    }
    const auto ringOf = [&](Id f) {
        return std::size_t(std::upper_bound(base.begin(), base.end(), f) - base.begin()) - 1;
    };
    // Piece i of ring r, from its start to the next piece's.
    const auto pieceSeg = [&](std::size_t r, Id i) {
        const krVector<2> p = startOf(r, i), q = startOf(r, i + 1 == rings_[r].size() ? 0 : i + 1);
        return Seg{p.x(), p.y(), q.x(), q.y()};
    };

    // Pieces that cross inside both make the crossing's pixel hot, and it
    // lies on both; so does every hot pixel a piece passes through. Each
    // (piece, node) once: the pixels of crossings are found again by the
    // pieces that make them, and those hits are left out rather than kept
    // twice, for they are most of the memory a tangle costs.
    struct Hit {
        Id piece, node;
        bool operator<(const Hit& o) const { return piece != o.piece ? piece < o.piece : node < o.node; }
        bool operator==(const Hit& o) const { return piece == o.piece && node == o.node; }
    };
    std::vector<Hit> hits;
    const auto add = [&](Hit hit) {
        if (hits.size() >= kMostHits)
            throw krContourDefs::BadParams(L"the boundary crosses itself too often to be repaired");
        hits.push_back(hit);
    };
    {
        // The pieces for the segment index, which takes only what it needs for
        // the searches and goes with them.
        Points all;
        std::vector<Id> pieceOf, at(pieces);
        all.reserve(pieces + 2 * rings_.size());
        pieceOf.reserve(all.capacity());
        const double nan = std::numeric_limits<double>::quiet_NaN();
        for (const auto& o : order) {
            const std::size_t r = o.second;
            if (!all.empty()) {
                all.push_back(krVector<2>(nan, nan));
                pieceOf.push_back(kNone);
                pieceOf.push_back(kNone);
            }
            for (Id i = 0; i < rings_[r].size(); ++i) {
                at[base[r] + i] = Id(all.size());
                all.push_back(startOf(r, i));
                pieceOf.push_back(base[r] + i);
            }
            all.push_back(all[at[base[r]]]);
        }
        if (all.size() < 2) return false;
        const auto seg = [&](Id f) {
            const krVector<2>&p = all[at[f]], &q = all[at[f] + 1];
            return Seg{p.x(), p.y(), q.x(), q.y()};
        };
        const auto meet = [&](Id f, Id g, long double x, long double y, const krVector<2>& point) {
            const Id v = hot(pixelOf(x), pixelOf(y), point);
            add({f, v});
            add({g, v});
        };
        // The set's contact test on two segments of different rings as given
        // (in the first round pieces are segments), the lower ring's as the
        // one asked.
        const auto contact = [&](Id f, Id g) {
            std::size_t r = ringOf(f), q = ringOf(g);
            if (r == q) return;
            if (r > q) {
                std::swap(r, q);
                std::swap(f, g);
            }
            const Points &a = *(*given)[r], &b = *(*given)[q];
            const Id i = f - base[r], j = g - base[q];
            const krLineSeg own(a[i], a[(i + 1) % a.size()]), query(b[j], b[(j + 1) % b.size()]);
            krVector<2> p{};
            if (keptCrossing(query, query.line(), true, own, p))
                meet(f, g, (long double)p.x() * toPixels, (long double)p.y() * toPixels, p);
        };
        const SegmentView view{all.data(), all.size(), false};
        SegmentIndex index;
        std::vector<bool> valid;
        index.build(view, valid);
        index.forEachPair(view, 0.0, [&](std::size_t k, std::size_t j) {
            const Id f = pieceOf[k], g = pieceOf[j];
            if (f == kNone || g == kNone || f == g) return true;
            const Seg s = seg(f), t = seg(g);
            if (!opposite(side(s, t.x1, t.y1, !first), side(s, t.x2, t.y2, !first)) ||
                !opposite(side(t, s.x1, s.y1, !first), side(t, s.x2, s.y2, !first))) {
                if (first) contact(f, g);
                return true;
            }
            // The point itself, in the long format (the exact test gave signs only).
            const long double e3 = side(t, s.x1, s.y1, false), e4 = side(t, s.x2, s.y2, false);
            const long double w = e3 / (e3 - e4);
            const long double x = s.x1 + (s.x2 - s.x1) * w, y = s.y1 + (s.y2 - s.y1) * w;
            meet(f, g, x, y, krVector<2>(double(x) * pixel_, double(y) * pixel_));
            return true;
        });
        // A tangle's memory peaks in what follows: what only the pairs
        // needed goes first.
        index = SegmentIndex();
        std::vector<Id>().swap(pieceOf);
        std::sort(hits.begin(), hits.end());
        hits.erase(std::unique(hits.begin(), hits.end()), hits.end());
        const std::size_t met = hits.size();

        // Every piece is tried against the hot pixels near it, in the order
        // of the curve, so that neighbouring pieces meet the same cells; a
        // settled one only against the pixels this round made hot. The index
        // leaves out pieces of no length, and so does this.
        const HotGrid grid(cx_, cy_, nullptr, cx_.size(), everyPixel);
        std::vector<Id> fresh(cx_.size() - older);
        std::iota(fresh.begin(), fresh.end(), Id(older));
        const HotGrid freshGrid(cx_, cy_, fresh.data(), fresh.size(), everyPixel);
        tried.assign(pieces, false);
        if (first) near.assign(pieces, false);
        // What the first round's rounding can bring within half a pixel of
        // a piece: half a pixel more, and an eighth for the long format's
        // rounding (the boxes below take it exactly below 2^50).
        const double reach = first ? 1.125 : 0.5;
        for (const auto& o : order) {
            const std::size_t r = o.second;
            for (Id i = 0; i < rings_[r].size(); ++i) {
                const Id f = base[r] + i;
                const Piece& p = rings_[r][i];
                if (p.a == p.b || !valid[at[f]]) continue;
                tried[f] = true;
                const Seg s = seg(f);
                const Box box = Box::of(all[at[f]], all[at[f] + 1]);
                // The pair search's hits of f, by place: adding hits moves them.
                const auto range = std::equal_range(hits.begin(), hits.begin() + std::ptrdiff_t(met), Hit{f, 0},
                                                    [](const Hit& x, const Hit& y) { return x.piece < y.piece; });
                const std::ptrdiff_t lo = range.first - hits.begin(), hi = range.second - hits.begin();
                const bool settled = !everyPixel && !settled_.empty() && settled_[f];
                (settled ? freshGrid : grid).forEachNear(s, reach, [&](Id v) {
                    // The boxes first: most pixels of a cell lie beside a
                    // short piece, and four comparisons say so.
                    const double x = double(cx_[v]), y = double(cy_[v]);
                    if (v == p.a || v == p.b || !box.overlaps({x - reach, y - reach, x + reach, y + reach})) return;
                    if (passesThrough(s, cx_[v], cy_[v], !first)) {
                        if (!std::binary_search(hits.begin() + lo, hits.begin() + hi, Hit{f, v})) add({f, v});
                    } else if (first && !near[f]) {
                        near[f] = meetsSquare(s, x, y, reach);
                    }
                });
            }
        }
    }
    std::sort(hits.begin(), hits.end());
    hits.erase(std::unique(hits.begin(), hits.end()), hits.end());

    // Each piece through its nodes in order along it. A piece tried and not
    // bent is settled: it comes back as it was, between the same centres,
    // and no pixel hot by now lies on it. After the first round that holds
    // only where no pixel came near it either, for the rounding moves a piece
    // by up to half a pixel.
    bool changed = false;
    std::size_t h = 0;
    std::vector<bool> settled;
    settled.reserve(pieces + hits.size());
    std::vector<std::pair<std::pair<long double, long double>, Id>> inner;
    for (std::size_t r = 0; r < rings_.size(); ++r) {
        // A piece bent at k nodes becomes k + 1 pieces.
        const std::size_t bends = std::size_t(
            std::lower_bound(hits.begin() + std::ptrdiff_t(h), hits.end(), Hit{base[r + 1], 0}) - hits.begin()) - h;
        std::vector<Piece> next;
        next.reserve(rings_[r].size() + bends);
        const std::size_t ringStart = settled.size();
        for (Id i = 0; i < rings_[r].size(); ++i) {
            const Id f = base[r] + i;
            const Piece p = rings_[r][i];
            const Seg s = pieceSeg(r, i);
            const long double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
            inner.clear();
            for (; h < hits.size() && hits[h].piece == f; ++h) {
                const Id v = hits[h].node;
                if (v == p.a || v == p.b) continue;
                const long double ux = (long double)cx_[v] - s.x1, uy = (long double)cy_[v] - s.y1;
                inner.push_back({{ux * dx + uy * dy, ux * dy - uy * dx}, v});
            }
            std::sort(inner.begin(), inner.end());
            changed = changed || !inner.empty();
            const bool keep = tried[f] && inner.empty() && !(first && near[f]);
            Id from = p.a;
            for (const auto& e : inner) {
                if (e.second != from) next.push_back({from, e.second, p.seg});
                from = e.second;
            }
            if (p.b != from) next.push_back({from, p.b, p.seg});
            settled.resize(ringStart + next.size(), keep);
        }
        rings_[r].swap(next);
    }
    settled_.swap(settled);
    // A round that only dropped pieces within one pixel changed nothing the
    // next round could see.
    return changed;
}

}  // namespace qel::detail
