// Segment tables, intersections and the self-intersection test, against a plain scan.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <thread>

#include "cntr/index/segmentindex.h"
#include "tests/contour_probe.h"

namespace {
using qel::detail::SegmentIndex;
using qel::detail::SegmentView;

krRect boxOf(const V& a, const V& b) { return krRect(a, V(0, 0)).enclose(krRect(b, V(0, 0))); }

// The segment query as a plain scan over every segment.
struct PlainHits { Pts points; std::vector<int> indices; };

PlainHits plainQuery(const Pts& p, bool closed, const krLineSeg& seg, bool includeEnds) {
    PlainHits out;
    const std::size_t n = p.size();
    const krRect s = boxOf(seg.p1(), seg.p2());
    krRect all(p[0], V(0, 0));
    for (const auto& q : p) all = all.enclose(boxOf(q, q));
    if (!all.overlaps(s)) return out;
    std::vector<std::pair<V, V>> segs;
    if (closed) segs.emplace_back(p[n - 1], p[0]);
    for (std::size_t k = 1; k < n; ++k) segs.emplace_back(p[k - 1], p[k]);
    const krLine l = seg.line();
    for (std::size_t k = 0; k < segs.size(); ++k) {
        const V a = segs[k].first, b = segs[k].second;
        if (kfRealEq(a, b, 1e-15)) continue;
        const krLineSeg own(a, b);
        if (!boxOf(a, b).overlaps(s) || own.line().isParallel(l)) continue;
        if (!includeEnds && (own.distToPoint(seg.p1()) <= 1e-6 || own.distToPoint(seg.p2()) <= 1e-6))
            continue;
        const V q = own.line().intersect(l).pos();
        if (own.distToPoint(q) < 1e-6 && seg.distToPoint(q) < 1e-6) {
            out.points.push_back(q);
            out.indices.push_back(static_cast<int>(k));
        }
    }
    const V d = seg.p2() - seg.p1();
    for (std::size_t a = 0; a + 1 < out.points.size(); ++a)
        for (std::size_t b = a + 1; b < out.points.size(); ++b)
            if ((out.points[b] - seg.p1()) * d < (out.points[a] - seg.p1()) * d) {
                std::swap(out.points[a], out.points[b]);
                std::swap(out.indices[a], out.indices[b]);
            }
    return out;
}

bool plainSelfIntersecting(const Pts& p, bool closed) {
    const std::size_t n = p.size();
    for (std::size_t k = closed ? 0 : 1; k < n; ++k) {
        const V a = k == 0 ? p[n - 1] : p[k - 1], b = p[k];
        if (!kfRealEq(a, b, 1e-15) && !plainQuery(p, closed, krLineSeg(a, b), false).points.empty())
            return true;
    }
    return false;
}

void expectPlainHits(const Probe& c, const krLineSeg& seg, bool ends) {
    std::vector<int> idx;
    const Pts got = c.intersections(seg, idx, ends);
    const PlainHits want = plainQuery(c.points(), c.isClosed(), seg, ends);
    EXPECT_TRUE(got == want.points && idx == want.indices);
    EXPECT_TRUE(ends || c.crossingCount(seg) == long(want.points.size()));
}
}  // namespace

