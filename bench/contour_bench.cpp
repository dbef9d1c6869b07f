// Timings of the contour's measuring queries on a wavy closed star,
// r = 1000 (1 + 0.3 sin 7 theta), of 10^3 to 10^6 vertices.
//
// length and meanPosition: each iteration calls isClosed(true) first, which
// drops the cached answer (and nothing else is cached), so the figure is the
// full pass over the vertices. Items are vertices: items_per_second inverts to
// ns per vertex.
//
// vertexIndex: the tolerance is three mean vertex spacings, so a query finds
// about six vertices at every size. Queries are timed with the grid already
// built (items are queries); the build is timed on its own (items are
// vertices), beside the plain ordered map of cells it replaces, and on lattice
// points chosen so that an unkeyed hash of their cells collides everywhere.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "bench/star.h"
#include "cntr/contour.h"
#include "platform/std/random.h"
#include "tests/contour_probe.h"

namespace {

using V = krVector<2>;

krContour::Points star(std::size_t n) { return wavyStar(n); }

// Query points near the contour: vertices moved by up to two spacings.
std::vector<V> queries(const krContour& c, double spacing, int count) {
    krRandomUniform rnd(3);
    std::vector<V> q;
    const auto& p = c.points();
    for (int i = 0; i < count; ++i) {
        const V& v = p[std::size_t(rnd.next(0.0, double(p.size())))];
        q.push_back(v + V(rnd.next(-2, 2) * spacing, rnd.next(-2, 2) * spacing));
    }
    return q;
}

void perVertex(benchmark::State& state, std::size_t n) {
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(n));
    // Seconds per vertex, printed with an SI prefix ("2.1n" is 2.1 ns).
    state.counters["per_vertex"] = benchmark::Counter(
        double(state.iterations()) * double(n),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Length(benchmark::State& state) {
    const std::size_t n = std::size_t(state.range(0));
    krContour c(star(n));
    for (auto _ : state) {
        c.isClosed(true);
        benchmark::DoNotOptimize(c.length());
    }
    perVertex(state, n);
}

void BM_MeanPosition(benchmark::State& state) {
    const std::size_t n = std::size_t(state.range(0));
    krContour c(star(n));
    for (auto _ : state) {
        c.isClosed(true);
        benchmark::DoNotOptimize(c.meanPosition());
    }
    perVertex(state, n);
}

void BM_ClosestPoint(benchmark::State& state) {
    const std::size_t n = std::size_t(state.range(0));
    const krContour c(star(n));
    const auto q = queries(c, c.length() / double(n), 64);
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(c.closestPoint(q[i++ % q.size()], false));
    perVertex(state, n);
}

void BM_ClosestVertexIndex(benchmark::State& state) {
    const std::size_t n = std::size_t(state.range(0));
    const krContour c(star(n));
    const auto q = queries(c, c.length() / double(n), 64);
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(c.closestVertexIndex(q[i++ % q.size()]));
    perVertex(state, n);
}

void BM_VertexIndexQuery(benchmark::State& state) {
    const std::size_t n = std::size_t(state.range(0));
    const krContour c(star(n));
    const double spacing = c.length() / double(n), tol = 3.0 * spacing;
    const auto q = queries(c, spacing, 4096);
    c.vertexIndex(q[0], tol);  // builds the grid
    std::size_t i = 0, found = 0;
    for (auto _ : state) {
        const std::vector<int> r = c.vertexIndex(q[i++ % q.size()], tol);
        found += r.size();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()));
    state.counters["found_per_query"] = double(found) / double(state.iterations());
}

void BM_VertexGridBuild(benchmark::State& state) {
    const std::size_t n = std::size_t(state.range(0));
    krContour c(star(n));
    const double tol = 3.0 * c.length() / double(n);
    for (auto _ : state) {
        c.isClosed(true);  // drops the grids
        benchmark::DoNotOptimize(c.vertexIndex(c.points()[0], tol));
    }
    perVertex(state, n);
}

void BM_VertexGridBuildChosenCollisions(benchmark::State& state) {
    const std::size_t n = std::size_t(state.range(0));
    krContour c(collidingCells(int(n)), false);
    for (auto _ : state) {
        c.isClosed(false);  // drops the grids
        benchmark::DoNotOptimize(c.vertexIndex(c.points()[0], 1.0));
    }
    perVertex(state, n);
}

// The straightforward grid: an ordered map from cell to vertex list.
void BM_VertexGridBuildPlainMap(benchmark::State& state) {
    const std::size_t n = std::size_t(state.range(0));
    const krContour c(star(n));
    const double r = 1.0 / (3.0 * c.length() / double(n));
    auto round = [](double v) { return std::int32_t(v >= 0 ? v + 0.5 : v - 0.5); };
    for (auto _ : state) {
        std::map<krPair<long>, std::vector<int>> cells;
        const auto& p = c.points();
        for (std::size_t i = 0; i < p.size(); ++i)
            cells[krPair<long>(round(p[i].x() * r), round(p[i].y() * r))].push_back(int(i));
        benchmark::DoNotOptimize(cells.size());
    }
    perVertex(state, n);
}

#define QEL_SIZES ->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Length) QEL_SIZES;
BENCHMARK(BM_MeanPosition) QEL_SIZES;
BENCHMARK(BM_ClosestPoint) QEL_SIZES;
BENCHMARK(BM_ClosestVertexIndex) QEL_SIZES;
BENCHMARK(BM_VertexIndexQuery) ->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(BM_VertexGridBuild) QEL_SIZES;
BENCHMARK(BM_VertexGridBuildChosenCollisions) QEL_SIZES;
BENCHMARK(BM_VertexGridBuildPlainMap) QEL_SIZES;

}  // namespace


