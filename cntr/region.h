// krRegion: a closed contour with holes, its surface measures, point queries
// and the repaired forms (outer hull, regularized outline) of a boundary that
// crosses itself.
#ifndef QEL_CNTR_REGION_H
#define QEL_CNTR_REGION_H

#include <cstdint>
#include <memory>
#include <vector>

#include "cntr/contour.h"
#include "platform/disp/tablet.h"

// The measures a region and a region set cache alike, each with its flag and
// one set per value of considerHoles, and their two repaired forms, which are
// shared by handle. The inertia with holes of a region is kept beside the
// others, but nothing computes it.
struct kr_SurfaceMeasures {
    qel::detail::Kept<double> area;
    qel::detail::Kept<krVector<2>> com;
    qel::detail::Kept<krMatrix<2>> inertia;
};

template <class Shape>
struct kr_SurfaceCaches {
    kr_SurfaceMeasures measures[2];  // by considerHoles
    qel::detail::CacheFlag regularizedValid;
    krPtrHandle_const<Shape> regularized;
    qel::detail::CacheFlag outerHullValid;
    krPtrHandle_const<Shape> outerHull;
};

namespace qel::detail {
// The kept index of krRegion::inside: the outer ring's locator and the holes'
// boxes.
struct InsideIndex;
}  // namespace qel::detail

// A closed outer boundary (the contour part) and a list of holes. Each hole is
// itself a region, shared by handle and never changed through its parent; a
// parent uses only a hole's outer boundary, never the hole's own holes, except
// in inside(), where an island inside a hole counts as inside.
//
// Hole indices are positions in holes(); -1 stands for the outer boundary.
// Lists of points give the outer boundary's first, then each hole's in order.
//
// The contour queries taking two arguments are hidden by the region's own
// forms; member code reaches them (and the protected segment query with
// indices) as krContour::intersections(...) and the like.
//
// Not thread-safe per object: const measures fill caches. Regions that share
// a hole (copies do) may be asked from different threads at once: the shared
// hole fills its caches once, under its own lock.
//
// krContour is a virtual base: a class derived from krRegion builds it in its
// own constructors (krContour(points), say), or the contour part starts empty.
class krRegion : public virtual krContour {
public:
    typedef std::vector<krPtrHandle_const<krRegion>> Holes;

    // The contour part is built from the points, closed, label 0; then mode
    // applies (eOuterHull / eRegularize replace the region by its repaired
    // form in place, and may throw what those throw).
    explicit krRegion(const Points& points = Points(),
                      krContourDefs::IntersectionMode mode = krContourDefs::eAsIs);
    explicit krRegion(const krPolygon& polygon,
                      krContourDefs::IntersectionMode mode = krContourDefs::eAsIs);
    // The contour part is a copy of contour (label included); it becomes closed.
    explicit krRegion(const krContour& contour,
                      krContourDefs::IntersectionMode mode = krContourDefs::eAsIs);
    krRegion(const krRegion& other);
    // Copies the contour part, shares the holes and copies every cache,
    // including the cached repaired regions (shared, not duplicated).
    krRegion& operator=(const krRegion& other);
    ~krRegion() override;

    // The region's record (version 1); version-0 records are read too.
    void dispatchSerialize(krArchive& ar) override;

    // ---- closedness: always closed ----
    bool isClosed() const override;
    // true does nothing; false throws RegionCannotBeSetOpen and changes nothing.
    void isClosed(bool c) override;

    // ---- holes ----
    const Holes& holes() const { return holes_; }
    // Clears the caches, then checks every new hole: a null handle throws
    // krBadPointer, a hole whose boundary crosses the outer boundary throws
    // BadParams("holes cannot intersect region"). On a throw the old list stays.
    void holes(const Holes& v);
    void holes(const std::vector<krPtrHandle<krRegion>>& v);

    // A region draws nothing of its own: its boundary is drawn as a contour,
    // with the contour's draw (which stays visible beside this one).
    // Regions that carry more (edgelets) draw that here.
    using krContour::draw;
    virtual void draw(krUITablet& tablet, const krColor& color,
                      const krUITablet::Layers& layers) const;

    // The contour parts only; holes and caches take no part.
    bool operator==(const krRegion& other) const;
    bool operator!=(const krRegion& other) const { return !(*this == other); }

    // ---- area and moments (each cached per flag) ----
    // |signed area| of the outer boundary, less every hole's when considerHoles.
    double area(bool considerHoles) const;
    krVector<2> centerOfMass(bool considerHoles) const;
    // Second central moments of the outer boundary; with considerHoles on a
    // region that has holes it throws BadParams.
    krMatrix<2> inertiaMatrix(bool considerHoles) const;

