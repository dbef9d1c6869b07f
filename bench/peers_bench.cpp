// The contour's measures and queries side by side with GEOS (C API) and
// Boost.Geometry, in one binary on the same outlines. Each benchmark is named
// operation/shape/library/vertices; bench/peers_table.py turns the JSON output
// into ns per vertex and the ratio to the faster peer.
//
// Every iteration takes the next of a few jittered variants of the outline and
// starts from a state with nothing cached: the contour's caches are dropped,
// and the peers keep nothing between calls anyway (GEOS keeps a geometry's
// envelope with the geometry, so its bounding box is not timed).
#include <benchmark/benchmark.h>
#include <geos_c.h>

#include <algorithm>
#include <boost/geometry.hpp>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cntr/contour.h"
#include "cntr/moments.h"
#include "cntr/masks.h"
#include "cntr/region.h"
#include "cntr/regionset.h"

#ifdef QEL_HAVE_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace bg = boost::geometry;

namespace {
typedef std::vector<krVector<2>> Pts;
typedef bg::model::d2::point_xy<double> BPoint;
typedef bg::model::ring<BPoint, false, false> BRing;  // counter-clockwise, not repeating the first point
typedef bg::model::linestring<BPoint> BLine;
typedef bg::model::box<BPoint> BBox;
typedef bg::model::multi_linestring<BLine> BLines;
constexpr double kTwoPi = 6.283185307179586;
constexpr int kVariants = 4;

// ---- outlines ----

// r = 1 + 0.3 sin 7t, each radius jittered by a tenth of the vertex spacing.
Pts star(std::size_t n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> jitter(-0.1, 0.1);
    const double step = kTwoPi / static_cast<double>(n);
    Pts p;
    p.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = step * static_cast<double>(i);
        p.emplace_back(1 + 0.3 * std::sin(7 * t) + step * jitter(rng), krRadian(t));
    }
    return p;
}

// Unit steps in random directions: it crosses itself early and often.
Pts walk(std::size_t n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> turn(0, kTwoPi);
    Pts p{krVector<2>(0, 0)};
    while (p.size() < n) p.push_back(p.back() + krVector<2>(1.0, krRadian(turn(rng))));
    return p;
}

// Thin spikes from an inner circle of radius 0.01 out to radius 1: a simple
// outline whose segment boxes all crowd the centre, so boxes alone pair up
// nearly every two spikes of a quadrant.
Pts sunburst(std::size_t n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> jitter(0.99, 1.0);
    const double step = kTwoPi / static_cast<double>(n);
    Pts p;
    p.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        p.emplace_back(i % 2 ? jitter(rng) : 0.01, krRadian(step * static_cast<double>(i)));
    return p;
}

struct Shape {
    const char* name;
    Pts (*make)(std::size_t, std::mt19937_64&);
};
const Shape kShapes[] = {{"star", star}, {"walk", walk}, {"sunburst", sunburst}};

// ---- one outline in each library's own form ----

GEOSContextHandle_t geos() {
    static GEOSContextHandle_t ctx = GEOS_init_r();
    return ctx;
}

struct GeosFree {
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(geos(), g); }
};
typedef std::unique_ptr<GEOSGeometry, GeosFree> GeosGeom;

// x, y pairs with the first point repeated at the end, as GEOS rings want.
std::vector<double> closedBuffer(const Pts& p) {
    std::vector<double> xy;
    xy.reserve(2 * p.size() + 2);
    for (const auto& v : p) xy.insert(xy.end(), {v.x(), v.y()});
    xy.insert(xy.end(), {p[0].x(), p[0].y()});
    return xy;
}

GEOSCoordSequence* geosSeq(const std::vector<double>& xy) {
    return GEOSCoordSeq_copyFromBuffer_r(geos(), xy.data(), static_cast<unsigned>(xy.size() / 2), 0, 0);
}

GEOSGeometry* geosPolygon(const std::vector<double>& xy) {
    return GEOSGeom_createPolygon_r(geos(), GEOSGeom_createLinearRing_r(geos(), geosSeq(xy)), nullptr, 0);
}

