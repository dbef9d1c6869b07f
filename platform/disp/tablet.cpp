#include "platform/disp/tablet.h"

#include <cmath>

krUITablet::~krUITablet() = default;

void krUITablet::drawMarker(const krPair<double>& p, double halfSize, const krColor& color,
                            const Layers& layers) {
    const double x = p.x(), y = p.y();
    drawLineSeg({x - halfSize, y}, {x + halfSize, y}, color, layers);
    drawLineSeg({x, y - halfSize}, {x, y + halfSize}, color, layers);
}

void krUITablet::drawEllipse(const krPair<double>& center, double a, double b,
                             const krRadian& rotation, const krColor& color,
                             const Layers& layers) {
    const double c = cos(rotation), s = sin(rotation);
    auto at = [&](int k) {
        // The last vertex is the first one again, so the outline closes exactly.
        const double t = 2.0 * kPi * (k % kEllipseSegments) / kEllipseSegments;
        const double u = a * std::cos(t), v = b * std::sin(t);
        return krPair<double>(center.x() + c * u - s * v, center.y() + s * u + c * v);
    };
    krPair<double> previous = at(0);
    for (int k = 1; k <= kEllipseSegments; ++k) {
        const krPair<double> next = at(k);
        drawLineSeg(previous, next, color, layers);
        previous = next;
    }
}

void krUITablet::drawRegion(const std::vector<std::vector<krPair<double>>>& rings,
                            const krColor& outline, const krColor&, const Layers& layers) {
    for (const auto& r : rings)
        for (std::size_t i = 0; i < r.size(); ++i) drawLineSeg(r[i], r[(i + 1) % r.size()], outline, layers);
}

void krUITablet::drawText(const krPair<double>&, const std::string&, const krColor&,
                          const Layers&) {}

void krUITablet::drawLabel(const krPair<double>& lo, const krPair<double>&, const std::string& text,
                           const krColor& color, const Layers& layers) {
    drawText(lo, text, color, layers);
}

void krUITablet::addLegendEntry(LegendMark, const krColor&, const std::string&) {}
