#include "platform/disp/svgtablet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <ios>
#include <limits>

namespace {

bool finite(const krPair<double>& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }

// The shortest decimal that reads back as the same double.
void writeNumber(std::ostream& os, double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v == 0.0 ? 0.0 : v);
    os.write(buf, r.ptr - buf);
}

void writePoint(std::ostream& os, double x, double y) {
    writeNumber(os, x);
    os << ' ';
    writeNumber(os, y);
}

void writeColor(std::ostream& os, const krColor& c) {
    static const char hex[] = "0123456789abcdef";
    const char s[7] = {'#', hex[c.r() >> 4], hex[c.r() & 15], hex[c.g() >> 4],
                       hex[c.g() & 15],     hex[c.b() >> 4], hex[c.b() & 15]};
    os.write(s, 7);
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is not one.
std::size_t utf8Length(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xbf;  // allowed range of the second byte
    if (c >= 0xc2 && c <= 0xdf) n = 2;
    else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0) lo = 0xa0;       // no overlong forms
        if (c == 0xed) hi = 0x9f;       // no surrogates
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0) lo = 0x90;
        if (c == 0xf4) hi = 0x8f;       // nothing above U+10FFFF
    } else
        return 0;
    if (i + n > s.size() || byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if ((byte(i + k) & 0xc0) != 0x80) return 0;
    return n;
}

// Text as XML character data or attribute value: markup characters escaped,
// control characters a document may not hold dropped, and bytes that are not
// UTF-8 replaced by U+FFFD, so any string gives a document that parses.
void writeEscaped(std::ostream& os, const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        const std::size_t n = utf8Length(s, i);
        if (n == 0) {
            os << "\xef\xbf\xbd";
            ++i;
            continue;
        }
        switch (c) {
        case '&': os << "&amp;"; break;
        case '<': os << "&lt;"; break;
        case '>': os << "&gt;"; break;
        case '"': os << "&quot;"; break;
        case '\'': os << "&apos;"; break;
        default:
            if (n > 1 || static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n')
                os.write(s.data() + i, static_cast<std::streamsize>(n));
        }
        i += n;
    }
}

[[noreturn]] void fail(const std::wstring& what) { throw krUITablet::OutputError(what); }

// Text metrics in page pixels: the font size, the width of a character, the
// parts of the em above and below the baseline, and the room kept clear
// around a label.
constexpr double kFont = 12.0, kCharWidth = 0.6 * kFont, kAscent = 0.8 * kFont,
                 kDescent = 0.25 * kFont, kClear = 2.0;
// A legend line's height, its mark's width and the room around the legend, in page pixels.
constexpr double kLegendLine = 18.0, kLegendMark = 22.0, kLegendPad = 8.0;

std::size_t characters(const std::string& s) {
    std::size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
}

krRect box(double x0, double y0, double x1, double y1) {
    return krRect(krVector<2>(x0, y0), krVector<2>(x1 - x0, y1 - y0));
}

// Whether the segment from p to q meets the closed box (Liang and Barsky's clipping).
bool meets(const krPair<double>& p, const krPair<double>& q, const krRect& b) {
    double t0 = 0.0, t1 = 1.0;
    const double d[2] = {q.x() - p.x(), q.y() - p.y()}, from[2] = {p.x(), p.y()};
    const double lo[2] = {b.origin().x(), b.origin().y()}, hi[2] = {b.corner().x(), b.corner().y()};
    for (int k = 0; k < 2; ++k) {
        if (d[k] == 0.0) {
            if (from[k] < lo[k] || from[k] > hi[k]) return false;
            continue;
        }
        double a = (lo[k] - from[k]) / d[k], c = (hi[k] - from[k]) / d[k];
        if (a > c) std::swap(a, c);
        t0 = std::max(t0, a);
        t1 = std::min(t1, c);
        if (t0 > t1) return false;
    }
    return true;
}

