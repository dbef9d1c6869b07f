// krContour: an open polyline or closed ring of plane points with a label,
// and the cached measures and queries of such a shape.
#ifndef QEL_CNTR_CONTOUR_H
#define QEL_CNTR_CONTOUR_H

#include <cstdint>
#include <memory>
#include <vector>

#include "cntr/support/boundedmap.h"
#include "cntr/support/cachelock.h"
#include "cntr/support/ownedcache.h"
#include "defs/cntrdefs.h"
#include "platform/disp/color.h"
#include "platform/disp/tablet.h"
#include "platform/std/angle.h"
#include "platform/std/ellipse.h"
#include "platform/std/geometry.h"
#include "platform/std/handle.h"
#include "platform/std/matrix.h"
#include "platform/std/persistent.h"
#include "platform/std/realeq.h"
#include "platform/std/vector.h"
#include "platform/std/xform.h"

namespace qel::detail {
class VertexGrid;
class SegmentIndex;
class NearestIndex;
struct NearestCursor;
struct SegmentView;
}  // namespace qel::detail

// Orders transforms by translation x, translation y, then the matrix elements
// (0,0), (0,1), (1,0), (1,1).
struct kr_XformKeyLess {
    bool operator()(const krXform<2>& a, const krXform<2>& b) const;
};

struct kr_AngleKeyLess {
    bool operator()(double a, double b) const { return qel::detail::keyLess(a, b); }
};

// An ordered list of points, open or closed, with a label the library carries
// but never reads. Every costly query keeps its answer until the points or the
// closed flag change. Segments are numbered in one order everywhere: a closed
// contour of n points has the closing segment (p[n-1], p[0]) first, then
// (p[k-1], p[k]) for k = 1 .. n-1; an open one has (p[k], p[k+1]).
//
// Not thread-safe per object: const queries fill caches. Distinct contours may
// be used from different threads at once, and so may contours that share a
// third one through handles (regions sharing a hole, sets sharing a member):
// a contour held by a handle fills its caches under its own lock, once.
class krContour : public virtual krPersistent, public virtual krRepBase {
public:
    typedef std::vector<krVector<2>> Points;

    explicit krContour(const Points& points = Points(), bool closed = true,
                       unsigned long label = 0);
    // The polygon's vertices, in order; closed when the first and last vertex
    // are equal within 1e-15 (the repeated vertex stays in the list). A polygon
    // without vertices gives an empty, closed contour.
    explicit krContour(const krPolygon& polygon, unsigned long label = 0);
    krContour(const krContour& src);
    krContour& operator=(const krContour& src);
    ~krContour() override;

    // The contour's record (version 1); version-0 records are read too.
    void dispatchSerialize(krArchive& ar) override;

    // ---- points, closed flag, label ----
    const Points& points() const { return points_; }
    virtual void points(const Points& v);
    virtual bool isClosed() const;
    virtual void isClosed(bool c);
    // Issues the polyline's segments to the tablet in segment order (a closed
    // contour starts with its closing segment, so one point draws one segment
    // to itself); an open contour of fewer than two points draws nothing. The
    // draw mode does not change what is drawn.
    virtual void draw(krUITablet& tablet, krContourDefs::DrawMode mode, const krColor& color,
                      const krUITablet::Layers& layers) const;

protected:
    // The body of the contour's record level, for the version given.
    virtual void serialize_(krArchive& ar, unsigned char version);

public:
    // The label is an unsigned 32-bit value: a larger argument keeps its low 32 bits.
    unsigned long label() const { return label_; }
    void label(unsigned long v);
    long cachedVectorSize() const { return cachedVectorSize_; }
    // Bound on the two keyed caches; n < 0 (or above the 32-bit range) throws
    // BadParams and changes nothing.
    void cachedVectorSize(long n);

    // Same closed flag, same coordinates in order (compared with ==) and the same
    // cachedVectorSize; the label is not compared.
    bool operator==(const krContour& other) const;
    bool operator!=(const krContour& other) const { return !(*this == other); }

