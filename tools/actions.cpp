#include "tools/actions.h"

#include <algorithm>

#include "cntr/regionst.h"
#include "platform/std/hull.h"
#include "platform/disp/tablet.h"
#include "tools/measure.h"

namespace qs {

namespace {

// The surface a shape bounds: a region, a region set, or the region inside a
// closed contour. An open contour bounds nothing.
std::shared_ptr<krPersistent> surface(const Shape& s, unsigned long index) {
    if (s.kind == Kind::OpenContour) throw InputError("an open contour bounds no surface");
    if (s.kind != Kind::ClosedContour) return toLibrary(s, index);
    Shape region = s;
    region.kind = Kind::Region;
    return toLibrary(region, index);
}

bool samePolygons(const Shape& a, const Shape& b) {
    if (a.polygons.size() != b.polygons.size()) return false;
    for (std::size_t i = 0; i < a.polygons.size(); ++i)
        if (a.polygons[i].outer != b.polygons[i].outer || a.polygons[i].holes != b.polygons[i].holes)
            return false;
    return true;
}

}  // namespace

Shape repair(const Shape& s, RepairMode mode, unsigned long index, bool& changed) {
    std::shared_ptr<krPersistent> obj = surface(s, index);
    // Everything but the rings comes along: label, id, properties, notes.
    Shape out = s;
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
    if (s.kind == Kind::ClosedContour) out.polygons.resize(1), out.polygons[0].holes.clear();
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
    kCircle(40, 150, 60), kEllipse(150, 40, 150), kMark(220, 20, 20);

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
            continue;
        }
        std::vector<std::vector<krPair<double>>> rings(1 + p.holes.size());
        for (const krVector<2>& v : p.outer) rings[0].emplace_back(v);
        for (std::size_t k = 0; k < p.holes.size(); ++k)
            for (const krVector<2>& v : p.holes[k]) rings[k + 1].emplace_back(v);
        t.drawRegion(rings, kOutline, kFill, krUITablet::Layers("shapes"));
        for (const Ring& h : p.holes) drawRing(t, h, true, kHole, "holes");
    }
    const Ring& first = s.polygons[0].outer;
    // Markers scale with the shape so they show at any zoom.
    krRect box = krContour(first).encloseRect(krXform<2>::I);
    double mark = std::max(1e-9, std::max(box.width(), box.height()) / 80);
    t.drawText(first[0], s.label.empty() ? "#" + std::to_string(index) : s.label, kOutline,
               krUITablet::Layers("labels"));
    for (const Polygon& p : s.polygons) {
        krContour c(p.outer, closed);
        if (o.rect)
            overlay([&] {
                krRect r = c.encloseRect(krXform<2>::I);
                Ring box = {r.origin(), {r.corner().x(), r.origin().y()}, r.corner(),
                            {r.origin().x(), r.corner().y()}};
                drawRing(t, box, true, kRect, "rect");
            });
        if (o.circle)
            overlay([&] {
                krCircle k = kfMinEnclosingCircle(p.outer);
                t.drawCircle(k.center(), k.radius(), kCircle, krUITablet::Layers("circle"));
            });
        if (o.ellipse)
            overlay([&] {
                krEllipse e;
                double residual;
                c.fitEllipse(e, residual);
                t.drawEllipse(e.center(), e.a(), e.b(), e.rotation(), kEllipse,
                              krUITablet::Layers("ellipse"));
            });
        if (o.com && closed)
            overlay([&] {
                krRegion r(p.outer);
                // A boundary whose lobes cancel has no centre worth marking.
                if (r.area(false) > 0)
                    t.drawMarker(r.centerOfMass(false), mark, kMark, krUITablet::Layers("com"));
            });
        // A crossing is found from both of its segments; marking it twice does no harm.
        if (o.crossings && c.isSelfIntersecting())
            for (std::size_t i = 0; i + (closed ? 0 : 1) < p.outer.size(); ++i) {
                krLineSeg seg(p.outer[i], p.outer[(i + 1) % p.outer.size()]);
                for (const krVector<2>& x : c.intersections(seg, false))
                    t.drawMarker(x, mark, kMark, krUITablet::Layers("crossings"));
            }
    }
}

}  // namespace

void draw(krUITablet& t, const Shape& s, unsigned long index, const Overlays& o) {
    drawShape(t, o.yUp ? mirrored(s) : s, index, o);
}

}  // namespace qs
