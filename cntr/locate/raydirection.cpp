#include "cntr/locate/raydirection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>


#include "cntr/support/lanes.h"
#include "cntr/locate/quadrants.h"
#include "cntr/support/tolerance.h"
#include "platform/std/angle.h"

namespace qel::detail {

#if defined(QEL_AVX_SCREEN)
// screenBlock<0> on four lanes (raydirection_avx.cpp); only for machines with AVX.
std::uint64_t screenFirstQuarterAvx(const double* xy, double px, double py, double near, double qHigh,
                                       double lastQuarter, bool useless);
#endif

// How the first wide gap is found without sorting n angles.
//
// Angles are bucketed by a pseudo-angle q in [0, 4): a quarter turn per unit,
// y / (x + y) within the first quadrant and likewise in the others. q grows
// with the angle, at between 1/2 and 1 unit per radian, and costs a division
// instead of an atan2. Buckets are 1 / (8n) wide in q. A gap wider than pi / n
// radians spans more than pi / (2n) in q, more than twelve buckets, so it
// always leaves whole buckets empty, with room to spare that dwarfs the
// rounding of q and of atan2 (a few 1e-16) for any n that fits in memory.
// Conversely gaps without an empty bucket between their ends cannot be wide,
// so only the gaps at runs of empty buckets are candidates; the span of the
// run's buckets already rules out most of them (what the angle can grow over
// it), the pseudo-angles of its neighbours most of the rest, and only the
// vertices in the two buckets on either side of a run that is still in doubt
// need exact angles. A vertex's bucket may be off by one from its exact
// angle's only where it sits on a bucket border, so the neighbour bucket on
// the far side is taken in as well.
//
// The walk visits the buckets in order. Almost always the first wide gap lies
// among the few smallest angles, so a first pass keeps only the entries of the
// lowest groups of eight buckets and walks those. The window fills up to
// 2 kFront entries and is then cut back to at most kFront by dropping whole
// groups from the top, so a cut costs little per entry, and a vertex whose
// pseudo-angle is surely above the window is dropped with a multiplication,
// no division. Only when the window cannot decide does a second pass mark the
// buckets of all vertices and walk the marks, which is linear too.
//
// Angles just below a full turn may round to exactly 0 in norm(); their
// pseudo-angle is just below 4. Such vertices sit in the top two buckets,
// where the exact angle is taken and those that came out below a half turn are
// moved to bucket 0, keeping the buckets in the order of the exact angles.

namespace {

using knTolerance::kContact;
using knTolerance::kHuge;
using knTolerance::kRounding;

// A vertex nearer than kContact to the point is on it. Squared distances above
// twice kContact^2 are surely farther, rounding included; only those at or below
// take the root.
constexpr double kNearSquare = 2 * kContact * kContact;

struct Entry {
    std::uint64_t bucket;
    std::size_t index;
};

// Working lists, kept per thread from one search to the next so that a large
// search does not pay for fresh memory every time.
struct Scratch {
    std::vector<Entry> front;
    std::vector<std::uint64_t> bucket, used, wanted, marks;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
};
Scratch& scratch() {
    thread_local Scratch s;
    return s;
}

bool byBucket(const Entry& a, const Entry& b) { return a.bucket < b.bucket; }

constexpr std::size_t kFront = 64;

double exactAngle(const krVector<2>& v, const krVector<2>& p) {
    return (v - p).angle().norm().toDouble();
}

// The pseudo-angle of a direction that is not (0, 0) and has no NaN.
// Inlined into the passes over all vertices, where a call costs as much as the work.
#define QEL_HOT inline __attribute__((always_inline))

QEL_HOT double pseudoAngle(double x, double y) {
    if (std::isinf(x) || std::isinf(y)) {
        // atan2 sees only the infinite components, by sign.
        x = std::isinf(x) ? std::copysign(1.0, x) : 0.0;
        y = std::isinf(y) ? std::copysign(1.0, y) : 0.0;
    } else if (std::fabs(x) > kHuge || std::fabs(y) > kHuge) {
        x *= 0.0625;  // keeps |x| + |y| finite; the ratio does not change
        y *= 0.0625;
    }
    return Quadrants<ScalarLane>(x, y).pseudoAngle();
}

class GapSearch {
public:
    GapSearch(const std::vector<krVector<2>>& points, const krVector<2>& p)
        : pts_(points), p_(p), n_(points.size()), minGap_(kPi / static_cast<double>(n_)),
          buckets_(32 * static_cast<std::uint64_t>(n_)), scale_(8.0 * static_cast<double>(n_)) {}