struct GeosPrepFree {
    void operator()(const GEOSPreparedGeometry* g) const { GEOSPreparedGeom_destroy_r(geos(), g); }
};

// A set of star-shaped regions of 100 vertices each, side by side on a square
// grid without touching: the crossing test has to look at every pair of
// neighbours and finds nothing. In each library's form: the region set (with
// its regions reachable, to drop their caches), the boundaries as one GEOS
// multi-line string and as a Boost multi-line string.
struct Tiles {
    std::vector<krPtrHandle<krRegion>> regions;
    krRegionSet set;
    GeosGeom geosLines;
    BLines bLines;

    Tiles(std::size_t n, std::mt19937_64& rng) {
        const std::size_t count = std::max<std::size_t>(1, n / 100);
        const auto side = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(count))));
        std::vector<GEOSGeometry*> lines;
        for (std::size_t k = 0; k < count; ++k) {
            Pts p = star(100, rng);
            const krVector<2> at(2.7 * static_cast<double>(k % side), 2.7 * static_cast<double>(k / side));
            for (auto& v : p) v = v + at;
            regions.emplace_back(new krRegion(p));
            lines.push_back(GEOSGeom_createLineString_r(geos(), geosSeq(closedBuffer(p))));
            BLine l;
            for (const auto& v : p) l.emplace_back(v.x(), v.y());
            l.push_back(l.front());
            bLines.push_back(std::move(l));
        }
        set.regions(regions);
        geosLines = GeosGeom(GEOSGeom_createCollection_r(geos(), GEOS_MULTILINESTRING, lines.data(),
                                                         static_cast<unsigned>(lines.size())));
    }

    // The set with its own caches and every region's dropped.
    const krRegionSet& fresh() {
        for (auto& r : regions) r->holes(r->holes());
        set.regions(regions);
        return set;
    }
};

struct Variant {
    Pts pts;
    std::vector<double> xy;
    std::vector<BPoint> bpts;
    BRing ring;
    BLine line;  // the ring as a closed line string
    GeosGeom polygon, boundary;
    std::unique_ptr<const GEOSPreparedGeometry, GeosPrepFree> prepared, preparedBoundary;
    krRegion region;  // the outline as a region, whose caches the cases keep or drop
    std::unique_ptr<Tiles> tiles;  // stars only

    Variant(Pts p, std::mt19937_64& rng, bool withTiles)
        : pts(std::move(p)), xy(closedBuffer(pts)), region(pts) {
        for (const auto& v : pts) bpts.emplace_back(v.x(), v.y());
        ring.assign(bpts.begin(), bpts.end());
        line.assign(bpts.begin(), bpts.end());
        line.push_back(bpts.front());
        polygon = GeosGeom(geosPolygon(xy));
        boundary = GeosGeom(GEOSGeom_createLineString_r(geos(), geosSeq(xy)));
        prepared.reset(GEOSPrepare_r(geos(), polygon.get()));
        preparedBoundary.reset(GEOSPrepare_r(geos(), boundary.get()));
        if (withTiles) tiles = std::make_unique<Tiles>(pts.size(), rng);
    }
};

// The contour with its protected caches reachable, so that a benchmark can
// keep the segment tables and drop only the self-intersection answer.
struct Contour : krContour {
    using krContour::krContour;
    void forgetSelfIntersection() {
        if (Caches* k = cache_.peek()) k->selfIntersectingValid = false;
    }
};

// ---- the cases ----

const krVector<2> kInside(0.3, 0.2);
const krLineSeg kAcross(krVector<2>(-2, 0.1), krVector<2>(2, -0.05));
// The point queries go round these, about half of them inside the star.
constexpr int kProbes = 16;

struct Bench {
    std::vector<std::unique_ptr<Variant>> variants;
    std::vector<std::unique_ptr<Contour>> contours;
    GeosGeom insidePoint, across;
    BLine bAcross;
    std::vector<krVector<2>> probes;
    std::vector<GeosGeom> geosProbes;

