#include "cntr/contour.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "cntr/support/foreachpoint.h"
#include "cntr/flags.h"
#include "cntr/moments.h"
#include "cntr/index/nearestindex.h"
#include "cntr/region.h"
#include "cntr/index/segmentindex.h"
#include "cntr/support/crossing.h"
#include "cntr/support/nearness.h"
#include "cntr/support/tolerance.h"
#include "cntr/support/vertexpasses.h"
#include "cntr/index/vertexgrid.h"
#include "platform/std/archive.h"
#include "platform/std/hull.h"

using namespace qel::detail;

using knTolerance::kEqual;
using knTolerance::kPairReach;
using knTolerance::kSquareFloor;

// ---------------------------------------------------------------------------
// Construction, copying, comparison.

bool kr_XformKeyLess::operator()(const krXform<2>& a, const krXform<2>& b) const {
    const double ka[6] = {a.trans().x(),         a.trans().y(),         a.matrix().element(0, 0),
                          a.matrix().element(0, 1), a.matrix().element(1, 0), a.matrix().element(1, 1)};
    const double kb[6] = {b.trans().x(),         b.trans().y(),         b.matrix().element(0, 0),
                          b.matrix().element(0, 1), b.matrix().element(1, 0), b.matrix().element(1, 1)};
    for (int i = 0; i < 6; ++i) {
        if (keyLess(ka[i], kb[i])) return true;
        if (keyLess(kb[i], ka[i])) return false;
    }
    return false;
}

// The caches of a new contour start out empty and its pointers null: there is
// nothing to drop, and no one tracks its mutations yet.
krContour::krContour(const Points& points, bool closed, unsigned long label)
    : label_(static_cast<std::uint32_t>(label)), closed(closed), points_(points) {}

krContour::krContour(const krPolygon& polygon, unsigned long label)
    : label_(static_cast<std::uint32_t>(label)) {
    points_.reserve(polygon.size());
    for (std::size_t i = 0; i < polygon.size(); ++i) points_.push_back(polygon[i]);
    closed = points_.empty() || kfRealEq(points_.front(), points_.back(), kEqual);
    krContour::cleanCacheInfo();
}

krContour::krContour(const krContour& src)
    : krPersistent(), krRepBase() {
    *this = src;
}

// The owned caches and the spare index go with their members.
krContour::~krContour() = default;

// The caches are copied into a local first; the members then take them
// over by swaps and moves, which cannot throw. So an assignment that fails
// part-way (out of memory) leaves this contour as it was, its flags still
// describing its own points.
krContour& krContour::operator=(const krContour& src) {
    if (&src == this) return *this;
    Points points = src.points_;
    OwnedRecord<Caches> caches = src.cache_;

    label_ = src.label_;
    closed = src.closed;
    points_.swap(points);
    cachedVectorSize_ = src.cachedVectorSize_;
    cache_ = std::move(caches);
    return *this;
}

bool krContour::operator==(const krContour& other) const {
    return isClosed() == other.isClosed() && points_ == other.points_ &&
           cachedVectorSize_ == other.cachedVectorSize_;
}


// ---------------------------------------------------------------------------
// Mutators and the cache rule.

void krContour::points(const Points& v) {
    cleanCacheInfo();
    points_ = v;
    makeDataConsistentWithPoints();
}

void krContour::setPoints(const Points& v) {
    cleanCacheInfo();
    points_ = v;
}

bool krContour::isClosed() const { return closed; }

void krContour::isClosed(bool c) {
    closed = c;
    // Even an unchanged flag drops the caches: callers use it to force a recompute.
    cleanCacheInfo();
}

void krContour::label(unsigned long v) {
    notifyMutation();
    label_ = static_cast<std::uint32_t>(v);
}

void krContour::cachedVectorSize(long n) {
    // The bound is a 32-bit value (it is archived as one); a larger one is as
    // unusable as a negative one.
    if (n < 0 || n > std::numeric_limits<std::int32_t>::max()) throw krContourDefs::BadParams();
    notifyMutation();
    cachedVectorSize_ = static_cast<std::int32_t>(n);
}

void krContour::checkEmptyContour() const {
    if (points_.size() < 2) throw krContourDefs::EmptyContour();
}

void krContour::makeDataConsistentWithPoints() { cleanCacheInfo(); }
void krContour::makePointsConsistentWithData() { cleanCacheInfo(); }

