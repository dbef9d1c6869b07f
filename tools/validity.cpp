#include "tools/validity.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "cntr/region.h"
#include "cntr/index/segmentindex.h"
#include "io/touchpoints.h"
#include "platform/std/hull.h"

namespace qs {

namespace {

using Key = std::pair<double, double>;

// A ring as the library sees it, with its box, and its sorted vertices and
// an index of its sides for the tests between rings, made on first need:
// most rings meet no other.
struct RingInfo {
    explicit RingInfo(const Ring& r)
        : ring(&r), contour(r), box(contour.encloseRect(krXform<2>::I)) {}
    bool hasVertex(const krVector<2>& p) const {
        if (sorted.empty()) {
            for (const krVector<2>& v : *ring) sorted.push_back({v.x(), v.y()});
            std::sort(sorted.begin(), sorted.end());
        }
        return std::binary_search(sorted.begin(), sorted.end(), Key{p.x(), p.y()});
    }
    qel::detail::SegmentView sides() const { return {ring->data(), ring->size(), true}; }
    // Calls f(a, b) for every side of a positive length whose box overlaps box.
    template <class F>
    void sidesNear(const qel::detail::SegmentIndex::Box& box, F&& f) const {
        if (!indexed) index.build(sides(), usable), indexed = true;
        const qel::detail::SegmentView v = sides();
        index.forEachOverlap(v, box, [](const qel::detail::SegmentIndex::Box&) { return true; },
                             [&](std::size_t k) { f(v.start(k), v.end(k)); });
    }
    const Ring* ring;
    krRegion contour;
    krRect box;
    mutable std::vector<Key> sorted;
    mutable qel::detail::SegmentIndex index;
    mutable std::vector<bool> usable;
    mutable bool indexed = false;
};

// Whether a side of a and a side of b lie along each other for some length,
// whether or not they share their ends.
bool sidesOverlap(const RingInfo& a, const RingInfo& b) {
    if (!a.box.overlaps(b.box)) return false;
    const qel::detail::SegmentView va = a.sides();
    for (std::size_t k = 0; k < va.count(); ++k) {
        const krVector<2>& p = va.start(k);
        const krVector<2>& q = va.end(k);
        if (p == q) continue;
        bool overlap = false;
        b.sidesNear(qel::detail::SegmentIndex::Box::of(p, q), [&](const krVector<2>& c, const krVector<2>& d) {
            if (overlap || kfOrientation(p, q, c) != 0 || kfOrientation(p, q, d) != 0) return;
            // On one line: the two overlap where their extents along it do.
            const krVector<2> dir = q - p;
            const double s = (c - p) * dir, t = (d - p) * dir, len = dir * dir;
            overlap = std::max(s, t) > 0 && std::min(s, t) < len;
        });
        if (overlap) return true;
    }
    return false;
}

bool cross(const RingInfo& a, const RingInfo& b) {
    return a.box.overlaps(b.box) && ringsCross(a.contour, b.contour);
}

// Whether a ring passes a vertex twice: it touches itself there.
bool touchesItself(const Ring& r) {
    std::vector<Key> v;
    for (std::size_t i = 0; i < r.size(); ++i)
        if (i == 0 || !(r[i] == r[i - 1])) v.push_back({r[i].x(), r[i].y()});
    while (v.size() > 1 && v.back() == v.front()) v.pop_back();
    std::sort(v.begin(), v.end());
    return std::adjacent_find(v.begin(), v.end()) != v.end();
}

// Whether a ring turns back along itself at a vertex (a spike), which the
// crossing test, blind to parallel sides, does not see.
bool doublesBack(const Ring& r) {
    const std::size_t n = r.size();
    for (std::size_t i = 0; i < n; ++i) {
        const krVector<2>& a = r[(i + n - 1) % n];
        const krVector<2>& b = r[i];
        const krVector<2>& c = r[(i + 1) % n];
        if (a == b || b == c) continue;
        if (kfOrientation(a, b, c) == 0 && (b - a) * (c - b) < 0) return true;
    }
    return false;
}

// A vertex of a that is neither one of b's nor on b's boundary, which tells
// on which side of b the whole of a lies once the two are known not to
// cross; none when there is no such vertex.
const krVector<2>* probe(const Ring& a, const RingInfo& b) {
    for (const krVector<2>& p : a)
        if (!b.hasVertex(p) && static_cast<const krContour&>(b.contour).distToPoint(p, false) > 1e-9) return &p;
    return nullptr;
}

bool within(const Ring& a, const RingInfo& b) {
    const krVector<2>* p = probe(a, b);
    return p && b.box.within(*p) && b.contour.inside(*p, false);
}

// Calls f(i, j), i < j, for the rings whose boxes overlap, in order of their
// left edges, until f finds a fault.
std::string overlappingPairs(const std::vector<RingInfo>& rings,
                             const std::function<std::string(std::size_t, std::size_t)>& f) {
    std::vector<std::size_t> order(rings.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return rings[a].box.origin().x() < rings[b].box.origin().x();
    });
    for (std::size_t a = 0; a < order.size(); ++a)
        for (std::size_t b = a + 1; b < order.size(); ++b) {
            const krRect &ra = rings[order[a]].box, &rb = rings[order[b]].box;
            if (rb.origin().x() > ra.corner().x()) break;
            if (!ra.overlaps(rb)) continue;
            std::string why = f(std::min(order[a], order[b]), std::max(order[a], order[b]));
            if (!why.empty()) return why;
        }
    return std::string();
}

std::string polygonInvalidity(const Polygon& p, std::vector<RingInfo>& holes, RingInfo& outer) {
    if (outer.contour.isSelfIntersecting()) return "the boundary crosses itself";
    if (touchesItself(p.outer)) return "the boundary touches itself";
    if (doublesBack(p.outer)) return "the boundary turns back along itself";
    holes.reserve(p.holes.size());
    for (const Ring& h : p.holes) holes.emplace_back(h);
    for (std::size_t k = 0; k < holes.size(); ++k) {
        std::string hole = "hole " + std::to_string(k);
        if (holes[k].contour.isSelfIntersecting()) return hole + " crosses itself";
        if (touchesItself(p.holes[k])) return hole + " touches itself";
        if (doublesBack(p.holes[k])) return hole + " turns back along itself";
        if (sidesOverlap(holes[k], outer)) return hole + " runs along the boundary";
        if (cross(holes[k], outer)) return hole + " crosses the boundary";
        if (!within(p.holes[k], outer)) return hole + " lies outside the boundary";
    }
    return overlappingPairs(holes, [&](std::size_t j, std::size_t k) {
        std::string pair = "holes " + std::to_string(j) + " and " + std::to_string(k);
        if (sidesOverlap(holes[j], holes[k])) return pair + " run along each other";
        if (cross(holes[j], holes[k])) return pair + " cross";
        if (within(p.holes[k], holes[j]) || within(p.holes[j], holes[k])) return pair + " nest";
        return std::string();
    });
}

// Inside polygon b, holes not counted: a polygon in a hole of b is apart from it.
bool insidePolygon(const Polygon& a, const RingInfo& outer, const std::vector<RingInfo>& holes) {
    if (!within(a.outer, outer)) return false;
    for (std::size_t k = 0; k < holes.size(); ++k)
        if (within(a.outer, holes[k])) return false;
    return true;
}

}  // namespace