    RayDirection run();

private:
    enum Outcome { kFound, kNone, kUndecided };

    QEL_HOT Entry entryOf(std::size_t i, double x, double y) const;
    // The pseudo-angle of an entry, as its bucket was found from.
    double q(const Entry& e) const;
    bool surelyAbove(double x, double y) const;
    // Of the 64 vertices from i on, the bit of each that the first pass must
    // look at: a vertex may be passed over when it is not near p and it is
    // surely above the window (or there is no window).
    std::uint64_t screen(std::size_t i, bool useless) const;
    // The screen of the 64 vertices at xy against a window that ends in
    // quadrant m, on lanes L.
    template <class L>
    std::uint64_t screenWindow(const double* xy, int m, bool useless) const;
    // Whether the pair of groups [lo, t) and [t, hi) may hold a gap wider
    // than minGap, judged from pseudo-angles alone.
    bool mayBeWide(const std::vector<Entry>& e, std::size_t lo, std::size_t t, std::size_t hi) const;
    // Whether the angles of pseudo-angles q0 < q1 may lie more than minGap apart.
    bool spanMayBeWide(double q0, double q1) const;
    // The same for the span from the start of bucket s to the end of bucket t.
    bool bucketsMayBeWide(std::uint64_t s, std::uint64_t t) const;
    Outcome walk(const std::vector<Entry>& e, bool complete, std::uint64_t last);
    // Exact extreme angle over the entries [from, to).
    double maxAngle(const std::vector<Entry>& e, std::size_t from, std::size_t to) const;
    double minAngle(const std::vector<Entry>& e, std::size_t from, std::size_t to) const;
    bool tryGap(double from, double to);
    // The search over all vertices, in steps: every vertex's bucket marked
    // (one by one, or two at a time on SSE2 lanes), then the runs of empty
    // buckets walked in order, then the wrap from the last used bucket round
    // to the first.
    void searchAll();
    static constexpr std::uint64_t kNoBucket = ~std::uint64_t(0);  // no angle
    void markBucket(std::size_t i, std::uint64_t b);
    void markOne(std::size_t i);
    void markBuckets();
#if defined(__SSE2__)
    std::size_t markPairsSse2();
#endif
    bool isUsed(std::uint64_t b) const;
    // The first used bucket from `from` on, or buckets_.
    std::uint64_t nextUsed(std::uint64_t from) const;
    // The sides of a run: its used buckets and the used neighbours beyond.
    std::uint64_t low(std::uint64_t b) const { return b > 0 && isUsed(b - 1) ? b - 1 : b; }
    std::uint64_t high(std::uint64_t b) const { return isUsed(b + 1) ? b + 1 : b; }
    // Tries the gap between used buckets s and t, whose entries front_
    // holds; with screened, only where pseudo-angles say it may be wide.
    bool gapBetween(std::uint64_t s, std::uint64_t t, bool screened);
    // Walks the runs of empty buckets from first on; true when a gap was
    // found, else last is the last used bucket.
    bool walkRuns(std::uint64_t first, std::uint64_t& last);
    // The entries of the buckets in wanted, sorted by bucket, into front_.
    void gather(const std::vector<std::uint64_t>& wanted);
    // The entries of buckets from .. to in front_, which must hold them all.
    std::pair<std::size_t, std::size_t> range(std::uint64_t from, std::uint64_t to) const;