// Against a contour, the hits of its segments one after another. (The
// tolerances of the hit and end tests and the exact overlap of boxes are held
// to their edges by the plain scan below.)
TEST(ContourSegments, ContourAgainstContourTooFewPointsAndFarOut) {
    const Probe square(kSquare);
    const krContour bar(Pts{{-1, 1}, {3, 1}, {3, 1.5}, {-1, 1.5}});
    // bar's segments in its order: closing (-1,1.5)-(-1,1), then (-1,1)-(3,1), ...
    EXPECT_EQ(square.intersections(bar), (Pts{{0, 1}, {2, 1}, {2, 1.5}, {0, 1.5}}));
    EXPECT_TRUE(square.intersections(krContour(Pts{{1, 1}})).empty());
    EXPECT_THROW(krContour().intersections(square), krContourDefs::EmptyContour);
    EXPECT_THROW(Probe(Pts{{1, 1}}).intersections(krLineSeg({0, 0}, {1, 1}), true), krContourDefs::EmptyContour);
    // Far out, a zero-length query or a repeated vertex finds nothing.
    const krContour huge(Pts{{0, 0}, {1e200, 0}, {1e200, 1e200}});
    EXPECT_TRUE(huge.intersections(krLineSeg({5e199, 0}, {5e199, 0}), true).empty());
    EXPECT_NO_THROW(huge.intersections(krContour(Pts{{5e199, 1}, {5e199, 1}, {6e199, -1}}, false)));
    EXPECT_FALSE(krContour(Pts{{kNaN, 0}}).isSelfIntersecting());
}

// The index's pair search, in contour order or by a sweep from the start,
// hands out every two segments that come within its reach, however far that
// reaches.
void expectNearPairs(const Pts& p, bool closed, double reach, std::size_t budget) {
    const SegmentView s{p.data(), p.size(), closed};
    SegmentIndex index;
    std::vector<bool> valid;
    index.build(s, valid);
    std::set<std::pair<std::size_t, std::size_t>> got;
    index.forEachPair(s, reach, [&](std::size_t i, std::size_t j) { return got.insert(std::minmax(i, j)), true; }, budget);
    auto side = [](const V& a, const V& b, const V& c) { return kfCross(b - a, c - a) > 0; };
    for (std::size_t i = 0; i < s.count(); ++i)
        for (std::size_t j = i + 1; j < s.count(); ++j) {
            const krLineSeg a(s.start(i), s.end(i)), b(s.start(j), s.end(j));
            // The index leaves out segments of no length, and those whose span
            // is not a finite number.
            const auto usable = [&](std::size_t k, const krLineSeg& l) {
                return valid[k] && std::isfinite((l.p2() - l.p1()).x()) && std::isfinite((l.p2() - l.p1()).y());
            };
            if (!usable(i, a) || !usable(j, b) || a.p1() == b.p1() || a.p1() == b.p2() || a.p2() == b.p1() || a.p2() == b.p2() ||
                !boxOf(a.p1(), a.p2()).overlaps(boxOf(b.p1(), b.p2())))
                continue;
            const bool cross = side(a.p1(), a.p2(), b.p1()) != side(a.p1(), a.p2(), b.p2()) &&
                               side(b.p1(), b.p2(), a.p1()) != side(b.p1(), b.p2(), a.p2());
            const double d = std::min({a.distToPoint(b.p1()), a.distToPoint(b.p2()), b.distToPoint(a.p1()),
                                       b.distToPoint(a.p2())});
            if (cross || d <= reach) {
                EXPECT_EQ(got.count({i, j}), 1u) << i << " " << j;
            }
        }
}

// A sunburst, turned and moved at random, whose spikes the pair search sets
// apart by the angles they span, with one vertex brought within a few
// millionths of another spike, near its middle or just past an end.
Pts spikyOutline(krRandomUniform& rnd, int trial) {
    const int n = 2 * (10 + kfIFloor(rnd.next(0, 70)));
    const double turn = rnd.next(0, 2 * kPi);
    Pts p;
    for (int i = 0; i < n; ++i) p.push_back(V(i % 2 ? rnd.next(0.5, 1) : 0.2, krRadian(turn + 2 * kPi * i / n)));
    // The vertex comes from a neighbouring spike, crossways, or from anywhere.
    const int near = std::array<int, 4>{2, 3, n - 3, n - 4}[kfIFloor(rnd.next(0, 4))];
    const int v = kfIFloor(rnd.next(0, n)), a = (v + (trial % 4 ? near : 2 + kfIFloor(rnd.next(0, n - 4)))) % n;
    const V from = p[a], along = p[(a + 1) % n] - from;
    const double past = rnd.next(0, 3e-6) / along.len();
    const double t = std::array<double, 3>{rnd.next(0, 1), -past, 1 + past}[trial % 3];
    const double d = std::array<double, 6>{0, 5e-7, 9e-7, 1.1e-6, 1.9e-6, 2.5e-6}[trial % 6];
    p[v] = from + along * t + V(-along.y(), along.x()).unit() * (rnd.next(0, 1) < 0.5 ? d : -d);
    const V offset = trial % 3 ? V(0, 0) : V(rnd.next(-1e5, 1e5), rnd.next(-1e5, 1e5));
    for (V& q : p) q = q + offset;
    return p;
}