// Whether p lies inside the rings by the even-odd rule; ring r runs from
// starts[r] to the next start (or the end), closed.
bool insideRings(const std::vector<krPair<double>>& pts, const std::vector<std::size_t>& starts,
                 const krPair<double>& p) {
    bool in = false;
    for (std::size_t r = 0; r < starts.size(); ++r) {
        const std::size_t b = starts[r], e = r + 1 < starts.size() ? starts[r + 1] : pts.size();
        for (std::size_t i = b, j = e - 1; i < e; j = i++)
            if ((pts[i].y() > p.y()) != (pts[j].y() > p.y()) &&
                p.x() < pts[j].x() + (p.y() - pts[j].y()) * (pts[i].x() - pts[j].x()) /
                                         (pts[i].y() - pts[j].y()))
                in = !in;
    }
    return in;
}

}  // namespace

krSvgTablet::krSvgTablet(double pageSize)
    : pageSize_(std::isfinite(pageSize) && pageSize > 0.0 ? pageSize : 1024.0) {
    clear();
}

void krSvgTablet::clear() {
    layers_.clear();
    legend_.clear();
    layout_.reset();
    lastLayer_ = 0;
    minX_ = minY_ = std::numeric_limits<double>::infinity();
    maxX_ = maxY_ = -std::numeric_limits<double>::infinity();
}

krSvgTablet::Layer& krSvgTablet::layer(const Layers& layers) {
    // Drawings mostly go to one layer at a time: try the last one first.
    if (lastLayer_ < layers_.size() && layers_[lastLayer_].name == layers)
        return layers_[lastLayer_];
    const auto it = std::find_if(layers_.begin(), layers_.end(),
                                 [&](const Layer& l) { return l.name == layers; });
    lastLayer_ = static_cast<std::size_t>(it - layers_.begin());
    if (it == layers_.end()) layers_.push_back(Layer{layers, {}});
    return layers_[lastLayer_];
}

void krSvgTablet::include(double x, double y) {
    layout_.reset();
    minX_ = std::min(minX_, x);
    minY_ = std::min(minY_, y);
    maxX_ = std::max(maxX_, x);
    maxY_ = std::max(maxY_, y);
}

krSvgTablet::Shape& krSvgTablet::add(krRecordingTablet::Kind kind, const krPair<double>& p,
                                     const krColor& color, const Layers& layers) {
    Layer& l = layer(layers);
    l.shapes.push_back(
        Shape{kind, color, {p}, 0.0, 0.0, krRadian(0.0), std::string(), {}, color, false});
    include(p.x(), p.y());
    return l.shapes.back();
}

void krSvgTablet::drawLineSeg(const krPair<double>& p1, const krPair<double>& p2,
                              const krColor& color, const Layers& layers) {
    if (!finite(p1) || !finite(p2)) return;
    Layer& l = layer(layers);
    if (!l.shapes.empty()) {
        Shape& last = l.shapes.back();
        if (last.kind == krRecordingTablet::eLineSeg && last.ringStarts.empty() &&
            last.color == color && last.points.back() == p1) {
            last.points.push_back(p2);
            include(p2.x(), p2.y());
            return;
        }
    }
    add(krRecordingTablet::eLineSeg, p1, color, layers).points.push_back(p2);
    include(p2.x(), p2.y());
}

void krSvgTablet::drawMarker(const krPair<double>& p, double halfSize, const krColor& color,
                             const Layers& layers) {
    if (!finite(p) || !std::isfinite(halfSize)) return;
    const double h = std::fabs(halfSize);
    add(krRecordingTablet::eMarker, p, color, layers).a = h;
    include(p.x() - h, p.y() - h);
    include(p.x() + h, p.y() + h);
}

void krSvgTablet::drawEllipse(const krPair<double>& center, double a, double b,
                              const krRadian& rotation, const krColor& color,
                              const Layers& layers) {
    const double r = rotation.toDouble();
    if (!finite(center) || !std::isfinite(a) || !std::isfinite(b) || !std::isfinite(r)) return;
    Shape& s = add(krRecordingTablet::eEllipse, center, color, layers);
    s.a = std::fabs(a);
    s.b = std::fabs(b);
    s.rotation = rotation;
    // Half the extent of the turned ellipse along x and along y.
    const double c = std::cos(r), sn = std::sin(r);
    const double hx = std::hypot(s.a * c, s.b * sn), hy = std::hypot(s.a * sn, s.b * c);
    include(center.x() - hx, center.y() - hy);
    include(center.x() + hx, center.y() + hy);
}

