// The shape classes: Contour, Region, RegionSet and EdgeletContour. Each is
// the library class itself; holes and member regions cross the boundary as
// copies, so a shape shared inside another can never be changed from Python.
#include <cstdint>
#include <memory>

#include "cntr/region.h"
#include "cntr/regionset.h"
#include "defs/cntrtmpl.h"
#include "python/src/bind.h"

namespace qp {

namespace {

using namespace pybind11::literals;
using Edgelets = krContourT<krEdgelet>;

unsigned long label32(long long v) {
    if (v < 0 || v > 0xFFFFFFFFll) throw py::value_error("a label is an unsigned 32-bit number");
    return static_cast<unsigned long>(v);
}

long cacheSize(long long v) {
    // Negative values reach the library, which refuses them with BadParams.
    if (v > INT32_MAX || v < INT32_MIN) throw py::value_error("cached_vector_size is a 32-bit number");
    return static_cast<long>(v);
}

krPtrHandle_const<krRegion> regionFrom(py::handle h) {
    if (py::isinstance<krRegion>(h)) return krPtrHandle_const<krRegion>(new krRegion(h.cast<const krRegion&>()));
    return krPtrHandle_const<krRegion>(new krRegion(toPoints(h)));
}

std::vector<krPtrHandle_const<krRegion>> regionsFrom(py::handle list) {
    std::vector<krPtrHandle_const<krRegion>> v;
    for (py::handle h : list) v.push_back(regionFrom(h));
    return v;
}

py::list copies(const std::vector<krPtrHandle_const<krRegion>>& v) {
    py::list out;
    for (const auto& h : v) out.append(py::cast(new krRegion(*h), py::return_value_policy::take_ownership));
    return out;
}

krLineSeg segment(py::handle seg) {
    PointArray a = pointArray(seg, "a segment", false);
    if (a.size != 2) throw py::value_error("a segment is two points ((x1, y1), (x2, y2))");
    return krLineSeg(a.data()[0], a.data()[1]);
}

// Copying and comparison go the same way for every shape (pickling goes
// through the archive, set up by the package).
template <class Cls>
void common(Cls& cls) {
    using T = typename Cls::type;
    cls.def("copy", [](const T& s) { return std::make_unique<T>(s); }, "A copy, which another thread may use while this one is used: holes and members it shares with this shape fill their caches safely.");
    cls.def("__copy__", [](const T& s) { return std::make_unique<T>(s); });
    cls.def("__deepcopy__", [](const T& s, py::handle) { return std::make_unique<T>(s); });
    cls.def("__eq__", [](const T& a, py::handle b) -> py::object {
        if (!py::isinstance<T>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(a == b.cast<const T&>());
    });
    cls.def("__ne__", [](const T& a, py::handle b) -> py::object {
        if (!py::isinstance<T>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(a != b.cast<const T&>());
    });
    cls.attr("__hash__") = py::none();
}

// A call that writes a new shape into its last argument, as one that returns it.
template <class Out, class T>
auto making(void (T::*f)(Out&) const) {
    return [f](const T& s) {
        auto out = std::make_unique<Out>();
        (s.*f)(*out);
        return out;
    };
}
template <class Out, class T, class Arg>
auto making(void (T::*f)(Arg, Out&) const) {
    return [f](const T& s, Arg a) {
        auto out = std::make_unique<Out>();
        (s.*f)(a, *out);
        return out;
    };
}

// What regions and region sets both answer, with the same defaults.
template <class Cls>
void surface(Cls& c) {
    using T = typename Cls::type;
    c.def("area", &T::area, "holes"_a = true);
    c.def("center_of_mass", &T::centerOfMass, "holes"_a = true);
    c.def("inertia_matrix", [](const T& s, bool holes) { return matrix(s.inertiaMatrix(holes)); },
          "holes"_a = false,
          "Second central moments (2x2). With holes=True a region that has holes raises BadParams.");
    c.def("inside", [](const T& s, py::handle p, bool holes) {
        return pointQuery<bool>(p, [&](const krVector<2>& q) { return s.inside(q, holes); },
                                [&](const Points& q) { return s.insideMany(q, holes); });
    }, "p"_a, "holes"_a = true, "Whether a point, or each row of an (m, 2) array, lies inside.");
    c.def("distance", [](const T& s, py::handle p, bool vertexOnly, bool holes, bool zeroInside) {
        return pointQuery<double>(
            p, [&](const krVector<2>& q) { return s.distToPoint(q, vertexOnly, holes, zeroInside); },
            [&](const Points& q) { return s.distToPoints(q, vertexOnly, holes, zeroInside); });
    }, "p"_a, "vertex_only"_a = false, "holes"_a = true, "zero_inside"_a = false,
       "Distance to the nearest boundary (0 inside when zero_inside).");
    c.def("outer_hull", making<T, T>(&T::outerHull));
    c.def("regularize", making<T, T>(&T::regularize));
}

std::string describe(const char* cls, const krContour& c, const std::string& extra) {
    return std::string(cls) + "(" + std::to_string(c.points().size()) + " points" + extra +
           ", label=" + std::to_string(c.label()) + ")";
}

void bindContour(py::module_& m) {
    py::class_<krContour> c(m, "Contour", py::dynamic_attr(),
        "An open or closed polyline with a label the library carries but never reads.");
    common(c);
    c.def(py::init([](py::handle points, bool closed, long long label) {
              return std::make_unique<krContour>(toPoints(points), closed, label32(label));
          }),
          "points"_a = py::tuple(), "closed"_a = true, "label"_a = 0);
    c.def_property("points", [](const krContour& s) { return fromPoints(s.points()); },
                   [](krContour& s, py::handle p) { s.points(toPoints(p)); },
                   "The vertices as an (n, 2) array (a copy; assigning replaces them).");
    c.def_property("closed", py::overload_cast<>(&krContour::isClosed, py::const_),
                   py::overload_cast<bool>(&krContour::isClosed));
    c.def_property("label", py::overload_cast<>(&krContour::label, py::const_),
                   [](krContour& s, long long v) { s.label(label32(v)); });
    c.def_property("cached_vector_size", py::overload_cast<>(&krContour::cachedVectorSize, py::const_),
                   [](krContour& s, long long n) { s.cachedVectorSize(cacheSize(n)); });
    c.def("__len__", [](const krContour& s) { return s.points().size(); });
    c.def("__repr__", [](const krContour& s) {
        return describe("Contour", s, s.isClosed() ? ", closed" : ", open");
    });
    c.def("length", &krContour::length);
    c.def("mean_position", &krContour::meanPosition);
    c.def("closest_vertex_index",
          [](const krContour& s, const krVector<2>& p) { return s.closestVertexIndex(p); }, "p"_a);
    c.def("closest_point", [](const krContour& s, const krVector<2>& p, bool vertexOnly) {
        return s.closestPoint(p, vertexOnly);
    }, "p"_a, "vertex_only"_a = false);
    c.def("distance", [](const krContour& s, py::handle p, bool vertexOnly) {
        return pointQuery<double>(p, [&](const krVector<2>& q) { return s.distToPoint(q, vertexOnly); },
                                  [&](const Points& q) { return s.distToPoints(q, vertexOnly); });
    }, "p"_a, "vertex_only"_a = false,
       "Distance from a point, or from each row of an (m, 2) array, to the polyline.");
    c.def("vertex_index", &krContour::vertexIndex, "p"_a, "tolerance"_a,
          "Indices of the vertices within tolerance of p.");
    c.def("extremal_vertex_index", [](const krContour& s, double angle) {
        return s.extremalVertexIndex(krRadian(angle));
    }, "angle"_a, "The vertex farthest along the direction angle (radians).");
    c.def("extremal_vertex_position", [](const krContour& s, double angle) {
        return s.extremalVertexPosition(krRadian(angle));
    }, "angle"_a);
    c.def("enclose_rect", [](const krContour& s, const krXform<2>& x) { return rect(s.encloseRect(x)); },
          "xform"_a = py::none(),
          "Rect holding the vertices mapped by xform (a 2x3 matrix; None is the identity).");
    c.def("enclose_circle", [](const krContour& s, py::handle mode) {
        return circle(s.encloseCircle(diameterMode(mode)));
    }, "mode"_a = "exact",
       "\"exact\": the circle on the two farthest vertices; \"fast\": a quicker estimate.");
    c.def("diameter", [](const krContour& s, py::handle mode) { return s.diameter(diameterMode(mode)); },
          "mode"_a = "exact");
    c.def("fit_ellipse", [](const krContour& s) {
        krEllipse e;
        double residual = 0;
        s.fitEllipse(e, residual);
        return py::make_tuple(ellipse(e), residual);
    }, "(Ellipse, residual) fitted to the vertices.");
    c.def("map", making<krContour, krContour, const krXform<2>&>(&krContour::map), "xform"_a);
    c.def("convex_hull", making<krRegion, krContour>(&krContour::convexHull), "The convex hull as a Region.");
    c.def("intersections", [](const krContour& s, py::handle what, bool includeEnds) {
        if (py::isinstance<krContour>(what)) return fromPoints(s.intersections(what.cast<const krContour&>()));
        return fromPoints(s.intersections(segment(what), includeEnds));
    }, "other"_a, "include_ends"_a = true,
       "Crossings with a segment ((x1, y1), (x2, y2)) or with another contour, as an (k, 2) array.");
    c.def("is_self_intersecting", &krContour::isSelfIntersecting);
}

void bindRegion(py::module_& m) {
    // krContour is a virtual base: multiple_inheritance makes pybind11 convert
    // pointers through the cast rather than assume they coincide.
    py::class_<krRegion, krContour> r(m, "Region", py::dynamic_attr(), py::multiple_inheritance(),
        "A closed outline with holes. mode \"outer_hull\" or \"regularize\" repairs an outline "
        "that crosses itself.");
    common(r);
    r.def(py::init([](py::handle points, py::handle holes, const std::string& mode, long long label) {
              krContourDefs::IntersectionMode md = intersectionMode(mode);
              std::unique_ptr<krRegion> out;
              if (py::isinstance<krContour>(points))
                  out = std::make_unique<krRegion>(points.cast<const krContour&>(), md);
              else
                  out = std::make_unique<krRegion>(toPoints(points), md);
              if (label) out->label(label32(label));
              auto h = regionsFrom(holes);
              if (!h.empty()) out->holes(h);
              return out;
          }),
          "points"_a = py::tuple(), "holes"_a = py::tuple(), "mode"_a = "as_is", "label"_a = 0,
          "points: an (n, 2) array, or a Contour whose points and label are taken. holes: Regions "
          "or arrays (copied).");
    r.def_property("holes", [](const krRegion& s) { return copies(s.holes()); },
                   [](krRegion& s, py::handle v) { s.holes(regionsFrom(v)); },
                   "The holes as Regions (copies; assigning checks and replaces them).");
    r.def("__repr__", [](const krRegion& s) {
        return describe("Region", s, ", " + std::to_string(s.holes().size()) + " holes");
    });
    surface(r);
    r.def("closest_point", [](const krRegion& s, const krVector<2>& p, bool vertexOnly, bool holes) {
        return s.closestPoint(p, vertexOnly, holes);
    }, "p"_a, "vertex_only"_a = false, "holes"_a = true);
    r.def("closest_vertex", [](const krRegion& s, const krVector<2>& p, bool holes) {
        long which = -1;
        long k = s.closestVertexIndex(p, holes, which);
        return py::make_tuple(k, which);
    }, "p"_a, "holes"_a = true, "(index, hole): the closest vertex; hole is -1 for the outline.");
    r.def("intersections", [](const krRegion& s, py::handle what, bool includeEnds, bool holes) {
        if (py::isinstance<krContour>(what))
            return fromPoints(s.intersections(what.cast<const krContour&>(), holes));
        return fromPoints(s.intersections(segment(what), includeEnds, holes));
    }, "other"_a, "include_ends"_a = true, "holes"_a = true);
    r.def("map", making<krRegion, krRegion, const krXform<2>&>(&krRegion::map), "xform"_a);
}

void bindRegionSet(py::module_& m) {
    py::class_<krRegionSet> s(m, "RegionSet", py::dynamic_attr(), "Regions treated as one shape.");
    common(s);
    s.def(py::init([](py::handle regions, const std::string& mode) {
              return std::make_unique<krRegionSet>(regionsFrom(regions), intersectionMode(mode));
          }),
          "regions"_a = py::tuple(), "mode"_a = "as_is", "regions: Regions or arrays (copied).");
    s.def_property("regions", [](const krRegionSet& v) { return copies(v.regions()); },
                   [](krRegionSet& v, py::handle list) { v.regions(regionsFrom(list)); });
    s.def_property("cached_vector_size", py::overload_cast<>(&krRegionSet::cachedVectorSize, py::const_),
                   [](krRegionSet& v, long long n) { v.cachedVectorSize(cacheSize(n)); });
    s.def("add", [](krRegionSet& v, py::handle r, const std::string& mode) {
        v.add(regionFrom(r), intersectionMode(mode));
    }, "region"_a, "mode"_a = "as_is");
    s.def("__len__", [](const krRegionSet& v) { return v.regions().size(); });
    s.def("__getitem__", [](const krRegionSet& v, long long i) {
        auto list = v.regions();
        long long n = static_cast<long long>(list.size());
        if (i < 0) i += n;
        if (i < 0 || i >= n) throw py::index_error("region index out of range");
        return std::make_unique<krRegion>(*list[static_cast<std::size_t>(i)]);
    });
    s.def("__repr__", [](const krRegionSet& v) {
        return "RegionSet(" + std::to_string(v.regions().size()) + " regions)";
    });
    surface(s);
    s.def("enclose_rect", [](const krRegionSet& v, const krXform<2>& x) { return rect(v.encloseRect(x)); },
          "xform"_a = py::none());
    s.def("is_self_intersecting", &krRegionSet::isSelfIntersecting);
}

// ---- the edgelet contour ----

Edgelets::Data edgelets(py::handle positions, py::handle magnitudes, py::handle angles) {
    Points p = toPoints(positions, "positions");
    auto mag = py::array_t<long long, py::array::c_style | py::array::forcecast>::ensure(magnitudes);
    auto ang = py::array_t<long long, py::array::c_style | py::array::forcecast>::ensure(angles);
    if (!mag || !ang || mag.ndim() != 1 || ang.ndim() != 1 ||
        static_cast<std::size_t>(mag.shape(0)) != p.size() || static_cast<std::size_t>(ang.shape(0)) != p.size())
        throw py::value_error("magnitudes and angles are one integer per position");
    Edgelets::Data data;
    data.reserve(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        long long g = mag.data()[i], a = ang.data()[i];
        if (g < 0 || g > 0xFFFF) throw py::value_error("a magnitude is from 0 to 65535");
        if (a < 0 || a > 255) throw py::value_error("an angle is from 0 to 255 (256 units a turn)");
        data.emplace_back(p[i], static_cast<unsigned short>(g), krAngle8(static_cast<unsigned char>(a)));
    }
    return data;
}

template <class T, class F>
py::array_t<T> column(const Edgelets::Data& d, F f) {
    py::array_t<T> a(static_cast<py::ssize_t>(d.size()));
    for (std::size_t i = 0; i < d.size(); ++i) a.mutable_data()[i] = f(d[i]);
    return a;
}

void bindEdgelets(py::module_& m) {
    py::class_<Edgelets, krContour> e(m, "EdgeletContour", py::dynamic_attr(), py::multiple_inheritance(),
        "A contour whose vertices stand for edgelets (position, magnitude, angle in 1/256 turns), "
        "kept in step through xform, the map from contour points to edgelet positions.");
    common(e);
    e.def(py::init([](py::handle positions, py::handle magnitudes, py::handle angles, py::handle xform) {
              Edgelets::Data data = edgelets(positions, magnitudes, angles);
              if (xform.is_none()) return std::make_unique<Edgelets>(data);
              krPtrHandle_const<kr2XformBase> x(new kr2XformLinear(xform.cast<krXform<2>>()));
              return std::make_unique<Edgelets>(data, x);
          }),
          "positions"_a, "magnitudes"_a, "angles"_a, "xform"_a = py::none());
    e.def_property_readonly("positions", [](const Edgelets& s) {
        Points p;
        for (const krEdgelet& d : s.data()) p.push_back(d.position());
        return fromPoints(p);
    });
    e.def_property_readonly("magnitudes", [](const Edgelets& s) {
        return column<std::uint16_t>(s.data(), [](const krEdgelet& d) { return d.magnitude(); });
    });
    e.def_property_readonly("angles", [](const Edgelets& s) {
        return column<std::uint8_t>(s.data(), [](const krEdgelet& d) { return d.angle().value(); });
    });
    e.def_property_readonly("xform", [](const Edgelets& s) -> py::object {
        auto x = s.dataFromPointsXform();
        if (!x) return py::none();
        // An affine map is known by where it takes the origin and the two unit vectors.
        krVector<2> t = x->mapPoint(krVector<2>(0, 0));
        krVector<2> ex = x->mapPoint(krVector<2>(1, 0)) - t, ey = x->mapPoint(krVector<2>(0, 1)) - t;
        return py::cast(krXform<2>(krMatrix<2>(ex.x(), ey.x(), ex.y(), ey.y()), t));
    });
    e.def("set_data", [](Edgelets& s, py::handle positions, py::handle magnitudes, py::handle angles) {
        s.data(edgelets(positions, magnitudes, angles));
    }, "positions"_a, "magnitudes"_a, "angles"_a);
    e.def("datum", [](const Edgelets& s, const krVector<2>& p) {
        krEdgelet d = s.datum(p);
        return py::make_tuple(d.position(), d.magnitude(), d.angle().value());
    }, "p"_a, "(position, magnitude, angle) of the edgelet that stands for contour point p.");
    e.def("point", [](const Edgelets& s, const krVector<2>& position) {
        return s.point(krEdgelet(position, 0, krAngle8(0)));
    }, "position"_a, "The contour point that stands for an edgelet at position.");
    e.def("__repr__", [](const Edgelets& s) { return describe("EdgeletContour", s, ""); });
}

}  // namespace

void bindShapes(py::module_& m) {
    bindContour(m);
    bindRegion(m);
    bindRegionSet(m);
    bindEdgelets(m);
}

}  // namespace qp
