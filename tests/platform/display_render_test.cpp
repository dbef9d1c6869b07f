// An SVG document from krSvgTablet rendered by a real renderer (librsvg, as
// image viewers and browsers use it): ink falls on the drawn segments and
// ellipse, in their colours, and nowhere else, and the same picture a million
// units from the origin gets the same ink. Skipped when rsvg-convert is not
// installed.
#include <gtest/gtest.h>
#include <unistd.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/disp/svgtablet.h"
#include "platform/std/geometry.h"

namespace {


// The screenshot as rows of colours, any transparency blended over white.
std::vector<std::vector<krColor>> readPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    std::vector<std::vector<krColor>> image;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
    png.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(png));
    const png_color white{255, 255, 255};
    if (!png_image_finish_read(&png, &white, rgb.data(), 0, nullptr)) return image;
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        if (i % (3 * png.width) == 0) image.emplace_back();
        image.back().emplace_back(rgb[i], rgb[i + 1], rgb[i + 2]);
    }
    return image;
}

// The rendered picture of the tablet's document; empty when none was made.
std::vector<std::vector<krColor>> render(const krSvgTablet& tablet) {
    char dirName[] = "/tmp/qel-render-XXXXXX";
    const std::string dir = mkdtemp(dirName);
    tablet.save(dir + "/d.svg");
    const std::string command =
        "rsvg-convert -b white -o " + dir + "/d.png " + dir + "/d.svg >/dev/null 2>&1";
    (void)std::system(command.c_str());
    const auto image = readPng(dir + "/d.png");
    (void)std::system(("rm -rf " + dir).c_str());
    return image;
}

// Each shape as a polyline in drawing units (the ellipse finely cut), with
// its colour: 0 black, 1 red, 2 blue.
struct Stroke {
    std::vector<krVector<2>> points;
    int colour;
};

}  // namespace

TEST(SvgRender, InkFallsOnTheShapesNearAndFarFromTheOrigin) {
    if (std::system("rsvg-convert --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsvg-convert is not installed";
    // Not symmetric, so a flipped axis, a shifted view box or an ellipse
    // turned the wrong way shows. The picture is 5 units wide, so that at 1e6
    // single precision would be a few pixels out.
    const double u = 0.03;
    const double segs[][4] = {
        {20, 10, 20, 80}, {20, 80, 60, 80}, {80, 20, 140, 20}, {140, 20, 80, 60}};
    const double cx = 100 * u, cy = 85 * u, a = 30 * u, b = 8 * u, turn = 0.5;
    const krColor inks[] = {krColor(0, 0, 0), krColor(230, 0, 0), krColor(0, 0, 230)};
    std::vector<int> nearInk;
    for (const double shift : {0.0, 1e6}) {
        SCOPED_TRACE(shift);
        std::vector<Stroke> strokes;
        for (const auto& s : segs)
            strokes.push_back(
                {{krVector<2>(s[0], s[1]) * u, krVector<2>(s[2], s[3]) * u}, s[0] < 50 ? 0 : 1});
        strokes.push_back({{}, 2});
        for (int k = 0; k <= 720; ++k) {
            const double t = k * kPi / 360;
            const double u = a * std::cos(t), v = b * std::sin(t);
            strokes.back().points.emplace_back(cx + u * std::cos(turn) - v * std::sin(turn),
                                               cy + u * std::sin(turn) + v * std::cos(turn));
        }
        krSvgTablet tablet(300);
        const krVector<2> at(shift, shift);
        for (std::size_t k = 0; k < 4; ++k)
            tablet.drawLineSeg(strokes[k].points[0] + at, strokes[k].points[1] + at,
                               inks[strokes[k].colour], krUITablet::Layers());
        tablet.drawEllipse(krVector<2>(cx, cy) + at, a, b, krRadian(turn), inks[2],
                           krUITablet::Layers());
        const auto image = render(tablet);
        ASSERT_FALSE(image.empty()) << "rsvg-convert made no picture";

        // Distance in pixels from a pixel centre to the nearest stroke, and that stroke.
        const double scale = tablet.pageScale();
        const krVector<2> origin = tablet.viewBox().origin() - at;
        auto nearest = [&](double px, double py, std::size_t& which) {
            const krVector<2> q = krVector<2>(px / scale, py / scale) + origin;
            double best = 1e9;
            for (std::size_t k = 0; k < strokes.size(); ++k)
                for (std::size_t i = 1; i < strokes[k].points.size(); ++i) {
                    const krLineSeg seg(strokes[k].points[i - 1], strokes[k].points[i]);
                    const double d = seg.distToPoint(q);
                    if (d * scale < best) best = d * scale, which = k;
                }
            return best;
        };
        std::vector<int> ink(strokes.size());
        for (std::size_t y = 0; y < image.size(); ++y)
            for (std::size_t x = 0; x < image[y].size(); ++x) {
                const krColor p = image[y][x];
                if (p.r() + p.g() + p.b() > 600) continue;
                std::size_t k = 0;
                ASSERT_LT(nearest(x + 0.5, y + 0.5, k), 2.5) << "ink at " << x << ", " << y;
                const int colour = p.r() > p.g() + 40 ? 1 : p.b() > p.g() + 40 ? 2 : 0;
                EXPECT_EQ(colour, strokes[k].colour) << "colour at " << x << ", " << y;
                ++ink[k];
            }
        // Each stroke is inked along its length (about 1.5 pixels of ink per
        // pixel), and far from the origin as near it.
        for (std::size_t k = 0; k < strokes.size(); ++k) {
            double length = 0;
            for (std::size_t i = 1; i < strokes[k].points.size(); ++i)
                length += strokes[k].points[i].distance(strokes[k].points[i - 1]);
            EXPECT_GT(ink[k], length * scale) << k;
            if (shift != 0.0) {
                EXPECT_NEAR(ink[k], nearInk[k], 0.05 * nearInk[k]) << k;
            }
        }
        nearInk = ink;
    }
}
