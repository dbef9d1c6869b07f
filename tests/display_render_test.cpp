// An SVG document from krSvgTablet rendered by a real browser: ink falls on
// the drawn segments, in their colours, and nowhere else. Skipped when
// chromium is not installed.
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

}  // namespace

TEST(SvgRender, InkFallsOnTheSegments) {
    const std::string chromium = "/usr/bin/chromium";
    if (access(chromium.c_str(), X_OK) != 0) GTEST_SKIP() << chromium << " is not installed";
    char dirName[] = "/tmp/qel-render-XXXXXX";
    const std::string dir = mkdtemp(dirName);

    // Not symmetric, so a flipped axis or a shifted view box shows.
    const krColor black(0, 0, 0), red(230, 0, 0);
    const double segs[][4] = {
        {20, 10, 20, 80}, {20, 80, 60, 80}, {80, 20, 140, 20}, {140, 20, 80, 60}};
    krSvgTablet tablet(300);
    for (const auto& s : segs)
        tablet.drawLineSeg({s[0], s[1]}, {s[2], s[3]}, s[0] < 50 ? black : red,
                           krUITablet::Layers());
    tablet.save(dir + "/d.svg");
    const std::string command =
        "timeout 120 " + chromium +
        " --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run --user-data-dir=" +
        dir + " --window-size=" + std::to_string(int(std::ceil(tablet.pageWidth()))) + "," +
        std::to_string(int(std::ceil(tablet.pageHeight()))) + " --screenshot=" + dir +
        "/d.png file://" + dir + "/d.svg >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    const auto image = readPng(dir + "/d.png");
    std::system(("rm -rf " + dir).c_str());
    if (image.empty()) GTEST_SKIP() << "chromium made no screenshot (status " << status << ")";

    // Distance in pixels from a pixel centre to the nearest segment, and that segment.
    const double scale = tablet.pageScale();
    const krVector<2> origin = tablet.viewBox().origin();
    auto nearest = [&](double px, double py, int& which) {
        double best = 1e9;
        for (int k = 0; k < 4; ++k) {
            const krLineSeg seg(krVector<2>(segs[k][0], segs[k][1]),
                                krVector<2>(segs[k][2], segs[k][3]));
            const double d = seg.distToPoint(krVector<2>(px / scale, py / scale) + origin) * scale;
            if (d < best) best = d, which = k;
        }
        return best;
    };
    int inkOn[4] = {};
    for (std::size_t y = 0; y < image.size(); ++y)
        for (std::size_t x = 0; x < image[y].size(); ++x) {
            const krColor p = image[y][x];
            if (p.r() + p.g() + p.b() > 600) continue;
            int k = 0;
            ASSERT_LT(nearest(x + 0.5, y + 0.5, k), 2.5) << "ink at " << x << ", " << y;
            const bool isRed = p.r() > p.g() + 40;
            EXPECT_EQ(isRed, segs[k][0] >= 50) << "colour at " << x << ", " << y;
            ++inkOn[k];
        }
    // Each segment is inked along its length (about 1.5 pixels of ink per pixel).
    for (int k = 0; k < 4; ++k)
        EXPECT_GT(inkOn[k], std::hypot(segs[k][2] - segs[k][0], segs[k][3] - segs[k][1]) * scale)
            << k;
}
