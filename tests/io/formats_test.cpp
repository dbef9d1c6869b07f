// The readers and writers of every format, through the command: what each
// reads, how bad input is reported, masks written and read back.
#include <cmath>
#include <map>

#include "cntr/masks.h"
#include "cntr/region.h"
#include "cntr/regionset.h"
#include "io/coco.h"
#include "io/png.h"
#include "io/reader.h"
#include "tests/qelshape_run.h"

// A file of each format, measures worked by hand; WKT converted to an archive
// and on to GeoJSON reads back to the same measures.
TEST(Io, MeasuresEveryFormat) {
    fs::path wkt = write("a.wkt", kWkt), qar = scratch() / "a.qar", geoBack = scratch() / "a.geojson";
    ASSERT_EQ(qelshape("convert " + wkt.string() + " --to " + qar.string()).status, 0);
    ASSERT_EQ(qelshape("convert " + qar.string() + " --to " + geoBack.string()).status, 0);
    fs::path coco = write("c.json", R"({"images": [], "annotations": [
        {"id": 5, "segmentation": [[0, 0, 10, 0, 10, 10, 0, 10]], "area": 99, "bbox": [0, 0, 10, 10]},
        {"id": 6, "segmentation": {"counts": [1, 2], "size": [4, 4]}},
        {"id": 7, "segmentation": [[0, 0, 2, 0, 2, 2], [5, 5, 6, 5, 6, 6]]}]})");
    fs::path geo = write("g.geojson", R"({"type": "FeatureCollection", "features": [
        {"type": "Feature", "id": "left", "geometry": {"type": "Polygon",
         "coordinates": [[[0, 0], [1, 0], [1, 1], [0, 0]]]}},
        {"type": "Feature", "geometry": {"type": "Point", "coordinates": [0, 0]}},
        {"type": "Feature", "properties": {"label": 3}, "geometry": {"type": "MultiPolygon",
         "coordinates": [[[[0, 0], [1, 0], [1, 1]]], [[[5, 5], [6, 5], [6, 6]]]]}}]})");
    Result r = qelshape("measure " + wkt.string() + " " + coco.string() + " " + geo.string() + " " +
                        geoBack.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("g.geojson: $.features[1]: a Point is not a shape"), std::string::npos) << r.err;
    auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 4u + 3 + 2 + 4);
    expectFields(rows[0], {{"kind", "region"}, {"points", 4}, {"holes", 1}, {"area", 16}, {"area_holes", 15},
                           {"com_holes_x", (16 * 2 - 1.5) / 15}, {"diameter", std::sqrt(32.0)},
                           {"self_intersecting", false}});
    EXPECT_NE(rows[1]["where"].get<std::string>().find("a.wkt:2"), std::string::npos);
    expectFields(rows[1], {{"kind", "open contour"}, {"length", 9}, {"area", nullptr}});
    expectFields(rows[2], {{"points", 3}, {"area", 50}});  // the repeated closing point is dropped
    // The set: areas add, centres weigh by area, one box.
    expectFields(rows[3], {{"kind", "region set"}, {"area", 5}, {"com_x", 2.5}, {"rect_w", 4}});
    expectFields(rows[4], {{"label", "5"}, {"area", 100}, {"given_area", 99}, {"given_bbox_w", 10}});
    // The run-length mask runs down the first column: pixels (0, 1) and (0, 2).
    expectFields(rows[5], {{"label", "6"}, {"kind", "region set"}, {"area", 2}, {"com_x", 0.5}, {"com_y", 2.0}});
    expectFields(rows[8], {{"label", "3"}, {"kind", "region set"}});
    for (int i = 0; i < 4; ++i) {
        for (const char* key : {"where", "label", "id", "properties"}) rows[i].erase(key), rows[9 + i].erase(key);
        EXPECT_EQ(rows[9 + i], rows[i]) << i;
    }
}

