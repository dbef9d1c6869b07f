// krSvgTablet: a tablet that collects what is drawn and writes it as a
// standalone SVG document a person can open in a browser.
#ifndef QEL_PLATFORM_DISP_SVGTABLET_H
#define QEL_PLATFORM_DISP_SVGTABLET_H

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/disp/recordingtablet.h"
#include "platform/disp/tablet.h"
#include "platform/std/geometry.h"

// The drawing's box is the bounding box of everything drawn, widened on every
// side by a margin of kMargin times its longer side (1 drawing unit when the
// drawing is a single point), in image coordinates (y downwards). Its longer
// side is pageSize CSS pixels on the page, so one drawing unit is pageScale()
// pixels, and text is 12 pixels high. The view box is the drawing's box grown
// to hold the labels and the legend, so the page may be larger than
// pageSize. The document places the view box's top-left corner at (0, 0):
// every position in it is the drawing's less that corner, so its numbers stay
// near the drawing's own extent however far from the origin the drawing lies.
//
// Labels are placed when the document is written, as then the size of the
// letters in drawing units is known: the first of a list of places around
// the labelled box (above, below, right, left, then the same further out)
// whose text box lies in the drawing's box and touches no ink (no stroke, no
// filled surface, no text set before it) is taken; failing that, the first
// free place outside the drawing's box, and failing that too the place that
// touches the fewest drawings. A text is taken to be 0.6 em wide a
// character, which holds for sans-serif letters.
//
// The legend, when something announced entries, stands beside the drawing's
// box (below it when the drawing is much wider than tall): a line per entry,
// its mark in its colour and its meaning.
//
// Each layer becomes one group, in the order the layers were first drawn to,
// so a later layer paints over an earlier one; within a layer the primitives
// keep the order they were drawn in; the legend is the last group. Strokes
// are 1.5 pixels wide on the page. Segments that continue one another (same
// layer and colour, each starting where the previous ended, as a contour's
// are) are written as one path.
//
// Primitives with a coordinate or size that is not finite are dropped: a
// document has no place for them. Text drawn with drawText counts for the
// view box by its start point only.
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
    void drawLabel(const krPair<double>& lo, const krPair<double>& hi, const std::string& text,
                   const krColor& color, const Layers& layers) override;
    void addLegendEntry(LegendMark mark, const krColor& color, const std::string& meaning) override;

    bool empty() const { return layers_.empty(); }
    void clear();

    // Origin at the top-left corner. An empty drawing has the view box (0, 0) to (1, 1).
    krRect viewBox() const;
    // The drawing's box alone, without the labels and the legend.
    krRect drawingBox() const;
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
        // A label: points holds the corners of the box it names; its place
        // is chosen when the document is written.
        bool label = false;
    };
    struct LegendEntry {
        LegendMark mark;
        krColor color;
        std::string meaning;
    };
    // Where the labels and the legend go; computed once the drawing is done.
    struct Layout {
        krRect view;
        std::vector<krPair<double>> labels;  // baseline starts, in the order written
        krVector<2> legend;                  // top-left corner
    };
    struct Layer {
        Layers name;
        std::vector<Shape> shapes;
    };

    Shape& add(krRecordingTablet::Kind kind, const krPair<double>& p, const krColor& color,
               const Layers& layers);
    Layer& layer(const Layers& layers);
    void include(double x, double y);
    void writeShape(std::ostream& os, const Shape& s, const krVector<2>& origin,
                    const krPair<double>& at) const;
    void writeLegend(std::ostream& os, const Layout& layout) const;
    const Layout& layout() const;

    double pageSize_;
    std::vector<Layer> layers_;
    std::size_t lastLayer_ = 0;
    std::vector<LegendEntry> legend_;
    double minX_, minY_, maxX_, maxY_;
    mutable std::shared_ptr<const Layout> layout_;  // dropped by every drawing call
};

#endif
