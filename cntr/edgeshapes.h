// Edge chains found in a grey image made into the library's edgelet shapes:
// each chain an edgelet contour, and the closed chains nested by containment
// into edgelet regions with their holes, one region set an object.
#ifndef QEL_CNTR_EDGESHAPES_H
#define QEL_CNTR_EDGESHAPES_H

#include <vector>

#include "defs/cntrtmpl.h"
#include "platform/ip/edges.h"

// The factor that takes a detector magnitude (grey levels per pixel) into
// the edgelet's unsigned short: 65535 over the pixel type's full scale (255
// for 8-bit, 65535 for 16-bit pixels, the image's own range of values for
// floating point), so a step over the full scale would read 65535 per pixel.
// Magnitudes above that clamp to 65535; an image of one value gives 1.
double kf_EdgeMagnitudeScale(const krGreyView& image);

// The edgelet of one edge point: its position, its magnitude times scale
// rounded and clamped to [0, 65535], its gradient direction (dark towards
// bright, y down) rounded to the nearest 1/256 of a turn.
krEdgelet kf_Edgelet(const kr_EdgePoint& point, double scale);

// The chain as an edgelet contour under the identity (its points are the
// edgelet positions), closed as the chain is, labelled label.
krContourT<krEdgelet> kf_EdgeContour(const kr_EdgeChain& chain, double scale, unsigned long label);

// The closed chains nested by containment: a chain lies in another when its
// first point is inside that one. Counting from the outermost, chains at an
// even depth are outer boundaries, those at an odd depth the holes of the
// boundary they lie in directly. Each region is labelled with its chain's
// position in chains and holds its holes twice over: as edgelet holes and,
// for the measures, as plain holes (the same objects). A hole the library
// refuses (its boundary crosses the region's) stands as a region of its own.
struct kr_EdgeObject {
    krRegionSetT<krEdgelet> regions;  // the outer region first, then the islands within its holes
    std::vector<long> chains;         // the chain of each region, in that order
};
struct kr_EdgeNesting {
    // For each chain: the chain it lies in directly, or -1 (an outermost or
    // open chain), and whether it is a hole.
    std::vector<long> parent;
    std::vector<bool> hole;
    // One object for each outermost closed chain, in chain order.
    std::vector<kr_EdgeObject> objects;
    // The region of each closed chain that is not a hole (null for the others).
    std::vector<krPtrHandle_const<krRegionT<krEdgelet>>> regions;
};
kr_EdgeNesting kf_NestEdgeChains(const std::vector<kr_EdgeChain>& chains, double scale);

#endif
