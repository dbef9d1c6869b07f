// Self-intersection and segment queries on large contours, against the plain
// scan over all segments.
#include <benchmark/benchmark.h>

#include <cmath>

#include "cntr/contour.h"

namespace {
typedef std::vector<krVector<2>> Pts;

// A simple star-shaped outline: r = 1 + 0.3 sin(7 theta).
Pts star(std::size_t n) {
    Pts p;
    p.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2 * 3.14159265358979323846 * static_cast<double>(i) / static_cast<double>(n);
        p.emplace_back(1 + 0.3 * std::sin(7 * t), krRadian(t));
    }
    return p;
}

// Closed: (0,0), (0,10), then points alternating (0.5,10) and (1,10), then
// (3,5), (3,-1), (5,0). The closing segment (5,0)-(0,0) is crossed by
// (3,5)-(3,-1), and the run along y = 10 pairs every two of its segments by
// their boxes: a fast path that does not try the pairs from the start of the
// contour first spends quadratic time before it finds the crossing.
Pts lateCrossing(std::size_t n) {
    Pts p{{0, 0}, {0, 10}};
    for (std::size_t i = 0; i + 6 < n; ++i) p.emplace_back(i % 2 ? 1.0 : 0.5, 10.0);
    p.insert(p.end(), {{3, 5}, {3, -1}, {5, 0}});
    return p;
}

struct Input {
    const char* name;
    Pts (*make)(std::size_t);
};
const Input kInputs[] = {{"star", star}, {"lateCrossing", lateCrossing}};

struct Probe : krContour {
    using krContour::krContour;
    using krContour::computeLineSegs;
    using krContour::lineSegs;
    using krContour::cache_;
    using krContour::validLine;
};

// isSelfIntersecting from scratch: tables, index and all queries.
void BM_IsSelfIntersecting(benchmark::State& state) {
    const Pts p = star(static_cast<std::size_t>(state.range(0)));
    krContour c(p);
    for (auto _ : state) {
        c.isClosed(true);  // drops every cache
        benchmark::DoNotOptimize(c.isSelfIntersecting());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IsSelfIntersecting)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

// The fast path and the plain rule side by side, the tables built once: every
// valid segment's own query scanning every segment, stopping at the first hit.
// range(0) picks the input, range(1) its size.
void BM_SelfIntersectingTablesKept(benchmark::State& state) {
    const Probe c(kInputs[state.range(0)].make(static_cast<std::size_t>(state.range(1))));
    c.lineSegs();
    for (auto _ : state) {
        c.cache_.peek()->selfIntersectingValid = false;  // made by lineSegs()
        benchmark::DoNotOptimize(c.isSelfIntersecting());
    }
    state.SetLabel(kInputs[state.range(0)].name);
}
BENCHMARK(BM_SelfIntersectingTablesKept)
    ->Args({0, 1000})->Args({0, 10000})->Args({1, 1000})->Args({1, 10000})->Args({1, 100000})
    ->Unit(benchmark::kMillisecond);

void BM_SelfIntersectingPlain(benchmark::State& state) {
    const Probe c(kInputs[state.range(0)].make(static_cast<std::size_t>(state.range(1))));
    const auto& segs = c.lineSegs();
    const auto& valid = c.validLine();
    const krVector<2> zero(0, 0);
    for (auto _ : state) {
        bool found = false;
        for (std::size_t k = 0; k < segs.size() && !found; ++k) {
            if (!valid[k]) continue;
            const krLineSeg& q = segs[k];
            const krRect s = krRect(q.p1(), zero).enclose(krRect(q.p2(), zero));
            for (std::size_t j = 0; j < segs.size() && !found; ++j) {
                if (!valid[j]) continue;
                const krLineSeg& o = segs[j];
                if (!krRect(o.p1(), zero).enclose(krRect(o.p2(), zero)).overlaps(s)) continue;
                if (o.line().isParallel(q.line())) continue;
                if (o.distToPoint(q.p1()) <= 1e-6 || o.distToPoint(q.p2()) <= 1e-6) continue;
                const krVector<2> x = o.line().intersect(q.line()).pos();
                found = o.distToPoint(x) < 1e-6 && q.distToPoint(x) < 1e-6;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(kInputs[state.range(0)].name);
}
BENCHMARK(BM_SelfIntersectingPlain)
    ->Args({0, 1000})->Args({0, 10000})->Args({1, 1000})->Args({1, 10000})->Args({1, 100000})
    ->Unit(benchmark::kMillisecond);

// Building the tables (and the index) alone.
void BM_SegmentTables(benchmark::State& state) {
    Probe c(star(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        c.isClosed(true);
        c.computeLineSegs();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SegmentTables)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

// One segment query across the whole contour once its tables exist.
void BM_SegmentQuery(benchmark::State& state) {
    const krContour c(star(static_cast<std::size_t>(state.range(0))));
    c.isSelfIntersecting();
    const krLineSeg across({-2, 0.1}, {2, -0.05});
    for (auto _ : state) benchmark::DoNotOptimize(c.intersections(across, true));
}
BENCHMARK(BM_SegmentQuery)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond);
}  // namespace