    // ---- distances and vertices ----
    // Sum of the segment lengths; 0 for an empty contour.
    double length() const;
    // The centroid of the polyline as a uniform wire. For a contour whose points
    // all coincide (no length to weigh by) it is that common point.
    krVector<2> meanPosition() const;
    // Index of the nearest vertex; ties go to the lowest index.
    long closestVertexIndex(const krVector<2>& point) const;
    // The nearest point of the polyline (or, with vertexOnly, the nearest
    // vertex); ties go to the segment visited first.
    krVector<2> closestPoint(const krVector<2>& point, bool vertexOnly) const;
    double distToPoint(const krVector<2>& point, bool vertexOnly) const;
    // distToPoint for each of many points, in order, with the same answers
    // and errors; long lists are shared out among the machine's cores. It
    // builds the nearest-point index (kept with the caches), which the three
    // queries above then use for single points too.
    std::vector<double> distToPoints(const std::vector<krVector<2>>& points, bool vertexOnly) const;
    // Indices of the vertices nearer than tolerance: grouped by grid cell (rows
    // of cells x-1, x, x+1, each with y-1, y, y+1 around the query's cell),
    // ascending within a cell. One grid per distinct tolerance is built and
    // kept. A tolerance that is not a positive number finds nothing and builds
    // no grid.
    std::vector<int> vertexIndex(const krVector<2>& point, double tolerance) const;

    // ---- extremes and enclosing shapes ----
    long extremalVertexIndex(const krRadian& angle) const;
    krVector<2> extremalVertexPosition(const krRadian& angle) const;
    krRect encloseRect(const krXform<2>& xform) const;
    krCircle encloseCircle(krContourDefs::DiameterMode mode) const;
    double diameter(krContourDefs::DiameterMode mode) const;
    void fitEllipse(krEllipse& ellipse, double& residual) const;

    // ---- mapping and conversion ----
    // out becomes this contour's vertices mapped by xform, with its closed flag
    // and label; out's cachedVectorSize is the default and its caches are
    // empty. out may be this contour.
    void map(const krXform<2>& xform, krContour& out) const;
    // The vertices as a polygon (fill mode 0); a closed contour repeats its
    // first vertex at the end. An empty contour, closed or not, gives an empty
    // polygon, which the polygon constructor turns back into an empty contour.
    krPolygon polygon() const;
    // out becomes the convex hull of the points (kfConvexHull's corners, in its
    // order) as a region taken as it is. The hull region is made once and then
    // shared, also by copies of this contour. Fewer than two points throw
    // EmptyContour and leave out unchanged.
    void convexHull(krRegion& out) const;

    // ---- intersections ----
    std::vector<krVector<2>> intersections(const krLineSeg& seg, bool includeEnds) const;
    std::vector<krVector<2>> intersections(const krContour& other) const;
    bool isSelfIntersecting() const;

protected:
    void checkEmptyContour() const;
    virtual void makeDataConsistentWithPoints();
    virtual void makePointsConsistentWithData();
    virtual void cleanCacheInfo();
    // Replaces the points without the consistency hook.
    void setPoints(const Points& v);

    double medianFeatureSize() const;

