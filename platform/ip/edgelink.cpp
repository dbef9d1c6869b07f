#include "platform/ip/edgelink.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kNone = -1;

// Candidates of one row lie together, sorted by column: find the one at
// (px, py), if any.
class PixelLookup {
public:
    PixelLookup(const std::vector<kr_EdgeCandidate>& c, int height)
        : c_(c), rowStart_(static_cast<std::size_t>(height) + 1, 0) {
        for (const kr_EdgeCandidate& e : c) ++rowStart_[static_cast<std::size_t>(e.py) + 1];
        for (int y = 0; y < height; ++y) rowStart_[y + 1] += rowStart_[y];
    }

    int at(int px, int py) const {
        if (py < 0 || py + 1 >= static_cast<int>(rowStart_.size())) return kNone;
        const auto first = c_.begin() + rowStart_[py], last = c_.begin() + rowStart_[py + 1];
        const auto it = std::lower_bound(
            first, last, px, [](const kr_EdgeCandidate& e, int x) { return e.px < x; });
        return it != last && it->px == px ? static_cast<int>(it - c_.begin()) : kNone;
    }

private:
    const std::vector<kr_EdgeCandidate>& c_;
    std::vector<int> rowStart_;
};

// The nearest candidate ahead of candidate i along the edge (ahead true) or
// behind it, with its gradient pointing the same way, among the pixels at
// Chebyshev distance ring; ties go to the first in raster order. On the outer
// ring the candidate must also lie within 45 degrees of the edge's direction,
// so a gap is bridged along the edge, never across to a neighbouring one.
int nearestAlongEdge(const std::vector<kr_EdgeCandidate>& c, const PixelLookup& lookup, int i,
                     bool ahead, int ring) {
    const kr_EdgeCandidate& e = c[i];
    int best = kNone;
    double bestDist = 0.0;
    for (int dy = -ring; dy <= ring; ++dy) {
        for (int dx = -ring; dx <= ring; ++dx) {
            if (std::max(std::abs(dx), std::abs(dy)) != ring) continue;
            const int j = lookup.at(e.px + dx, e.py + dy);
            if (j == kNone) continue;
            const kr_EdgeCandidate& f = c[j];
            if (static_cast<double>(e.gx) * f.gx + static_cast<double>(e.gy) * f.gy <= 0.0) continue;
            const double vx = f.x - e.x, vy = f.y - e.y;
            // The edge runs along the gradient turned so the bright side is on the right.
            const double along = (vx * e.gy - vy * e.gx) * (ahead ? 1.0 : -1.0);
            if (!(along > 0.0)) continue;
            if (ring > 1 && !(along > std::fabs(vx * e.gx + vy * e.gy))) continue;
            const double dist = vx * vx + vy * vy;
            if (best == kNone || dist < bestDist) {
                best = j;
                bestDist = dist;
            }
        }
    }
    return best;
}

// The neighbour a chain continues to: the nearest on the first ring that
// has one.
int nearestAlongEdge(const std::vector<kr_EdgeCandidate>& c, const PixelLookup& lookup, int i,
                     bool ahead) {
    int j = nearestAlongEdge(c, lookup, i, ahead, 1);
    if (j == kNone) j = nearestAlongEdge(c, lookup, i, ahead, 2);
    return j;
}

}  // namespace

std::vector<kr_CandidateChain> kfLinkCandidates(const std::vector<kr_EdgeCandidate>& c,
                                                int height) {
    const int n = static_cast<int>(c.size());
    const PixelLookup lookup(c, height);
    std::vector<int> ahead(n), next(n, kNone), prev(n, kNone);
    for (int i = 0; i < n; ++i) ahead[i] = nearestAlongEdge(c, lookup, i, true);
    for (int i = 0; i < n; ++i) {
        const int j = ahead[i];
        if (j != kNone && nearestAlongEdge(c, lookup, j, false) == i) {
            next[i] = j;
            prev[j] = i;
        }
    }

    std::vector<kr_CandidateChain> chains;
    std::vector<char> seen(n, 0);
    auto walk = [&](int start) {
        kr_CandidateChain chain;
        int i = start;
        do {
            seen[i] = 1;
            chain.members.push_back(i);
            i = next[i];
        } while (i != kNone && i != start);
        chain.closed = i == start;
        chains.push_back(std::move(chain));
    };
    // Open chains from their starts, then what is left: cycles, each entered
    // at its first member in raster order.
    for (int i = 0; i < n; ++i)
        if (prev[i] == kNone) walk(i);
    for (int i = 0; i < n; ++i)
        if (!seen[i]) walk(i);
    std::sort(chains.begin(), chains.end(),
              [](const kr_CandidateChain& a, const kr_CandidateChain& b) {
                  return a.members.front() < b.members.front();
              });
    return chains;
}

