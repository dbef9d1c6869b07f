// qelcntr.edges: the edge detector on numpy images, the GIL released while
// it runs. The chains come back as arrays; the package makes its
// EdgeletContour objects of them (qelcntr/__init__.py).
#include <cmath>
#include <cstdint>
#include <optional>

#include "cntr/edgeshapes.h"
#include "python/src/bind.h"

namespace qp {

namespace {

using namespace pybind11::literals;

// A view of a C-ordered 2-D array of one of the detector's pixel types;
// others are refused rather than converted, so no copy is made silently.
krGreyView greyView(const py::array& a) {
    if (a.ndim() != 2) throw py::value_error("an image is a 2-D array (height, width)");
    const int h = static_cast<int>(a.shape(0)), w = static_cast<int>(a.shape(1));
    const std::ptrdiff_t stride = a.strides(0);
    if (a.strides(1) != static_cast<py::ssize_t>(a.itemsize()))
        throw py::value_error("an image's rows must be contiguous (take numpy.ascontiguousarray)");
    const void* d = a.data();
    if (py::isinstance<py::array_t<std::uint8_t>>(a)) return krGreyView(static_cast<const std::uint8_t*>(d), w, h, stride);
    if (py::isinstance<py::array_t<std::uint16_t>>(a)) return krGreyView(static_cast<const std::uint16_t*>(d), w, h, stride);
    if (py::isinstance<py::array_t<float>>(a)) return krGreyView(static_cast<const float*>(d), w, h, stride);
    if (py::isinstance<py::array_t<double>>(a)) return krGreyView(static_cast<const double*>(d), w, h, stride);
    throw py::type_error("an image's pixels are uint8, uint16, float32 or float64");
}

// Each chain as (points, magnitudes, angles, closed, edgelet magnitudes,
// edgelet angles): positions (n, 2), magnitudes in grey levels a pixel and
// angles in radians as float64, then the library's edgelet values.
py::list edges(const py::array& image, double sigma, std::optional<double> low, std::optional<double> high,
               int minLength, std::optional<int> threads) {
    const krGreyView view = greyView(image);
    kr_EdgeParams p;
    p.sigma = sigma;
    p.low = low;
    p.high = high;
    p.minLength = minLength;
    p.threads = threads.value_or(0);
    if (p.threads < 0) throw py::value_error("threads cannot be negative");
    std::vector<kr_EdgeChain> chains;
    double scale = 1;
    {
        py::gil_scoped_release release;
        chains = kfFindEdges(view, p);
        scale = kf_EdgeMagnitudeScale(view);
    }
    py::list out;
    for (const kr_EdgeChain& c : chains) {
        const py::ssize_t n = static_cast<py::ssize_t>(c.points.size());
        py::array_t<double> pts({n, py::ssize_t(2)}), mag(n), ang(n);
        py::array_t<std::uint16_t> emag(n);
        py::array_t<std::uint8_t> eang(n);
        for (py::ssize_t i = 0; i < n; ++i) {
            const kr_EdgePoint& e = c.points[static_cast<std::size_t>(i)];
            pts.mutable_at(i, 0) = e.x;
            pts.mutable_at(i, 1) = e.y;
            mag.mutable_at(i) = e.magnitude;
            ang.mutable_at(i) = e.angle;
            const krEdgelet d = kf_Edgelet(e, scale);
            emag.mutable_at(i) = d.magnitude();
            eang.mutable_at(i) = d.angle().value();
        }
        out.append(py::make_tuple(pts, mag, ang, c.closed, emag, eang));
    }
    return out;
}

}  // namespace

void bindEdges(py::module_& m) {
    m.def("_edges", &edges, "image"_a, "sigma"_a, "low"_a, "high"_a, "min_length"_a, "threads"_a);
}

}  // namespace qp