    // The segment tables, built once per state of the contour in one pass:
    // validLine marks the segments that are not degenerate and segmentIndex
    // groups them for box queries. lineSegs() holds every segment in segment
    // order (a default segment where the two ends are equal within 1e-15); it
    // is filled on first request, as the queries read the segments from the
    // points. A segment's line is lineSegs()[k].line() and its box the box of
    // its two ends. lineSegsValid, linesValid and boxesValid are set and
    // cleared together.
    void computeLineSegs() const;
    qel::detail::SegmentView segmentView() const;
    const std::vector<krLineSeg>& lineSegs() const;
    const std::vector<bool>& validLine() const;
    // The hits of seg with this contour in order along seg, and in indices the
    // segment number of each.
    std::vector<krVector<2>> intersections(const krLineSeg& seg, std::vector<int>& indices,
                                           bool includeEnds) const;
    // intersections(seg, false).size(), without building the list.
    long crossingCount(const krLineSeg& seg) const;
    // closestPoint, through the kept nearest-point index where there is one,
    // starting from where a batch stands (`at`: the answer for a point close
    // by, which this call's answer replaces); the answer is closestPoint's.
    // Without the index, `at` is left as it is.
    krVector<2> closestPointFrom(const krVector<2>& point, bool vertexOnly, qel::detail::NearestCursor& at) const;
    // Builds the nearest-point index unless it is kept (or the coordinates
    // are not all finite), so that the closest-point queries only read.
    void prepareNearest() const;
    // Whether the kept index shows every point of the contour farther from p
    // than d; false without one.
    bool nearestBeyond(const krVector<2>& p, double d) const;
    // The kept nearest-point index once prepareNearest has published it;
    // null before, and where there is none.
    const qel::detail::NearestIndex* nearestIndex() const {
        const Caches* k = cache_.peek();
        return k && k->nearestTried ? k->nearestIndex.get() : nullptr;
    }

    typedef qel::detail::BoundedMap<krXform<2>, krRect, kr_XformKeyLess> RectCache;
    typedef qel::detail::BoundedMap<double, long, kr_AngleKeyLess> ExtremalCache;

    std::uint32_t label_ = 0;
    bool closed = true;
    Points points_;
    std::int32_t cachedVectorSize_ = 3;

    // Every cached answer with its flag. cleanCacheInfo() replaces the whole
    // record by a fresh one and assignment copies it whole (the owned caches
    // deeply), so a cache added here is dropped and copied with the others.
    // The record is made by the first query that needs it, so a contour that
    // is only built, copied and dropped never sets it up.
    // A value counts only while its flag is set, and is filled under the
    // contour's CacheLock (the keyed caches and vertexGrids are also read
    // under it), so that a shared contour fills each cache once.
    struct Caches {
        qel::detail::CacheFlag meanPositionValid;
        krVector<2> meanPosition{};
        qel::detail::CacheFlag lengthValid;
        double length = 0.0;
        qel::detail::CacheFlag convexHullValid;
        krPtrHandle_const<krRegion> convexHull;
        qel::detail::OwnedCache<RectCache> rectCache;
        // One entry per DiameterMode, sized on first use.
        std::vector<bool> circleValid;
        std::vector<krCircle> circles;
        qel::detail::OwnedCache<ExtremalCache> extremalCache;
        qel::detail::CacheFlag ellipseValid;
        krEllipse ellipse;
        double ellipseResidual = 0.0;
        bool selfIntersecting = false;
        qel::detail::CacheFlag selfIntersectingValid;
        qel::detail::CacheFlag lineSegsValid;
        std::vector<krLineSeg> lineSegs;
        qel::detail::CacheFlag lineSegsBuilt;  // lineSegs is filled for this state
        qel::detail::CacheFlag linesValid;
        qel::detail::CacheFlag boxesValid;
        std::vector<bool> validLine;
        qel::detail::CacheFlag medianFeatureSizeValid;
        double medianFeatureSize = 0.0;
        qel::detail::OwnedCache<std::vector<qel::detail::VertexGrid>> vertexGrids;
        // Box tree over the segment table, built with it.
        qel::detail::OwnedCache<qel::detail::SegmentIndex> segmentIndex;
        // The closest-point queries' index, shared by copies; null until a
        // batch query builds it, and where the coordinates are not finite.
        // Read only once nearestTried is set.
        qel::detail::CacheFlag nearestTried;
        std::shared_ptr<const qel::detail::NearestIndex> nearestIndex;
    };
    qel::detail::OwnedRecord<Caches> cache_;

private:
    // The segment index of an earlier state, kept for its storage; never
    // copied with the contour.
    mutable std::unique_ptr<qel::detail::SegmentIndex> spareIndex_;

    static krPersistent* make();
    static kr_Instantiator sExemplar;
};

#endif
