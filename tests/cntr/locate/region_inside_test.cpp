// The inside test of regions and sets against an exact reference, kept index,
// batch and single calls alike, and the literal ray where it is unambiguous.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "cntr/locate/ringinside.h"
#include "cntr/masks.h"
#include "cntr/locate/raydirection.h"
#include "cntr/region.h"
#include "cntr/regionset.h"
#include "platform/std/random.h"
#include "tests/region_access.h"

namespace {

using V = krVector<2>;
using qel::detail::rayDirection;
typedef long long I;
__extension__ typedef __int128 I128;
typedef krPtrHandle_const<krRegion> Handle;

// Coordinates are whole multiples of this unit, so that the reference decides
// the even-odd rule in integers, exactly.
constexpr double kUnit = 0x1p-30;
struct IP {
    I x, y;
};
V real(IP p) { return V(double(p.x) * kUnit, double(p.y) * kUnit); }
krContour::Points real(const std::vector<IP>& r) {
    krContour::Points out;
    for (const IP& p : r) out.push_back(real(p));
    return out;
}

// 1 inside, 0 outside, -1 too near the edge of the 1e-6 reach to call.
int refRing(const std::vector<IP>& r, IP q) {
    I lx = r[0].x, hx = lx, ly = r[0].y, hy = ly;
    for (const IP& p : r) lx = std::min(lx, p.x), hx = std::max(hx, p.x), ly = std::min(ly, p.y), hy = std::max(hy, p.y);
    if (q.x < lx || q.x > hx || q.y < ly || q.y > hy) return 0;
    bool odd = false;
    long double best = 1e300L;
    for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
        const IP a = r[j], b = r[i];
        const long double dx = b.x - a.x, dy = b.y - a.y, px = q.x - a.x, py = q.y - a.y;
        const long double len2 = dx * dx + dy * dy;
        const long double t = len2 > 0 ? std::min(1.0L, std::max(0.0L, (px * dx + py * dy) / len2)) : 0.0L;
        const long double ex = px - t * dx, ey = py - t * dy;
        best = std::min(best, std::sqrt(ex * ex + ey * ey) * (long double)kUnit);
        if ((a.y > q.y) != (b.y > q.y)) {
            const I128 o = I128(b.x - a.x) * (q.y - a.y) - I128(b.y - a.y) * (q.x - a.x);
            if ((o > 0) == (b.y > a.y)) odd = !odd;
        }
    }
    return std::fabs(best - 1e-6L) < 1e-11L ? -1 : best <= 1e-6L ? 1 : odd;
}

// Shapes in a pool; holes by position in the pool, so one hole can be shared.
struct Shape {
    std::vector<IP> outer;
    std::vector<std::size_t> holes;
};

int refShape(const std::vector<Shape>& pool, std::size_t k, IP q) {
    int r = refRing(pool[k].outer, q);
    for (std::size_t h = 0; r == 1 && h < pool[k].holes.size(); ++h) {
        const int in = refShape(pool, pool[k].holes[h], q);
        if (in == 1) return 0;
        if (in < 0) r = -1;
    }
    return r;
}

// Outlines, with even coordinates so that edge midpoints lie on the unit grid:
// 0 a star (simple), 1 a cloud (crossing itself), 2 a walk on a coarse lattice
// (axis-parallel runs, repeated points, spikes out and back), 3 a notched
// ring whose notch reaches into a corner of the bounding rectangle.
std::vector<IP> outline(krRandomUniform& rnd, int kind, IP c, double s, double rmin = 0.3) {
    const auto even = [](double v) { return 2 * I(std::llround(v / 2)); };
    std::vector<IP> r;
    // Stars meant to hold holes take enough points to keep their edges out.
    const int n = (rmin > 0.3 ? 24 : 3) + int(rnd.next(0, kind == 2 ? 40 : 120));
    if (kind == 3) {
        const double rot = rnd.next(0, 6.3), ca = std::cos(rot), sa = std::sin(rot);
        const double pts[][2] = {{0, 0}, {1, 0}, {0.6, -0.8}, {-0.6, -0.8}, {-1, 0}, {-0.6, 0.8}, {0, 1}};
        for (const auto& p : pts) r.push_back({c.x + even(s * (ca * p[0] - sa * p[1])), c.y + even(s * (sa * p[0] + ca * p[1]))});
        return r;
    }
    std::vector<double> t;
    for (int i = 0; i < n; ++i) t.push_back((i + rnd.next(0, 0.9)) * 6.283185307179586 / n);
    IP at = c;
    for (int i = 0; i < n; ++i) {
        if (kind == 0) {
            const double rad = s * rnd.next(rmin, 1);
            r.push_back({c.x + even(rad * std::cos(t[i])), c.y + even(rad * std::sin(t[i]))});
        } else if (kind == 1) {
            r.push_back({c.x + even(s * rnd.next(-1, 1)), c.y + even(s * rnd.next(-1, 1))});
        } else {
            at = {at.x + even(s / 4) * I(rnd.next(-1, 2)), at.y + even(s / 4) * I(rnd.next(-1, 2))};
            r.push_back(at);
        }
    }
    return r;
}

