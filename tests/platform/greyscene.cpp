#include "tests/platform/greyscene.h"

#include "platform/std/fit.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace greyscene {
namespace {

double cross(Pt a, Pt b) { return a[0] * b[1] - a[1] * b[0]; }
double dot(Pt a, Pt b) { return a[0] * b[0] + a[1] * b[1]; }

// Signed area of the disc of radius r about the origin inside the triangle
// (origin, a, b): the segment ab is cut where it crosses the circle, and
// each piece adds its triangle when inside and its sector when outside.
double triangleArea(Pt a, Pt b, double r) {
    const Pt d{b[0] - a[0], b[1] - a[1]};
    const double qa = dot(d, d), qb = 2.0 * dot(a, d), qc = dot(a, a) - r * r;
    std::vector<Pt> cut{a};
    const double disc = qb * qb - 4.0 * qa * qc;
    if (qa > 0.0 && disc > 0.0) {
        for (double s : {-1.0, 1.0}) {
            const double t = (-qb + s * std::sqrt(disc)) / (2.0 * qa);
            if (t > 0.0 && t < 1.0) cut.push_back({a[0] + t * d[0], a[1] + t * d[1]});
        }
    }
    cut.push_back(b);
    double area = 0.0;
    for (std::size_t i = 0; i + 1 < cut.size(); ++i) {
        const Pt u = cut[i], v = cut[i + 1];
        const Pt mid{(u[0] + v[0]) / 2, (u[1] + v[1]) / 2};
        area += dot(mid, mid) <= r * r ? cross(u, v) / 2 : r * r / 2 * std::atan2(cross(u, v), dot(u, v));
    }
    return area;
}

// Area of the disc of radius r about the origin inside the polygon (any
// simple polygon, either orientation; the answer is unsigned).
double discPolygonArea(const std::vector<Pt>& polygon, double r) {
    double area = 0.0;
    for (std::size_t i = 0; i < polygon.size(); ++i)
        area += triangleArea(polygon[i], polygon[(i + 1) % polygon.size()], r);
    return std::fabs(area);
}

// Area of a simple polygon inside the pixel square [x, x+1) x [y, y+1).
double polygonPixelArea(const std::vector<Pt>& polygon, int x, int y) {
    // Clip by the square's four sides in turn, then the shoelace.
    std::vector<Pt> p = polygon;
    const double bounds[4] = {double(x), double(y), x + 1.0, y + 1.0};
    for (int side = 0; side < 4 && !p.empty(); ++side) {
        const int axis = side % 2;
        const bool lower = side < 2;
        auto inside = [&](Pt q) { return lower ? q[axis] >= bounds[side] : q[axis] <= bounds[side]; };
        std::vector<Pt> out;
        for (std::size_t i = 0; i < p.size(); ++i) {
            const Pt a = p[i], b = p[(i + 1) % p.size()];
            if (inside(a)) out.push_back(a);
            if (inside(a) != inside(b)) {
                const double t = (bounds[side] - a[axis]) / (b[axis] - a[axis]);
                out.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])});
            }
        }
        p = std::move(out);
    }
    double area = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) area += cross(p[i], p[(i + 1) % p.size()]);
    return std::fabs(area) / 2;
}

}  // namespace

double ellipseDistance(const Ellipse& e, Pt p) {
    // In the ellipse's own frame, folded into the first quadrant, with the
    // longer axis first; the nearest outline point solves a monotone
    // equation in one unknown, found by bisection.
    const double c = std::cos(e.theta), s = std::sin(e.theta);
    const double dx = p[0] - e.cx, dy = p[1] - e.cy;
    double y0 = std::fabs(c * dx + s * dy), y1 = std::fabs(-s * dx + c * dy);
    double e0 = e.a, e1 = e.b;
    if (e0 < e1) std::swap(e0, e1), std::swap(y0, y1);
    const bool inside = (y0 / e0) * (y0 / e0) + (y1 / e1) * (y1 / e1) < 1.0;
    double x0, x1;
    if (y1 > 0.0) {
        if (y0 > 0.0) {
            // f falls from +infinity at t = -e1^2 to below 0 at t = e0 y0 + e1 y1.
            double lo = -e1 * e1, hi = e0 * y0 + e1 * y1;
            for (int k = 0; k < 80; ++k) {
                const double t = (lo + hi) / 2;
                const double f = std::pow(e0 * y0 / (t + e0 * e0), 2) + std::pow(e1 * y1 / (t + e1 * e1), 2) - 1;
                (f > 0 ? lo : hi) = t;
            }
            const double t = (lo + hi) / 2;
            x0 = e0 * e0 * y0 / (t + e0 * e0);
            x1 = e1 * e1 * y1 / (t + e1 * e1);
        } else {
            x0 = 0.0;
            x1 = e1;
        }
    } else if (y0 < (e0 * e0 - e1 * e1) / e0) {
        x0 = e0 * e0 * y0 / (e0 * e0 - e1 * e1);
        x1 = e1 * std::sqrt(std::max(0.0, 1 - (x0 / e0) * (x0 / e0)));
    } else {
        x0 = e0;
        x1 = 0.0;
    }
    const double d = std::hypot(x0 - y0, x1 - y1);
    return inside ? -d : d;
}

