#include "io/shape.h"

#include <cxxabi.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include "cntr/repair/splicetouchingholes.h"
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

// A hole that crosses the outer boundary is refused by the library
// (BadParams). The region is made for a handle, as a set's members and holes
// are held.
krPtrHandle<krRegion> region(const Polygon& p, unsigned long label) {
    krPtrHandle<krRegion> r(new krRegion(p.outer));
    r->label(label);
    krRegion::Holes holes;
    for (const Ring& h : p.holes) holes.push_back(krPtrHandle_const<krRegion>(new krRegion(h)));
    r->holes(holes);
    return r;
}

// The even-odd reading of a polygon whose rings cross: what lies inside an
// odd number of its rings. The holes that meet the boundary go into one
// closed point list with it, each ring walked from its first vertex and back
// there, and joined by steps walked once each way, which wind round nothing;
// the library's regularized form of that list is the border of its faces of
// odd winding. The holes clear of the boundary stay holes, unless they cross
// a hole taken in, when all go into the list.
krPtrHandle<krRegion> evenOdd(const Polygon& p, unsigned long label) {
    const krRegion outer(p.outer);
    std::vector<const Ring*> crossing;
    krRegion::Holes clear;
    for (const Ring& h : p.holes) {
        krPtrHandle_const<krRegion> hole(new krRegion(h));
        if (static_cast<const krContour&>(outer).intersections(*hole).empty())
            clear.push_back(hole);
        else
            crossing.push_back(&h);
    }
    const auto regularized = [&](const std::vector<const Ring*>& holes) {
        Ring list(p.outer);
        list.push_back(p.outer[0]);
        for (const Ring* h : holes) list.insert(list.end(), h->begin(), h->end()), list.push_back((*h)[0]);
        for (std::size_t k = holes.size(); k-- > 1;) list.push_back((*holes[k - 1])[0]);
        krPtrHandle<krRegion> r(new krRegion(list, krContourDefs::eRegularize));
        r->label(label);
        return r;
    };
    krPtrHandle<krRegion> r = regularized(crossing);
    try {
        r->holes(clear);
    } catch (const krContourDefs::BadParams&) {
        std::vector<const Ring*> all;
        for (const Ring& h : p.holes) all.push_back(&h);
        r = regularized(all);
    }
    return r;
}

// The region of a polygon. When the library takes a hole touching the
// boundary at a point for a crossing, the hole is joined to the boundary
// there; when holes still cross it, or each other, the polygon is read by
// even-odd parity. Either way the library measures the polygon it is, and
// notes are told.
krPtrHandle<krRegion> region(const Polygon& p, unsigned long label, std::vector<std::string>* notes,
                             const std::string& which) {
    try {
        return region(p, label);
    } catch (const krContourDefs::BadParams&) {
    }
    Polygon joined = p;
    insertTouchPoints(joined);
    const std::size_t n = kf_SpliceTouchingHoles(joined.outer, joined.holes);
    if (n > 0) try {
            krPtrHandle<krRegion> r = region(joined, label);
            if (notes)
                notes->push_back(which + std::to_string(n) + " hole(s) touching the boundary at a point "
                                 "joined to it there");
            return r;
        } catch (const krContourDefs::BadParams&) {
        }
    krPtrHandle<krRegion> r = evenOdd(p, label);
    if (notes)
        notes->push_back(which + "holes cross the boundary or each other: read as what lies inside "
                         "an odd number of rings");
    return r;
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
    case Kind::Region: {
        // The shared pointer keeps the handle, and with it the region, alive.
        krPtrHandle<krRegion> r = region(s.polygons.at(0), label, notes, "");
        return std::shared_ptr<krRegion>(r.get(), [r](krRegion*) {});
    }
    case Kind::RegionSet: {
        krRegionSet::Regions regions;
        for (std::size_t i = 0; i < s.polygons.size(); ++i)
            regions.emplace_back(region(s.polygons[i], label, notes, "polygon " + std::to_string(i) + ": "));
        return std::make_shared<krRegionSet>(regions);
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
