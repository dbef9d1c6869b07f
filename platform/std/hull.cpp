#include "platform/std/hull.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "platform/std/expansion.h"

namespace {

using qel_exact::grow;

constexpr double kHalfEps = std::numeric_limits<double>::epsilon() / 2;  // 2^-53
// The rounding of (a-c)x(b-c) computed in doubles stays below this times the
// sum of the magnitudes of its two products, when nothing over- or underflows.
constexpr double kOrientBound = (3.0 + 16.0 * kHalfEps) * kHalfEps;
// Below this the products may have lost bits to underflow; the quick answer is not trusted.
constexpr double kTinyProducts = 0x1p-900;

// The exact sign of ax by - ax cy - ay bx + ay cx + bx cy - by cx, the
// determinant expanded into six products. Each product is split exactly into
// its rounded value and its rounding error, and the twelve parts are summed
// without loss; the sign of a nonoverlapping expansion is that of its largest
// component.
int exactOrientation(double ax, double ay, double bx, double by, double cx, double cy) {
    double m = 0.0;
    for (const double v : {ax, ay, bx, by, cx, cy}) m = std::max(m, std::fabs(v));
    if (!(m <= std::numeric_limits<double>::max())) return 0;
    if (m > 0x1p500 || (m < 0x1p-400 && m > 0.0)) {
        // Scaling by a power of two keeps the sign and, away from underflow,
        // every bit, and keeps the products clear of overflow and underflow.
        int e;
        std::frexp(m, &e);
        for (double* v : {&ax, &ay, &bx, &by, &cx, &cy}) *v = std::ldexp(*v, -e);
    }
    const double factors[6][2] = {{ax, by}, {-ax, cy}, {-ay, bx}, {ay, cx}, {bx, cy}, {-by, cx}};
    double h[12];
    int n = 0;
    for (const auto& f : factors) {
        const double p = f[0] * f[1];
        grow(h, n, std::fma(f[0], f[1], -p));
        grow(h, n, p);
    }
    return h[n - 1] > 0.0 ? 1 : h[n - 1] < 0.0 ? -1 : 0;
}

bool lexLess(const krVector<2>& a, const krVector<2>& b) {
    return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y());
}

// The octagon of the points extreme towards -x, -x-y, -y, x-y, x, x+y, y,
// y-x (directions in counter-clockwise order, so its corners are too), and
// the largest coordinate magnitude. Throws on a coordinate that is not finite.
struct Octagon {
    std::vector<krVector<2>> corners;
    double magnitude = 0.0;
};

Octagon extremes(const std::vector<krVector<2>>& points) {
    Octagon o;
    std::size_t index[8] = {};
    double best[8];
    std::fill(best, best + 8, -std::numeric_limits<double>::infinity());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double x = points[i].x(), y = points[i].y();
        if (!std::isfinite(x) || !std::isfinite(y))
            throw krConvexHullError(L"a point of the convex hull is not finite");
        o.magnitude = std::max(o.magnitude, std::max(std::fabs(x), std::fabs(y)));
        const double key[8] = {-x, -x - y, -y, x - y, x, x + y, y, y - x};
        for (int k = 0; k < 8; ++k)
            if (key[k] > best[k]) {
                best[k] = key[k];
                index[k] = i;
            }
    }
    if (points.empty()) return o;
    for (const std::size_t i : index)
        if (o.corners.empty() || !(points[i] == o.corners.back())) o.corners.push_back(points[i]);
    while (o.corners.size() > 1 && o.corners.back() == o.corners.front()) o.corners.pop_back();
    return o;
}

// The points that are not strictly inside the octagon: every hull corner is
// among them. The test against each edge is a line equation in doubles with a
// margin above its rounding error; only points within the margin are decided
// by the exact orientation. Whatever the octagon's shape, a point strictly
// left of each of its edges is strictly inside the hull of its corners, so
// dropping it never loses a corner.
std::vector<krVector<2>> outsideOctagon(const std::vector<krVector<2>>& points, const Octagon& o) {
    const std::size_t m = o.corners.size();
    if (m < 3) return points;
    struct Edge {
        krVector<2> a{}, b{};
        double ex, ey, c, margin;
    };
    std::vector<Edge> edges;
    for (std::size_t i = 0; i < m; ++i) {
        const krVector<2>& a = o.corners[i];
        const krVector<2>& b = o.corners[(i + 1) % m];
        const double ex = b.x() - a.x(), ey = b.y() - a.y();
        const double margin = 64.0 * kHalfEps * (std::fabs(ex) + std::fabs(ey)) * o.magnitude;
        edges.push_back(Edge{a, b, ex, ey, ex * a.y() - ey * a.x(), margin});
    }
    std::vector<krVector<2>> kept;
    for (const krVector<2>& q : points) {
        for (const Edge& e : edges) {
            const double f = e.ex * q.y() - e.ey * q.x() - e.c;
            if (f > e.margin) continue;
            if (f >= -e.margin && kfOrientation(e.a, e.b, q) > 0) continue;
            kept.push_back(q);
            break;
        }
    }
    return kept;
}

}  // namespace

int kfOrientation(const krVector<2>& a, const krVector<2>& b, const krVector<2>& c) {
    const double adx = a.x() - c.x(), ady = a.y() - c.y();
    const double bdx = b.x() - c.x(), bdy = b.y() - c.y();
    const double detl = adx * bdy, detr = ady * bdx;
    const double det = detl - detr;
    const double sum = std::fabs(detl) + std::fabs(detr);
    // Comparisons with NaN or infinity fail, so over- and underflow go exact too.
    if (sum > kTinyProducts) {
        const double bound = kOrientBound * sum;
        if (det > bound) return 1;
        if (det < -bound) return -1;
    }
    // A difference of zero is exact, so a product with it is exactly zero:
    // runs along an axis (outlines of rectangles, pixel chains) need no sum.
    if ((adx == 0.0 || bdy == 0.0) && (ady == 0.0 || bdx == 0.0)) return 0;
    return exactOrientation(a.x(), a.y(), b.x(), b.y(), c.x(), c.y());
}

std::vector<krVector<2>> kfConvexHull(const std::vector<krVector<2>>& points) {
    std::vector<krVector<2>> p = outsideOctagon(points, extremes(points));
    std::sort(p.begin(), p.end(), lexLess);
    p.erase(std::unique(p.begin(), p.end()), p.end());
    const std::size_t n = p.size();
    if (n < 3) return p;

    // Monotone chain: the lower hull left to right, then the upper hull back,
    // each popping every vertex that does not make a strict left turn (so
    // points on an edge go).
    std::vector<krVector<2>> h(2 * n);
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        while (k >= 2 && kfOrientation(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    for (std::size_t i = n - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && kfOrientation(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    h.resize(k - 1);  // the last vertex is the first again
    return h;
}
