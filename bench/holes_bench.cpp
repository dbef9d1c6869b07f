// One polygon of 10^5 holes, those of the bottom row touching the shell at a
// vertex in the middle of one of its sides (as islands' lakes do in country
// borders): read into the library (the touching points found and the holes
// joined), area and centre with holes, and valid; beside GEOS building the
// same polygon and answering area, centroid and isValid.
#include <vector>

#include <benchmark/benchmark.h>
#include <geos_c.h>

#include "cntr/region.h"
#include "io/shape.h"
#include "tools/validity.h"

namespace {

constexpr int kSide = 317;  // holes a row: kSide^2 holes, about 10^5
constexpr double kPitch = 10;

// The shell's sides are cut every half pitch, so a touching vertex falls
// inside a side, not on a vertex.
const qs::Shape& polygon() {
    static const qs::Shape s = [] {
        qs::Shape s;
        qs::Polygon p;
        const double size = kSide * kPitch;
        const int cuts = 2 * kSide;
        for (int k = 0; k < cuts; ++k) p.outer.emplace_back(size * k / cuts + kPitch / 4, 0);
        for (int k = 0; k < cuts; ++k) p.outer.emplace_back(size + kPitch / 2, size * k / cuts);
        for (int k = 0; k < cuts; ++k) p.outer.emplace_back(size + kPitch / 2 - size * k / cuts, size + kPitch / 2);
        for (int k = 0; k < cuts; ++k) p.outer.emplace_back(0, size + kPitch / 2 - size * k / cuts);
        for (int i = 0; i < kSide; ++i)
            for (int j = 0; j < kSide; ++j) {
                // A diamond; in the bottom row its lowest vertex lies on the shell.
                const double cx = i * kPitch + kPitch / 2, cy = j * kPitch + (j == 0 ? 3 : kPitch / 2);
                p.holes.push_back({{cx, cy - 3}, {cx - 3, cy}, {cx, cy + 3}, {cx + 3, cy}});
            }
        s.polygons.push_back(std::move(p));
        return s;
    }();
    return s;
}

void BM_HolesOurs(benchmark::State& state) {
    const qs::Shape& s = polygon();
    for (auto _ : state) {
        std::vector<std::string> notes;
        auto obj = qs::toLibrary(s, 0, &notes);
        const auto& r = dynamic_cast<const krRegion&>(*obj);
        benchmark::DoNotOptimize(r.area(true));
        benchmark::DoNotOptimize(r.centerOfMass(true));
        benchmark::DoNotOptimize(qs::invalidity(s));
    }
}
BENCHMARK(BM_HolesOurs)->Unit(benchmark::kMillisecond)->Iterations(3);

GEOSGeometry* ring(GEOSContextHandle_t ctx, const qs::Ring& r) {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx, unsigned(r.size() + 1), 2);
    for (std::size_t k = 0; k <= r.size(); ++k)
        GEOSCoordSeq_setXY_r(ctx, seq, unsigned(k), r[k % r.size()].x(), r[k % r.size()].y());
    return GEOSGeom_createLinearRing_r(ctx, seq);
}

void BM_HolesGeos(benchmark::State& state) {
    GEOSContextHandle_t ctx = GEOS_init_r();
    const qs::Polygon& p = polygon().polygons[0];
    for (auto _ : state) {
        std::vector<GEOSGeometry*> holes;
        for (const qs::Ring& h : p.holes) holes.push_back(ring(ctx, h));
        GEOSGeometry* g = GEOSGeom_createPolygon_r(ctx, ring(ctx, p.outer), holes.data(), unsigned(holes.size()));
        double area = 0;
        GEOSArea_r(ctx, g, &area);
        benchmark::DoNotOptimize(area);
        GEOSGeometry* c = GEOSGetCentroid_r(ctx, g);
        benchmark::DoNotOptimize(GEOSisValid_r(ctx, g));
        GEOSGeom_destroy_r(ctx, c);
        GEOSGeom_destroy_r(ctx, g);
    }
    GEOS_finish_r(ctx);
}
BENCHMARK(BM_HolesGeos)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
