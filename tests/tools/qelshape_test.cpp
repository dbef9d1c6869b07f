// The commands of qelshape: usage errors, inside and repair. (Every measure
// column is held to the library's answer by the Python package's tests.)
#include <tuple>

#include "tests/qelshape_run.h"

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

// Which points a bow-tie and a holed plate hold.
TEST(Tool, Inside) {
    fs::path shapes = write("r.wkt", "POLYGON ((0 0, 2 2, 2 0, 0 2, 0 0))\n"
                                     "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 3, 3 3, 3 1, 1 1))\n");
    Result r = qelshape("inside " + shapes.string() + " -p " + write("p.csv", "x,y\n0.5,0.5\n2 2\n5,5\n").string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("r.wkt:2,,0.5,0.5,true\n" + shapes.string() + ":2,,2,2,false\n" +
                         shapes.string() + ":2,,5,5,false\n"), std::string::npos) << r.out;
}

// Shapes valid calls invalid that the library's crossing rule lets pass are
// repaired all the same, into valid shapes: a triangle traced twice, two
// lobes touching at a vertex, a hole crossing its boundary (regularized, what
// lies inside either ring but not both), two holes crossing each other, a
// polygon so repaired beside one apart from it, which stays, and a simple
// triangle, left unchanged.
TEST(Tool, RepairMakesEveryShapeValid) {
    fs::path shapes = write("bad.wkt", "POLYGON ((0 0, 4 0, 0 3, 0 0, 4 0, 0 3, 0 0))\n"
                                       "POLYGON ((0 0, 2 0, 1 1, 2 2, 0 2, 1 1, 0 0))\n"
                                       "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (3 1, 5 1, 5 3, 3 3, 3 1))\n"
                                       "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 5 1, 5 5, 1 5, 1 1), "
                                       "(3 3, 7 3, 7 7, 3 7, 3 3))\n"
                                       "MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0), (3 1, 5 1, 5 3, 3 3, 3 1)), "
                                       "((10 10, 12 10, 12 12, 10 12, 10 10)))\n"
                                       "POLYGON ((0 0, 1 0, 1 1, 0 0))\n");
    const std::pair<const char*, std::vector<double>> modes[] = {{"--outer-hull", {6, 2, 16, 100, 20, 0.5}},
                                                                 {"--regularize", {6, 2, 16, 76, 20, 0.5}}};
    for (const auto& [mode, areas] : modes) {
        fs::path fixed = scratch() / "fixed.wkt";
        Result r = qelshape(std::string("repair ") + mode + " " + shapes.string() + " --to " + fixed.string());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("bad.wkt:1: changed\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("bad.wkt:6: unchanged\n"), std::string::npos) << r.out;
        auto rows = lines(qelshape("measure " + fixed.string()).out);
        ASSERT_EQ(rows.size(), areas.size()) << mode;
        for (std::size_t k = 0; k < areas.size(); ++k) {
            EXPECT_EQ(rows[k]["valid"], true) << mode << " " << k;
            EXPECT_NEAR(double(rows[k]["area_holes"]), areas[k], 1e-12) << mode << " " << k;
        }
    }
}
