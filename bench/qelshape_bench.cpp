// qelshape measure end to end on a generated WKT file of polygons (default
// 10^5 polygons of 50 vertices, about 100 MB; QEL_BENCH_POLYGONS changes the
// count), beside the time GEOS's own WKT reader takes only to parse the same
// file. The tool's run is the whole pipeline: reading, splitting, parsing,
// checking, every measure and the JSON lines, written to a null stream.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <geos_c.h>

#include "tools/measure.h"
#include "tools/runbatch.h"

namespace {

long polygonCount() {
    const char* n = std::getenv("QEL_BENCH_POLYGONS");
    return n ? std::atol(n) : 100000;
}

// Star-shaped polygons with jittered radii: simple rings, as an inspection
// program's blob outlines are.
const std::string& wktFile() {
    static const std::string path = [] {
        std::string p = (std::filesystem::temp_directory_path() /
                         ("qelshape-bench-" + std::to_string(polygonCount()) + ".wkt")).string();
        if (std::filesystem::exists(p)) return p;
        std::ofstream out(p);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (long i = 0; i < polygonCount(); ++i) {
            double cx = 4000 * u(rng), cy = 4000 * u(rng), r = 5 + 50 * u(rng);
            std::string ring;
            for (int k = 0; k <= 50; ++k) {
                int j = k % 50;
                double a = 2 * M_PI * j / 50, rad = r * (0.7 + 0.3 * std::sin(7.0 * j + i));
                char buf[64];
                std::snprintf(buf, sizeof buf, "%s%.6f %.6f", k ? ", " : "", cx + rad * std::cos(a),
                              cy + rad * std::sin(a));
                ring += buf;
            }
            out << "POLYGON ((" << ring << "))\n";
        }
        return p;
    }();
    return path;
}

void report(benchmark::State& state) {
    double bytes = static_cast<double>(std::filesystem::file_size(wktFile()));
    state.counters["shapes/s"] = benchmark::Counter(
        static_cast<double>(polygonCount()) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["MB/s"] =
        benchmark::Counter(bytes / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_GeosParseOnly(benchmark::State& state) {
    wktFile();  // made once, outside the timing
    GEOSContextHandle_t ctx = GEOS_init_r();
    GEOSWKTReader* reader = GEOSWKTReader_create_r(ctx);
    for (auto _ : state) {
        std::ifstream in(wktFile());
        for (std::string line; std::getline(in, line);) {
            GEOSGeometry* g = GEOSWKTReader_read_r(ctx, reader, line.c_str());
            if (!g) state.SkipWithError("GEOS refused a line");
            GEOSGeom_destroy_r(ctx, g);
        }
    }
    GEOSWKTReader_destroy_r(ctx, reader);
    GEOS_finish_r(ctx);
    report(state);
}

// What a Python user's geometry library does for area, centroid and
// validity, with GEOS as its engine: parse, then the three calls, one
// geometry at a time on one thread.
void BM_GeosAreaCentroidValid(benchmark::State& state) {
    wktFile();
    GEOSContextHandle_t ctx = GEOS_init_r();
    GEOSWKTReader* reader = GEOSWKTReader_create_r(ctx);
    for (auto _ : state) {
        std::ifstream in(wktFile());
        double sum = 0;
        for (std::string line; std::getline(in, line);) {
            GEOSGeometry* g = GEOSWKTReader_read_r(ctx, reader, line.c_str());
            if (!g) state.SkipWithError("GEOS refused a line");
            double area = 0;
            GEOSArea_r(ctx, g, &area);
            GEOSGeometry* c = GEOSGetCentroid_r(ctx, g);
            sum += area + GEOSisValid_r(ctx, g);
            GEOSGeom_destroy_r(ctx, c);
            GEOSGeom_destroy_r(ctx, g);
        }
        benchmark::DoNotOptimize(sum);
    }
    GEOSWKTReader_destroy_r(ctx, reader);
    GEOS_finish_r(ctx);
    report(state);
}

struct NullBuf : std::streambuf {
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Every shape of the file through the tool's batch, one row each in the given
// format and columns.
void measureAll(benchmark::State& state, qs::OutputFormat format, const qs::Columns& columns) {
    wktFile();
    NullBuf buf;
    std::ostream out(&buf);
    qs::BatchOptions opt;
    opt.threads = static_cast<unsigned>(state.range(0));
    opt.progress = false;
    for (auto _ : state) {
        auto src = qs::openSource(wktFile());
        qs::BatchResult r = qs::runBatch(*src, [&](const qs::Shape& s, const std::string& where,
                                                   unsigned long i) {
            return qs::formatRow(format, qs::measure(s, where, i, columns), columns);
        }, out, opt);
        if (r.errors) state.SkipWithError("a shape failed");
    }
    report(state);
}

void BM_Measure(benchmark::State& state) { measureAll(state, qs::OutputFormat::JsonLines, qs::Columns::all()); }

// The same three answers from the tool: measure --columns area,com,valid -o csv.
void BM_MeasureAreaComValid(benchmark::State& state) {
    measureAll(state, qs::OutputFormat::Csv, qs::Columns::parse("area,com,valid"));
}

}  // namespace

// Wall-clock time throughout: the rates are what a user waits for.
BENCHMARK(BM_GeosParseOnly)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Measure)->Arg(1)->Arg(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())))
    ->ArgName("threads")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_GeosAreaCentroidValid)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_MeasureAreaComValid)->Arg(1)->Arg(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())))
    ->ArgName("threads")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
