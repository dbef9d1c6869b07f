// An SVG document from krSvgTablet rendered by a real browser: ink falls on
// the drawn segments, in their colours, and nowhere else. Skipped when
// chromium is not installed.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/disp/svgtablet.h"
#include "platform/std/geometry.h"

namespace {

// 8-bit RGB or RGBA, not interlaced, as a screenshot is: RGB rows, alpha over white.
std::vector<std::vector<krColor>> readPng(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<unsigned char> s((std::istreambuf_iterator<char>(f)), {});
    auto be32 = [&](std::size_t i) {
        return s[i] << 24 | s[i + 1] << 16 | s[i + 2] << 8 | s[i + 3];
    };
    std::size_t w = 0, h = 0, bpp = 0;
    std::vector<unsigned char> packed;
    for (std::size_t pos = 8; pos + 12 <= s.size(); pos += 12 + be32(pos)) {
        const auto data = s.begin() + pos + 8;
        if (be32(pos + 4) == 0x49484452 && data[8] == 8 && data[9] % 4 == 2 && data[12] == 0)
            w = be32(pos + 8), h = be32(pos + 12), bpp = data[9] == 6 ? 4 : 3;  // IHDR
        if (be32(pos + 4) == 0x49444154)
            packed.insert(packed.end(), data, data + be32(pos));  // IDAT
    }
    std::vector<unsigned char> raw(h * (w * bpp + 1)), row(w * bpp), prev(w * bpp);
    uLongf n = raw.size();
    std::vector<std::vector<krColor>> image;
    if (bpp == 0 || uncompress(raw.data(), &n, packed.data(), packed.size()) != Z_OK) return image;
    for (std::size_t y = 0, i = 0; y < h; ++y) {
        const unsigned char filter = raw[i++] % 5;
        for (std::size_t x = 0; x < row.size(); ++x) {
            const int a = x >= bpp ? row[x - bpp] : 0, b = prev[x],
                      c = x >= bpp ? prev[x - bpp] : 0;
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int add[] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
            row[x] = static_cast<unsigned char>(raw[i++] + add[filter]);
        }
        image.emplace_back();
        for (std::size_t x = 0; x < w; ++x) {
            const int alpha = bpp == 4 ? row[x * 4 + 3] : 255;
            auto over = [&](int k) {
                return (row[x * bpp + k] * alpha + 255 * (255 - alpha)) / 255;
            };
            image.back().emplace_back(over(0), over(1), over(2));
        }
        prev.swap(row);
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
    // Each segment is inked along its length (1.5 pixels wide, so about 1.5 pixels of ink per
    // pixel).
    for (int k = 0; k < 4; ++k)
        EXPECT_GT(inkOn[k], std::hypot(segs[k][2] - segs[k][0], segs[k][3] - segs[k][1]) * scale)
            << k;
}
