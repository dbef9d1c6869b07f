// Pictures looked at as a reader looks at them, set by a real renderer
// (rsvg-convert, librsvg as image viewers use it): the SVG tablet's ink where
// the shapes are, and the pictures draw writes, with a legend line for each
// kind of mark drawn and labels that neither cover ink nor run off the page.
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "io/png.h"
#include "platform/disp/svgtablet.h"
#include "platform/std/geometry.h"
#include "tests/qelshape_run.h"

namespace {

// The document with only the groups whose layer keep accepts.
template <class Keep>
std::string groups(const std::string& svg, Keep keep) {
    const std::string open = "<g data-layer=\"", close = "</g>\n";
    std::size_t at = svg.find(open);
    std::string out = svg.substr(0, at);
    for (; at != std::string::npos; at = svg.find(open, at)) {
        const std::size_t name = at + open.size(), end = svg.find(close, at) + close.size();
        if (keep(svg.substr(name, svg.find('"', name) - name))) out += svg.substr(at, end - at);
        at = end;
    }
    return out + "</svg>\n";
}

std::vector<std::string> legendOf(const std::string& svg) {
    const std::string legend = groups(svg, [](const std::string& l) { return l == "legend"; });
    std::vector<std::string> lines;
    for (std::size_t at = legend.find("<text"); at != std::string::npos;
         at = legend.find("<text", at)) {
        const std::size_t from = legend.find('>', at) + 1, to = legend.find("</text>", from);
        lines.push_back(legend.substr(from, to - from));
        at = to;
    }
    return lines;
}

// Dark pixels of the document as rsvg-convert renders it on white.
qs::PngPixels render(const std::string& svg, const std::string& name) {
    const fs::path in = write(name + ".svg", svg), out = scratch() / (name + ".png");
    if (std::system(("rsvg-convert -b white -o " + out.string() + " " + in.string()).c_str()) != 0)
        return {};
    std::ifstream png(out, std::ios::binary);
    return qs::readPng(png, out.string());
}

// A pixel's channel: 16 red, 8 green, 0 blue.
unsigned channel(const qs::PngPixels& p, std::size_t x, std::size_t y, int shift) {
    return (p.value[y * p.width + x] >> shift) & 255;
}
bool inked(const qs::PngPixels& p, std::size_t x, std::size_t y) {
    return channel(p, x, y, 16) + channel(p, x, y, 8) + channel(p, x, y, 0) < 600;
}

bool haveRenderer() { return std::system("rsvg-convert --version >/dev/null 2>&1") == 0; }

// A polyline in drawing units (the ellipse finely cut), with its colour: 0
// black, 1 red, 2 blue.
struct Stroke {
    std::vector<krVector<2>> points;
    int colour;
};

}  // namespace

