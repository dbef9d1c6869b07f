// Convex hulls against exact integer gift wrapping, on duplicates, collinear
// runs, and points a unit in the last place off a line.
#include "platform/std/hull.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace {

// Integer points; the hull sees them scaled by 2^-shift, exactly.
typedef std::pair<long long, long long> IP;
__extension__ typedef __int128 Int128;

int turn(const IP& a, const IP& b, const IP& c) {
    const Int128 d = Int128(b.first - a.first) * (c.second - a.second) -
                     Int128(b.second - a.second) * (c.first - a.first);
    return (d > 0) - (d < 0);
}

Int128 dist2(const IP& a, const IP& b) {
    const Int128 dx = b.first - a.first, dy = b.second - a.second;
    return dx * dx + dy * dy;
}

// From the lowest point, the next corner is the one no point lies right of,
// the farthest among collinear candidates.
std::vector<IP> giftWrap(std::vector<IP> p) {
    std::sort(p.begin(), p.end());
    p.erase(std::unique(p.begin(), p.end()), p.end());
    std::vector<IP> hull;
    if (p.size() < 3) return p;
    for (IP cur = p[0]; hull.empty() || (cur != p[0] && hull.size() <= p.size());) {
        hull.push_back(cur);
        IP next = cur == p[0] ? p[1] : p[0];
        for (const IP& q : p) {
            const int s = turn(cur, next, q);
            if (s < 0 || (s == 0 && dist2(cur, q) > dist2(cur, next))) next = q;
        }
        cur = next;
    }
    return hull;
}

krVector<2> scaled(const IP& p, int shift) {
    return krVector<2>(std::ldexp(double(p.first), -shift), std::ldexp(double(p.second), -shift));
}

// Kinds: a small box, a line, four points repeated, a diagonal near 2^52
// jittered by one unit (one ulp at shift 52) with far points on it, a wide disc.
std::vector<IP> makeSet(std::mt19937_64& rnd, int kind) {
    std::uniform_int_distribution<long long> u(-50, 50), count(1, 300);
    const long long big = 1LL << 52;
    const std::function<IP(long long)> kinds[] = {
        [&](long long t) { return IP(t, u(rnd)); },
        [&](long long t) { return IP(3 * t + 1, -2 * t + 5); },
        [&](long long t) { return IP((t & 1) * 7, (t & 2) * 5); },
        [&](long long t) { return IP(big + t * 1000, big + t * 1000 + u(rnd) % 2); },
        [&](long long t) {
            const double a = 0.001 * t * u(rnd), r = (1 << 30) * std::sqrt((u(rnd) + 50) / 100.0);
            return IP(std::llround(r * std::cos(a)), std::llround(r * std::sin(a)));
        }};
    std::vector<IP> p;
    for (long long i = count(rnd); i > 0; --i) p.push_back(kinds[kind](u(rnd)));
    if (kind == 3) p.insert(p.end(), {{3 * big, 3 * big}, {big / 2, big / 2}});
    return p;
}

// The near-line sets are also scaled from tiny to huge, where the
// orientation test must rescale to stay exact.
TEST(ConvexHull, MatchesGiftWrapping) {
    std::mt19937_64 rnd(12);
    for (int kind = 0; kind < 5; ++kind)
        for (int trial = 0; trial < 60; ++trial) {
            const std::vector<IP> set = makeSet(rnd, kind), hull = giftWrap(set);
            for (const int shift : kind == 3 ? std::vector<int>{52, 1040, -900} : std::vector<int>{3}) {
                std::vector<krVector<2>> points, expected;
                for (const IP& q : set) points.push_back(scaled(q, shift));
                for (const IP& q : hull) expected.push_back(scaled(q, shift));
                ASSERT_EQ(kfConvexHull(points), expected) << kind << " " << trial << " " << shift;
            }
        }
}

TEST(ConvexHull, DegenerateAndBadInput) {
    const krVector<2> a(1, 2), b(3, -1);
    EXPECT_TRUE(kfConvexHull({}).empty() && kfConvexHull({a, a, a}) == std::vector<krVector<2>>{a});
    EXPECT_EQ(kfConvexHull({b, a, b}), (std::vector<krVector<2>>{a, b}));
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_THROW(kfConvexHull({a, krVector<2>(0, bad), b}), krConvexHullError);
}

