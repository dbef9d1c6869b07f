// Accuracy of the subpixel edges on rendered discs and ellipses with known
// truth: positions (each edge point's distance to the true outline) and fits
// (centre, radius or worst semi-axis), root-mean-square in pixels, over
// random subpixel centres and sizes, with the detector's default settings.
//
//   qel_edges_accuracy [images-per-condition [sigma,snr,shading,ellipses [-v]]]
//
// With a condition, only that one runs (snr 0: no noise; ellipses 0 or 1);
// -v prints each shape's points and fit.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <iterator>
#include <vector>

#include "platform/ip/edges.h"
#include "platform/std/fit.h"
#include "tests/platform/greyscene.h"

using namespace greyscene;

namespace {

bool verbose = false;

// Multiplies by 1 + amount * u, u running linearly from -1 to 1 across the
// image in direction angle.
void shade(Scene& s, double amount, double angle) {
    const double c = std::cos(angle), sn = std::sin(angle), w = s.width(), h = s.height();
    const double half = (std::fabs(c) * w + std::fabs(sn) * h) / 2;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) s.at(x, y) *= 1 + amount * ((x + 0.5 - w / 2) * c + (y + 0.5 - h / 2) * sn) / half;
}

// The geometric circle through the points (centre x, y, radius).
std::array<double, 3> fitCircle(const std::vector<Pt>& p) {
    std::vector<krVector<2>> points;
    for (const Pt& q : p) points.emplace_back(q[0], q[1]);
    krCircleFitResults r;
    kfCircleFit(krCircleFitParams(krCircleFitDefs::eGeometric), points, r);
    return {r.circle().center().x(), r.circle().center().y(), r.circle().radius()};
}

struct Condition {
    const char* name;
    double sigma, snr, shade;
    bool ellipses;
};

struct Errors {
    double centre2 = 0, size2 = 0, position2 = 0, signed1 = 0;
    long shapes = 0, points = 0, missed = 0, pieces = 0;
};

constexpr int kCells = 4, kCell = 128, kSize = kCells * kCell;
constexpr double kBackground = 50, kContrast = 150;

void runImage(const Condition& c, std::mt19937_64& gen, Errors& err) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Ellipse> truth;
    Scene scene(kSize, kSize, kBackground);
    for (int cy = 0; cy < kCells; ++cy)
        for (int cx = 0; cx < kCells; ++cx) {
            const double a = 8 + 52 * unit(gen);
            const double b = c.ellipses ? a * (0.5 + 0.4 * unit(gen)) : a;
            const double slack = kCell / 2.0 - a - 4;
            Ellipse e{(cx + 0.5) * kCell + slack * (2 * unit(gen) - 1), (cy + 0.5) * kCell + slack * (2 * unit(gen) - 1),
                      a, b, c.ellipses ? 3.14159265358979 * unit(gen) : 0.0};
            scene.addEllipse(e, kContrast);
            truth.push_back(e);
        }
    scene.blur(c.sigma);
    if (c.shade > 0) shade(scene, c.shade, 2 * 3.14159265358979 * unit(gen));
    if (c.snr > 0) scene.noise(kContrast / c.snr, gen());
    const krGreyImage image = scene.image(krPixelType::eU8);
    const std::vector<kr_EdgeChain> chains = kfFindEdges(image.view());

    for (const Ellipse& e : truth) {
        // The chains that follow this outline: their median point within a pixel of it.
        std::vector<Pt> points;
        int pieces = 0;
        for (const kr_EdgeChain& chain : chains) {
            std::vector<double> d;
            for (const kr_EdgePoint& p : chain.points) d.push_back(std::fabs(ellipseDistance(e, {p.x, p.y})));
            std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
            if (d[d.size() / 2] > 1.0) continue;
            ++pieces;
            for (const kr_EdgePoint& p : chain.points) points.push_back({p.x, p.y});
        }
        if (points.size() < 8) {
            ++err.missed;
            continue;
        }
        err.pieces += pieces;
        if (verbose) {
            std::vector<double> d;
            for (const Pt& p : points) d.push_back(std::fabs(ellipseDistance(e, p)));
            std::sort(d.begin(), d.end());
            std::printf("  a %.1f b %.1f pieces %d n %zu median %.3f p99 %.3f max %.3f\n", e.a, e.b, pieces, d.size(),
                        d[d.size() / 2], d[d.size() * 99 / 100], d.back());
        }
        for (const Pt& p : points) err.position2 += std::pow(ellipseDistance(e, p), 2), err.signed1 += ellipseDistance(e, p);
        err.points += static_cast<long>(points.size());
        if (c.ellipses) {
            const Ellipse f = fitEllipse(points);
            err.centre2 += std::pow(f.cx - e.cx, 2) + std::pow(f.cy - e.cy, 2);
            err.size2 += std::pow(std::max(std::fabs(f.a - e.a), std::fabs(f.b - e.b)), 2);
            if (verbose)
                std::printf("  fit a %.1f b %.1f: da %.4f db %.4f dc %.4f\n", e.a, e.b, f.a - e.a, f.b - e.b, std::hypot(f.cx - e.cx, f.cy - e.cy));
        } else {
            const auto f = fitCircle(points);
            err.centre2 += std::pow(f[0] - e.cx, 2) + std::pow(f[1] - e.cy, 2);
            err.size2 += std::pow(f[2] - e.a, 2);
        }
        ++err.shapes;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int images = argc > 1 ? std::atoi(argv[1]) : 12;
    verbose = argc > 3 && std::string(argv[3]) == "-v";
    const Condition conditions[] = {
        {"sigma 1, no noise", 1.0, 0, 0, false},
        {"sigma 2, no noise", 2.0, 0, 0, false},
        {"sigma 1, SNR 30, shading +-15%", 1.0, 30, 0.15, false},
        {"sigma 1.5, SNR 20, shading +-25%", 1.5, 20, 0.25, false},
        {"ellipses, sigma 1, SNR 30, +-15%", 1.0, 30, 0.15, true},
    };
    std::printf("%d images per condition, %d shapes each, radii 8-60, contrast %g on %g, 8-bit\n", images,
                kCells * kCells, kContrast, kBackground);
    std::printf("| condition | centre | radius (semi-axes) | points | chains per shape | missed |\n");
    std::printf("|---|---|---|---|---|---|\n");
    std::vector<Condition> run(std::begin(conditions), std::end(conditions));
    if (argc > 2) {
        const char* only = argv[2];
        Condition c{"asked", 1, 0, 0, false};
        int ell = 0;
        std::sscanf(only, "%lf,%lf,%lf,%d", &c.sigma, &c.snr, &c.shade, &ell);
        c.ellipses = ell != 0;
        run = {c};
    }
    for (const Condition& c : run) {
        std::mt19937_64 gen(12345);
        Errors err;
        for (int i = 0; i < images; ++i) runImage(c, gen, err);
        std::printf("| %s | %.4f | %.4f | %.4f | %.2f | %ld |\n", c.name, std::sqrt(err.centre2 / err.shapes),
                    std::sqrt(err.size2 / err.shapes), std::sqrt(err.position2 / err.points),
                    double(err.pieces) / err.shapes, err.missed);
        if (verbose) std::printf("mean signed distance %.4f\n", err.signed1 / err.points);
        std::fflush(stdout);
    }
}
