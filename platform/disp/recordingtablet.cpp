#include "platform/disp/recordingtablet.h"

bool krRecordingTablet::Call::operator==(const Call& o) const {
    return kind == o.kind && p1 == o.p1 && p2 == o.p2 && size == o.size && size2 == o.size2 &&
           rotation == o.rotation && text == o.text && color == o.color && layers == o.layers;
}

krRecordingTablet::Call& krRecordingTablet::record(Kind kind, const krPair<double>& p1,
                                                   const krColor& color, const Layers& layers) {
    Call c;
    c.kind = kind;
    c.p1 = p1;
    c.color = color;
    c.layers = layers;
    calls_.push_back(std::move(c));
    return calls_.back();
}

void krRecordingTablet::drawLineSeg(const krPair<double>& p1, const krPair<double>& p2,
                                    const krColor& color, const Layers& layers) {
    record(eLineSeg, p1, color, layers).p2 = p2;
}

void krRecordingTablet::drawMarker(const krPair<double>& p, double halfSize,
                                   const krColor& color, const Layers& layers) {
    record(eMarker, p, color, layers).size = halfSize;
}

void krRecordingTablet::drawEllipse(const krPair<double>& center, double a, double b,
                                    const krRadian& rotation, const krColor& color,
                                    const Layers& layers) {
    Call& c = record(eEllipse, center, color, layers);
    c.size = a;
    c.size2 = b;
    c.rotation = rotation;
}

void krRecordingTablet::drawText(const krPair<double>& pos, const std::string& text,
                                 const krColor& color, const Layers& layers) {
    record(eText, pos, color, layers).text = text;
}

void krRecordingTablet::replay(krUITablet& tablet) const {
    for (const Call& c : calls_) {
        switch (c.kind) {
        case eLineSeg: tablet.drawLineSeg(c.p1, c.p2, c.color, c.layers); break;
        case eMarker: tablet.drawMarker(c.p1, c.size, c.color, c.layers); break;
        case eEllipse:
            tablet.drawEllipse(c.p1, c.size, c.size2, c.rotation, c.color, c.layers);
            break;
        case eText: tablet.drawText(c.p1, c.text, c.color, c.layers); break;
        }
    }
}
