// Rounding rings onto hot pixels, checked by brute force over every pair:
// pieces meet only at nodes and keep clear of the nodes they do not end,
// crossings and near vertices are shared nodes, no point leaves its pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "cntr/repair/snaprounder.h"
#include "platform/std/random.h"

using namespace qel::detail;

namespace {

using V = krVector<2>;
using Pts = SnapRounder::Points;
using Id = SnapRounder::Id;

// Whether segments a-b and p-q cross at a point inside both.
bool properlyCross(const V& a, const V& b, const V& p, const V& q) {
    const auto side = [](const V& u, const V& v, const V& w) {
        return (long double)(v.x() - u.x()) * (w.y() - u.y()) - (long double)(v.y() - u.y()) * (w.x() - u.x());
    };
    return side(a, b, p) * side(a, b, q) < 0 && side(p, q, a) * side(p, q, b) < 0;
}

// Distance from p to the segment a-b.
double segDist(const V& p, const V& a, const V& b) {
    const V d = b - a;
    const double dd = d * d;
    const double t = dd > 0 ? std::clamp(((p - a) * d) / dd, 0.0, 1.0) : 0.0;
    return (p - (a + d * t)).len();
}

struct Checked {
    const SnapRounder& r;
    V c(Id v) const { return V(double(r.cx(v)), double(r.cy(v))); }

    // The pieces of ring k as chains, each ending where the next begins.
    void chains(std::size_t k) const {
        const auto& ring = r.ring(k);
        for (std::size_t i = 0; i < ring.size(); ++i) {
            EXPECT_NE(ring[i].a, ring[i].b);
            EXPECT_EQ(ring[i].b, ring[(i + 1) % ring.size()].a);
            if (i > 0) {
                EXPECT_LE(ring[i - 1].seg, ring[i].seg);
            }
        }
    }

    // Between centres, no two pieces cross, and no node lies within half a
    // pixel of a piece it does not end.
    void planar() const {
        std::vector<SnapRounder::Piece> all;
        for (std::size_t k = 0; k < r.rings(); ++k) all.insert(all.end(), r.ring(k).begin(), r.ring(k).end());
        for (std::size_t i = 0; i < all.size(); ++i) {
            const V a = c(all[i].a), b = c(all[i].b);
            for (Id v = 0; v < r.nodes(); ++v)
                if (v != all[i].a && v != all[i].b) {
                    ASSERT_GE(segDist(c(v), a, b), 0.5 - 1e-12) << i << " " << v;
                }
            for (std::size_t j = 0; j < i; ++j) {
                ASSERT_FALSE(properlyCross(a, b, c(all[j].a), c(all[j].b))) << i << " " << j;
            }
        }
    }

    // The nodes ring k's segment s passes through, after rounding.
    std::vector<Id> through(std::size_t k, Id s) const {
        std::vector<Id> out;
        for (const auto& p : r.ring(k))
            if (p.seg == s) out.insert(out.end(), {p.a, p.b});
        return out;
    }
    Id nodeNear(const V& at) const {
        Id best = 0;
        for (Id v = 1; v < r.nodes(); ++v)
            if ((r.centre(v) - at).len() < (r.centre(best) - at).len()) best = v;
        return best;
    }
};

// Random rings whose features come within a few pixels of each other: moved
// lattice points, tiny random walks, points strung along nearly the same
// line, with coordinates offset by whole and half pixels.
Pts ring(krRandomUniform& rnd, int kind, double px) {
    Pts p;
    const int n = 3 + int(rnd.next(0, 12));
    V at(rnd.next(-3, 3) * px, rnd.next(-3, 3) * px);
    for (int i = 0; i < n; ++i) {
        if (kind == 0) p.push_back(V(std::floor(rnd.next(0, 4)) * 4 * px, std::floor(rnd.next(0, 4)) * 4 * px) +
                                   V(rnd.next(-1, 1), rnd.next(-1, 1)) * px);
        if (kind == 1) p.push_back(at = at + V(rnd.next(0.2, 4) * px, krRadian(rnd.next(0, 2 * kPi))));
        if (kind == 2) p.push_back(V(rnd.next(0, 30) * px, (i % 2 ? 0.5 : -0.5) * rnd.next(0, 1) * px));
    }
    return p;
}

// The rings rounded together.
SnapRounder rounded(const std::vector<Pts>& rings, bool everyPixel = false) {
    std::vector<const Pts*> given;
    for (const Pts& p : rings) given.push_back(&p);
    return SnapRounder(given, everyPixel);
}

}  // namespace