void krContour::cleanCacheInfo() {
    notifyMutation();
    // A contour that was never asked anything has no record to drop.
    Caches* k = cache_.peek();
    if (!k) return;
    // A fresh record in place of the old: every flag false, the owned caches
    // deleted, the cached hull released. Nothing in it allocates. The segment
    // index and the validity bits keep their storage for the next build: a
    // contour whose points change is usually asked again.
    if (k->segmentIndex) spareIndex_ = std::move(k->segmentIndex);
    std::vector<bool> valid;
    valid.swap(k->validLine);
    *k = Caches();
    k->validLine.swap(valid);
}

// ---------------------------------------------------------------------------
// Distances and vertices.

namespace {
// Calls f(A, B) for every segment in segment order.
template <class F>
void forEachSegment(const krContour::Points& p, bool closed, F&& f) {
    const std::size_t n = p.size();
    if (n == 0) return;
    if (closed) f(p[n - 1], p[0]);
    for (std::size_t k = 1; k < n; ++k) f(p[k - 1], p[k]);
}
}  // namespace

// Length and mean position sum their segments in eight running sums (see
// SegmentSums), merged in one fixed order: the same bits on every machine,
// and within rounding of the sum taken in segment order.
double krContour::length() const {
    if (points_.empty()) return 0.0;
    if (cache_->lengthValid) return cache_->length;
    CacheLock lock(*this);
    if (cache_->lengthValid) return cache_->length;
    cache_->length = mergeEight(sumSegments(points_.data(), points_.size(), isClosed(), false).length);
    cache_->lengthValid = true;
    return cache_->length;
}

krVector<2> krContour::meanPosition() const {
    checkEmptyContour();
    if (cache_->meanPositionValid) return cache_->meanPosition;
    CacheLock lock(*this);
    if (cache_->meanPositionValid) return cache_->meanPosition;
    const SegmentSums s = sumSegments(points_.data(), points_.size(), isClosed(), true);
    const double l = mergeEight(s.length);
    if (l == 0.0) {
        // No length to weigh by: every point is the same point.
        cache_->meanPosition = points_.front();
    } else {
        const double f = 1.0 / l;
        cache_->meanPosition = krVector<2>(mergeEight(s.x) * f, mergeEight(s.y) * f);
    }
    cache_->meanPositionValid = true;
    return cache_->meanPosition;
}

namespace {
bool finite(const krVector<2>& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }
}  // namespace

void krContour::prepareNearest() const {
    if (cache_->nearestTried || points_.size() < 2) return;
    CacheLock lock(*this);
    if (cache_->nearestTried) return;
    auto index = std::make_shared<NearestIndex>();
    if (index->build(segmentView())) cache_->nearestIndex = std::move(index);
    cache_->nearestTried = true;
}

bool krContour::nearestBeyond(const krVector<2>& p, double d) const {
    const NearestIndex* index = nearestIndex();
    return index && index->beyond(p, d);
}

long krContour::closestVertexIndex(const krVector<2>& point) const {
    checkEmptyContour();
    if (const NearestIndex* index = nearestIndex(); index && finite(point))
        return static_cast<long>(index->nearestVertex(segmentView(), point));
    double best = std::numeric_limits<double>::infinity();
    double bestSq = best;
    long index = 0;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const double dx = point.x() - points_[i].x(), dy = point.y() - points_[i].y();
        const double sq = dx * dx + dy * dy;
        // Where both squares are in the range in which kfLength takes the
        // plain root, a larger square cannot give a strictly smaller distance,
        // so only candidates that might win pay for the root. Squares that
        // overflow or fall below that range prove nothing: those candidates
        // are measured.
        if (sq > bestSq && bestSq >= kSquareFloor && sq <= std::numeric_limits<double>::max()) continue;
        const double d = kfLength(dx, dy);
        if (d < best) {
            best = d;
            bestSq = sq;
            index = static_cast<long>(i);
        }
    }
    return index;
}

