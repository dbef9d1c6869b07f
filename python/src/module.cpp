// The module _qelcntr: conversions, errors, free functions and archives. The
// shape classes are in shapes.cpp, the file readers and measures in files.cpp.
#include <cmath>
#include <cstring>
#include <string>
#include <typeindex>
#include <unordered_map>

#include "cntr/moments.h"
#include "cntr/regionset.h"
#include "defs/cntrtmpl.h"
#include "platform/ip/greyimage.h"
#include "platform/std/archive.h"
#include "platform/std/fit.h"
#include "platform/std/hull.h"
#include "python/src/bind.h"
#include "io/shape.h"

static_assert(sizeof(krVector<2>) == 2 * sizeof(double), "points are read in place as two doubles");

namespace pybind11 {
namespace detail {

bool type_caster<krVector<2>>::load(handle src, bool) {
    // The common cases first: a tuple or list of two numbers.
    if ((PyTuple_Check(src.ptr()) || PyList_Check(src.ptr())) && PySequence_Fast_GET_SIZE(src.ptr()) == 2) {
        PyObject** items = PySequence_Fast_ITEMS(src.ptr());
        double x = PyFloat_AsDouble(items[0]), y = PyFloat_AsDouble(items[1]);
        if ((x == -1.0 || y == -1.0) && PyErr_Occurred()) {
            PyErr_Clear();
            throw value_error("a point is a pair of numbers");
        }
        value = krVector<2>(x, y);
        return true;
    }
    if (!PySequence_Check(src.ptr()) || PyUnicode_Check(src.ptr())) return false;
    qp::PointArray a = qp::pointArray(src, "a point", false);
    if (a.array.ndim() != 1 || a.array.shape(0) != 2) throw value_error("a point is a pair of numbers");
    value = krVector<2>(a.array.data()[0], a.array.data()[1]);
    return true;
}

bool type_caster<krXform<2>>::load(handle src, bool) {
    if (src.is_none()) {
        value = krXform<2>::I;
        return true;
    }
    auto a = qp::DoubleArray::ensure(src);
    if (!a || a.ndim() != 2 || a.shape(1) != 3 || (a.shape(0) != 2 && a.shape(0) != 3))
        throw value_error("a transform is a 2x3 matrix [[a, b, tx], [c, d, ty]] (or 3x3 affine)");
    const double* m = a.data();
    if (a.shape(0) == 3 && (m[6] != 0 || m[7] != 0 || m[8] != 1))
        throw value_error("a 3x3 transform must be affine: its last row is [0, 0, 1]");
    value = krXform<2>(krMatrix<2>(m[0], m[1], m[3], m[4]), krVector<2>(m[2], m[5]));
    return true;
}

handle type_caster<krXform<2>>::cast(const krXform<2>& x, return_value_policy, handle) {
    py::array_t<double> a({2, 3});
    double* m = a.mutable_data();
    const krMatrix<2>& r = x.matrix();
    double v[6] = {r.element(0, 0), r.element(0, 1), x.trans().x(),
                   r.element(1, 0), r.element(1, 1), x.trans().y()};
    std::memcpy(m, v, sizeof v);
    return a.release();
}

}  // namespace detail
}  // namespace pybind11

namespace qp {

PointArray pointArray(py::handle obj, const char* what, bool finite) {
    PointArray p;
    p.array = DoubleArray::ensure(obj);
    if (!p.array) {
        PyErr_Clear();
        throw py::value_error(std::string(what) + " must be an (n, 2) array of numbers");
    }
    const DoubleArray& a = p.array;
    bool empty1d = a.ndim() == 1 && a.shape(0) == 0;
    if (!empty1d && !(a.ndim() == 2 && a.shape(1) == 2) && std::strcmp(what, "a point") != 0) {
        std::string shape;
        for (py::ssize_t i = 0; i < a.ndim(); ++i) shape += (i ? ", " : "") + std::to_string(a.shape(i));
        throw py::value_error(std::string(what) + " must be an (n, 2) array, not of shape (" + shape + ")");
    }
    p.size = empty1d || a.ndim() != 2 ? 0 : static_cast<std::size_t>(a.shape(0));
    if (finite)
        for (std::size_t i = 0; i < 2 * p.size; ++i)
            if (!std::isfinite(a.data()[i]))
                throw py::value_error(std::string(what) + " must be finite numbers (found " +
                                      std::to_string(a.data()[i]) + ")");
    return p;
}

Points toPoints(py::handle obj, const char* what) {
    PointArray a = pointArray(obj, what, true);
    return Points(a.data(), a.data() + a.size);
}

py::array_t<double> fromPoints(const krVector<2>* points, std::size_t n) {
    py::array_t<double> a({static_cast<py::ssize_t>(n), py::ssize_t(2)});
    if (n) std::memcpy(a.mutable_data(), points, n * sizeof(krVector<2>));
    return a;
}

py::array_t<double> fromPoints(const Points& points) { return fromPoints(points.data(), points.size()); }

bool isSinglePoint(py::handle obj) {
    if (PyTuple_Check(obj.ptr()) || PyList_Check(obj.ptr())) {
        if (PySequence_Fast_GET_SIZE(obj.ptr()) == 0) return false;
        PyObject* first = PySequence_Fast_ITEMS(obj.ptr())[0];
        return PyFloat_Check(first) || PyLong_Check(first) ||
               (PyNumber_Check(first) && !PySequence_Check(first));
    }
    if (!py::isinstance<py::array>(obj)) return false;
    auto a = py::reinterpret_borrow<py::array>(obj);
    return a.ndim() == 1 && a.shape(0) != 0;
}

}  // namespace qp

