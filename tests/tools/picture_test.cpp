// The pictures draw writes, looked at as a reader looks at them: a legend
// line for each kind of mark drawn, and labels that neither cover ink nor run
// off the page, as a real renderer sets the letters.
#include <cstdlib>
#include <fstream>

#include "io/png.h"
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

bool inked(const qs::PngPixels& p, std::size_t x, std::size_t y) {
    const std::uint32_t v = p.value[y * p.width + x];
    return ((v >> 16) & 255) + ((v >> 8) & 255) + (v & 255) < 600;
}

}  // namespace

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

    if (std::system("rsvg-convert --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsvg-convert is not installed";
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