namespace {
// The point of segment a-b nearest p: an end, or the foot of the perpendicular.
krVector<2> footOnSegment(const krVector<2>& a, const krVector<2>& b, const krVector<2>& p) {
    const krVector<2> ab = b - a;
    const double dd = ab * ab, along = (p - a) * ab;
    if (!(dd >= kSquareFloor && dd <= std::numeric_limits<double>::max() && std::isfinite(along)) &&
        (ab.x() != 0.0 || ab.y() != 0.0)) {
        // The squares overflow (lengths past about 1e154) or lose their
        // digits (below about 1e-135). Scaled by a power of two the same
        // steps round the same way, so the foot found in a copy whose largest
        // coordinate is about 1/4, scaled back, is the one exact arithmetic
        // would give. Coordinates that are not finite are left as they are,
        // and so is a copy already at that scale: there the segment is too
        // short beside its coordinates for its square to tell, and a square
        // that has vanished altogether gives the first end, as a segment of
        // no length does.
        const double m = std::max({std::fabs(a.x()), std::fabs(a.y()), std::fabs(b.x()), std::fabs(b.y()),
                                   std::fabs(p.x()), std::fabs(p.y())});
        // One step of at most 2^1000 either way, so that 1/f stays finite;
        // a second call finishes what the first could not.
        // (A coordinate that is not a number can leave m at 0.)
        const double f = std::isfinite(m) && m > 0.0
                             ? std::ldexp(1.0, std::clamp(-std::ilogb(m) - 2, -1000, 1000))
                             : 1.0;
        if (f != 1.0) return footOnSegment(a * f, b * f, p * f) * (1.0 / f);
    }
    const double t = dd == 0.0 ? 0.0 : along / dd;
    if (t <= 0.0) return a;
    if (t >= 1.0) return b;
    return krLineSeg(a, b).line().proj(p).pos();
}
}  // namespace

krVector<2> krContour::closestPoint(const krVector<2>& point, bool vertexOnly) const {
    NearestCursor at;
    return closestPointFrom(point, vertexOnly, at);
}

krVector<2> krContour::closestPointFrom(const krVector<2>& point, bool vertexOnly, NearestCursor& at) const {
    checkEmptyContour();
    if (const NearestIndex* index = nearestIndex(); index && finite(point)) {
        const SegmentView s = segmentView();
        if (vertexOnly) return points_[at.hint = index->nearestVertex(s, point, at.hint)];
        const std::size_t k = index->nearestSegment(s, point, at);
        return k == NearestIndex::kNone ? krVector<2>(0.0, 0.0) : footOnSegment(s.start(k), s.end(k), point);
    }
    if (vertexOnly) return points_[closestVertexIndex(point)];
    double best = std::numeric_limits<double>::infinity();
    double bestBound = best;  // best^2 with room for rounding, see below
    // The nearest segment so far; its foot is worked out once, at the end.
    const krVector<2>*nearA = nullptr, *nearB = nullptr;
    const double px = point.x(), py = point.y();
    const auto consider = [&](const krVector<2>& a, const krVector<2>& b) {
        // The distance to the segment's bounding box is a lower bound of the
        // distance to the segment. When its square exceeds best^2 by far more
        // than rounding could account for (a relative 1e-9 against a few ulps),
        // the segment cannot come strictly closer and is passed over without
        // its divisions and root. NaN never skips.
        const double gx = std::max({std::min(a.x(), b.x()) - px, px - std::max(a.x(), b.x()), 0.0});
        const double gy = std::max({std::min(a.y(), b.y()) - py, py - std::max(a.y(), b.y()), 0.0});
        if (gx * gx + gy * gy > bestBound) return;
        const krLineSeg seg(a, b);
        const double d = seg.distToPoint(point);
        if (!(d < best)) return;
        best = d;
        bestBound = std::min(bestBound, beyondSquare(d));
        nearA = &a;
        nearB = &b;
    };
    const Points& p = points_;
    const std::size_t n = p.size();
    // A long pass starts from the bound of the nearest of a few hundred
    // segments spread along it, so that the box test passes over most
    // segments from the first block on. Only the bound is taken: the segments
    // as near as the answer all pass it, and the pass still meets them in
    // order, so ties go to the lowest number as without it.
    if (n >= 4096 && std::isfinite(px) && std::isfinite(py)) {
        const std::size_t step = n / 256;
        for (std::size_t i = step; i < n; i += step) {
            const double d = krLineSeg(p[i - 1], p[i]).distToPoint(point);
            if (d == d) bestBound = std::min(bestBound, beyondSquare(d));
        }
    }
    if (isClosed()) consider(p[n - 1], p[0]);
    std::size_t k = 1;
    // The box test above on blocks of 64 segments, in lanes, against the
    // bound as it stands at the block's start. The bound only shrinks, so
    // every segment the block test passes over the test above would pass over
    // too. Segments with a coordinate that is not finite (and points that are
    // not) take the test above, which owns their NaNs.
    if (std::isfinite(px) && std::isfinite(py)) {
        const auto nearSegments = vertexPasses().nearSegments;
        const double* xy = reinterpret_cast<const double*>(p.data());
        for (; k + 64 <= n; k += 64)
            for (std::uint64_t todo = nearSegments(xy + 2 * k, px, py, bestBound); todo != 0; todo &= todo - 1) {
                const std::size_t i = k + static_cast<std::size_t>(__builtin_ctzll(todo));
                consider(p[i - 1], p[i]);
            }
    }
    for (; k < n; ++k) consider(p[k - 1], p[k]);
    return nearA ? footOnSegment(*nearA, *nearB, point) : krVector<2>(0.0, 0.0);
}