// Bad geometry is reported by line and skipped, unless --strict.
TEST(Io, BadShapesAreReportedAndSkipped) {
    const char* cases[][2] = {
        {"POLYGON ((0 0, 1 0, nan 1, 0 0))", "not a finite number"},
        {"POLYGON ((0 0, 1 0, 0 0))", "outer ring has 2 distinct point"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0), (0 0, 0 0, 0 0, 0 0))", "hole 0 has 1 distinct point"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0)", "parentheses are not closed"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0)))", "closes more than was opened"},
        {"POLYGON ((0 0, 1 0, 1 x, 0 0))", "not valid WKT"},
    };
    std::string text = "LINESTRING (0 0, 3 4)\n";
    for (auto& c : cases) text += std::string(c[0]) + "\nLINESTRING (0 0, 2 2)\n";
    fs::path file = write("bad.wkt", text);
    Result r = qelshape("measure -q " + file.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.out).size(), 1 + std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::size_t at = r.err.find("bad.wkt:" + std::to_string(2 + 2 * i) + ": ");
        ASSERT_NE(at, std::string::npos) << cases[i][0] << "\n" << r.err;
        EXPECT_NE(r.err.substr(at, r.err.find('\n', at) - at).find(cases[i][1]), std::string::npos)
            << cases[i][0] << "\n" << r.err;
    }
    // Strict stops at the first bad shape; CSV has a header and a row a shape.
    r = qelshape("measure --strict -o csv " + file.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("where,label,id,kind,image_id,category_id,points,holes,length,area,", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n" + file.string() + ":1,,,open contour,,,2,0,5,,"), std::string::npos) << r.out;
}

// Masks written as compressed and plain runs and as PNG files, read back by
// the tool's own decoders, are the library's fill of the grid each annotation
// reports: fitted boxes, a given grid seen y up, and a COCO image's own
// pixels. The decoder refuses runs no mask holds before their sums could
// overflow (twelve-group numbers near 2^60).
TEST(Io, RasterizedMasksAreTheLibrarysFillOfTheirGrid) {
    std::string huge;
    for (int k = 0; k < 40; ++k) huge += "ooooooooooo?";  // 2^59 - 1 each
    EXPECT_THROW(qs::expandRuns(huge), qs::InputError);
    std::string star = "POLYGON ((";
    for (int k = 0; k <= 40; ++k)
        star += (k ? ", " : "") + std::to_string((4 + std::sin(k % 40 * 7.3)) * std::cos(k * M_PI / 20)) + " " +
                std::to_string((4 + std::sin(k % 40 * 7.3)) * std::sin(k * M_PI / 20));
    const fs::path wkt = write("m.wkt", star + "), (-1 -1, 1 -1.5, 0.3 1.2, -1 -1))\n" + kWkt +
                                            "POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))\n");
    const fs::path coco = write("m.json", R"({"images": [{"id": 3, "width": 7, "height": 5}], "annotations": [
        {"id": 8, "image_id": 3, "segmentation": [[0.5, 0.5, 6.5, 1, 3, 4.5]]}]})");
    std::map<std::string, std::shared_ptr<krPersistent>> shapes;
    for (const fs::path& f : {wkt, coco}) {
        qs::Reader in(f.string());
        for (qs::Feature ft; in.next(ft);)
            shapes[ft.where] = ft.shape.kind != qs::Kind::ClosedContour
                                   ? ft.object : std::make_shared<krRegion>(ft.shape.polygons[0].outer);
    }
#ifdef QEL_HAVE_PNG
    const std::string pngs = " --png " + (scratch() / "png").string();
#else
    const std::string pngs;
