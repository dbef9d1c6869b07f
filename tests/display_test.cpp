// The tablets: the default ellipse, and the SVG document and its failures.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <streambuf>

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
        const double u = dx * std::cos(r) + dy * std::sin(r),
                     v = dy * std::cos(r) - dx * std::sin(r);
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
         {"width=\"200\" height=\"109.09\" viewBox=\"6 6 88 48\"",
          "<g data-layer=\"top\">\n<path stroke=\"#ff0000\" d=\"M 10 10 L 90 10 90 50\"/>\n"
          "<path stroke=\"#0000ff\" d=\"M 90 50 L 50 50\"/>\n</g>\n<g data-layer=\"\">",
          "</g>\n<g data-layer=\"x&gt;y\">\n<text fill=\"#ff0000\" x=\"20\" y=\"20\">"
          "a&lt;b &amp; &quot;c&quot;\xef\xbf\xbd\xc3\xa9</text>\n</g>\n</svg>"})
        EXPECT_NE(svg.find(part), std::string::npos) << part << "\n" << svg;
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
    for (const bool throwing : {false, true})
        for (const int room : {0, 100}) {
            FailingBuf buf(room);
            std::ostream os(&buf);
            if (throwing) os.exceptions(std::ios::badbit);
            EXPECT_THROW(t.write(os), krUITablet::OutputError) << throwing << ' ' << room;
        }
    EXPECT_THROW(t.save("/nonexistent-dir/drawing.svg"), krUITablet::OutputError);
    t.drawLineSeg({-1e308, 0}, {1e308, 0}, kRed, kBase);
    EXPECT_THROW(svgOf(t), krUITablet::OutputError);
}

}  // namespace
