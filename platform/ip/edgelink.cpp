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

// I0(z) / I1(z). Past z = 25 the asymptotic series, five terms each, is good
// to about 1e-9 and needs no exponentials.
double besselRatio01(double z) {
    if (z < 25.0) return std::cyl_bessel_i(0.0, z) / std::cyl_bessel_i(1.0, z);
    const double u = 1.0 / z;
    const double i0 =
        1.0 + u * (1.0 / 8 + u * (9.0 / 128 + u * (225.0 / 3072 + u * (11025.0 / 98304 + u * 893025.0 / 3932160))));
    const double i1 =
        1.0 - u * (3.0 / 8 + u * (15.0 / 128 + u * (315.0 / 3072 + u * (14175.0 / 98304 + u * 1091475.0 / 3932160))));
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

bool kfSolveMoments(const double s[5], const double r[3], double c[3]) {
    auto det3 = [](double a, double b, double c, double d, double e, double f, double g, double h,
                   double i) { return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g); };
    const double det = det3(s[0], s[1], s[2], s[1], s[2], s[3], s[2], s[3], s[4]);
    if (!(std::fabs(det) > 0.0)) return false;
    c[0] = det3(r[0], s[1], s[2], r[1], s[2], s[3], r[2], s[3], s[4]) / det;
    c[1] = det3(s[0], r[0], s[2], s[1], r[1], s[3], s[2], r[2], s[4]) / det;
    c[2] = det3(s[0], s[1], r[0], s[1], s[2], r[1], s[2], s[3], r[2]) / det;
    return true;
}

bool kfFitProfilePeak(const double* offsets, const float* mag2, int count, kr_ProfilePeak& peak) {
    double s[5] = {0, 0, 0, 0, 0}, r[3] = {0, 0, 0};  // sums of w t^k and of w l t^k
    for (int k = 0; k < count; ++k) {
        const double m2 = mag2[k];
        if (!(m2 > 0.0)) continue;
        const double l = 0.5 * std::log(m2), w = std::sqrt(m2), t = offsets[k];
        double tp = w;
        for (int e = 0; e < 5; ++e, tp *= t) {
            s[e] += tp;
            if (e < 3) r[e] += tp * l;
        }
    }
    double coef[3];
    if (!kfSolveMoments(s, r, coef)) return false;
    const double c0 = coef[0], c1 = coef[1], c2 = coef[2];
    if (!(c2 < 0.0)) return false;
    peak.offset = -c1 / (2.0 * c2);
    peak.logMagnitude = c0 - c1 * c1 / (4.0 * c2);
    peak.curvature = 2.0 * c2;
    return std::isfinite(peak.offset) && std::isfinite(peak.logMagnitude);
}