// The smallest enclosing circle against every circle on two or three of the
// points that holds them all (in-circle tests in 128-bit integers), on small
// random sets and on points of one circle, far from the origin too, where
// only exact tests tell the points on the circle from those just inside.
TEST(MinEnclosingCircle, MatchesBruteForce) {
    auto inCircle = [](const IP& a, const IP& b, const IP& c, const IP& d) {
        const Int128 ax = a.first - d.first, ay = a.second - d.second, bx = b.first - d.first,
                     by = b.second - d.second, cx = c.first - d.first, cy = c.second - d.second;
        const Int128 v = (ax * ax + ay * ay) * (bx * cy - cx * by) +
                         (bx * bx + by * by) * (cx * ay - ax * cy) +
                         (cx * cx + cy * cy) * (ax * by - bx * ay);
        return int((v > 0) - (v < 0)) * turn(a, b, c);
    };
    auto inDiametral = [](const IP& a, const IP& b, const IP& p) {
        return (p.first - a.first) * (p.first - b.first) + (p.second - a.second) * (p.second - b.second) <= 0;
    };
    // The radius of the smallest circle on two or three points holding all.
    auto bruteRadius = [&](const std::vector<IP>& p) {
        long double best = std::numeric_limits<long double>::infinity();
        for (std::size_t i = 0; i < p.size(); ++i)
            for (std::size_t j = i; j < p.size(); ++j) {
                if (std::all_of(p.begin(), p.end(), [&](const IP& q) { return inDiametral(p[i], p[j], q); }))
                    best = std::min(best, std::sqrt((long double)dist2(p[i], p[j])) / 2);
                for (std::size_t k = j + 1; k < p.size(); ++k) {
                    if (turn(p[i], p[j], p[k]) == 0) continue;
                    if (!std::all_of(p.begin(), p.end(), [&](const IP& q) { return inCircle(p[i], p[j], p[k], q) >= 0; }))
                        continue;
                    const long double cross = (long double)(p[j].first - p[i].first) * (p[k].second - p[i].second) -
                                              (long double)(p[j].second - p[i].second) * (p[k].first - p[i].first);
                    best = std::min(best, std::sqrt((long double)dist2(p[i], p[j]) * dist2(p[j], p[k]) *
                                                    dist2(p[k], p[i])) / (2 * std::fabs(cross)));
                }
            }
        return best;
    };
    const IP ring[] = {{25, 0}, {24, 7}, {20, 15}, {15, 20}, {7, 24}, {0, 25}, {-7, 24}, {-15, 20},
                       {-20, 15}, {-24, 7}, {-25, 0}, {-24, -7}, {-20, -15}, {-7, -24}, {15, -20}};
    std::mt19937_64 rnd(5);
    std::uniform_int_distribution<long long> u(-40, 40), n(1, 14);
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<IP> set;
        for (long long i = n(rnd); i > 0; --i)
            set.push_back(trial % 2 ? ring[std::size_t(u(rnd) + 40) % std::size(ring)]
                                    : IP(u(rnd), trial % 4 ? u(rnd) : 2 * u(rnd) + 1));
        if (trial % 2) set.push_back({u(rnd) / 3, u(rnd) / 3});  // one point well inside
        const long double want = bruteRadius(set);
        for (const double offset : {0.0, 0x1p40}) {
            std::vector<krVector<2>> points;
            for (const IP& q : set) points.push_back(scaled(q, 0) + krVector<2>(offset, -offset));
            const krCircle c = kfMinEnclosingCircle(points);
            EXPECT_NEAR(c.radius(), double(want), 1e-9 * (1 + offset / 0x1p20)) << trial << " " << offset;
            for (const krVector<2>& q : points) EXPECT_LE(c.center().distance(q), c.radius());
        }
    }
    EXPECT_EQ(kfMinEnclosingCircle({}), krCircle());
    EXPECT_EQ(kfMinEnclosingCircle({{2, 3}, {2, 3}}), krCircle(krVector<2>(2, 3), 0));
    EXPECT_THROW(kfMinEnclosingCircle({{0, 0}, {std::nan(""), 1}}), krConvexHullError);
}

}  // namespace