namespace qp {

// ---- errors ----

namespace {

struct ErrorKind {
    const char* name;
    const char* base;
    const std::type_info* type;  // the library class it stands for, if one
    const char* doc;
};

const ErrorKind kErrors[] = {
    {"EmptyContour", "Error", &typeid(krContourDefs::EmptyContour), "The shape has too few points for the query."},
    {"EmptyRegionSet", "Error", &typeid(krContourDefs::EmptyRegionSet), "The region set has no regions."},
    {"BadParams", "Error", &typeid(krContourDefs::BadParams), "An argument, or a combination of them, is not accepted."},
    {"RegionCannotBeSetOpen", "Error", &typeid(krContourDefs::RegionCannotBeSetOpen), "A region is always closed."},
    {"BadPointer", "Error", &typeid(krBadPointer), "A shape refers to a missing object."},
    {"Singular", "Error", &typeid(krMathError::Singular), "A matrix or moment is too close to zero."},
    {"BadWindow", "Error", &typeid(krPel::BadWindow), "The operation is not supported for this shape."},
    {"FitError", "Error", &typeid(krFitError), "A fit found no answer."},
    {"ConvexHullError", "Error", &typeid(krConvexHullError), "The convex hull cannot be formed."},
    {"ImageError", "Error", &typeid(krImageError), "An image, or a setting of the edge detector, is unusable."},
    {"ArchiveError", "Error", nullptr, "Bytes that are not a readable archive, or a shape that cannot be stored."},
    {"UnknownVersion", "ArchiveError", &typeid(krArchive::UnknownVersion), "A record version this library does not read."},
    {"Corrupt", "ArchiveError", &typeid(krArchive::Corrupt), "Malformed archive bytes."},
    {"Truncated", "Corrupt", &typeid(krArchive::Truncated), "The archive ends inside a field."},
    {"CannotStore", "ArchiveError", &typeid(krArchive::CannotStore), "The shape cannot be stored."},
    {"WrongClass", "ArchiveError", &typeid(krArchive::WrongClass), "The archive holds another class than asked for."},
};

// Made at import and kept for the life of the process.
std::unordered_map<std::type_index, py::object>* gErrorByType;
py::object* gError;
py::object* gInputError;

py::str wide(const std::wstring& s) {
    return py::reinterpret_steal<py::str>(PyUnicode_FromWideChar(s.data(), static_cast<Py_ssize_t>(s.size())));
}

void raise(const krException& e) {
    auto it = gErrorByType->find(std::type_index(typeid(e)));
    py::object cls = it == gErrorByType->end() ? *gError : it->second;
    py::str message = wide(e.message());
    py::str text = message;
    if (py::len(message) == 0) {
        char number[64];
        std::snprintf(number, sizeof number, " (error %#lx)", static_cast<unsigned long>(e.errorNumber()));
        text = py::str(cls.attr("__name__").cast<std::string>() + number);
    }
    py::object error = cls(text);
    error.attr("message") = message;
    error.attr("error_number") = e.errorNumber();
    PyErr_SetObject(cls.ptr(), error.ptr());
}

py::object newError(py::module_& m, const char* name, py::handle bases, const char* doc) {
    std::string full = std::string("qelcntr.") + name;
    py::object cls = py::reinterpret_steal<py::object>(
        PyErr_NewExceptionWithDoc(full.c_str(), doc, bases.ptr(), nullptr));
    if (!cls) throw py::error_already_set();
    cls.attr("message") = py::str("");
    cls.attr("error_number") = py::none();
    m.add_object(name, cls);
    return cls;
}

}  // namespace

void bindErrors(py::module_& m) {
    gErrorByType = new std::unordered_map<std::type_index, py::object>;
    gError = new py::object(newError(m, "Error", PyExc_Exception,
        "Every error of the library. message is the library's text (often empty) and "
        "error_number its number; str() gives the class and number when there is no text."));
    for (const ErrorKind& k : kErrors) {
        py::object cls = newError(m, k.name, m.attr(k.base), k.doc);
        if (k.type) (*gErrorByType)[std::type_index(*k.type)] = cls;
    }
    gInputError = new py::object(newError(m, "InputError", py::make_tuple(*gError, py::handle(PyExc_ValueError)),
        "A file or record that cannot be read as shapes; the text says where."));
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const krException& e) {
            raise(e);
        } catch (const qs::InputError& e) {
            PyErr_SetString(gInputError->ptr(), e.what());
        }
    });
}

