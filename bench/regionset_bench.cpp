// Timings of the region set's pairwise work: the crossing test, the outer hull
// and the area with holes, on grids of 10^2 to 10^4 small disjoint squares
// (the typical output of a blob tool) and on 100 overlapping circles of 1000
// points each.
//
// Every iteration builds its regions afresh outside the timed part (and drops
// the last ones there), so no region brings a cached answer from an earlier
// iteration: the figure is the whole cold query. Items are regions.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "cntr/regionset.h"

namespace {

typedef krPtrHandle_const<krRegion> Handle;

// n unit squares on a square grid with a spacing of 2.
krRegionSet::Regions squares(long n) {
    const long side = static_cast<long>(std::ceil(std::sqrt(double(n))));
    krRegionSet::Regions list;
    for (long k = 0; k < n; ++k) {
        const double x = 2.0 * double(k % side), y = 2.0 * double(k / side);
        list.emplace_back(new krRegion({{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y + 1}}));
    }
    return list;
}

// 100 circles of radius 10 and 1000 points, centres 1 apart on a line: each
// crosses many of the others.
krRegionSet::Regions circles(long) {
    krRegionSet::Regions list;
    for (int c = 0; c < 100; ++c) {
        krContour::Points p;
        for (int i = 0; i < 1000; ++i) {
            const double t = 2.0 * kPi * i / 1000.0;
            p.emplace_back(c + 10.0 * std::cos(t), 10.0 * std::sin(t));
        }
        list.emplace_back(new krRegion(p));
    }
    return list;
}

template <class Query>
void timeCold(benchmark::State& state, krRegionSet::Regions (*make)(long), Query query) {
    long items = 0;
    std::unique_ptr<krRegionSet> set;
    for (auto _ : state) {
        state.PauseTiming();
        set.reset();  // the last set and its regions go outside the timed part too
        set = std::make_unique<krRegionSet>(make(state.range(0)));
        state.ResumeTiming();
        query(*set);
        items += static_cast<long>(set->regions().size());
    }
    state.SetItemsProcessed(items);
}

void selfIntersecting(benchmark::State& state, krRegionSet::Regions (*make)(long)) {
    timeCold(state, make, [](const krRegionSet& s) { benchmark::DoNotOptimize(s.isSelfIntersecting()); });
}
void outerHull(benchmark::State& state, krRegionSet::Regions (*make)(long)) {
    timeCold(state, make, [](const krRegionSet& s) {
        krRegionSet out;
        s.outerHull(out);
        benchmark::DoNotOptimize(out);
    });
}
void areaWithHoles(benchmark::State& state, krRegionSet::Regions (*make)(long)) {
    timeCold(state, make, [](const krRegionSet& s) { benchmark::DoNotOptimize(s.area(true)); });
}

}  // namespace

BENCHMARK_CAPTURE(selfIntersecting, squares, squares)->RangeMultiplier(10)->Range(100, 10000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(outerHull, squares, squares)->RangeMultiplier(10)->Range(100, 10000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(areaWithHoles, squares, squares)->RangeMultiplier(10)->Range(100, 10000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(selfIntersecting, circles, circles)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(outerHull, circles, circles)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(areaWithHoles, circles, circles)->Arg(100)->Unit(benchmark::kMillisecond);