TEST(SnapRounder, RoundedRingsFormAPlaneGraph) {
    krRandomUniform rnd(5);
    const double px = SnapRounder({}).pixel();
    for (int trial = 0; trial < 600 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        std::vector<Pts> rings;
        for (int k = 0; k < 1 + trial % 3; ++k) rings.push_back(ring(rnd, (trial / 3) % 3, px));
        const SnapRounder r = rounded(rings);
        const Checked check{r};
        for (std::size_t k = 0; k < rings.size(); ++k) check.chains(k);
        check.planar();
        for (Id v = 0; v < r.nodes(); ++v) {
            // Nothing leaves its pixel.
            const V off = r.at(v) - r.centre(v);
            EXPECT_LE(std::max(std::fabs(off.x()), std::fabs(off.y())), 0.5 * px * (1 + 1e-9));
        }
        for (std::size_t k = 0; k < rings.size(); ++k) {
            const Pts& p = rings[k];
            for (Id i = 0; i < p.size(); ++i) {
                const V a = p[i], b = p[(i + 1) % p.size()];
                const std::vector<Id> mine = check.through(k, i);
                // A vertex whose pixel centre lies within a third of a pixel
                // of the segment is on it, and so is every crossing.
                for (std::size_t m = 0; m < rings.size(); ++m)
                    for (Id j = 0; j < rings[m].size(); ++j) {
                        const V q = rings[m][j], s = rings[m][(j + 1) % rings[m].size()];
                        const Id v = check.nodeNear(q);
                        if (segDist(r.centre(v), a, b) < px / 3 && !mine.empty()) {
                            EXPECT_NE(std::find(mine.begin(), mine.end(), v), mine.end()) << k << " " << i << " " << m << " " << j;
                        }
                        const std::vector<Id> theirs = check.through(m, j);
                        if (properlyCross(a, b, q, s) && !mine.empty() && !theirs.empty()) {
                            EXPECT_TRUE(std::any_of(mine.begin(), mine.end(), [&](Id w) {
                                return std::find(theirs.begin(), theirs.end(), w) != theirs.end();
                            })) << "crossing " << k << " " << i << " " << m << " " << j;
                        }
                    }
            }
        }
    }
}

// The pixels a piece passes near come from a grid: trying every piece against
// every pixel must round alike. Long slanted and nearly upright spokes cross
// many cells, scattered squares make many crossings (crowded into one cell by
// a far speck, at times), and the rings above, out at 1e150 too, end on the
// cells' edges.
TEST(SnapRounder, GridFindsWhatEveryPixelFinds) {
    krRandomUniform rnd(9);
    const double px = SnapRounder({}).pixel();
    for (int trial = 0; trial < 400 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        std::vector<Pts> rings;
        const double scale = trial % 7 == 6 ? 1e150 : 1, side = std::pow(10.0, -rnd.next(0, 5));
        for (int k = 0; k < 1 + trial % 5; ++k) {
            Pts p;
            if (trial % 4 < 2) p = ring(rnd, k % 3, px);
            const V c(rnd.next(-1, 1) * px, rnd.next(-1, 1) * px);
            const double lean = trial % 2 ? 1e-9 : rnd.next(0, kPi);
            for (int i = 0; trial % 4 == 2 && i < 12; ++i) p.push_back(c + V(i % 2 ? 1e-3 : 1.0, krRadian(lean + i * kPi / 6)));
            for (V& v : p) v = v * scale;
            for (int i = 0; trial % 4 == 3 && i < 20; ++i) {
                const V at(rnd.next(0, 10 * side), rnd.next(0, 10 * side));
                const double turn = rnd.next(0, kPi);
                for (int j = 0; j < 4; ++j) p.push_back(at + V(side, krRadian(turn + j * kPi / 2)));
                rings.push_back(p);
                p.clear();
            }
            if (!p.empty()) rings.push_back(p);
        }
        if (trial % 8 == 3) rings.push_back({V(1e6, 0), V(1e6, 1), V(1e6 + 1, 0)});
        const SnapRounder grid = rounded(rings), plain = rounded(rings, true);
        ASSERT_EQ(grid.nodes(), plain.nodes());
        for (Id v = 0; v < grid.nodes(); ++v)
            ASSERT_TRUE(grid.cx(v) == plain.cx(v) && grid.cy(v) == plain.cy(v) && grid.at(v) == plain.at(v)) << v;
        for (std::size_t k = 0; k < rings.size(); ++k)
            ASSERT_TRUE(std::equal(grid.ring(k).begin(), grid.ring(k).end(), plain.ring(k).begin(), plain.ring(k).end(),
                                   [](const SnapRounder::Piece& x, const SnapRounder::Piece& y) {
                                       return x.a == y.a && x.b == y.b && x.seg == y.seg;
                                   }))
                << k;
    }
}
