// krRegionSet: an ordered list of shared regions treated as one shape, with
// the cached measures of the whole and its repair into disjoint regions.
#ifndef QEL_CNTR_REGIONSET_H
#define QEL_CNTR_REGIONSET_H

#include <cstdint>
#include <memory>
#include <vector>

#include "cntr/support/boundedmap.h"
#include "cntr/support/ownedcache.h"
#include "cntr/contour.h"
#include "cntr/region.h"
#include "defs/cntrdefs.h"
#include "platform/disp/tablet.h"
#include "platform/std/geometry.h"
#include "platform/std/handle.h"
#include "platform/std/matrix.h"
#include "platform/std/persistent.h"
#include "platform/std/vector.h"
#include "platform/std/xform.h"

// The regions are shared and never changed through the set; copies of a set
// share them. The set does not require its regions to be disjoint, or even
// non-null: a null handle is accepted into the list and throws krBadPointer
// when an operation reaches it.
//
// Every measure is computed on first use and cached; every change of the list
// clears the caches (changing cachedVectorSize does not). The outer hull and
// the regularized form are cached as whole sets.
//
// Not thread-safe per object: const queries fill caches. Sets that share a
// member (copies do) may be asked from different threads at once: the shared
// member fills its caches once, under its own lock.
namespace qel::detail {
class BoxGrid;
}

class krRegionSet : public virtual krPersistent, public virtual krRepBase {
public:
    typedef std::vector<krPtrHandle_const<krRegion>> Regions;

    // The list is taken as given, then repaired in place as mode asks:
    // eOuterHull makes the set its own outer hull, eRegularize its regularized
    // form; eAsIs and any other value leave it alone.
    krRegionSet(const Regions& regions = Regions(),
                krContourDefs::IntersectionMode mode = krContourDefs::eAsIs);
    krRegionSet(const std::vector<krPtrHandle<krRegion>>& regions,
                krContourDefs::IntersectionMode mode = krContourDefs::eAsIs);
    krRegionSet(const krRegionSet& other);
    // A full copy, caches included; the regions are shared.
    krRegionSet& operator=(const krRegionSet& other);
    ~krRegionSet() override;

    // The set's record (version 1); version-0 records, which lack
    // cachedVectorSize, are read too.
    void dispatchSerialize(krArchive& ar) override;

    // ---- the region list ----
    Regions regions() const { return regions_; }
    // Replace the list (or append to it), then repair as the constructor does.
    void regions(const Regions& v, krContourDefs::IntersectionMode mode = krContourDefs::eAsIs);
    void regions(const std::vector<krPtrHandle<krRegion>>& v,
                 krContourDefs::IntersectionMode mode = krContourDefs::eAsIs);
    void add(const krPtrHandle_const<krRegion>& r,
             krContourDefs::IntersectionMode mode = krContourDefs::eAsIs);

    long cachedVectorSize() const { return cachedVectorSize_; }
    // Bound on the transform-keyed rectangle cache; n < 0 (or above the 32-bit
    // range) throws BadParams and changes nothing. The caches stay.
    void cachedVectorSize(long n);

    // ---- measures and queries ----
    // Sums over the regions; each region answers with its own considerHoles.
    double area(bool considerHoles) const;
    // The area-weighted mean of the regions' centres; (0, 0) when the areas
    // cancel out. Throws EmptyRegionSet for an empty set.
    krVector<2> centerOfMass(bool considerHoles) const;
    // Second moments of the union of the regions about its centre of mass.
    // Throws EmptyRegionSet for an empty set.
    krMatrix<2> inertiaMatrix(bool considerHoles) const;
    // Whether some region holds p (krRegion::inside). From the second query
    // on, a kept index of the regions' boxes picks the few to ask, in order.
    bool inside(const krVector<2>& p, bool considerHoles) const;
    // The smallest of the regions' distances. Throws EmptyRegionSet for an empty set.
    double distToPoint(const krVector<2>& p, bool vertexOnly, bool considerHoles,
                       bool zeroInside) const;
    // inside() and distToPoint() for each of many points, with the same
    // answers and errors as one call per point (see krRegion::insideMany).
    std::vector<unsigned char> insideMany(const std::vector<krVector<2>>& points,
                                          bool considerHoles) const;
    std::vector<double> distToPoints(const std::vector<krVector<2>>& points, bool vertexOnly,
                                     bool considerHoles, bool zeroInside) const;
    // Bounding box of the outer boundaries mapped by x (holes lie inside
    // them). Throws EmptyRegionSet for an empty set.
    krRect encloseRect(const krXform<2>& x) const;
    // Whether some outer boundary crosses itself or another region's outer
    // boundary. Holes are not looked at, and a region lying inside another
    // without touching its boundary is no crossing.
    bool isSelfIntersecting() const;

