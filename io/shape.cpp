#include "io/shape.h"

#include <cxxabi.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "cntr/index/anypaircrosses.h"
#include "cntr/repair/splicetouchingholes.h"
#include "cntr/repair/walkedpolygons.h"
#include "cntr/regionset.h"
#include "io/touchpoints.h"
#include "platform/std/exception.h"

namespace qs {

const char* kindName(Kind k) {
    switch (k) {
    case Kind::OpenContour: return "open contour";
    case Kind::ClosedContour: return "closed contour";
    case Kind::Region: return "region";
    case Kind::RegionSet: return "region set";
    }
    return "?";
}

unsigned long Shape::numericLabel(unsigned long fallback) const {
    // The label chosen by the user first, then the id (a name taken from the
    // properties is rarely a number).
    for (const std::string* text : {&label, &id}) {
        unsigned long long v = 0;
        const char* end = text->data() + text->size();
        auto r = std::from_chars(text->data(), end, v);
        if (!text->empty() && r.ec == std::errc() && r.ptr == end && v <= 0xFFFFFFFFull)
            return static_cast<unsigned long>(v);
    }
    return fallback;
}

namespace {

// A ring may repeat its first point at the end (WKT and GeoJSON always do);
// the library closes a ring itself, so the repeat goes.
void checkRing(Ring& r, std::size_t minPoints, const char* what, bool closed) {
    for (const krVector<2>& p : r)
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            throw InputError(std::string(what) + " has a coordinate that is not a finite number");
    if (closed && r.size() > 1 && r.front() == r.back()) r.pop_back();
    if (r.empty()) throw InputError(std::string(what) + " is empty");
    // Repeated points stay (the library copes with them) but do not count.
    std::size_t distinct = 1;
    for (std::size_t i = 1; i < r.size() && distinct < minPoints; ++i)
        if (!(r[i] == r[i - 1]) && !(r[i] == r[0])) ++distinct;
    if (distinct < minPoints)
        throw InputError(std::string(what) + " has " + std::to_string(distinct) +
                         " distinct point(s); it needs at least " + std::to_string(minPoints));
}

}  // namespace

void normalize(Shape& s) {
    if (s.polygons.empty()) throw InputError("the geometry is empty");
    bool open = s.kind == Kind::OpenContour;
    for (std::size_t i = 0; i < s.polygons.size(); ++i) {
        Polygon& p = s.polygons[i];
        std::string which = s.polygons.size() > 1 ? "polygon " + std::to_string(i) + ": " : "";
        checkRing(p.outer, open ? 2 : 3, (which + (open ? "the line" : "the outer ring")).c_str(),
                  !open);
        for (std::size_t h = 0; h < p.holes.size(); ++h)
            checkRing(p.holes[h], 3, (which + "hole " + std::to_string(h)).c_str(), true);
    }
}

namespace {

krRegion::Holes holeRegions(const std::vector<Ring>& rings) {
    krRegion::Holes holes;
    holes.reserve(rings.size());
    for (const Ring& h : rings) holes.push_back(krPtrHandle_const<krRegion>(new krRegion(h)));
    return holes;
}

// The region of an outer ring and its holes, made for a handle, as a set's
// members are held; null when the library refuses a hole for meeting the
// outer ring.
krPtrHandle<krRegion> withHoles(const Ring& outer, const krRegion::Holes& holes, unsigned long label) {
    krPtrHandle<krRegion> r(new krRegion(outer));
    r->label(label);
    try {
        r->holes(holes);
    } catch (const krContourDefs::BadParams&) {
        return krPtrHandle<krRegion>();
    }
    return r;
}

// Whether two holes cross. Only pairs whose boxes overlap are asked.
bool holesCross(const krRegion::Holes& holes) {
    std::vector<qel::detail::Box> boxes;
    boxes.reserve(holes.size());
    for (const auto& h : holes) boxes.push_back(qel::detail::pairBox(h->points(), 3));
    return qel::detail::anyPairCrosses(boxes, [&](std::size_t i, std::size_t j) { return ringsCross(*holes[i], *holes[j]); });
}

// The holes left after some were joined to the outer ring, as the regions
// made for all: those left keep their order.
krRegion::Holes kept(const std::vector<Ring>& all, const krRegion::Holes& regions, const std::vector<Ring>& left) {
    krRegion::Holes out;
    out.reserve(left.size());
    for (std::size_t i = 0, j = 0; i < all.size() && j < left.size(); ++i)
        if (all[i] == left[j]) out.push_back(regions[i]), ++j;
    return out;
}

// The regions of a polygon, onto out. Holes that touch the boundary at a
// point, which the library takes for crossings, are joined to it there. A
// polygon whose rings still cross, the holes each other or the boundary, is
// read by even-odd parity: what lies inside an odd number of its rings, as
// one region or several, their holes touching their boundaries joined to
// them as well. Either way the library measures the polygon it is, and notes
// are told.
using Handles = std::vector<krPtrHandle<krRegion>>;
void regions(const Polygon& p, unsigned long label, std::vector<std::string>* notes, const std::string& which,
             Handles& out) {
    const auto joined = [&](const Polygon& given, const krRegion::Holes& holes, std::size_t& n) {
        Polygon q = given;
        insertTouchPoints(q);
        n = kf_SpliceTouchingHoles(q.outer, q.holes);
        return withHoles(q.outer, n ? kept(given.holes, holes, q.holes) : holes, label);
    };
    const krRegion::Holes holes = holeRegions(p.holes);
    if (!holesCross(holes)) {
        if (krPtrHandle<krRegion> r = withHoles(p.outer, holes, label)) {
            out.push_back(r);
            return;
        }
        std::size_t n = 0;
        if (krPtrHandle<krRegion> r = joined(p, holes, n)) {
            if (notes)
                notes->push_back(which + std::to_string(n) + " hole(s) touching the boundary at a point "
                                 "joined to it there");
            out.push_back(r);
            return;
        }
    }
    std::vector<const Ring*> rings{&p.outer};
    for (const Ring& h : p.holes) rings.push_back(&h);
    const std::vector<qel::detail::WalkedPolygon> odd = qel::detail::evenOddPolygons(rings);
    if (odd.empty()) throw InputError(which + "the rings cross and no part lies inside an odd number of them");
    for (const qel::detail::WalkedPolygon& w : odd) {
        std::size_t n = 0;
        const Polygon piece{w.outer, w.holes};
        krPtrHandle<krRegion> r = joined(piece, holeRegions(piece.holes), n);
        if (!r) throw InputError(which + "the rings cross, and their even-odd reading has a hole the "
                                 "library takes for crossing its boundary");
        out.push_back(r);
    }
    if (notes)
        notes->push_back(which + "rings cross: read as what lies inside an odd number of rings (" +
                         std::to_string(odd.size()) + " polygon(s))");
}

Polygon polygon(const krRegion& r) {
    Polygon p{r.points(), {}};
    for (const auto& h : r.holes()) p.holes.push_back(h->points());
    return p;
}

}  // namespace

std::shared_ptr<krPersistent> toLibrary(const Shape& s, unsigned long fallbackLabel,
                                        std::vector<std::string>* notes) {
    unsigned long label = s.numericLabel(fallbackLabel);
    switch (s.kind) {
    case Kind::OpenContour:
    case Kind::ClosedContour:
        return std::make_shared<krContour>(s.polygons.at(0).outer, s.kind == Kind::ClosedContour,
                                           label);
    case Kind::Region:
    case Kind::RegionSet: {
        Handles made;
        for (std::size_t i = 0; i < s.polygons.size(); ++i)
            regions(s.polygons[i], label, notes, s.kind == Kind::Region ? "" : "polygon " + std::to_string(i) + ": ",
                    made);
        // A polygon read as several by parity becomes a set. A region's
        // shared pointer keeps the handle, and with it the region, alive.
        if (s.kind == Kind::Region && made.size() == 1) {
            krPtrHandle<krRegion> r = made[0];
            return std::shared_ptr<krRegion>(r.get(), [r](krRegion*) {});
        }
        return std::make_shared<krRegionSet>(krRegionSet::Regions(made.begin(), made.end()));
    }
    }
    return nullptr;
}

Shape fromLibrary(const krPersistent& obj) {
    Shape s;
    if (auto set = dynamic_cast<const krRegionSet*>(&obj)) {
        s.kind = Kind::RegionSet;
        for (const auto& r : set->regions()) s.polygons.push_back(polygon(*r));
        if (!s.polygons.empty()) s.label = s.id = std::to_string(set->regions()[0]->label());
        return s;
    }
    if (auto r = dynamic_cast<const krRegion*>(&obj)) {
        s.kind = Kind::Region;
        s.polygons.push_back(polygon(*r));
        s.label = s.id = std::to_string(r->label());
        return s;
    }
    if (auto c = dynamic_cast<const krContour*>(&obj)) {
        s.kind = c->isClosed() ? Kind::ClosedContour : Kind::OpenContour;
        s.polygons.push_back({c->points(), {}});
        s.label = s.id = std::to_string(c->label());
        return s;
    }
    throw InputError("the archive holds an object the tool does not handle");
}

std::string describe(const krException& e) {
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
    std::string text = status == 0 && name ? name : typeid(e).name();
    std::free(name);
    std::wstring message = e.message();
    if (!message.empty()) {
        std::string narrow;
        for (wchar_t c : message) narrow += c < 128 ? static_cast<char>(c) : '?';
        text += ": " + narrow;
    } else {
        char number[24];
        std::snprintf(number, sizeof number, " (error %#lx)", static_cast<unsigned long>(e.errorNumber()));
        text += number;
    }
    return text;
}

std::string num(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace qs