double krContour::distToPoint(const krVector<2>& point, bool vertexOnly) const {
    return closestPoint(point, vertexOnly).distance(point);
}

std::vector<double> krContour::distToPoints(const std::vector<krVector<2>>& points, bool vertexOnly) const {
    if (points.empty()) return {};
    checkEmptyContour();
    prepareNearest();
    // The threads only read the index. Near points are taken one after
    // another, each starting its search from the answer for the last.
    const auto distance = [&](const krVector<2>& p, NearestCursor& at) {
        return closestPointFrom(p, vertexOnly, at).distance(p);
    };
    std::vector<std::uint32_t> order;
    if (nearestIndex()) order = NearestIndex::nearbyOrder(points);
    if (!order.empty()) return mapPointsInOrder<double>(points, order, NearestCursor(), distance);
    return mapPoints<double>(points, [&](const krVector<2>& p) { return distToPoint(p, vertexOnly); });
}

std::vector<int> krContour::vertexIndex(const krVector<2>& point, double tolerance) const {
    checkEmptyContour();
    // The grids are found, added and read under the lock: adding one moves
    // the others.
    CacheLock lock(*this);
    if (!cache_->vertexGrids) cache_->vertexGrids = std::make_unique<std::vector<VertexGrid>>();
    std::vector<int> result;
    // No distance is below a tolerance that is not positive (or is NaN).
    if (!(tolerance > 0.0)) return result;
    const VertexGrid* grid = nullptr;
    for (const auto& g : *cache_->vertexGrids)
        if (g.tolerance() == tolerance) {
            grid = &g;
            break;
        }
    if (!grid) {
        cache_->vertexGrids->emplace_back(points_, tolerance);
        grid = &cache_->vertexGrids->back();
    }
    grid->query(points_, point, result);
    return result;
}

// ---------------------------------------------------------------------------
// Extremes and enclosing shapes.

namespace {
const krXform<2> kIdentity(krMatrix<2>(), krVector<2>(0.0, 0.0));
}  // namespace

long krContour::extremalVertexIndex(const krRadian& angle) const {
    checkEmptyContour();
    // A keyed cache: its entries give way to new ones, so it is read under
    // the lock too.
    CacheLock lock(*this);
    if (!cache_->extremalCache) cache_->extremalCache = std::make_unique<ExtremalCache>();
    const double key = angle.toDouble();
    if (const long* hit = cache_->extremalCache->find(key)) return *hit;

    const double c = cos(angle), s = sin(angle);
    const krVector<2> d(c, s);
    // Along the axes the exact coordinates score, so that vertices on one axis
    // line tie exactly and the lowest index wins.
    enum { kPlusX, kMinusX, kPlusY, kMinusY, kOther } dir = kOther;
    if (kfRealEq(d, krVector<2>(1.0, 0.0), kEqual))
        dir = kPlusX;
    else if (kfRealEq(d, krVector<2>(-1.0, 0.0), kEqual))
        dir = kMinusX;
    else if (kfRealEq(d, krVector<2>(0.0, 1.0), kEqual))
        dir = kPlusY;
    else if (kfRealEq(d, krVector<2>(0.0, -1.0), kEqual))
        dir = kMinusY;
    double best = -1.7976931348623157e308;
    long index = -1;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const krVector<2>& p = points_[i];
        double score;
        switch (dir) {
            case kPlusX: score = p.x(); break;
            case kMinusX: score = -p.x(); break;
            case kPlusY: score = p.y(); break;
            case kMinusY: score = -p.y(); break;
            default: score = c * p.x() + s * p.y(); break;
        }
        if (best < score) {
            best = score;
            index = static_cast<long>(i);
        }
    }
    cache_->extremalCache->insert(key, index, cachedVectorSize_);
    return index;
}

krVector<2> krContour::extremalVertexPosition(const krRadian& angle) const {
    const long i = extremalVertexIndex(angle);
    // Only vertices that are not numbers can leave every score unbeaten.
    if (i < 0) throw krContourDefs::BadParams(L"no vertex scores in this direction");
    return points_[static_cast<std::size_t>(i)];
}

