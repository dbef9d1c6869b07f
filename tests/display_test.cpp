// The tablets: the segments behind the default primitives, recording and
// replay, and the SVG document's layout, escaping and failures.
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

std::size_t count(const std::string& s, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t i = s.find(what); i != std::string::npos; i = s.find(what, i + 1)) ++n;
    return n;
}

}  // namespace

// The default ellipse and marker reach a tablet that only draws segments: the
// ellipse closes exactly, its vertices lie on it, and it starts at the end of
// the turned a axis (rotation turns x towards y, which is down on the page).
TEST(Tablet, DefaultPrimitivesAreSegments) {
    krRecordingTablet rec;
    const double a = 5, b = 2, r = 0.3;
    rec.krUITablet::drawEllipse({10, 20}, a, b, krRadian(r), kRed, kTop);
    rec.krUITablet::drawMarker({1, 2}, 0.5, kBlue, kBase);
    const auto& calls = rec.calls();
    ASSERT_EQ(calls.size(), krUITablet::kEllipseSegments + 2u);
    EXPECT_EQ(calls[0].p1, krPair<double>(10 + a * std::cos(r), 20 + a * std::sin(r)));
    EXPECT_EQ(calls[krUITablet::kEllipseSegments - 1].p2, calls[0].p1);
    for (int k = 0; k < krUITablet::kEllipseSegments; ++k) {
        const auto& c = calls[k];
        EXPECT_TRUE(c.kind == krRecordingTablet::eLineSeg && c.color == kRed && c.layers == kTop);
        if (k > 0) {
            EXPECT_EQ(c.p1, calls[k - 1].p2);
        }
        const double dx = c.p1.x() - 10, dy = c.p1.y() - 20;
        const double u = dx * std::cos(r) + dy * std::sin(r),
                     v = -dx * std::sin(r) + dy * std::cos(r);
        EXPECT_NEAR(u * u / (a * a) + v * v / (b * b), 1.0, 1e-12);
    }
    EXPECT_EQ(calls[64].p1, krPair<double>(0.5, 2));
    EXPECT_EQ(calls[64].p2, krPair<double>(1.5, 2));
    EXPECT_EQ(calls[65].p1, krPair<double>(1, 1.5));
}

TEST(Tablet, RecordingReplaysEveryCallInOrder) {
    krRecordingTablet rec, copy;
    rec.drawLineSeg({0, 0}, {1, 2}, kRed, kBase);
    rec.drawText({3, 4}, "seven", kBlue, kTop);
    rec.drawCircle({1, 1}, 2, kRed, kTop);
    rec.drawMarker({5, 5}, 1, kBlue, kBase);
    rec.drawEllipse({0, 0}, 3, 1, krRadian(1), kRed, kBase);
    rec.replay(copy);
    ASSERT_EQ(copy.calls(), rec.calls());
    EXPECT_EQ(rec.calls()[2].kind, krRecordingTablet::eEllipse);
    EXPECT_EQ(rec.calls()[2].size2, 2.0);
}

// The view box is the drawing's bounds plus the margin, the page keeps its
// aspect, a contour's continuing segments make one path, and each layer is
// one group in the order first drawn to.
TEST(SvgTablet, DocumentLayout) {
    krSvgTablet t(200);
    EXPECT_TRUE(t.empty());
    t.drawLineSeg({10, 10}, {90, 10}, kRed, kTop);
    t.drawLineSeg({10, 50}, {10, 40}, kBlue, kBase);
    t.drawLineSeg({90, 10}, {90, 50}, kRed, kTop);   // continues the first, across a layer switch
    t.drawLineSeg({90, 50}, {50, 50}, kBlue, kTop);  // new colour: a new path
    t.drawLineSeg({1, 1}, {std::nan(""), 1}, kRed, kTop);
    t.drawMarker({0, std::numeric_limits<double>::infinity()}, 1, kRed, kTop);
    const std::string svg = svgOf(t);
    EXPECT_NE(svg.find("viewBox=\"6 6 88 48\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("width=\"200\" height=\"109.09\""), std::string::npos) << svg;
    EXPECT_EQ(t.pageScale(), 200.0 / 88);
    const std::size_t top = svg.find("<g data-layer=\"top\">"),
                      base = svg.find("<g data-layer=\"\">");
    EXPECT_LT(top, base);
    EXPECT_EQ(count(svg, "<g "), 2u);
    EXPECT_NE(svg.find("d=\"M 10 10 L 90 10 90 50\""), std::string::npos) << svg;
    EXPECT_EQ(count(svg, "<path"), 3u);

    krSvgTablet point;
    point.drawLineSeg({3, 4}, {3, 4}, kRed, kBase);
    EXPECT_EQ(point.viewBox(), krRect(krVector<2>(2, 3), krVector<2>(2, 2)));
    EXPECT_EQ(krSvgTablet().viewBox(), krRect(krVector<2>(0, 0), krVector<2>(1, 1)));
}

// Any text, layer name included, gives a document that parses.
TEST(SvgTablet, TextIsEscaped) {
    krSvgTablet t;
    t.drawText({0, 0}, "a<b & \"c\"\x01\xff\xc3\xa9", kRed, krUITablet::Layers("x>y"));
    const std::string svg = svgOf(t);
    EXPECT_NE(svg.find(">a&lt;b &amp; &quot;c&quot;\xef\xbf\xbd\xc3\xa9</text>"), std::string::npos)
        << svg;
    EXPECT_NE(svg.find("data-layer=\"x&gt;y\""), std::string::npos);
}

namespace {
// A stream buffer that takes n characters and then fails.
struct FailingBuf : std::streambuf {
    explicit FailingBuf(int n) : left(n) {}
    int_type overflow(int_type c) override { return left-- > 0 ? c : traits_type::eof(); }
    int left;
};
}  // namespace

TEST(SvgTablet, FailuresAreExceptions) {
    krSvgTablet t;
    t.drawLineSeg({0, 0}, {1, 1}, kRed, kBase);
    for (const bool throwing : {false, true}) {
        for (const int room : {0, 100}) {
            FailingBuf buf(room);
            std::ostream os(&buf);
            if (throwing) os.exceptions(std::ios::badbit);
            EXPECT_THROW(t.write(os), krUITablet::OutputError) << throwing << ' ' << room;
        }
    }
    EXPECT_THROW(t.save("/nonexistent-dir/drawing.svg"), krUITablet::OutputError);
    krSvgTablet huge;
    huge.drawLineSeg({-1e308, 0}, {1e308, 0}, kRed, kBase);
    EXPECT_THROW(svgOf(huge), krUITablet::OutputError);
}
