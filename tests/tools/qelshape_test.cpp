// The commands of qelshape: usage errors, inside, repair and validity, and
// centres of shapes that enclose nothing. (Every measure column is held to
// the library's answer by the Python package's tests.)
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

// Sides of two rings that run along each other make a shape invalid, whether
// or not they share their ends; rings meeting at a point do not. The
// verdicts are GEOS's.
TEST(Tool, ValidSeesSidesRunningAlongEachOther) {
    const std::pair<const char*, const char*> cases[] = {
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (2 0, 5 0, 5 3, 2 3, 2 0))", "hole 0 runs along the boundary"},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (0 0, 3 3, 0 6, 0 0))", "hole 0 runs along the boundary"},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 4 1, 4 4, 1 4, 1 1), (4 2, 6 2, 6 3, 4 3, 4 2))",
         "holes 0 and 1 run along each other"},
        {"MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((4 1, 8 1, 8 3, 4 3, 4 1)))",
         "polygons 0 and 1 share part of a side"},
        {"POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (5 0, 7 3, 3 3, 5 0))", ""},
        {"MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((4 4, 8 4, 8 8, 4 8, 4 4)))", ""},
        {"MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0)), ((5 0, 8 0, 8 4, 5 4, 5 0)))", ""},
    };
    std::string text;
    for (const auto& c : cases) text += std::string(c.first) + "\n";
    auto rows = lines(qelshape("measure -c valid " + write("v.wkt", text).string()).out);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string why = cases[i].second;
        EXPECT_EQ(rows[i]["valid"], why.empty()) << cases[i].first;
        if (!why.empty()) {
            EXPECT_NE(rows[i]["notes"].dump().find(why), std::string::npos) << rows[i];
        }
    }
}

// GEOS's centroid cases: areas weigh centres; a shape enclosing nothing has
// its boundary's centre, sides weighted by length, and says so. Expected
// centres are GEOS's.
TEST(Tool, CentresOfGeosCases) {
    struct Case {
        const char* wkt;
        double x, y, tol;
        bool flat;
    };
    const Case cases[] = {
        {"POLYGON ((10 10, 10 90, 90 90, 90 10, 10 10))", 50, 50, 1e-12, false},
        {"POLYGON ((20 20, 20 160, 160 160, 160 20, 20 20), (140 140, 40 140, 140 40, 140 140))",
         84.29223744292239, 84.29223744292239, 1e-9, false},
        {"MULTIPOLYGON (((0 0, 10 0, 10 10, 0 10, 0 0)), ((20 20, 30 20, 30 30, 20 30, 20 20)))", 15, 15, 1e-12, false},
        {"MULTIPOLYGON (((0 0, 10 0, 10 10, 0 10, 0 0)), ((20 20, 25 25, 30 30, 20 20)))", 5, 5, 1e-12, false},
        {"POLYGON ((10 10, 20 20, 30 30, 10 10))", 20, 20, 1e-12, true},
        {"POLYGON ((56.5286666667 25.2101666667, 56.529 25.2105, 56.5288333333 25.2103333333, "
         "56.5286666667 25.2101666667))", 56.52883333335, 25.21033333335, 1e-10, true},
        {"POLYGON ((56.5286667 25.2101667, 56.529 25.2105, 56.5288333 25.2103333, 56.5286667 25.2101667))",
         56.52883335, 25.21033335, 1e-10, true},
    };
    std::string text;
    for (const Case& c : cases) text += std::string(c.wkt) + "\n";
    auto rows = lines(qelshape("measure -c area,com " + write("c.wkt", text).string()).out);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(cases[i].wkt);
        EXPECT_NEAR(double(rows[i]["com_holes_x"]), cases[i].x, cases[i].tol);
        EXPECT_NEAR(double(rows[i]["com_holes_y"]), cases[i].y, cases[i].tol);
        EXPECT_EQ(rows[i]["notes"].dump().find("encloses no area") != std::string::npos, cases[i].flat);
    }
}