krRect krContour::encloseRect(const krXform<2>& xform) const {
    checkEmptyContour();
    // A keyed cache: its entries give way to new ones, so it is read under
    // the lock too.
    CacheLock lock(*this);
    if (!cache_->rectCache) cache_->rectCache = std::make_unique<RectCache>();
    if (const krRect* hit = cache_->rectCache->find(xform)) return *hit;

    const bool identity = kfRealEq(xform.trans(), krVector<2>(0.0, 0.0), kEqual) &&
                          kfRealEq(xform.matrix(), krMatrix<2>(), kEqual);
    krRect rect;
    if (identity) {
        rect = boundingRect(points_.data(), points_.size());
    } else {
        const krVector<2> zero(0.0, 0.0);
        rect = krRect(xform * points_[0], zero);
        for (std::size_t i = 1; i < points_.size(); ++i) rect = rect.enclose(krRect(xform * points_[i], zero));
    }
    cache_->rectCache->insert(xform, rect, cachedVectorSize_);
    return rect;
}

krCircle krContour::encloseCircle(krContourDefs::DiameterMode mode) const {
    if (mode != krContourDefs::eExact && mode != krContourDefs::eFast)
        throw krContourDefs::BadParams(L"diameterMode is not one of the valid enums");
    const std::size_t m = static_cast<std::size_t>(mode);
    CacheLock lock(*this);
    if (cache_->circleValid.size() <= m) cache_->circleValid.resize(m + 1, false);
    if (cache_->circles.size() <= m)
        cache_->circles.resize(m + 1, krCircle(krVector<2>(0.0, 0.0), 0.0));
    if (cache_->circleValid[m]) return cache_->circles[m];

    const std::size_t n = points_.size();
    if (mode == krContourDefs::eExact) {
        // A contour whose vertices all coincide gets the circle of radius 0 at
        // that point; an empty one the circle of radius 0 at the origin.
        cache_->circles[m] = krCircle(n ? points_[0] : krVector<2>(0.0, 0.0), 0.0);
        // The first pair (i outer, j inner) reaching the largest distance sets the
        // circle. The pair (j, i) has the very same distance as (i, j) and i == j
        // has none, so only j > i can improve; and a square no larger than the
        // best cannot give a strictly larger root, so such pairs skip the sqrt.
        double best = 0.0, bestSq = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const krVector<2>& a = points_[i];
            for (std::size_t j = i + 1; j < n; ++j) {
                const double dx = a.x() - points_[j].x(), dy = a.y() - points_[j].y();
                const double sq = dx * dx + dy * dy;
                if (!(sq > bestSq)) continue;
                const double d = std::sqrt(sq);
                if (best < d) {
                    best = d;
                    bestSq = sq;
                    cache_->circles[m] = krCircle(0.5 * (a + points_[j]), 0.5 * d);
                }
            }
        }
    } else {
        if (n == 0) throw krContourDefs::EmptyContour();
        double r = 0.0;
        for (std::size_t i = 1; i < n; ++i) r = std::max(r, points_[0].distance(points_[i]));
        cache_->circles[m] = krCircle(points_[0], r);
    }
    cache_->circleValid[m] = true;
    return cache_->circles[m];
}

double krContour::diameter(krContourDefs::DiameterMode mode) const {
    const double r = encloseCircle(mode).radius();
    return r + r;
}

double krContour::medianFeatureSize() const {
    checkEmptyContour();
    if (cache_->medianFeatureSizeValid) return cache_->medianFeatureSize;
    CacheLock lock(*this);
    if (cache_->medianFeatureSizeValid) return cache_->medianFeatureSize;
    std::vector<double> lengths;
    lengths.reserve(points_.size());
    forEachSegment(points_, isClosed(), [&](const krVector<2>& a, const krVector<2>& b) {
        lengths.push_back(a.distance(b));
    });
    // The element a full ascending sort would put at count / 2; lengths that are
    // not numbers sort last.
    auto mid = lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 2);
    std::nth_element(lengths.begin(), mid, lengths.end(), keyLess);
    cache_->medianFeatureSize = *mid;
    cache_->medianFeatureSizeValid = true;
    return cache_->medianFeatureSize;
}

void krContour::fitEllipse(krEllipse& out, double& residual) const {
    checkEmptyContour();
    if (!cache_->ellipseValid) {
        CacheLock lock(*this);
        if (!cache_->ellipseValid) {
            kf_FitEllipse(points_, cache_->ellipse, cache_->ellipseResidual);
            cache_->ellipseValid = true;
        }
    }
    out = cache_->ellipse;
    residual = cache_->ellipseResidual;
}