#endif
    for (const std::string& args : {pngs, std::string("--counts list --y-up --origin -4,-3.5 --pixel 0.15 --width 40 --height 53")}) {
        const fs::path out = scratch() / "masks.json";
        Result r = qelshape("rasterize -q " + wkt.string() + " " + coco.string() + " --to " + out.string() + " " + args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("m.wkt:3: an open contour bounds no surface"), std::string::npos) << r.err;
        const json annotations = json::parse(slurp(out))["annotations"];
        ASSERT_EQ(annotations.size(), 6u) << args;
        for (const json& a : annotations) {
            SCOPED_TRACE(a["where"].get<std::string>() + " " + args);
            const long long h = a["segmentation"]["size"][0], w = a["segmentation"]["size"][1];
            const json& counts = a["segmentation"]["counts"];
            const auto mask = qs::runsMask(counts.is_string() ? qs::expandRuns(counts) : counts.get<std::vector<long long>>(), w, h);
            // The library's fill of the grid the annotation reports, y up
            // flipping the rows: that fill is inside() at every centre.
            const double x0 = a["grid"]["origin"][0], y0 = a["grid"]["origin"][1], side = a["grid"]["pixel"];
            const bool up = a["grid"]["y_up"];
            const krXform<2> grid(krMatrix<2>(side, 0, 0, up ? -side : side), krVector<2>(x0, up ? y0 + double(h) * side : y0));
            const krPersistent* shape = shapes.at(a["where"]).get();
            const auto* region = dynamic_cast<const krRegion*>(shape);
            const auto want = region ? kf_Rasterize(*region, std::size_t(w), std::size_t(h), grid)
                                     : kf_Rasterize(dynamic_cast<const krRegionSet&>(*shape), std::size_t(w), std::size_t(h), grid);
            EXPECT_EQ(mask, want);
            EXPECT_EQ(a["area"], std::count(want.begin(), want.end(), 1));
            EXPECT_GT(a["area"], 0);
            if (a.contains("png")) {
                std::ifstream png(a["png"].get<std::string>(), std::ios::binary);
                const std::vector<std::uint32_t> grey = qs::readPng(png, a["png"]).value;
                EXPECT_TRUE(std::equal(want.begin(), want.end(), grey.begin(), grey.end(),
                                       [](unsigned char m, std::uint32_t g) { return g == m * 255u; }));
            }
            if (a["where"].get<std::string>().find("m.json") != std::string::npos) {
                EXPECT_EQ(a["segmentation"]["size"], args == pngs ? json({5, 7}) : json({53, 40}));
            }
        }
    }
}

// Without --label a feature is named by the usual property names of map
// files, whatever their case, else by its first short string property, and
// only then by its id.
TEST(Io, DefaultLabelsFromUsualPropertyNames) {
    const std::pair<const char*, const char*> cases[] = {
        {R"("id": "x", "properties": {"NAME": "France", "A3": "FRA"})", "France"},
        {R"("properties": {"name_en": "Spain", "admin": "ES"})", "Spain"},
        {R"("properties": {"ADMIN": "Chile", "code": "CHL"})", "Chile"},
        {R"("properties": {"Title": "Lake"})", "Lake"},
        {R"("properties": {"label": 3, "name": "x"})", "3"},
        {R"("properties": {"A3": "CPV", "pop": 5})", "CPV"},
        {R"("id": 7, "properties": {"about": "a description far longer than any name or code", "n": 3})", "7"},
        {R"("properties": {"id": 9})", "9"},
    };
    std::string text = R"({"type": "FeatureCollection", "features": [)";
    for (const auto& c : cases)
        text += std::string(&c == cases ? "" : ",") + R"({"type": "Feature", )" + c.first +
                R"(, "geometry": {"type": "Polygon", "coordinates": [[[0, 0], [1, 0], [1, 1], [0, 0]]]}})";
    auto rows = lines(qelshape("measure -c area " + write("l.geojson", text + "]}").string()).out);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i]["label"], cases[i].second) << cases[i].first;
}