// Points that find the faults: anywhere in and around the box, on vertices and
// edge midpoints, and at distances either side of the 1e-6 reach from them.
std::vector<IP> probes(krRandomUniform& rnd, const std::vector<IP>& r, IP c, double s) {
    std::vector<IP> q;
    for (int k = 0; k < 60; ++k) q.push_back({c.x + I(s * rnd.next(-1.2, 1.2)), c.y + I(s * rnd.next(-1.2, 1.2))});
    const double reach[] = {0, 0.5e-6, 0.999e-6, 1.001e-6, 1.5e-6, 3e-6, 1e-4};
    for (int k = 0; k < 60; ++k) {
        const IP a = r[std::size_t(rnd.next(0, double(r.size())))], b = r[std::size_t(rnd.next(0, double(r.size())))];
        IP at = k % 2 ? a : IP{(a.x + b.x) / 2, (a.y + b.y) / 2};
        const double d = reach[k % 7] / kUnit, t = rnd.next(0, 6.283185307179586);
        q.push_back({at.x + I(std::llround(d * std::cos(t))), at.y + I(std::llround(d * std::sin(t)))});
    }
    return q;
}

// Whether the literal ray from q passes every vertex, and the reach around q,
// with room to spare: then its count is the even-odd rule's.
bool rayIsClear(const std::vector<IP>& r, IP q) {
    const krContour::Points pts = real(r);
    const V p = real(q), dir = rayDirection(pts, p).direction;
    if (krContour(pts).distToPoint(p, false) < 1e-5) return false;
    for (const V& v : pts) {
        const double t = (v - p) * dir;
        if ((t <= 0 ? v.distance(p) : std::fabs((v - p).x() * dir.y() - (v - p).y() * dir.x())) < 1e-5) return false;
    }
    return true;
}

}  // namespace