    Bench(const Shape& shape, std::size_t n) {
        std::mt19937_64 rng(n);
        std::uniform_real_distribution<double> coord(-1.3, 1.3);
        for (int k = 0; k < kProbes; ++k) {
            probes.emplace_back(coord(rng), coord(rng));
            geosProbes.emplace_back(GEOSGeom_createPointFromXY_r(geos(), probes.back().x(), probes.back().y()));
        }
        for (int v = 0; v < kVariants; ++v) {
            variants.push_back(std::make_unique<Variant>(shape.make(n, rng), rng, shape.make == star));
            contours.push_back(std::make_unique<Contour>(variants.back()->pts));
        }
        insidePoint = GeosGeom(GEOSGeom_createPointFromXY_r(geos(), kInside.x(), kInside.y()));
        const std::vector<double> seg{kAcross.p1().x(), kAcross.p1().y(), kAcross.p2().x(), kAcross.p2().y()};
        across = GeosGeom(GEOSGeom_createLineString_r(geos(), geosSeq(seg)));
        bAcross = {{seg[0], seg[1]}, {seg[2], seg[3]}};
    }
};

// The contour of this iteration, with every cache dropped.
Contour& freshContour(Bench& b, std::size_t iter) {
    Contour& c = *b.contours[iter % kVariants];
    c.isClosed(true);
    return c;
}

typedef std::function<void(Bench&, std::size_t)> Body;
struct Op {
    const char* name;
    Body lib, geosBody, boost;
    // The peers turn quadratic on walks and sunbursts (GEOS's intersection
    // too): above this size they are left out there. The library runs at
    // every size.
    std::size_t limitOnHardShapes = 1u << 30;
    // Region cases run on stars only: a walk is no simple outline, and the
    // region set is made of star tiles whatever the shape.
    bool starOnly = false;
    // Cases over many points or pixels run at this size only (0: every size),
    // timed by the wall clock, since the library's batch uses every core.
    std::size_t onlySize = 0;
    // Cases that keep an index between iterations build it before the clock
    // starts (two calls per variant), as GEOS's prepared geometry does.
    bool warm = false;
};

// Many points in the star's box for the batch cases, a few thousand of them
// also as GEOS points (GEOS 3.11 asks for a geometry per query), and the
// outline in OpenCV's fixed-point pixel coordinates for a 4096 x 4096 mask.
constexpr std::size_t kBatch = 1000000, kGeosPoints = 4096;
constexpr int kMask = 4096, kShift = 8;
const krXform<2> kMaskGrid = kf_PixelGrid(krVector<2>(-1.4, -1.4), 2.8 / kMask);
struct Many {
    std::vector<krVector<2>> points;
    std::vector<GeosGeom> geosPoints;
    Many() {
        std::mt19937_64 rng(7);
        std::uniform_real_distribution<double> coord(-1.3, 1.3);
        for (std::size_t i = 0; i < kBatch; ++i) points.emplace_back(coord(rng), coord(rng));
        for (std::size_t i = 0; i < kGeosPoints; ++i)
            geosPoints.emplace_back(GEOSGeom_createPointFromXY_r(geos(), points[i].x(), points[i].y()));
    }
};
const Many& many() {
    static const Many m;
    return m;
}

// The query point of iteration i, as a vector and as a GEOS point.
const krVector<2>& probe(const Bench& b, std::size_t i) { return b.probes[(i / kVariants) % kProbes]; }
const GEOSGeometry* geosProbe(const Bench& b, std::size_t i) {
    return b.geosProbes[(i / kVariants) % kProbes].get();
}
BPoint boostProbe(const Bench& b, std::size_t i) { return {probe(b, i).x(), probe(b, i).y()}; }

// What one pass over the vertices costs on this machine: every point read
// once, folded into two sums (a loop the compiler turns into one add of both
// coordinates a point). A query that reads the vertex list once can at best
// match it; peers_table.py gives the linear queries as multiples of it.
double streamingRead(const Pts& pts) {
    double sx = 0.0, sy = 0.0;
    for (const krVector<2>& p : pts) {
        sx += p.x();
        sy += p.y();
    }
    return sx + sy;
}

