// Segment tables, segment and contour intersections, and the self-intersection
// test, checked against a plain scan over all segments.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "cntr/contour.h"

namespace {
typedef std::vector<krVector<2>> Pts;

struct Probe : krContour {
    using krContour::krContour;
    using krContour::boxes;
    using krContour::boxesValid;
    using krContour::intersections;
    using krContour::lines;
    using krContour::lineSegs;
    using krContour::lineSegsValid;
    using krContour::linesValid;
    using krContour::rectCache;
    using krContour::selfIntersectingValid;
    using krContour::validLine;
};

// The segment query as a plain scan over every segment, tables rebuilt from the
// points: the reference the indexed query must match hit for hit.
struct PlainHits {
    Pts points;
    std::vector<int> indices;
};

PlainHits plainQuery(const Pts& p, bool closed, const krLineSeg& seg, bool includeEnds) {
    PlainHits out;
    const std::size_t n = p.size();
    const krVector<2> zero(0, 0);
    const krRect s = krRect(seg.p1(), zero).enclose(krRect(seg.p2(), zero));
    krRect all(p[0], zero);
    for (const auto& q : p) all = all.enclose(krRect(q, zero));
    if (!all.overlaps(s)) return out;
    std::vector<std::pair<krVector<2>, krVector<2>>> segs;
    if (closed) segs.emplace_back(p[n - 1], p[0]);
    for (std::size_t k = 1; k < n; ++k) segs.emplace_back(p[k - 1], p[k]);
    const krLine l = seg.line();
    for (std::size_t k = 0; k < segs.size(); ++k) {
        const krVector<2> a = segs[k].first, b = segs[k].second;
        if (kfRealEq(a, b, 1e-15)) continue;
        const krLineSeg own(a, b);
        const krRect box = krRect(a, zero).enclose(krRect(b, zero));
        if (!box.overlaps(s) || own.line().isParallel(l)) continue;
        if (!includeEnds && (own.distToPoint(seg.p1()) <= 1e-6 || own.distToPoint(seg.p2()) <= 1e-6))
            continue;
        const krVector<2> q = own.line().intersect(l).pos();
        if (own.distToPoint(q) < 1e-6 && seg.distToPoint(q) < 1e-6) {
            out.points.push_back(q);
            out.indices.push_back(static_cast<int>(k));
        }
    }
    const krVector<2> d = seg.p2() - seg.p1();
    for (std::size_t a = 0; a + 1 < out.points.size(); ++a)
        for (std::size_t b = a + 1; b < out.points.size(); ++b)
            if ((out.points[b] - seg.p1()) * d < (out.points[a] - seg.p1()) * d) {
                std::swap(out.points[a], out.points[b]);
                std::swap(out.indices[a], out.indices[b]);
            }
    return out;
}

bool plainSelfIntersecting(const Pts& p, bool closed) {
    if (p.empty()) return false;
    const std::size_t n = p.size();
    for (std::size_t k = closed ? 0 : 1; k < n; ++k) {
        const krVector<2> a = k == 0 ? p[n - 1] : p[k - 1], b = p[k];
        if (kfRealEq(a, b, 1e-15)) continue;
        if (!plainQuery(p, closed, krLineSeg(a, b), false).points.empty()) return true;
    }
    return false;
}

// Random contours of the kinds that break spatial indexes and tie rules:
// integer grids (collinear runs, vertices on other segments, exact ties),
// repeated points, crossings near segment ends, and plain noise.
Pts randomContour(std::mt19937& rng, int kind) {
    std::uniform_int_distribution<int> count(2, 40);
    // Now and then a long one, so the index is several levels deep.
    const int n = rng() % 10 == 0 ? 300 : count(rng);
    Pts p;
    std::uniform_int_distribution<int> grid(0, 6);
    std::uniform_real_distribution<double> real(-1.0, 1.0);
    std::uniform_real_distribution<double> tiny(-2e-6, 2e-6);
    for (int i = 0; i < n; ++i) {
        switch (kind) {
            case 0: p.emplace_back(grid(rng), grid(rng)); break;
            case 1: p.emplace_back(real(rng), real(rng)); break;
            case 2:  // a wavy ring with small dents that may just cross
                p.emplace_back(krVector<2>(1.0 + 0.05 * real(rng), krRadian(6.283185307 * i / n)) +
                               krVector<2>(tiny(rng), tiny(rng)));
                break;
            default:  // repeats and back-tracks on a line
                p.push_back(i > 0 && grid(rng) < 2 ? p.back() : krVector<2>(grid(rng), 0.5 * grid(rng)));
        }
    }
    return p;
}
}  // namespace

