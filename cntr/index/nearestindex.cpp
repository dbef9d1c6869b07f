#include "cntr/index/nearestindex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "cntr/support/lanes.h"
#include "cntr/support/nearness.h"
#include "cntr/support/tolerance.h"
#include "cntr/support/vertexpasses.h"
#include "platform/std/geometry.h"

namespace qel::detail {

using knTolerance::kRoom;
using knTolerance::kSquareFloor;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

// Whether every point within r of segment a-b keeps farther from p than best
// (capsuleBeyondIn).
bool capsuleBeyond(const krVector<2>& a, const krVector<2>& b, double r, const krVector<2>& p, double best) {
    return capsuleBeyondIn<ScalarLane>(a.x(), a.y(), b.x(), b.y(), r, p.x(), p.y(), best);
}
}  // namespace

bool NearestIndex::build(const SegmentView& s) {
    levels_.clear();
    if (s.n > std::numeric_limits<std::uint32_t>::max()) return false;  // past the nodes' vertex numbers
    for (std::size_t i = 0; i < s.n; ++i)
        if (!indexable(s.p[i])) return false;
    if (s.n == 0) return true;
    // Block j holds vertices [kBlock j, kBlock j + kBlock) and the segments
    // ending at them, whose starts are those vertices and the one before the
    // block (for a closed contour's first block, the last vertex). Its chord
    // runs from the first start to the last vertex.
    std::vector<Node> level((s.n + kBlock - 1) / kBlock);
    for (std::size_t j = 0; j < level.size(); ++j) {
        Node& node = level[j];
        const std::size_t first = j * kBlock, last = std::min(first + kBlock, s.n);
        node.a = static_cast<std::uint32_t>(j > 0 ? first - 1 : s.closed ? s.n - 1 : 0);
        node.b = static_cast<std::uint32_t>(last - 1);
        node.box = Box::of(s.p[node.a], s.p[node.a]);
        const krLineSeg chord(s.p[node.a], s.p[node.b]);
        double r = chord.distToPoint(s.p[node.a]);
        for (std::size_t i = first; i < last; ++i) {
            node.box.widen(Box::of(s.p[i], s.p[i]));
            r = std::max(r, chord.distToPoint(s.p[i]));
        }
        node.r = widenReach(node.box, r);
    }
    levels_.push_back(std::move(level));
    // A node above holds its children's boxes, and its chord, from the first
    // child's start to the last child's end, comes within its reach of every
    // child's points: those keep within the child's reach of the child's
    // chord, whose farthest point from the new chord is one of its ends.
    while (levels_.back().size() > 1) {
        const std::vector<Node>& below = levels_.back();
        std::vector<Node> up((below.size() + kFanout - 1) / kFanout);
        for (std::size_t u = 0; u < up.size(); ++u) {
            const std::size_t first = u * kFanout, last = std::min(first + kFanout, below.size());
            Node& node = up[u];
            node.a = below[first].a;
            node.b = below[last - 1].b;
            node.box = below[first].box;
            const krLineSeg chord(s.p[node.a], s.p[node.b]);
            double r = 0.0;
            for (std::size_t c = first; c < last; ++c) {
                node.box.widen(below[c].box);
                const double ends = std::max(chord.distToPoint(s.p[below[c].a]), chord.distToPoint(s.p[below[c].b]));
                r = std::max(r, ends + below[c].r);
            }
            node.r = widenReach(node.box, r);
        }
        levels_.push_back(std::move(up));
    }
    groups_.assign(levels_.size(), {});
    for (std::size_t l = 1; l < levels_.size(); ++l) {
        const std::vector<Node>& below = levels_[l - 1];
        groups_[l].resize(levels_[l].size());
        for (std::size_t c = 0; c < below.size(); ++c) {
            putNode(s, below[c], groups_[l][c / kFanout], c % kFanout);
        }
    }
    return true;
}

void NearestIndex::putNode(const SegmentView& s, const Node& n, StretchLanes& g, std::size_t i) {
    g.lox[i] = n.box.lox, g.loy[i] = n.box.loy, g.hix[i] = n.box.hix, g.hiy[i] = n.box.hiy;
    g.ax[i] = s.p[n.a].x(), g.ay[i] = s.p[n.a].y(), g.bx[i] = s.p[n.b].x(), g.by[i] = s.p[n.b].y();
    g.r[i] = n.r;
}

