// Cost per point of the moment functions and the ellipse fit on noisy samples
// of an ellipse, from a thousand to a million points, and of the support
// layer's fits in each mode from a hundred points (a small contour) on. The
// per_point counter is the figure to compare across sizes: it should stay
// flat (linear time).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <type_traits>
#include <utility>
#include <vector>

#include "cntr/moments.h"
#include "platform/std/fit.h"

namespace {

// n points in order around a turned, off-centre ellipse with semi-axes 100 and
// minor, with Gaussian noise of 1% of 40, so the polygon stays simple. Each
// shape keeps its own last list.
std::vector<krVector<2>> makeNoisy(std::size_t n, double minor) {
    std::mt19937 gen(42);
    std::normal_distribution<double> noise(0.0, 0.01 * 40.0);
    const double c = std::cos(0.6), s = std::sin(0.6);
    std::vector<krVector<2>> pts;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * kPi * static_cast<double>(i) / static_cast<double>(n);
        const double u = 100.0 * std::cos(t), v = minor * std::sin(t);
        pts.emplace_back(500.0 + c * u - s * v + noise(gen), -200.0 + s * u + c * v + noise(gen));
    }
    return pts;
}

const std::vector<krVector<2>>& noisyEllipse(std::size_t n) {
    static std::vector<krVector<2>> pts;
    if (pts.size() != n) pts = makeNoisy(n, 40.0);
    return pts;
}

const std::vector<krVector<2>>& noisyCircle(std::size_t n) {
    static std::vector<krVector<2>> pts;
    if (pts.size() != n) pts = makeNoisy(n, 100.0);
    return pts;
}

void perPoint(benchmark::State& state, std::size_t n) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
    state.counters["per_point"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_InertiaDataPolygon(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto& pts = noisyEllipse(n);
    for (auto _ : state) benchmark::DoNotOptimize(kf_InertiaDataPolygon(pts));
    perPoint(state, n);
}

void BM_Area(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto& pts = noisyEllipse(n);
    for (auto _ : state) benchmark::DoNotOptimize(kf_Area(pts));
    perPoint(state, n);
}

void BM_CenterOfMass(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto& pts = noisyEllipse(n);
    for (auto _ : state) benchmark::DoNotOptimize(kf_CenterOfMass(pts));
    perPoint(state, n);
}

void BM_FitEllipse(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto& pts = noisyEllipse(n);
    krEllipse e;
    double residual = 0.0;
    for (auto _ : state) {
        kf_FitEllipse(pts, e, residual);
        benchmark::DoNotOptimize(residual);
    }
    perPoint(state, n);
}

// The support layer's fits; range(1) is the mode (0 algebraic, 1 geometric).
template <class Params, class Results>
void fitInMode(benchmark::State& state, const std::vector<krVector<2>>& pts,
               void (*fit)(const Params&, const std::vector<krVector<2>>&, Results&)) {
    using Mode = std::decay_t<decltype(std::declval<Params>().mode())>;
    const Params params{static_cast<Mode>(state.range(1))};
    Results r;
    for (auto _ : state) {
        fit(params, pts, r);
        benchmark::DoNotOptimize(r);
    }
    perPoint(state, pts.size());
}

void BM_EllipseFitMode(benchmark::State& state) {
    fitInMode(state, noisyEllipse(static_cast<std::size_t>(state.range(0))), kfEllipseFit);
}

void BM_CircleFitMode(benchmark::State& state) {
    fitInMode(state, noisyCircle(static_cast<std::size_t>(state.range(0))), kfCircleFit);
}

}  // namespace

BENCHMARK(BM_InertiaDataPolygon)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_Area)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_CenterOfMass)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_FitEllipse)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_EllipseFitMode)->ArgsProduct({{100, 1000, 10000}, {0, 1}});
BENCHMARK(BM_CircleFitMode)->ArgsProduct({{100, 1000, 10000}, {0, 1}});
