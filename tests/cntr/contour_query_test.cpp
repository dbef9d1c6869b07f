// Distance and vertex queries of the contour, and the tolerance search's grids.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <map>

#include "cntr/index/vertexgrid.h"
#include "cntr/region.h"
#include "tests/contour_probe.h"

namespace {

using Ints = std::vector<int>;

// Too few points throw before any cache is touched. (Lengths and mean
// positions are held to the plain sums below; with no length to weigh, the
// mean is the common point.)
TEST(ContourQuery, TooFewPointsOrNoLength) {
    const krContour k(Pts{{7, -2}, {7, -2}, {7, -2}});
    EXPECT_TRUE(k.length() == 0.0 && kfRealEq(k.meanPosition(), V(7, -2), 1e-14)) << k.meanPosition();
    for (const Pts& pts : {Pts{}, Pts{{1, 1}}})
        for (bool closed : {true, false}) {
            Probe c(pts, closed);
            const std::function<void()> queries[] = {
                [&] { c.meanPosition(); }, [&] { c.closestVertexIndex(V(0, 0)); },
                [&] { c.closestPoint(V(0, 0), false); }, [&] { c.closestPoint(V(0, 0), true); },
                [&] { c.distToPoint(V(0, 0), false); }, [&] { c.vertexIndex(V(1, 1), 1.0); },
            };
            for (const auto& q : queries) EXPECT_THROW(q(), krContourDefs::EmptyContour);
            EXPECT_TRUE(c.valid() == "" && c.length() == 0.0) << c.valid();
        }
}

TEST(ContourQuery, VertexIndexReusesGridsPerExactTolerance) {
    Probe c(Pts{{0, 0}, {5, 5}}, false);
    EXPECT_EQ(c.vertexIndex(V(5, 5), 1.0), Ints{1});
    // Move a vertex behind the caches' back: a reused grid still files it at (5, 5).
    c.points_[1] = V(10, 10);
    EXPECT_EQ(c.vertexIndex(V(10, 10), 1.0), Ints{});
    EXPECT_EQ(c.vertexIndex(V(10, 10), 1.0000001), Ints{1});  // a new tolerance builds a new grid
    EXPECT_EQ(c.vertexIndex(V(10, 10), 1.0), Ints{});         // the first grid is still used
    Probe copy(c);
    EXPECT_EQ(copy.vertexIndex(V(10, 10), 1.0), Ints{});  // copies carry the grids
    c.isClosed(false);
    EXPECT_EQ(c.vertexIndex(V(10, 10), 1.0), Ints{1});  // a mutation drops them
}

TEST(ContourQuery, UnusualTolerancesAndCoordinates) {
    const krContour c(Pts{{0, 0}, {1, 0}, {1e6, -1e6}, {0, 0}});
    for (double t : {0.0, -0.0, -1.0, -kInf, kNaN}) EXPECT_EQ(c.vertexIndex(V(0, 0), t), Ints{}) << t;
    EXPECT_EQ(c.vertexIndex(V(0, 0), 0.5), (Ints{0, 3}));  // unharmed by the calls above
    // An infinite tolerance puts every vertex in one cell: all of them, in order.
    EXPECT_EQ(c.vertexIndex(V(-7, 3), kInf), (Ints{0, 1, 2, 3}));
    // So does one whose reciprocal overflows: no neighbour may be lost to it.
    EXPECT_EQ(krContour(Pts{{0, 0}, {5e-311, 0}}).vertexIndex(V(0, 0), 1e-310), (Ints{0, 1}));

    // Out of the grid's range, a vertex is still found at its own position.
    const double big = std::numeric_limits<double>::max();
    const krContour h(Pts{{1e300, -1e300}, {kNaN, 1}, {kInf, 0}, {big, big}, {0, 0}, {3e9, -3e9}});
    for (int i : {0, 3, 4, 5})
        for (double t : {1e-300, 1e-9, 1.0, 1e300, big}) {
            const Ints found = h.vertexIndex(h.points()[i], t);
            EXPECT_NE(std::find(found.begin(), found.end(), i), found.end()) << i << " t=" << t;
        }
    EXPECT_EQ(h.closestVertexIndex(V(0.5, 0.5)), 4);
    EXPECT_EQ(h.closestVertexIndex(V(kNaN, 0)), 0);  // nothing is nearer than infinity
    // A segment whose squared length overflows: the foot of the perpendicular still.
    const double e = std::ldexp(1, 660);
    const krContour o(Pts{{-e, 0}, {e, 0}}, false);
    EXPECT_EQ(o.closestPoint(V(e / 4, e / 2), false), V(e / 4, 0));
    EXPECT_EQ(o.closestPoint(V(e / 4, e / 2), true), V(e, 0));
    EXPECT_EQ(krContour(Pts{{-1e308, 0}, {1e308, 0}}, false).closestPoint(V(0, 1), false), V(0, 0));
    // Segments whose squares vanish beside their coordinates give their first end.
    for (const Pts& p : {Pts{{0, 0}, {1e-300, 0}}, Pts{{1e-200, 0}, {-1e-200, 0}}})
        for (const V& q : {V(0.5, 0.5), V(0, 1), V(-3, 0)})
            EXPECT_EQ(krContour(p, false).closestPoint(q, false), p[0]) << q;
    // A segment to a point that is not a number has no scale to take.
    EXPECT_NO_THROW(krContour(Pts{{0, 0}, {0, kNaN}}, false).closestPoint(V(0, 0), false));
}

// ---------------------------------------------------------------------------
// The plain algorithms the fast paths must match exactly.
namespace plain {

long closestVertexIndex(const Pts& p, const V& q) {
    double best = kInf;
    long index = 0;
    for (std::size_t i = 0; i < p.size(); ++i)
        if (const double d = q.distance(p[i]); d < best) best = d, index = static_cast<long>(i);
    return index;
}

V closestPoint(const Pts& p, bool closed, const V& q) {
    double best = kInf;
    V result(0, 0);
    auto visit = [&](const V& a, const V& b) {
        const krLineSeg seg(a, b);
        const double d = seg.distToPoint(q);
        if (!(d < best)) return;
        best = d;
        const double den = (b.x() - a.x()) * (b.x() - a.x()) + (b.y() - a.y()) * (b.y() - a.y());
        const double t =
            ((q.x() - a.x()) * (b.x() - a.x()) + (q.y() - a.y()) * (b.y() - a.y())) / den;
        result = den == 0.0 || t <= 0.0 ? a : t >= 1.0 ? b : V(seg.line().proj(q).pos());
    };
    const std::size_t n = p.size();
    if (closed) visit(p[n - 1], p[0]);
    for (std::size_t k = 1; k < n; ++k) visit(p[k - 1], p[k]);
    return result;
}

std::int32_t round(double v) { return static_cast<std::int32_t>(v >= 0 ? v + 0.5 : v - 0.5); }

using Cells = std::map<krPair<long>, Ints>;

Cells buildGrid(const Pts& p, double tol) {
    const double r = 1.0 / tol;
    Cells cells;
    for (std::size_t i = 0; i < p.size(); ++i)
        cells[krPair<long>(round(p[i].x() * r), round(p[i].y() * r))].push_back(int(i));
    return cells;
}

Ints vertexIndex(const Pts& p, const Cells& cells, const V& q, double tol) {
    Ints out;
    if (!(tol > 0)) return out;
    const double r = 1.0 / tol;
    const long qx = round(q.x() * r), qy = round(q.y() * r);
    for (long x = qx - 1; x <= qx + 1; ++x)
        for (long y = qy - 1; y <= qy + 1; ++y) {
            auto it = cells.find(krPair<long>(x, y));
            if (it == cells.end()) continue;
            for (int j : it->second)
                if (p[j].distance(q) < tol) out.push_back(j);
        }
    return out;
}

}  // namespace plain

// The bytes of a value, so that NaNs and signed zeros compare too.
template <class T>
std::vector<unsigned char> bits(const T& v) {
    const auto* b = reinterpret_cast<const unsigned char*>(&v);
    return std::vector<unsigned char>(b, b + sizeof v);
}

// A vertex, a midpoint, a half-unit lattice point or any point near the contour.
V makeQuery(krRandomUniform& rnd, const Pts& p, int kind) {
    const double u = rnd.next(0, 1);
    const std::size_t i = std::size_t(rnd.next(0, double(p.size())));
    if (u < 0.2) return p[i];
    if (u < 0.4) return (p[i] + p[(i + 1) % p.size()]) * 0.5;
    if (u < 0.6 && kind != 0 && kind != 5)
        return V(0.5 * kfIFloor(rnd.next(-10, 11)), 0.5 * kfIFloor(rnd.next(-10, 11)));
    const double s = kind == 5 ? 3e-6 : kind == 4 ? 1.5 : 25;
    return V(rnd.next(-s, s), rnd.next(-s, s));
}

// The plain algorithms at the contours' own scale; at others, and with
// coordinates that are not finite or far beyond the others, the nearest-point index that a batch query
// leaves against the plain walk, bit for bit.
TEST(ContourQuery, FastPathsMatchThePlainAlgorithms) {
    krRandomUniform rnd(2024);
    const std::vector<double> baseTols = {1.0, 0.5, 1.5, 2.0, 0.25, 3.0, 1e-3, 0.0, -1.0};
    const double zooms[] = {1.0, 0x1p-500, 0x1p240, 0x1p500, 3e-9, 7e7, kNaN, -1.0};
    for (int trial = 0; trial < 3000 && !HasFailure(); ++trial) {
        const int kind = trial % 6;
        const double zoom = zooms[trial / 6 % std::size(zooms)];
        Pts p = randomContour(rnd, kind), qs;
        // Now and then a lattice walk long enough for the walk's sampled bound.
        while (kind == 1 && trial % 60 == 1 && p.size() < 4500) p.emplace_back(kfIFloor(rnd.next(0, 7)), kfIFloor(rnd.next(0, 7)));
        const bool closed = rnd.next(0, 1) < 0.5;
        for (int k = 0; k < 12; ++k) qs.push_back(makeQuery(rnd, p, kind));
        if (zoom != zoom) {  // coordinates that are not finite
            p[p.size() / 2] = V(kInf, 0);
            qs[0] = V(kNaN, 1);
        } else if (zoom < 0) {  // far vertices beside near ones: their spans' squares overflow
            p[0] = V(1.7574535640570946e+159, 7.7e-307);
            p[p.size() / 2] = V(7.7685706462186435e+281, -1.0);
        } else {
            for (V& v : p) v = v * zoom;
            for (V& v : qs) v = v * zoom;
        }
        const krContour c(p, closed), indexed(p, closed);
        const std::vector<double> batch[2] = {indexed.distToPoints(qs, false), indexed.distToPoints(qs, true)};
        const double scale = kind == 5 ? 1e-6 : 1.0;
        std::vector<std::pair<double, plain::Cells>> grids;
        for (double t : zoom == 1.0 ? baseTols : std::vector<double>{})
            grids.emplace_back(t * scale, t > 0 ? plain::buildGrid(p, t * scale) : plain::Cells());
        for (std::size_t k = 0; k < qs.size(); ++k) {
            const V q = qs[k];
            SCOPED_TRACE(::testing::Message() << "trial " << trial << " kind " << kind
                                              << (closed ? " closed" : " open") << " q=" << q);
            for (bool vertexOnly : {false, true}) {
                EXPECT_EQ(bits(indexed.closestPoint(q, vertexOnly)), bits(c.closestPoint(q, vertexOnly)));
                EXPECT_EQ(bits(batch[vertexOnly][k]), bits(c.distToPoint(q, vertexOnly)));
            }
            if (zoom != 1.0) continue;
            const long vi = plain::closestVertexIndex(p, q);
            EXPECT_EQ(c.closestVertexIndex(q), vi);
            EXPECT_EQ(c.closestPoint(q, false), plain::closestPoint(p, closed, q));
            EXPECT_EQ(c.closestPoint(q, true), p[vi]);
            // The nearest vertex is never nearer than the nearest point, but for
            // rounding of the foot point (which must not turn a 0 into more).
            EXPECT_GE(c.distToPoint(q, true), c.distToPoint(q, false) * (1 - 1e-15));
            for (const auto& g : grids)
                EXPECT_EQ(c.vertexIndex(q, g.first), plain::vertexIndex(p, g.second, q, g.first))
                    << "t=" << g.first;
        }
    }
}

// A batch of many points takes them in runs of near neighbours, each search
// of the index starting from the last one's answer: the distances must be
// those of single calls walking every segment, to the bit, ties and all
// (lattice contours and queries tie often), for contours and regions. The
// first contour is long enough for a deep index; the second is a circle
// queried about its centre, where every stretch of it is about as near. A
// third of them are shrunk until their squares underflow, and one point lies
// so near a vertex that its distance's square does.
TEST(ContourQuery, FastPathsBatchesMatchSingleCalls) {
    krRandomUniform rnd(99);
    for (int trial = 0; trial < 36 && !HasFailure(); ++trial) {
        const int kind = trial % 6;
        Pts p = trial == 0   ? ellipsePoints(V(0.5, -1), 9, 4, 0.3, 6000)
                : trial == 1 ? ellipsePoints(V(0, 0), 5, 5, 0, 1536)
                             : randomContour(rnd, kind);
        if (trial == 0)
            for (V& v : p) v = v + V(rnd.next(-1e-3, 1e-3), rnd.next(-1e-3, 1e-3));
        const bool closed = trial % 4 != 0;
        Pts qs;
        for (int k = 0; k < 600; ++k)
            qs.push_back(trial == 1 ? V(rnd.next(-1, 1), rnd.next(-1, 1)) : makeQuery(rnd, p, kind));
        if (trial % 3 == 2) {
            for (V& v : p) v = v * 0x1p-530;
            for (V& v : qs) v = v * 0x1p-530;
        }
        qs[7] = V(kNaN, 1);  // taken last, without a hint
        qs[8] = V(kInf, 0);
        p[p.size() / 2] = V(0, 0);
        qs[9] = V(0, 1e-200);
        const krContour batched(p, closed), walked(p, closed);
        const krRegion region(p), walkedRegion(p);
        for (bool vertexOnly : {false, true}) {
            const std::vector<double> got = batched.distToPoints(qs, vertexOnly);
            for (bool zeroInside : {false, true}) {
                const std::vector<double> inRegion = region.distToPoints(qs, vertexOnly, true, zeroInside);
                for (std::size_t k = 0; k < qs.size(); ++k) {
                    SCOPED_TRACE(::testing::Message() << "trial " << trial << " q=" << qs[k] << " vertexOnly "
                                                      << vertexOnly << " zeroInside " << zeroInside);
                    ASSERT_EQ(bits(got[k]), bits(walked.distToPoint(qs[k], vertexOnly)));
                    ASSERT_EQ(bits(inRegion[k]), bits(walkedRegion.distToPoint(qs[k], vertexOnly, true, zeroInside)));
                }
            }
        }
    }
}

// Length and mean position add segment i to running sum i % 8 (a closed
// contour's closing segment is segment 0) and merge the eight in one order:
// those bits on every width of lanes, squares out of range and all. They stay
// within the rounding of n additions of the sums in long double.
TEST(ContourQuery, FastPathsSumSegmentsInEightRunningSums) {
    krRandomUniform rnd(77);
    const double scales[] = {1.0, 1e-140, 1e154, 3e-3};
    const auto merge = [](const double (&s)[8]) {
        return ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
    };
    for (int trial = 0; trial < 600 && !HasFailure(); ++trial) {
        const double scale = scales[trial % 4];
        Pts p(2 + std::size_t(rnd.next(0, trial % 5 == 0 ? 300 : 40)));
        for (V& v : p) v = V(rnd.next(-1, 1), rnd.next(-1, 1)) * scale;
        if (trial % 3 == 0 && p.size() > 2) p[p.size() / 3] = p[p.size() / 3 + 1];  // a segment of no length
        const bool closed = trial % 2 == 0, broken = trial % 17 == 0;
        if (broken) p[p.size() / 2] = V(trial % 34 ? kNaN : kInf, 1.0);
        double l[8] = {}, x[8] = {}, y[8] = {};
        long double exact = 0, ex = 0, ey = 0;
        const auto add = [&](std::size_t i, const V& a, const V& b) {
            const double d = a.distance(b);
            l[i % 8] += d, x[i % 8] += 0.5 * (a.x() + b.x()) * d, y[i % 8] += 0.5 * (a.y() + b.y()) * d;
            exact += d, ex += 0.5L * ((long double)a.x() + b.x()) * d, ey += 0.5L * ((long double)a.y() + b.y()) * d;
        };
        if (closed) add(0, p.back(), p[0]);
        for (std::size_t i = 1; i < p.size(); ++i) add(i, p[i - 1], p[i]);
        const krContour c(p, closed);
        SCOPED_TRACE(::testing::Message() << "trial " << trial << " n " << p.size());
        const double length = c.length(), f = 1.0 / merge(l);
        const double got[3] = {length, c.meanPosition().x(), c.meanPosition().y()};
        const double want[3] = {merge(l), merge(x) * f, merge(y) * f};
        EXPECT_EQ(std::memcmp(got, want, sizeof got), 0) << got[0] << " " << got[1] << " " << got[2];
        if (broken) continue;
        const double u = 0x1p-52 * double(p.size());
        EXPECT_NEAR(length, double(exact), u * double(exact));
        if (!std::isfinite(merge(x) + merge(y))) continue;  // the weighted midpoints overflow
        EXPECT_NEAR(got[1], double(ex / exact), 4 * u * scale);
        EXPECT_NEAR(got[2], double(ey / exact), 4 * u * scale);
    }
}

TEST(ContourQuery, VertexGridWithstandsChosenCollisions) {
    const Pts p = collidingCells(1 << 14);
    Probe c(p, false);
    const plain::Cells cells = plain::buildGrid(p, 1.0);
    for (std::size_t i = 0; i < p.size(); i += 97) {
        const V q = p[i] + V(0.25, -0.5);
        EXPECT_EQ(c.vertexIndex(q, 1.0), plain::vertexIndex(p, cells, q, 1.0)) << i;
    }
    // Without a key every cell would share one chain of 2^14 slots.
    EXPECT_LT(c.cache_->vertexGrids->front().longestProbe(), 100u);
}

}  // namespace
