#include "platform/ip/edges.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>

#include "platform/ip/edgelink.h"
#include "platform/ip/gradient.h"
#include "platform/std/threadlocal.h"

krEdgelet kr_EdgePoint::edgelet() const {
    const double m = std::min(65535.0, std::max(0.0, std::floor(magnitude + 0.5)));
    const double turns = angle / (2.0 * kPi);
    const long units = std::lround((turns - std::floor(turns)) * krAngle8::kUnitsPerTurn);
    return krEdgelet(krVector<2>(x, y), static_cast<unsigned short>(m),
                     krAngle8(static_cast<unsigned char>(units & 0xff)));
}

namespace {

void checkParams(const kr_EdgeParams& p) {
    if (!(p.sigma >= 0.5 && p.sigma <= 64.0))
        throw krImageError(L"the edge scale sigma must lie within [0.5, 64] pixels");
    for (const std::optional<double>& t : {p.low, p.high})
        if (t && !(*t >= 0.0 && std::isfinite(*t)))
            throw krImageError(L"an edge threshold must be a finite number not below 0");
    if (p.low && p.high && *p.low > *p.high)
        throw krImageError(L"the low edge threshold is above the high one");
    if (p.minLength < 0) throw krImageError(L"the minimum chain length cannot be negative");
    if (p.threads < 0) throw krImageError(L"the thread count cannot be negative");
}

// About this many pixels are sampled for the noise estimate, in whole rows
// spread evenly down the image.
constexpr std::size_t kNoiseSample = 100000;

// The pixel noise's standard deviation and the range of the sampled pixels.
// The filter [1 -2 1] x [1 -2 1] ignores constant and linear shading, and its
// response to white noise of standard deviation s has standard deviation 6 s,
// whose absolute value has median 0.6745 * 6 s. Edges are few pixels, which
// the median ignores.
template <class T>
void sampleNoise(const krGreyView& im, double& noise, double& range) {
    const int w = im.width(), h = im.height();
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    std::vector<float> response;
    if (w >= 3 && h >= 3) {
        const int rows = static_cast<int>(
            std::min<std::size_t>(h - 2, std::max<std::size_t>(1, kNoiseSample / (w - 2))));
        response.reserve(static_cast<std::size_t>(rows) * (w - 2));
        for (int i = 0; i < rows; ++i) {
            const int y = 1 + static_cast<int>(static_cast<std::int64_t>(i) * (h - 2) / rows);
            const T *a = im.row<T>(y - 1), *b = im.row<T>(y), *c = im.row<T>(y + 1);
            for (int x = 1; x + 1 < w; ++x) {
                auto second = [x](const T* r) {
                    return static_cast<double>(r[x - 1]) - 2.0 * r[x] + static_cast<double>(r[x + 1]);
                };
                response.push_back(static_cast<float>(std::fabs(second(a) - 2.0 * second(b) + second(c))));
                lo = std::min<double>(lo, b[x]);
                hi = std::max<double>(hi, b[x]);
            }
        }
    }
    if (response.empty()) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                lo = std::min<double>(lo, im.row<T>(y)[x]);
                hi = std::max<double>(hi, im.row<T>(y)[x]);
            }
        noise = 0.0;
    } else {
        auto mid = response.begin() + response.size() / 2;
        std::nth_element(response.begin(), mid, response.end());
        noise = *mid / (0.6745 * 6.0);
    }
    range = hi > lo ? hi - lo : 0.0;
}

}  // namespace

kr_EdgeThresholds kfEdgeThresholds(const krGreyView& image, const kr_EdgeParams& params) {
    checkParams(params);
    kr_EdgeThresholds t;
    if (params.low && params.high) {
        t.low = *params.low;
        t.high = *params.high;
        return t;
    }
    double range = 0.0;
    double quantum = 1.0;
    switch (image.type()) {
    case krPixelType::eU8: sampleNoise<std::uint8_t>(image, t.noise, range); break;
    case krPixelType::eU16: sampleNoise<std::uint16_t>(image, t.noise, range); break;
    case krPixelType::eF32: sampleNoise<float>(image, t.noise, range), quantum = 0.0; break;
    case krPixelType::eF64: sampleNoise<double>(image, t.noise, range), quantum = 0.0; break;
    }
    t.noise = std::max({t.noise, quantum, range / 1024.0});
    t.gradientNoise = t.noise * kr_GaussianKernels(params.sigma).noiseGain;
    t.low = params.low ? *params.low : 3.0 * t.gradientNoise;
    t.high = params.high ? *params.high : 6.0 * t.gradientNoise;
    // One threshold given: the derived one yields to it.
    if (params.low) t.high = std::max(t.high, t.low);
    if (params.high) t.low = std::min(t.low, t.high);
    return t;
}

