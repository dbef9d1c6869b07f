// Subpixel edges held against rendered images of known truth, the gradient
// against the plain two-dimensional sums, and the answers against every
// thread count, pixel type and row layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "platform/ip/edgelink.h"
#include "platform/ip/edges.h"
#include "platform/ip/gradient.h"
#include "tests/platform/greyscene.h"

using namespace greyscene;

namespace {

double signedArea(const kr_EdgeChain& c) {
    double a = 0;
    for (std::size_t i = 0; i < c.points.size(); ++i) {
        const kr_EdgePoint &p = c.points[i], &q = c.points[(i + 1) % c.points.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2;
}

std::vector<Pt> positions(const kr_EdgeChain& c) {
    std::vector<Pt> p;
    for (const kr_EdgePoint& e : c.points) p.push_back({e.x, e.y});
    return p;
}

krGreyImage render(const Ellipse& e, double sigma, double level, double noise, unsigned long seed,
                   int size = 160) {
    Scene s(size, size, 120);
    s.addEllipse(e, level);
    s.blur(sigma);
    if (noise > 0) s.noise(noise, seed);
    return s.image(krPixelType::eU8);
}

bool same(const std::vector<kr_EdgeChain>& a, const std::vector<kr_EdgeChain>& b, double tol) {
    bool equal = a.size() == b.size();
    for (std::size_t i = 0; equal && i < a.size(); ++i) {
        equal = a[i].closed == b[i].closed && a[i].points.size() == b[i].points.size();
        for (std::size_t j = 0; equal && j < a[i].points.size(); ++j) {
            const kr_EdgePoint &p = a[i].points[j], &q = b[i].points[j];
            equal = std::max({std::fabs(p.x - q.x), std::fabs(p.y - q.y), double(std::fabs(p.angle - q.angle))}) <= tol;
        }
    }
    return equal;
}

}  // namespace

// One closed chain a shape, its bright side on the right, every point near
// the true outline and the fit nearer still; small and dark shapes, heavy
// blur, noise and ellipses included.
TEST(Edges, RenderedShapesMeasureTrue) {
    struct Case {
        Ellipse truth;
        double sigma, level, noise, maxDistance, centre, size;
    } cases[] = {
        {{80.37, 79.81, 8.2, 8.2, 0}, 1.0, 100, 0, 0.08, 0.003, 0.006},
        {{80.26, 79.93, 8.0, 8.0, 0}, 1.5, 100, 0, 0.1, 0.003, 0.02},
        {{80.61, 80.13, 23.7, 23.7, 0}, 2.0, 100, 0, 0.03, 0.003, 0.006},
        {{79.52, 80.77, 51.3, 51.3, 0}, 1.0, -100, 0, 0.02, 0.003, 0.006},
        {{80.21, 80.44, 31.4, 31.4, 0}, 1.0, 100, 3.3, 0.3, 0.03, 0.03},
        {{80.11, 79.64, 40.3, 24.9, 0.61}, 1.0, 100, 0, 0.03, 0.005, 0.01},
        {{80.11, 79.64, 30.3, 18.9, 2.2}, 1.0, -100, 3.3, 0.3, 0.04, 0.05},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.truth.a + c.sigma + c.level);
        const krGreyImage image = render(c.truth, c.sigma, c.level, c.noise, 5);
        const std::vector<kr_EdgeChain> chains = kfFindEdges(image.view());
        ASSERT_EQ(chains.size(), 1u);
        ASSERT_TRUE(chains[0].closed);
        EXPECT_GT(signedArea(chains[0]) * c.level, 0.0);
        for (const kr_EdgePoint& p : chains[0].points)
            ASSERT_LT(std::fabs(ellipseDistance(c.truth, {p.x, p.y})), c.maxDistance);
        const Ellipse f = fitEllipse(positions(chains[0]));
        EXPECT_LT(std::hypot(f.cx - c.truth.cx, f.cy - c.truth.cy), c.centre);
        EXPECT_LT(std::max(std::fabs(f.a - c.truth.a), std::fabs(f.b - c.truth.b)), c.size);
    }
}

// The bias solves the blurred disc's relation: the radial gradient
// exp(-(r^2 + R^2) / 2s^2) I1(r R / s^2) peaks at r = R - bias, found here by
// golden-section search.
TEST(Edges, CurvatureBiasMatchesTheBlurredDisc) {
    for (double R : {2.5, 4.0, 8.0, 20.0})
        for (double s2 : {0.5, 2.08, 4.0}) {
            if (R * R < 4 * s2 || R * R / s2 > 600) continue;  // no peak inside; beyond the range of I1
            const auto f = [&](double r) { return std::log(std::cyl_bessel_i(1.0, r * R / s2)) - (r * r + R * R) / (2 * s2); };
            double lo = R / 2, hi = R;
            for (int i = 0; i < 200; ++i) {
                const double a = hi - 0.618 * (hi - lo), b = lo + 0.618 * (hi - lo);
                (f(a) < f(b) ? lo : hi) = f(a) < f(b) ? a : b;
            }
            EXPECT_NEAR(kfCurvatureBias((lo + hi) / 2, s2), R - (lo + hi) / 2, 1e-6) << R << " " << s2;
        }
    EXPECT_NEAR(kfCurvatureBias(1000.0, 2.0), 2.0 / 2000.0, 1e-7);
}

// Straight steps at several angles: an open chain across the image, points on
// the line, the gradient's angle normal to it, the magnitude the step's.
TEST(Edges, StraightStepsAtAnyAngle) {
    for (double angle : {0.0, 0.3, 0.7854, 1.2, 2.9, -2.0}) {
        SCOPED_TRACE(angle);
        const double nx = std::cos(angle), ny = std::sin(angle), cx = 40.3, cy = 39.8;
        // The half-plane beyond the line through (cx, cy) in direction n is bright.
        const double tx = -ny * 200, ty = nx * 200;
        Scene s(80, 80, 60);
        s.addPolygon({{cx + tx, cy + ty}, {cx + tx + nx * 200, cy + ty + ny * 200},
                      {cx - tx + nx * 200, cy - ty + ny * 200}, {cx - tx, cy - ty}}, 100);
        s.blur(1.0);
        const krGreyImage image = s.image(krPixelType::eF32);
        const std::vector<kr_EdgeChain> chains = kfFindEdges(image.view());
        ASSERT_EQ(chains.size(), 1u);
        EXPECT_FALSE(chains[0].closed);
        EXPECT_GT(chains[0].points.size(), 75u);
        const double sigmaT = std::sqrt(2.0 + 1.0 / 12);
        for (const kr_EdgePoint& p : chains[0].points) {
            // Mirrored about the border, a slanted edge meets its image in a corner.
            if (std::min(std::min(p.x, p.y), 80 - std::max(p.x, p.y)) < 8) continue;
            ASSERT_NEAR((p.x - cx) * nx + (p.y - cy) * ny, 0.0, 0.005);
            ASSERT_NEAR(std::remainder(p.angle - angle, 2 * 3.14159265358979), 0.0, 0.01);
            ASSERT_NEAR(p.magnitude, 100 / std::sqrt(2 * 3.14159265358979) / sigmaT, 2.0);
        }
    }
}

// The separable rows, mirrored pads and vector loops against the plain
// two-dimensional sums over the mirrored image, small images included.
TEST(Edges, GradientRowsMatchThePlainSums) {
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> grey(0, 255);
    for (auto [w, h, sigma] : {std::tuple{1, 1, 1.0}, {2, 5, 0.5}, {7, 3, 2.3}, {37, 19, 1.0}}) {
        krGreyImage image(krPixelType::eF64, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) image.set(x, y, grey(gen));
        const krGreyView view = image.view();
        const kr_GaussianKernels k(sigma);
        krGradientRows rows(view, k);
        std::vector<float> gx(w), gy(w), m2(w);
        auto g = [&](int i) { return k.smooth[std::abs(i)]; };
        auto d = [&](int i) { return i < 0 ? -k.deriv[-i] : k.deriv[i]; };
        for (int y = -1; y <= h; ++y) {
            rows.compute(y, gx.data(), gy.data(), m2.data());
            for (int x = 0; x < w; ++x) {
                double sx = 0, sy = 0;
                for (int j = -k.radius; j <= k.radius; ++j)
                    for (int i = -k.radius; i <= k.radius; ++i) {
                        const double v = view.at(kfMirror(x + i, w), kfMirror(y + j, h));
                        sx += d(i) * g(j) * v;
                        sy += g(i) * d(j) * v;
                    }
                ASSERT_NEAR(gx[x], sx, 1e-3) << w << "x" << h << " at " << x << "," << y;
                ASSERT_NEAR(gy[x], sy, 1e-3);
                ASSERT_NEAR(m2[x], sx * sx + sy * sy, 1e-3 * (1 + sx * sx + sy * sy));
            }
        }
    }
    // A ramp of slope 3 has derivative 3 away from the borders: the kernels' scale.
    krGreyImage ramp(krPixelType::eF32, 40, 3);
    for (int x = 0; x < 120; ++x) ramp.set(x % 40, x / 40, 3.0 * (x % 40));
    std::vector<float> gx(40), gy(40), m2(40);
    krGradientRows(ramp.view(), kr_GaussianKernels(1.7)).compute(1, gx.data(), gy.data(), m2.data());
    EXPECT_NEAR(gx[20], 3.0, 1e-5);
    EXPECT_NEAR(gy[20], 0.0, 1e-5);
}

// Every thread count, pixel type and row layout gives the same chains, in
// raster order.
TEST(Edges, SameAnswersForThreadsTypesAndLayouts) {
    Scene s(200, 150, 40);
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(0, 1);
    for (int i = 0; i < 12; ++i)
        s.addEllipse({25 + 50 * (i % 4) + 4 * u(gen), 25 + 50 * (i / 4) + 4 * u(gen), 6 + 12 * u(gen),
                      6 + 12 * u(gen), 3 * u(gen)},
                     i % 3 ? 120 : -30);
    // Blurred wider than the detector's scale, so positions are read twice.
    s.blur(1.8);
    s.noise(2.0, 4);
    const krGreyImage u8 = s.image(krPixelType::eU8);
    const std::vector<kr_EdgeChain> one = kfFindEdges(u8.view());
    ASSERT_GE(one.size(), 12u);
    // By first point in raster order: a point lies within a pixel or so of its own.
    for (std::size_t i = 1; i < one.size(); ++i) EXPECT_GT(one[i].points[0].y, one[i - 1].points[0].y - 1.5);
    for (int threads : {2, 3, 7, 0}) {
        kr_EdgeParams p;
        p.threads = threads;
        EXPECT_TRUE(same(one, kfFindEdges(u8.view(), p), 0.0)) << threads;
    }
    // The same grey values as floats, doubles, and 16 bits with thresholds
    // scaled; rows apart by a longer stride, and stored bottom-up.
    krGreyImage f32(krPixelType::eF32, 200, 150), f64(krPixelType::eF64, 200, 150),
        u16(krPixelType::eU16, 200, 150);
    std::vector<std::uint8_t> padded(150 * 208), flipped(150 * 200);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x) {
            const double v = u8.at(x, y);
            f32.set(x, y, v), f64.set(x, y, v), u16.set(x, y, 257 * v);
            padded[y * 208 + x] = flipped[(149 - y) * 200 + x] = static_cast<std::uint8_t>(v);
        }
    const kr_EdgeThresholds t = kfEdgeThresholds(u8.view());
    kr_EdgeParams given;
    given.low = t.low;
    given.high = t.high;
    EXPECT_TRUE(same(one, kfFindEdges(f32.view(), given), 0.0));
    EXPECT_TRUE(same(one, kfFindEdges(f64.view(), given), 0.0));
    EXPECT_TRUE(same(one, kfFindEdges(krGreyView(padded.data(), 200, 150, 208)), 0.0));
    EXPECT_TRUE(same(one, kfFindEdges(krGreyView(flipped.data() + 149 * 200, 200, 150, -200)), 0.0));
    given.low = 257 * t.low;
    given.high = 257 * t.high;
    EXPECT_TRUE(same(one, kfFindEdges(u16.view(), given), 1e-4));
}

