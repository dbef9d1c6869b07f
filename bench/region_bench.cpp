// The region's inside test on large stars, against the plain sort of angles,
// and the measures that walk a hundred holes.
#include <benchmark/benchmark.h>

#include <vector>

#include "cntr/region.h"
#include "platform/std/random.h"
#include "tests/region_plain.h"

using qel::detail::RayDirection;
using qel::detail::rayDirection;

namespace {
typedef std::vector<krVector<2>> Pts;

// n vertices, radii alternating between 1 and 0.5, about c.
Pts star(std::size_t n, const krVector<2>& c = krVector<2>(0, 0), double scale = 1.0) {
    Pts p;
    p.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        p.push_back(c + krVector<2>(scale * (i % 2 ? 0.5 : 1.0),
                                    krRadian(2 * kPi * double(i) / double(n))));
    return p;
}

// Query points spread over the bounding box, inside and outside.
std::vector<krVector<2>> queries() {
    krRandomUniform rnd(17);
    std::vector<krVector<2>> q;
    for (int i = 0; i < 64; ++i) q.emplace_back(rnd.next(-1, 1), rnd.next(-1, 1));
    return q;
}

void perVertex(benchmark::State& state) {
    state.counters["ns/vertex"] = benchmark::Counter(
        double(state.iterations()) * double(state.range(0)),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Inside(benchmark::State& state) {
    const krRegion r(star(std::size_t(state.range(0))));
    const auto q = queries();
    r.inside(q[0], false);  // tables and index built
    std::size_t k = 0;
    for (auto _ : state) benchmark::DoNotOptimize(r.inside(q[k++ % q.size()], false));
    perVertex(state);
}
BENCHMARK(BM_Inside)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond);

void BM_RayDirectionOnly(benchmark::State& state) {
    const krRegion r(star(std::size_t(state.range(0))));
    const auto q = queries();
    std::size_t k = 0;
    for (auto _ : state) benchmark::DoNotOptimize(rayDirection(r.points(), q[k++ % q.size()]));
    perVertex(state);
}
BENCHMARK(BM_RayDirectionOnly)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond);

// The same answer with the ray chosen by sorting every angle.
void BM_InsidePlainSort(benchmark::State& state) {
    const krRegion r(star(std::size_t(state.range(0))));
    const auto q = queries();
    const double reach = 2.0 * r.encloseCircle(krContourDefs::eFast).radius();
    r.inside(q[0], false);
    std::size_t k = 0;
    for (auto _ : state) {
        const krVector<2>& p = q[k++ % q.size()];
        bool in = false;
        if (r.encloseRect(krXform<2>::I).within(p)) {
            const RayDirection ray = plainRay(r.points(), p);
            in = ray.onVertex ||
                 r.intersections(krLineSeg(p, p + ray.direction * reach), false, false).size() % 2;
        }
        benchmark::DoNotOptimize(in);
    }
    perVertex(state);
}
BENCHMARK(BM_InsidePlainSort)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMicrosecond);

// A star of 10^4 vertices with 100 small star holes in a ring.
struct Holed : krRegion {
    Holed() : krContour(star(10000, krVector<2>(0, 0), 10.0)), krRegion(star(10000, krVector<2>(0, 0), 10.0)) {
        Holes h;
        for (int i = 0; i < 100; ++i)
            h.emplace_back(new krRegion(star(100, krVector<2>(4.0, krRadian(2 * kPi * i / 100)), 0.1)));
        holes(h);
    }
    void drop() { cleanCacheInfo(); }
};

void BM_AreaWithHoles(benchmark::State& state) {
    Holed r;
    for (auto _ : state) {
        r.drop();
        benchmark::DoNotOptimize(r.area(true));
    }
}
BENCHMARK(BM_AreaWithHoles)->Unit(benchmark::kMicrosecond);

void BM_CenterOfMassWithHoles(benchmark::State& state) {
    Holed r;
    for (auto _ : state) {
        r.drop();
        benchmark::DoNotOptimize(r.centerOfMass(true));
    }
}
BENCHMARK(BM_CenterOfMassWithHoles)->Unit(benchmark::kMicrosecond);

void BM_DistToPointAcrossHoles(benchmark::State& state) {
    const Holed r;
    krRandomUniform rnd(3);
    std::vector<krVector<2>> q;
    for (int i = 0; i < 64; ++i) q.emplace_back(rnd.next(-6, 6), rnd.next(-6, 6));
    std::size_t k = 0;
    for (auto _ : state) benchmark::DoNotOptimize(r.distToPoint(q[k++ % q.size()], false, true, true));
}
BENCHMARK(BM_DistToPointAcrossHoles)->Unit(benchmark::kMicrosecond);

}  // namespace