namespace {

constexpr int kReach = kProfileReach;
// Positions are read at the image's own blur when it exceeds the detector's
// scale by kMatchedScale (below, the gain does not pay a second pass), at
// most at kMatchedCap times that scale: in the accuracy runs wider filters
// lost on small, strongly curved edges what they won against noise.
constexpr double kMatchedScale = 1.2;
constexpr double kMatchedCap = 1.5;
constexpr int kRows = 2 * kReach + 1;

// Consecutive gradient rows, centred on the row worked on; magnitudes carry
// kReach mirrored pixels at each end.
struct GradientRow {
    explicit GradientRow(int w) : gx(w), gy(w), mag2(static_cast<std::size_t>(w) + 2 * kReach) {}
    std::vector<float> gx, gy, mag2;
    const float* m() const { return mag2.data() + kReach; }
};
using Rows = const GradientRow* const[kRows];

// The squared magnitude interpolated bilinearly at offset (ux, uy), each
// within [-1, 1], from pixel x of the centre row.
float interpolated(Rows rows, int x, float ux, float uy) {
    const int sx = ux < 0.0f ? -1 : 1, sy = uy < 0.0f ? -1 : 1;
    const float fx = std::fabs(ux), fy = std::fabs(uy);
    const float* near = rows[kReach]->m();
    const float* far = rows[kReach + sy]->m();
    return (1.0f - fy) * ((1.0f - fx) * near[x] + fx * near[x + sx]) +
           fy * ((1.0f - fx) * far[x] + fx * far[x + sx]);
}

// Edge points of the centre row y. A pixel is an edge point when its
// magnitude reaches low and is a maximum both along the image axis nearest
// its gradient (strictly on the near side, so a plateau gives one point) and
// along the gradient itself. The magnitudes along that axis are kept for the
// position's refinement.
void rowCandidates(Rows rows, int y, int w, float low2, std::vector<kr_EdgeCandidate>& out) {
    const GradientRow& row = *rows[kReach];
    const float* m = row.m();
    float profile[kRows];
    for (int x = 0; x < w; ++x) {
        const float m0 = m[x];
        if (!(m0 >= low2) || m0 == 0.0f) continue;
        const float gx = row.gx[x], gy = row.gy[x];
        const bool across = std::fabs(gx) >= std::fabs(gy);
        for (int k = -kReach; k <= kReach; ++k)
            profile[k + kReach] = across ? m[x + k] : rows[kReach + k]->m()[x];
        if (!(profile[kReach - 1] < m0 && m0 >= profile[kReach + 1])) continue;
        const float len = std::sqrt(m0);
        const float ux = gx / len, uy = gy / len;
        if (m0 < interpolated(rows, x, ux, uy) || m0 < interpolated(rows, x, -ux, -uy)) continue;
        // A first position from the profile read straight along the axis;
        // the chain's curvature refines it later.
        double offsets[kRows];
        for (int k = -kReach; k <= kReach; ++k) offsets[k + kReach] = k;
        kr_ProfilePeak peak;
        if (!kfFitProfilePeak(offsets, profile, kRows, peak) || !(std::fabs(peak.offset) <= 1.0)) continue;
        kr_EdgeCandidate e;
        e.px = x;
        e.py = y;
        e.alongX = across;
        e.x = x + 0.5 + (across ? peak.offset : 0.0);
        e.y = y + 0.5 + (across ? 0.0 : peak.offset);
        e.gx = gx;
        e.gy = gy;
        e.magnitude = static_cast<float>(std::exp(peak.logMagnitude));
        std::copy(profile, profile + kRows, e.profile);
        // A step of one pixel along the axis is cos^2 of a step across the edge.
        e.variance = static_cast<float>(-(across ? gx * gx : gy * gy) / m0 / peak.curvature);
        out.push_back(e);
    }
}

// Streams the gradient rows of [y0, y1), calling work(rows, y) with rows
// y - kReach .. y + kReach at hand.
template <class Work>
void streamRows(const krGreyView& image, const kr_GaussianKernels& kernels, int y0, int y1, Work work) {
    const int w = image.width();
    krGradientRows gradient(image, kernels);
    std::vector<GradientRow> store(kRows, GradientRow(w));
    GradientRow* rows[kRows];
    for (int i = 0; i < kRows; ++i) rows[i] = &store[i];
    auto fill = [&](GradientRow& r, int y) {
        float* m = r.mag2.data() + kReach;
        gradient.compute(y, r.gx.data(), r.gy.data(), m);
        for (int i = 1; i <= kReach; ++i) {
            m[-i] = m[kfMirror(-i, w)];
            m[w - 1 + i] = m[kfMirror(w - 1 + i, w)];
        }
    };
    for (int i = 0; i < kRows - 1; ++i) fill(*rows[i], y0 - kReach + i);
    for (int y = y0; y < y1; ++y) {
        fill(*rows[kRows - 1], y + kReach);
        work(rows, y);
        std::rotate(rows, rows + 1, rows + kRows);
    }
}

// How many row bands an image of height h is worked in: as many as threads
// asked, but no band thinner than 16 rows, whose gradient rows the band
// before computes too.
int bandCount(int h, int threads) {
    const int asked = threads == 0 ? static_cast<int>(kr_UsableCores()) : threads;
    return std::max(1, std::min(asked, h / 16));
}

// Runs band(i, y0, y1) on the row bands [y0, y1) of an image of height h,
// one thread a band.
template <class Band>
void inBands(int h, int threads, Band band) {
    const int bands = bandCount(h, threads);
    auto run = [&](int i) {
        band(i, static_cast<int>(static_cast<std::int64_t>(h) * i / bands),
             static_cast<int>(static_cast<std::int64_t>(h) * (i + 1) / bands));
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < bands; ++i) workers.emplace_back(run, i);
    run(0);
    for (std::thread& t : workers) t.join();
}

std::vector<kr_EdgeCandidate> findCandidates(const krGreyView& image, double sigma, double low,
                                             int threads) {
    const kr_GaussianKernels kernels(sigma);
    const float low2 = static_cast<float>(low * low);
    std::vector<std::vector<kr_EdgeCandidate>> found(bandCount(image.height(), threads));
    inBands(image.height(), threads, [&](int i, int y0, int y1) {
        streamRows(image, kernels, y0, y1, [&](Rows rows, int y) {
            rowCandidates(rows, y, image.width(), low2, found[i]);
        });
    });
    for (std::size_t i = 1; i < found.size(); ++i)
        found[0].insert(found[0].end(), found[i].begin(), found[i].end());
    return std::move(found[0]);
}

// The blur of the image's own edges, from the profiles of the points kept:
// the median of their widths less the detector's own scale. Zero when no
// point measures it.
double ownBlur(const std::vector<kr_EdgeCandidate>& c, const std::vector<int>& kept, double sigma) {
    std::vector<float> widths;
    for (int i : kept)
        if (c[i].variance > 0.0f) widths.push_back(c[i].variance);
    if (widths.empty()) return 0.0;
    auto mid = widths.begin() + widths.size() / 2;
    std::nth_element(widths.begin(), mid, widths.end());
    return std::sqrt(std::max(0.0, *mid - sigma * sigma));
}

// Reads the profiles of the kept candidates again at scale sigma.
void rereadProfiles(const krGreyView& image, double sigma, int threads, const std::vector<int>& kept,
                    std::vector<kr_EdgeCandidate>& c) {
    const kr_GaussianKernels kernels(sigma);
    inBands(image.height(), threads, [&](int, int y0, int y1) {
        auto next = std::lower_bound(kept.begin(), kept.end(), y0,
                                     [&](int i, int y) { return c[i].py < y; });
        if (next == kept.end() || c[*next].py >= y1) return;
        streamRows(image, kernels, c[*next].py, std::min(y1, c[kept.back()].py + 1), [&](Rows rows, int y) {
            for (; next != kept.end() && c[*next].py == y; ++next) {
                kr_EdgeCandidate& e = c[*next];
                for (int k = -kReach; k <= kReach; ++k)
                    e.profile[k + kReach] = e.alongX ? rows[kReach]->m()[e.px + k] : rows[kReach + k]->m()[e.px];
            }
        });
    });
}

}  // namespace