// Thresholds: pure noise yields no chain and its noise is estimated; a
// junction of three grey levels ends chains instead of branching them; short
// chains go; settings out of range are refused.
TEST(Edges, ThresholdsJunctionsAndSettings) {
    Scene noise(200, 200, 100);
    noise.noise(6.0, 8);
    const krGreyImage n = noise.image(krPixelType::eU8);
    EXPECT_TRUE(kfFindEdges(n.view()).empty());
    EXPECT_NEAR(kfEdgeThresholds(n.view()).noise, 6.0, 0.6);

    Scene t(80, 80, 40);
    t.addPolygon({{40.3, 0}, {80, 0}, {80, 40.6}, {40.3, 40.6}}, 160);
    t.addPolygon({{40.3, 40.6}, {80, 40.6}, {80, 80}, {40.3, 80}}, 60);
    t.blur(1.0);
    const krGreyImage tj = t.image(krPixelType::eU8);
    const std::vector<kr_EdgeChain> chains = kfFindEdges(tj.view());
    ASSERT_GE(chains.size(), 2u);
    for (const kr_EdgeChain& c : chains) {
        EXPECT_FALSE(c.closed);
        for (std::size_t i = 1; i < c.points.size(); ++i)
            ASSERT_LT(std::hypot(c.points[i].x - c.points[i - 1].x, c.points[i].y - c.points[i - 1].y), 2.9);
    }

    const krGreyImage small = render({20.2, 20.7, 3.5, 3.5, 0}, 1.0, 100, 0, 0, 40);
    kr_EdgeParams p;
    EXPECT_EQ(kfFindEdges(small.view(), p).size(), 1u);
    p.minLength = 40;
    EXPECT_TRUE(kfFindEdges(small.view(), p).empty());
    p.minLength = 8;
    p.low = 0.0;
    p.high = 1e6;
    EXPECT_TRUE(kfFindEdges(small.view(), p).empty());
    EXPECT_TRUE(kfFindEdges(krGreyView()).empty());

    kr_EdgeParams bad[6];
    bad[0].sigma = 0.3, bad[1].sigma = NAN, bad[2].low = 5.0, bad[2].high = 4.0, bad[3].low = -1.0;
    bad[4].minLength = -1, bad[5].threads = -2;
    for (const kr_EdgeParams& q : bad) EXPECT_THROW(kfFindEdges(small.view(), q), krImageError);
    const std::uint8_t pixels[8] = {};
    EXPECT_THROW(krGreyView(pixels, 4, 2, 3), krImageError);
    EXPECT_THROW(krGreyView(static_cast<const std::uint8_t*>(nullptr), 4, 2), krImageError);
    EXPECT_THROW(krGreyView(reinterpret_cast<const std::uint16_t*>(pixels + 1), 2, 2), krImageError);
}

// The one-byte edgelet of an edge point: magnitudes rounded and saturated,
// angles in 256ths of a turn, rounded and wrapped.
TEST(Edges, EdgeletOfAPoint) {
    const struct { float magnitude, angle; unsigned short m; unsigned char a; } cases[] = {
        {12.4f, 0.0f, 12, 0}, {12.5f, -1.5707964f, 13, 192}, {7e4f, 3.1415927f, 65535, 128},
        {0.2f, 6.282f, 0, 0}, {3.0f, 0.0245f, 3, 1}};
    for (const auto& c : cases) {
        const krEdgelet e = kr_EdgePoint{1.5, 2.5, c.magnitude, c.angle}.edgelet();
        EXPECT_TRUE(e.magnitude() == c.m && e.angle().value() == c.a && e.position() == krVector<2>(1.5, 2.5));
    }
}
