#include "cntr/contour.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "cntr/segindex.h"

// ---------------------------------------------------------------------------
// Vertex grid: the vertices bucketed into square cells one tolerance wide, so a
// query inspects only the nine cells around its own. Cells are kept in an
// open-addressing hash table whose entries chain the vertex indices of a cell in
// ascending order; lookups give exactly the cells and orders an ordered map of
// cells would, at a fraction of the cost to build.
class krVertexGrid {
public:
    krVertexGrid(const krContour::Points& points, double tolerance);
    double tolerance() const { return tolerance_; }
    // Appends to out, in query order, the vertices nearer to point than the tolerance.
    void query(const krContour::Points& points, const krVector<2>& point,
               std::vector<int>& out) const;

private:
    struct Cell {
        std::int32_t cx = 0, cy = 0;
        std::int32_t head = -1, tail = -1;  // first and last vertex of the cell; -1: slot empty
    };
    static std::int32_t round(double v);
    std::size_t slot(std::int32_t cx, std::int32_t cy) const;
    const Cell* find(std::int32_t cx, std::int32_t cy) const;

    double tolerance_;
    double scale_;
    std::vector<Cell> table_;         // size a power of two, at most half full
    std::vector<std::int32_t> next_;  // next vertex of the same cell, -1 at the end
};

// Half away from zero, then toward zero to 32 bits. Values outside the 32-bit
// range saturate (the clamp moves no two points farther apart in cells, so no
// neighbour is lost) and NaN goes to cell 0 (it is never near anything).
std::int32_t krVertexGrid::round(double v) {
    const double r = v >= 0.0 ? v + 0.5 : v - 0.5;
    if (!(r > -2147483648.0)) return std::isnan(r) ? 0 : std::numeric_limits<std::int32_t>::min();
    if (!(r < 2147483648.0)) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

std::size_t krVertexGrid::slot(std::int32_t cx, std::int32_t cy) const {
    std::uint64_t h = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(cx)) << 32) |
                      static_cast<std::uint32_t>(cy);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return static_cast<std::size_t>(h) & (table_.size() - 1);
}

krVertexGrid::krVertexGrid(const krContour::Points& points, double tolerance)
    : tolerance_(tolerance), scale_(1.0 / tolerance), next_(points.size(), -1) {
    std::size_t cap = 16;
    while (cap < 2 * points.size()) cap *= 2;
    table_.resize(cap);
    const std::size_t mask = cap - 1;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::int32_t cx = round(points[i].x() * scale_);
        const std::int32_t cy = round(points[i].y() * scale_);
        std::size_t s = slot(cx, cy);
        while (table_[s].head >= 0 && (table_[s].cx != cx || table_[s].cy != cy)) s = (s + 1) & mask;
        Cell& c = table_[s];
        const auto idx = static_cast<std::int32_t>(i);
        if (c.head < 0) {
            c.cx = cx;
            c.cy = cy;
            c.head = idx;
        } else {
            next_[c.tail] = idx;
        }
        c.tail = idx;
    }
}

const krVertexGrid::Cell* krVertexGrid::find(std::int32_t cx, std::int32_t cy) const {
    const std::size_t mask = table_.size() - 1;
    for (std::size_t s = slot(cx, cy); table_[s].head >= 0; s = (s + 1) & mask)
        if (table_[s].cx == cx && table_[s].cy == cy) return &table_[s];
    return nullptr;
}

