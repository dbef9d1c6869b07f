// The C++ side of bench/python_bench.py: the same wavy star and the same grid
// of points, asked one query at a time in a plain loop, so the script can
// tell what the Python layer adds.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/star.h"
#include "cntr/region.h"

namespace {

constexpr std::size_t kVertices = 64;
constexpr std::size_t kSide = 1000;  // kSide^2 points

// Pixel centres of a kSide x kSide grid over the star's box [-1300, 1300]^2.
const std::vector<krVector<2>>& grid() {
    static const std::vector<krVector<2>> g = [] {
        std::vector<krVector<2>> p;
        p.reserve(kSide * kSide);
        for (std::size_t i = 0; i < kSide; ++i)
            for (std::size_t j = 0; j < kSide; ++j)
                p.emplace_back(-1300.0 + 2600.0 * (double(j) + 0.5) / kSide,
                               -1300.0 + 2600.0 * (double(i) + 0.5) / kSide);
        return p;
    }();
    return g;
}

template <class Query>
void one(benchmark::State& state, Query q) {
    krRegion r(wavyStar(kVertices));
    const auto& p = grid();
    std::size_t i = 0;
    q(r, p[0]);
    for (auto _ : state) {
        benchmark::DoNotOptimize(q(r, p[i]));
        i = (i + 7919) % p.size();
    }
}

template <class Query>
void all(benchmark::State& state, Query q) {
    krRegion r(wavyStar(kVertices));
    const auto& p = grid();
    // An array of answers, as numpy's (one byte a bool).
    std::unique_ptr<decltype(q(r, p[0]))[]> out(new decltype(q(r, p[0]))[p.size()]);
    for (auto _ : state) {
        for (std::size_t i = 0; i < p.size(); ++i) out[i] = q(r, p[i]);
        benchmark::DoNotOptimize(out.get());
    }
}

auto inside = [](const krRegion& r, const krVector<2>& p) { return r.inside(p, true); };
auto distance = [](const krRegion& r, const krVector<2>& p) { return r.distToPoint(p, false, true, false); };

void BM_InsideOne(benchmark::State& s) { one(s, inside); }
void BM_DistanceOne(benchmark::State& s) { one(s, distance); }
void BM_InsideAll(benchmark::State& s) { all(s, inside); }
void BM_DistanceAll(benchmark::State& s) { all(s, distance); }

BENCHMARK(BM_InsideOne);
BENCHMARK(BM_DistanceOne);
BENCHMARK(BM_InsideAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistanceAll)->Unit(benchmark::kMillisecond);

}  // namespace
