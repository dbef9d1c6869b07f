// The derived regions: mapping, splicing, and the outer hull and regularized
// outline of a boundary that crosses itself.
#include "cntr/region.h"

#include <cmath>
#include <cstddef>
#include <memory>
#include <utility>

namespace {

typedef krContour::Points Points;

// Vertices nearer than this are one vertex where loops touch.
constexpr double kTouch = 1e-6;

// Point i of a closed list of m points, i taken modulo m.
const krVector<2>& at(const Points& p, std::size_t i) { return p[i % p.size()]; }

// m consecutive points of p starting at point `from`, wrapping around.
void appendRun(const Points& p, std::size_t from, std::size_t m, Points& out) {
    for (std::size_t t = 0; t < m; ++t) out.push_back(at(p, from + t));
}

// The cached-result protocol shared by outerHull and regularize: a simple
// boundary is copied as it is and caches nothing; a crossing one is traced
// once into a region made for the purpose, which later calls hand out again.
template <class Trace>
void cachedRepair(const krRegion& self, bool& valid, krPtrHandle_const<krRegion>& cache,
                  krRegion& out, Trace&& trace) {
    for (const krVector<2>& v : self.points())
        if (!std::isfinite(v.x()) || !std::isfinite(v.y()))
            throw krContourDefs::BadParams(L"boundary coordinates must be finite numbers");
    if (!self.isSelfIntersecting()) {
        out = self;
        return;
    }
    if (!valid) {
        // The handle takes the region before the trace, so a throw leaves no
        // leak; the flag stays false and the next request starts afresh.
        auto* fresh = new krRegion(Points(), krContourDefs::eAsIs);
        cache = krPtrHandle_const<krRegion>(fresh);
        trace(*fresh);
        valid = true;
    }
    // out may be this region, whose assignment replaces the cache handle: hold
    // the result until the copy is done.
    const krPtrHandle_const<krRegion> result = cache;
    out = *result;
}

// The first edge p[s] -> p[s+1] (the closing edge never counts) that lies on
// the outside of the shape and is crossed by nothing; eps is the half length
// of the probe across its middle. outside(a, b) tells which end of the probe
// is outside: a (on the right of the edge's direction) +1, else b -1, neither
// 0. BadParams "invalid contour" when no edge qualifies.
struct StartEdge {
    std::size_t s;
    bool outsideOnRight;
};

template <class Outside>
StartEdge findStartEdge(const krRegion& r, double eps, const Outside& outside) {
    const Points& p = r.points();
    for (std::size_t s = 0; s + 1 < p.size(); ++s) {
        // A zero-length edge has no direction for its probe; it could not be
        // taken anyway, since its own segment query meets nothing.
        if (p[s] == p[s + 1]) continue;
        const krVector<2> mid = (p[s] + p[s + 1]) * 0.5;
        const krVector<2> u = (p[s] - p[s + 1]).unit();
        const krVector<2> perp(-u.y(), u.x());
        const krVector<2> a = mid + perp * eps, b = mid - perp * eps;
        // Only this edge passes through the probe, the edge meets the boundary
        // only where its neighbours join it, and one side of it is outside.
        if (r.intersections(krLineSeg(a, b), true, false).size() != 1 ||
            r.intersections(krLineSeg(p[s], p[s + 1]), true, false).size() != 2)
            continue;
        const int side = outside(a, b);
        if (side != 0) return {s, side > 0};
    }
    throw krContourDefs::BadParams(L"invalid contour");
}

// Walks the closed boundary p from p[s] along its edges, leaving an edge at
// its nearest crossing to follow the crossed segment, until the walk is back
// at p[s]. At a crossing the walk turns towards the outside, which lies on
// the right of the start edge when outsideOnRight: that keeps the outside on
// the same hand all the way round, so the walk follows the outline of the
// whole shape. Where the lobes meeting at a crossing turn opposite ways, as
// in a figure-eight, that is the crossed segment the other way round from
// the vertex order of the one left. crossings(seg, indices) are the boundary's
// crossings of seg (ends excluded) in order along it, with their segment
// numbers; countHits() is the number of crossings all the boundary's segments
// report. The walk is bounded as krRegion::regularize says.
template <class Crossings, class CountHits>
Points traceOutline(const Points& p, StartEdge start, const Crossings& crossings,
                    const CountHits& countHits) {
    const std::size_t s = start.s;
    const std::size_t n = p.size();
    // Counting the crossings costs a query per segment, so it waits until a
    // walk outlasts the bound without them, which no ordinary outline does.
    std::size_t bound = 4 * n + 16;
    bool counted = false;
    Points traced;
    traced.reserve(n + 1);
    std::vector<int> indices;
    krVector<2> cur = p[s];
    std::size_t k = s + 1;  // segment k runs from point k-1 to point k
    bool forward = true;
    for (std::size_t step = 0;; ++step) {
        if (step > 0 && cur == p[s]) return traced;
        if (step >= bound && !counted) {
            bound = 4 * (n + countHits()) + 16;
            counted = true;
        }
        if (step >= bound)
            throw krContourDefs::BadParams(
                L"the boundary could not be traced: the walk along it does not return to its start");
        const krVector<2> target = forward ? p[k % n] : p[(k + n - 1) % n];
        const Points hits = crossings(krLineSeg(cur, target), indices);
        if (hits.empty()) {
            cur = target;
            k = forward ? (k + 1) % n : (k + n - 1) % n;
        } else {
            const krVector<2> heading = target - cur;
            cur = hits.front();
            k = static_cast<std::size_t>(indices.front());
            // The crossed segment runs from p[k-1] to p[k]: forward along it
            // turns left when it points left of the heading. A segment that
            // crosses is never parallel to the heading, so the turn has a side.
            const double turn = kfCross(heading, p[k % n] - p[(k + n - 1) % n]);
            forward = start.outsideOnRight ? turn < 0.0 : turn > 0.0;
        }
        traced.push_back(cur);
    }
}

// ---- the outer-hull steps on a list of loops ----
// The loops are held by pointer, so that moving one within the list copies
// no points and no caches.
typedef std::vector<std::unique_ptr<krRegion>> Loops;

std::unique_ptr<krRegion> newLoop(const Points& p) {
    return std::make_unique<krRegion>(p, krContourDefs::eAsIs);
}

// Each step restarts its scan after a change, but only where the change can
// matter: the loops (or pairs) scanned before it found nothing and are
// unchanged, so a full restart would pass over them again to no effect. Every
// loop keeps its own vertex grid until it is replaced.

// Splits a loop where two of its vertices touch, until no loop touches itself.
// Ends: each split adds a loop and keeps the total point count, and every
// loop has at least one point, so there are fewer splits than points.
void splitAtTouchingVertices(Loops& loops) {
    std::size_t i = 0;
    while (i < loops.size()) {
        const Points& p = loops[i]->points();
        const std::size_t m = p.size();
        std::size_t v = 0, w = m;
        for (; v < m && w == m; ++v)
            for (int j : loops[i]->vertexIndex(p[v], kTouch))
                if (static_cast<std::size_t>(j) != v) {
                    w = static_cast<std::size_t>(j);
                    break;
                }
        if (w == m) {
            ++i;
            continue;
        }
        --v;
        // Loop i keeps v .. w-1, the new loop takes w .. v-1 (around the end).
        const std::size_t wEnd = w > v ? w : w + m;
        Points a, b;
        appendRun(p, v, wEnd - v, a);
        appendRun(p, wEnd, v + m - wEnd, b);
        loops[i] = newLoop(a);
        loops.push_back(newLoop(b));
    }
}

// Drops each loop whose first-edge midpoint lies inside another loop, the
// last loop taking the dropped one's slot. Ends: each drop shortens the list.
// The last loop standing is never dropped, since no other loop is left.
void removeNestedLoops(Loops& loops) {
    std::size_t i = 0;
    while (i < loops.size()) {
        const Points& p = loops[i]->points();
        const krVector<2> q = (p[0] + p[1]) * 0.5;
        bool nested = false;
        for (std::size_t j = 0; j < loops.size() && !nested; ++j)
            nested = j != i && loops[j]->inside(q, true);
        if (!nested) {
            ++i;
            continue;
        }
        loops[i] = std::move(loops.back());
        loops.pop_back();
    }
}

// Whether the bounding boxes of two loops keep more than twice the touch
// distance apart on some axis: then no vertex of one is within the touch
// distance of a vertex of the other, and a vertex search could find nothing.
// It spares the search along the whole of a grown loop for every loop that
// lies elsewhere.
bool farApart(const krRegion& a, const krRegion& b) {
    const krRect ra = a.encloseRect(krXform<2>::I), rb = b.encloseRect(krXform<2>::I);
    const double gap = 2 * kTouch;
    return ra.origin().x() - rb.corner().x() > gap || rb.origin().x() - ra.corner().x() > gap ||
           ra.origin().y() - rb.corner().y() > gap || rb.origin().y() - ra.corner().y() > gap;
}

// Joins two loops at the first vertex of the first loop that the second one
// also has, until no two loops share a vertex. Ends: each join shortens the
// list. After a join only pairs with the joined loop first can have changed:
// any earlier pair's loops, or the union of two of them, found nothing.
void mergeLoopsSharingAVertex(Loops& loops) {
    for (std::size_t i = 0; i < loops.size(); ++i) {
        for (std::size_t j = i + 1; j < loops.size(); ++j) {
            if (farApart(*loops[i], *loops[j])) continue;
            const Points& pi = loops[i]->points();
            const Points& pj = loops[j]->points();
            std::size_t v = 0;
            std::vector<int> shared;
            for (; v < pi.size() && shared.empty(); ++v) shared = loops[j]->vertexIndex(pi[v], kTouch);
            if (shared.empty()) continue;
            Points merged;
            merged.reserve(pi.size() + pj.size());
            appendRun(pi, v - 1, pi.size(), merged);
            appendRun(pj, static_cast<std::size_t>(shared.front()), pj.size(), merged);
            loops[i] = newLoop(merged);
            loops[j] = std::move(loops.back());
            loops.pop_back();
            j = i;  // the joined loop meets every other loop afresh
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Mapping and splicing.

void krRegion::map(const krXform<2>& xform, krRegion& out) const {
    Points mapped;
    mapped.reserve(points_.size());
    for (const krVector<2>& p : points_) mapped.push_back(xform * p);
    const unsigned long keep = label();  // out may be this region
    out = krRegion(mapped, krContourDefs::eAsIs);
    out.label(keep);
}

void krRegion::splice(const krRegion& other, krRegion& out) const {
    const std::vector<krLineSeg>& segs = lineSegs();
    const std::vector<bool>& valid = validLine();
    std::vector<int> indices;
    for (std::size_t i = 0; i < segs.size(); ++i) {
        if (!valid[i]) continue;
        const Points hits = other.krContour::intersections(segs[i], indices, true);
        if (hits.empty()) continue;
        // Segment k ends at point k, the closing segment 0 at point 0, so the
        // ends of segments i, i+1, ... are the points from i on.
        const Points& q = other.points_;
        Points joined;
        joined.reserve(points_.size() + q.size() + 2);
        joined.push_back(hits.front());
        appendRun(points_, i, points_.size(), joined);
        joined.push_back(hits.front());
        appendRun(q, static_cast<std::size_t>(indices.front()), q.size(), joined);
        out = krRegion(joined, krContourDefs::eAsIs);
        return;
    }
    throw krContourDefs::BadParams(L"spliced regions do not intersect");
}

// ---------------------------------------------------------------------------
// Outer hull and regularization.

void krRegion::outerHull(krRegion& out) const {
    cachedRepair(*this, regionCache_.outerHullValid, regionCache_.outerHull, out,
                 [this](krRegion& r) { outerHullRegularize(r, true); });
}

void krRegion::regularize(krRegion& out) const {
    cachedRepair(*this, regionCache_.regularizedValid, regionCache_.regularized, out,
                 [this](krRegion& r) { outerHullRegularize(r, false); });
}

void krRegion::outerHullRegularize(krRegion& out, bool outerHull) const {
    checkEmptyContour();
    const auto outside = [this](const krVector<2>& a, const krVector<2>& b) {
        return insideCount(a, true) == 0 ? 1 : insideCount(b, true) == 0 ? -1 : 0;
    };
    const auto crossings = [this](const krLineSeg& seg, std::vector<int>& indices) {
        return krContour::intersections(seg, indices, false);
    };
    const auto countHits = [this] {
        std::size_t hits = 0;
        const std::vector<krLineSeg>& segs = lineSegs();
        const std::vector<bool>& valid = validLine();
        for (std::size_t k = 0; k < segs.size(); ++k)
            if (valid[k]) hits += krContour::intersections(segs[k], false).size();
        return hits;
    };
    const StartEdge start = findStartEdge(*this, medianFeatureSize() * 0.01, outside);
    const Points traced = traceOutline(points_, start, crossings, countHits);
    if (!outerHull) {
        out = krRegion(traced, krContourDefs::eAsIs);
        return;
    }
    Loops loops;
    loops.push_back(newLoop(traced));
    splitAtTouchingVertices(loops);
    removeNestedLoops(loops);
    mergeLoopsSharingAVertex(loops);
    // Loops that touch no other loop are dropped with the rest of the list.
    // The result starts with clear caches, like every region made here.
    out = krRegion(loops.front()->points(), krContourDefs::eAsIs);
}