// Holes touching their boundary at points on its sides are joined to it
// there, in order along each side; holes crossing it or each other are read
// by even-odd parity and stay invalid; a hole clear of the others stays a hole.
// Areas weigh centres; a shape enclosing nothing has its boundary's centre,
// sides weighted by length. Each says so in a note. Areas and centres are
// GEOS's (for crossings, of the symmetric difference of the rings).
TEST(Io, CentresAndValidityOfHolesAndPolygons) {
    const double no = std::nan("");  // not asked
    const struct {
        const char* wkt;
        double area, x, y;
        int valid;  // -1: not asked
        const char* note;
    } cases[] = {
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (6 0, 7 2, 5 2, 6 0), (2 0, 3 2, 1 2, 2 0), (4 0, 4.5 1, 3.5 1, 4 0))",
         95.5, 5.047120418848167, 5.176265270506108, 1, "3 hole(s) touching the boundary"},
        {"POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (3 1, 5 1, 5 3, 3 3, 3 1))", 16, 2.125, 2, 0, "odd number of rings"},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 -1, 4 -1, 4 11, 2 11, 2 -1), (6 6, 8 6, 8 8, 6 8, 6 6))", 80,
         5.3, 4.9, 0, "odd number of rings"},
        // Holes crossing each other only: what lies in both is inside the polygon again.
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 5 1, 5 5, 1 5, 1 1), (3 3, 7 3, 7 7, 3 7, 3 3))", 76,
         5.315789473684211, 5.315789473684211, 0, "odd number of rings (2 polygon"},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 5 1, 5 5, 1 5, 1 1), (3 3, 7 3, 7 7, 3 7, 3 3), "
         "(2 6, 9 6, 9 8, 2 8, 2 6))", 70, 5.242857142857143, 5.114285714285714, 0, "odd number of rings"},
        {"POLYGON ((10 10, 10 90, 90 90, 90 10, 10 10))", 6400, 50, 50, 1, "null"},
        {"POLYGON ((20 20, 20 160, 160 160, 160 20, 20 20), (140 140, 40 140, 140 40, 140 140))", 14600,
         84.29223744292239, 84.29223744292239, 1, "null"},
        {"MULTIPOLYGON (((0 0, 10 0, 10 10, 0 10, 0 0)), ((20 20, 30 20, 30 30, 20 30, 20 20)))", 200, 15, 15, 1, "null"},
        {"MULTIPOLYGON (((0 0, 10 0, 10 10, 0 10, 0 0)), ((20 20, 25 25, 30 30, 20 20)))", 100, 5, 5, 0, "turns back"},
        {"POLYGON ((10 10, 20 20, 30 30, 10 10))", 0, 20, 20, 0, "encloses no area"},
        {"POLYGON ((56.5286666667 25.2101666667, 56.529 25.2105, 56.5288333333 25.2103333333, "
         "56.5286666667 25.2101666667))", 0, 56.52883333335, 25.21033333335, -1, "encloses no area"},
        {"POLYGON ((56.5286667 25.2101667, 56.529 25.2105, 56.5288333 25.2103333, 56.5286667 25.2101667))",
         0, 56.52883335, 25.21033335, -1, "encloses no area"},
        // Sides of two rings running along each other make a shape invalid,
        // whether or not they share their ends; rings meeting at a point do
        // not. The verdicts are GEOS's.
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 0, 5 0, 5 3, 2 3, 2 0))", no, no, no, 0,
         "hole 0 runs along the boundary"},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (0 0, 3 3, 0 6, 0 0))", no, no, no, 0, "hole 0 runs along the boundary"},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 4 1, 4 4, 1 4, 1 1), (4 2, 6 2, 6 3, 4 3, 4 2))", no, no, no, 0,
         "holes 0 and 1 run along each other"},
        {"MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((4 1, 8 1, 8 3, 4 3, 4 1)))", no, no, no, 0,
         "polygons 0 and 1 share part of a side"},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (5 0, 7 3, 3 3, 5 0))", no, no, no, 1, ""},
        {"MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((4 4, 8 4, 8 8, 4 8, 4 4)))", no, no, no, 1, ""},
        {"MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((5 0, 8 0, 8 4, 5 4, 5 0)))", no, no, no, 1, ""},
    };
    std::string text;
    for (const auto& c : cases) text += std::string(c.wkt) + "\n";
    Result r = qelshape("measure -c area_holes,com_holes_x,com_holes_y,valid " + write("x.wkt", text).string());
    EXPECT_EQ(r.status, 0) << r.err;
    auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(cases[i].wkt);
        const std::pair<const char*, double> measures[] = {
            {"area_holes", cases[i].area}, {"com_holes_x", cases[i].x}, {"com_holes_y", cases[i].y}};
        for (const auto& [column, want] : measures)
            EXPECT_TRUE(std::isnan(want) || std::fabs(double(rows[i][column]) - want) <= 1e-10) << rows[i];
        EXPECT_TRUE(cases[i].valid < 0 || rows[i]["valid"] == (cases[i].valid == 1));
        EXPECT_NE(rows[i]["notes"].dump().find(cases[i].note), std::string::npos) << rows[i];
    }
}
