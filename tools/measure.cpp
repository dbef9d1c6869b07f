#include "tools/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "cntr/regionst.h"

namespace qs {

namespace {

const std::vector<std::string> kColumns = {
    "where", "label", "kind", "points", "holes", "length", "area", "area_holes",
    "com_x", "com_y", "com_holes_x", "com_holes_y", "inertia_xx", "inertia_xy", "inertia_yy",
    "ellipse_x", "ellipse_y", "ellipse_a", "ellipse_b", "ellipse_rotation", "ellipse_residual",
    "rect_x", "rect_y", "rect_w", "rect_h", "circle_x", "circle_y", "circle_r",
    "fast_circle_x", "fast_circle_y", "fast_circle_r", "diameter", "fast_diameter",
    "extreme_right", "extreme_up", "extreme_left", "extreme_down", "self_intersecting",
    "given_area", "given_bbox_x", "given_bbox_y", "given_bbox_w", "given_bbox_h", "notes"};

// The table shows the columns a person reads first; the others need --output json or csv.
const std::vector<std::string> kTableColumns = {"where", "label", "kind", "points", "holes",
                                                "length", "area_holes", "com_holes_x",
                                                "com_holes_y", "diameter", "self_intersecting"};

std::size_t column(const std::string& name) {
    static const std::map<std::string, std::size_t> index = [] {
        std::map<std::string, std::size_t> m;
        for (std::size_t i = 0; i < kColumns.size(); ++i) m[kColumns[i]] = i;
        return m;
    }();
    return index.at(name);
}

class RowBuilder {
public:
    RowBuilder() { row.values.resize(kColumns.size()); }