// ---------------------------------------------------------------------------
// Segment tables and intersections.

void krContour::computeLineSegs() const {
    if (cache_->lineSegsValid && cache_->linesValid && cache_->boxesValid) return;
    CacheLock lock(*this);
    if (cache_->lineSegsValid && cache_->linesValid && cache_->boxesValid) return;
    // One pass over the points marks the degenerate segments and builds the
    // index; the queries read the segments from the points themselves. The
    // table of krLineSeg values is written only when someone asks for it.
    if (!cache_->segmentIndex)
        cache_->segmentIndex = spareIndex_ ? std::move(spareIndex_) : std::make_unique<SegmentIndex>();
    cache_->segmentIndex->build(segmentView(), cache_->validLine);
    cache_->lineSegsBuilt = false;
    cache_->lineSegsValid = cache_->linesValid = cache_->boxesValid = true;
}

SegmentView krContour::segmentView() const {
    return {points_.data(), points_.size(), isClosed()};
}

const std::vector<krLineSeg>& krContour::lineSegs() const {
    computeLineSegs();
    if (!cache_->lineSegsBuilt) {
        CacheLock lock(*this);
        if (cache_->lineSegsBuilt) return cache_->lineSegs;
        const SegmentView s = segmentView();
        cache_->lineSegs.assign(cache_->validLine.size(), krLineSeg());
        for (std::size_t k = 0; k < cache_->lineSegs.size(); ++k)
            if (cache_->validLine[k]) cache_->lineSegs[k] = krLineSeg(s.start(k), s.end(k));
        cache_->lineSegsBuilt = true;
    }
    return cache_->lineSegs;
}

const std::vector<bool>& krContour::validLine() const {
    computeLineSegs();
    return cache_->validLine;
}

namespace {
// Orders hits along the query by t = (P - p1).(p2 - p1) with the exchange sort
// that fixes where hits with equal keys end up: for a < b, entries a and b swap
// when b's key is strictly smaller. With distinct keys (the usual case) that
// order is simply ascending, so larger lists take a sort and only lists with
// ties or unordered keys run the exchange itself.
void sortAlong(const krLineSeg& seg, std::vector<krVector<2>>& pts, std::vector<int>& idx) {
    const std::size_t m = pts.size();
    const krVector<2> dir = seg.p2() - seg.p1();
    std::vector<double> key(m);
    for (std::size_t i = 0; i < m; ++i) key[i] = (pts[i] - seg.p1()) * dir;

    auto exchange = [&] {
        for (std::size_t a = 0; a + 1 < m; ++a)
            for (std::size_t b = a + 1; b < m; ++b)
                if (key[b] < key[a]) {
                    std::swap(key[a], key[b]);
                    std::swap(pts[a], pts[b]);
                    std::swap(idx[a], idx[b]);
                }
    };
    if (m < 32) return exchange();
    std::vector<std::size_t> order(m);
    for (std::size_t i = 0; i < m; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key[a] < key[b]; });
    for (std::size_t i = 0; i + 1 < m; ++i)
        if (!(key[order[i]] < key[order[i + 1]])) return exchange();  // a tie or a NaN
    std::vector<krVector<2>> p2(m);
    std::vector<int> i2(m);
    for (std::size_t i = 0; i < m; ++i) {
        p2[i] = pts[order[i]];
        i2[i] = idx[order[i]];
    }
    pts.swap(p2);
    idx.swap(i2);
}
}  // namespace

std::vector<krVector<2>> krContour::intersections(const krLineSeg& seg, std::vector<int>& indices,
                                                  bool includeEnds) const {
    checkEmptyContour();
    indices.clear();
    std::vector<krVector<2>> result;
    const Box box = Box::of(seg.p1(), seg.p2());
    if (!Box::of(encloseRect(kIdentity)).overlaps(box)) return result;
    computeLineSegs();
    // The index hands out the usable segments whose boxes overlap, in
    // ascending order: the segments the plain scan would not skip on those two
    // tests, in the plain scan's order, less those that can keep no crossing.
    const SegmentView s = segmentView();
    const krLine line = seg.line();
    const auto near = [&seg](const Box& b) {
        return segmentNearBox(seg, b.lox, b.loy, b.hix, b.hiy);
    };
    cache_->segmentIndex->forEachOverlap(s, box, near, [&](std::size_t k) {
        krVector<2> p{};
        if (keptCrossing(seg, line, includeEnds, krLineSeg(s.start(k), s.end(k)), p)) {
            result.push_back(p);
            indices.push_back(static_cast<int>(k));
        }
    });
    sortAlong(seg, result, indices);
    return result;
}