TEST(ContourSegments, TablesFollowSegmentOrderAndMarkDegenerateSegments) {
    Probe open(Pts{{0, 0}, {1, 0}, {1, 1}}, false);
    ASSERT_EQ(open.lineSegs().size(), 2u);
    EXPECT_EQ(open.lineSegs()[0], krLineSeg({0, 0}, {1, 0}));
    EXPECT_EQ(open.lines[1], krLine({1, 0}, {0, 1}));
    EXPECT_EQ(open.boxes[1], krRect({1, 0}, {0, 1}));

    Probe closed(Pts{{0, 0}, {2, 0}, {2, 0}, {0, 2}});
    const std::vector<bool> expected{true, true, false, true};
    EXPECT_EQ(closed.validLine(), expected);
    EXPECT_EQ(closed.lineSegs()[0], krLineSeg({0, 2}, {0, 0}));  // the closing segment first
    EXPECT_EQ(closed.lineSegs()[2], krLineSeg());
    EXPECT_TRUE(closed.lineSegsValid && closed.linesValid && closed.boxesValid);
    closed.isClosed(true);
    EXPECT_FALSE(closed.lineSegsValid || closed.linesValid || closed.boxesValid);
}

TEST(ContourSegments, SegmentQueriesOrderHitsAlongTheQuery) {
    Probe square(Pts{{0, 0}, {2, 0}, {2, 2}, {0, 2}});
    std::vector<int> idx;
    struct Case {
        krLineSeg seg;
        bool includeEnds;
        Pts points;
        std::vector<int> indices;
    };
    const Case cases[] = {
        {krLineSeg({-1, 1}, {3, 1}), true, {{0, 1}, {2, 1}}, {0, 2}},
        {krLineSeg({3, 1}, {-1, 1}), true, {{2, 1}, {0, 1}}, {2, 0}},
        // Through two vertices: each is reported by both segments meeting there.
        {krLineSeg({-1, -1}, {3, 3}), true, {{0, 0}, {0, 0}, {2, 2}, {2, 2}}, {0, 1, 2, 3}},
        // Along a side: the side itself is parallel; the sides meeting it at the
        // query's ends count only with the ends included.
        {krLineSeg({0, 0}, {2, 0}), true, {{0, 0}, {2, 0}}, {0, 2}},
        {krLineSeg({0, 0}, {2, 0}), false, {}, {}},
        // Boxes must overlap exactly: stopping 5e-7 short of a side is no hit.
        {krLineSeg({1, 1}, {1, 5e-7}), true, {}, {}},
        {krLineSeg({1, -1}, {1, -5e-7}), true, {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(square.intersections(c.seg, idx, c.includeEnds), c.points);
        EXPECT_EQ(idx, c.indices);
    }

    // Where the boxes overlap, ending within 1e-6 of a slanted side touches it,
    // unless the ends are excluded.
    Probe triangle(Pts{{0, 0}, {4, 0}, {0, 4}});
    const double nearEnd = 2 - 5e-8, farEnd = 2 - 2e-6;
    EXPECT_EQ(triangle.intersections(krLineSeg({1, 1}, {nearEnd, nearEnd}), idx, true).size(), 1u);
    EXPECT_EQ(idx, std::vector<int>{2});
    EXPECT_TRUE(triangle.intersections(krLineSeg({1, 1}, {nearEnd, nearEnd}), false).empty());
    EXPECT_TRUE(triangle.intersections(krLineSeg({1, 1}, {farEnd, farEnd}), true).empty());
}

TEST(ContourSegments, QueryOutsideTheContourRectangleBuildsNoTables) {
    Probe square(Pts{{0, 0}, {2, 0}, {2, 2}, {0, 2}});
    EXPECT_TRUE(square.intersections(krLineSeg({5, 5}, {6, 7}), true).empty());
    EXPECT_FALSE(square.lineSegsValid);
    ASSERT_TRUE(square.rectCache);  // the rejection test fills the rectangle cache
    EXPECT_EQ(square.rectCache->size(), 1u);
    EXPECT_THROW(Probe(Pts{{1, 1}}).intersections(krLineSeg({0, 0}, {1, 1}), true),
                 krContourDefs::EmptyContour);
}

TEST(ContourSegments, ContourAgainstContourConcatenatesPerSegment) {
    const krContour square(Pts{{0, 0}, {2, 0}, {2, 2}, {0, 2}});
    const krContour bar(Pts{{-1, 1}, {3, 1}, {3, 1.5}, {-1, 1.5}});
    // bar's segments in its order: closing (-1,1.5)-(-1,1), then (-1,1)-(3,1), ...
    const Pts expected{{0, 1}, {2, 1}, {2, 1.5}, {0, 1.5}};
    EXPECT_EQ(square.intersections(bar), expected);
    EXPECT_TRUE(square.intersections(krContour(Pts{{1, 1}})).empty());
    EXPECT_THROW(krContour().intersections(square), krContourDefs::EmptyContour);
}

TEST(ContourSelfIntersection, KnownShapes) {
    struct Case {
        Pts points;
        bool closed;
        bool crosses;
    };
    const Case cases[] = {
        {{{0, 0}, {2, 2}, {2, 0}, {0, 2}}, true, true},           // figure eight
        {{{0, 0}, {2, 0}, {2, 2}, {0, 2}}, true, false},          // square
        {{{0, 0}, {1, 1}, {2, 0}}, false, false},                 // open V
        {{{0, 0}, {2, 0}, {1, 0}}, true, false},                  // folded on a line
        {{{0, 0}, {4, 0}, {4, 4}, {2, 0}, {0, 4}}, true, true},   // vertex on a side
        {{{0, 0}, {2, 0}, {2, 2}, {2, 2}, {0, 2}}, true, false},  // repeated point
        {{{0, 0}, {4, 0}, {4, 2}, {1, 2}, {1, -1}}, false, true}, // open, crossing
        {{{3, 3}}, true, false},
        {{}, true, false},
    };
    for (const auto& c : cases) {
        krContour contour(c.points, c.closed);
        EXPECT_EQ(contour.isSelfIntersecting(), c.crosses) << ::testing::PrintToString(c.points);
    }
}

TEST(ContourSelfIntersection, AnswerIsCachedUntilTheContourChanges) {
    Probe c(Pts{{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    EXPECT_TRUE(c.isSelfIntersecting());
    EXPECT_TRUE(c.selfIntersectingValid);
    c.label(4);
    EXPECT_TRUE(c.selfIntersectingValid);
    c.points(Pts{{0, 0}, {2, 0}, {2, 2}, {0, 2}});
    EXPECT_FALSE(c.selfIntersectingValid);
    EXPECT_FALSE(c.isSelfIntersecting());
}

// The indexed paths against the plain scan on thousands of random and
// degenerate contours: every hit, its segment number and its place in the order.
TEST(ContourSegmentIndex, MatchesThePlainScan) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> real(-1.5, 7.5);
    int crossing = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        const bool closed = trial % 3 != 0;
        Probe c(randomContour(rng, trial % 4), closed);
        const bool expected = plainSelfIntersecting(c.points(), closed);
        ASSERT_EQ(c.isSelfIntersecting(), expected) << "trial " << trial;
        crossing += expected;
        if (c.points().size() < 2) continue;
        for (int q = 0; q < 6; ++q) {
            // Queries between random points, and along the contour's own segments.
            const std::size_t i = rng() % c.points().size(), j = rng() % c.points().size();
            const krLineSeg seg = q < 3 ? krLineSeg({real(rng), real(rng)}, {real(rng), real(rng)})
                                        : krLineSeg(c.points()[i], c.points()[j]);
            for (bool ends : {false, true}) {
                std::vector<int> idx;
                const Pts got = c.intersections(seg, idx, ends);
                const PlainHits want = plainQuery(c.points(), closed, seg, ends);
                ASSERT_EQ(got, want.points) << "trial " << trial;
                ASSERT_EQ(idx, want.indices) << "trial " << trial;
            }
        }
    }
    // The mix must exercise both answers.
    EXPECT_GT(crossing, 500);
    EXPECT_LT(crossing, 3500);
}

TEST(ContourSegmentIndex, LongListsOfHitsKeepTheExchangeOrder) {
    // A comb: the query crosses every tooth, and every tooth tip lies on it, so
    // the hit list is long and full of equal keys.
    Pts comb;
    for (int i = 0; i < 60; ++i) {
        comb.emplace_back(i, 0);
        comb.emplace_back(i + 0.5, i % 2 ? 1.0 : 2.0);
    }
    Probe c(comb, false);
    for (const krLineSeg& seg : {krLineSeg({-1, 1}, {70, 1}), krLineSeg({70, 1}, {-1, 1}),
                                 krLineSeg({-1, 0.5}, {70, 0.5})}) {
        std::vector<int> idx;
        const Pts got = c.intersections(seg, idx, true);
        const PlainHits want = plainQuery(comb, false, seg, true);
        EXPECT_GT(got.size(), 32u);
        EXPECT_EQ(got, want.points);
        EXPECT_EQ(idx, want.indices);
    }
}

TEST(ContourSegmentIndex, NonNumbersNeverCrash) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Pts& p : {Pts{{nan, 0}, {1, 1}, {2, 0}, {0, 2}}, Pts{{0, 0}, {2, 2}, {nan, nan}, {2, 0}, {0, 2}},
                         Pts{{0, 0}, {inf, 1}, {2, 0}, {0, 2}}, Pts{{0, 0}, {1e300, 1e300}, {-1e300, 0}}}) {
        krContour c(p);
        EXPECT_EQ(c.isSelfIntersecting(), plainSelfIntersecting(p, true));
        EXPECT_EQ(c.intersections(krLineSeg({-1, 1}, {3, 1}), true),
                  plainQuery(p, true, krLineSeg({-1, 1}, {3, 1}), true).points);
    }
}

// Distinct contours queried from several threads at once answer as from one.
TEST(ContourThreads, DistinctContoursAnswerAsFromOneThread) {
    std::mt19937 rng(7);
    std::vector<Pts> shapes;
    for (int i = 0; i < 64; ++i) shapes.push_back(randomContour(rng, i % 4));
    auto answers = [&](std::vector<double>& out) {
        for (const Pts& p : shapes) {
            krContour c(p);
            c.cachedVectorSize(1);
            out.push_back(c.isSelfIntersecting());
            if (p.size() < 2) continue;
            for (int k = 0; k < 5; ++k) {
                const krRect r = c.encloseRect(krXform<2>(krMatrix<2>(krRadian(0.1 * k), krRadian(0.1 * k), 1, 1), {}));
                out.push_back(r.origin().x() + r.size().y());
                out.push_back(static_cast<double>(c.extremalVertexIndex(krRadian(0.7 * k))));
            }
            out.push_back(c.intersections(krLineSeg({-1, 1}, {7, 2}), true).size());
        }
    };
    std::vector<double> single;
    answers(single);
    std::vector<std::vector<double>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results) threads.emplace_back(answers, std::ref(r));
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, single);
}
