// Cost per point of the moment functions and the ellipse fit on noisy samples
// of an ellipse, from a thousand to a million points. The per_point counter
// is the figure to compare across sizes: it should stay flat (linear time).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "cntr/moments.h"

namespace {

// n points in order around a turned, off-centre ellipse, with Gaussian noise of
// 1% of the minor axis, so the polygon stays simple.
const std::vector<krVector<2>>& noisyEllipse(std::size_t n) {
    static std::vector<krVector<2>> pts;
    if (pts.size() == n) return pts;
    std::mt19937 gen(42);
    std::normal_distribution<double> noise(0.0, 0.01 * 40.0);
    const double c = std::cos(0.6), s = std::sin(0.6);
    pts.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * kPi * static_cast<double>(i) / static_cast<double>(n);
        const double u = 100.0 * std::cos(t), v = 40.0 * std::sin(t);
        pts.emplace_back(500.0 + c * u - s * v + noise(gen), -200.0 + s * u + c * v + noise(gen));
    }
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

}  // namespace

BENCHMARK(BM_InertiaDataPolygon)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_Area)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_CenterOfMass)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_FitEllipse)->RangeMultiplier(10)->Range(1000, 1000000);