std::string invalidity(const Shape& s) {
    if (s.kind == Kind::OpenContour) return std::string();
    if (s.kind == Kind::ClosedContour)
        return krContour(s.polygons[0].outer, true).isSelfIntersecting() ? "the boundary crosses itself"
                                                                         : std::string();
    std::vector<RingInfo> outers;
    outers.reserve(s.polygons.size());
    std::vector<std::vector<RingInfo>> holes(s.polygons.size());
    for (std::size_t i = 0; i < s.polygons.size(); ++i) {
        outers.emplace_back(s.polygons[i].outer);
        std::string why = polygonInvalidity(s.polygons[i], holes[i], outers[i]);
        if (!why.empty()) return s.polygons.size() > 1 ? "polygon " + std::to_string(i) + ": " + why : why;
    }
    return overlappingPairs(outers, [&](std::size_t i, std::size_t j) {
        std::string pair = "polygons " + std::to_string(i) + " and " + std::to_string(j);
        if (sidesOverlap(outers[i], outers[j])) return pair + " share part of a side";
        if (cross(outers[i], outers[j])) return pair + " cross";
        if (insidePolygon(s.polygons[j], outers[i], holes[i]) ||
            insidePolygon(s.polygons[i], outers[j], holes[j]))
            return pair + " overlap";
        return std::string();
    });
}

}  // namespace qs
