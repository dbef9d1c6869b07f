#include "cntr/index/nearestindex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "cntr/support/nearness.h"
#include "cntr/support/tolerance.h"
#include "platform/std/geometry.h"

namespace qel::detail {

using knTolerance::kRoom;
using knTolerance::kSquareFloor;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

// The squared distance from p to the box, as the closest-point walk takes it
// for a segment's box: a box within another is never nearer.
double gapSquare(const Box& b, double px, double py) {
    const double gx = std::max({b.lox - px, px - b.hix, 0.0});
    const double gy = std::max({b.loy - py, py - b.hiy, 0.0});
    return gx * gx + gy * gy;
}

// Whether every point within r of segment a-b keeps farther from p than
// best, by the squared distance from p to a-b taken without root or
// quotient: the distance to the nearer end where the foot falls outside, else
// the cross product over the length. With m the size of p - a and b - a, this
// and the distances the queries compute (of krLineSeg, of two points) are
// within a few units in the last place of m + r of the exact ones; the room
// of kRounding (m + r) leaves them far behind. Where the two forms of the
// segment's distance would be chosen differently this one takes the distance
// to the line, which is no larger. Sizes whose squares may overflow or lose
// digits decide nothing.
bool capsuleBeyond(const krVector<2>& a, const krVector<2>& b, double r, const krVector<2>& p, double best) {
    const double abx = b.x() - a.x(), aby = b.y() - a.y(), apx = p.x() - a.x(), apy = p.y() - a.y();
    const double m = std::fabs(abx) + std::fabs(aby) + std::fabs(apx) + std::fabs(apy);
    const double dd = abx * abx + aby * aby;
    if (!(m > 1e-100 && m < 1e100 && dd >= kSquareFloor)) return false;
    const double reach = best * (1.0 + kRoom) + r + 4 * knTolerance::kRounding * (m + r), reach2 = reach * reach;
    const double t = apx * abx + apy * aby;
    if (t <= 0.0) return apx * apx + apy * apy > reach2;
    if (t >= dd) {
        const double bpx = p.x() - b.x(), bpy = p.y() - b.y();
        return bpx * bpx + bpy * bpy > reach2;
    }
    const double cross = apx * aby - apy * abx;
    return cross * cross > reach2 * dd;
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
    return true;
}

double NearestIndex::widenReach(const Box& box, double r) {
    // Room for the rounding of the distances that gave r, all within the box.
    return r * (1.0 + kRoom) + knTolerance::kRounding * ((box.hix - box.lox) + (box.hiy - box.loy));
}

bool NearestIndex::far(const SegmentView& s, const Node& node, const krVector<2>& p, double best) {
    return gapSquare(node.box, p.x(), p.y()) > beyondSquare(best) ||
           capsuleBeyond(s.p[node.a], s.p[node.b], node.r, p, best);
}

template <class Leaf>
void NearestIndex::search(const SegmentView& s, const krVector<2>& p, double& best, Leaf&& leaf) const {
    if (levels_.empty()) return;
    // Depth first, the nearer boxes first: each node's children that may
    // hold something as near go on the stack farthest first, and are looked
    // at again when they come off it, against the best found by then. At
    // most kFanout entries per level wait.
    struct Entry {
        double gap;  // to the box, squared: the order of the search
        std::size_t level, node;
    };
    Entry stack[64 * kFanout];
    std::size_t top = 0;
    stack[top++] = {0.0, levels_.size() - 1, 0};
    while (top > 0) {
        const Entry e = stack[--top];
        if (far(s, levels_[e.level][e.node], p, best)) continue;
        if (e.level == 0) {
            leaf(e.node, best);
            continue;
        }
        const std::vector<Node>& below = levels_[e.level - 1];
        const std::size_t first = e.node * kFanout, last = std::min(first + kFanout, below.size());
        const double bound = beyondSquare(best);
        Entry kids[kFanout];
        std::size_t m = 0;
        for (std::size_t c = first; c < last; ++c) {
            const double g = gapSquare(below[c].box, p.x(), p.y());
            if (g > bound) continue;
            // Insertion by falling distance.
            std::size_t at = m++;
            for (; at > 0 && kids[at - 1].gap < g; --at) kids[at] = kids[at - 1];
            kids[at] = {g, e.level - 1, c};
        }
        for (std::size_t i = 0; i < m; ++i) stack[top++] = kids[i];
    }
}

std::size_t NearestIndex::nearestSegment(const SegmentView& s, const krVector<2>& p, std::size_t hint) const {
    // The hint is one of the segments the search weighs, taken first: the
    // least distance and the lowest number among equals come out the same.
    double best = kInf;
    std::size_t found = kNone;
    if (hint < (s.closed ? s.n : s.n - 1)) {
        best = krLineSeg(s.start(hint), s.end(hint)).distToPoint(p);
        found = hint;
    }
    search(s, p, best, [&](std::size_t j, double& b) {
        // The segments ending at the block's vertices.
        std::size_t first = j * kBlock, last = std::min(first + kBlock, s.n);
        if (!s.closed) {
            first = first == 0 ? 0 : first - 1;
            last -= 1;
        }
        for (std::size_t k = first; k < last; ++k) {
            const krVector<2>&a = s.start(k), &e = s.end(k);
            if (capsuleBeyond(a, e, 0.0, p, b)) continue;
            const double d = krLineSeg(a, e).distToPoint(p);
            if (d < b || (d == b && found != kNone && k < found)) {
                b = d;
                found = k;
            }
        }
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
    search(s, p, best, [&](std::size_t j, double& b) {
        for (std::size_t i = j * kBlock, last = std::min(i + kBlock, s.n); i < last; ++i) {
            const double d = kfLength(p.x() - s.p[i].x(), p.y() - s.p[i].y());
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
    // About four points to a cell; the cell of each point, counted, then
    // the points dealt out cell by cell (a counting sort).
    const std::size_t side = std::max<std::size_t>(1, static_cast<std::size_t>(std::sqrt(double(n) / 4)));
    const double fx = hix > lox ? double(side) / (hix - lox) : 0.0, fy = hiy > loy ? double(side) / (hiy - loy) : 0.0;
    const std::size_t last = side * side;  // the slot of the points that are not finite
    std::vector<std::uint32_t> cell(n), start(last + 2, 0), order(n);
    for (std::size_t i = 0; i < n; ++i) {
        const krVector<2>& v = points[i];
        std::size_t c = last;
        if (std::isfinite(v.x()) && std::isfinite(v.y())) {
            const std::size_t cx = std::min(side - 1, static_cast<std::size_t>((v.x() - lox) * fx));
            const std::size_t cy = std::min(side - 1, static_cast<std::size_t>((v.y() - loy) * fy));
            c = cy * side + (cy % 2 ? side - 1 - cx : cx);
        }
        cell[i] = static_cast<std::uint32_t>(c);
        ++start[c + 1];
    }
    for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
    for (std::size_t i = 0; i < n; ++i) order[start[cell[i]]++] = static_cast<std::uint32_t>(i);
    return order;
}

}  // namespace qel::detail