Scene::Scene(int width, int height, double background)
    : w_(width), h_(height), v_(static_cast<std::size_t>(width) * height, background) {}

void Scene::addEllipse(const Ellipse& e, double level) {
    const double c = std::cos(e.theta), s = std::sin(e.theta);
    const double reach = std::max(e.a, e.b) + 2;
    // Pixels wholly inside or outside are decided by the distance of their
    // centre in the frame where the ellipse is the unit circle.
    const double slack = 0.7072 / std::min(e.a, e.b);
    auto toUnit = [&](double x, double y) {
        const double dx = x - e.cx, dy = y - e.cy;
        return Pt{(c * dx + s * dy) / e.a, (-s * dx + c * dy) / e.b};
    };
    const int x0 = std::max(0, int(std::floor(e.cx - reach))), x1 = std::min(w_, int(std::ceil(e.cx + reach)));
    const int y0 = std::max(0, int(std::floor(e.cy - reach))), y1 = std::min(h_, int(std::ceil(e.cy + reach)));
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Pt q = toUnit(x + 0.5, y + 0.5);
            const double rho = std::hypot(q[0], q[1]);
            double cover;
            if (rho + slack <= 1.0) cover = 1.0;
            else if (rho - slack >= 1.0) cover = 0.0;
            else cover = discPolygonArea({toUnit(x, y), toUnit(x + 1, y), toUnit(x + 1, y + 1), toUnit(x, y + 1)}, 1.0) * e.a * e.b;
            at(x, y) += level * cover;
        }
}

void Scene::addPolygon(const std::vector<Pt>& polygon, double level) {
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) at(x, y) += level * polygonPixelArea(polygon, x, y);
}

void Scene::blur(double sigma) {
    const int radius = int(std::ceil(5 * sigma));
    std::vector<double> k(radius + 1);
    double sum = 0;
    for (int i = 0; i <= radius; ++i) sum += (i ? 2 : 1) * (k[i] = std::exp(-0.5 * i * i / (sigma * sigma)));
    for (double& v : k) v /= sum;
    auto mirror = [](int i, int n) {
        while (i < 0 || i >= n) i = i < 0 ? -1 - i : 2 * n - 1 - i;
        return i;
    };
    std::vector<double> out(v_.size());
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) {
                double acc = k[0] * at(x, y);
                for (int i = 1; i <= radius; ++i)
                    acc += k[i] * (pass == 0 ? at(mirror(x - i, w_), y) + at(mirror(x + i, w_), y)
                                             : at(x, mirror(y - i, h_)) + at(x, mirror(y + i, h_)));
                out[static_cast<std::size_t>(y) * w_ + x] = acc;
            }
        v_.swap(out);
    }
}

void Scene::noise(double sd, unsigned long seed) {
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal(0.0, sd);
    for (double& v : v_) v += normal(gen);
}

krGreyImage Scene::image(krPixelType type) const {
    krGreyImage im(type, w_, h_);
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) im.set(x, y, v_[static_cast<std::size_t>(y) * w_ + x]);
    return im;
}

Ellipse fitEllipse(const std::vector<Pt>& p) {
    std::vector<krVector<2>> points;
    for (const Pt& q : p) points.emplace_back(q[0], q[1]);
    krEllipseFitResults r;
    kfEllipseFit(krEllipseFitParams(krEllipseFitDefs::eGeometric, krRadian(0.0), 0, 1e300), points, r);
    const krEllipse& e = r.ellipse();
    return {e.center().x(), e.center().y(), e.a(), e.b(), e.rotation().toDouble()};
}

}  // namespace greyscene