std::vector<kr_EdgeChain> kfFindEdges(const krGreyView& image, const kr_EdgeParams& params) {
    const kr_EdgeThresholds t = kfEdgeThresholds(image, params);
    std::vector<kr_EdgeChain> result;
    if (image.empty()) return result;
    std::vector<kr_EdgeCandidate> candidates = findCandidates(image, params.sigma, t.low, params.threads);
    std::vector<kr_CandidateChain> chains;
    std::vector<int> kept;
    for (kr_CandidateChain& chain : kfLinkCandidates(candidates, image.height())) {
        if (chain.members.size() < static_cast<std::size_t>(params.minLength)) continue;
        float strongest = 0.0f;
        for (int i : chain.members) strongest = std::max(strongest, candidates[i].magnitude);
        if (strongest < t.high) continue;
        kept.insert(kept.end(), chain.members.begin(), chain.members.end());
        chains.push_back(std::move(chain));
    }
    // Where the image's own blur is wider than the detector's scale, the
    // positions are read from gradients at that blur: the filter matched to
    // the edges' profile averages the most noise. Detection and linking stay
    // at the asked scale.
    std::sort(kept.begin(), kept.end());
    const double blur = ownBlur(candidates, kept, params.sigma);
    if (blur > kMatchedScale * params.sigma)
        rereadProfiles(image, std::min(blur, kMatchedCap * params.sigma), params.threads, kept, candidates);
    for (const kr_CandidateChain& chain : chains) {
        kr_EdgeChain out;
        out.points = kfChainPoints(candidates, chain, params.correctCurvature);
        out.closed = chain.closed;
        result.push_back(std::move(out));
    }
    return result;
}
