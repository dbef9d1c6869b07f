// The tablets: the default ellipse, and the SVG document and its failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/disp/recordingtablet.h"
#include "platform/disp/svgtablet.h"

namespace {

const krColor kRed(255, 0, 0), kBlue(0, 0, 255);
const krUITablet::Layers kBase, kTop("top");

std::string svgOf(const krSvgTablet& t) {
    std::ostringstream os;
    t.write(os);
    return os.str();
}

// The default ellipse closes exactly, starting at the end of the turned a axis.
TEST(Tablet, DefaultEllipse) {
    krRecordingTablet rec;
    const double a = 5, b = 2, r = 0.3;
    rec.krUITablet::drawEllipse({10, 20}, a, b, krRadian(r), kRed, kTop);
    const auto& calls = rec.calls();
    ASSERT_EQ(calls.size(), std::size_t(krUITablet::kEllipseSegments));
    EXPECT_EQ(calls[0].p1, krPair<double>(10 + a * std::cos(r), 20 + a * std::sin(r)));
    for (int k = 0; k < krUITablet::kEllipseSegments; ++k) {
        const auto& c = calls[k];
        EXPECT_EQ(c.p2, calls[(k + 1) % krUITablet::kEllipseSegments].p1);
        const double dx = c.p1.x() - 10, dy = c.p1.y() - 20;
        const double u = dx * std::cos(r) + dy * std::sin(r), v = dy * std::cos(r) - dx * std::sin(r);
        EXPECT_NEAR(u * u / (a * a) + v * v / (b * b), 1.0, 1e-12);
    }
}

// View box, aspect, continuing segments in one path, a group per layer in
// first-use order, non-finite primitives dropped, text escaped.
TEST(SvgTablet, Document) {
    krSvgTablet t(200);
    t.drawLineSeg({10, 10}, {90, 10}, kRed, kTop);
    t.drawLineSeg({10, 50}, {10, 40}, kBlue, kBase);
    t.drawLineSeg({90, 10}, {90, 50}, kRed, kTop);
    t.drawLineSeg({90, 50}, {50, 50}, kBlue, kTop);
    t.drawLineSeg({1, 1}, {std::nan(""), 1}, kRed, kTop);
    t.drawMarker({0, std::numeric_limits<double>::infinity()}, 1, kRed, kTop);
    t.drawText({20, 20}, "a<b & \"c\"\x01\xff\xc3\xa9", kRed, krUITablet::Layers("x>y"));
    const std::string svg = svgOf(t);
    for (const char* part :
         {"width=\"200\" height=\"109.09\" viewBox=\"0 0 88 48\"",
          "<g data-layer=\"top\">\n<path stroke=\"#ff0000\" d=\"M 4 4 L 84 4 84 44\"/>\n"
          "<path stroke=\"#0000ff\" d=\"M 84 44 L 44 44\"/>\n</g>\n<g data-layer=\"\">",
          "</g>\n<g data-layer=\"x&gt;y\">\n<text fill=\"#ff0000\" x=\"14\" y=\"14\">"
          "a&lt;b &amp; &quot;c&quot;\xef\xbf\xbd\xc3\xa9</text>\n</g>\n</svg>"})
        EXPECT_NE(svg.find(part), std::string::npos) << part << "\n" << svg;
}

// The numbers of the document's groups, in order (colours give a few too).
std::vector<double> numbersOf(const std::string& svg) {
    std::vector<double> out;
    const char* p = svg.c_str() + svg.find("<g");
    while (*p) {
        char* end;
        const double v = std::strtod(p, &end);
        if (end != p && std::isfinite(v)) out.push_back(v);
        p = end != p ? end : p + 1;
    }
    return out;
}

// Positions are written from the view box's corner, so the same picture far
// from the origin is written in the same numbers, up to rounding. (Where the
// ink of a turned ellipse falls is the rendered pictures' test.)
TEST(SvgTablet, SamePictureAnywhere) {
    std::vector<double> near;
    for (const double shift : {0.0, 1e6, -3e9}) {
        krSvgTablet t(200);
        const auto at = [&](double x, double y) { return krPair<double>(x + shift, y + shift); };
        t.drawLineSeg(at(10, 10), at(30, 17), kRed, kBase);
        t.drawEllipse(at(20, 20), 4, 2, krRadian(kPi / 6), kBlue, kBase);
        t.drawMarker(at(12, 25), 0.5, kRed, kTop);
        t.drawText(at(15, 12), "c", kBlue, kTop);
        const std::string svg = svgOf(t);
        const std::vector<double> numbers = numbersOf(svg);
        if (shift == 0.0) near = numbers;
        ASSERT_EQ(numbers.size(), near.size()) << svg;
        for (std::size_t i = 0; i < near.size(); ++i)
            EXPECT_NEAR(numbers[i], near[i], 1e-5) << i << "\n" << svg;
    }
}

// A stream buffer that takes n characters and then fails.
struct FailingBuf : std::streambuf {
    explicit FailingBuf(int n) : left(n) {}
    int_type overflow(int_type c) override { return left-- > 0 ? c : traits_type::eof(); }
    int left;
};

TEST(SvgTablet, FailuresAreExceptions) {
    krSvgTablet t;
    t.drawLineSeg({0, 0}, {1, 1}, kRed, kBase);
    for (int k = 0; k < 4; ++k) {  // failing at once or later, the stream set to throw or not
        FailingBuf buf(k % 2 * 100);
        std::ostream os(&buf);
        if (k / 2) os.exceptions(std::ios::badbit);
        EXPECT_THROW(t.write(os), krUITablet::OutputError) << k;
    }
    EXPECT_THROW(t.save("/nonexistent-dir/drawing.svg"), krUITablet::OutputError);
    t.drawLineSeg({-1e308, 0}, {1e308, 0}, kRed, kBase);
    EXPECT_THROW(svgOf(t), krUITablet::OutputError);
}

}  // namespace
