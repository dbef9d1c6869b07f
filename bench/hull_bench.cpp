// Convex hulls of 10^3 to 10^6 points: kfConvexHull on its own, the
// contour's convexHull (hull plus the region it makes; each iteration drops
// the cached hull first), and Boost.Geometry's convex_hull on the same points
// when Boost is found. Items are input points.
//
// Two inputs: the wavy closed star r = 1000 (1 + 0.3 sin 7 theta), the
// outline the contour benchmarks use, whose seven lobe tips put long convex
// arcs on the hull; and points uniform in a disc of radius 1000.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/star.h"
#include "cntr/region.h"
#include "platform/std/hull.h"
#include "platform/std/random.h"

#ifdef QEL_HAVE_BOOST
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/multi_point.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#endif

namespace {

std::vector<krVector<2>> disc(std::size_t n) {
    krRandomUniform rnd(7);
    std::vector<krVector<2>> p;
    p.reserve(n);
    while (p.size() < n) {
        const double x = rnd.next(-1000, 1000), y = rnd.next(-1000, 1000);
        if (x * x + y * y <= 1e6) p.emplace_back(x, y);
    }
    return p;
}

std::vector<krVector<2>> input(const benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    return state.range(1) == 0 ? wavyStar(n) : disc(n);
}

void BM_kfConvexHull(benchmark::State& state) {
    const std::vector<krVector<2>> p = input(state);
    std::size_t corners = 0;
    for (auto _ : state) {
        const std::vector<krVector<2>> h = kfConvexHull(p);
        corners = h.size();
        benchmark::DoNotOptimize(h.data());
    }
    state.counters["corners"] = double(corners);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ContourConvexHull(benchmark::State& state) {
    krContour c(input(state));
    krRegion out;
    for (auto _ : state) {
        c.isClosed(true);
        c.convexHull(out);
        benchmark::DoNotOptimize(out.points().data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

#ifdef QEL_HAVE_BOOST
namespace bg = boost::geometry;
typedef bg::model::d2::point_xy<double> BPoint;

void BM_BoostConvexHull(benchmark::State& state) {
    bg::model::multi_point<BPoint> mp;
    for (const krVector<2>& v : input(state)) mp.emplace_back(v.x(), v.y());
    std::size_t corners = 0;
    for (auto _ : state) {
        bg::model::polygon<BPoint> hull;
        bg::convex_hull(mp, hull);
        corners = hull.outer().size() - 1;
        benchmark::DoNotOptimize(hull.outer().data());
    }
    state.counters["corners"] = double(corners);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BoostConvexHull)
    ->ArgsProduct({{1000, 10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK(BM_kfConvexHull)
    ->ArgsProduct({{1000, 10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContourConvexHull)
    ->ArgsProduct({{1000, 10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
