// qelshape's edges and measure --edges on a rendered grey image whose truth
// is known: a bright disc of radius 24 with a hole of radius 9.
#include <algorithm>
#include <cmath>

#include "io/png.h"
#include "tests/platform/greyscene.h"
#include "tests/qelshape_run.h"

#ifdef QEL_HAVE_PNG

namespace {

constexpr double kCx = 40.37, kCy = 38.81, kOuter = 24, kInner = 9;

// The image as 8-bit and as 16-bit PNG files.
fs::path ring(bool wide) {
    greyscene::Scene s(80, 76, 30);
    s.addEllipse({kCx, kCy, kOuter, kOuter, 0}, 160);
    s.addEllipse({kCx, kCy, kInner, kInner, 0}, -160);
    s.blur(1.2);
    const fs::path p = scratch() / (wide ? "ring16.png" : "ring8.png");
    const krGreyImage image = s.image(krPixelType::eU8);
    krGreyImage out(wide ? krPixelType::eU16 : krPixelType::eU8, image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) out.set(x, y, image.at(x, y) * (wide ? 257 : 1));
    qs::writeGreyPng(p.string(), out.view());
    return p;
}

}  // namespace

TEST(EdgesTool, MeasureGivesOneRowAChainWithItsHoles) {
    for (bool wide : {false, true}) {
        const fs::path png = ring(wide);
        Result r = qelshape("measure -q --edges " + png.string() + " -c circle,area_holes,kind,properties");
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<json> rows = lines(r.out);
        ASSERT_EQ(rows.size(), 2u);
        const json &outer = rows[0], &hole = rows[1];
        expectFields(outer, {{"where", png.string() + ": chain 0"}, {"kind", "region"}});
        EXPECT_NEAR(outer["area_holes"].get<double>(), M_PI * (kOuter * kOuter - kInner * kInner), 2.0);
        expectFields(hole["properties"], {{"parent", 0}, {"hole", true}});
        EXPECT_NE(hole["notes"].get<std::string>().find("a hole of chain 0"), std::string::npos);
        for (const auto& [row, radius] : {std::pair{outer, kOuter}, std::pair{hole, kInner}}) {
            EXPECT_NEAR(row["circle_r"].get<double>(), radius, 0.02);
            EXPECT_LE(std::max(std::fabs(row["circle_x"].get<double>() - kCx), std::fabs(row["circle_y"].get<double>() - kCy)), 0.01);
            EXPECT_LT(row["circle_residual"].get<double>(), 0.05);
        }
    }
}

TEST(EdgesTool, ChainsAreWrittenAsShapesAndAsAPictureOverTheImage) {
    const fs::path png = ring(false), geo = scratch() / "ring.geojson", svg = scratch() / "ring.svg";
    Result r = qelshape("edges -q " + png.string() + " --sigma 1.5 --min-length 20 --to " + geo.string());
    ASSERT_EQ(r.status, 0) << r.err;
    const json features = json::parse(slurp(geo))["features"];
    ASSERT_EQ(features.size(), 2u);
    // The outline and its hole.
    EXPECT_TRUE(features[0]["geometry"]["type"] == "Polygon" && features[0]["geometry"]["coordinates"].size() == 2u);
    r = qelshape("edges -q " + png.string() + " --to " + svg.string());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string picture = slurp(svg);
    for (const char* part : {"href=\"data:image/png;base64,iVBORw0KGgo", "id=\"chain-1\""})
        EXPECT_NE(picture.find(part), std::string::npos) << part;
    // Bad settings and files that are not images are reported.
    EXPECT_EQ(qelshape("edges -q " + png.string() + " --sigma 0.1 --to " + geo.string()).status, 1);
    EXPECT_EQ(qelshape("edges -q " + write("a.wkt", "POINT (1 2)\n").string() + " --to " + geo.string()).status, 1);
}

#endif
