// Cost per edgelet of keeping an edgelet contour's two sides in step through a
// rotation, scaling and shift: building it from edgelets (points made through
// the inverse) and moving its points (edgelets remade through the transform).
// The per_edgelet counter should stay flat from a thousand to a million.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "defs/cntrtmpl.h"

namespace {

const krPtrHandle_const<kr2XformBase>& turnScaleShift() {
    static const krPtrHandle_const<kr2XformBase> t(new kr2XformLinear(
        krXform<2>(krMatrix<2>(krRadian(0.3), krRadian(0.3), 1.5, 1.5), krVector<2>(120.0, -40.0))));
    return t;
}

std::vector<krEdgelet> ring(std::size_t n) {
    std::vector<krEdgelet> e;
    e.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * kPi * static_cast<double>(i) / static_cast<double>(n);
        e.emplace_back(krVector<2>(400.0 + 300.0 * std::cos(t), 300.0 + 200.0 * std::sin(t)),
                       static_cast<unsigned short>(i % 1000), krAngle8(static_cast<unsigned char>(i)));
    }
    return e;
}

void perEdgelet(benchmark::State& state, std::size_t n) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
    state.counters["per_edgelet"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_BuildFromEdgelets(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<krEdgelet> data = ring(n);
    for (auto _ : state) {
        krContourT<krEdgelet> c(data, turnScaleShift());
        benchmark::DoNotOptimize(c.points().data());
    }
    perEdgelet(state, n);
}

void BM_MovePoints(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    krContourT<krEdgelet> c(ring(n), turnScaleShift());
    const krContour::Points moved = c.points();
    for (auto _ : state) {
        c.points(moved);
        benchmark::DoNotOptimize(c.data().data());
    }
    perEdgelet(state, n);
}

}  // namespace

BENCHMARK(BM_BuildFromEdgelets)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MovePoints)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