    void set(const char* name, Value v) { row.values[column(name)] = std::move(v); }
    void set(const char* x, const char* y, const krVector<2>& v) {
        set(x, v.x());
        set(y, v.y());
    }
    // Runs one library call; when it throws, its columns stay empty and the
    // note says what the library said.
    template <class F>
    void measure(const char* what, F f) {
        try {
            f();
        } catch (const krException& e) {
            note(std::string(what) + ": " + describe(e));
        }
    }
    void note(const std::string& text) {
        Value& v = row.values[column("notes")];
        std::string old = std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : "";
        v = old.empty() ? text : old + "; " + text;
    }
    Row row;
};

void rect(RowBuilder& b, const krRect& r) {
    b.set("rect_x", "rect_y", r.origin());
    b.set("rect_w", "rect_h", r.size());
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
    b.measure("rect", [&] { rect(b, c.encloseRect(krXform<2>::I)); });
    b.measure("circle", [&] {
        krCircle k = c.encloseCircle(krContourDefs::eExact);
        b.set("circle_x", "circle_y", k.center());
        b.set("circle_r", k.radius());
    });
    b.measure("fast circle", [&] {
        krCircle k = c.encloseCircle(krContourDefs::eFast);
        b.set("fast_circle_x", "fast_circle_y", k.center());
        b.set("fast_circle_r", k.radius());
    });
    b.measure("diameter", [&] { b.set("diameter", c.diameter(krContourDefs::eExact)); });
    b.measure("fast diameter", [&] { b.set("fast_diameter", c.diameter(krContourDefs::eFast)); });
    const char* extremes[] = {"extreme_right", "extreme_up", "extreme_left", "extreme_down"};
    for (int k = 0; k < 4; ++k)
        b.measure("extremes", [&] {
            b.set(extremes[k], static_cast<long long>(c.extremalVertexIndex(krRadian(k * M_PI / 2))));
        });
    b.measure("self-intersection", [&] { b.set("self_intersecting", c.isSelfIntersecting()); });
}

// Area, centre of mass and inertia of a surface (a region or a region set),
// without and with holes.
template <class Surface>
void surfaceMeasures(RowBuilder& b, const Surface& r) {
    b.measure("area", [&] {
        b.set("area", r.area(false));
        b.set("area_holes", r.area(true));
    });
    b.measure("centre of mass", [&] {
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

// A set's own measures; the per-boundary ones belong to single contours.
void setMeasures(RowBuilder& b, const Shape& s, const krRegionSet& set) {
    long long points = 0;
    for (const Polygon& p : s.polygons) points += static_cast<long long>(p.outer.size());
    b.set("points", points);
    surfaceMeasures(b, set);
    b.measure("rect", [&] { rect(b, set.encloseRect(krXform<2>::I)); });
    b.measure("self-intersection", [&] { b.set("self_intersecting", set.isSelfIntersecting()); });
}

}  // namespace

const std::vector<std::string>& measureColumns() { return kColumns; }

Row measure(const Shape& s, const std::string& where, unsigned long index) {
    RowBuilder b;
    b.set("where", where);
    b.set("label", s.label);
    b.set("kind", std::string(kindName(s.kind)));
    long long holes = 0;
    for (const Polygon& p : s.polygons) holes += static_cast<long long>(p.holes.size());
    b.set("holes", holes);
    std::shared_ptr<krPersistent> obj = toLibrary(s, index);
    if (auto c = std::dynamic_pointer_cast<krContour>(obj)) contourMeasures(b, *c);
    if (auto r = std::dynamic_pointer_cast<krRegion>(obj))
        surfaceMeasures(b, *r);
    else if (s.kind == Kind::ClosedContour)
        surfaceMeasures(b, krRegion(*std::dynamic_pointer_cast<krContour>(obj)));
    if (auto set = std::dynamic_pointer_cast<krRegionSet>(obj)) setMeasures(b, s, *set);
    if (s.givenArea) b.set("given_area", *s.givenArea);
    if (s.givenBox.size() == 4) {
        const char* names[] = {"given_bbox_x", "given_bbox_y", "given_bbox_w", "given_bbox_h"};
        for (int k = 0; k < 4; ++k) b.set(names[k], s.givenBox[k]);
    }
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
    } visit;
    return std::visit(visit, v);
}

std::string csvText(const Value& v) {
    if (std::holds_alternative<std::monostate>(v)) return "";
    if (!std::holds_alternative<std::string>(v)) return jsonText(v);
    return csvField(std::get<std::string>(v));
}

std::string cell(const std::string& text, std::size_t width) {
    if (text.size() >= width) return text.substr(0, width - 1) + " ";
    return text + std::string(width - text.size(), ' ');
}

std::string tableText(const Value& v) {
    if (!std::holds_alternative<double>(v)) return csvText(v);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", std::get<double>(v));
    return buf;
}

std::size_t tableWidth(const std::string& name) {
    return name == "where" ? 28 : name == "kind" ? 16 : std::max<std::size_t>(11, name.size() + 2);
}

}  // namespace

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

std::string header(OutputFormat f) {
    std::string out;
    if (f == OutputFormat::Csv)
        for (std::size_t i = 0; i < kColumns.size(); ++i) out += (i ? "," : "") + kColumns[i];
    else if (f == OutputFormat::Table)
        for (const std::string& c : kTableColumns) out += cell(c, tableWidth(c));
    else
        return out;
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out + "\n";
}

std::string formatRow(OutputFormat f, const Row& r) {
    std::string out;
    switch (f) {
    case OutputFormat::JsonLines:
        out = "{";
        for (std::size_t i = 0; i < kColumns.size(); ++i)
            out += (i ? ",\"" : "\"") + kColumns[i] + "\":" + jsonText(r.values[i]);
        out += "}";
        break;
    case OutputFormat::Csv:
        for (std::size_t i = 0; i < kColumns.size(); ++i)
            out += (i ? "," : "") + csvText(r.values[i]);
        break;
    case OutputFormat::Table:
        for (const std::string& c : kTableColumns)
            out += cell(tableText(r.values[column(c)]), tableWidth(c));
        while (!out.empty() && out.back() == ' ') out.pop_back();
        break;
    }
    return out + "\n";
}

}  // namespace qs