TEST(RegionInside, MatchesTheExactRuleWithItsReach) {
    krRandomUniform rnd(26);
    const double scales[] = {1e-3, 1e-2, 1, 10};
    int checked = 0, rays = 0;
    for (int round = 0; round < 80; ++round) {
        const double s = scales[round % 4] / kUnit;
        const IP c{I(rnd.next(-5, 5) * s) * 2, I(rnd.next(-5, 5) * s) * 2};
        // Five shapes, the first with holes: a hole shared twice with an
        // island of its own, and two more, enough for the holes' index.
        std::vector<Shape> pool;
        for (int k = 0; k < 5; ++k) pool.push_back({outline(rnd, (round + k) % 4, c, s), {}});
        if (round % 4 != 3) {
            pool[0].outer = outline(rnd, 0, c, s, 0.5);
            pool.push_back({outline(rnd, 0, c, 0.1 * s), {}});
            pool.push_back({outline(rnd, 0, c, 0.3 * s, 0.8), {pool.size() - 1}});  // around the island
            pool.push_back({outline(rnd, 0, {c.x + I(0.1 * s) * 2, c.y}, 0.1 * s), {}});
            pool.push_back({outline(rnd, 1, c, 0.2 * s), {}});
            pool[0].holes = {6, 6, 7, 8};
        }
        std::vector<Handle> made(pool.size());
        // Holes first: the extra shapes from the sixth on, then the five.
        for (std::size_t i = 5; i < pool.size() + 5; ++i) {
            const std::size_t k = i < pool.size() ? i : i - pool.size();
            auto* r = new krRegion(real(pool[k].outer));
            made[k] = Handle(r);
            krRegion::Holes hs;
            for (std::size_t h : pool[k].holes) hs.push_back(made[h]);
            r->holes(hs);
        }
        const krRegionSet set(krRegionSet::Regions(made.begin(), made.begin() + 5));

        std::vector<IP> qs;
        for (int k = 0; k < 5; ++k)
            for (const IP& q : probes(rnd, pool[k].outer, c, s)) qs.push_back(q);
        std::vector<V> pts;
        for (const IP& q : qs) pts.push_back(real(q));
        for (int k = 0; k < 5; ++k) {
            const krRegion& r = *made[k];
            const krContour::Points ring = real(pool[k].outer);
            const std::vector<unsigned char> many = r.insideMany(pts, true);
            for (std::size_t i = 0; i < qs.size(); ++i) {
                const bool single = r.inside(pts[i], true);
                ASSERT_EQ(many[i], single) << round << " " << k << " " << i;  // index and single pass
                const int outer = refRing(pool[k].outer, qs[i]), whole = refShape(pool, k, qs[i]);
                if (whole >= 0) {
                    ASSERT_EQ(single, whole == 1) << round << " " << k << " " << i;
                    ++checked;
                }
                if (outer < 0) continue;
                ASSERT_EQ(r.inside(pts[i], false), outer == 1) << round << " " << k << " " << i;
                // The single pass, without the index (the caller checks the box).
                const bool pass = r.encloseRect(krXform<2>::I).within(pts[i]) &&
                                  qel::detail::ringInside(ring.data(), ring.size(), pts[i]);
                ASSERT_EQ(pass, outer == 1) << round << " " << k << " " << i;
                if (i % 3 == 0 && rayIsClear(pool[k].outer, qs[i])) {
                    ASSERT_EQ(kr_RegionAccess::insideCount(r, pts[i]) % 2, outer) << round << " " << k << " " << i;
                    ++rays;
                }
            }
        }
        // The set: some region holds the point, batch or one at a time.
        const std::vector<unsigned char> many = set.insideMany(pts, true);
        for (std::size_t i = 0; i < qs.size(); ++i) {
            int want = 0;
            for (std::size_t k = 0; k < 5 && want != 1; ++k) {
                const int in = refShape(pool, k, qs[i]);
                want = in == 1 ? 1 : in < 0 ? -1 : want;
            }
            ASSERT_EQ(many[i], set.inside(pts[i], true));
            ASSERT_TRUE(want < 0 || many[i] == (want == 1)) << round << " " << i;
        }
    }
    EXPECT_GT(checked, 100000);
    EXPECT_GT(rays, 5000);
}

// Holes shared by handle, four references a level, forty levels deep: asked
// path by path, as many as 4^40 holes would answer.
TEST(RegionInside, SharedHolesAreAskedOncePerCall) {
    const auto square = [](double lo, double hi) { return krContour::Points{{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}}; };
    Handle nest(new krRegion(square(0, 1)));
    for (int d = 1; d < 40; ++d) {
        auto* r = new krRegion(square(-d, 1 + d));
        r->holes({nest, nest, nest, nest});
        nest = Handle(r);
    }
    // Level d holds the centre when d is even, the ring around level 0 when d is odd.
    EXPECT_TRUE(!nest->inside(V(0.5, 0.5), true) && nest->inside(V(-0.5, 0.5), true));
    EXPECT_EQ(nest->insideMany({{0.5, 0.5}, {-0.5, 0.5}}, true), (std::vector<unsigned char>{0, 1}));
}

// Rings the index cannot grid (coordinates that are not numbers or whose
// products overflow, cells below the coordinates' rounding, two points)
// answer alike by every path.
TEST(RegionInside, DegenerateRingsAnswerAlikeByEveryPath) {
    const double nan = std::nan("");
    const krContour::Points rings[] = {
        {{0, 0}, {4, 0}, {nan, 2}, {0, 4}},
        {{1e17, 1e17}, {1e17 + 64, 1e17}, {1e17, 1e17 + 64}},
        {{0, 0}, {2, 2}},
        {{0, 7.7237689045874527e+281}, {4.0000000064788939, 0}, {1.2882297539194267e-231, 4.0000000000000568}, {0, 4}},
        {{0, 0}, {1, 0}, {1, 0}, {1, 1}, {1, 0}, {2, 0}, {2, 2}, {0, 2}},  // a spike out and back
    };
    for (const auto& ring : rings)
        for (const V& v : ring)
            for (const V& d : {V(0, 0), V(0.3, 0.4), V(5e-7, 0), V(0, -2e-6), V(16, 8), V(0, -4)}) {
                const krRegion fresh(ring);
                const bool pass = fresh.inside(v + d, true);  // one pass, then the index, and a batch
                EXPECT_TRUE(fresh.inside(v + d, true) == pass && krRegion(ring).insideMany({v + d}, true)[0] == pass) << v + d;
            }
}