long krContour::crossingCount(const krLineSeg& seg) const {
    checkEmptyContour();
    const Box box = Box::of(seg.p1(), seg.p2());
    if (!Box::of(encloseRect(kIdentity)).overlaps(box)) return 0;
    computeLineSegs();
    const krLine line = seg.line();
    const QuickCrossing quick(seg);
    const auto near = [&seg](const Box& b) {
        return segmentNearBox(seg, b.lox, b.loy, b.hix, b.hiy);
    };
    const SegmentView s = segmentView();
    long count = 0;
    cache_->segmentIndex->forEachOverlap(s, box, near, [&](std::size_t k) {
        const krLineSeg own(s.start(k), s.end(k));
        int kept = quick(own);
        if (kept < 0) {
            krVector<2> p{};
            kept = keptCrossing(seg, line, knFlags::kWithoutEnds, own, p);
        }
        count += kept;
    });
    return count;
}

std::vector<krVector<2>> krContour::intersections(const krLineSeg& seg, bool includeEnds) const {
    std::vector<int> scratch;
    return intersections(seg, scratch, includeEnds);
}

std::vector<krVector<2>> krContour::intersections(const krContour& other) const {
    checkEmptyContour();
    std::vector<krVector<2>> result;
    forEachSegment(other.points_, other.isClosed(), [&](const krVector<2>& a, const krVector<2>& b) {
        const std::vector<krVector<2>> hits = intersections(krLineSeg(a, b), knFlags::kWithEnds);
        result.insert(result.end(), hits.begin(), hits.end());
    });
    return result;
}

bool krContour::isSelfIntersecting() const {
    if (points_.empty()) return false;
    if (cache_->selfIntersectingValid) return cache_->selfIntersecting;
    // The pair search uses the segment index's scratch: one thread at a time.
    CacheLock lock(*this);
    if (cache_->selfIntersectingValid) return cache_->selfIntersecting;
    computeLineSegs();
    // The contour crosses itself when some valid segment's own query (ends
    // excluded) keeps a hit. A hit of query k from segment j needs their boxes
    // to overlap, so only the pairs the index hands out are tried, each both
    // ways. The answer does not depend on the order the pairs come in: the
    // tests are pure and raise nothing (lines are intersected only where
    // they are not parallel).
    // Below two valid segments nothing can cross (and a closed contour of one
    // point that is not a number has one "valid" segment but no rectangle).
    // A segment's query first tests its box against the contour's rectangle,
    // which is cached as the queries would. The rectangle holds every finite
    // point, unless the first point is not a number: then it overlaps nothing
    // and no query finds anything. Segments with coordinates that are not
    // finite are not in the index. A kept hit lies within kContact of both
    // segments, so they come within kPairReach of each other: pairs farther apart
    // need no test.
    const std::vector<bool>& usable = cache_->validLine;
    const auto valid = std::find(usable.begin(), usable.end(), true);
    const bool twoValid =
        valid != usable.end() && std::find(valid + 1, usable.end(), true) != usable.end();
    if (twoValid) encloseRect(kIdentity);
    bool found = false;
    const krVector<2>& first = points_.front();
    if (twoValid && !std::isnan(first.x()) && !std::isnan(first.y())) {
        const SegmentView s = segmentView();
        found = !cache_->segmentIndex->forEachPair(s, kPairReach, [&](std::size_t k, std::size_t j) {
            const krVector<2>&a1 = s.start(k), &a2 = s.end(k), &b1 = s.start(j), &b2 = s.end(j);
            // Segments sharing an end point keep nothing either way: that
            // end lies at distance 0 from the other segment.
            if (a1 == b1 || a1 == b2 || a2 == b1 || a2 == b2) return true;
            if (apart(a1, a2, b1, b2, kPairReach) || apart(b1, b2, a1, a2, kPairReach)) return true;
            const krLineSeg sk(a1, a2), sj(b1, b2);
            krVector<2> p{};
            return !(keptCrossing(sk, sk.line(), knFlags::kWithoutEnds, sj, p) ||
                     keptCrossing(sj, sj.line(), knFlags::kWithoutEnds, sk, p));
        });
    }
    cache_->selfIntersecting = found;
    cache_->selfIntersectingValid = true;
    return found;
}