// ---- small values ----

namespace {

py::object* gRect;
py::object* gCircle;
py::object* gEllipse;
py::object* gMoments;

}  // namespace

py::object rect(const krRect& r) {
    return (*gRect)(r.origin().x(), r.origin().y(), r.size().x(), r.size().y());
}

py::object circle(const krCircle& c) { return (*gCircle)(c.center().x(), c.center().y(), c.radius()); }

py::object ellipse(const krEllipse& e) {
    return (*gEllipse)(e.center().x(), e.center().y(), e.a(), e.b(), e.rotation().toDouble());
}

py::array_t<double> matrix(const krMatrix<2>& m) {
    py::array_t<double> a({2, 2});
    double* d = a.mutable_data();
    for (int i = 0; i < 4; ++i) d[i] = m.element(i / 2, i % 2);
    return a;
}

krContourDefs::IntersectionMode intersectionMode(const std::string& name) {
    if (name == "as_is") return krContourDefs::eAsIs;
    if (name == "outer_hull") return krContourDefs::eOuterHull;
    if (name == "regularize") return krContourDefs::eRegularize;
    throw py::value_error("mode is \"as_is\", \"outer_hull\" or \"regularize\", not \"" + name + "\"");
}

// A name, or a number that the library checks itself (BadParams).
krContourDefs::DiameterMode diameterMode(py::handle mode) {
    if (py::isinstance<py::str>(mode)) {
        std::string name = mode.cast<std::string>();
        if (name == "exact") return krContourDefs::eExact;
        if (name == "fast") return krContourDefs::eFast;
        throw py::value_error("mode is \"exact\" or \"fast\", not \"" + name + "\"");
    }
    return static_cast<krContourDefs::DiameterMode>(mode.cast<int>());
}

// ---- archives ----

py::object toPython(const krPersistent& obj) {
    auto own = py::return_value_policy::take_ownership;
    if (auto s = dynamic_cast<const krRegionSet*>(&obj)) return py::cast(new krRegionSet(*s), own);
    if (auto r = dynamic_cast<const krRegion*>(&obj)) return py::cast(new krRegion(*r), own);
    if (auto e = dynamic_cast<const krContourT<krEdgelet>*>(&obj))
        return py::cast(new krContourT<krEdgelet>(*e), own);
    if (auto c = dynamic_cast<const krContour*>(&obj)) return py::cast(new krContour(*c), own);
    throw py::type_error(std::string("the archive holds a ") + typeid(obj).name() +
                         ", which is not a shape");
}

const krPersistent& fromPython(py::handle shape) {
    if (py::isinstance<krRegionSet>(shape)) return shape.cast<const krRegionSet&>();
    if (py::isinstance<krContour>(shape)) return shape.cast<const krContour&>();
    throw py::type_error("not a shape of qelcntr: " + py::repr(shape).cast<std::string>());
}

