#include "tools/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "cntr/moments.h"
#include "cntr/regionset.h"
#include "platform/std/fit.h"
#include "platform/std/hull.h"
#include "tools/validity.h"

namespace qs {

namespace {

// Each column, the group of measures that gives it, and what its values are.
struct ColumnDef {
    const char* name;
    const char* group;
    ColumnType type;
};

constexpr ColumnType F = ColumnType::Float, I = ColumnType::Integer, B = ColumnType::Bool,
                     T = ColumnType::Text, J = ColumnType::Json;

const ColumnDef kDefs[] = {
    {"where", "where", T}, {"label", "label", T}, {"id", "id", T}, {"kind", "kind", T},
    {"image_id", "image_id", I}, {"category_id", "category_id", I},
    {"points", "points", I}, {"holes", "points", I}, {"length", "length", F},
    {"area", "area", F}, {"area_holes", "area", F},
    {"com_x", "com", F}, {"com_y", "com", F}, {"com_holes_x", "com", F}, {"com_holes_y", "com", F},
    {"inertia_xx", "inertia", F}, {"inertia_xy", "inertia", F}, {"inertia_yy", "inertia", F},
    {"ellipse_x", "ellipse", F}, {"ellipse_y", "ellipse", F}, {"ellipse_a", "ellipse", F},
    {"ellipse_b", "ellipse", F}, {"ellipse_rotation", "ellipse", F}, {"ellipse_residual", "ellipse", F},
    {"circle_x", "circle", F}, {"circle_y", "circle", F}, {"circle_r", "circle", F},
    {"circle_residual", "circle", F},
    {"rect_x", "rect", F}, {"rect_y", "rect", F}, {"rect_w", "rect", F}, {"rect_h", "rect", F},
    {"min_circle_x", "min_circle", F}, {"min_circle_y", "min_circle", F}, {"min_circle_r", "min_circle", F},
    {"diameter_circle_x", "diameter", F}, {"diameter_circle_y", "diameter", F},
    {"diameter_circle_r", "diameter", F}, {"diameter", "diameter", F},
    {"fast_circle_x", "fast", F}, {"fast_circle_y", "fast", F}, {"fast_circle_r", "fast", F},
    {"fast_diameter", "fast", F},
    {"extreme_right", "extremes", I}, {"extreme_up", "extremes", I}, {"extreme_left", "extremes", I},
    {"extreme_down", "extremes", I},
    {"self_intersecting", "self_intersecting", B}, {"valid", "valid", B},
    {"given_area", "given", F}, {"given_bbox_x", "given", F}, {"given_bbox_y", "given", F},
    {"given_bbox_w", "given", F}, {"given_bbox_h", "given", F},
    {"properties", "properties", J}, {"notes", "notes", T}};

const std::vector<std::string> kColumns = [] {
    std::vector<std::string> names;
    for (const ColumnDef& d : kDefs) names.push_back(d.name);
    return names;
}();

std::size_t column(const std::string& name) {
    static const std::map<std::string, std::size_t> index = [] {
        std::map<std::string, std::size_t> m;
        for (std::size_t i = 0; i < kColumns.size(); ++i) m[kColumns[i]] = i;
        return m;
    }();
    auto it = index.find(name);
    return it == index.end() ? kColumns.size() : it->second;
}

bool isGroup(const std::string& name) {
    for (const ColumnDef& d : kDefs)
        if (name == d.group) return true;
    return false;
}

class RowBuilder {
public:
    explicit RowBuilder(const Columns& c) : columns(c) { row.values.resize(kColumns.size()); }

