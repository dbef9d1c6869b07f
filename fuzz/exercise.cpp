#include "exercise.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include "cntr/moments.h"
#include "cntr/masks.h"
#include "defs/cntrtmpl.h"
#include "platform/disp/recordingtablet.h"
#include "platform/std/exception.h"

namespace {

typedef krVector<2> V;
typedef krContour::Points Points;
typedef krPtrHandle_const<krRegion> Handle;

// Every answer as numbers, in the order asked; a refusal is one marker.
struct Answers {
    std::vector<double> v;
    void operator()(double x) { v.push_back(x); }
    void operator()(const V& p) { v.push_back(p.x()), v.push_back(p.y()); }
    void operator()(const krRect& r) { (*this)(r.origin()), (*this)(r.size()); }
    void operator()(const krMatrix<2>& m) {
        for (int i = 0; i < 4; ++i) v.push_back(m.element(i / 2, i % 2));
    }
    void operator()(const std::vector<V>& ps) {
        v.push_back(double(ps.size()));
        for (const V& p : ps) (*this)(p);
    }
    void operator()(const krRecordingTablet& t) {
        v.push_back(double(t.calls().size()));
        for (const auto& c : t.calls())
            (*this)(V(c.p1.x(), c.p1.y())), (*this)(V(c.p2.x(), c.p2.y())), v.push_back(c.size);
    }
    // Runs f; a krException is an answer too.
    template <class F>
    void ask(F&& f) {
        try {
            f();
        } catch (const krException&) {
            v.push_back(-7.5e300);
        }
    }
};

// To the bit: the same steps on the same numbers.
bool same(const Answers& a, const Answers& b) {
    return a.v.size() == b.v.size() && std::memcmp(a.v.data(), b.v.data(), a.v.size() * sizeof(double)) == 0;
}

// Places where answers change: fixed points, vertices, a midpoint, and a point
// just off the last vertex.
std::vector<V> probes(const Points& p) {
    std::vector<V> q = {V(0, 0), V(0.5, 0.5), V(-3, 7)};
    const std::size_t n = p.size();
    if (n > 0) q.insert(q.end(), {p[0], p[n / 2], (p[0] + p[n - 1]) * 0.5, p[n - 1] + V(1e-7, -1e-7)});
    return q;
}

std::vector<krLineSeg> segments(const Points& p) {
    std::vector<krLineSeg> s = {krLineSeg(V(-1, 0.5), V(2, 0.5))};
    const std::size_t n = p.size();
    if (n > 0) s.insert(s.end(), {krLineSeg(p[0], p[n / 2]), krLineSeg(p[n - 1], p[n - 1]), krLineSeg(p[0] + V(-1, -1), p[n - 1] + V(1, 1))});
    return s;
}

// More transforms than a default rectangle cache holds, a singular one among them.
const std::vector<krXform<2>>& xforms() {
    static const std::vector<krXform<2>> x = {
        krXform<2>::I, krXform<2>(krMatrix<2>(0.6, -0.8, 0.8, 0.6), V(1, 2)), krXform<2>(krMatrix<2>(1, 2, 2, 4), V(0, 0)),
        krXform<2>(krMatrix<2>(1e200, 0, 0, -1), V(0, 0)), krXform<2>(krMatrix<2>(-1, 0, 0, 1), V(3, -3))};
    return x;
}

const krColor kInk(200, 10, 10);
const krUITablet::Layers kLayer("fuzz");

// The questions, class by class; each ask also covers its bases.

void ask(const krContour& c, Answers& a) {
    const Points& p = c.points();
    a(c.length());
    a.ask([&] { a(c.meanPosition()); });
    for (const V& q : probes(p)) {
        a.ask([&] { a(double(c.closestVertexIndex(q))); });
        for (bool vertexOnly : {false, true}) a.ask([&] { a(c.closestPoint(q, vertexOnly)); });
        a.ask([&] { a(c.distToPoint(q, false)); });
        for (double tol : {1e-9, 1.0, 1e300})
            a.ask([&] { a(double(c.vertexIndex(q, tol).size())); });
    }
    // The batch builds the nearest-point index, which the single queries
    // then use: asked again, they must give the plain walk's answers.
    for (bool vertexOnly : {false, true})
        a.ask([&] { for (double d : c.distToPoints(probes(p), vertexOnly)) a(d); });
    for (double angle : {0.0, 1.0, 4.0})
        a.ask([&] { a(double(c.extremalVertexIndex(krRadian(angle)))), a(c.extremalVertexPosition(krRadian(angle))); });
    for (const auto& x : xforms()) a.ask([&] { a(c.encloseRect(x)); });
    for (auto mode : {krContourDefs::eExact, krContourDefs::eFast})
        a.ask([&] {
            const krCircle k = c.encloseCircle(mode);
            a(k.center()), a(k.radius()), a(c.diameter(mode));
        });
    a.ask([&] {
        krEllipse e;
        double residual = 0;
        c.fitEllipse(e, residual);
        a(e.center()), a(e.a()), a(e.b()), a(residual);
    });
    a.ask([&] {
        const kr_InertiaData m = kf_InertiaDataPolygon(p);
        a(m.area()), a(m.centerOfMass()), a(m.inertiaMatrix());
        const krEllipse e = kf_EllipseFromInertiaData(m);
        a(e.center()), a(e.a()), a(e.b());
    });
    a(kf_Area(p.empty() ? Points{V()} : p)), a(kf_CenterOfMass(p));
    a.ask([&] {
        krContour mapped;
        c.map(xforms()[1], mapped);
        a(mapped.points());
    });
    a(double(c.polygon().size()));
    a.ask([&] {
        krRegion hull;
        c.convexHull(hull);
        a(hull.points());
    });
    for (const krLineSeg& s : segments(p))
        for (bool ends : {false, true}) a.ask([&] { a(c.intersections(s, ends)); });
    a.ask([&] { a(c.intersections(c)); });
    a.ask([&] { a(double(c.isSelfIntersecting())); });
    krRecordingTablet tablet;
    a.ask([&] { c.draw(tablet, krContourDefs::eDrawLines, kInk, kLayer); });
    a(tablet);
}

// What regions and sets both answer, over probes near the points p.
template <class T>
void askSurface(const T& s, const Points& p, Answers& a) {
    for (bool holes : {false, true}) {
        a.ask([&] { a(s.area(holes)); });
        a.ask([&] { a(s.centerOfMass(holes)); });
        a.ask([&] { a(s.inertiaMatrix(holes)); });
        for (const V& q : probes(p)) {
            a.ask([&] { a(double(s.inside(q, holes))); });
            for (bool vertexOnly : {false, true})
                for (bool zeroInside : {false, true})
                    a.ask([&] { a(s.distToPoint(q, vertexOnly, holes, zeroInside)); });
        }
        // The batch forms and the raster fill over the same probes.
        a.ask([&] { for (unsigned char b : s.insideMany(probes(p), holes)) a(double(b)); });
        a.ask([&] { for (double d : s.distToPoints(probes(p), false, holes, true)) a(d); });
        a.ask([&] {
            const krXform<2> grid = kf_PixelGrid(probes(p)[0], 0.25);
            for (unsigned char b : kf_Rasterize(s, 8, 8, grid, holes)) a(double(b));
        });
    }
    krRecordingTablet tablet;
    a.ask([&] { s.draw(tablet, kInk, kLayer); });
    a(tablet);
}

void ask(const krRegion& r, Answers& a) {
    ask(static_cast<const krContour&>(r), a);
    askSurface(r, r.points(), a);
    for (bool holes : {false, true}) {
        for (const V& q : probes(r.points())) {
            for (bool vertexOnly : {false, true}) a.ask([&] { a(r.closestPoint(q, vertexOnly, holes)); });
            a.ask([&] {
                long which = 0;
                a(double(r.closestVertexIndex(q, holes, which))), a(double(which));
            });
        }
        for (const krLineSeg& s : segments(r.points())) a.ask([&] { a(r.intersections(s, true, holes)); });
        a.ask([&] { a(r.intersections(static_cast<const krContour&>(r), holes)); });
    }
    for (int k = 0; k < 3; ++k)
        a.ask([&] {
            krRegion out;
            k == 0 ? r.map(xforms()[4], out) : k == 1 ? r.outerHull(out) : r.regularize(out);
            a(out.points());
        });
}

void ask(const krRegionSet& s, Answers& a) {
    Points p;
    for (const Handle& r : s.regions())
        if (r) p.insert(p.end(), r->points().begin(), r->points().end());
    askSurface(s, p, a);
    for (const auto& x : xforms()) a.ask([&] { a(s.encloseRect(x)); });
    a.ask([&] { a(double(s.isSelfIntersecting())); });
    for (bool hull : {false, true})
        a.ask([&] {
            krRegionSet repaired;
            hull ? s.outerHull(repaired) : s.regularize(repaired);
            a(double(repaired.regions().size())), a(double(repaired == s));
        });
}

void askEdgelets(const krContourT<krEdgelet>& e, Answers& a) {
    const std::vector<krEdgelet>& data = e.data();
    a(double(data.size()));
    a(kf_Area(data)), a(kf_CenterOfMass(data));
    a.ask([&] {
        krEllipse fit;
        double residual = 0;
        kf_FitEllipse(data, fit, residual);
        a(fit.center()), a(fit.a()), a(fit.b()), a(residual);
    });
    a(double(bool(e.dataFromPointsXform())));
    for (const V& q : probes(e.points()))
        a.ask([&] {
            const krEdgelet d = e.datum(q);
            a(d.position()), a(e.point(d));
        });
    a(double(e == krContourT<krEdgelet>(e)));
}

void ask(const krContourT<krEdgelet>& e, Answers& a) {
    ask(static_cast<const krContour&>(e), a);
    askEdgelets(e, a);
}

void ask(const krRegionT<krEdgelet>& r, Answers& a) {
    ask(static_cast<const krRegion&>(r), a);
    askEdgelets(r, a);
    a(double(r.holes().size()));
}

void ask(const krRegionSetT<krEdgelet>& s, Answers& a) {
    ask(static_cast<const krRegionSet&>(s), a);
    a(double(s.regionsT().size()));
}

// Objects of each class with caches of their own, to assign over.

Points triangle() { return {V(0, 0), V(4, 0), V(0, 3)}; }
std::vector<krEdgelet> edgelets() {
    std::vector<krEdgelet> e;
    for (const V& p : triangle()) e.emplace_back(p, 5, krAngle8(3));
    return e;
}

template <class T>
T other() {
    if constexpr (std::is_same_v<T, krContour>) return krContour(triangle(), false, 3);
    else if constexpr (std::is_same_v<T, krRegion>) return krRegion(triangle());
    else if constexpr (std::is_same_v<T, krRegionSet>) return krRegionSet({Handle(new krRegion(triangle()))});
    else if constexpr (std::is_same_v<T, krContourT<krEdgelet>>) return T(edgelets());
    else if constexpr (std::is_same_v<T, krRegionT<krEdgelet>>) return T(edgelets(), 3);
    else return T(typename T::RegionsT{krPtrHandle_const<krRegionT<krEdgelet>>(new krRegionT<krEdgelet>(edgelets(), 1))});
}

[[noreturn]] void differ(const char* what) {
    std::fprintf(stderr, "answers differ: %s\n", what);
    std::abort();
}

// Asked afresh, asked again from the caches, a copy, and an object with
// caches of its own assigned from obj: the same answers each time.
template <class T>
void askAround(const T& obj) {
    Answers first, scratch;
    ask(obj, first);
    const T copy(obj);
    T target = other<T>();
    ask(target, scratch);
    target = obj;
    for (const auto& [what, o] : {std::pair<const char*, const T*>{"asked twice", &obj}, {"a copy", &copy},
                                  {"an assigned object", &target}}) {
        Answers again;
        ask(*o, again);
        if (!same(first, again)) differ(what);
    }
}

// Changes on a copy: every setter that drops caches (a refusal included) and
// the repairing constructors and conversions, then the questions again.
template <class T>
void change(const T& obj) {
    constexpr bool region = std::is_base_of_v<krRegion, T>, set = std::is_base_of_v<krRegionSet, T>;
    constexpr bool edgelets = std::is_base_of_v<krContourT<krEdgelet>, T> || std::is_same_v<T, krRegionSetT<krEdgelet>>;
    Answers a;
    T copy(obj);
    copy.cachedVectorSize(1);
    ask(copy, a);
    if constexpr (set) {
        for (auto mode : {krContourDefs::eOuterHull, krContourDefs::eRegularize}) {
            a.ask([&] { copy.regions(obj.regions(), mode); });
            ask(copy, a);
        }
        if (!obj.regions().empty()) a.ask([&] { copy.add(obj.regions().front(), krContourDefs::eOuterHull); });
    } else {
        copy.label(copy.label() + 1);
        a.ask([&] { copy.isClosed(!copy.isClosed()); });
        a.ask([&] { copy.points(Points(obj.points().rbegin(), obj.points().rend())); });
    }
    if constexpr (region) {
        a.ask([&] { static_cast<krRegion&>(copy).holes(obj.krRegion::holes()); });
        for (auto mode : {krContourDefs::eOuterHull, krContourDefs::eRegularize})
            a.ask([&] { ask(krRegion(obj.points(), mode), a); });
    }
    if constexpr (edgelets && !set) a.ask([&] { copy.data(obj.data()); });
    ask(copy, a);
    // The edgelet contour maps and takes its hull in its kind; the edgelet
    // region and set refuse to map or regularize in theirs.
    if constexpr (edgelets) {
        T out;
        a.ask([&] { obj.mapT(xforms()[1], out); });
        if constexpr (region || set) a.ask([&] { obj.regularizeT(out); });
        else a.ask([&] { krRegionT<krEdgelet> hull; obj.convexHullT(hull); });
    }
}

template <class T>
void exercise(const T& obj) {
    askAround(obj);
    change(obj);
}

}  // namespace