    // ---- point queries ----
    // Whether p lies in the region: never outside the outer boundary's
    // bounding rectangle; always within 1e-6 of the outer boundary (a vertex
    // or an edge); elsewhere by the even-odd rule, decided exactly. With
    // considerHoles, a point that a hole holds (by the same rule, the hole's
    // own holes considered, so an island in a hole is inside) is not inside.
    // Each distinct hole is asked once per call, however often it is shared.
    //
    // The first query after a change takes one pass over the boundary; the
    // second builds an index, kept with the caches, that answers in about
    // constant time per point. Throws EmptyContour for fewer than two points
    // and krBadPointer at a null hole it reaches.
    bool inside(const krVector<2>& p, bool considerHoles) const;
    double distToPoint(const krVector<2>& p, bool vertexOnly, bool considerHoles,
                       bool zeroInside) const;
    // inside() and distToPoint() for each of many points, in order (1 for
    // inside, 0 not), with the same answers and errors as one call per point
    // (the error of the first point that fails). The index is built first;
    // long lists are shared out among the machine's cores.
    std::vector<unsigned char> insideMany(const std::vector<krVector<2>>& points,
                                          bool considerHoles) const;
    std::vector<double> distToPoints(const std::vector<krVector<2>>& points, bool vertexOnly,
                                     bool considerHoles, bool zeroInside) const;
    // The nearest boundary point (or vertex) of the outer boundary and the
    // holes; ties go to the outer boundary, then to the earlier hole.
    krVector<2> closestPoint(const krVector<2>& p, bool vertexOnly, bool considerHoles) const;
    long closestVertexIndex(const krVector<2>& p) const;
    // The vertex index within its own contour; which is the hole index, or -1.
    long closestVertexIndex(const krVector<2>& p, bool considerHoles, long& which) const;
    std::vector<krVector<2>> intersections(const krLineSeg& seg, bool includeEnds,
                                           bool considerHoles) const;
    std::vector<krVector<2>> intersections(const krContour& other, bool considerHoles) const;

    // ---- derived regions (out may be *this) ----
    // The outer boundary through xform; label kept, holes dropped. The
    // contour's map into a contour stays visible beside it.
    using krContour::map;
    void map(const krXform<2>& xform, krRegion& out) const;
    // A simple boundary gives a copy of the region. A crossing one is cut
    // into a plane graph at every crossing and contact (NodedBoundary):
    // outerHull walks the outline of everything it encloses, loops inside
    // loops left out; regularize walks the border of the faces of odd winding,
    // every lobe in one sense. Both keep the sense of the first uncrossed
    // outside edge, and start there. Results are cached; a result carries no
    // holes and label 0 and may touch itself at vertices.
    //
    // Errors: BadParams for coordinates that are not finite numbers, and
    // "invalid contour" for a boundary that encloses no area (for regularize:
    // no face of odd winding); EmptyContour for fewer than three points.
    void outerHull(krRegion& out) const;
    void regularize(krRegion& out) const;

protected:
    void serialize_(krArchive& ar, unsigned char version) override;
    // Drops the contour caches and every region cache flag.
    void cleanCacheInfo() override;
    // A region needs three points for any measure: EmptyContour otherwise.
    void checkEmptyContour() const;

    Holes holes_;
    // Every cached measure with its flag. cleanCacheInfo() replaces the whole
    // record and assignment copies it whole.
    struct Caches : kr_SurfaceCaches<krRegion> {
        // The kept index of inside(), shared by copies; read only once
        // insideBuilt is set, and kept until the region changes.
        qel::detail::CacheFlag insideBuilt;
        std::shared_ptr<const qel::detail::InsideIndex> insideIndex;
        qel::detail::CacheFlag insideAsked;  // a query has run since the last change
    };
    mutable Caches regionCache_;

private:
    friend class krRegionSet;
    friend struct kr_RegionAccess;  // the tests' door to the private steps

    // The answers of holes that have holes, within one call.
    struct HoleAnswers;
    // The outer boundary's answer, through the index where there is one.
    bool outerInside(const krVector<2>& p) const;
    bool insideWithHoles(const krVector<2>& p, HoleAnswers& known) const;
    void buildInsideIndex() const;
    const qel::detail::InsideIndex* insideIndex() const {
        return regionCache_.insideBuilt ? regionCache_.insideIndex.get() : nullptr;
    }
    // Builds the index of this region and, with considerHoles, of every hole
    // it reaches, so that inside() then only reads.
    void prepareInside(bool considerHoles) const;
    // distToPoint and closestPoint with the outer boundary's search starting
    // from hint (krContour::closestPointFrom); the answers are theirs.
    double distToPointFrom(const krVector<2>& p, bool vertexOnly, bool considerHoles, bool zeroInside,
                           qel::detail::NearestCursor& at) const;
    krVector<2> closestPointFrom(const krVector<2>& p, bool vertexOnly, bool considerHoles,
                                 qel::detail::NearestCursor& at) const;
    // Builds the nearest-point index of the outer boundary and of each hole,
    // which the closest-point queries then use; they pass over a hole whose
    // index shows it farther than the best point found.
    void prepareDistances() const;
    // Whether the kept indexes show the outer boundary and every hole farther
    // from p than d (so that no distance of the region comes below d).
    bool beyond(const krVector<2>& p, double d) const;

    // Crossings of a test ray from p with the outer boundary: 0 outside the
    // bounding rectangle, 1 within 1e-6 of a vertex; with twoRays the smaller
    // count of the ray and its opposite.
    long insideCount(const krVector<2>& p, bool twoRays) const;
    // The crossings of the ray from p along dir (and, with twoRays, the
    // smaller count of it and its opposite).
    long rayCount(const krVector<2>& p, const krVector<2>& dir, bool twoRays) const;
    // The walk behind outerHull and regularize.
    void outerHullRegularize(krRegion& out, krContourDefs::IntersectionMode mode) const;

    void initializePointers() {}
    void deletePointers() {}

    static krPersistent* make();
    static kr_Instantiator sExemplar;
};

#endif
