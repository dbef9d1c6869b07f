// Runs the built qelshape on small files: output, exit status and messages.
#include <unistd.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cntr/region.h"
#include "cntr/regionst.h"
#include "platform/std/hull.h"
#include "io/coco.h"
#include "io/png.h"
#include "io/reader.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out, err;
};

fs::path scratch() {
    static const fs::path dir = fs::temp_directory_path() / ("qelshape-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path write(const std::string& name, const std::string& text) {
    fs::path p = scratch() / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

Result qelshape(const std::string& args) {
    const fs::path out = scratch() / "stdout", err = scratch() / "stderr";
    const int status = std::system((QELSHAPE " " + args + " >" + out.string() + " 2>" + err.string()).c_str());
    return {WEXITSTATUS(status), slurp(out), slurp(err)};
}

std::vector<json> lines(const std::string& out) {
    std::vector<json> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) rows.push_back(json::parse(line));
    return rows;
}

// Each key of want has its value in row; fractions to within rounding.
void expectFields(const json& row, const json& want) {
    for (const auto& [key, value] : want.items()) {
        if (value.is_number_float())
            EXPECT_NEAR(row[key].get<double>(), value.get<double>(), 1e-12) << key;
        else
            EXPECT_EQ(row[key], value) << key;
    }
}

const char* kWkt =
    "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 2, 2 2, 2 1, 1 1))\n"
    "LINESTRING (0 0, 3 4,\n  3 8)\n"
    "LINEARRING (0 0, 10 0, 10 10, 0 0)\n"
    "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 1, 0 0)), ((2 0, 4 0, 4 2, 2 2, 2 0)))\n";

}  // namespace

// A file of each format, measures worked by hand; WKT converted to an archive
// and on to GeoJSON reads back to the same measures.
TEST(Tool, MeasuresEveryFormat) {
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
TEST(Tool, BadShapesAreReportedAndSkipped) {
    const char* cases[][2] = {
        {"POLYGON ((0 0, 1 0, nan 1, 0 0))", "not a finite number"},
        {"POLYGON ((0 0, 1 0, 0 0))", "outer ring has 2 distinct point"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0), (0 0, 0 0, 0 0, 0 0))", "hole 0 has 1 distinct point"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0)", "parentheses are not closed"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0)))", "closes more than was opened"},
        {"POLYGON ((0 0, 1 0, 1 x, 0 0))", "not valid WKT"},
        {"POLYGON ((0 0, 9 0, 9 9, 0 0), (1 -1, 2 1, 3 1, 1 -1))", "holes cannot intersect region"},
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

// Usage errors give status 2, unreadable input status 1.
TEST(Tool, UsageAndFormatErrors) {
    const std::string notJson = write("not.json", kWkt).string();
    const std::tuple<std::string, int, const char*> cases[] = {
        {"measure --no-such-option " + notJson, 2, "not expected: --no-such-option"},
        {"measure /no/such/file.wkt", 2, "no such file: /no/such/file.wkt"},
        {"measure -f coco " + notJson, 1, "not.json: not JSON"}};
    for (const auto& [args, status, what] : cases) {
        Result r = qelshape(args);
        EXPECT_EQ(r.status, status) << args;
        EXPECT_EQ(r.err.rfind("qelshape: ", 0), 0u) << args << ": " << r.err;
        EXPECT_NE(r.err.find(what), std::string::npos) << args << ": " << r.err;
    }
}