void krSvgTablet::drawRegion(const std::vector<std::vector<krPair<double>>>& rings,
                             const krColor& outline, const krColor& fill, const Layers& layers) {
    Shape* s = nullptr;
    for (const auto& r : rings) {
        if (r.empty() || !std::all_of(r.begin(), r.end(), [](const krPair<double>& p) { return finite(p); }))
            continue;
        if (!s) {
            s = &add(krRecordingTablet::eLineSeg, r[0], outline, layers);
            s->points.clear();
            s->fill = fill;
        }
        s->ringStarts.push_back(s->points.size());
        for (const krPair<double>& p : r) {
            s->points.push_back(p);
            include(p.x(), p.y());
        }
    }
}

void krSvgTablet::drawText(const krPair<double>& pos, const std::string& text,
                           const krColor& color, const Layers& layers) {
    if (!finite(pos)) return;
    add(krRecordingTablet::eText, pos, color, layers).text = text;
}

void krSvgTablet::drawLabel(const krPair<double>& lo, const krPair<double>& hi,
                            const std::string& text, const krColor& color, const Layers& layers) {
    if (!finite(lo) || !finite(hi)) return;
    layout_.reset();
    layer(layers).shapes.push_back(Shape{
        krRecordingTablet::eText, color, {lo, hi}, 0.0, 0.0, krRadian(0.0), text, {}, color, true});
}

void krSvgTablet::addLegendEntry(LegendMark mark, const krColor& color,
                                 const std::string& meaning) {
    for (const LegendEntry& e : legend_)
        if (e.meaning == meaning) return;
    layout_.reset();
    legend_.push_back(LegendEntry{mark, color, meaning});
}

krRect krSvgTablet::drawingBox() const {
    if (minX_ > maxX_) return krRect(krVector<2>(0.0, 0.0), krVector<2>(1.0, 1.0));
    const double w = maxX_ - minX_, h = maxY_ - minY_;
    double m = kMargin * std::max(w, h);
    if (m == 0.0) m = 1.0;
    return krRect(krVector<2>(minX_ - m, minY_ - m), krVector<2>(w + 2 * m, h + 2 * m));
}

krRect krSvgTablet::viewBox() const { return layout().view; }

double krSvgTablet::pageScale() const {
    const krRect box = drawingBox();
    return pageSize_ / std::max(box.size().x(), box.size().y());
}

// The page's sides are rounded to a hundredth of a pixel, so they read well.
double krSvgTablet::pageWidth() const {
    return std::round(viewBox().size().x() * pageScale() * 100.0) / 100.0;
}

double krSvgTablet::pageHeight() const {
    return std::round(viewBox().size().y() * pageScale() * 100.0) / 100.0;
}

