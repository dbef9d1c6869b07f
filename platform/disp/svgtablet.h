// krSvgTablet: a tablet that collects what is drawn and writes it as a
// standalone SVG document a person can open in a browser.
#ifndef QEL_PLATFORM_DISP_SVGTABLET_H
#define QEL_PLATFORM_DISP_SVGTABLET_H

#include <ostream>
#include <string>
#include <vector>

#include "platform/disp/recordingtablet.h"
#include "platform/disp/tablet.h"
#include "platform/std/geometry.h"

// The document's view box is the bounding box of everything drawn, widened on
// every side by a margin of kMargin times its longer side (1 drawing unit when
// the drawing is a single point), in image coordinates (y downwards). The
// page's longer side is pageSize CSS pixels and the shorter one keeps the
// aspect, so one drawing unit is pageScale() pixels on the page. The document
// places the view box's top-left corner at (0, 0): every position in it is
// the drawing's less that corner, so its numbers stay near the drawing's own
// extent however far from the origin the drawing lies.
//
// Each layer becomes one group, in the order the layers were first drawn to,
// so a later layer paints over an earlier one; within a layer the primitives
// keep the order they were drawn in. Strokes are 1.5 pixels wide at any zoom.
// Segments that continue one another (same layer and colour, each starting
// where the previous ended, as a contour's are) are written as one path.
//
// Primitives with a coordinate or size that is not finite are dropped: a
// document has no place for them. Text labels count for the view box by their
// start point only.
class krSvgTablet : public krUITablet {
public:
    static constexpr double kMargin = 0.05;

    explicit krSvgTablet(double pageSize = 1024.0);

    void drawLineSeg(const krPair<double>& p1, const krPair<double>& p2, const krColor& color,
                     const Layers& layers) override;
    void drawMarker(const krPair<double>& p, double halfSize, const krColor& color,
                    const Layers& layers) override;
    void drawEllipse(const krPair<double>& center, double a, double b, const krRadian& rotation,
                     const krColor& color, const Layers& layers) override;
    void drawText(const krPair<double>& pos, const std::string& text, const krColor& color,
                  const Layers& layers) override;
    // One path of all the rings, filled half see-through so what lies below shows.
    void drawRegion(const std::vector<std::vector<krPair<double>>>& rings, const krColor& outline,
                    const krColor& fill, const Layers& layers) override;

    bool empty() const { return layers_.empty(); }
    void clear();

    // Origin at the top-left corner. An empty drawing has the view box (0, 0) to (1, 1).
    krRect viewBox() const;
    // Page pixels per drawing unit, and the page's size in pixels.
    double pageScale() const;
    double pageWidth() const;
    double pageHeight() const;

    // Writes the document. A stream that fails, or a drawing whose view box
    // cannot be written in finite numbers, throws krUITablet::OutputError.
    void write(std::ostream& os) const;
    // Writes the document to a file, replacing it. Throws OutputError when the
    // file cannot be opened or written.
    void save(const std::string& path) const;

private:
    // One primitive; a run of continuing segments is one eLineSeg with all its points.
    struct Shape {
        krRecordingTablet::Kind kind;
        krColor color;
        std::vector<krPair<double>> points;
        double a = 0.0, b = 0.0;
        krRadian rotation;
        std::string text;
        // A filled region: its rings start at these indices of points.
        std::vector<std::size_t> ringStarts;
        krColor fill;
    };
    struct Layer {
        Layers name;
        std::vector<Shape> shapes;
    };

    Shape& add(krRecordingTablet::Kind kind, const krPair<double>& p, const krColor& color,
               const Layers& layers);
    Layer& layer(const Layers& layers);
    void include(double x, double y);
    void writeShape(std::ostream& os, const Shape& s, const krVector<2>& origin) const;

    double pageSize_;
    std::vector<Layer> layers_;
    std::size_t lastLayer_ = 0;
    double minX_, minY_, maxX_, maxY_;
};

#endif