void krVertexGrid::query(const krContour::Points& points, const krVector<2>& point,
                         std::vector<int>& out) const {
    const std::int64_t qx = round(point.x() * scale_);
    const std::int64_t qy = round(point.y() * scale_);
    const std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    const std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    for (std::int64_t x = qx - 1; x <= qx + 1; ++x) {
        if (x < lo || x > hi) continue;
        for (std::int64_t y = qy - 1; y <= qy + 1; ++y) {
            if (y < lo || y > hi) continue;
            const Cell* c = find(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
            if (!c) continue;
            for (std::int32_t j = c->head; j >= 0; j = next_[j])
                if (points[j].distance(point) < tolerance_) out.push_back(j);
        }
    }
}

// ---------------------------------------------------------------------------
// Construction, copying, comparison.

bool kr_XformKeyLess::operator()(const krXform<2>& a, const krXform<2>& b) const {
    const double ka[6] = {a.trans().x(),         a.trans().y(),         a.matrix().element(0, 0),
                          a.matrix().element(0, 1), a.matrix().element(1, 0), a.matrix().element(1, 1)};
    const double kb[6] = {b.trans().x(),         b.trans().y(),         b.matrix().element(0, 0),
                          b.matrix().element(0, 1), b.matrix().element(1, 0), b.matrix().element(1, 1)};
    for (int i = 0; i < 6; ++i) {
        if (kf_KeyLess(ka[i], kb[i])) return true;
        if (kf_KeyLess(kb[i], ka[i])) return false;
    }
    return false;
}

krContour::krContour(const Points& points, bool closed, unsigned long label)
    : label_(static_cast<std::uint32_t>(label)), closed(closed), points_(points) {
    initializePointers();
    krContour::cleanCacheInfo();
}

krContour::krContour(const krPolygon& polygon, unsigned long label)
    : label_(static_cast<std::uint32_t>(label)) {
    initializePointers();
    points_.reserve(polygon.size());
    for (std::size_t i = 0; i < polygon.size(); ++i) points_.push_back(polygon[i]);
    closed = points_.empty() || kfRealEq(points_.front(), points_.back(), 1e-15);
    krContour::cleanCacheInfo();
}

krContour::krContour(const krContour& src)
    : krPersistent(), krRepBase() {
    initializePointers();
    *this = src;
}

krContour::~krContour() { deletePointers(); }

namespace {
// Deep copy of an owned cache: this side gets the source's object or none.
template <class T>
void copyOwned(std::unique_ptr<T>& dst, const std::unique_ptr<T>& src) {
    if (!src)
        dst.reset();
    else if (dst)
        *dst = *src;
    else
        dst = std::make_unique<T>(*src);
}
}  // namespace

krContour& krContour::operator=(const krContour& src) {
    if (&src == this) return *this;
    label_ = src.label_;
    closed = src.closed;
    points_ = src.points_;
    cachedVectorSize_ = src.cachedVectorSize_;
    meanPositionValid = src.meanPositionValid;
    meanPosition_ = src.meanPosition_;
    lengthValid = src.lengthValid;
    length_ = src.length_;
    convexHullValid = src.convexHullValid;
    convexHull_ = src.convexHull_;
    circleValid = src.circleValid;
    circles = src.circles;
    ellipseValid = src.ellipseValid;
    ellipse = src.ellipse;
    ellipseResidual = src.ellipseResidual;
    selfIntersecting = src.selfIntersecting;
    selfIntersectingValid = src.selfIntersectingValid;
    lineSegsValid = src.lineSegsValid;
    lineSegs_ = src.lineSegs_;
    linesValid = src.linesValid;
    lines = src.lines;
    boxesValid = src.boxesValid;
    boxes = src.boxes;
    validLine_ = src.validLine_;
    medianFeatureSizeValid = src.medianFeatureSizeValid;
    medianFeatureSize_ = src.medianFeatureSize_;
    copyOwned(rectCache, src.rectCache);
    copyOwned(extremalCache, src.extremalCache);
    copyOwned(vertexGrids, src.vertexGrids);
    copyOwned(segmentIndex, src.segmentIndex);
    return *this;
}

bool krContour::operator==(const krContour& other) const {
    return isClosed() == other.isClosed() && points_ == other.points_ &&
           cachedVectorSize_ == other.cachedVectorSize_;
}

void krContour::initializePointers() {
    rectCache = nullptr;
    extremalCache = nullptr;
    vertexGrids = nullptr;
    segmentIndex = nullptr;
}

void krContour::deletePointers() {
    rectCache.reset();
    extremalCache.reset();
    vertexGrids.reset();
    segmentIndex.reset();
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
    if (n < 0) throw krContourDefs::BadParams();
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
    deletePointers();
    length_ = 0.0;
    meanPositionValid = lengthValid = convexHullValid = false;
    circleValid.clear();
    circleValid.resize(2, false);
    circles.resize(2, krCircle(krVector<2>(0.0, 0.0), 0.0));
    ellipseResidual = medianFeatureSize_ = 0.0;
    ellipseValid = selfIntersectingValid = lineSegsValid = linesValid = boxesValid = false;
    medianFeatureSizeValid = false;
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

double krContour::length() const {
    if (points_.empty()) return 0.0;
    if (lengthValid) return length_;
    double sum = 0.0;
    forEachSegment(points_, isClosed(),
                   [&](const krVector<2>& a, const krVector<2>& b) { sum += a.distance(b); });
    length_ = sum;
    lengthValid = true;
    return length_;
}

krVector<2> krContour::meanPosition() const {
    checkEmptyContour();
    if (meanPositionValid) return meanPosition_;
    double l = 0.0, sx = 0.0, sy = 0.0;
    forEachSegment(points_, isClosed(), [&](const krVector<2>& a, const krVector<2>& b) {
        const double d = a.distance(b);
        l += d;
        sx += 0.5 * (a.x() + b.x()) * d;
        sy += 0.5 * (a.y() + b.y()) * d;
    });
    if (l == 0.0) {
        // No length to weigh by: every point is the same point.
        meanPosition_ = points_.front();
    } else {
        const double f = 1.0 / l;
        meanPosition_ = krVector<2>(sx * f, sy * f);
    }
    meanPositionValid = true;
    return meanPosition_;
}

long krContour::closestVertexIndex(const krVector<2>& point) const {
    checkEmptyContour();
    double best = std::numeric_limits<double>::infinity();
    double bestSq = best;
    long index = 0;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const double dx = point.x() - points_[i].x(), dy = point.y() - points_[i].y();
        const double sq = dx * dx + dy * dy;
        // sqrt is monotone, so a larger square cannot give a strictly smaller
        // distance; only candidates that might win pay for the root.
        if (!(sq <= bestSq)) continue;
        const double d = std::sqrt(sq);
        if (d < best) {
            best = d;
            bestSq = sq;
            index = static_cast<long>(i);
        }
    }
    return index;
}

krVector<2> krContour::closestPoint(const krVector<2>& point, bool vertexOnly) const {
    checkEmptyContour();
    if (vertexOnly) return points_[closestVertexIndex(point)];
    double best = std::numeric_limits<double>::infinity();
    krVector<2> result(0.0, 0.0);
    forEachSegment(points_, isClosed(), [&](const krVector<2>& a, const krVector<2>& b) {
        const krLineSeg seg(a, b);
        const double d = seg.distToPoint(point);
        if (!(d < best)) return;
        best = d;
        const krVector<2> ab = b - a;
        const double dd = ab * ab;
        const double t = dd == 0.0 ? 0.0 : ((point - a) * ab) / dd;
        if (t <= 0.0)
            result = a;
        else if (t >= 1.0)
            result = b;
        else
            result = seg.line().proj(point).pos();
    });
    return result;
}

double krContour::distToPoint(const krVector<2>& point, bool vertexOnly) const {
    return closestPoint(point, vertexOnly).distance(point);
}

std::vector<int> krContour::vertexIndex(const krVector<2>& point, double tolerance) const {
    checkEmptyContour();
    if (!vertexGrids) vertexGrids = std::make_unique<std::vector<krVertexGrid>>();
    std::vector<int> result;
    // No distance is below a tolerance that is not positive (or is NaN).
    if (!(tolerance > 0.0)) return result;
    const krVertexGrid* grid = nullptr;
    for (const auto& g : *vertexGrids)
        if (g.tolerance() == tolerance) {
            grid = &g;
            break;
        }
    if (!grid) {
        vertexGrids->emplace_back(points_, tolerance);
        grid = &vertexGrids->back();
    }
    grid->query(points_, point, result);
    return result;
}

// ---------------------------------------------------------------------------
// Archive record. Version 1 is written: the persistence base, label, closed
// flag, point list, cachedVectorSize. Version 0, from older files, had a
// legacy base level in front and kept closed last; it is still read.

#include "platform/std/archive.h"

namespace {

// Where the contour record's version errors say they come from.
const char* const kContourSource = "src/tarn/cntr/contour";

// The level that version-0 contour records carry between the contour and its
// persistence base. It holds nothing any more: every such level is read into
// one scratch object and dropped.
class krContourBase : public virtual krPersistent, public virtual krRepBase {
public:
    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<krContourBase*>(this), sizeof(krContourBase), 0,
                         [&](unsigned char version) {
                             if (version != 0) throw krArchive::UnknownVersion(kContourSource, 894);
                             krPersistent::dispatchSerialize(ar);
                         });
    }
};

// Made on first use and kept until the library is unloaded. The visited marks
// last one object's operation, so each version-0 record reads its own legacy
// level even though they all land in this one object.
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
    if (version > 1) throw krArchive::UnknownVersion(kContourSource, 904);
    try {
        if (version == 1) {
            krPersistent::dispatchSerialize(ar);
            ar || label_ || closed;
            kfSerializeList(ar, points_);
            ar || cachedVectorSize_;
        } else {
            legacyContourBase().dispatchSerialize(ar);
            kfSerializeList(ar, points_);
            unsigned char dropped = 0;
            ar || dropped || cachedVectorSize_ || closed;
            label_ = 0;
        }
    } catch (...) {
        // What was read so far stays, but no cache may describe the old points.
        if (ar.isLoading()) cleanCacheInfo();
        throw;
    }
    // Loaded values are taken as they are (a negative cachedVectorSize too);
    // only the caches go.
    if (ar.isLoading()) cleanCacheInfo();
}