const krSvgTablet::Layout& krSvgTablet::layout() const {
    if (layout_) return *layout_;
    auto out = std::make_shared<Layout>();
    const krRect drawing = drawingBox();
    out->view = drawing;
    const double px = 1.0 / pageScale();  // a page pixel in drawing units
    if (!std::isfinite(px) || !(px > 0.0)) return *(layout_ = out);

    // What a label must not cover: every primitive with its box.
    struct Ink {
        const Shape* shape;
        krRect box;
    };
    std::vector<Ink> inks;
    std::vector<krPair<double>> ellipse;  // the outline of the ellipse in hand
    for (const Layer& l : layers_)
        for (const Shape& s : l.shapes) {
            if (s.label) continue;
            const krPair<double>& p = s.points.front();
            double x0 = p.x(), y0 = p.y(), x1 = x0, y1 = y0;
            if (s.kind == krRecordingTablet::eText) {
                y0 -= kAscent * px;
                x1 += characters(s.text) * kCharWidth * px;
                y1 += kDescent * px;
            } else if (s.kind == krRecordingTablet::eMarker ||
                       s.kind == krRecordingTablet::eEllipse) {
                const double r = std::max(s.a, s.b);
                x0 -= r, y0 -= r, x1 += r, y1 += r;
            } else
                for (const krPair<double>& q : s.points) {
                    x0 = std::min(x0, q.x()), y0 = std::min(y0, q.y());
                    x1 = std::max(x1, q.x()), y1 = std::max(y1, q.y());
                }
            inks.push_back(Ink{&s, box(x0, y0, x1, y1)});
        }
    const auto covers = [&](const Ink& ink, const krRect& b) {
        if (!ink.box.overlaps(b)) return false;
        const Shape& s = *ink.shape;
        const auto& pts = s.points;
        switch (s.kind) {
        case krRecordingTablet::eText: return true;
        case krRecordingTablet::eMarker: {
            const double x = pts[0].x(), y = pts[0].y();
            return meets({x - s.a, y}, {x + s.a, y}, b) || meets({x, y - s.a}, {x, y + s.a}, b);
        }
        case krRecordingTablet::eEllipse: {
            ellipse.clear();
            const double c = std::cos(s.rotation.toDouble()), sn = std::sin(s.rotation.toDouble());
            for (int k = 0; k <= kEllipseSegments; ++k) {
                const double t = 2.0 * kPi * k / kEllipseSegments, u = s.a * std::cos(t),
                             v = s.b * std::sin(t);
                ellipse.emplace_back(pts[0].x() + c * u - sn * v, pts[0].y() + sn * u + c * v);
            }
            for (std::size_t i = 1; i < ellipse.size(); ++i)
                if (meets(ellipse[i - 1], ellipse[i], b)) return true;
            return false;
        }
        case krRecordingTablet::eLineSeg:
            if (s.ringStarts.empty()) {
                for (std::size_t i = 1; i < pts.size(); ++i)
                    if (meets(pts[i - 1], pts[i], b)) return true;
                return false;
            }
            // A filled surface: a side crosses the box, or the box lies in the fill.
            for (std::size_t r = 0; r < s.ringStarts.size(); ++r) {
                const std::size_t e =
                    r + 1 < s.ringStarts.size() ? s.ringStarts[r + 1] : pts.size();
                for (std::size_t i = s.ringStarts[r], j = e - 1; i < e; j = i++)
                    if (meets(pts[j], pts[i], b)) return true;
            }
            return insideRings(pts, s.ringStarts, krPair<double>(b.origin().x(), b.origin().y()));
        }
        return false;
    };

    std::vector<krRect> placed;
    krRect view = drawing;
    for (const Layer& l : layers_)
        for (const Shape& s : l.shapes) {
            if (!s.label) continue;
            const double w = characters(s.text) * kCharWidth * px, up = kAscent * px,
                         down = kDescent * px, gap = 3.0 * px;
            const krPair<double>& lo = s.points[0];
            const krPair<double>& hi = s.points[1];
            // Baseline starts around the box, nearest first.
            std::vector<krPair<double>> places;
            for (int ring = 0; ring < 4; ++ring) {
                const double g = gap + ring * kFont * px;
                const double above = lo.y() - g - down, below = hi.y() + g + up;
                const double right = hi.x() + g, left = lo.x() - g - w;
                for (const krPair<double>& at :
                     {krPair<double>(lo.x(), above), krPair<double>(hi.x() - w, above),
                      krPair<double>(lo.x(), below), krPair<double>(hi.x() - w, below),
                      krPair<double>(right, lo.y() + up), krPair<double>(right, hi.y() - down),
                      krPair<double>(left, lo.y() + up), krPair<double>(left, hi.y() - down)})
                    places.push_back(at);
            }
            const auto textBox = [&](const krPair<double>& at) {
                return box(at.x() - kClear * px, at.y() - up - kClear * px,
                           at.x() + w + kClear * px, at.y() + down + kClear * px);
            };
            const auto hits = [&](const krRect& b) {
                std::size_t n = 0;
                for (const Ink& ink : inks) n += covers(ink, b);
                for (const krRect& p : placed) n += p.overlaps(b);
                return n;
            };
            const auto inDrawing = [&](const krRect& b) {
                return drawing.within(b.origin()) && drawing.within(b.corner());
            };
            std::size_t best = places.size(), bestHits = 0;
            for (int pass = 0; pass < 2 && best == places.size(); ++pass)
                for (std::size_t k = 0; k < places.size() && best == places.size(); ++k) {
                    const krRect b = textBox(places[k]);
                    if ((pass == 1 || inDrawing(b)) && hits(b) == 0) best = k;
                }
            for (std::size_t k = 0; k < places.size() && best == places.size(); ++k) {
                const std::size_t n = hits(textBox(places[k]));
                if (k == 0 || n < bestHits) best = k, bestHits = n;
            }
            out->labels.push_back(places[best]);
            placed.push_back(textBox(places[best]));
            view = view.enclose(placed.back());
        }

    if (!legend_.empty()) {
        std::size_t longest = 0;
        for (const LegendEntry& e : legend_) longest = std::max(longest, characters(e.meaning));
        const double w = (2 * kLegendPad + kLegendMark + 6.0 + longest * kCharWidth) * px,
                     h = (2 * kLegendPad + legend_.size() * kLegendLine) * px;
        const bool below = view.width() > 1.5 * view.height();
        out->legend = below ? krVector<2>(view.origin().x(), view.corner().y())
                            : krVector<2>(view.corner().x(), view.origin().y());
        view = view.enclose(
            krRect(out->legend, krVector<2>(w + kLegendPad * px, h + kLegendPad * px)));
    }
    out->view = view;
    return *(layout_ = out);
}