    const std::vector<krVector<2>>& pts_;
    krVector<2> p_{};
    std::size_t n_;
    double minGap_;
    std::uint64_t buckets_;  // 32n buckets of 1 / (8n) in q
    double scale_;
    double qHigh_ = 4.0;  // pseudo-angles above it are past the window
    // The part of the last quarter turn from which a pseudo-angle may round to
    // a full turn: worked out once, not per vertex.
    double lastQuarter_ = 1.0 - 2.0 / static_cast<double>(n_);
    Lanes lanes_ = widestLanes();
    Scratch& sc_ = scratch();  // fetched once: every use of a thread_local pays a call
    std::vector<Entry>& front_ = sc_.front;
    RayDirection result_;
};

QEL_HOT Entry GapSearch::entryOf(std::size_t i, double x, double y) const {
    // b is never negative and far below 2^63, so truncation is its floor,
    // and cheaper than floor without rounding instructions.
    const double b = pseudoAngle(x, y) * scale_;
    Entry e{b > 0.0 ? static_cast<std::uint64_t>(static_cast<std::int64_t>(b)) : 0, i};
    if (e.bucket >= buckets_ - 2) {
        e.bucket = std::min(e.bucket, buckets_ - 1);
        if (exactAngle(pts_[i], p_) < kPi) e.bucket = 0;
    }
    return e;
}

double GapSearch::q(const Entry& e) const {
    const krVector<2>& v = pts_[e.index];
    const double a = pseudoAngle(v.x() - p_.x(), v.y() - p_.y());
    return e.bucket == 0 && a > 2.0 ? 0.0 : a;  // moved down from a full turn
}

// The cheap test of the first pass: a multiplication instead of a division.
// It answers true only when the pseudo-angle is above qHigh_ by more than its
// rounding, and never for what may round to a full turn (the top buckets) or
// has a NaN, an infinity or an overflowing sum, which entryOf sorts out.
bool GapSearch::surelyAbove(double x, double y) const {
    const Quadrants<ScalarLane> v(x, y);
    int k = 0;
    while (k < 4 && !v.q[k]) ++k;
    if (k == 4 || (k == 3 && !v.notFull(lastQuarter_))) return false;
    const double f = qHigh_ - k;
    if (f >= 1.0) return false;
    return f <= 0.0 || v.t(k) > f * v.s(k);
}

std::uint64_t GapSearch::screen(std::size_t i, bool useless) const {
    // The screens read the points as x and y in turn.
    static_assert(std::is_standard_layout<krVector<2>>::value && sizeof(krVector<2>) == 2 * sizeof(double),
                  "a point is two doubles");
    const double* xy = reinterpret_cast<const double*>(&pts_[i]);
    const double m = std::floor(qHigh_);
    if (m < qHigh_ && m < 4.0) {
#if defined(QEL_AVX_SCREEN)
        if (lanes_ >= Lanes::eAvx && m == 0.0)
            return screenFirstQuarterAvx(xy, p_.x(), p_.y(), kNearSquare, qHigh_, lastQuarter_, useless);
#endif
#if defined(__SSE2__)
        if (lanes_ != Lanes::eScalar) return screenWindow<Sse2Lane>(xy, static_cast<int>(m), useless);
#endif
        return screenWindow<ScalarLane>(xy, static_cast<int>(m), useless);
    }
    // A window that ends on a quarter turn (or past the last): vertex by vertex.
    std::uint64_t todo = 0;
    for (unsigned k = 0; k < 64; ++k) {
        const double x = pts_[i + k].x() - p_.x(), y = pts_[i + k].y() - p_.y();
        if (!(x * x + y * y > kNearSquare && (useless || surelyAbove(x, y))))
            todo |= std::uint64_t(1) << k;
    }
    return todo;
}

template <class L>
std::uint64_t GapSearch::screenWindow(const double* xy, int m, bool useless) const {
    const double px = p_.x(), py = p_.y(), f = qHigh_ - m;
    switch (m) {
        case 0: return screenBlock<0, L>(xy, px, py, kNearSquare, f, lastQuarter_, useless);
        case 1: return screenBlock<1, L>(xy, px, py, kNearSquare, f, lastQuarter_, useless);
        case 2: return screenBlock<2, L>(xy, px, py, kNearSquare, f, lastQuarter_, useless);
        default: return screenBlock<3, L>(xy, px, py, kNearSquare, f, lastQuarter_, useless);
    }
}

bool GapSearch::mayBeWide(const std::vector<Entry>& e, std::size_t lo, std::size_t t,
                          std::size_t hi) const {
    double q0 = 0.0, q1 = 8.0;
    for (std::size_t k = lo; k < t; ++k) q0 = std::max(q0, q(e[k]));
    for (std::size_t k = t; k < hi; ++k) q1 = std::min(q1, q(e[k]));
    return spanMayBeWide(q0, q1);
}

bool GapSearch::spanMayBeWide(double q0, double q1) const {
    // The angle grows by dq / (r^2 + (1 - r)^2) with r the fraction of the
    // quarter turn, a slope that is smallest (1/2) at r = 1/2.
    const double k0 = std::floor(q0), r0 = q0 - k0, r1 = q1 - k0;
    double slope = 0.5;
    if (std::floor(q1) == k0 && !(r0 <= 0.5 && 0.5 <= r1)) {
        const double r = r1 < 0.5 ? r1 : r0;
        slope = r * r + (1.0 - r) * (1.0 - r);
    }
    // Generous room for the rounding of q and of atan2 (a few 1e-16): kRounding
    // of their size, which is below 2 pi.
    return (q1 - q0) / slope > minGap_ - kRounding;
}

bool GapSearch::bucketsMayBeWide(std::uint64_t s, std::uint64_t t) const {
    // The angle grows at most twice as fast as q, so a span of 13 buckets, a
    // little over pi / (2n) in q, is the least that can be wide (the room
    // for rounding is far below what the thirteenth bucket adds). Most spans
    // are shorter, and this spares them the division.
    return t + 1 - s > 12 &&
           spanMayBeWide(static_cast<double>(s) / scale_, static_cast<double>(t + 1) / scale_);
}

double GapSearch::maxAngle(const std::vector<Entry>& e, std::size_t from, std::size_t to) const {
    double m = -1.0;
    for (std::size_t k = from; k < to; ++k) m = std::max(m, exactAngle(pts_[e[k].index], p_));
    return m;
}

double GapSearch::minAngle(const std::vector<Entry>& e, std::size_t from, std::size_t to) const {
    double m = 8.0;
    for (std::size_t k = from; k < to; ++k) m = std::min(m, exactAngle(pts_[e[k].index], p_));
    return m;
}

// The gap from angle `from` up to angle `to`, measured as the sort's walk does.
bool GapSearch::tryGap(double from, double to) {
    const krRadian gap = krRadian(to - from).norm();
    if (!(gap.toDouble() > minGap_)) return false;
    result_.direction = krVector<2>(1.0, krRadian(from) + gap * 0.5);
    return true;
}

// e is sorted by bucket. When it is not complete it holds exactly the entries
// of buckets 0 .. last, and a candidate whose far side reaches past last, or
// running off the end, leaves the question open.
GapSearch::Outcome GapSearch::walk(const std::vector<Entry>& e, bool complete, std::uint64_t last) {
    if (e.empty()) return complete ? kNone : kUndecided;
    // The groups of equal buckets: [s, t) is the current one, [ps, s) the one before.
    auto groupEnd = [&](std::size_t s) {
        std::size_t t = s + 1;
        while (t < e.size() && e[t].bucket == e[s].bucket) ++t;
        return t;
    };
    // The start of the group before [s, ...) when its bucket is the adjacent one.
    std::size_t ps = 0, s = 0, t = groupEnd(0);
    bool hasPrev = false;
    const std::size_t firstEnd = t;
    while (t < e.size()) {
        const std::size_t u = groupEnd(t);
        if (e[t].bucket >= e[s].bucket + 2) {
            if (!complete && e[t].bucket + 1 > last) return kUndecided;
            const std::size_t lo = hasPrev && e[ps].bucket + 1 == e[s].bucket ? ps : s;
            const std::size_t hi = u < e.size() && e[u].bucket == e[t].bucket + 1 ? groupEnd(u) : u;
            // From the buckets' edges alone first, then from the pseudo-angles,
            // and only then from exact angles.
            if (bucketsMayBeWide(e[s].bucket, e[t].bucket) && mayBeWide(e, lo, t, hi) &&
                tryGap(maxAngle(e, lo, t), minAngle(e, t, hi)))
                return kFound;
        }
        ps = s;
        hasPrev = true;
        s = t;
        t = u;
    }
    if (!complete) return kUndecided;
    // The wrap from the largest angle round to the smallest.
    const std::size_t lo = hasPrev && e[ps].bucket + 1 == e[s].bucket ? ps : s;
    const std::size_t hi =
        firstEnd < e.size() && e[firstEnd].bucket == e[0].bucket + 1 ? groupEnd(firstEnd) : firstEnd;
    return tryGap(maxAngle(e, lo, e.size()), minAngle(e, 0, hi)) ? kFound : kNone;
}

void GapSearch::gather(const std::vector<std::uint64_t>& wanted) {
    // The wanted buckets are marked in a bit set as wide as used (all clear
    // on entry), so that each vertex takes one bit test; the marks are taken
    // off again afterwards.
    const std::vector<std::uint64_t>& bucket = sc_.bucket;
    std::vector<std::uint64_t>& marks = sc_.marks;
    for (std::uint64_t b : wanted) marks[b / 64] |= std::uint64_t(1) << (b % 64);
    front_.clear();
    for (std::size_t i = 0; i < n_; ++i) {
        const std::uint64_t b = bucket[i];
        if (b < buckets_ && (marks[b / 64] >> (b % 64)) & 1) front_.push_back({b, i});
    }
    for (std::uint64_t b : wanted) marks[b / 64] = 0;
    std::sort(front_.begin(), front_.end(), byBucket);
}

std::pair<std::size_t, std::size_t> GapSearch::range(std::uint64_t from, std::uint64_t to) const {
    const auto lo = std::lower_bound(front_.begin(), front_.end(), Entry{from, 0}, byBucket);
    const auto hi = std::upper_bound(front_.begin(), front_.end(), Entry{to, 0}, byBucket);
    return {static_cast<std::size_t>(lo - front_.begin()), static_cast<std::size_t>(hi - front_.begin())};
}

// Every vertex: its bucket is kept and the bucket marked used. The runs of
// empty buckets come straight from the marks, and only the runs that could
// be wide need the entries on their two sides, gathered for a few runs at a
// time in the order of the walk.
void GapSearch::searchAll() {
    markBuckets();
    const std::uint64_t first = nextUsed(0);
    if (first == buckets_) return;  // no vertex has an angle
    std::uint64_t last;
    if (walkRuns(first, last)) return;
    // The wrap from the largest angle round to the smallest.
    std::vector<std::uint64_t>& wanted = sc_.wanted;
    wanted.assign({low(last), last, first, high(first)});
    std::sort(wanted.begin(), wanted.end());
    gather(wanted);
    gapBetween(last, first, false);
}

QEL_HOT void GapSearch::markBucket(std::size_t i, std::uint64_t b) {
    sc_.bucket[i] = b;
    if (b != kNoBucket) sc_.used[b / 64] |= std::uint64_t(1) << (b % 64);
}

QEL_HOT void GapSearch::markOne(std::size_t i) {
    const double x = pts_[i].x() - p_.x(), y = pts_[i].y() - p_.y();
    markBucket(i, std::isnan(x) || std::isnan(y) ? kNoBucket : entryOf(i, x, y).bucket);
}

void GapSearch::markBuckets() {
    sc_.bucket.resize(n_);
    sc_.used.assign(static_cast<std::size_t>((buckets_ + 63) / 64), 0);
    sc_.marks.assign(sc_.used.size(), 0);
    std::size_t i = 0;
#if defined(__SSE2__)
    if (lanes_ != Lanes::eScalar && buckets_ <= (std::uint64_t(1) << 31)) i = markPairsSse2();
#endif
    for (; i < n_; ++i) markOne(i);
}

#if defined(__SSE2__)
// Two vertices at a time while buckets fit in 31 bits. A pair with a
// direction that is huge, infinite, not a number or (0, 0), or that may round
// up to a full turn, goes one by one. Returns the first vertex not marked.
std::size_t GapSearch::markPairsSse2() {
    const __m128d px = _mm_set1_pd(p_.x()), py = _mm_set1_pd(p_.y()), scale = _mm_set1_pd(scale_);
    const __m128d huge = _mm_set1_pd(kHuge), top = _mm_set1_pd(static_cast<double>(buckets_ - 2));
    std::size_t i = 0;
    for (; i + 2 <= n_; i += 2) {
        const krVector<2>&a = pts_[i], &b = pts_[i + 1];
        const Quadrants<Sse2Lane> v(_mm_sub_pd(laneXs(a, b), px), _mm_sub_pd(laneYs(a, b), py));
        const __m128d q = v.pseudoAngle(), at = _mm_mul_pd(q, scale);
        const __m128d plain = _mm_and_pd(_mm_and_pd(laneWithin(v.x, huge), laneWithin(v.y, huge)),
                                         _mm_or_pd(_mm_or_pd(v.q[0], v.q[1]), _mm_or_pd(v.q[2], v.q[3])));
        if (_mm_movemask_pd(_mm_andnot_pd(_mm_cmpge_pd(at, top), plain)) != 3) {
            markOne(i);
            markOne(i + 1);
            continue;
        }
        const __m128i k = _mm_cvttpd_epi32(at);
        markBucket(i, static_cast<std::uint32_t>(_mm_cvtsi128_si32(k)));
        markBucket(i + 1, static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(k, 1))));
    }
    return i;
}
#endif