namespace {

py::bytes dumps(py::handle shape) {
    std::vector<unsigned char> bytes = kfStore(fromPython(shape));
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

py::object loads(py::buffer data) {
    py::buffer_info b = data.request();
    if (b.ndim > 1 || b.itemsize != 1) throw py::value_error("loads reads bytes");
    std::shared_ptr<krPersistent> obj = kfLoad(b.ptr, static_cast<std::size_t>(b.size));
    if (!obj) throw py::type_error("the archive holds no object");
    return toPython(*obj);
}

// ---- free functions ----

// "direct": the library's own fit, with its fallback; "geometric": the
// orthogonal least-squares ellipse, FitError when there is none.
py::tuple fitEllipse(py::handle points, const std::string& mode) {
    Points p = toPoints(points);
    if (mode == "geometric") {
        krEllipseFitResults r;
        kfEllipseFit(krEllipseFitParams(krEllipseFitDefs::eGeometric), p, r);
        return py::make_tuple(ellipse(r.ellipse()), r.residual());
    }
    if (mode != "direct") throw py::value_error("an ellipse fit's mode is \"direct\" or \"geometric\"");
    krEllipse e;
    double residual = 0;
    kf_FitEllipse(p, e, residual);
    return py::make_tuple(ellipse(e), residual);
}

// "taubin" with the parameters the library's own fallback uses, or "geometric".
py::tuple fitCircle(py::handle points, const std::string& mode) {
    Points p = toPoints(points);
    if (mode != "taubin" && mode != "geometric")
        throw py::value_error("a circle fit's mode is \"taubin\" or \"geometric\"");
    krCircleFitResults r;
    kfCircleFit(krCircleFitParams(mode == "geometric" ? krCircleFitDefs::eGeometric : krCircleFitDefs::eTaubin),
                p, r);
    return py::make_tuple(circle(r.circle()), r.residual());
}

py::object moments(const kr_InertiaData& d) {
    return (*gMoments)(d.area(), py::cast(d.centerOfMass()), matrix(d.inertiaMatrix()));
}

krEllipse ellipseFromMoments(py::handle m) {
    py::sequence s = py::reinterpret_borrow<py::sequence>(m);
    if (py::len(s) != 3) throw py::value_error("moments are (area, center, inertia)");
    auto a = DoubleArray::ensure(s[2]);
    if (!a || a.size() != 4) throw py::value_error("the inertia matrix is 2x2");
    const double* d = a.data();
    return kf_EllipseFromInertiaData(kr_InertiaData(
        s[0].cast<double>(), s[1].cast<krVector<2>>(), krMatrix<2>(d[0], d[1], d[2], d[3])));
}

}  // namespace

void bindFunctions(py::module_& m) {
    py::object namedtuple = py::module_::import("collections").attr("namedtuple");
    auto type = [&](const char* name, const char* fields, const char* doc) {
        py::object t = namedtuple(name, fields, py::arg("module") = "qelcntr");
        t.attr("__doc__") = doc;
        m.add_object(name, t);
        return new py::object(t);
    };
    gRect = type("Rect", "x y width height", "An axis-aligned rectangle: corner (x, y) and size.");
    gCircle = type("Circle", "x y radius", "A circle: centre (x, y) and radius.");
    gEllipse = type("Ellipse", "x y a b rotation",
                    "An ellipse: centre (x, y), semi-axis a along the direction rotation (radians), "
                    "semi-axis b across it.");
    gMoments = type("Moments", "area center inertia",
                    "Signed area, centre of mass and 2x2 matrix of second central moments.");

    m.def("dumps", &dumps, py::arg("shape"),
          "The shape as archive bytes (the format qelshape convert -t archive writes).");
    m.def("loads", &loads, py::arg("data"), "The shape stored in archive bytes.");

    m.def("convex_hull", [](py::handle p) { return fromPoints(kfConvexHull(toPoints(p))); },
          py::arg("points"), "The convex hull of the points, counter-clockwise, as an (k, 2) array.");
    m.def("min_enclosing_circle", [](py::handle p) { return circle(kfMinEnclosingCircle(toPoints(p))); },
          py::arg("points"), "The smallest circle holding every point.");
    m.def("fit_ellipse", &fitEllipse, py::arg("points"), py::arg("mode") = "direct",
          "(Ellipse, residual) fitted to the points. \"direct\" falls back to a circle fit, and to "
          "an empty ellipse with residual -1 when both fail; \"geometric\" (orthogonal distances) "
          "raises FitError when there is none.");
    m.def("fit_circle", &fitCircle, py::arg("points"), py::arg("mode") = "taubin",
          "(Circle, residual) fitted to the points, algebraically (\"taubin\") or by orthogonal "
          "distances (\"geometric\"); FitError when there is none.");
    m.def("polygon_area", [](py::handle p) { return kf_Area(toPoints(p)); }, py::arg("points"),
          "The unsigned area of the closed polygon through the points.");
    m.def("polygon_centroid", [](py::handle p) { return kf_CenterOfMass(toPoints(p)); },
          py::arg("points"), "The centroid of the closed polygon ((0, 0) for a degenerate one).");
    m.def("polygon_moments", [](py::handle p) { return moments(kf_InertiaDataPolygon(toPoints(p))); },
          py::arg("points"), "Moments(area, center, inertia) of the closed polygon; area is signed.");
    m.def("ellipse_from_moments", [](py::handle mo) { return ellipse(ellipseFromMoments(mo)); },
          py::arg("moments"), "The uniform elliptical disc with the same centre and second moments.");
    m.def("std_dev", [](const std::vector<double>& v) { return kf_StdDev(v); }, py::arg("values"),
          "The population standard deviation.");
}

}  // namespace qp

PYBIND11_MODULE(_qelcntr, m) {
    m.doc() = "Plane shapes for machine vision: contours, regions with holes, region sets.";
    qp::bindErrors(m);
    qp::bindFunctions(m);
    qp::bindShapes(m);
    qp::bindFiles(m);
    qp::bindEdges(m);
}