// Every position is written less the view box's origin o, subtracted here in
// double precision: viewers draw in single precision, so a drawing far from
// the origin of its own coordinates would otherwise lose its small details.
void krSvgTablet::writeShape(std::ostream& os, const Shape& s, const krVector<2>& o,
                             const krPair<double>& at) const {
    const double x = at.x() - o.x(), y = at.y() - o.y();
    switch (s.kind) {
    case krRecordingTablet::eLineSeg:
        os << "<path stroke=\"";
        writeColor(os, s.color);
        if (!s.ringStarts.empty()) {
            // A style attribute, as the sheet's fill:none would win over a fill attribute.
            os << "\" style=\"fill:";
            writeColor(os, s.fill);
            os << ";fill-opacity:0.35;fill-rule:evenodd\" d=\"";
            for (std::size_t r = 0; r < s.ringStarts.size(); ++r) {
                const std::size_t end = r + 1 < s.ringStarts.size() ? s.ringStarts[r + 1] : s.points.size();
                for (std::size_t i = s.ringStarts[r]; i < end; ++i) {
                    os << (i == s.ringStarts[r] ? "M " : i == s.ringStarts[r] + 1 ? " L " : " ");
                    writePoint(os, s.points[i].x() - o.x(), s.points[i].y() - o.y());
                }
                os << " Z ";
            }
            break;
        }
        os << "\" d=\"M";
        for (std::size_t i = 0; i < s.points.size(); ++i) {
            os << (i == 1 ? " L " : " ");
            writePoint(os, s.points[i].x() - o.x(), s.points[i].y() - o.y());
        }
        break;
    case krRecordingTablet::eMarker:
        os << "<path stroke=\"";
        writeColor(os, s.color);
        os << "\" d=\"M";
        writePoint(os, x - s.a, y);
        os << " h ";
        writeNumber(os, 2 * s.a);
        os << " M ";
        writePoint(os, x, y - s.a);
        os << " v ";
        writeNumber(os, 2 * s.a);
        break;
    case krRecordingTablet::eEllipse:
        os << "<ellipse stroke=\"";
        writeColor(os, s.color);
        os << "\" cx=\"";
        writeNumber(os, x);
        os << "\" cy=\"";
        writeNumber(os, y);
        os << "\" rx=\"";
        writeNumber(os, s.a);
        os << "\" ry=\"";
        writeNumber(os, s.b);
        if (s.rotation.toDouble() != 0.0) {
            os << "\" transform=\"rotate(";
            writeNumber(os, s.rotation.toDouble() * 180.0 / kPi);
            os << ' ';
            writePoint(os, x, y);
            os << ')';
        }
        break;
    case krRecordingTablet::eText:
        os << "<text fill=\"";
        writeColor(os, s.color);
        os << "\" x=\"";
        writeNumber(os, x);
        os << "\" y=\"";
        writeNumber(os, y);
        os << "\">";
        writeEscaped(os, s.text);
        os << "</text>\n";
        return;
    }
    os << "\"/>\n";
}

