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

}  // namespace

krSvgTablet::krSvgTablet(double pageSize)
    : pageSize_(std::isfinite(pageSize) && pageSize > 0.0 ? pageSize : 1024.0) {
    clear();
}

void krSvgTablet::clear() {
    layers_.clear();
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
    minX_ = std::min(minX_, x);
    minY_ = std::min(minY_, y);
    maxX_ = std::max(maxX_, x);
    maxY_ = std::max(maxY_, y);
}

krSvgTablet::Shape& krSvgTablet::add(krRecordingTablet::Kind kind, const krPair<double>& p,
                                     const krColor& color, const Layers& layers) {
    Layer& l = layer(layers);
    l.shapes.push_back(Shape{kind, color, {p}, 0.0, 0.0, krRadian(0.0), std::string(), {}, color});
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

krRect krSvgTablet::viewBox() const {
    if (empty()) return krRect(krVector<2>(0.0, 0.0), krVector<2>(1.0, 1.0));
    const double w = maxX_ - minX_, h = maxY_ - minY_;
    double m = kMargin * std::max(w, h);
    if (m == 0.0) m = 1.0;
    return krRect(krVector<2>(minX_ - m, minY_ - m), krVector<2>(w + 2 * m, h + 2 * m));
}

double krSvgTablet::pageScale() const {
    const krRect box = viewBox();
    return pageSize_ / std::max(box.size().x(), box.size().y());
}

// The page's sides are rounded to a hundredth of a pixel, so they read well.
double krSvgTablet::pageWidth() const {
    return std::round(viewBox().size().x() * pageScale() * 100.0) / 100.0;
}

double krSvgTablet::pageHeight() const {
    return std::round(viewBox().size().y() * pageScale() * 100.0) / 100.0;
}

// Every position is written less the view box's origin o, subtracted here in
// double precision: viewers draw in single precision, so a drawing far from
// the origin of its own coordinates would otherwise lose its small details.
void krSvgTablet::writeShape(std::ostream& os, const Shape& s, const krVector<2>& o) const {
    const double x = s.points.front().x() - o.x(), y = s.points.front().y() - o.y();
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
    const krRect box = viewBox();
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
        // Strokes stay 1.5 pixels wide and text 12 pixels high at the page's scale.
        os << "\">\n<style>path,ellipse{fill:none;stroke-width:1.5px;"
              "vector-effect:non-scaling-stroke;stroke-linecap:round;stroke-linejoin:round}"
              "text{font-family:sans-serif;font-size:";
        writeNumber(os, 12.0 / scale);
        os << "px}</style>\n";
        for (const Layer& l : layers_) {
            os << "<g data-layer=\"";
            writeEscaped(os, l.name.name());
            os << "\">\n";
            for (const Shape& s : l.shapes) writeShape(os, s, box.origin());
            os << "</g>\n";
        }
        os << "</svg>\n";
        os.flush();
    } catch (const std::ios_base::failure&) {
        fail(L"writing the SVG document failed");
    }
    if (!os) fail(L"writing the SVG document failed");
}

void krSvgTablet::save(const std::string& path) const {
    const std::wstring wpath(path.begin(), path.end());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) fail(L"cannot open " + wpath + L" for writing");
    write(file);
    file.close();
    if (!file) fail(L"writing " + wpath + L" failed");
}
