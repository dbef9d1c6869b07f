// Masks: binary masks traced into regions along the pixel edges, and a region
// or a region set filled into a raster of bytes.
#ifndef QEL_CNTR_MASKS_H
#define QEL_CNTR_MASKS_H

#include <cstddef>
#include <vector>

#include "cntr/region.h"
#include "cntr/regionset.h"
#include "platform/std/xform.h"

// The regions of a mask of width × height pixels, row after row, a pixel set
// when its byte is not 0. Pixel (x, y) is the unit square [x, x+1] × [y, y+1],
// so every boundary runs along pixel edges and a region's area(true) is its
// pixel count exactly. Pixels join when they share an edge, and with
// connectivity 8 also when they share a corner only (the background then
// joins through edges only, so each hole is one piece); any other
// connectivity throws krContourDefs::BadParams.
//
// One region for each connected piece, in the order of its first pixel row
// by row; its outer boundary runs counter-clockwise (x right, y up), its
// holes clockwise, and vertices sit only where the boundary turns. Where two
// pixels of a piece meet at a corner only, the boundary passes that vertex
// twice without crossing itself; a hole that would touch the outer boundary
// there is spliced into it (kf_SpliceTouchingHoles), so no hole meets the
// boundary it lies in.
krRegionSet kf_TraceMask(const unsigned char* pixels, long width, long height,
                         int connectivity = 8);

// The raster's pixels are width x height bytes, row by row. Pixel (i, j),
// column i of row j, covers [i, i + 1) x [j, j + 1) in pixel coordinates, and
// pixelToShape maps pixel coordinates to the shape's, so its centre lies at
// pixelToShape * krVector<2>(i + 0.5, j + 0.5). A pixel is 1 exactly when
// inside(centre, considerHoles) is true there, 0 otherwise.
//
// Rows are filled by scanlines: every edge is met once per row it spans, the
// runs between its crossings are written whole, and only the pixels whose
// centres come within reach of an edge (the 1e-6 band, widened by the
// rounding of the pixel coordinates) are asked of inside(), which decides
// them exactly. A singular transform, coordinates that are not finite, or a
// null hole or member fall back to asking inside() at every centre, which
// throws what inside() throws. A raster of more than 2^40 pixels throws
// BadParams.
std::vector<unsigned char> kf_Rasterize(const krRegion& region, std::size_t width, std::size_t height,
                                        const krXform<2>& pixelToShape, bool considerHoles = true);
std::vector<unsigned char> kf_Rasterize(const krRegionSet& set, std::size_t width, std::size_t height,
                                        const krXform<2>& pixelToShape, bool considerHoles = true);

// The pixel grid of square pixels of side pixelSize whose pixel (0, 0) has
// its lower corner at origin (pixel rows run along +y of the shape).
krXform<2> kf_PixelGrid(const krVector<2>& origin, double pixelSize);

#endif
