// Timings of the region repairs from scratch: each iteration builds the region
// anew (no cached tables, answers or grids) and asks for regularize or
// outerHull. Cases:
//
//  - FigureEight: two round lobes of n/2 points each, joined by two edges that
//    cross once, the list starting at the far side of a lobe;
//  - FigureEightFromMiddle: the same list starting beside the crossing, where
//    the first edges are crossed and the start edge lies farther on (once a
//    search growing with n squared);
//  - LobeChain: a sine wave out and its mirror image back, 10^4 points whose
//    strands cross about a hundred times, a chain of lobes in turn
//    orientation;
//  - TwoCircles: two overlapping circles of 10^4 points each, one after the
//    other in one list, so that they cross twice and the joining edges cross
//    them too.
//
// SelfIntersection times isSelfIntersecting alone on the same boundaries, for
// scale: every repair starts with it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "cntr/region.h"

using V = krVector<2>;
using Pts = krContour::Points;

namespace {

Pts figureEight(std::size_t n, bool fromMiddle) {
    Pts p;
    const std::size_t half = n / 2;
    for (std::size_t i = 0; i < half; ++i) {  // left lobe, counterclockwise
        const double t = 0.3 + (2 * kPi - 0.6) * double(i) / double(half - 1);
        p.push_back(V(-1.5, 0) + V(1.0, krRadian(t)));
    }
    for (std::size_t i = 0; i < half; ++i) {  // right lobe, clockwise
        const double t = 0.3 + (2 * kPi - 0.6) * double(i) / double(half - 1);
        p.push_back(V(1.5, 0) + V(1.0, krRadian(kPi - t)));
    }
    if (!fromMiddle) std::rotate(p.begin(), p.begin() + std::ptrdiff_t(half / 2), p.end());
    return p;
}

Pts lobeChain(std::size_t n, int crossings) {
    Pts p;
    const std::size_t half = n / 2;
    const double from = -kPi / 2, to = kPi * (crossings - 1) + kPi / 2;
    for (std::size_t i = 0; i < half; ++i) {
        const double x = from + (to - from) * double(i) / double(half - 1);
        p.push_back(V(x, std::sin(x)));
    }
    for (std::size_t i = 0; i < half; ++i) {
        const double x = to - (to - from) * double(i) / double(half - 1);
        p.push_back(V(x, -std::sin(x)));
    }
    return p;
}

Pts circle(const V& c, std::size_t n) {
    Pts p;
    for (std::size_t i = 0; i < n; ++i) p.push_back(c + V(1.0, krRadian(2 * kPi * double(i) / double(n))));
    return p;
}

Pts twoCircles(std::size_t n) {
    Pts p = circle(V(0, 0), n);
    const Pts q = circle(V(1, 0.1), n);
    p.insert(p.end(), q.begin(), q.end());
    return p;
}

Pts boundary(int which, std::size_t n) {
    switch (which) {
        case 0: return figureEight(n, false);
        case 1: return lobeChain(n, 101);
        case 3: return figureEight(n, true);
        default: return twoCircles(n);
    }
}

void repair(benchmark::State& state, int which, bool hull) {
    const Pts p = boundary(which, std::size_t(state.range(0)));
    std::size_t points = 0;
    for (auto _ : state) {
        const krRegion r(p);
        krRegion out;
        hull ? r.outerHull(out) : r.regularize(out);
        points = out.points().size();
    }
    state.counters["result_points"] = double(points);
}

void selfIntersection(benchmark::State& state, int which) {
    const Pts p = boundary(which, std::size_t(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(krRegion(p).isSelfIntersecting());
}

void BM_FigureEightRegularize(benchmark::State& s) { repair(s, 0, false); }
void BM_FigureEightOuterHull(benchmark::State& s) { repair(s, 0, true); }
void BM_FigureEightSelfIntersection(benchmark::State& s) { selfIntersection(s, 0); }
void BM_FigureEightFromMiddleRegularize(benchmark::State& s) { repair(s, 3, false); }
void BM_LobeChainRegularize(benchmark::State& s) { repair(s, 1, false); }
void BM_LobeChainOuterHull(benchmark::State& s) { repair(s, 1, true); }
void BM_LobeChainSelfIntersection(benchmark::State& s) { selfIntersection(s, 1); }
void BM_TwoCirclesRegularize(benchmark::State& s) { repair(s, 2, false); }
void BM_TwoCirclesOuterHull(benchmark::State& s) { repair(s, 2, true); }
void BM_TwoCirclesSelfIntersection(benchmark::State& s) { selfIntersection(s, 2); }

#define QEL_EIGHT ->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)
#define QEL_TENK ->Arg(10000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_FigureEightRegularize) QEL_EIGHT;
BENCHMARK(BM_FigureEightOuterHull) QEL_EIGHT;
BENCHMARK(BM_FigureEightSelfIntersection) QEL_EIGHT;
BENCHMARK(BM_FigureEightFromMiddleRegularize) QEL_EIGHT;
BENCHMARK(BM_LobeChainRegularize) QEL_TENK;
BENCHMARK(BM_LobeChainOuterHull) QEL_TENK;
BENCHMARK(BM_LobeChainSelfIntersection) QEL_TENK;
BENCHMARK(BM_TwoCirclesRegularize) QEL_TENK;
BENCHMARK(BM_TwoCirclesOuterHull) QEL_TENK;
BENCHMARK(BM_TwoCirclesSelfIntersection) QEL_TENK;

}  // namespace
