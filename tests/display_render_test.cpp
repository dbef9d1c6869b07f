// An SVG document from krSvgTablet, rendered by a real browser: the stroked
// pixels must fall on the drawn segments and nowhere else. Needs chromium;
// skipped when it is not installed.
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

namespace {

struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;  // alpha composed over white
};

// 8-bit RGB or RGBA, not interlaced: what a browser's screenshot is.
Image readPng(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<unsigned char> s((std::istreambuf_iterator<char>(f)), {});
    auto be32 = [&](std::size_t i) {
        return s[i] << 24 | s[i + 1] << 16 | s[i + 2] << 8 | s[i + 3];
    };
    Image img;
    int bpp = 0;
    std::vector<unsigned char> packed;
    for (std::size_t pos = 8; pos + 12 <= s.size(); pos += 12 + be32(pos)) {
        const std::string type(s.begin() + pos + 4, s.begin() + pos + 8);
        const auto data = s.begin() + pos + 8;
        if (type == "IHDR" && data[8] == 8 && (data[9] == 2 || data[9] == 6) && data[12] == 0)
            img.w = be32(pos + 8), img.h = be32(pos + 12), bpp = data[9] == 6 ? 4 : 3;
        if (type == "IDAT") packed.insert(packed.end(), data, data + be32(pos));
    }
    const std::size_t stride = static_cast<std::size_t>(img.w) * bpp;
    std::vector<unsigned char> raw(img.h * (stride + 1)), row(stride), prev(stride);
    uLongf n = raw.size();
    if (bpp == 0 || uncompress(raw.data(), &n, packed.data(), packed.size()) != Z_OK)
        return Image();
    for (int y = 0; y < img.h; ++y) {
        const unsigned char filter = raw[y * (stride + 1)];
        for (std::size_t x = 0; x < stride; ++x) {
            const int a = x >= std::size_t(bpp) ? row[x - bpp] : 0, b = prev[x];
            const int c = x >= std::size_t(bpp) ? prev[x - bpp] : 0, p = a + b - c;
            const int paeth =
                std::abs(p - a) <= std::abs(p - b) && std::abs(p - a) <= std::abs(p - c) ? a
                : std::abs(p - b) <= std::abs(p - c)                                     ? b
                                                                                         : c;
            const int add[] = {0, a, b, (a + b) / 2, paeth};
            row[x] = static_cast<unsigned char>(raw[y * (stride + 1) + 1 + x] + add[filter % 5]);
        }
        for (int x = 0; x < img.w; ++x)
            for (int k = 0; k < 3; ++k) {
                const int alpha = bpp == 4 ? row[x * 4 + 3] : 255;
                img.rgb.push_back(static_cast<unsigned char>(
                    (row[x * bpp + k] * alpha + 255 * (255 - alpha)) / 255));
            }
        prev.swap(row);
    }
    return img;
}

struct Seg {
    double x1, y1, x2, y2;
    krColor color;
};

double distance(double px, double py, const Seg& s) {
    const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
    const double t =
        std::fmax(0, std::fmin(1, ((px - s.x1) * dx + (py - s.y1) * dy) / (dx * dx + dy * dy)));
    return std::hypot(px - s.x1 - t * dx, py - s.y1 - t * dy);
}

}  // namespace

TEST(SvgRender, StrokesFallOnTheSegments) {
    const char* chromium = "/usr/bin/chromium";
    if (access(chromium, X_OK) != 0)
        GTEST_SKIP() << chromium << " is not installed; the browser check is skipped";
    char dirTemplate[] = "/tmp/qel-render-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);

    // Not symmetric, so a flipped axis or a shifted view box shows.
    const krColor black(0, 0, 0), red(230, 0, 0), blue(0, 0, 230);
    const std::vector<Seg> segs = {{20, 10, 20, 80, black}, {20, 80, 60, 80, black},
                                   {80, 20, 140, 20, red},  {140, 20, 80, 60, red},
                                   {80, 60, 80, 20, red},   {100, 90, 150, 40, blue}};
    krSvgTablet tablet(300);
    for (const Seg& s : segs)
        tablet.drawLineSeg({s.x1, s.y1}, {s.x2, s.y2}, s.color,
                           krUITablet::Layers(s.color == blue ? "b" : ""));
    tablet.save(dir + "/d.svg");
    const std::string command =
        std::string("timeout 120 ") + chromium +
        " --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run --user-data-dir=" +
        dir + "/profile --window-size=" + std::to_string(int(std::ceil(tablet.pageWidth()))) + "," +
        std::to_string(int(std::ceil(tablet.pageHeight()))) + " --screenshot=" + dir +
        "/d.png file://" + dir + "/d.svg >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    const Image img = readPng(dir + "/d.png");
    std::system(("rm -rf " + dir).c_str());
    if (img.w == 0) GTEST_SKIP() << "chromium made no screenshot (status " << status << ")";

    // Pixel centres in drawing units.
    const double scale = tablet.pageScale(), ox = tablet.viewBox().origin().x(),
                 oy = tablet.viewBox().origin().y();
    auto at = [&](int x, int y) { return &img.rgb[(static_cast<std::size_t>(y) * img.w + x) * 3]; };
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const unsigned char* p = at(x, y);
            if (p[0] > 200 && p[1] > 200 && p[2] > 200) continue;
            double nearest = 1e9;
            for (const Seg& s : segs)
                nearest =
                    std::fmin(nearest, distance((x + 0.5) / scale + ox, (y + 0.5) / scale + oy, s));
            ASSERT_LT(nearest * scale, 2.5) << "ink at pixel " << x << ", " << y;
        }
    // Along each segment, ink of its colour within a pixel.
    for (const Seg& s : segs)
        for (double t = 0.05; t < 1; t += 0.1) {
            const int cx = int(((s.x1 + t * (s.x2 - s.x1)) - ox) * scale),
                      cy = int(((s.y1 + t * (s.y2 - s.y1)) - oy) * scale);
            bool found = false;
            for (int y = cy - 1; y <= cy + 1; ++y)
                for (int x = cx - 1; x <= cx + 1; ++x) {
                    const unsigned char* p = at(x, y);
                    found = found || (std::abs(p[0] - s.color.r()) + std::abs(p[1] - s.color.g()) +
                                          std::abs(p[2] - s.color.b()) <
                                      120);
                }
            EXPECT_TRUE(found) << "no stroke at " << cx << ", " << cy;
        }
}
