#include "io/geojson.h"

#include <cctype>
#include <functional>

#include "io/jsonvalue.h"

namespace qs {

using nlohmann::json;

namespace {

// ---- reading ----

// The longest string the default label takes from a property that is not
// one of the usual names: codes and short names, not descriptions.
constexpr std::size_t kShortLabel = 40;

Ring positions(const json& a) {
    if (!a.is_array()) throw InputError("coordinates are not a list of positions");
    Ring r;
    r.reserve(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const json& p = a[i];
        if (!p.is_array() || p.size() < 2 || !p[0].is_number() || !p[1].is_number())
            throw InputError("position " + std::to_string(i) + " is not a pair of numbers");
        r.emplace_back(p[0].get<double>(), p[1].get<double>());
    }
    return r;
}

Polygon rings(const json& a) {
    if (!a.is_array() || a.empty()) throw InputError("a polygon has no rings");
    Polygon p{positions(a[0]), {}};
    for (std::size_t i = 1; i < a.size(); ++i) p.holes.push_back(positions(a[i]));
    return p;
}

Shape geoJsonGeometry(const json& g, bool closed) {
    if (!g.is_object()) throw InputError("not a geometry");
    std::string type = typeOf(g);
    static const json kNone;
    const json& c = g.contains("coordinates") ? g["coordinates"] : kNone;
    Shape s;
    if (type == "LineString") {
        s.kind = closed ? Kind::ClosedContour : Kind::OpenContour;
        s.polygons.push_back({positions(c), {}});
    } else if (type == "Polygon") {
        s.kind = Kind::Region;
        s.polygons.push_back(rings(c));
    } else if (type == "MultiPolygon") {
        s.kind = Kind::RegionSet;
        if (!c.is_array()) throw InputError("coordinates are not a list of polygons");
        for (const json& p : c) s.polygons.push_back(rings(p));
    } else {
        throw InputError("a " + (type.empty() ? std::string("geometry without a type") : type) +
                         " is not a shape the tool reads");
    }
    return s;
}

// The property that names a feature when the user names none: "label", then
// the usual names of map files whatever their case ("name", "name_*",
// "admin", "title"), then the first property by name holding a short string
// (a country's three-letter code); empty when there is none.
std::string defaultLabel(const json& props) {
    const auto lower = [](std::string k) {
        for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return k;
    };
    const std::function<bool(const std::string&)> usual[] = {
        [](const std::string& k) { return k == "label"; },
        [](const std::string& k) { return k == "name"; },
        [](const std::string& k) { return k.compare(0, 5, "name_") == 0; },
        [](const std::string& k) { return k == "admin"; },
        [](const std::string& k) { return k == "title"; },
    };
    for (const auto& is : usual)
        for (const auto& [key, value] : props.items()) {
            if (!is(lower(key))) continue;
            std::string text = idText(value);
            if (!text.empty()) return text;
        }
    for (const auto& [key, value] : props.items())
        if (value.is_string() && !value.get_ref<const std::string&>().empty() &&
            value.get_ref<const std::string&>().size() <= kShortLabel)
            return value.get<std::string>();
    return std::string();
}

Shape geoJsonFeature(const json& f, const std::string& labelField) {
    static const json kNone = json::object();
    const json& props = f.contains("properties") && f["properties"].is_object()
                            ? f["properties"] : kNone;
    bool closed = props.contains("closed") && props["closed"] == true;
    if (!f.contains("geometry") || f["geometry"].is_null())
        throw InputError("the feature has no geometry");
    Shape s = geoJsonGeometry(f["geometry"], closed);
    if (f.contains("id")) s.id = idText(f["id"]);
    if (f.contains("properties") && f["properties"].is_object()) s.properties = props.dump();
    if (!labelField.empty()) {
        if (props.contains(labelField)) s.label = labelText(props[labelField]);
    } else {
        s.label = defaultLabel(props);
        if (s.label.empty()) s.label = s.id;
        if (s.label.empty() && props.contains("id")) s.label = idText(props["id"]);
    }
    return s;
}

}  // namespace

Shape geoJsonShape(const json& item, const std::string& labelField) {
    return typeOf(item) == "Feature" ? geoJsonFeature(item, labelField) : geoJsonGeometry(item, false);
}

// ---- writing ----

namespace {

json jsonRing(const Ring& r, bool close) {
    json a = json::array();
    for (const krVector<2>& p : r) a.push_back({p.x(), p.y()});
    if (close && !r.empty()) a.push_back({r[0].x(), r[0].y()});
    return a;
}

json jsonPolygon(const Polygon& p) {
    json a = json::array({jsonRing(p.outer, true)});
    for (const Ring& h : p.holes) a.push_back(jsonRing(h, true));
    return a;
}

// An id read as a number goes back as one: digits without a leading zero.
json jsonId(const std::string& id) {
    bool digits = id.size() < 19 && id.find_first_not_of("0123456789") == std::string::npos &&
                  (id.size() == 1 || id[0] != '0');
    if (digits) return std::stoll(id);
    return id;
}

}  // namespace

std::string geoJsonText(const Shape& s, unsigned long) {
    json g;
    switch (s.kind) {
    case Kind::OpenContour:
        g = {{"type", "LineString"}, {"coordinates", jsonRing(s.polygons[0].outer, false)}};
        break;
    case Kind::ClosedContour:
        // GeoJSON has no ring of its own: a closed line, marked so it reads back as a ring.
        g = {{"type", "LineString"}, {"coordinates", jsonRing(s.polygons[0].outer, true)}};
        break;
    case Kind::Region: g = {{"type", "Polygon"}, {"coordinates", jsonPolygon(s.polygons[0])}}; break;
    case Kind::RegionSet: {
        json c = json::array();
        for (const Polygon& p : s.polygons) c.push_back(jsonPolygon(p));
        g = {{"type", "MultiPolygon"}, {"coordinates", c}};
        break;
    }
    }
    json props = json::object();
    if (!s.properties.empty()) props = json::parse(s.properties, nullptr, false);
    if (!props.is_object()) props = json::object();
    json f = {{"type", "Feature"}};
    if (!s.id.empty()) f["id"] = jsonId(s.id);
    f["geometry"] = g;
    if (s.kind == Kind::ClosedContour) props["closed"] = true;
    f["properties"] = props;
    return f.dump();
}

}  // namespace qs