// ---------------------------------------------------------------------------
// Archive record. Version 1 is written: the persistence base, label, closed
// flag, point list, cachedVectorSize. Version 0, from older files, had a
// legacy base level in front and kept closed last; it is still read.

namespace {

// Where the contour record's version errors say they come from.
// Frozen: the place and line numbers are part of the archive format; they
// name throw sites that readers of the format know, not lines of this file,
// and never follow edits here.
const char* const kContourSource = "src/tarn/cntr/contour";
const long kContourBaseLine = 894;  // the legacy base level of version-0 records
const long kContourLine = 904;      // the contour level

// The level that version-0 contour records carry between the contour and its
// persistence base. It holds nothing any more: every such level is read into
// one scratch object and dropped.
class krContourBase : public virtual krPersistent, public virtual krRepBase {
public:
    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<krContourBase*>(this), sizeof(krContourBase), 0,
                         [&](unsigned char version) {
                             if (version != 0)
                                 throw krArchive::UnknownVersion(kContourSource, kContourBaseLine);
                             krPersistent::dispatchSerialize(ar);
                         });
    }
};

// Made on first use and kept until the library is unloaded. Every version-0
// record reads its own legacy level into it, each in a fresh set of visited
// marks (see serialize_).
krContourBase& legacyContourBase() {
    static krContourBase scratch;
    return scratch;
}

}  // namespace

krPersistent* krContour::make() { return new krContour(); }

kr_Instantiator krContour::sExemplar(typeid(krContour), &krContour::make, "krContour");

void krContour::dispatchSerialize(krArchive& ar) {
    // A direct call: a derived class's serialize_ nests this whole record in its own.
    kfSerializeLevel(ar, static_cast<krContour*>(this), sizeof(krContour), 1,
                     [&](unsigned char version) { krContour::serialize_(ar, version); });
}

void krContour::serialize_(krArchive& ar, unsigned char version) {
    if (version > 1) throw krArchive::UnknownVersion(kContourSource, kContourLine);
    // Loaded values are taken as they are (a negative cachedVectorSize too);
    // only the caches go.
    kfSerializeFields(
        ar,
        [&] {
            if (version == 1) {
                krPersistent::dispatchSerialize(ar);
                ar || label_ || closed;
                kfSerializeList(ar, points_);
                ar || cachedVectorSize_;
                return;
            }
            // A fresh set of visited marks: within one object's operation (a
            // record holding two contours by value) the scratch level would
            // otherwise count as read already and be skipped.
            {
                krArchive::ObjectScope fresh;
                legacyContourBase().dispatchSerialize(ar);
            }
            kfSerializeList(ar, points_);
            unsigned char dropped = 0;
            ar || dropped || cachedVectorSize_ || closed;
            label_ = 0;
        },
        [&] { cleanCacheInfo(); });
}

// ---------------------------------------------------------------------------
// Mapping, conversion and drawing

void krContour::map(const krXform<2>& xform, krContour& out) const {
    // The mapped points are complete before out changes, so out may be this.
    Points mapped(points_.size());
    for (std::size_t i = 0; i < points_.size(); ++i) mapped[i] = xform * points_[i];
    out = krContour(mapped, isClosed(), label_);
}

krPolygon krContour::polygon() const {
    if (!isClosed() || points_.empty()) return krPolygon(points_, 0);
    Points ring;
    ring.reserve(points_.size() + 1);
    ring = points_;
    ring.push_back(points_.front());
    return krPolygon(ring, 0);
}

void krContour::convexHull(krRegion& out) const {
    checkEmptyContour();
    if (!cache_->convexHullValid) {
        CacheLock lock(*this);
        if (!cache_->convexHullValid) {
            cache_->convexHull =
                krPtrHandle_const<krRegion>(new krRegion(kfConvexHull(points_), krContourDefs::eAsIs));
            cache_->convexHullValid = true;
        }
    }
    // Held here while out is assigned: out may be this very region, whose
    // assignment drops its own handle to the hull.
    const krPtrHandle_const<krRegion> hull = cache_->convexHull;
    out = *hull;
}

void krContour::draw(krUITablet& tablet, krContourDefs::DrawMode, const krColor& color,
                     const krUITablet::Layers& layers) const {
    const std::size_t n = points_.size();
    std::size_t i = isClosed() ? 0 : 1;
    std::size_t previous = isClosed() ? n - 1 : 0;
    for (; i < n; ++i) {
        tablet.drawLineSeg(points_[previous], points_[i], color, layers);
        previous = i;
    }
}