// Ink falls on the tablet's segments and ellipse, in their colours, along
// their whole length and nowhere else. Not symmetric, so a flipped axis, a
// shifted view box or an ellipse turned the wrong way shows. (The same
// picture far from the origin is written in the same numbers.)
TEST(Picture, TabletInkFallsOnTheShapes) {
    if (!haveRenderer()) GTEST_SKIP() << "rsvg-convert is not installed";
    const double u = 0.03;
    const double segs[][4] = {{20, 10, 20, 80}, {20, 80, 60, 80}, {80, 20, 140, 20}, {140, 20, 80, 60}};
    const double cx = 100 * u, cy = 85 * u, a = 30 * u, b = 8 * u, turn = 0.5;
    const krColor inks[] = {krColor(0, 0, 0), krColor(230, 0, 0), krColor(0, 0, 230)};
    std::vector<Stroke> strokes;
    for (const auto& s : segs)
        strokes.push_back({{krVector<2>(s[0], s[1]) * u, krVector<2>(s[2], s[3]) * u}, s[0] < 50 ? 0 : 1});
    strokes.push_back({{}, 2});
    for (int k = 0; k <= 720; ++k) {
        const double t = k * kPi / 360, p = a * std::cos(t), q = b * std::sin(t);
        strokes.back().points.emplace_back(cx + p * std::cos(turn) - q * std::sin(turn),
                                           cy + p * std::sin(turn) + q * std::cos(turn));
    }
    krSvgTablet tablet(300);
    for (std::size_t k = 0; k < 4; ++k)
        tablet.drawLineSeg(strokes[k].points[0], strokes[k].points[1], inks[strokes[k].colour], krUITablet::Layers());
    tablet.drawEllipse(krVector<2>(cx, cy), a, b, krRadian(turn), inks[2], krUITablet::Layers());
    std::ostringstream svg;
    tablet.write(svg);
    const qs::PngPixels image = render(svg.str(), "tablet");
    ASSERT_GT(image.width, 0u) << "rsvg-convert made no picture";

    // Distance in pixels from a pixel centre to the nearest stroke, and that stroke.
    const double scale = tablet.pageScale();
    auto nearest = [&](double px, double py, std::size_t& which) {
        const krVector<2> q = krVector<2>(px / scale, py / scale) + tablet.viewBox().origin();
        double best = 1e9;
        for (std::size_t k = 0; k < strokes.size(); ++k)
            for (std::size_t i = 1; i < strokes[k].points.size(); ++i) {
                const double d = krLineSeg(strokes[k].points[i - 1], strokes[k].points[i]).distToPoint(q);
                if (d * scale < best) best = d * scale, which = k;
            }
        return best;
    };
    std::vector<int> ink(strokes.size());
    for (std::size_t y = 0; y < image.height; ++y)
        for (std::size_t x = 0; x < image.width; ++x) {
            if (!inked(image, x, y)) continue;
            std::size_t k = 0;
            ASSERT_LT(nearest(x + 0.5, y + 0.5, k), 2.5) << "ink at " << x << ", " << y;
            const unsigned r = channel(image, x, y, 16), g = channel(image, x, y, 8), b = channel(image, x, y, 0);
            EXPECT_EQ(r > g + 40 ? 1 : b > g + 40 ? 2 : 0, strokes[k].colour) << "colour at " << x << ", " << y;
            ++ink[k];
        }
    // About 1.5 pixels of ink per pixel of length.
    for (std::size_t k = 0; k < strokes.size(); ++k) {
        double length = 0;
        for (std::size_t i = 1; i < strokes[k].points.size(); ++i)
            length += strokes[k].points[i].distance(strokes[k].points[i - 1]);
        EXPECT_GT(ink[k], length * scale) << k;
    }
}

// The demo's picture: every overlay in the legend, labels clear of ink.
TEST(Picture, LegendAndLabelsOfTheDemo) {
    const fs::path dir = scratch() / "demo";
    ASSERT_EQ(qelshape("demo -d " + dir.string()).status, 0);
    const std::string svg = slurp(dir / "shapes.svg");
    EXPECT_EQ(
        legendOf(svg),
        (std::vector<std::string>{
            "shape, filled by the even-odd rule", "enclosing rectangle",
            "smallest enclosing circle", "fitted ellipse (over the circle where they coincide)",
            "centre of mass", "where the outline crosses itself", "hole outline"}));

    if (!haveRenderer()) GTEST_SKIP() << "rsvg-convert is not installed";
    const auto ink = render(groups(svg, [](const std::string& l) { return l != "labels"; }), "ink");
    const auto labels =
        render(groups(svg, [](const std::string& l) { return l == "labels"; }), "labels");
    ASSERT_GT(ink.width, 0u);
    ASSERT_EQ(ink.width, labels.width);
    ASSERT_EQ(ink.height, labels.height);
    std::size_t letters = 0;
    for (std::size_t y = 0; y < labels.height; ++y)
        for (std::size_t x = 0; x < labels.width; ++x) {
            if (!inked(labels, x, y)) continue;
            ++letters;
            // Letters cut by the page's edge would touch it.
            ASSERT_TRUE(x > 0 && y > 0 && x + 1 < labels.width && y + 1 < labels.height)
                << x << ", " << y;
            for (std::size_t v = y - 1; v <= y + 1; ++v)
                for (std::size_t u = x - 1; u <= x + 1; ++u)
                    ASSERT_FALSE(inked(ink, u, v)) << "a label covers ink at " << u << ", " << v;
        }
    EXPECT_GT(letters, 100u);  // the four names were drawn
}

// The legend lists what this picture holds and nothing else.
TEST(Picture, LegendOfWhatIsDrawn) {
    const fs::path shapes = write("legend.wkt",
                                  "LINESTRING (0 0, 10 0, 10 10)\n"
                                  "POLYGON ((20 0, 30 0, 30 10, 20 10, 20 0))\n");
    const fs::path svg = scratch() / "legend.svg";
    ASSERT_EQ(qelshape("draw " + shapes.string() + " --circle --to " + svg.string()).status, 0);
    EXPECT_EQ(legendOf(slurp(svg)),
              (std::vector<std::string>{"open contour", "smallest enclosing circle",
                                        "shape, filled by the even-odd rule"}));
}