bool GapSearch::isUsed(std::uint64_t b) const { return b < buckets_ && (sc_.used[b / 64] >> (b % 64)) & 1; }

std::uint64_t GapSearch::nextUsed(std::uint64_t from) const {
    const std::vector<std::uint64_t>& used = sc_.used;
    std::size_t w = static_cast<std::size_t>(from / 64);
    if (w >= used.size()) return buckets_;
    std::uint64_t bits = used[w] & (~std::uint64_t(0) << (from % 64));
    while (bits == 0) {
        if (++w == used.size()) return buckets_;
        bits = used[w];
    }
    return std::uint64_t(w) * 64 + static_cast<std::uint64_t>(__builtin_ctzll(bits));
}

bool GapSearch::gapBetween(std::uint64_t s, std::uint64_t t, bool screened) {
    const auto lo = range(low(s), s);
    const auto hi = range(t, high(t));
    if (screened && !mayBeWide(front_, lo.first, hi.first, hi.second)) return false;
    return tryGap(maxAngle(front_, lo.first, lo.second), minAngle(front_, hi.first, hi.second));
}

bool GapSearch::walkRuns(std::uint64_t first, std::uint64_t& last) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>>& runs = sc_.runs;
    std::vector<std::uint64_t>& wanted = sc_.wanted;
    std::uint64_t s = first, t = nextUsed(s + 1);
    for (std::size_t batch = 256;; batch *= 16) {
        runs.clear();
        for (; t != buckets_ && runs.size() < batch; s = t, t = nextUsed(t + 1)) {
            if (bucketsMayBeWide(s, t)) runs.push_back({s, t});
        }
        if (runs.empty()) break;
        wanted.clear();
        for (const auto& r : runs)
            for (std::uint64_t b : {low(r.first), r.first, r.second, high(r.second)}) wanted.push_back(b);
        std::sort(wanted.begin(), wanted.end());
        gather(wanted);
        for (const auto& r : runs)
            if (gapBetween(r.first, r.second, true)) return true;
    }
    last = s;
    return false;
}

