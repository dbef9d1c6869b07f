#include "cntr/index/segmentindex.h"

#include <cmath>
#include <limits>

#include "cntr/support/tolerance.h"
#include "platform/std/geometry.h"
#include "platform/std/realeq.h"

namespace qel::detail {

namespace {

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

void SegmentIndex::build(const SegmentView& s, std::vector<bool>& valid) {
    const std::size_t count = s.count();
    valid.assign(count, true);
    runs_.clear();
    // The open run lives in plain locals and is written straight into the
    // list when it closes: a run record filled field by field and then
    // copied as a whole stalls the copy.
    bool open = false;
    std::size_t first = 0;
    int sx = 0, sy = 0;
    auto close = [&](std::size_t k) {
        if (!open) return;
        Run& r = runs_.emplace_back();
        r.first = std::uint32_t(first);
        r.last = std::uint32_t(k);
        r.sx = std::int8_t(sx);
        r.sy = std::int8_t(sy);
        open = false;
    };
    for (std::size_t k = 0; k < count; ++k) {
        const krVector<2>& a = s.start(k);
        const krVector<2>& b = s.end(k);
        if (kfRealEq(a, b, knTolerance::kEqual)) {
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
        if (open && (cx == 0 || sx == 0 || cx == sx) && (cy == 0 || sy == 0 || cy == sy)) {
            if (sx == 0) sx = cx;
            if (sy == 0) sy = cy;
            continue;
        }
        close(k);
        first = k;
        sx = cx;
        sy = cy;
        open = true;
    }
    close(count);

    centreKnown_ = false;

    // The tree over the runs, bottom up.
    depth_ = 0;
    if (runs_.empty()) return;
    std::size_t width = (runs_.size() + kFanout - 1) / kFanout;
    for (;; width = (width + kFanout - 1) / kFanout) {
        if (levels_.size() <= depth_) levels_.emplace_back();
        std::vector<Box>& level = levels_[depth_];
        level.assign(width, Box::empty());
        if (depth_ == 0)
            for (std::size_t r = 0; r < runs_.size(); ++r) level[r / kFanout].widen(boxOf(s, runs_[r]));
        else
            for (std::size_t i = 0; i < levels_[depth_ - 1].size(); ++i)
                level[i / kFanout].widen(levels_[depth_ - 1][i]);
        ++depth_;
        if (width == 1) break;
    }
}

void SegmentIndex::stretch(const SegmentView& s, const Run& r, const Box& q, std::size_t& lo,
                             std::size_t& hi) {
    lo = r.first;
    hi = r.last;
    if (hi - lo <= 8) {
        // A short run is read segment by segment, which costs less than the
        // bisections.
        while (lo < hi && !Box::of(s.start(lo), s.end(lo)).overlaps(q)) ++lo;
        std::size_t end = lo;
        while (end < hi && Box::of(s.start(end), s.end(end)).overlaps(q)) ++end;
        hi = end;
        return;
    }
    // On each axis a segment's box overlaps q's span when its far end has
    // reached the span and its near end has not passed it; along a monotone
    // run the first holds from some segment on and the second up to some
    // segment, so each cuts the stretch from one side.
    auto cut = [&](int dir, bool y, double qlo, double qhi) {
        auto at = [&](const krVector<2>& v) { return y ? v.y() : v.x(); };
        if (dir >= 0) {
            lo = firstTrue(lo, hi, [&](std::size_t k) { return at(s.end(k)) >= qlo; });
            hi = firstTrue(lo, hi, [&](std::size_t k) { return !(at(s.start(k)) <= qhi); });
        } else {
            lo = firstTrue(lo, hi, [&](std::size_t k) { return at(s.end(k)) <= qhi; });
            hi = firstTrue(lo, hi, [&](std::size_t k) { return !(at(s.start(k)) >= qlo); });
        }
    };
    cut(r.sx, false, q.lox, q.hix);
    cut(r.sy, true, q.loy, q.hiy);
}

std::size_t SegmentIndex::sortByLeft(const SegmentView& s, std::size_t first) const {
    byLeft_.clear();
    for (std::size_t r = first; r < runs_.size(); ++r) byLeft_.emplace_back(boxOf(s, runs_[r]).lox, std::uint32_t(r));
    std::sort(byLeft_.begin(), byLeft_.end());
    std::size_t pairs = 0;
    for (std::size_t a = 0; a < byLeft_.size(); ++a) {
        const auto reach = std::upper_bound(byLeft_.begin() + std::ptrdiff_t(a), byLeft_.end(),
                                            std::make_pair(boxOf(s, runs_[byLeft_[a].second]).hix, ~std::uint32_t(0)));
        pairs += std::size_t(reach - byLeft_.begin()) - a - 1;
    }
    return pairs;
}

// Seen from a centre c, a segment at distance r from c spans an arc of
// directions. Two points p and q seen at an angle a <= pi/2 apart lie at least
// min(|p - c|, |q - c|) sin a apart. So when the arcs of two segments, each
// widened by asin(reach / r) of its own r, do not overlap, the segments keep
// farther apart than reach. reach is near plus kRounding of the largest
// coordinate: far more than the rounding of the differences from c, of the
// angles and of r, which the widening must also cover. A segment within
// 2 reach of c is seen all around.
std::size_t SegmentIndex::sortByAngle(const SegmentView& s, double near, std::size_t first) const {
    constexpr std::size_t kNever = ~std::size_t(0);
    arcs_.clear();
    everywhere_.clear();
    if (!centreKnown_) {
        // The middle of the whole outline, the mean of the usable segments'
        // ends, sees its spikes edge on; and the largest coordinate.
        double sx = 0.0, sy = 0.0;
        std::size_t ends = 0;
        top_ = 0.0;
        for (const Run& r : runs_) {
            const krVector<2>& a = s.start(r.first);
            top_ = std::max({top_, std::fabs(a.x()), std::fabs(a.y())});
            for (std::size_t k = r.first; k < r.last; ++k) {
                const krVector<2>& e = s.end(k);
                sx += e.x();
                sy += e.y();
                top_ = std::max({top_, std::fabs(e.x()), std::fabs(e.y())});
                ++ends;
            }
        }
        centre_ = krVector<2>(sx / double(ends), sy / double(ends));
        centreKnown_ = true;
    }
    const krVector<2> c = centre_;
    const double top = top_;
    if (!std::isfinite(c.x()) || !std::isfinite(c.y()) || !(top < knTolerance::kHuge)) return kNever;
    const double reach = near + knTolerance::kRounding * top;
    forEachUsable(first, [&](std::size_t k) {
        const double r = krLineSeg(s.start(k), s.end(k)).distToPoint(c);
        if (!(r > 2 * reach)) {
            everywhere_.push_back(std::uint32_t(k));
            return;
        }
        const double widen = std::asin(reach / r) + knTolerance::kRoom;
        const krVector<2> a = s.start(k) - c, b = s.end(k) - c;
        const double ta = std::atan2(a.y(), a.x());
        double d = std::atan2(b.y(), b.x()) - ta;
        // The segment misses c, so it spans the shorter way round.
        if (d > kPi) d -= 2 * kPi;
        if (d < -kPi) d += 2 * kPi;
        const double lo = std::min(ta, ta + d) - widen, hi = std::max(ta, ta + d) + widen;
        if (!(hi - lo < 2 * kPi)) {
            everywhere_.push_back(std::uint32_t(k));
            return;
        }
        // Each arc once more a turn later, so that arcs meeting across the
        // cut at -pi meet on the line too.
        arcs_.push_back({lo, hi, std::uint32_t(k)});
        arcs_.push_back({lo + 2 * kPi, hi + 2 * kPi, std::uint32_t(k)});
    });
    std::sort(arcs_.begin(), arcs_.end());
    std::size_t pairs = everywhere_.size() * (everywhere_.size() + arcs_.size() / 2);
    for (std::size_t a = 0; a < arcs_.size(); ++a) {
        const Arc key{arcs_[a].hi, 0.0, 0};
        pairs += std::size_t(std::upper_bound(arcs_.begin() + std::ptrdiff_t(a), arcs_.end(), key) - arcs_.begin()) - a - 1;
    }
    return pairs;
}

}  // namespace qel::detail