double NearestIndex::widenReach(const Box& box, double r) {
    // Room for the rounding of the distances that gave r, all within the box.
    return r * (1.0 + kRoom) + knTolerance::kRounding * ((box.hix - box.lox) + (box.hiy - box.loy));
}

template <class Leaf>
void NearestIndex::search(const krVector<2>& p, double& best, const NearestCursor* from, Leaf&& leaf) const {
    if (levels_.empty()) return;
    // Depth first, the nearer boxes first: a node's children are screened
    // together, box and capsule, and those that may hold something as near
    // go on the stack farthest first, to be looked at again when they come
    // off it against the best found by then. At most kFanout entries per
    // level wait, and at most kNarrowest from a cursor's nodes.
    const auto nearStretches = vertexPasses().nearStretches;
    struct Entry {
        double gap;  // to the box, squared: the order of the search
        std::size_t level, node;
    };
    Entry stack[64 * kFanout + kNarrowest];
    std::size_t top = 0;
    // Pushes those of up to kFanout nodes of a level, side by side in g,
    // that may hold something as near.
    const auto screen = [&](const StretchLanes& g, std::size_t count, std::size_t level, const auto& node) {
        double gaps[kFanout];
        unsigned near = nearStretches(g, p.x(), p.y(), best, beyondSquare(best), gaps);
        near &= (1u << count) - 1;
        Entry kids[kFanout];
        std::size_t m = 0;
        for (; near != 0; near &= near - 1) {
            const std::size_t c = static_cast<std::size_t>(__builtin_ctz(near));
            // Insertion by falling distance.
            std::size_t at = m++;
            for (; at > 0 && kids[at - 1].gap < gaps[c]; --at) kids[at] = kids[at - 1];
            kids[at] = {gaps[c], level, node(c)};
        }
        for (std::size_t i = 0; i < m; ++i) stack[top++] = kids[i];
    };
    if (from && !from->nodes.empty()) {
        // The cursor's nodes, a group of eight at a time: the farthest group
        // first, so the nearest comes off the stack first.
        for (std::size_t g = from->lanes.size(); g-- > 0;)
            screen(from->lanes[g], std::min(kFanout, from->nodes.size() - g * kFanout), from->level,
                   [&](std::size_t c) { return from->nodes[g * kFanout + c]; });
    } else {
        stack[top++] = {0.0, levels_.size() - 1, 0};
    }
    while (top > 0) {
        const Entry e = stack[--top];
        if (e.gap > beyondSquare(best)) continue;
        if (e.level == 0) {
            leaf(e.node, best);
            continue;
        }
        const std::size_t first = e.node * kFanout;
        screen(groups_[e.level][e.node], std::min(kFanout, levels_[e.level - 1].size() - first), e.level - 1,
               [&](std::size_t c) { return first + c; });
    }
}

void NearestCursor::nextRun(const std::vector<krVector<2>>& points, const std::uint32_t* order, std::size_t m) {
    run = Box::empty();
    for (std::size_t k = 0; k < m; ++k) {
        const krVector<2>& v = points[order[k]];
        if (std::isfinite(v.x()) && std::isfinite(v.y())) run.widen(Box::of(v, v));
    }
    narrowed = false;
}