    void set(const char* name, Value v) { row.values[column(name)] = std::move(v); }
    void set(const char* x, const char* y, const krVector<2>& v) {
        set(x, v.x());
        set(y, v.y());
    }
    // Runs one group's library calls when its columns are wanted; when they
    // throw, the group's columns stay empty and the note says what the
    // library said.
    template <class F>
    void measure(const char* group, F f) {
        if (!columns.wants(group)) return;
        try {
            f();
        } catch (const krException& e) {
            note(std::string(group) + ": " + describe(e));
        }
    }
    void note(const std::string& text) {
        Value& v = row.values[column("notes")];
        std::string old = std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : "";
        v = old.empty() ? text : old + "; " + text;
    }
    const Columns& columns;
    Row row;
};

void rect(RowBuilder& b, const krRect& r) {
    b.set("rect_x", "rect_y", r.origin());
    b.set("rect_w", "rect_h", r.size());
}

void circle(RowBuilder& b, const char* x, const char* y, const char* r, const krCircle& k) {
    b.set(x, y, k.center());
    b.set(r, k.radius());
}

// The measures every contour has, open or closed: of a region, those of its
// outer boundary.
void contourMeasures(RowBuilder& b, const krContour& c) {
    b.set("points", static_cast<long long>(c.points().size()));
    b.measure("length", [&] { b.set("length", c.length()); });
    b.measure("ellipse", [&] {
        krEllipse e;
        double residual = 0;
        c.fitEllipse(e, residual);
        b.set("ellipse_x", "ellipse_y", e.center());
        b.set("ellipse_a", e.a());
        b.set("ellipse_b", e.b());
        b.set("ellipse_rotation", e.rotation().toDouble());
        b.set("ellipse_residual", residual);
    });
    b.measure("circle", [&] {
        krCircleFitResults fit;
        kfCircleFit(krCircleFitParams(krCircleFitDefs::eGeometric), c.points(), fit);
        circle(b, "circle_x", "circle_y", "circle_r", fit.circle());
        b.set("circle_residual", fit.residual());
    });
    b.measure("rect", [&] { rect(b, c.encloseRect(krXform<2>::I)); });
    b.measure("min_circle", [&] {
        circle(b, "min_circle_x", "min_circle_y", "min_circle_r", kfMinEnclosingCircle(c.points()));
    });
    b.measure("diameter", [&] {
        circle(b, "diameter_circle_x", "diameter_circle_y", "diameter_circle_r",
               c.encloseCircle(krContourDefs::eExact));
        b.set("diameter", c.diameter(krContourDefs::eExact));
    });
    b.measure("fast", [&] {
        circle(b, "fast_circle_x", "fast_circle_y", "fast_circle_r", c.encloseCircle(krContourDefs::eFast));
        b.set("fast_diameter", c.diameter(krContourDefs::eFast));
    });
    const char* extremes[] = {"extreme_right", "extreme_up", "extreme_left", "extreme_down"};
    b.measure("extremes", [&] {
        for (int k = 0; k < 4; ++k)
            b.set(extremes[k], static_cast<long long>(c.extremalVertexIndex(krRadian(k * M_PI / 2))));
    });
    b.measure("self_intersecting", [&] { b.set("self_intersecting", c.isSelfIntersecting()); });
}

// ---- area, centre and inertia ----

// The library gives a ring whose doubled area is at most this no centre.
constexpr double kTinyDoubleArea = 1e-6;

// Too small for the library's centre, yet not flat: scaled to its box it has one.
bool tiny(const Ring& r) {
    const double doubled = 2 * kf_Area(r);
    if (doubled > kTinyDoubleArea) return false;
    krRect box = krContour(r).encloseRect(krXform<2>::I);
    const double size = std::max(box.width(), box.height());
    return doubled > kTinyDoubleArea * size * size;
}

// A ring shifted to a box's corner and scaled by 1 / size: its measures
// there lose nothing to the offset of the coordinates.
Ring inUnitBox(const Ring& r, const krRect& box, double size) {
    Ring q;
    q.reserve(r.size());
    for (const krVector<2>& v : r) q.push_back((v - box.origin()) * (1 / size));
    return q;
}

// A shape whose every polygon encloses nothing measurable: twice its area,
// in its box scaled to unit size, at most this. Its centre is that of its
// boundary.
constexpr double kFlatDoubleArea = 1e-12;

bool flat(const Shape& s) {
    for (const Polygon& p : s.polygons) {
        const krRect box = krContour(p.outer).encloseRect(krXform<2>::I);
        const double size = std::max(box.width(), box.height());
        if (size > 0 && 2 * std::fabs(kf_Area(inUnitBox(p.outer, box, size))) > kFlatDoubleArea) return false;
    }
    return true;
}

// The centre of a shape's boundary, every side of every ring weighted by its
// length; the mean of the vertices when all sides have length 0.
krVector<2> boundaryCentre(const Shape& s) {
    krVector<2> sum(0, 0), points(0, 0);
    double length = 0, count = 0;
    auto add = [&](const Ring& r) {
        for (std::size_t i = 0; i < r.size(); ++i) {
            const krVector<2>& a = r[i];
            const krVector<2>& b = r[(i + 1) % r.size()];
            const double l = a.distance(b);
            sum += (a + b) * (l / 2);
            length += l;
            points += a;
            count += 1;
        }
    };
    for (const Polygon& p : s.polygons) {
        add(p.outer);
        for (const Ring& h : p.holes) add(h);
    }
    return length > 0 ? sum * (1 / length) : points * (1 / count);
}

bool hasTinyRing(const Shape& s) {
    for (const Polygon& p : s.polygons) {
        if (tiny(p.outer)) return true;
        for (const Ring& h : p.holes)
            if (tiny(h)) return true;
    }
    return false;
}

// The moments of a polygon worked out in coordinates shifted to its box and
// scaled to its size, then mapped back: a ring too small for the library's
// centre still has its own.
kr_InertiaData scaledMoments(const Polygon& p, bool withHoles) {
    krRect box = krContour(p.outer).encloseRect(krXform<2>::I);
    const double size = std::max(box.width(), box.height());
    if (!(size > 0)) return kr_InertiaData();
    auto moments = [&](const Ring& r, double sign) {
        kr_InertiaData d = kf_InertiaDataPolygon(inUnitBox(r, box, size));
        return kr_InertiaData(sign * std::fabs(d.area()), d.centerOfMass(), d.inertiaMatrix());
    };
    kr_InertiaData d = moments(p.outer, 1);
    if (withHoles)
        for (const Ring& h : p.holes) d = d + moments(h, -1);
    const double s2 = size * size;
    const krMatrix<2>& m = d.inertiaMatrix();
    return kr_InertiaData(d.area() * s2, box.origin() + d.centerOfMass() * size,
                          krMatrix<2>(m.element(0, 0) * s2 * s2, m.element(0, 1) * s2 * s2,
                                      m.element(1, 0) * s2 * s2, m.element(1, 1) * s2 * s2));
}

kr_InertiaData scaledMoments(const Shape& s, bool withHoles) {
    kr_InertiaData d;
    for (const Polygon& p : s.polygons) d = d + scaledMoments(p, withHoles);
    return d;
}

void surfaceColumns(RowBuilder& b, const kr_InertiaData& plain, const kr_InertiaData& holes) {
    b.measure("area", [&] {
        b.set("area", plain.area());
        b.set("area_holes", holes.area());
    });
    b.measure("com", [&] {
        b.set("com_x", "com_y", plain.centerOfMass());
        b.set("com_holes_x", "com_holes_y", holes.centerOfMass());
    });
    b.measure("inertia", [&] {
        const krMatrix<2>& m = plain.inertiaMatrix();
        b.set("inertia_xx", m.element(0, 0));
        b.set("inertia_xy", m.element(0, 1));
        b.set("inertia_yy", m.element(1, 1));
    });
}

// Area, centre of mass and inertia of a surface (a region or a region set),
// without and with holes.
template <class Surface>
void surfaceMeasures(RowBuilder& b, const Shape& s, const Surface& r) {
    if (!b.columns.wants("area") && !b.columns.wants("com") && !b.columns.wants("inertia")) return;
    if (hasTinyRing(s)) {
        b.note("a ring is too small for the library's centre (twice its area at most 1e-6): "
               "area, centre and inertia worked out in each polygon's box scaled to unit size");
        surfaceColumns(b, scaledMoments(s, false), scaledMoments(s, true));
    } else {
        b.measure("area", [&] {
            b.set("area", r.area(false));
            b.set("area_holes", r.area(true));
        });
        b.measure("com", [&] {
            b.set("com_x", "com_y", r.centerOfMass(false));
            b.set("com_holes_x", "com_holes_y", r.centerOfMass(true));
        });
        b.measure("inertia", [&] {
            krMatrix<2> m = r.inertiaMatrix(false);
            b.set("inertia_xx", m.element(0, 0));
            b.set("inertia_xy", m.element(0, 1));
            b.set("inertia_yy", m.element(1, 1));
        });
    }
    if (b.columns.wants("com") && flat(s)) {
        b.note("the shape encloses no area: its centre is that of its boundary, each side weighted "
               "by its length");
        const krVector<2> centre = boundaryCentre(s);
        b.set("com_x", "com_y", centre);
        b.set("com_holes_x", "com_holes_y", centre);
    }
}

// A set's own measures; the per-boundary ones belong to single contours.
// held: the set's polygons as the library holds them.
void setMeasures(RowBuilder& b, const Shape& s, const Shape& held, const krRegionSet& set) {
    long long points = 0;
    for (const Polygon& p : s.polygons) points += static_cast<long long>(p.outer.size());
    b.set("points", points);
    surfaceMeasures(b, held, set);
    b.measure("rect", [&] { rect(b, set.encloseRect(krXform<2>::I)); });
    b.measure("min_circle", [&] {
        Ring all;
        for (const Polygon& p : s.polygons) all.insert(all.end(), p.outer.begin(), p.outer.end());
        circle(b, "min_circle_x", "min_circle_y", "min_circle_r", kfMinEnclosingCircle(all));
    });
    b.measure("self_intersecting", [&] { b.set("self_intersecting", set.isSelfIntersecting()); });
}

// Groups that need the library object; the others are read off the shape.
bool wantsLibrary(const Columns& c) {
    for (const char* g : {"length", "area", "com", "inertia", "ellipse", "circle", "rect", "min_circle",
                          "diameter", "fast", "extremes", "self_intersecting"})
        if (c.wants(g)) return true;
    return false;
}

}  // namespace

const std::vector<std::string>& measureColumns() { return kColumns; }

ColumnType columnType(std::size_t column) { return kDefs[column].type; }

Columns Columns::all() {
    Columns c;
    for (std::size_t i = 0; i < kColumns.size(); ++i) c.indices_.push_back(i);
    for (const ColumnDef& d : kDefs) c.groups_.push_back(d.group);
    return c;
}

Columns Columns::table() {
    return parse("label,kind,points,holes,area_holes,com_holes_x,com_holes_y,min_circle_r,valid,"
                 "where,notes");
}

Columns Columns::parse(const std::string& list) {
    Columns c;
    std::vector<std::string> names;
    for (std::size_t from = 0; from <= list.size();) {
        std::size_t comma = std::min(list.find(',', from), list.size());
        std::string name = list.substr(from, comma - from);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (!name.empty()) names.push_back(name);
        from = comma + 1;
    }
    auto listed = [&](const char* n) { return std::find(names.begin(), names.end(), n) != names.end(); };
    if (!listed("label")) names.insert(names.begin(), "label");
    if (!listed("where")) names.insert(names.begin(), "where");
    if (!listed("notes")) names.push_back("notes");
    for (const std::string& name : names) {
        if (column(name) < kColumns.size()) {
            c.indices_.push_back(column(name));
            c.groups_.push_back(kDefs[column(name)].group);
        } else if (isGroup(name)) {
            for (std::size_t i = 0; i < kColumns.size(); ++i)
                if (name == kDefs[i].group) c.indices_.push_back(i);
            c.groups_.push_back(name);
        } else {
            throw InputError("no column or group \"" + name + "\" (the names: " + groupsHelp() + ")");
        }
    }
    return c;
}

std::string Columns::groupsHelp() {
    std::string text;
    for (const ColumnDef& d : kDefs)
        if (text.find(std::string(" ") + d.group + ",") == std::string::npos &&
            text.rfind(std::string(d.group) + ",", 0) == std::string::npos)
            text += std::string(text.empty() ? "" : " ") + d.group + ",";
    text.pop_back();
    return text;
}

bool Columns::wants(const std::string& group) const {
    return std::find(groups_.begin(), groups_.end(), group) != groups_.end();
}

Row measure(const Shape& s, const std::string& where, unsigned long index, const Columns& columns) {
    RowBuilder b(columns);
    b.set("where", where);
    b.set("label", s.label);
    if (!s.id.empty()) b.set("id", s.id);
    b.set("kind", std::string(kindName(s.kind)));
    if (s.imageId) b.set("image_id", *s.imageId);
    if (s.categoryId) b.set("category_id", *s.categoryId);
    for (const std::string& n : s.notes) b.note(n);
    long long holes = 0;
    for (const Polygon& p : s.polygons) holes += static_cast<long long>(p.holes.size());
    b.set("holes", holes);
    if (s.kind != Kind::RegionSet) b.set("points", static_cast<long long>(s.polygons[0].outer.size()));
    if (wantsLibrary(columns)) {
        std::vector<std::string> notes;
        std::shared_ptr<krPersistent> obj = toLibrary(s, index, &notes);
        for (const std::string& n : notes) b.note(n);
        // Where reading joined holes to the boundary or took the rings by
        // parity, the measures worked out here follow the rings the library holds.
        Shape rebuilt;
        const Shape* held = &s;
        if (!notes.empty() && s.kind != Kind::ClosedContour) rebuilt = fromLibrary(*obj), held = &rebuilt;
        if (auto c = std::dynamic_pointer_cast<krContour>(obj)) contourMeasures(b, *c);
        if (auto r = std::dynamic_pointer_cast<krRegion>(obj))
            surfaceMeasures(b, *held, *r);
        else if (s.kind == Kind::ClosedContour)
            surfaceMeasures(b, s, krRegion(*std::dynamic_pointer_cast<krContour>(obj)));
        if (auto set = std::dynamic_pointer_cast<krRegionSet>(obj)) setMeasures(b, s, *held, *set);
    }
    if (s.kind != Kind::OpenContour) b.measure("valid", [&] {
        std::string why = invalidity(s);
        b.set("valid", why.empty());
        if (!why.empty()) b.note("not valid: " + why);
    });
    if (s.givenArea) b.set("given_area", *s.givenArea);
    if (s.givenBox.size() == 4) {
        const char* names[] = {"given_bbox_x", "given_bbox_y", "given_bbox_w", "given_bbox_h"};
        for (int k = 0; k < 4; ++k) b.set(names[k], s.givenBox[k]);
    }
    if (!s.properties.empty()) b.set("properties", RawJson{s.properties});
    return b.row;
}

OutputFormat outputFormatFromName(const std::string& name) {
    if (name == "csv") return OutputFormat::Csv;
    if (name == "table") return OutputFormat::Table;
    return OutputFormat::JsonLines;
}

namespace {

// JSON has no NaN or infinity: such a value is written as null.
std::string jsonText(const Value& v) {
    struct {
        std::string operator()(std::monostate) const { return "null"; }
        std::string operator()(double d) const { return std::isfinite(d) ? num(d) : "null"; }
        std::string operator()(long long i) const { return std::to_string(i); }
        std::string operator()(bool t) const { return t ? "true" : "false"; }
        std::string operator()(const std::string& s) const { return nlohmann::json(s).dump(); }
        std::string operator()(const RawJson& j) const { return j.text; }
    } visit;
    return std::visit(visit, v);
}

std::string csvText(const Value& v) {
    if (std::holds_alternative<std::monostate>(v)) return "";
    if (auto raw = std::get_if<RawJson>(&v)) return csvField(raw->text);
    if (!std::holds_alternative<std::string>(v)) return jsonText(v);
    return csvField(std::get<std::string>(v));
}

// A value wider than its column is written whole and pushes the rest of
// the line along: the table's last column, where, is never cut.
std::string cell(const std::string& text, std::size_t width) {
    if (text.size() >= width) return text + " ";
    return text + std::string(width - text.size(), ' ');
}

std::string tableText(const Value& v) {
    if (!std::holds_alternative<double>(v)) return csvText(v);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", std::get<double>(v));
    return buf;
}

std::size_t tableWidth(const std::string& name) {
    return name == "label" ? 16 : name == "kind" ? 16 : std::max<std::size_t>(11, name.size() + 2);
}

}  // namespace

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string header(OutputFormat f, const Columns& columns) {
    std::string out;
    const std::vector<std::size_t>& cols = columns.indices();
    if (f == OutputFormat::Csv)
        for (std::size_t i = 0; i < cols.size(); ++i) out += (i ? "," : "") + kColumns[cols[i]];
    else if (f == OutputFormat::Table)
        for (std::size_t c : cols) out += cell(kColumns[c], tableWidth(kColumns[c]));
    else
        return out;
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out + "\n";
}

std::string formatRow(OutputFormat f, const Row& r, const Columns& columns) {
    std::string out;
    const std::vector<std::size_t>& cols = columns.indices();
    switch (f) {
    case OutputFormat::JsonLines:
        out = "{";
        for (std::size_t i = 0; i < cols.size(); ++i)
            out += (i ? ",\"" : "\"") + kColumns[cols[i]] + "\":" + jsonText(r.values[cols[i]]);
        out += "}";
        break;
    case OutputFormat::Csv:
        for (std::size_t i = 0; i < cols.size(); ++i) out += (i ? "," : "") + csvText(r.values[cols[i]]);
        break;
    case OutputFormat::Table:
        for (std::size_t c : cols) out += cell(tableText(r.values[c]), tableWidth(kColumns[c]));
        while (!out.empty() && out.back() == ' ') out.pop_back();
        break;
    }
    return out + "\n";
}

}  // namespace qs