void kf_FuzzExercise(const krPersistent& obj, std::set<const void*>& seen) {
    if (!seen.insert(&obj).second) return;
    // The most derived kind first; members and holes after, each object once.
    if (const auto* st = dynamic_cast<const krRegionSetT<krEdgelet>*>(&obj)) exercise(*st);
    else if (const auto* s = dynamic_cast<const krRegionSet*>(&obj)) exercise(*s);
    else if (const auto* rt = dynamic_cast<const krRegionT<krEdgelet>*>(&obj)) exercise(*rt);
    else if (const auto* r = dynamic_cast<const krRegion*>(&obj)) exercise(*r);
    else if (const auto* e = dynamic_cast<const krContourT<krEdgelet>*>(&obj)) exercise(*e);
    else if (const auto* c = dynamic_cast<const krContour*>(&obj)) exercise(*c);
    if (const auto* s = dynamic_cast<const krRegionSet*>(&obj))
        for (const Handle& r : s->regions())
            if (r) kf_FuzzExercise(*r, seen);
    if (const auto* r = dynamic_cast<const krRegion*>(&obj))
        for (const Handle& h : r->holes())
            if (h) kf_FuzzExercise(*h, seen);
}

void kf_FuzzExercise(const krPersistent& obj) {
    std::set<const void*> seen;
    kf_FuzzExercise(obj, seen);
}