void NearestIndex::narrow(const SegmentView& s, NearestCursor& at) const {
    at.narrowed = true;
    at.nodes.clear();
    if (levels_.empty() || !at.run.placeable() || at.hint >= s.count()) return;
    // The hint segment's distance from every point of the box is at most its
    // distance from the farthest corner (distance to a segment is convex),
    // and the room for rounding covers the difference between the distances
    // as computed. A node whose box keeps beyond that from the run's box
    // holds nothing as near as the hint for any point of the run.
    const Box& b = at.run;
    const krLineSeg h(s.start(at.hint), s.end(at.hint));
    const double corners =
        std::max({h.distToPoint(krVector<2>(b.lox, b.loy)), h.distToPoint(krVector<2>(b.hix, b.loy)),
                  h.distToPoint(krVector<2>(b.lox, b.hiy)), h.distToPoint(krVector<2>(b.hix, b.hiy))});
    const Box& all = levels_.back()[0].box;
    const double size = std::max({std::fabs(b.lox), std::fabs(b.loy), std::fabs(b.hix), std::fabs(b.hiy),
                                  std::fabs(all.lox), std::fabs(all.loy), std::fabs(all.hix), std::fabs(all.hiy)});
    const double bound = beyondSquare(corners * (1.0 + kRoom) + kRounding * size);
    const auto near = [&](const Node& n) {
        const double gx = std::max({n.box.lox - b.hix, b.lox - n.box.hix, 0.0});
        const double gy = std::max({n.box.loy - b.hiy, b.loy - n.box.hiy, 0.0});
        return !(gx * gx + gy * gy > bound);
    };
    // Down from the root while the near nodes of the next level are few
    // enough to screen for every point.
    std::vector<std::uint32_t> next;
    at.level = levels_.size() - 1;
    at.nodes.push_back(0);
    while (at.level > 0) {
        const std::vector<Node>& below = levels_[at.level - 1];
        next.clear();
        for (std::uint32_t u : at.nodes)
            for (std::size_t c = u * kFanout, last = std::min(c + kFanout, below.size()); c < last; ++c)
                if (near(below[c])) next.push_back(static_cast<std::uint32_t>(c));
        if (next.size() > kNarrowest) break;
        at.nodes.swap(next);
        --at.level;
    }
    at.lanes.assign((at.nodes.size() + kFanout - 1) / kFanout, StretchLanes{});
    for (std::size_t i = 0; i < at.nodes.size(); ++i)
        putNode(s, levels_[at.level][at.nodes[i]], at.lanes[i / kFanout], i % kFanout);
}

std::size_t NearestIndex::nearestSegment(const SegmentView& s, const krVector<2>& p, std::size_t hint) const {
    return nearestSegmentFrom(s, p, hint, nullptr);
}

std::size_t NearestIndex::nearestSegment(const SegmentView& s, const krVector<2>& p, NearestCursor& at) const {
    if (!at.narrowed && at.hint < s.count()) narrow(s, at);
    return at.hint = nearestSegmentFrom(s, p, at.hint, at.narrowed && at.run.holds(p) ? &at : nullptr);
}

std::size_t NearestIndex::nearestSegmentFrom(const SegmentView& s, const krVector<2>& p, std::size_t hint,
                                             const NearestCursor* from) const {
    // The hint is one of the segments the search weighs, taken first: the
    // least distance and the lowest number among equals come out the same.
    double best = kInf;
    std::size_t found = kNone;
    if (hint < s.count()) {
        best = krLineSeg(s.start(hint), s.end(hint)).distToPoint(p);
        found = hint;
    }
    const auto take = [&](std::size_t k, double d, double& b) {
        if (d < b || (d == b && found != kNone && k < found)) {
            b = d;
            found = k;
        }
    };
    const auto consider = [&](std::size_t k, double& b) {
        const krVector<2>&a = s.start(k), &e = s.end(k);
        if (!capsuleBeyond(a, e, 0.0, p, b)) take(k, krLineSeg(a, e).distToPoint(p), b);
    };
    const auto nearCapsules = vertexPasses().nearCapsules;
    const double* xy = reinterpret_cast<const double*>(s.p);
    search(p, best, from, [&](std::size_t j, double& b) {
        // The segments ending at the block's vertices: segment v of a closed
        // contour, v - 1 of an open one. A whole block with a vertex before it
        // is screened in lanes against the best at its start (which only
        // comes nearer), and the distances of those left come from the same
        // pass, as distToPoint computes them; the first block and a short
        // last one go segment by segment.
        const std::size_t first = j * kBlock, last = std::min(first + kBlock, s.n), back = s.closed ? 0 : 1;
        if (first > 0 && last - first == kBlock) {
            double dist[kBlock];
            for (std::uint64_t todo = nearCapsules(xy + 2 * first, kBlock, p.x(), p.y(), b, dist); todo != 0;
                 todo &= todo - 1) {
                const std::size_t i = static_cast<std::size_t>(__builtin_ctzll(todo)), k = first + i - back;
                take(k, dist[i] >= 0.0 ? dist[i] : krLineSeg(s.start(k), s.end(k)).distToPoint(p), b);
            }
            return;
        }
        for (std::size_t v = std::max(first, back); v < last; ++v) consider(v - back, b);
    });
    return found;
}

