// What the repair, inside, draw and rasterize commands do to one shape.
#ifndef QEL_TOOLS_ACTIONS_H
#define QEL_TOOLS_ACTIONS_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/std/xform.h"
#include "io/shape.h"

class krUITablet;

namespace qs {

// The surface a shape bounds: its krRegion or krRegionSet, or the region
// inside a closed contour. An open contour bounds nothing (InputError).
std::shared_ptr<krPersistent> surface(const Shape& s, unsigned long index);

enum class RepairMode { OuterHull, Regularize };

// The shape's outer hull or regularized form, of the same kind (a closed
// contour is repaired as the region it bounds); changed says whether the
// library changed anything. An open contour has nothing to repair (InputError).
Shape repair(const Shape& s, RepairMode mode, unsigned long index, bool& changed);

// One CSV line a point: where, label, x, y and whether the shape holds the
// point (holes not included).
std::string insideLines(const Shape& s, const std::string& where, unsigned long index,
                        const std::vector<krVector<2>>& points);

// The overlays draw can add to a shape's outline (circle: the smallest
// enclosing one), and which way up: with yUp the picture shows y growing
// upwards, as maps do, where image coordinates grow downwards.
struct Overlays {
    bool rect = false, circle = false, ellipse = false, com = false, crossings = false;
    bool yUp = false;
};

void draw(krUITablet& tablet, const Shape& s, unsigned long index, const Overlays& overlays);

// Where a raster lies in the shapes' plane: square pixels of side pixel, the
// corner of the raster with the least x and y at origin. Row 0 lies along
// that corner, so rows go down the image as y grows (image coordinates), or
// with yUp along the opposite side, so the image shows y growing upwards.
struct RasterGrid {
    long long width = 0, height = 0;
    krVector<2> origin{};
    double pixel = 1;
    bool yUp = false;
    krXform<2> pixelToShape() const;
};

// How rasterize lays a shape's raster: with an origin or a pixel size, on
// that grid (origin (0, 0) and pixel 1 when one is missing), width x height
// pixels, the size of the shape's image when not given. Without them, a COCO
// annotation whose image's size is known (and unless fit or a size is asked
// for) on its image's own pixels; any other shape fits its bounding box,
// centred, into width x height pixels: when one is missing it follows the
// box's proportions, when both are the longer side has 256.
struct RasterOptions {
    std::optional<long long> width, height;
    std::optional<krVector<2>> origin;
    std::optional<double> pixel;
    bool fit = false;
    bool yUp = false;
};

// The mask of the surface a shape bounds: width x height bytes, row by row,
// 1 where the library's inside test holds the pixel's centre (holes
// considered), on the grid the options choose, which grid tells. InputError
// for an open contour or a raster without pixels or larger than the readers
// accept.
std::vector<unsigned char> rasterize(const Shape& s, unsigned long index, const RasterOptions& options,
                                     RasterGrid& grid);

}  // namespace qs

#endif
