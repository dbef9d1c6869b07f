// krRecordingTablet: a tablet that keeps every call, in order, to be looked
// at or replayed later (tests, and programs that paint on their own canvas).
#ifndef QEL_PLATFORM_DISP_RECORDINGTABLET_H
#define QEL_PLATFORM_DISP_RECORDINGTABLET_H

#include <string>
#include <vector>

#include "platform/disp/tablet.h"

class krRecordingTablet : public krUITablet {
public:
    enum Kind { eLineSeg, eMarker, eEllipse, eText };

    // One call with its arguments. Fields a kind does not use stay zero or empty:
    //   eLineSeg  p1, p2
    //   eMarker   p1 (the position), size (the half size)
    //   eEllipse  p1 (the centre), size (a), size2 (b), rotation
    //   eText     p1 (the baseline start), text
    struct Call {
        Kind kind = eLineSeg;
        krPair<double> p1, p2;
        double size = 0.0, size2 = 0.0;
        krRadian rotation;
        std::string text;
        krColor color;
        Layers layers;

        bool operator==(const Call& o) const;
        bool operator!=(const Call& o) const { return !(*this == o); }
    };

    void drawLineSeg(const krPair<double>& p1, const krPair<double>& p2, const krColor& color,
                     const Layers& layers) override;
    void drawMarker(const krPair<double>& p, double halfSize, const krColor& color,
                    const Layers& layers) override;
    void drawEllipse(const krPair<double>& center, double a, double b, const krRadian& rotation,
                     const krColor& color, const Layers& layers) override;
    void drawText(const krPair<double>& pos, const std::string& text, const krColor& color,
                  const Layers& layers) override;

    const std::vector<Call>& calls() const { return calls_; }
    void clear() { calls_.clear(); }
    // Makes the recorded calls on another tablet, in order.
    void replay(krUITablet& tablet) const;

private:
    Call& record(Kind kind, const krPair<double>& p1, const krColor& color, const Layers& layers);

    std::vector<Call> calls_;
};

#endif