const Op kOps[] = {
    {"stream", [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(streamingRead(b.variants[i % kVariants]->pts)); },
     nullptr, nullptr},
    {"construct",
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(krContour(b.variants[i % kVariants]->pts)); },
     [](Bench& b, std::size_t i) { GeosGeom g(geosPolygon(b.variants[i % kVariants]->xy)); },
     [](Bench& b, std::size_t i) {
         const auto& v = *b.variants[i % kVariants];
         BRing r(v.bpts.begin(), v.bpts.end());
         benchmark::DoNotOptimize(r.data());
     }},
    {"length", [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(freshContour(b, i).length()); },
     [](Bench& b, std::size_t i) {
         double l;
         GEOSLength_r(geos(), b.variants[i % kVariants]->polygon.get(), &l);
         benchmark::DoNotOptimize(l);
     },
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(bg::perimeter(b.variants[i % kVariants]->ring)); }},
    {"area", [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(kf_Area(b.variants[i % kVariants]->pts)); },
     [](Bench& b, std::size_t i) {
         double a;
         GEOSArea_r(geos(), b.variants[i % kVariants]->polygon.get(), &a);
         benchmark::DoNotOptimize(a);
     },
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(bg::area(b.variants[i % kVariants]->ring)); }},
    {"centroid",
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(kf_CenterOfMass(b.variants[i % kVariants]->pts)); },
     [](Bench& b, std::size_t i) { GeosGeom c(GEOSGetCentroid_r(geos(), b.variants[i % kVariants]->polygon.get())); },
     [](Bench& b, std::size_t i) {
         BPoint c;
         bg::centroid(b.variants[i % kVariants]->ring, c);
         benchmark::DoNotOptimize(c);
     }},
    {"distance",
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(freshContour(b, i).distToPoint(kInside, false)); },
     [](Bench& b, std::size_t i) {
         double d;
         GEOSDistance_r(geos(), b.variants[i % kVariants]->boundary.get(), b.insidePoint.get(), &d);
         benchmark::DoNotOptimize(d);
     },
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(bg::distance(BPoint(kInside.x(), kInside.y()), b.variants[i % kVariants]->line));
     }},
    {"bbox",
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(freshContour(b, i).encloseRect(krXform<2>::I)); },
     nullptr,
     [](Bench& b, std::size_t i) {
         BBox box;
         bg::envelope(b.variants[i % kVariants]->ring, box);
         benchmark::DoNotOptimize(box);
     }},
    {"selfx_fresh",
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(freshContour(b, i).isSelfIntersecting()); },
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(GEOSisSimple_r(geos(), b.variants[i % kVariants]->boundary.get()));
     },
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(bg::intersects(b.variants[i % kVariants]->ring)); },
     10000},
    {"selfx_kept",
     [](Bench& b, std::size_t i) {
         Contour& c = *b.contours[i % kVariants];
         c.forgetSelfIntersection();
         benchmark::DoNotOptimize(c.isSelfIntersecting());
     },
     nullptr, nullptr, 10000},
    {"segment_fresh",
     [](Bench& b, std::size_t i) { benchmark::DoNotOptimize(freshContour(b, i).intersections(kAcross, true)); },
     [](Bench& b, std::size_t i) {
         GeosGeom g(GEOSIntersection_r(geos(), b.variants[i % kVariants]->boundary.get(), b.across.get()));
     },
     [](Bench& b, std::size_t i) {
         bg::model::multi_point<BPoint> hits;
         bg::intersection(b.bAcross, b.variants[i % kVariants]->line, hits);
         benchmark::DoNotOptimize(hits.data());
     },
     10000},
    // Point in region with nothing kept between calls (the library's first
    // query after a change is one pass over the edges), and with what each
    // keeps for repeated queries (the library's index, GEOS's prepared
    // geometry). GEOS's unprepared test takes seconds on large walks and
    // sunbursts, so the peers stop at 10^4 there.
    {"inside_fresh",
     [](Bench& b, std::size_t i) {
         krRegion& r = b.variants[i % kVariants]->region;
         r.holes(r.holes());
         benchmark::DoNotOptimize(r.inside(probe(b, i), true));
     },
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(GEOSContains_r(geos(), b.variants[i % kVariants]->polygon.get(), geosProbe(b, i)));
     },
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(bg::within(boostProbe(b, i), b.variants[i % kVariants]->ring));
     },
     10000},
    {"inside_kept",
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(b.variants[i % kVariants]->region.inside(probe(b, i), true));
     },
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(
             GEOSPreparedContains_r(geos(), b.variants[i % kVariants]->prepared.get(), geosProbe(b, i)));
     },
     nullptr, 1u << 30, false, 0, true},
    // 10^6 points in the box of a star: the library's batch on every core and
    // one call after another on one, beside GEOS's prepared geometry asked
    // point by point (each library keeps its index between iterations).
    {"inside_batch",
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(b.variants[i % kVariants]->region.insideMany(many().points, true).data());
     },
     [](Bench& b, std::size_t i) {
         const auto* prep = b.variants[i % kVariants]->prepared.get();
         const auto& pts = many().geosPoints;
         std::size_t in = 0;
         for (std::size_t k = 0; k < kBatch; ++k) in += GEOSPreparedContains_r(geos(), prep, pts[k % kGeosPoints].get());
         benchmark::DoNotOptimize(in);
     },
     nullptr, 1u << 30, true, 100000, true},
    {"inside_batch_one_core",
     [](Bench& b, std::size_t i) {
         const krRegion& r = b.variants[i % kVariants]->region;
         std::size_t in = 0;
         for (const auto& p : many().points) in += r.inside(p, true);
         benchmark::DoNotOptimize(in);
     },
     nullptr, nullptr, 1u << 30, true, 100000, true},
    // The distances of the same points to the star's boundary: the library's
    // batch, and on one core one call after another with the index a batch
    // left, beside GEOS's prepared boundary (a facet index) point by point.
    {"distance_batch",
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(
             b.variants[i % kVariants]->region.distToPoints(many().points, false, false, false).data());
     },
     [](Bench& b, std::size_t i) {
         const auto* prep = b.variants[i % kVariants]->preparedBoundary.get();
         const auto& pts = many().geosPoints;
         double sum = 0.0, d = 0.0;
         for (std::size_t k = 0; k < kBatch; ++k) sum += GEOSPreparedDistance_r(geos(), prep, pts[k % kGeosPoints].get(), &d) ? d : 0.0;
         benchmark::DoNotOptimize(sum);
     },
     nullptr, 1u << 30, true, 100000, true},
    {"distance_batch_one_core",
     [](Bench& b, std::size_t i) {
         const krRegion& r = b.variants[i % kVariants]->region;
         r.distToPoints({many().points[0]}, false, false, false);  // keeps the index
         double sum = 0.0;
         for (const auto& p : many().points) sum += r.distToPoint(p, false, false, false);
         benchmark::DoNotOptimize(sum);
     },
     nullptr, nullptr, 1u << 30, true, 100000, true},
    // A 4096 x 4096 mask of a star: scanlines beside OpenCV's polygon fill
    // (which takes fixed-point pixel coordinates, converted beforehand).
    {"mask",
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(kf_Rasterize(b.variants[i % kVariants]->region, kMask, kMask, kMaskGrid).data());
     },