bool NearestIndex::beyond(const krVector<2>& p, double d) const {
    if (levels_.empty()) return false;
    const Box& b = levels_.back()[0].box;
    return boxBeyond(krVector<2>(b.lox, b.loy), krVector<2>(b.hix, b.hiy), p, d);
}

std::size_t NearestIndex::nearestVertex(const SegmentView& s, const krVector<2>& p, std::size_t hint) const {
    double best = kInf;
    std::size_t found = 0;
    if (hint < s.n) {
        best = kfLength(p.x() - s.p[hint].x(), p.y() - s.p[hint].y());
        found = hint;
    }
    search(p, best, nullptr, [&](std::size_t j, double& b) {
        const double bound = beyondSquare(b);
        for (std::size_t i = j * kBlock, last = std::min(i + kBlock, s.n); i < last; ++i) {
            // A vertex's squared distance is the gap to its box: one beyond
            // the bound of the best at the block's start cannot come as near.
            const double dx = p.x() - s.p[i].x(), dy = p.y() - s.p[i].y();
            if (dx * dx + dy * dy > bound) continue;
            const double d = kfLength(dx, dy);
            if (d < b || (d == b && i < found)) {
                b = d;
                found = i;
            }
        }
    });
    return found;
}

std::vector<std::uint32_t> NearestIndex::nearbyOrder(const std::vector<krVector<2>>& points) {
    const std::size_t n = points.size();
    if (n < 256 || n > std::numeric_limits<std::uint32_t>::max()) return {};
    double lox = kInf, loy = kInf, hix = -kInf, hiy = -kInf;
    for (const krVector<2>& v : points)
        if (std::isfinite(v.x()) && std::isfinite(v.y())) {
            lox = std::min(lox, v.x()), hix = std::max(hix, v.x());
            loy = std::min(loy, v.y()), hiy = std::max(hiy, v.y());
        }
    // About four points to a cell, the cells in square tiles of kTile x kTile
    // (some 64 points: a run of mapPointsInOrder), each taken row by row, each row
    // the other way round from the last, and the tiles so too. The points of
    // each cell are counted, then dealt out cell by cell (a counting sort).
    // The cell of a point is worked out on both passes rather than kept: a
    // list as long as the points costs more to fill than the arithmetic.
    constexpr std::size_t kTile = 4;
    const std::size_t tiles = std::max<std::size_t>(1, static_cast<std::size_t>(std::sqrt(double(n) / 4) / kTile));
    const std::size_t side = tiles * kTile;
    const double fx = hix > lox ? double(side) / (hix - lox) : 0.0, fy = hiy > loy ? double(side) / (hiy - loy) : 0.0;
    const std::size_t last = side * side;  // the slot of the points that are not finite
    const auto snake = [](std::size_t x, std::size_t y, std::size_t width) {
        return y * width + (y % 2 ? width - 1 - x : x);
    };
    const auto cellOf = [&](const krVector<2>& v) {
        if (!std::isfinite(v.x()) || !std::isfinite(v.y())) return last;
        const std::size_t cx = std::min(side - 1, static_cast<std::size_t>((v.x() - lox) * fx));
        const std::size_t cy = std::min(side - 1, static_cast<std::size_t>((v.y() - loy) * fy));
        return snake(cx / kTile, cy / kTile, tiles) * kTile * kTile + snake(cx % kTile, cy % kTile, kTile);
    };
    std::vector<std::uint32_t> start(last + 2, 0), order(n);
    for (const krVector<2>& v : points) ++start[cellOf(v) + 1];
    for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
    for (std::size_t i = 0; i < n; ++i) order[start[cellOf(points[i])]++] = static_cast<std::uint32_t>(i);
    return order;
}

}  // namespace qel::detail
