#include "cntr/nearindex.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "cntr/tolerance.h"
#include "platform/std/geometry.h"

using knTolerance::beyondSquare;

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

// The squared distance from p to the box, as the closest-point walk takes it
// for a segment's box: a box within another is never nearer.
double gapSquare(const krSegmentIndex::Box& b, double px, double py) {
    const double gx = std::max({b.lox - px, px - b.hix, 0.0});
    const double gy = std::max({b.loy - py, py - b.hiy, 0.0});
    return gx * gx + gy * gy;
}

void widen(krSegmentIndex::Box& b, const krVector<2>& v) {
    b.lox = std::min(b.lox, v.x());
    b.loy = std::min(b.loy, v.y());
    b.hix = std::max(b.hix, v.x());
    b.hiy = std::max(b.hiy, v.y());
}
}  // namespace

bool krNearestIndex::build(const krSegmentView& s) {
    levels_.clear();
    for (std::size_t i = 0; i < s.n; ++i)
        if (!std::isfinite(s.p[i].x()) || !std::isfinite(s.p[i].y())) return false;
    if (s.n == 0) return true;
    // Block j holds vertices [kBlock j, kBlock j + kBlock) and the segments
    // ending at them, whose starts are those vertices and the one before the
    // block (for a closed contour's first block, the last vertex).
    std::vector<Box> level((s.n + kBlock - 1) / kBlock, Box{kInf, kInf, -kInf, -kInf});
    for (std::size_t j = 0; j < level.size(); ++j) {
        const std::size_t first = j * kBlock, last = std::min(first + kBlock, s.n);
        for (std::size_t i = first; i < last; ++i) widen(level[j], s.p[i]);
        if (j > 0 || s.closed) widen(level[j], s.p[j > 0 ? first - 1 : s.n - 1]);
    }
    levels_.push_back(std::move(level));
    while (levels_.back().size() > 1) {
        const std::vector<Box>& below = levels_.back();
        std::vector<Box> up((below.size() + kFanout - 1) / kFanout, Box{kInf, kInf, -kInf, -kInf});
        for (std::size_t c = 0; c < below.size(); ++c) {
            Box& b = up[c / kFanout];
            b.lox = std::min(b.lox, below[c].lox);
            b.loy = std::min(b.loy, below[c].loy);
            b.hix = std::max(b.hix, below[c].hix);
            b.hiy = std::max(b.hiy, below[c].hiy);
        }
        levels_.push_back(std::move(up));
    }
    return true;
}

template <class Leaf>
void krNearestIndex::search(const krVector<2>& p, double& best, Leaf&& leaf) const {
    if (levels_.empty()) return;
    // Depth first, the nearer boxes first: each box's children that may hold
    // something nearer go on the stack farthest first. At most kFanout
    // entries per level wait.
    struct Entry {
        double gap;
        std::size_t level, node;
    };
    Entry stack[64 * kFanout];
    std::size_t top = 0;
    const double px = p.x(), py = p.y();
    stack[top++] = {0.0, levels_.size() - 1, 0};
    while (top > 0) {
        const Entry e = stack[--top];
        if (e.gap > beyondSquare(best)) continue;
        if (e.level == 0) {
            leaf(e.node, best);
            continue;
        }
        const std::vector<Box>& below = levels_[e.level - 1];
        const std::size_t first = e.node * kFanout, last = std::min(first + kFanout, below.size());
        const double bound = beyondSquare(best);
        Entry kids[kFanout];
        std::size_t m = 0;
        for (std::size_t c = first; c < last; ++c) {
            const double g = gapSquare(below[c], px, py);
            if (g > bound) continue;
            // Insertion by falling distance.
            std::size_t at = m++;
            for (; at > 0 && kids[at - 1].gap < g; --at) kids[at] = kids[at - 1];
            kids[at] = {g, e.level - 1, c};
        }
        for (std::size_t i = 0; i < m; ++i) stack[top++] = kids[i];
    }
}

std::size_t krNearestIndex::nearestSegment(const krSegmentView& s, const krVector<2>& p) const {
    double best = kInf;
    std::size_t found = kNone;
    const double px = p.x(), py = p.y();
    search(p, best, [&](std::size_t j, double& b) {
        // The segments ending at the block's vertices.
        std::size_t first = j * kBlock, last = std::min(first + kBlock, s.n);
        if (!s.closed) {
            first = first == 0 ? 0 : first - 1;
            last -= 1;
        }
        for (std::size_t k = first; k < last; ++k) {
            const krVector<2>&a = s.start(k), &e = s.end(k);
            const double gx = std::max({std::min(a.x(), e.x()) - px, px - std::max(a.x(), e.x()), 0.0});
            const double gy = std::max({std::min(a.y(), e.y()) - py, py - std::max(a.y(), e.y()), 0.0});
            if (gx * gx + gy * gy > beyondSquare(b)) continue;
            const double d = krLineSeg(a, e).distToPoint(p);
            if (d < b || (d == b && found != kNone && k < found)) {
                b = d;
                found = k;
            }
        }
    });
    return found;
}

bool krNearestIndex::beyond(const krVector<2>& p, double d) const {
    if (levels_.empty()) return false;
    const Box& b = levels_.back()[0];
    return knTolerance::boxBeyond(krVector<2>(b.lox, b.loy), krVector<2>(b.hix, b.hiy), p, d);
}

std::size_t krNearestIndex::nearestVertex(const krSegmentView& s, const krVector<2>& p) const {
    double best = kInf;
    std::size_t found = 0;
    search(p, best, [&](std::size_t j, double& b) {
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
