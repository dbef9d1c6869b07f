// Helpers shared by the suites: the names they all use, a contour that
// exposes its protected caches, random contours full of ties, and points
// sampled from an ellipse.
#ifndef QEL_TESTS_CONTOUR_PROBE_H
#define QEL_TESTS_CONTOUR_PROBE_H

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "cntr/contour.h"
#include "cntr/index/nearestindex.h"
#include "cntr/index/segmentindex.h"
#include "cntr/index/vertexgrid.h"
#include "platform/std/random.h"

using V = krVector<2>;
using Pts = krContour::Points;
inline const Pts kSquare = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
inline const double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();

struct Probe : krContour {
    using krContour::krContour;
    using krContour::cache_, krContour::crossingCount, krContour::ExtremalCache, krContour::intersections,
        krContour::lineSegs, krContour::makeDataConsistentWithPoints,
        krContour::makePointsConsistentWithData, krContour::medianFeatureSize, krContour::points_,
        krContour::RectCache, krContour::setPoints, krContour::validLine;

    // Fills the caches that have queries and marks the rest valid by hand.
    void fillCaches() {
        length();
        meanPosition();
        vertexIndex(krVector<2>(0, 0), 1.0);
        Caches& k = *cache_;
        k.convexHullValid = k.ellipseValid = k.selfIntersectingValid = k.lineSegsValid = true;
        k.linesValid = k.boxesValid = k.medianFeatureSizeValid = true;
        k.circleValid.assign(2, true);
        k.rectCache = std::make_unique<RectCache>();
        k.rectCache->insert(krXform<2>::I, krRect(krVector<2>(1, 2), krVector<2>(3, 4)), 3);
        k.extremalCache = std::make_unique<ExtremalCache>();
        k.extremalCache->insert(0.5, 1, 3);
    }

    // The caches that are valid or allocated, by name.
    std::string valid() const {
        const Caches& k = *cache_;
        const bool circles = k.circleValid.size() == 2;
        const std::pair<bool, const char*> caches[] = {
            {k.lengthValid, "length"}, {k.meanPositionValid, "mean"}, {k.convexHullValid, "hull"},
            {circles && k.circleValid[0], "circle0"}, {circles && k.circleValid[1], "circle1"},
            {k.ellipseValid, "ellipse"}, {k.selfIntersectingValid, "selfx"}, {k.lineSegsValid, "segs"},
            {k.linesValid, "lines"}, {k.boxesValid, "boxes"}, {k.medianFeatureSizeValid, "median"},
            {k.rectCache != nullptr, "rects"}, {k.extremalCache != nullptr, "extremes"},
            {k.vertexGrids != nullptr, "grids"}};
        std::string s;
        for (const auto& c : caches)
            if (c.first) s += s.empty() ? c.second : std::string(" ") + c.second;
        return s;
    }
    static constexpr const char* kAll =
        "length mean hull circle0 circle1 ellipse selfx segs lines boxes median rects extremes grids";
};

// Random contours that break tie rules and indexes: 0 noise, 1 an integer grid,
// 2 half steps back and forth on a line, 3 one point repeated, 4 a wavy ring
// whose dents may just cross, 5 a cloud a few millionths wide. One vertex in
// ten repeats; one contour in ten is long, for a deep index.
inline krContour::Points randomContour(krRandomUniform& rnd, int kind) {
    using V = krVector<2>;
    const int n = rnd.next(0, 1) < 0.1 ? 300 : 2 + kfIFloor(rnd.next(0, kind == 3 ? 8 : 60));
    const V base(rnd.next(-3, 3), rnd.next(-3, 3));
    auto tiny = [&rnd] { return V(rnd.next(-2e-6, 2e-6), rnd.next(-2e-6, 2e-6)); };
    krContour::Points p;
    for (int i = 0; i < n; ++i) {
        switch (kind) {
            case 0: p.emplace_back(rnd.next(-20, 20), rnd.next(-20, 20)); break;
            case 1: p.emplace_back(kfIFloor(rnd.next(0, 7)), kfIFloor(rnd.next(0, 7))); break;
            case 2: p.push_back(base + V(1, 2) * (0.5 * kfIFloor(rnd.next(-6, 7)))); break;
            case 3: p.push_back(base); break;
            case 4: p.push_back(V(1 + 0.05 * rnd.next(-1, 1), krRadian(2 * kPi * i / n)) + tiny()); break;
            default: p.push_back(tiny()); break;
        }
        if (rnd.next(0, 1) < 0.1) p.push_back(p.back());
    }
    return p;
}

// Distance between two directions of an axis, which repeat every half turn.
inline double axisGap(double x, double y) {
    const double d = std::fmod(std::fabs(x - y), kPi);
    return std::min(d, kPi - d);
}

// n points of an ellipse at parameter angles evenly spread over [from, to).
inline krContour::Points ellipsePoints(const krVector<2>& center, double a, double b, double rot,
                                       int n, double from = 0, double to = 2 * kPi) {
    const double c = std::cos(rot), s = std::sin(rot);
    krContour::Points pts;
    for (int i = 0; i < n; ++i) {
        const double t = from + (to - from) * i / n, u = a * std::cos(t), v = b * std::sin(t);
        pts.emplace_back(center.x() + c * u - s * v, center.y() + s * u + c * v);
    }
    return pts;
}

// n lattice points whose cells a common unkeyed 64-bit finalizer (xor-shift 33,
// multiply, xor-shift 33) sends to slots with 24 low zero bits: one probe chain.
inline krContour::Points collidingCells(int n) {
    const std::uint64_t c = 0xff51afd7ed558ccdULL;
    std::uint64_t inv = c;  // Newton's iteration for the inverse modulo 2^64
    for (int i = 0; i < 6; ++i) inv *= 2 - c * inv;
    krContour::Points p;
    for (int i = 1; i <= n; ++i) {
        std::uint64_t h = std::uint64_t(i) << 24;
        h ^= h >> 33;
        h *= inv;
        h ^= h >> 33;
        p.emplace_back(double(std::int32_t(std::uint32_t(h >> 32))), double(std::int32_t(std::uint32_t(h))));
    }
    return p;
}

#endif
