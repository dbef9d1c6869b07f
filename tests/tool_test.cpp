// Runs the built qelshape on small files of each format and checks what it
// writes, its exit status and its messages for bad input.
#include <unistd.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out, err;
};

fs::path scratch() {
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("qelshape-test-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
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
    fs::path err = scratch() / "stderr";
    std::string cmd = std::string(QELSHAPE) + " " + args + " 2>" + err.string();
    FILE* pipe = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    int status = pclose(pipe);
    return {WEXITSTATUS(status), out, slurp(err)};
}

std::vector<json> lines(const std::string& out) {
    std::vector<json> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) rows.push_back(json::parse(line));
    return rows;
}

const char* kWkt =
    "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 2, 2 2, 2 1, 1 1))\n"
    "LINESTRING (0 0, 3 4,\n  3 8)\n"
    "POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))\n"
    "LINEARRING (0 0, 10 0, 10 10, 0 0)\n"
    "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 1, 0 0)), ((2 0, 4 0, 4 2, 2 2, 2 0)))\n";

}  // namespace

// Measures of known shapes, each checked against its value worked by hand.
TEST(Tool, MeasuresWktShapes) {
    Result r = qelshape("measure " + write("a.wkt", kWkt).string());
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 5u);
    const json& plate = rows[0];
    EXPECT_EQ(plate["kind"], "region");
    EXPECT_EQ(plate["points"], 4);
    EXPECT_EQ(plate["holes"], 1);
    EXPECT_DOUBLE_EQ(plate["area"], 16);
    EXPECT_DOUBLE_EQ(plate["area_holes"], 15);
    EXPECT_DOUBLE_EQ(plate["com_holes_x"], (16 * 2 - 1.5) / 15);
    EXPECT_DOUBLE_EQ(plate["rect_w"], 4);
    EXPECT_DOUBLE_EQ(plate["diameter"], std::sqrt(32.0));
    EXPECT_EQ(plate["self_intersecting"], false);
    EXPECT_EQ(rows[1]["kind"], "open contour");
    EXPECT_NE(rows[1]["where"].get<std::string>().find("a.wkt:2"), std::string::npos);
    EXPECT_DOUBLE_EQ(rows[1]["length"], 9);
    EXPECT_TRUE(rows[1]["area"].is_null());
    EXPECT_EQ(rows[2]["self_intersecting"], true);
    EXPECT_DOUBLE_EQ(rows[3]["area"], 50);  // the repeated closing point is dropped
    EXPECT_EQ(rows[3]["points"], 3);
    EXPECT_DOUBLE_EQ(rows[4]["area"], 5);  // the set: areas add, centres weigh by area
    EXPECT_DOUBLE_EQ(rows[4]["com_x"], 2.5);
    EXPECT_DOUBLE_EQ(rows[4]["com_y"], 0.9);
    EXPECT_DOUBLE_EQ(rows[4]["rect_w"], 4);
    EXPECT_EQ(rows[4]["self_intersecting"], false);
}

TEST(Tool, AnnotationsAndFeaturesKeepTheirIdsAndGivenValues) {
    fs::path coco = write("c.json", R"({"images": [], "annotations": [
        {"id": 5, "segmentation": [[0, 0, 10, 0, 10, 10, 0, 10]], "area": 99, "bbox": [0, 0, 10, 10]},
        {"id": 6, "segmentation": {"counts": [1, 2], "size": [4, 4]}},
        {"id": 7, "segmentation": [[0, 0, 2, 0, 2, 2], [5, 5, 6, 5, 6, 6]]}]})");
    Result r = qelshape("measure " + coco.string() + " -o csv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("c.json: $.annotations[1]: the segmentation is run-length"), std::string::npos) << r.err;
    std::istringstream csv(r.out);
    std::string head, first, second;
    std::getline(csv, head), std::getline(csv, first), std::getline(csv, second);
    EXPECT_EQ(head.rfind("where,label,kind,points", 0), 0u);
    EXPECT_NE(first.find(",5,region,4,0,40,100,100,"), std::string::npos) << first;
    EXPECT_NE(first.find(",99,0,0,10,10,"), std::string::npos) << first;
    EXPECT_NE(second.find(",7,region set,6,"), std::string::npos) << second;

    fs::path geo = write("g.geojson", R"({"type": "FeatureCollection", "features": [
        {"type": "Feature", "id": "left", "geometry": {"type": "Polygon",
         "coordinates": [[[0, 0], [1, 0], [1, 1], [0, 0]]]}},
        {"type": "Feature", "geometry": {"type": "Point", "coordinates": [0, 0]}},
        {"type": "Feature", "properties": {"label": 3}, "geometry": {"type": "MultiPolygon",
         "coordinates": [[[[0, 0], [1, 0], [1, 1]]], [[[5, 5], [6, 5], [6, 6]]]]}}]})");
    r = qelshape("measure " + geo.string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("$.features[1]: a Point is not a shape"), std::string::npos) << r.err;
    auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["label"], "left");
    EXPECT_EQ(rows[1]["label"], "3");
    EXPECT_EQ(rows[1]["kind"], "region set");
}