namespace {

// I0(z) / I1(z). Past z = 12 the asymptotic series, four terms each, is good
// to about 1e-6 and needs no exponentials.
double besselRatio01(double z) {
    if (z < 12.0) return std::cyl_bessel_i(0.0, z) / std::cyl_bessel_i(1.0, z);
    const double u = 1.0 / z;
    const double i0 = 1.0 + u * (1.0 / 8 + u * (9.0 / 128 + u * (225.0 / 3072 + u * 11025.0 / 98304)));
    const double i1 = 1.0 - u * (3.0 / 8 + u * (15.0 / 128 + u * (315.0 / 3072 + u * 14175.0 / 98304)));
    return i0 / i1;
}

}  // namespace

double kfCurvatureBias(double r, double sigma2) {
    const double first = sigma2 / (2.0 * r);
    // A blurred disc shows its gradient maximum at r > sigma whatever its
    // size; closer in, the relation no longer tells R, and the first-order
    // bias is as good an answer as any.
    if (!(r * r > 2.0 * sigma2)) return first;
    // R = r / h(r R / sigma2) converges fast: the step's slope is about
    // sigma2 / (2 R^2).
    double big = r + first;
    for (int k = 0; k < 50; ++k) {
        const double z = r * big / sigma2;
        const double next = r / (besselRatio01(z) - 1.0 / z);
        if (std::fabs(next - big) < 1e-12 * r) {
            big = next;
            break;
        }
        big = next;
    }
    return std::isfinite(big) && big >= r ? big - r : first;
}

namespace {

// How far along the chain (in members, each side) curvature is measured.
constexpr int kCurvatureReach = 5;

// The chain's members lo, mid, hi for the curvature at member i: centred on
// i where the chain allows, shifted inwards near the ends of an open chain.
struct Window {
    int lo, mid, hi;
};

Window curvatureWindow(int i, int n, bool closed) {
    const int reach = std::min(kCurvatureReach, (n - 1) / 2);
    if (closed) return {((i - reach) % n + n) % n, i, (i + reach) % n};
    const int lo = std::min(std::max(i - reach, 0), n - 1 - 2 * reach);
    return {lo, lo + reach, lo + 2 * reach};
}

// The chain's blur: the median of its members' profile variances.
double chainProfile(const std::vector<kr_EdgeCandidate>& c, const std::vector<int>& members) {
    std::vector<float> v;
    v.reserve(members.size());
    for (int m : members)
        if (c[m].profile > 0.0f) v.push_back(c[m].profile);
    if (v.empty()) return 0.0;
    auto mid = v.begin() + v.size() / 2;
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

}  // namespace

std::vector<kr_EdgePoint> kfChainPoints(const std::vector<kr_EdgeCandidate>& c,
                                        const kr_CandidateChain& chain, bool correctCurvature) {
    const std::vector<int>& m = chain.members;
    const int n = static_cast<int>(m.size());
    std::vector<kr_EdgePoint> points(n);
    for (int i = 0; i < n; ++i) {
        const kr_EdgeCandidate& e = c[m[i]];
        points[i] = {e.x, e.y, e.magnitude, std::atan2(e.gy, e.gx)};
    }
    const double profile = correctCurvature && n >= 3 ? chainProfile(c, m) : 0.0;
    if (!(profile > 0.0)) return points;

    for (int i = 0; i < n; ++i) {
        // The curvature through three members of the window (the circle
        // through them), positive when its centre lies on the bright side.
        const Window w = curvatureWindow(i, n, chain.closed);
        const kr_EdgeCandidate &a = c[m[w.lo]], &b = c[m[w.mid]], &d = c[m[w.hi]];
        const double ax = a.x - b.x, ay = a.y - b.y, dx = d.x - b.x, dy = d.y - b.y;
        const double cross = ax * dy - ay * dx;
        const double lengths = std::hypot(ax, ay) * std::hypot(dx, dy) * std::hypot(d.x - a.x, d.y - a.y);
        if (!(lengths > 0.0) || cross == 0.0) continue;
        const kr_EdgeCandidate& e = c[m[i]];
        const double g = std::hypot(e.gx, e.gy);
        const double ux = e.gx / g, uy = e.gy / g;
        const double toCentre = (ax + dx) * ux + (ay + dy) * uy;
        if (toCentre == 0.0) continue;
        const double kappa = 2.0 * std::fabs(cross) / lengths;
        // The profile across a curved edge is narrower than the blur by
        // 1/(2 r^2) in its log's curvature.
        const double sigma2 = 1.0 / (1.0 / profile + 0.5 * kappa * kappa);
        const double shift = kfCurvatureBias(1.0 / kappa, sigma2) + e.sampleBias * kappa;
        const double away = toCentre > 0.0 ? -shift : shift;
        points[i].x += away * ux;
        points[i].y += away * uy;
    }
    return points;
}