namespace {

// How far along the chain (in members, each side) curvature is measured.
constexpr int kCurvatureReach = 3;

// Where the edge curves with radius r, the profile is read over at most
// r / kRadiusPerReach pixels each side: the circle that sets the samples'
// offsets describes the edge only near the point.
constexpr double kRadiusPerReach = 2.0;

// The signed curvature at member i, positive when the centre of curvature
// lies on the bright side: the parabola fitted by least squares to the
// members around it (shifted inwards near the ends of an open chain), in the
// frame of its edge direction and gradient. A fit to seven members is both
// less noisy and nearer the point than the circle through three farther
// apart, which smoothed away the curvature peaks of small ellipses.
double signedCurvature(const std::vector<kr_EdgeCandidate>& c, const std::vector<int>& m, int i,
                       bool closed) {
    const int n = static_cast<int>(m.size());
    const int reach = std::min(kCurvatureReach, (n - 1) / 2);
    const int lo = closed ? i - reach : std::min(std::max(i - reach, 0), n - 1 - 2 * reach);
    const kr_EdgeCandidate& e = c[m[i]];
    const double g = std::hypot(double(e.gx), double(e.gy));
    const double ux = e.gx / g, uy = e.gy / g;
    double s[5] = {0, 0, 0, 0, 0}, r[3] = {0, 0, 0};  // sums of t^k and of v t^k
    for (int k = lo; k <= lo + 2 * reach; ++k) {
        const kr_EdgeCandidate& f = c[m[(k % n + n) % n]];
        const double dx = f.x - e.x, dy = f.y - e.y;
        const double t = dx * uy - dy * ux, v = dx * ux + dy * uy;  // along and across
        double tp = 1.0;
        for (int q = 0; q < 5; ++q, tp *= t) {
            s[q] += tp;
            if (q < 3) r[q] += tp * v;
        }
    }
    double coef[3];
    if (!kfSolveMoments(s, r, coef)) return 0.0;
    const double kappa = 2.0 * coef[2] / std::pow(1.0 + coef[1] * coef[1], 1.5);
    // Past a radius of 10^4 pixels the blur's pull is below 10^-4 pixels: the
    // edge counts as straight.
    return std::isfinite(kappa) && std::fabs(kappa) >= 1e-4 ? kappa : 0.0;
}

// A point placed on its magnitude profile, knowing the edge's curvature.
struct Placed {
    double x, y, variance;
    bool measured;
};

// Places candidate e on the top of its profile. Each sample's offset across
// the edge is measured from the circle of the edge's curvature through the
// current position (a straight line where the edge is straight), so that a
// curved edge's profile, read along an axis, is not skewed towards the
// centre; two rounds settle the position.
Placed place(const kr_EdgeCandidate& e, double kappa) {
    const Placed first{e.x, e.y, 0.0, false};
    const double g = std::hypot(double(e.gx), double(e.gy));
    const double ux = e.gx / g, uy = e.gy / g;
    const double r = kappa != 0.0 ? 1.0 / std::fabs(kappa) : 0.0;
    const double side = kappa > 0.0 ? 1.0 : -1.0;
    const int reach = kappa == 0.0 ? kProfileReach
                                   : static_cast<int>(std::max(1.0, std::min<double>(kProfileReach, r / kRadiusPerReach)));
    const double ax = e.alongX ? 1.0 : 0.0, ay = e.alongX ? 0.0 : 1.0;
    Placed p = first;
    double offsets[2 * kProfileReach + 1];
    for (int round = 0; round < 2; ++round) {
        const double cx = p.x + side * r * ux, cy = p.y + side * r * uy;
        for (int k = -reach; k <= reach; ++k) {
            const double qx = e.px + 0.5 + k * ax, qy = e.py + 0.5 + k * ay;
            offsets[k + reach] = kappa == 0.0 ? (qx - p.x) * ux + (qy - p.y) * uy
                                              : side * (r - std::hypot(qx - cx, qy - cy));
        }
        kr_ProfilePeak peak;
        if (!kfFitProfilePeak(offsets, e.profile + kProfileReach - reach, 2 * reach + 1, peak) ||
            !(std::fabs(peak.offset) <= 1.0))
            return first;
        p = {p.x + peak.offset * ux, p.y + peak.offset * uy, -1.0 / peak.curvature, true};
    }
    return p;
}

}  // namespace

std::vector<kr_EdgePoint> kfChainPoints(const std::vector<kr_EdgeCandidate>& c,
                                        const kr_CandidateChain& chain, bool correctCurvature) {
    const std::vector<int>& m = chain.members;
    const int n = static_cast<int>(m.size());
    std::vector<double> kappa(n, 0.0);
    if (correctCurvature && n >= 3)
        for (int i = 0; i < n; ++i) kappa[i] = signedCurvature(c, m, i, chain.closed);
    std::vector<Placed> placed(n);
    std::vector<double> variances;
    for (int i = 0; i < n; ++i) {
        placed[i] = place(c[m[i]], kappa[i]);
        // The profile across a curved edge is narrower than the blur by
        // 1/(2 r^2) in its logarithm's curvature.
        if (placed[i].measured && placed[i].variance > 0.0)
            variances.push_back(1.0 / (1.0 / placed[i].variance + 0.5 * kappa[i] * kappa[i]));
    }
    // The chain's blur: the median of its points' measures.
    double blur = 0.0;
    if (!variances.empty()) {
        auto mid = variances.begin() + variances.size() / 2;
        std::nth_element(variances.begin(), mid, variances.end());
        blur = *mid;
    }
    std::vector<kr_EdgePoint> points(n);
    for (int i = 0; i < n; ++i) {
        const kr_EdgeCandidate& e = c[m[i]];
        kr_EdgePoint& p = points[i];
        p = {placed[i].x, placed[i].y, e.magnitude, std::atan2(e.gy, e.gx)};
        if (kappa[i] == 0.0 || !(blur > 0.0)) continue;
        // Away from the centre of curvature by the blur's pull.
        const double shift = kfCurvatureBias(1.0 / std::fabs(kappa[i]), blur);
        const double g = std::hypot(double(e.gx), double(e.gy));
        const double away = kappa[i] > 0.0 ? -shift : shift;
        p.x += away * e.gx / g;
        p.y += away * e.gy / g;
    }
    return points;
}
