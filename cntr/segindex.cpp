#include "cntr/segindex.h"

#include <cmath>
#include <limits>

#include "platform/std/realeq.h"

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
const krSegmentIndex::Box kEmpty{kInf, kInf, -kInf, -kInf};

int signOf(double d) { return (d > 0.0) - (d < 0.0); }

// The first index in [lo, hi) where the monotone test turns true (hi if never).
template <class Test>
std::size_t firstTrue(std::size_t lo, std::size_t hi, Test&& test) {
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (test(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}
}  // namespace

void krSegmentIndex::build(const krSegmentView& s, std::vector<bool>& valid) {
    const std::size_t count = s.count();
    valid.assign(count, true);
    runs_.clear();
    bool open = false;
    Run run{};
    auto close = [&](std::size_t k) {
        if (!open) return;
        run.last = std::uint32_t(k);
        run.box = boxOf(s.start(run.first), s.end(k - 1));
        runs_.push_back(run);
        open = false;
    };
    for (std::size_t k = 0; k < count; ++k) {
        const krVector<2>& a = s.start(k);
        const krVector<2>& b = s.end(k);
        if (kfRealEq(a, b, 1e-15)) {
            valid[k] = false;
            close(k);
            continue;
        }
        const double dx = b.x() - a.x(), dy = b.y() - a.y();
        if (!std::isfinite(dx) || !std::isfinite(dy)) {
            close(k);
            continue;
        }
        const int cx = signOf(dx), cy = signOf(dy);
        if (open && (cx == 0 || run.sx == 0 || cx == run.sx) && (cy == 0 || run.sy == 0 || cy == run.sy)) {
            if (run.sx == 0) run.sx = std::int8_t(cx);
            if (run.sy == 0) run.sy = std::int8_t(cy);
            continue;
        }
        close(k);
        run.first = std::uint32_t(k);
        run.sx = std::int8_t(cx);
        run.sy = std::int8_t(cy);
        open = true;
    }
    close(count);

    // The tree over the runs, bottom up.
    depth_ = 0;
    if (runs_.empty()) return;
    std::size_t width = (runs_.size() + kFanout - 1) / kFanout;
    for (;; width = (width + kFanout - 1) / kFanout) {
        if (levels_.size() <= depth_) levels_.emplace_back();
        std::vector<Box>& level = levels_[depth_];
        level.assign(width, kEmpty);
        if (depth_ == 0)
            for (std::size_t r = 0; r < runs_.size(); ++r) widen(level[r / kFanout], runs_[r].box);
        else
            for (std::size_t i = 0; i < levels_[depth_ - 1].size(); ++i)
                widen(level[i / kFanout], levels_[depth_ - 1][i]);
        ++depth_;
        if (width == 1) break;
    }
}

void krSegmentIndex::stretch(const krSegmentView& s, const Run& r, const Box& q, std::size_t& lo,
                             std::size_t& hi) {
    lo = r.first;
    hi = r.last;
    // On each axis a segment's box overlaps q's span when its far end has
    // reached the span and its near end has not passed it; along a monotone
    // run the first holds from some segment on and the second up to some
    // segment, so each cuts the stretch from one side.
    auto cut = [&](int dir, double (*coord)(const krVector<2>&), double qlo, double qhi) {
        if (dir >= 0) {
            lo = firstTrue(lo, hi, [&](std::size_t k) { return coord(s.end(k)) >= qlo; });
            hi = firstTrue(lo, hi, [&](std::size_t k) { return !(coord(s.start(k)) <= qhi); });
        } else {
            lo = firstTrue(lo, hi, [&](std::size_t k) { return coord(s.end(k)) <= qhi; });
            hi = firstTrue(lo, hi, [&](std::size_t k) { return !(coord(s.start(k)) >= qlo); });
        }
    };
    cut(r.sx, [](const krVector<2>& v) { return v.x(); }, q.lox, q.hix);
    cut(r.sy, [](const krVector<2>& v) { return v.y(); }, q.loy, q.hiy);
}