    // The same regions, by value, in the same order. Caches and
    // cachedVectorSize are not compared.
    bool operator==(const krRegionSet& other) const;
    bool operator!=(const krRegionSet& other) const { return !(*this == other); }

    // Each region draws itself, in order, through its own virtual draw.
    void draw(krUITablet& tablet, const krColor& color, const krUITablet::Layers& layers) const;

    // ---- repair ----
    // out becomes this set with every pair of crossing regions merged into
    // one and each region replaced by its outer hull (or its regularized
    // form). A set without crossings is copied as it is. out may be this set.
    // A failure of a region's own operation leaves out as it was.
    void outerHull(krRegionSet& out) const;
    void regularize(krRegionSet& out) const;

protected:
    virtual void serialize_(krArchive& ar, unsigned char version);
    // Hooks for sets that keep data beside the regions; here they only drop
    // the caches.
    virtual void makeDataConsistentWithPoints();
    virtual void makePointsConsistentWithData();
    virtual void cleanCacheInfo();
    // Replaces the list only: no cache clearing, no hook.
    void setRegions(const Regions& v) { regions_ = v; }
    void checkEmptyRegionSet() const;

    typedef qel::detail::BoundedMap<krXform<2>, krRect, kr_XformKeyLess> RectCache;

    Regions regions_;
    std::int32_t cachedVectorSize_ = 3;
    // Every cached measure with its flag. cleanCacheInfo() replaces the whole
    // record and assignment copies it whole (the rectangle cache deeply).
    struct Caches : kr_SurfaceCaches<krRegionSet> {
        qel::detail::OwnedCache<RectCache> rectCache;
        bool selfIntersecting = false;
        qel::detail::CacheFlag selfIntersectingValid;
        // The regions by their boxes, for inside(); shared by copies, read
        // only once memberIndexTried is set, and null where it cannot serve.
        qel::detail::CacheFlag memberIndexTried;
        std::shared_ptr<const qel::detail::BoxGrid> memberIndex;
        qel::detail::CacheFlag insideAsked;  // a query has run since the last change
    };
    mutable Caches cache_;

private:
    // Builds the member index where it can serve (enough regions, none null,
    // each with a box) and every region's own index.
    void prepareInside(bool considerHoles) const;
    void buildMemberIndex() const;
    const qel::detail::BoxGrid* memberIndex() const {
        return cache_.memberIndexTried ? cache_.memberIndex.get() : nullptr;
    }
    void applyMode(krContourDefs::IntersectionMode mode);
    // The cached repaired form behind outerHull and regularize.
    void repaired(krRegionSet& out, qel::detail::CacheFlag& valid, krPtrHandle_const<krRegionSet>& cached,
                  krContourDefs::IntersectionMode mode) const;
    void outerHullRegularize(krRegionSet& out, krContourDefs::IntersectionMode mode) const;
    // Marks a cache as filled: the mutation notice while tracking.
    void cacheFilled() const;
    template <class T, class Compute>
    T measured(qel::detail::Kept<T>& kept, Compute compute) const;

    void initializePointers();
    void deletePointers();

    static krPersistent* make();
    static kr_Instantiator sExemplar;
};

#endif