void krSvgTablet::write(std::ostream& os) const {
    const Layout& place = layout();
    std::size_t label = 0;
    const krRect box = place.view;
    const double scale = pageScale();
    if (!std::isfinite(box.size().x()) || !std::isfinite(box.size().y()) || !(scale > 0.0))
        fail(L"the drawing is too large to write as an SVG document");
    try {
        if (!os) fail(L"the stream for the SVG document is not writable");
        os << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
        writeNumber(os, pageWidth());
        os << "\" height=\"";
        writeNumber(os, pageHeight());
        os << "\" viewBox=\"0 0 ";
        writePoint(os, box.size().x(), box.size().y());
        // Strokes are 1.5 pixels wide and text 12 pixels high at the page's
        // scale, given in drawing units as every renderer reads those alike.
        os << "\">\n<style>path,ellipse{fill:none;stroke-width:";
        writeNumber(os, 1.5 / scale);
        os << "px;stroke-linecap:round;stroke-linejoin:round}"
              "text{font-family:sans-serif;font-size:";
        writeNumber(os, kFont / scale);
        os << "px}</style>\n";
        for (const Layer& l : layers_) {
            os << "<g data-layer=\"";
            writeEscaped(os, l.name.name());
            os << "\">\n";
            for (const Shape& s : l.shapes)
                writeShape(os, s, box.origin(), s.label ? place.labels[label++] : s.points.front());
            os << "</g>\n";
        }
        writeLegend(os, place);
        os << "</svg>\n";
        os.flush();
    } catch (const std::ios_base::failure&) {
        fail(L"writing the SVG document failed");
    }
    if (!os) fail(L"writing the SVG document failed");
}

// The legend: a frame, and a line per entry with its mark and its meaning.
void krSvgTablet::writeLegend(std::ostream& os, const Layout& place) const {
    if (legend_.empty()) return;
    const double px = 1.0 / pageScale();
    const krVector<2> at = place.legend - place.view.origin();
    std::size_t longest = 0;
    for (const LegendEntry& e : legend_) longest = std::max(longest, characters(e.meaning));
    os << "<g data-layer=\"legend\">\n<path stroke=\"#999999\" d=\"M ";
    const double w = (2 * kLegendPad + kLegendMark + 6.0 + longest * kCharWidth) * px,
                 h = (2 * kLegendPad + legend_.size() * kLegendLine) * px;
    writePoint(os, at.x(), at.y());
    os << " h ";
    writeNumber(os, w);
    os << " v ";
    writeNumber(os, h);
    os << " h ";
    writeNumber(os, -w);
    os << " Z\"/>\n";
    for (std::size_t i = 0; i < legend_.size(); ++i) {
        const LegendEntry& e = legend_[i];
        // The line's middle, and the mark's left end and half size.
        const double y = at.y() + (kLegendPad + (i + 0.5) * kLegendLine) * px,
                     x = at.x() + kLegendPad * px, half = kLegendMark / 2 * px;
        Shape mark{krRecordingTablet::eLineSeg, e.color, {}, 0.0, 0.0, krRadian(0.0),
                   e.meaning, {}, e.color, false};
        switch (e.mark) {
        case eLegendLine: mark.points = {{x, y}, {x + 2 * half, y}}; break;
        case eLegendSurface:
            mark.points = {{x, y - 0.6 * half}, {x + 2 * half, y - 0.6 * half},
                           {x + 2 * half, y + 0.6 * half}, {x, y + 0.6 * half}};
            mark.ringStarts = {0};
            mark.fill = e.color;
            break;
        case eLegendMarker:
            mark.kind = krRecordingTablet::eMarker;
            mark.points = {{x + half, y}};
            mark.a = 0.5 * half;
            break;
        case eLegendEllipse:
            mark.kind = krRecordingTablet::eEllipse;
            mark.points = {{x + half, y}};
            mark.a = half, mark.b = 0.5 * half;
            break;
        }
        writeShape(os, mark, krVector<2>(0.0, 0.0), mark.points.front());
        Shape text = mark;
        text.kind = krRecordingTablet::eText;
        text.color = krColor(40, 40, 40);
        writeShape(os, text, krVector<2>(0.0, 0.0),
                   krPair<double>(x + (kLegendMark + 6.0) * px, y + 0.35 * kFont * px));
    }
    os << "</g>\n";
}

void krSvgTablet::save(const std::string& path) const {
    const std::wstring wpath(path.begin(), path.end());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) fail(L"cannot open " + wpath + L" for writing");
    write(file);
    file.close();
    if (!file) fail(L"writing " + wpath + L" failed");
}
