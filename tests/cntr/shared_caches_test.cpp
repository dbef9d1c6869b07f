// Shapes that share a hole or a member, asked from two threads at once: each
// thread works on its own top-level shape, and the shared one fills its caches
// under both. Run under the thread sanitizer too (ctest -R SharedCaches).
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "cntr/region.h"
#include "cntr/regionset.h"
#include "platform/std/random.h"

namespace {

using V = krVector<2>;
typedef krPtrHandle_const<krRegion> Handle;

krContour::Points circle(V c, double r, int n) {
    krContour::Points p;
    for (int i = 0; i < n; ++i) p.push_back(c + V(r * (1.0 + 0.1 * std::sin(7.0 * i)), krRadian(2 * kPi * i / n)));
    return p;
}

// A disc with five holes (enough for the holes' index); the first one, the
// shared one, holds an island.
Handle sharedHole() {
    auto hole = std::make_unique<krRegion>(circle(V(38, 50), 10, 400));
    hole->holes(krRegion::Holes{Handle(new krRegion(circle(V(38, 50), 5, 200)))});
    return Handle(hole.release());
}
krRegion region(const Handle& shared, double dx) {
    krRegion r(circle(V(50 + dx, 50), 45, 2000));
    krRegion::Holes holes{shared};
    for (int k = 0; k < 4; ++k) holes.push_back(Handle(new krRegion(circle(V(62 + dx, 24 + 17 * k), 6, 300))));
    r.holes(holes);
    return r;
}
krRegionSet set(const Handle& member, double dy) {
    krRegionSet::Regions regions{member};
    for (int k = 0; k < 4; ++k) regions.push_back(Handle(new krRegion(circle(V(130 + 25 * k, 40 + dy), 10, 300))));
    return krRegionSet(regions);
}

std::vector<V> points(std::size_t n) {
    krRandomUniform g(7);
    std::vector<V> p;
    for (std::size_t i = 0; i < n; ++i) p.emplace_back(g.next(-10.0, 240.0), g.next(-10.0, 110.0));
    return p;
}

// The answers of one shape: inside and distance per point, by single calls
// (zeroInside on half the plane, so both paths run) or by batch calls.
struct Answers {
    std::vector<unsigned char> in;
    std::vector<double> dist;
    bool operator==(const Answers& o) const { return in == o.in && dist == o.dist; }
};
template <class Shape>
Answers ask(const Shape& s, const std::vector<V>& p, bool batch) {
    if (batch) return {s.insideMany(p, true), s.distToPoints(p, false, true, true)};
    Answers a;
    for (const V& q : p) {
        a.in.push_back(s.inside(q, true));
        a.dist.push_back(s.distToPoint(q, false, true, q.x() < 100.0));
    }
    return a;
}

enum class Before { kFresh, kOneQuery, kOneBatch };
template <class Shape>
void warm(const Shape& s, Before b) {
    if (b == Before::kOneQuery) s.inside(V(50, 50), true), s.distToPoint(V(40, 50), false, true, true);
    if (b == Before::kOneBatch) ask(s, points(64), true);
}

// Asks a and b on two threads at once; each must answer as the unshared
// shapes did.
template <class Shape>
void race(const Shape& a, const Shape& b, const Answers& wantA, const Answers& wantB,
          const std::vector<V>& p, bool batch) {
    Answers gotA, gotB;
    std::thread t([&] { gotA = ask(a, p, batch); });
    gotB = ask(b, p, batch);
    t.join();
    EXPECT_TRUE(gotA == wantA && gotB == wantB);
}

// Two shapes sharing a part (from part()), and a shape and its copy, asked
// at once after each kind of warming.
template <class Shape, class Part, class Make>
void raceSharing(Part part, Make make) {
    for (Before before : {Before::kFresh, Before::kOneQuery, Before::kOneBatch})
        for (bool batch : {false, true}) {
            SCOPED_TRACE(testing::Message() << "before " << int(before) << " batch " << batch);
            const std::vector<V> p = points(batch ? 20000 : 1500);
            const Answers wantA = ask(make(part(), 0), p, batch), wantB = ask(make(part(), 1), p, batch);
            const Handle shared = part();
            const Shape a = make(shared, 0), b = make(shared, 1);
            warm(a, before), warm(b, before);
            race(a, b, wantA, wantB, p, batch);
            const Shape c = make(part(), 0);
            warm(c, before);
            const Shape copy(c);
            race(c, copy, wantA, wantA, p, batch);
        }
}

TEST(SharedCaches, RegionsSharingAHoleAndCopies) {
    raceSharing<krRegion>(sharedHole, [](const Handle& hole, int k) { return region(hole, 10 * k); });
}

TEST(SharedCaches, SetsSharingAMemberAndCopies) {
    raceSharing<krRegionSet>([] { return Handle(new krRegion(region(sharedHole(), 0))); },
                             [](const Handle& member, int k) { return set(member, 30 * k); });
}

}  // namespace
