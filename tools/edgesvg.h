// The picture of an image's edges: the image itself under its chains.
#ifndef QEL_TOOLS_EDGESVG_H
#define QEL_TOOLS_EDGESVG_H

#include <ostream>
#include <string>

#include "platform/ip/edges.h"

namespace qs {

// Writes an SVG of the image (its PNG file's bytes embedded as a data URI,
// one SVG unit a pixel, so pixel (x, y) covers [x, x+1) x [y, y+1) as it does
// for the detector) with each chain drawn over it: outer boundaries green,
// holes cyan, open chains orange. Each chain is a path with its number as
// id; holes are the closed chains at odd depth of nesting.
void writeEdgeSvg(std::ostream& os, const std::string& pngBytes, int width, int height,
                  const std::vector<kr_EdgeChain>& chains, const std::vector<bool>& hole);

}  // namespace qs

#endif
