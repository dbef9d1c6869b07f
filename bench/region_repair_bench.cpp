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
//
// At scale, beside GEOS where it is installed: the outer hull of a figure-eight
// of 10^5 and 10^6 points against GEOS's MakeValid; a random walk of 10^6 unit
// steps (some 2.3 million crossings), with the peak memory and the bytes per
// crossing; and the outer hull of a set of 10^4 unit squares scattered over
// a 100 x 100 box (each overlapping a few others) against GEOS's unary union.
// The peak memory is the process's: run the random walks alone, the smaller
// first, for figures that mean anything.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "cntr/region.h"
#include "cntr/regionset.h"
#include "cntr/repair/snaprounder.h"
#include "platform/std/random.h"
#ifdef QEL_HAVE_GEOS
#include <geos_c.h>
#endif

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

Pts randomWalk(std::size_t n) {
    krRandomUniform rnd(7);
    Pts p;
    V at(0, 0);
    for (std::size_t i = 0; i < n; ++i) p.push_back(at = at + V(1.0, krRadian(rnd.next(0, 2 * kPi))));
    return p;
}

std::vector<Pts> scatteredSquares(std::size_t n) {
    krRandomUniform rnd(11);
    std::vector<Pts> set;
    for (std::size_t k = 0; k < n; ++k) {
        const V c(rnd.next(0, 100), rnd.next(0, 100));
        const double turn = rnd.next(0, kPi);
        Pts sq;
        for (int i = 0; i < 4; ++i) sq.push_back(c + V(std::sqrt(0.5), krRadian(turn + kPi / 4 + i * kPi / 2)));
        set.push_back(sq);
    }
    return set;
}

double peakMegabytes() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024;
}

void BM_FigureEightOuterHullAtScale(benchmark::State& s) { repair(s, 0, true); }

// The peak memory of the process after the repair, and its share per
// crossing beyond the input (run this case alone for a clean peak).
void BM_RandomWalkOuterHull(benchmark::State& state) {
    const Pts p = randomWalk(std::size_t(state.range(0)));
    const double before = peakMegabytes();
    for (auto _ : state) {
        krRegion out;
        krRegion(p).outerHull(out);
        benchmark::DoNotOptimize(out.points().size());
    }
    const qel::detail::SnapRounder rounded({&p});
    const double crossings = double(rounded.nodes()) - double(p.size());
    state.counters["crossings"] = crossings;
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["bytes_per_crossing"] = (peakMegabytes() - before) * 1048576 / crossings;
}

void BM_ScatteredSquaresOuterHull(benchmark::State& state) {
    krRegionSet::Regions members;
    for (const Pts& sq : scatteredSquares(std::size_t(state.range(0))))
        members.push_back(krPtrHandle_const<krRegion>(new krRegion(sq)));
    const krRegionSet set(members);
    std::size_t regions = 0;
    for (auto _ : state) {
        krRegionSet copy(set.regions()), out;
        copy.outerHull(out);
        regions = out.regions().size();
    }
    state.counters["regions"] = double(regions);
}

#ifdef QEL_HAVE_GEOS
GEOSContextHandle_t geos() {
    static GEOSContextHandle_t c = GEOS_init_r();
    return c;
}
GEOSGeometry* geosPolygon(const Pts& p) {
    std::vector<double> xy;
    for (const V& v : p) xy.insert(xy.end(), {v.x(), v.y()});
    xy.insert(xy.end(), {p[0].x(), p[0].y()});
    GEOSCoordSequence* s = GEOSCoordSeq_copyFromBuffer_r(geos(), xy.data(), unsigned(xy.size() / 2), 0, 0);
    return GEOSGeom_createPolygon_r(geos(), GEOSGeom_createLinearRing_r(geos(), s), nullptr, 0);
}

void geosMakeValid(benchmark::State& state, const Pts& p) {
    GEOSGeometry* g = geosPolygon(p);
    for (auto _ : state) {
        GEOSGeometry* fixed = GEOSMakeValid_r(geos(), g);
        benchmark::DoNotOptimize(fixed);
        GEOSGeom_destroy_r(geos(), fixed);
    }
    GEOSGeom_destroy_r(geos(), g);
}
void BM_GeosFigureEightMakeValid(benchmark::State& s) { geosMakeValid(s, figureEight(std::size_t(s.range(0)), false)); }
void BM_GeosRandomWalkMakeValid(benchmark::State& s) { geosMakeValid(s, randomWalk(std::size_t(s.range(0)))); }

void BM_GeosScatteredSquaresUnaryUnion(benchmark::State& state) {
    std::vector<GEOSGeometry*> parts;
    for (const Pts& sq : scatteredSquares(std::size_t(state.range(0)))) parts.push_back(geosPolygon(sq));
    GEOSGeometry* all =
        GEOSGeom_createCollection_r(geos(), GEOS_MULTIPOLYGON, parts.data(), unsigned(parts.size()));
    for (auto _ : state) {
        GEOSGeometry* u = GEOSUnaryUnion_r(geos(), all);
        benchmark::DoNotOptimize(u);
        GEOSGeom_destroy_r(geos(), u);
    }
    GEOSGeom_destroy_r(geos(), all);
}
#endif

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
BENCHMARK(BM_FigureEightOuterHullAtScale)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomWalkOuterHull)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ScatteredSquaresOuterHull)->Arg(10000)->Unit(benchmark::kMillisecond);
#ifdef QEL_HAVE_GEOS
BENCHMARK(BM_GeosFigureEightMakeValid)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
// At 10^6 steps MakeValid had not finished after minutes and 7 GB.
BENCHMARK(BM_GeosRandomWalkMakeValid)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GeosScatteredSquaresUnaryUnion)->Arg(10000)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
