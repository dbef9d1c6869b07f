// Convex hulls against gift wrapping in exact integer arithmetic, on sets
// built to break hull code: duplicates, collinear runs, and points a few
// units in the last place off a line.
#include "platform/std/hull.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

// Points are integers I scaled by 2^-shift, so the reference works on I exactly.
__extension__ typedef __int128 Int128;

struct IP {
    long long x, y;
    bool operator==(const IP& o) const { return x == o.x && y == o.y; }
    bool operator<(const IP& o) const { return x < o.x || (x == o.x && y < o.y); }
};

int turn(const IP& a, const IP& b, const IP& c) {
    const Int128 d =
        static_cast<Int128>(b.x - a.x) * (c.y - a.y) - static_cast<Int128>(b.y - a.y) * (c.x - a.x);
    return (d > 0) - (d < 0);
}

Int128 dist2(const IP& a, const IP& b) {
    const Int128 dx = b.x - a.x, dy = b.y - a.y;
    return dx * dx + dy * dy;
}

// Gift wrapping from the lowest point: the next corner is the point no other
// lies right of, the farthest one among collinear candidates.
std::vector<IP> giftWrap(std::vector<IP> p) {
    std::sort(p.begin(), p.end());
    p.erase(std::unique(p.begin(), p.end()), p.end());
    if (p.size() < 3) return p;
    std::vector<IP> hull;
    IP cur = p[0];
    do {
        hull.push_back(cur);
        IP next = cur == p[0] ? p[1] : p[0];
        for (const IP& q : p) {
            const int s = turn(cur, next, q);
            if (s < 0 || (s == 0 && dist2(cur, q) > dist2(cur, next))) next = q;
        }
        cur = next;
    } while (!(cur == p[0]) && hull.size() <= p.size());
    return hull;
}

krVector<2> toDouble(const IP& p, int shift) {
    return krVector<2>(std::ldexp(static_cast<double>(p.x), -shift),
                       std::ldexp(static_cast<double>(p.y), -shift));
}

// Sets of each kind: 0 a small integer box, 1 a line, 2 four points repeated,
// 3 a diagonal near 2^52 jittered by one unit (one ulp after scaling) with far
// points on it, 4 a wide disc.
std::vector<IP> makeSet(std::mt19937_64& rnd, int kind) {
    std::uniform_int_distribution<long long> u(-50, 50), count(1, 300);
    std::vector<IP> p;
    const long long n = count(rnd);
    const long long big = 1LL << 52;
    for (long long i = 0; i < n; ++i) {
        const long long t = u(rnd);
        switch (kind) {
            case 0:
                p.push_back({t, u(rnd)});
                break;
            case 1:
                p.push_back({3 * t + 1, -2 * t + 5});
                break;
            case 2:
                p.push_back({(t & 1) * 7, (t & 2) * 5});
                break;
            case 3:
                p.push_back({big + t * 1000, big + t * 1000 + (u(rnd) % 2)});
                break;
            case 4: {
                const double a = 0.001 * u(rnd) * u(rnd),
                             r = (1 << 30) * std::sqrt((u(rnd) + 50) / 100.0);
                p.push_back({std::llround(r * std::cos(a)), std::llround(r * std::sin(a))});
            }
        }
    }
    if (kind == 3) p.push_back({3 * big, 3 * big}), p.push_back({big / 2, big / 2});
    return p;
}

}  // namespace

TEST(ConvexHull, MatchesGiftWrapping) {
    std::mt19937_64 rnd(12);
    for (int kind = 0; kind < 5; ++kind) {
        for (int trial = 0; trial < 60; ++trial) {
            const std::vector<IP> ip = makeSet(rnd, kind);
            const int shift = kind == 3 ? 52 : 3;
            std::vector<krVector<2>> points;
            for (const IP& q : ip) points.push_back(toDouble(q, shift));
            std::vector<krVector<2>> expected;
            for (const IP& q : giftWrap(ip)) expected.push_back(toDouble(q, shift));
            ASSERT_EQ(kfConvexHull(points), expected) << "kind " << kind << " trial " << trial;
        }
    }
}

// Exact at every scale: the same triples near one line, scaled by powers of
// two from tiny to huge, turn the way the integers do.
TEST(ConvexHull, OrientationIsExact) {
    std::mt19937_64 rnd(5);
    for (int trial = 0; trial < 300; ++trial) {
        const std::vector<IP> p = makeSet(rnd, 3);
        const IP &a = p[0], &b = p[p.size() / 2], &c = p.back();
        for (const int shift : {52, 1040, -900})
            ASSERT_EQ(kfOrientation(toDouble(a, shift), toDouble(b, shift), toDouble(c, shift)),
                      turn(a, b, c));
    }
}

TEST(ConvexHull, DegenerateAndBadInput) {
    const krVector<2> a(1, 2), b(3, -1);
    EXPECT_TRUE(kfConvexHull({}).empty());
    EXPECT_EQ(kfConvexHull({a, a, a}), std::vector<krVector<2>>{a});
    EXPECT_EQ(kfConvexHull({b, a, b}), (std::vector<krVector<2>>{a, b}));
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_THROW(kfConvexHull({a, krVector<2>(0, bad), b}), krConvexHullError);
}