// Every hit, its segment number and its order, and the index's pairs, on
// random and degenerate contours.
TEST(ContourSegmentIndex, MatchesThePlainScan) {
    krRandomUniform rnd(2024);
    int crossing = 0;
    for (int trial = 0; trial < 4000 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        // One contour in five shrunk or blown up, where rounding and the overflow guards act.
        Pts shape = trial % 7 == 6 ? spikyOutline(rnd, trial / 7) : randomContour(rnd, trial % 7);
        for (V& v : shape) v = v * std::array<double, 5>{1, 1, 1, 3e-7, 1e160}[trial % 5];
        // Now and then a vertex that is not a number, infinite, or far beyond
        // the others.
        const V odd[] = {V(kNaN, 0), V(kNaN, kNaN), V(1e300, 1e300), V(0, -kInf)};
        if (trial % 23 == 1 && !shape.empty()) shape[shape.size() / 2] = odd[trial / 23 % 4];
        const Probe c(shape, trial % 3 != 0);
        const Pts& p = c.points();
        const bool expected = plainSelfIntersecting(p, c.isClosed());
        EXPECT_EQ(c.isSelfIntersecting(), expected);
        crossing += expected;
        if (trial % 5 < 3 && trial % 4 == 0)
            expectNearPairs(p, c.isClosed(), std::array<double, 3>{0, 1e-2, 5e-2}[trial % 3],
                            trial % 8 ? SegmentIndex::kAuto : 0);
        if (p.size() < 2) continue;
        // Queries between random points around the contour, and along its own segments.
        const krRect box = c.encloseRect(krXform<2>::I);
        auto near = [&] {
            return box.origin() + V(rnd.next(-0.2, 1.2) * box.size().x(),
                                    rnd.next(-0.2, 1.2) * box.size().y());
        };
        for (int q = 0; q < 6; ++q) {
            const std::size_t i = std::size_t(rnd.next(0, p.size())), j = std::size_t(rnd.next(0, p.size()));
            const krLineSeg seg = q < 3 ? krLineSeg(near(), near()) : krLineSeg(p[i], p[j]);
            for (bool ends : {false, true}) expectPlainHits(c, seg, ends);
        }
    }
    // The mix must exercise both answers.
    EXPECT_GT(crossing, 800);
    EXPECT_LT(crossing, 3200);
}

// Distinct contours queried from several threads at once answer as from one.
TEST(ContourThreads, DistinctContoursAnswerAsFromOneThread) {
    krRandomUniform rnd(7);
    std::vector<Pts> shapes;
    for (int i = 0; i < 64; ++i) shapes.push_back(randomContour(rnd, i % 6));
    auto answers = [&](std::vector<double>& out) {
        for (const Pts& p : shapes) {
            krContour c(p);
            c.cachedVectorSize(1);
            out.push_back(c.isSelfIntersecting());
            if (p.size() < 2) continue;
            for (int k = 0; k < 5; ++k)  // bound 1: every thread replaces entries
                out.push_back(double(c.extremalVertexIndex(krRadian(0.7 * k))));
            out.push_back(c.intersections(krLineSeg({-1, 1}, {7, 2}), true).size());
        }
    };
    std::vector<double> single;
    std::vector<std::vector<double>> results(4);
    answers(single);
    std::vector<std::thread> threads;
    for (auto& r : results) threads.emplace_back(answers, std::ref(r));
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, single);
}
