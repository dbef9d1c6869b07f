#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "platform/std/expansion.h"
#include "platform/std/hull.h"

namespace {

using qel_exact::Expansion;
using V = krVector<2>;

constexpr double kEps = std::numeric_limits<double>::epsilon() / 2;  // 2^-53
// The rounding of the in-circle determinant computed in doubles stays below
// this times its permanent, when nothing over- or underflows.
constexpr double kInCircleBound = (10.0 + 96.0 * kEps) * kEps;

// Sign of (p - a)·(p - b): below 0 strictly inside the circle with diameter
// a b, 0 on it. Exact.
int diametral(const V& a, const V& b, const V& p) {
    Expansion s = Expansion::difference(p.x(), a.x()) * Expansion::difference(p.x(), b.x());
    s += Expansion::difference(p.y(), a.y()) * Expansion::difference(p.y(), b.y());
    return s.sign();
}

// Sign of the in-circle determinant of a, b, c, d: above 0 when d is inside
// the circle through a, b, c and they run counter-clockwise. A quick answer
// is taken when its error bound proves the sign, otherwise the exact one.
int inCircle(const V& a, const V& b, const V& c, const V& d) {
    const double adx = a.x() - d.x(), ady = a.y() - d.y();
    const double bdx = b.x() - d.x(), bdy = b.y() - d.y();
    const double cdx = c.x() - d.x(), cdy = c.y() - d.y();
    const double alift = adx * adx + ady * ady, blift = bdx * bdx + bdy * bdy,
                 clift = cdx * cdx + cdy * cdy;
    const double det = alift * (bdx * cdy - cdx * bdy) + blift * (cdx * ady - adx * cdy) +
                       clift * (adx * bdy - bdx * ady);
    const double permanent = alift * (std::fabs(bdx * cdy) + std::fabs(cdx * bdy)) +
                             blift * (std::fabs(cdx * ady) + std::fabs(adx * cdy)) +
                             clift * (std::fabs(adx * bdy) + std::fabs(bdx * ady));
    const double bound = kInCircleBound * permanent;
    // Comparisons with an overflowed or underflowed bound fail: go exact.
    if (bound > 0x1p-900 && bound < 0x1p900) {
        if (det > bound) return 1;
        if (det < -bound) return -1;
    }
    const Expansion ax = Expansion::difference(a.x(), d.x()), ay = Expansion::difference(a.y(), d.y());
    const Expansion bx = Expansion::difference(b.x(), d.x()), by = Expansion::difference(b.y(), d.y());
    const Expansion cx = Expansion::difference(c.x(), d.x()), cy = Expansion::difference(c.y(), d.y());
    auto lift = [](const Expansion& x, const Expansion& y) {
        Expansion l = x * x;
        l += y * y;
        return l;
    };
    auto cross = [](const Expansion& x1, const Expansion& y1, const Expansion& x2, const Expansion& y2) {
        Expansion c = x1 * y2;
        c += -(x2 * y1);
        return c;
    };
    Expansion e = lift(ax, ay) * cross(bx, by, cx, cy);
    e += lift(bx, by) * cross(cx, cy, ax, ay);
    e += lift(cx, cy) * cross(ax, ay, bx, by);
    return e.sign();
}

// A circle fixed by one, two (a diameter) or three points on it.
struct Disc {
    V p[3];
    int n = 0;
    int turn = 0;  // the sense of p[0], p[1], p[2] when n is 3

    bool holds(const V& q) const {
        switch (n) {
        case 1: return q == p[0];
        case 2: return diametral(p[0], p[1], q) <= 0;
        default: return turn * inCircle(p[0], p[1], p[2], q) >= 0;
        }
    }
    V center() const {
        if (n == 1) return p[0];
        if (n == 2) return 0.5 * (p[0] + p[1]);
        const double bx = p[1].x() - p[0].x(), by = p[1].y() - p[0].y();
        const double cx = p[2].x() - p[0].x(), cy = p[2].y() - p[0].y();
        const double d = 2 * (bx * cy - by * cx), b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
        return p[0] + V((cy * b2 - by * c2) / d, (bx * c2 - cx * b2) / d);
    }
};

Disc one(const V& a) {
    Disc d;
    d.p[0] = a;
    d.n = 1;
    return d;
}

Disc two(const V& a, const V& b) {
    Disc d;
    d.p[0] = a;
    d.p[1] = b;
    d.n = 2;
    return d;
}

// Three points on a line fix no circle: the two farthest apart do.
Disc three(const V& a, const V& b, const V& c) {
    Disc d;
    d.turn = kfOrientation(a, b, c);
    if (d.turn == 0) {
        if (diametral(a, b, c) <= 0) return two(a, b);
        return diametral(a, c, b) <= 0 ? two(a, c) : two(b, c);
    }
    d.p[0] = a, d.p[1] = b, d.p[2] = c;
    d.n = 3;
    return d;
}

}  // namespace

krCircle kfMinEnclosingCircle(const std::vector<krVector<2>>& points) {
    std::vector<V> h = kfConvexHull(points);
    if (h.empty()) return krCircle();
    // A fixed shuffle: the expected linear time whatever the order, and the
    // same answer every run.
    std::shuffle(h.begin(), h.end(), std::mt19937(12345));
    Disc d = one(h[0]);
    for (std::size_t i = 1; i < h.size(); ++i) {
        if (d.holds(h[i])) continue;
        d = one(h[i]);
        for (std::size_t j = 0; j < i; ++j) {
            if (d.holds(h[j])) continue;
            d = two(h[i], h[j]);
            for (std::size_t k = 0; k < j; ++k)
                if (!d.holds(h[k])) d = three(h[i], h[j], h[k]);
        }
    }
    const V c = d.center();
    double r = 0;
    for (const V& q : h) r = std::max(r, c.distance(q));
    return krCircle(c, r);
}