#ifdef QEL_HAVE_OPENCV
     [](Bench& b, std::size_t i) {
         static std::vector<std::vector<cv::Point>> rings(kVariants);
         auto& ring = rings[i % kVariants];
         if (ring.empty()) {
             const krXform<2> toPixel = kMaskGrid.inverse();
             for (const auto& v : b.variants[i % kVariants]->pts) {
                 const krVector<2> q = toPixel * v;
                 ring.emplace_back(int(std::lround(q.x() * (1 << kShift))), int(std::lround(q.y() * (1 << kShift))));
             }
         }
         cv::Mat mask = cv::Mat::zeros(kMask, kMask, CV_8UC1);
         const std::vector<std::vector<cv::Point>> polys{ring};
         cv::fillPoly(mask, polys, cv::Scalar(255), cv::LINE_8, kShift);
         benchmark::DoNotOptimize(mask.data);
     },
#else
     nullptr,
#endif
     nullptr, 1u << 30, true, 100000, true},
    {"hull",
     [](Bench& b, std::size_t i) {
         krRegion hull;
         freshContour(b, i).convexHull(hull);
         benchmark::DoNotOptimize(hull.points().data());
     },
     [](Bench& b, std::size_t i) { GeosGeom g(GEOSConvexHull_r(geos(), b.variants[i % kVariants]->polygon.get())); },
     [](Bench& b, std::size_t i) {
         BRing hull;
         bg::convex_hull(b.variants[i % kVariants]->ring, hull);
         benchmark::DoNotOptimize(hull.data());
     },
     1u << 30, true},
    // Whether a set's boundaries cross themselves or each other: GEOS and
    // Boost answer it as "is the multi-line string of the boundaries simple".
    {"set_crossing",
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(b.variants[i % kVariants]->tiles->fresh().isSelfIntersecting());
     },
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(GEOSisSimple_r(geos(), b.variants[i % kVariants]->tiles->geosLines.get()));
     },
     [](Bench& b, std::size_t i) {
         benchmark::DoNotOptimize(bg::is_simple(b.variants[i % kVariants]->tiles->bLines));
     },
     1u << 30, true},
};

