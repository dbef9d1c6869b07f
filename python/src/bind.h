// What the binding sources share: conversions between numpy arrays or Python
// sequences and the library's values, the small result types, and the
// registration functions each source provides.
#ifndef QEL_PYTHON_BIND_H
#define QEL_PYTHON_BIND_H

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <vector>

#include "cntr/contour.h"
#include "defs/cntrdefs.h"
#include "platform/std/ellipse.h"
#include "platform/std/geometry.h"
#include "platform/std/vector.h"
#include "platform/std/xform.h"

namespace py = pybind11;

namespace qp {

using Points = std::vector<krVector<2>>;
using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// An (n, 2) array of doubles in C order, as given when it already is one (no
// copy), converted otherwise. A one-dimensional empty array counts as (0, 2).
// ValueError for any other shape, and for NaN or infinity when finite is set.
struct PointArray {
    DoubleArray array;
    std::size_t size = 0;
    const krVector<2>* data() const { return reinterpret_cast<const krVector<2>*>(array.data()); }
};
PointArray pointArray(py::handle obj, const char* what, bool finite);

// The vertices of a shape: finite, copied into the library's list.
Points toPoints(py::handle obj, const char* what = "points");
py::array_t<double> fromPoints(const Points& points);
py::array_t<double> fromPoints(const krVector<2>* points, std::size_t n);

// True when obj is one point (a pair of numbers) rather than a list of them.
bool isSinglePoint(py::handle obj);

// A query asked of one point or of an (m, 2) array of points: one answer by
// one(point), or an array of m answers by many(points), the library's batch
// form (its kept index, the machine's cores), with the interpreter released.
template <class T, class One, class Many>
py::object pointQuery(py::handle obj, One&& one, Many&& many) {
    if (isSinglePoint(obj)) return py::cast(T(one(obj.cast<krVector<2>>())));
    PointArray a = pointArray(obj, "points", false);
    py::array_t<T> out(static_cast<py::ssize_t>(a.size));
    T* o = out.mutable_data();
    {
        py::gil_scoped_release release;
        const auto answers = many(Points(a.data(), a.data() + a.size));
        std::copy(answers.begin(), answers.end(), o);
    }
    return std::move(out);
}

krContourDefs::IntersectionMode intersectionMode(const std::string& name);
krContourDefs::DiameterMode diameterMode(py::handle mode);

// The result types: named tuples made once at import.
py::object rect(const krRect& r);
py::object circle(const krCircle& c);
py::object ellipse(const krEllipse& e);
py::array_t<double> matrix(const krMatrix<2>& m);

// A copy of a library object as the Python class that stands for it
// (TypeError for an object the package has no class for).
py::object toPython(const krPersistent& obj);
// The library object behind a shape of this package (TypeError otherwise).
const krPersistent& fromPython(py::handle shape);

void bindErrors(py::module_& m);
void bindShapes(py::module_& m);
void bindFunctions(py::module_& m);
void bindFiles(py::module_& m);
void bindEdges(py::module_& m);

}  // namespace qp

// Points go in as any pair of numbers and come out as a tuple of floats;
// transforms go in as a 2x3 (or 3x3 affine) matrix, None being the identity.
namespace pybind11 {
namespace detail {

template <>
struct type_caster<krVector<2>> {
    PYBIND11_TYPE_CASTER(krVector<2>, const_name("tuple[float, float]"));
    bool load(handle src, bool convert);
    static handle cast(const krVector<2>& v, return_value_policy, handle) {
        PyObject* t = PyTuple_New(2);
        PyTuple_SET_ITEM(t, 0, PyFloat_FromDouble(v.x()));
        PyTuple_SET_ITEM(t, 1, PyFloat_FromDouble(v.y()));
        return t;
    }
};

template <>
struct type_caster<krXform<2>> {
    PYBIND11_TYPE_CASTER(krXform<2>, const_name("numpy.ndarray | None"));
    bool load(handle src, bool convert);
    static handle cast(const krXform<2>& x, return_value_policy, handle);
};

}  // namespace detail
}  // namespace pybind11

#endif
