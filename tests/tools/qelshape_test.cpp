// The commands of qelshape: usage errors, inside and repair, and every
// measure against the library asked directly.
#include <cmath>
#include <tuple>

#include "cntr/region.h"
#include "platform/std/hull.h"
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
    // Repaired, the lobes are two polygons meeting at a vertex, which valid allows.
    expectFields(rows[2], {{"area", 2}, {"valid", true}});
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

// Shapes valid calls invalid that the library's crossing rule lets pass are
// repaired all the same, into valid shapes: a triangle traced twice, two
// lobes touching at a vertex, a hole crossing its boundary (regularized, what
// lies inside either ring but not both), two holes crossing each other, and a
// polygon so repaired beside one apart from it, which stays.
TEST(Tool, RepairMakesEveryShapeValid) {
    fs::path shapes = write("bad.wkt", "POLYGON ((0 0, 4 0, 0 3, 0 0, 4 0, 0 3, 0 0))\n"
                                       "POLYGON ((0 0, 2 0, 1 1, 2 2, 0 2, 1 1, 0 0))\n"
                                       "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (3 1, 5 1, 5 3, 3 3, 3 1))\n"
                                       "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0), (1 1, 5 1, 5 5, 1 5, 1 1), "
                                       "(3 3, 7 3, 7 7, 3 7, 3 3))\n"
                                       "MULTIPOLYGON (((0 0, 4 0, 4 4, 0 4, 0 0), (3 1, 5 1, 5 3, 3 3, 3 1)), "
                                       "((10 10, 12 10, 12 12, 10 12, 10 10)))\n");
    const std::pair<const char*, std::vector<double>> modes[] = {{"--outer-hull", {6, 2, 16, 100, 20}},
                                                                 {"--regularize", {6, 2, 16, 76, 20}}};
    for (const auto& [mode, areas] : modes) {
        fs::path fixed = scratch() / "fixed.wkt";
        Result r = qelshape(std::string("repair ") + mode + " " + shapes.string() + " --to " + fixed.string());
        ASSERT_EQ(r.status, 0) << r.err;
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