// Built on first use and kept: the inputs of one shape and size serve every case.
Bench& inputs(const Shape& shape, std::size_t n) {
    static std::vector<std::pair<std::string, std::unique_ptr<Bench>>> made;
    const std::string key = std::string(shape.name) + std::to_string(n);
    for (auto& m : made)
        if (m.first == key) return *m.second;
    if (made.size() > 3) made.erase(made.begin());  // keep memory bounded at 10^6 vertices
    made.emplace_back(key, std::make_unique<Bench>(shape, n));
    return *made.back().second;
}

void registerAll() {
    for (const Op& op : kOps)
        for (const Shape& shape : kShapes)
            for (std::size_t n = 1000; n <= 1000000; n *= 10) {
                const bool hard = std::string(shape.name) != "star";
                if (hard && op.starOnly) continue;
                const bool opencv = std::string(op.name) == "mask";
                const std::pair<const char*, const Body*> who[] = {
                    {"lib", &op.lib}, {opencv ? "opencv" : "geos", &op.geosBody}, {"boost", &op.boost}};
                for (const auto& w : who) {
                    if (!*w.second) continue;
                    if (hard && w.second != &op.lib && n > op.limitOnHardShapes) continue;
                    if (op.onlySize && n != op.onlySize) continue;
                    const std::string name = std::string(op.name) + "/" + shape.name + "/" + w.first + "/" +
                                             std::to_string(n);
                    const Body body = *w.second;
                    const Shape* sp = &shape;
                    const bool warm = op.warm;
                    auto* bm = benchmark::RegisterBenchmark(name.c_str(), [body, sp, n, warm](benchmark::State& state) {
                        Bench& b = inputs(*sp, n);
                        std::size_t i = 0;
                        if (warm)
                            for (; i < 2 * kVariants; ++i) body(b, i);
                        for (auto _ : state) body(b, i++);
                        state.counters["ns_per_vertex"] = benchmark::Counter(
                            static_cast<double>(n) * 1e-9,
                            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
                    });
                    bm->Unit(benchmark::kMicrosecond);
                    if (op.onlySize) bm->UseRealTime()->MeasureProcessCPUTime();
                }
            }
}
// ---- repairs of crossing outlines and region sets, beside GEOS ----
//
// Figure-eights are set beside GEOS's MakeValid of the polygon, walks beside
// GEOS's noding, polygonizing and union of the faces (what the outer hull
// holds), and a region set's outer hull beside GEOS's union of the members.
// Each iteration builds the regions afresh, so nothing is kept between calls.

// Two round lobes turning opposite ways, crossing once; the list starts
// beside the crossing (eight) or a third of the way round (eight_turned).
Pts figureEight(std::size_t n, bool turned) {
    Pts p;
    const std::size_t half = n / 2;
    for (std::size_t i = 0; i < half; ++i) {
        const double t = 0.3 + (kTwoPi - 0.6) * double(i) / double(half - 1);
        p.emplace_back(krVector<2>(-1.5, 0) + krVector<2>(1.0, krRadian(t)));
    }
    for (std::size_t i = 0; i < half; ++i) {
        const double t = 0.3 + (kTwoPi - 0.6) * double(i) / double(half - 1);
        p.emplace_back(krVector<2>(1.5, 0) + krVector<2>(1.0, krRadian(kTwoPi / 2 - t)));
    }
    if (turned) std::rotate(p.begin(), p.begin() + std::ptrdiff_t(n / 3), p.end());
    return p;
}

// Unit squares: a chain, each overlapping the next by half, or scattered at
// random over a field where they overlap in clumps.
std::vector<Pts> squares(std::size_t count, bool chain) {
    std::mt19937_64 rng(count);
    const double field = std::sqrt(double(count)) * 1.6;
    std::uniform_real_distribution<double> at(0, field);
    std::vector<Pts> set;
    for (std::size_t k = 0; k < count; ++k) {
        const krVector<2> c = chain ? krVector<2>(0.5 * double(k), 0.2 * double(k % 3)) : krVector<2>(at(rng), at(rng));
        set.push_back({c, c + krVector<2>(1, 0), c + krVector<2>(1, 1), c + krVector<2>(0, 1)});
    }
    return set;
}

struct RepairInput {
    Pts pts;
    GeosGeom polygon, boundary;
    std::vector<Pts> members;
    GeosGeom memberPolygons;
};

GeosGeom geosUnionOfFaces(const GEOSGeometry* boundary) {
    GeosGeom noded(GEOSNode_r(geos(), boundary));
    const GEOSGeometry* parts[] = {noded.get()};
    GeosGeom faces(GEOSPolygonize_r(geos(), parts, 1));
    return GeosGeom(GEOSUnaryUnion_r(geos(), faces.get()));
}

RepairInput makeRing(Pts p) {
    RepairInput in;
    in.pts = std::move(p);
    const std::vector<double> xy = closedBuffer(in.pts);
    in.polygon = GeosGeom(geosPolygon(xy));
    in.boundary = GeosGeom(GEOSGeom_createLineString_r(geos(), geosSeq(xy)));
    return in;
}

RepairInput makeSet(std::vector<Pts> set) {
    RepairInput in;
    in.members = std::move(set);
    std::vector<GEOSGeometry*> polys;
    for (const Pts& m : in.members) polys.push_back(geosPolygon(closedBuffer(m)));
    in.memberPolygons = GeosGeom(GEOSGeom_createCollection_r(geos(), GEOS_MULTIPOLYGON, polys.data(),
                                                             static_cast<unsigned>(polys.size())));
    return in;
}

void registerRepairs() {
    typedef std::function<void(RepairInput&)> RepairBody;
    struct Case {
        const char* op;
        const char* shape;
        RepairInput (*make)(std::size_t);
        RepairBody lib, peer;
        std::vector<std::size_t> sizes;
        std::size_t peerLimit;
    };
    const RepairBody regularize = [](RepairInput& in) {
        krRegion out;
        krRegion(in.pts).regularize(out);
        benchmark::DoNotOptimize(out.points().data());
    };
    const RepairBody outerHull = [](RepairInput& in) {
        krRegion out;
        krRegion(in.pts).outerHull(out);
        benchmark::DoNotOptimize(out.points().data());
    };
    const RepairBody makeValid = [](RepairInput& in) { GeosGeom g(GEOSMakeValid_r(geos(), in.polygon.get())); };
    const RepairBody unionOfFaces = [](RepairInput& in) { GeosGeom g = geosUnionOfFaces(in.boundary.get()); };
    const RepairBody setHull = [](RepairInput& in) {
        krRegionSet::Regions regions;
        for (const Pts& m : in.members) regions.emplace_back(new krRegion(m));
        krRegionSet out;
        krRegionSet(regions).outerHull(out);
        benchmark::DoNotOptimize(out.regions().data());
    };
    const RepairBody setUnion = [](RepairInput& in) { GeosGeom g(GEOSUnaryUnion_r(geos(), in.memberPolygons.get())); };
    const std::vector<std::size_t> growth{1000, 10000, 100000, 1000000};
    const Case cases[] = {
        {"regularize", "eight", [](std::size_t n) { return makeRing(figureEight(n, false)); }, regularize, makeValid,
         growth, 1000000},
        {"regularize", "eight_turned", [](std::size_t n) { return makeRing(figureEight(n, true)); }, regularize,
         makeValid, {100000}, 1000000},
        {"outer_hull", "eight", [](std::size_t n) { return makeRing(figureEight(n, false)); }, outerHull,
         makeValid, growth, 1000000},
        {"outer_hull", "eight_turned", [](std::size_t n) { return makeRing(figureEight(n, true)); }, outerHull,
         makeValid, {100000}, 1000000},
        // GEOS's MakeValid takes seconds on a walk of 10^4 steps: the walks
        // are set beside its noded faces' union for both repairs.
        {"regularize", "walk",
         [](std::size_t n) {
             std::mt19937_64 rng(n);
             return makeRing(walk(n, rng));
         },
         regularize, unionOfFaces, growth, 100000},
        {"outer_hull", "walk",
         [](std::size_t n) {
             std::mt19937_64 rng(n);
             return makeRing(walk(n, rng));
         },
         outerHull, unionOfFaces, growth, 100000},
        // Sizes count squares here.
        {"set_hull", "chain", [](std::size_t n) { return makeSet(squares(n, true)); }, setHull, setUnion,
         {1000, 3000, 10000, 100000}, 1000000},
        {"set_hull", "scattered", [](std::size_t n) { return makeSet(squares(n, false)); }, setHull, setUnion,
         {1000, 10000, 100000}, 1000000},
    };
    for (const Case& c : cases)
        for (std::size_t n : c.sizes) {
            const auto input = std::make_shared<std::unique_ptr<RepairInput>>();
            const auto make = c.make;
            const std::pair<const char*, RepairBody> who[] = {{"lib", c.lib}, {"geos", c.peer}};
            for (const auto& w : who) {
                if (std::string(w.first) == "geos" && n > c.peerLimit) continue;
                const std::string name = std::string(c.op) + "/" + c.shape + "/" + w.first + "/" + std::to_string(n);
                const RepairBody body = w.second;
                benchmark::RegisterBenchmark(name.c_str(), [input, make, body, n](benchmark::State& state) {
                    if (!*input) *input = std::make_unique<RepairInput>(make(n));
                    for (auto _ : state) body(**input);
                    state.counters["ns_per_vertex"] = benchmark::Counter(
                        static_cast<double>(n) * 1e-9,
                        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
                })->Unit(benchmark::kMillisecond);
            }
        }
}
}  // namespace

int main(int argc, char** argv) {
    registerAll();
    registerRepairs();
    // Short runs by default: a size of 10^6 repeats its case only a few times anyway.
    std::vector<char*> args(argv, argv + argc);
    std::string minTime = "--benchmark_min_time=0.1";
    bool given = false;
    for (int i = 1; i < argc; ++i) given |= std::string(argv[i]).rfind("--benchmark_min_time", 0) == 0;
    if (!given) args.push_back(minTime.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    GEOS_finish_r(geos());
    return 0;
}
