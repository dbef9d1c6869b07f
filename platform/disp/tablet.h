// krUITablet: the surface shapes are drawn on. A tablet receives line
// segments (every shape can be drawn with those alone) and, for drawings of
// measures, a few richer primitives that a tablet may show natively.
#ifndef QEL_PLATFORM_DISP_TABLET_H
#define QEL_PLATFORM_DISP_TABLET_H

#include <string>
#include <utility>
#include <vector>

#include "platform/disp/color.h"
#include "platform/std/angle.h"
#include "platform/std/exception.h"
#include "platform/std/vector.h"

// Coordinates are image coordinates: x to the right, y downwards, in the
// units of the shapes (pixels for shapes taken from images). A rotation
// turns the x axis towards the y axis.
class krUITablet {
public:
    // The overlay layer a drawing goes to, by name. The default layer has the
    // empty name. Tablets keep layers apart (an SVG document writes one group
    // per layer) so that a viewer can show or hide each.
    class Layers {
    public:
        Layers() = default;
        explicit Layers(std::string name) : name_(std::move(name)) {}
        const std::string& name() const { return name_; }
        bool operator==(const Layers& o) const { return name_ == o.name_; }
        bool operator!=(const Layers& o) const { return !(*this == o); }
        bool operator<(const Layers& o) const { return name_ < o.name_; }

    private:
        std::string name_;
    };

    // A tablet could not deliver what was drawn (a stream or file that
    // fails). The message says what and where.
    class OutputError : public krExceptionWithString {
    public:
        explicit OutputError(const std::wstring& message) : krExceptionWithString(message) {}
        long errorNumber() const override { return 0x10000501; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
    };

    virtual ~krUITablet();

    // The segment from p1 to p2.
    virtual void drawLineSeg(const krPair<double>& p1, const krPair<double>& p2,
                             const krColor& color, const Layers& layers) = 0;

    // A '+' marking a position, its arms halfSize long in drawing units. By
    // default two segments, horizontal then vertical.
    virtual void drawMarker(const krPair<double>& p, double halfSize, const krColor& color,
                            const Layers& layers);
    // The ellipse with semi-axes a (along the rotated x axis) and b. By default
    // a closed polygon of kEllipseSegments segments, starting at the end of
    // the a axis and turning with the rotation.
    virtual void drawEllipse(const krPair<double>& center, double a, double b,
                             const krRadian& rotation, const krColor& color, const Layers& layers);
    // A text label whose baseline starts at pos. By default nothing is drawn:
    // a tablet of segments has no letters.
    virtual void drawText(const krPair<double>& pos, const std::string& text,
                          const krColor& color, const Layers& layers);
    // A label naming what lies in the box from lo to hi (least x and y to
    // greatest). A tablet that knows the size of its letters sets it beside
    // the box where it covers nothing; by default it is drawText with the
    // baseline starting at lo.
    virtual void drawLabel(const krPair<double>& lo, const krPair<double>& hi,
                           const std::string& text, const krColor& color, const Layers& layers);

    // How a legend entry shows its colour: as a line, a filled surface, a '+'
    // marker or an ellipse.
    enum LegendMark { eLegendLine, eLegendSurface, eLegendMarker, eLegendEllipse };
    // One entry of the picture's legend: marks of this colour, drawn as mark,
    // mean meaning. An entry whose meaning the legend already has is dropped, so
    // every drawing may announce what it uses. By default there is no legend.
    virtual void addLegendEntry(LegendMark mark, const krColor& color, const std::string& meaning);

    // A surface bounded by closed rings, filled by the even-odd rule (so a
    // ring inside another is a hole) and outlined. By default only the
    // outlines, each ring closed, as segments.
    virtual void drawRegion(const std::vector<std::vector<krPair<double>>>& rings,
                            const krColor& outline, const krColor& fill, const Layers& layers);

    // The circle, drawn as an ellipse with both semi-axes equal to radius.
    void drawCircle(const krPair<double>& center, double radius, const krColor& color,
                    const Layers& layers) {
        drawEllipse(center, radius, radius, krRadian(0.0), color, layers);
    }

    static constexpr int kEllipseSegments = 64;

protected:
    krUITablet() = default;
    krUITablet(const krUITablet&) = default;
    krUITablet& operator=(const krUITablet&) = default;
};

#endif