// Every kind of bad geometry is reported with its line and what is wrong,
// and the shapes around it are still measured unless --strict.
TEST(Tool, BadShapesAreReportedAndSkipped) {
    const char* cases[][2] = {
        {"POLYGON ((0 0, 1 0, nan 1, 0 0))", "not a finite number"},
        {"POLYGON EMPTY", "empty"},
        {"POLYGON ((0 0, 1 0, 0 0))", "outer ring has 2 distinct point"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0), (0 0, 0 0, 0 0, 0 0))", "hole 0 has 1 distinct point"},
        {"LINESTRING (1 1, 1 1)", "the line has 1 distinct point"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0)", "parentheses are not closed"},
        {"POINT (1 2)", "Point is not a shape"},
        {"POLYGON ((0 0, 1 0, 1 1, 0 0)))", "closes more than was opened"},
        {"POLYGON ((0 0, 1 0, 1 x, 0 0))", "not valid WKT"},
        {"POLYGON ((0 0, 9 0, 9 9, 0 0), (1 -1, 2 1, 3 1, 1 -1))", "holes cannot intersect region"},
    };
    std::string text = "LINESTRING (0 0, 1 1)\n";
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
    r = qelshape("measure --strict " + file.string());
    EXPECT_EQ(lines(r.out).size(), 1u);
    EXPECT_EQ(r.err.find("qelshape:", 1), std::string::npos) << r.err;
}

TEST(Tool, UsageErrorsAreOneLineWithStatusTwo) {
    for (const char* args : {"measure --no-such-option x.wkt", "measure /no/such/file.wkt", "", "measure -f shapefile " QELSHAPE}) {
        Result r = qelshape(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("qelshape: ", 0), 0u) << args << ": " << r.err;
    }
    Result json = qelshape("measure -f coco " + write("not.json", kWkt).string());
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(json.err.find("not JSON"), std::string::npos);
}

// Order and answers do not depend on the number of threads, across chunks.
TEST(Tool, ThreadsKeepOrderAndAnswers) {
    std::string text;
    for (int i = 0; i < 700; ++i) {
        std::ostringstream s;
        double x = i % 97, y = i % 89, w = 1 + i % 7;
        s << "POLYGON ((" << x << ' ' << y << ", " << x + w << ' ' << y << ", " << x + w / 3 << ' '
          << y + w * 1.5 << ", " << x + w << ' ' << y + w << ", " << x << ' ' << y << "))\n";
        text += (i % 500 == 7) ? "POLYGON ((1 2))\n" : s.str();
    }
    fs::path wkt = write("many.wkt", text);
    Result one = qelshape("measure -j 1 " + wkt.string());
    Result four = qelshape("measure -j 4 " + wkt.string());
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(one.out, four.out);
    EXPECT_EQ(one.err, four.err);
    EXPECT_EQ(lines(one.out).size(), 698u);
}

// Every conversion reads back to the same measures.
TEST(Tool, ConversionsKeepEveryAnswer) {
    auto measuresOf = [](const std::string& args) {
        std::vector<json> rows = lines(qelshape("measure " + args).out);
        for (json& row : rows) row.erase("where"), row.erase("label");
        return rows;
    };
    fs::path small = write("small.wkt", kWkt);
    std::vector<json> expected = measuresOf(small.string());
    for (const char* ext : {".qar", ".geojson", ".wkt"}) {
        fs::path to = scratch() / (std::string("converted") + ext);
        ASSERT_EQ(qelshape("convert " + small.string() + " --to " + to.string()).status, 0);
        EXPECT_EQ(measuresOf(to.string()), expected) << ext;
    }
}

// A bow-tie and a plate with a hole.
const char* kTwo = "POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))\n"
                   "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 3, 3 3, 3 1, 1 1))\n";

TEST(Tool, TestsPointsAndDraws) {
    fs::path shapes = write("r.wkt", kTwo);
    Result r = qelshape("inside " + shapes.string() + " -p " + write("p.csv", "x,y\n0.5,0.5\n2 2\n5,5\n").string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("r.wkt:2,,0.5,0.5,true\n" + shapes.string() + ":2,,2,2,false\n" +
                         shapes.string() + ":2,,5,5,false\n"), std::string::npos) << r.out;
    fs::path svg = scratch() / "r.svg";
    EXPECT_EQ(qelshape("draw --all " + shapes.string() + " --to " + svg.string()).status, 0);
    EXPECT_NE(slurp(svg).find("crossings"), std::string::npos);
}

TEST(Tool, RepairsSayWhatChanged) {
    fs::path shapes = write("r.wkt", kTwo);
    fs::path fixed = scratch() / "fixed.wkt";
    Result r = qelshape("repair --regularize " + shapes.string() + " --to " + fixed.string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("r.wkt:1: changed\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("r.wkt:2: unchanged\n"), std::string::npos) << r.out;
    auto rows = lines(qelshape("measure " + fixed.string()).out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_DOUBLE_EQ(rows[0]["area"], 2);  // both lobes, no longer cancelling
    EXPECT_EQ(rows[0]["self_intersecting"], false);
    EXPECT_EQ(rows[1]["area_holes"], 12);
}