// Which points a bow-tie and a holed plate hold; a repair written as WKT.
TEST(Tool, InsideAndRepair) {
    fs::path shapes = write("r.wkt", "POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))\n"
                                     "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 3, 3 3, 3 1, 1 1))\n");
    Result r = qelshape("inside " + shapes.string() + " -p " + write("p.csv", "x,y\n0.5,0.5\n2 2\n5,5\n").string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("r.wkt:2,,0.5,0.5,true\n" + shapes.string() + ":2,,2,2,false\n" +
                         shapes.string() + ":2,,5,5,false\n"), std::string::npos) << r.out;
    fs::path fixed = scratch() / "fixed.wkt";
    r = qelshape("repair --regularize " + shapes.string() + " --to " + fixed.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("r.wkt:1: changed\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("r.wkt:2: unchanged\n"), std::string::npos) << r.out;
    auto rows = lines(qelshape("measure " + shapes.string() + " " + fixed.string()).out);
    ASSERT_EQ(rows.size(), 4u);
    expectFields(rows[0], {{"area", 0}, {"self_intersecting", true}});  // the lobes cancel
    expectFields(rows[2], {{"area", 2}, {"self_intersecting", false}});
    EXPECT_EQ(rows[3]["area_holes"], 12);
}

// Every column the tool computes, against the library asked directly, for
// an L-shaped plate with a hole (no symmetry swaps x and y) read from WKT,
// GeoJSON and COCO (which has no holes).
TEST(Tool, ColumnsAreTheLibrarysAnswers) {
    const std::vector<krVector<2>> outer = {{0, 0}, {7, 0}, {7, 2}, {3, 2}, {3, 5}, {0, 5}},
                                   hole = {{1, 1}, {2, 1}, {2.5, 3}, {1, 3}};
    auto expected = [&](bool withHole) {
        krRegion r(outer);
        if (withHole) r.holes({krPtrHandle_const<krRegion>(new krRegion(hole))});
        krEllipse e;
        double residual = 0;
        r.fitEllipse(e, residual);
        const krRect box = r.encloseRect(krXform<2>::I);
        const krCircle exact = r.encloseCircle(krContourDefs::eExact),
                       fast = r.encloseCircle(krContourDefs::eFast), min = kfMinEnclosingCircle(outer);
        const krMatrix<2> m = r.inertiaMatrix(false);
        json want = {{"points", 6}, {"holes", withHole ? 1 : 0}, {"length", r.length()},
                     {"area", r.area(false)}, {"area_holes", r.area(true)},
                     {"com_x", r.centerOfMass(false).x()}, {"com_y", r.centerOfMass(false).y()},
                     {"com_holes_x", r.centerOfMass(true).x()}, {"com_holes_y", r.centerOfMass(true).y()},
                     {"inertia_xx", m.element(0, 0)}, {"inertia_xy", m.element(0, 1)}, {"inertia_yy", m.element(1, 1)},
                     {"ellipse_x", e.center().x()}, {"ellipse_y", e.center().y()}, {"ellipse_a", e.a()},
                     {"ellipse_b", e.b()}, {"ellipse_rotation", e.rotation().toDouble()},
                     {"ellipse_residual", residual}, {"rect_x", box.origin().x()}, {"rect_y", box.origin().y()},
                     {"rect_w", box.width()}, {"rect_h", box.height()},
                     {"min_circle_x", min.center().x()}, {"min_circle_y", min.center().y()},
                     {"min_circle_r", min.radius()}, {"diameter_circle_x", exact.center().x()},
                     {"diameter_circle_y", exact.center().y()}, {"diameter_circle_r", exact.radius()},
                     {"diameter", r.diameter(krContourDefs::eExact)}, {"fast_circle_x", fast.center().x()},
                     {"fast_circle_y", fast.center().y()}, {"fast_circle_r", fast.radius()},
                     {"fast_diameter", r.diameter(krContourDefs::eFast)}, {"self_intersecting", false},
                     {"valid", true}};
        const char* extremes[] = {"extreme_right", "extreme_up", "extreme_left", "extreme_down"};
        for (int k = 0; k < 4; ++k) want[extremes[k]] = r.extremalVertexIndex(krRadian(k * M_PI / 2));
        return want;
    };
    std::string wkt = "POLYGON ((", geo = "[[", coco = "[";
    for (std::size_t i = 0; i <= outer.size(); ++i) {
        const krVector<2>& p = outer[i % outer.size()];
        wkt += (i ? ", " : "") + std::to_string(p.x()) + " " + std::to_string(p.y());
        geo += std::string(i ? ", [" : "[") + std::to_string(p.x()) + ", " + std::to_string(p.y()) + "]";
        if (i < outer.size()) coco += (i ? ", " : "") + std::to_string(p.x()) + ", " + std::to_string(p.y());
    }
    wkt += "), (1 1, 2 1, 2.5 3, 1 3, 1 1))\n";
    geo = R"({"type": "Feature", "geometry": {"type": "Polygon", "coordinates": )" + geo +
          "], [[1, 1], [2, 1], [2.5, 3], [1, 3], [1, 1]]]}}";
    coco = R"({"annotations": [{"id": 1, "segmentation": [)" + coco + "]]}]}";
    const std::pair<fs::path, bool> files[] = {{write("l.wkt", wkt), true},
                                               {write("l.geojson", geo), true},
                                               {write("l.json", coco), false}};
    for (const auto& [file, withHole] : files) {
        Result r = qelshape("measure -q " + file.string());
        ASSERT_EQ(r.status, 0) << r.err;
        auto rows = lines(r.out);
        ASSERT_EQ(rows.size(), 1u) << file;
        SCOPED_TRACE(file.string());
        expectFields(rows[0], expected(withHole));
    }
}

// Masks written as compressed and plain runs and as PNG files, read back by
// the tool's own decoders, against inside() at every pixel centre worked out
// here from the grid each annotation reports: fitted boxes, a given grid seen
// y up, and a COCO image's own pixels. The decoder refuses runs no mask holds
// before their sums could overflow (twelve-group numbers near 2^60).
TEST(Tool, RasterizedMasksAreInsideAtPixelCentres) {
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
            std::ifstream png(a.value("png", "/dev/null"), std::ios::binary);
            const auto grey = a.contains("png") ? qs::readPng(png, a["png"]).value : std::vector<std::uint32_t>(mask.size());
            ASSERT_EQ(grey.size(), mask.size());
            const double x0 = a["grid"]["origin"][0], y0 = a["grid"]["origin"][1], side = a["grid"]["pixel"];
            const auto* region = dynamic_cast<const krRegion*>(shapes.at(a["where"]).get());
            const auto* set = dynamic_cast<const krRegionSet*>(shapes.at(a["where"]).get());
            long long mismatches = 0, area = 0;
            for (long long j = 0; j < h; ++j)
                for (long long i = 0; i < w; ++i) {
                    const double y = a["grid"]["y_up"] ? y0 + (double(h - j) - 0.5) * side : y0 + (double(j) + 0.5) * side;
                    const krVector<2> c(x0 + (double(i) + 0.5) * side, y);
                    const bool in = region ? region->inside(c, true) : set->inside(c, true);
                    const std::size_t k = std::size_t(j * w + i);
                    mismatches += mask[k] != in || (a.contains("png") && grey[k] != (in ? 255u : 0u));
                    area += in;
                }
            EXPECT_EQ(mismatches, 0);
            EXPECT_EQ(a["area"], area);
            EXPECT_GT(area, 0);
            if (a["where"].get<std::string>().find("m.json") != std::string::npos) {
                EXPECT_EQ(a["segmentation"]["size"], args == pngs ? json({5, 7}) : json({53, 40}));
            }
        }
    }
}