// Lists long enough to be shared among threads give the answers of one call
// per point, for regions with holes and sets; the distances of single calls
// are taken first, by the plain walk, and the batches' with the indexes.
TEST(RegionInside, BatchesMatchSingleCalls) {
    krRandomUniform rnd(7);
    std::vector<Handle> regions;
    for (int k = 0; k < 5; ++k) {
        auto* r = new krRegion(real(outline(rnd, 0, {I(k) << 31, 0}, 0x1p30, 0.5)));
        r->holes({Handle(new krRegion(real(outline(rnd, 0, {I(k) << 31, 0}, 0x1p28))))});
        regions.emplace_back(r);
    }
    const krRegionSet set(regions);
    std::vector<V> pts;
    for (int i = 0; i < 40000; ++i) pts.emplace_back(rnd.next(-1.5, 9.5), rnd.next(-1.5, 1.5));
    const krRegion& r = *regions[2];
    std::vector<double> d1, setD1;
    for (const V& p : pts) {
        d1.push_back(r.distToPoint(p, false, true, false));
        setD1.push_back(set.distToPoint(p, true, true, true));
    }
    const auto in = r.insideMany(pts, true), setIn = set.insideMany(pts, true);
    EXPECT_EQ(r.distToPoints(pts, false, true, false), d1);
    EXPECT_EQ(set.distToPoints(pts, true, true, true), setD1);
    for (std::size_t i = 0; i < pts.size(); ++i)
        ASSERT_TRUE(in[i] == r.inside(pts[i], true) && setIn[i] == set.inside(pts[i], true)) << i;
    EXPECT_THROW(krRegionSet().distToPoints(pts, false, true, true), krContourDefs::EmptyRegionSet);
}

// Masks against inside() at every pixel centre: regions with holes and sets,
// on grids whose centres fall on vertices and edges, and turned and stretched.
TEST(RegionInside, MasksHoldInsideAtEveryCentre) {
    krRandomUniform rnd(24);
    for (int round = 0; round < 40; ++round) {
        const double s = round % 2 ? 0x1p20 : 0x1p30;  // shapes of about 1e-3 and 1
        std::vector<Handle> regions;
        for (int k = 0; k < (round % 3 ? 1 : 5); ++k) {
            const IP c{I(rnd.next(-16, 16)) * I(s / 16), I(rnd.next(-16, 16)) * I(s / 16)};  // on a centre
            auto* r = new krRegion(real(outline(rnd, k % 3 == 2 ? 0 : k % 3, c, s, 0.5)));
            if (k % 3 == 2) r->holes({Handle(new krRegion(real(outline(rnd, 0, c, 0.2 * s))))});
            regions.emplace_back(r);
        }
        const krRegionSet set(regions);
        // Pixels of s/16: lattice walks then run along centre lines and
        // through centres; odd rounds turn and stretch the grid.
        const double px = s * kUnit / 16;
        krXform<2> grid = kf_PixelGrid(V(-2 * s * kUnit - px / 2, -2 * s * kUnit - px / 2), px);
        if (round % 4 == 1) grid = krXform<2>(krMatrix<2>(0.8 * px, -0.6 * px, 0.7 * px, 0.9 * px), grid.trans());
        const std::size_t w = 70, h = 64;
        const auto one = kf_Rasterize(*regions[0], w, h, grid), all = kf_Rasterize(set, w, h, grid);
        for (std::size_t j = 0; j < h; ++j)
            for (std::size_t i = 0; i < w; ++i) {
                const V c = grid * V(i + 0.5, j + 0.5);
                ASSERT_EQ(one[j * w + i], regions[0]->inside(c, true)) << round << " " << i << " " << j;
                ASSERT_EQ(all[j * w + i], set.inside(c, true)) << round << " " << i << " " << j;
            }
    }
    // A null member: every centre is asked, and the first to reach it throws.
    EXPECT_THROW(kf_Rasterize(krRegionSet({Handle()}), 2, 2, krXform<2>::I), krBadPointer);
}