RayDirection GapSearch::run() {
    // First pass: the vertex test, and the entries of the lowest groups of
    // eight buckets, at most 2 kFront of them. Once the window was cut down it
    // holds every entry of groups 0 .. limit.
    bool cut = false, useless = false;
    std::uint64_t limit = 0;
    front_.clear();
    // One vertex; true when it lies on p.
    auto step = [&](std::size_t i) {
        const double x = pts_[i].x() - p_.x(), y = pts_[i].y() - p_.y();
        const double s = x * x + y * y;
        if (s <= kNearSquare && std::sqrt(s) <= kContact) return true;
        if (useless || (cut && surelyAbove(x, y)) || std::isnan(x) || std::isnan(y)) return false;
        const Entry entry = entryOf(i, x, y);
        if (cut && entry.bucket / 8 > limit) return false;
        front_.push_back(entry);
        if (front_.size() <= 2 * kFront) return false;
        // Down to at most kFront entries: the groups from that of the entry
        // of rank kFront on go. Cutting by half keeps the cost per entry flat.
        std::nth_element(front_.begin(), front_.begin() + kFront, front_.end(), byBucket);
        const std::uint64_t top = front_[kFront].bucket / 8;
        front_.erase(std::remove_if(front_.begin(), front_.end(),
                                    [top](const Entry& e) { return e.bucket / 8 >= top; }),
                     front_.end());
        cut = true;
        useless = top == 0;  // group 0 alone is too full: no window at all
        limit = useless ? 0 : top - 1;
        qHigh_ = static_cast<double>(8 * (limit + 1)) / scale_ * (1.0 + kRounding) + kRounding;
        return false;
    };
    // Once the window is cut, blocks of 64 vertices are screened at once and
    // only the few that need it go through step. A cut within a block only
    // lowers qHigh_, which keeps every vertex screened out surely above it.
    for (std::size_t i = 0; i < n_; i += 64) {
        const std::size_t count = std::min<std::size_t>(64, n_ - i);
        std::uint64_t todo = cut && count == 64 ? screen(i, useless) : ~std::uint64_t(0) >> (64 - count);
        for (; todo != 0; todo &= todo - 1)
            if (step(i + static_cast<std::size_t>(__builtin_ctzll(todo)))) {
                result_.onVertex = true;
                return result_;
            }
    }
    if (!useless) {
        std::sort(front_.begin(), front_.end(), byBucket);
        if (walk(front_, !cut, limit * 8 + 7) != kUndecided) return result_;
    }
    searchAll();
    return result_;
}

}  // namespace

RayDirection rayDirection(const std::vector<krVector<2>>& points, const krVector<2>& p) {
    return GapSearch(points, p).run();
}

}  // namespace qel::detail
