#include "tools/actions.h"

#include <algorithm>
#include <cmath>

#include "cntr/moments.h"
#include "cntr/repair/walkedpolygons.h"
#include "cntr/masks.h"
#include "cntr/regionset.h"
#include "io/source.h"
#include "platform/disp/tablet.h"
#include "platform/std/hull.h"
#include "tools/measure.h"
#include "tools/validity.h"

namespace qs {

std::shared_ptr<krPersistent> surface(const Shape& s, unsigned long index) {
    if (s.kind == Kind::OpenContour) throw InputError("an open contour bounds no surface");
    if (s.kind != Kind::ClosedContour) return toLibrary(s, index);
    Shape region = s;
    region.kind = Kind::Region;
    return toLibrary(region, index);
}

namespace {

bool samePolygons(const Shape& a, const Shape& b) {
    if (a.polygons.size() != b.polygons.size()) return false;
    for (std::size_t i = 0; i < a.polygons.size(); ++i)
        if (a.polygons[i].outer != b.polygons[i].outer || a.polygons[i].holes != b.polygons[i].holes)
            return false;
    return true;
}

// A shape valid calls invalid although the library's crossing rule lets its
// rings pass (a ring traced twice, one touching itself at a vertex, holes
// crossing their boundary): its rings noded together, read by even-odd
// parity, holes counted, or walked round everything the outer ones enclose
// (failing parity too), as polygons whose rings meet at vertices only.
std::vector<Polygon> rebuilt(const Shape& s, RepairMode mode) {
    std::vector<const Ring*> rings;
    for (const Polygon& p : s.polygons) {
        rings.push_back(&p.outer);
        if (mode == RepairMode::Regularize)
            for (const Ring& h : p.holes) rings.push_back(&h);
    }
    using qel::detail::NodedBoundary;
    std::vector<qel::detail::WalkedPolygon> walked;
    if (mode == RepairMode::Regularize) walked = qel::detail::evenOddPolygons(rings);
    if (walked.empty() && !qel::detail::walkedPolygons(NodedBoundary(rings), NodedBoundary::Walk::eOuter, walked))
        throw krContourDefs::BadParams(L"invalid contour");
    std::vector<Polygon> out;
    for (auto& w : walked) out.push_back({std::move(w.outer), std::move(w.holes)});
    return out;
}

}  // namespace

Shape repair(const Shape& s, RepairMode mode, unsigned long index, bool& changed) {
    // Everything but the rings comes along: label, id, properties, notes.
    Shape out = s;
    const bool surfaces = s.kind == Kind::Region || s.kind == Kind::RegionSet;
    const bool invalid = surfaces && !invalidity(s).empty();
    // The outer hull is what the outer rings enclose: the holes of an invalid
    // shape, which may cross anything, are not asked.
    Shape given = s;
    if (mode == RepairMode::OuterHull && invalid)
        for (Polygon& p : given.polygons) p.holes.clear();
    try {
        std::shared_ptr<krPersistent> obj = surface(given, index);
        if (auto r = std::dynamic_pointer_cast<krRegion>(obj)) {
            krRegion fixed;
            mode == RepairMode::OuterHull ? r->outerHull(fixed) : r->regularize(fixed);
            out.polygons = fromLibrary(fixed).polygons;
        } else {
            // Merging may leave a set of one region: it stays a set, as it came in.
            auto set = std::dynamic_pointer_cast<krRegionSet>(obj);
            krRegionSet fixed;
            mode == RepairMode::OuterHull ? set->outerHull(fixed) : set->regularize(fixed);
            out.polygons = fromLibrary(fixed).polygons;
        }
    } catch (const krContourDefs::BadParams&) {
        // The library holds no region whose holes cross its boundary.
        if (!invalid) throw;
        out.polygons.clear();
    }
    if (s.kind == Kind::ClosedContour) {
        out.polygons.resize(1), out.polygons[0].holes.clear();
    } else if (out.polygons.empty() || !invalidity(out).empty()) {
        out.polygons = rebuilt(s, mode);
    }
    // A polygon whose rings crossed may come back as several.
    if (out.polygons.size() > 1) out.kind = Kind::RegionSet;
    changed = !samePolygons(s, out);
    return out;
}

std::string insideLines(const Shape& s, const std::string& where, unsigned long index,
                        const std::vector<krVector<2>>& points) {
    std::shared_ptr<krPersistent> obj = surface(s, index);
    auto region = std::dynamic_pointer_cast<krRegion>(obj);
    auto set = std::dynamic_pointer_cast<krRegionSet>(obj);
    std::string out, prefix = csvField(where) + "," + csvField(s.label) + ",";
    for (const krVector<2>& p : points) {
        bool in = region ? region->inside(p, true) : set->inside(p, true);
        out += prefix + num(p.x()) + "," + num(p.y()) + (in ? ",true\n" : ",false\n");
    }
    return out;
}

namespace {

const krColor kOutline(20, 60, 160), kFill(90, 140, 220), kHole(200, 90, 20), kRect(120, 120, 120),
    kCircle(40, 150, 60), kEllipse(150, 40, 150), kMark(220, 20, 20), kCrossing(0, 0, 0);

void drawRing(krUITablet& t, const Ring& r, bool closed, const krColor& c, const char* layer) {
    krContour(r, closed).draw(t, krContourDefs::eDrawLines, c, krUITablet::Layers(layer));
}

// Overlays of the outer boundary's measures; one that the library refuses is left out.
template <class F>
void overlay(F f) {
    try {
        f();
    } catch (const krException&) {
    }
}

}  // namespace

namespace {

// The shape mirrored in the x axis: drawn in image coordinates, it shows y upwards.
Shape mirrored(const Shape& s) {
    Shape m = s;
    auto flip = [](Ring& r) {
        for (krVector<2>& p : r) p = krVector<2>(p.x(), -p.y());
    };
    for (Polygon& p : m.polygons) {
        flip(p.outer);
        for (Ring& h : p.holes) flip(h);
    }
    return m;
}

void drawShape(krUITablet& t, const Shape& s, unsigned long index, const Overlays& o) {
    bool closed = s.kind != Kind::OpenContour;
    for (const Polygon& p : s.polygons) {
        if (!closed) {
            drawRing(t, p.outer, false, kOutline, "shapes");
            t.addLegendEntry(krUITablet::eLegendLine, kOutline, "open contour");
            continue;
        }
        std::vector<std::vector<krPair<double>>> rings(1 + p.holes.size());
        for (const krVector<2>& v : p.outer) rings[0].emplace_back(v);
        for (std::size_t k = 0; k < p.holes.size(); ++k)
            for (const krVector<2>& v : p.holes[k]) rings[k + 1].emplace_back(v);
        t.drawRegion(rings, kOutline, kFill, krUITablet::Layers("shapes"));
        t.addLegendEntry(krUITablet::eLegendSurface, kOutline,
                         "shape, filled by the even-odd rule");
        for (const Ring& h : p.holes) drawRing(t, h, true, kHole, "holes");
        if (!p.holes.empty()) t.addLegendEntry(krUITablet::eLegendLine, kHole, "hole outline");
    }
    // The label names the whole shape, so it goes beside the box of all its outlines.
    krRect box = krContour(s.polygons[0].outer).encloseRect(krXform<2>::I);
    for (const Polygon& p : s.polygons)
        box = box.enclose(krContour(p.outer).encloseRect(krXform<2>::I));
    // Markers scale with the shape so they show at any zoom.
    double mark = std::max(1e-9, std::max(box.width(), box.height()) / 80);
    bool crossings = false;
    for (const Polygon& p : s.polygons) {
        krContour c(p.outer, closed);
        if (o.rect)
            overlay([&] {
                krRect r = c.encloseRect(krXform<2>::I);
                Ring box = {r.origin(), {r.corner().x(), r.origin().y()}, r.corner(),
                            {r.origin().x(), r.corner().y()}};
                drawRing(t, box, true, kRect, "rect");
                t.addLegendEntry(krUITablet::eLegendLine, kRect, "enclosing rectangle");
            });
        if (o.circle)
            overlay([&] {
                krCircle k = kfMinEnclosingCircle(p.outer);
                t.drawCircle(k.center(), k.radius(), kCircle, krUITablet::Layers("circle"));
                t.addLegendEntry(krUITablet::eLegendEllipse, kCircle, "smallest enclosing circle");
            });
        if (o.ellipse)
            overlay([&] {
                krEllipse e;
                double residual;
                c.fitEllipse(e, residual);
                t.drawEllipse(e.center(), e.a(), e.b(), e.rotation(), kEllipse,
                              krUITablet::Layers("ellipse"));
                t.addLegendEntry(krUITablet::eLegendEllipse, kEllipse,
                                 "fitted ellipse (over the circle where they coincide)");
            });
        if (o.com && closed)
            overlay([&] {
                krRegion r(p.outer);
                // A boundary whose lobes cancel has no centre worth marking.
                if (r.area(false) > 0) {
                    t.drawMarker(r.centerOfMass(false), mark, kMark, krUITablet::Layers("com"));
                    t.addLegendEntry(krUITablet::eLegendMarker, kMark, "centre of mass");
                }
            });
        // A crossing is found from both of its segments; marking it twice does no harm.
        if (o.crossings && c.isSelfIntersecting())
            for (std::size_t i = 0; i + (closed ? 0 : 1) < p.outer.size(); ++i) {
                krLineSeg seg(p.outer[i], p.outer[(i + 1) % p.outer.size()]);
                for (const krVector<2>& x : c.intersections(seg, false)) {
                    t.drawMarker(x, mark, kCrossing, krUITablet::Layers("crossings"));
                    crossings = true;
                }
            }
    }
    t.drawLabel(box.origin(), box.corner(), s.label.empty() ? "#" + std::to_string(index) : s.label,
                kOutline, krUITablet::Layers("labels"));
    if (crossings)
        t.addLegendEntry(krUITablet::eLegendMarker, kCrossing, "where the outline crosses itself");
}

}  // namespace

void draw(krUITablet& t, const Shape& s, unsigned long index, const Overlays& o) {
    drawShape(t, o.yUp ? mirrored(s) : s, index, o);
}

krXform<2> RasterGrid::pixelToShape() const {
    if (!yUp) return kf_PixelGrid(origin, pixel);
    return krXform<2>(krMatrix<2>(pixel, 0, 0, -pixel),
                      krVector<2>(origin.x(), origin.y() + double(height) * pixel));
}

namespace {

constexpr long long kFittedSide = 256;

RasterGrid chooseGrid(const Shape& s, const krRect& box, const RasterOptions& o) {
    RasterGrid g;
    g.yUp = o.yUp;
    const bool given = o.origin || o.pixel;
    if (given || (s.imageSize && !o.fit && !o.width && !o.height)) {
        g.origin = o.origin.value_or(krVector<2>(0, 0));
        g.pixel = o.pixel.value_or(1.0);
        g.width = o.width ? *o.width : s.imageSize ? s.imageSize->first : 0;
        g.height = o.height ? *o.height : s.imageSize ? s.imageSize->second : 0;
        if (!g.width || !g.height)
            throw InputError("the raster's width and height are not given, nor an image's size");
    } else {
        const double w = box.width(), h = box.height();
        // The missing side in the box's proportions, capped so that it stays a number.
        auto side = [](long long other, double along, double across) {
            if (!(across > 0)) return other;
            return static_cast<long long>(std::clamp(std::ceil(double(other) * along / across), 1.0, 1e12));
        };
        g.width = o.width.value_or(0), g.height = o.height.value_or(0);
        if (!g.width && !g.height) (w >= h ? g.width : g.height) = kFittedSide;
        if (!g.width) g.width = side(g.height, w, h);
        if (!g.height) g.height = side(g.width, h, w);
        g.pixel = std::max(w / double(g.width), h / double(g.height));
        if (!(g.pixel > 0)) g.pixel = 1;
        g.origin = krVector<2>(box.origin().x() - (double(g.width) * g.pixel - w) / 2,
                               box.origin().y() - (double(g.height) * g.pixel - h) / 2);
    }
    if (g.width <= 0 || g.height <= 0 || g.height > kMaxMaskPixels / g.width)
        throw InputError("a raster of " + std::to_string(g.width) + " x " + std::to_string(g.height) +
                         " pixels is not one the tool makes");
    return g;
}

}  // namespace

std::vector<unsigned char> rasterize(const Shape& s, unsigned long index, const RasterOptions& o,
                                     RasterGrid& grid) {
    std::shared_ptr<krPersistent> obj = surface(s, index);
    const auto* region = dynamic_cast<const krRegion*>(obj.get());
    const auto* set = dynamic_cast<const krRegionSet*>(obj.get());
    grid = chooseGrid(s, region ? region->encloseRect(krXform<2>::I) : set->encloseRect(krXform<2>::I), o);
    const auto w = std::size_t(grid.width), h = std::size_t(grid.height);
    return region ? kf_Rasterize(*region, w, h, grid.pixelToShape()) : kf_Rasterize(*set, w, h, grid.pixelToShape());
}

}  // namespace qs
