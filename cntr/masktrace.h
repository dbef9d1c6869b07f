// Binary masks traced into regions along the pixel edges, and the splice
// that joins a hole touching its outer boundary at a vertex into that
// boundary.
#ifndef QEL_CNTR_MASKTRACE_H
#define QEL_CNTR_MASKTRACE_H

#include <cstddef>
#include <vector>

#include "cntr/regionst.h"
#include "platform/std/vector.h"

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

// Joins into outer every hole that shares a vertex (an exactly equal point)
// with it, or with a hole joined before: the outer ring is walked up to the
// shared vertex, then the hole all the way round back to it, then the rest of
// the outer ring. The hole is walked against the outer ring's sense, so the
// area the ring encloses is the outer area less the hole's, and at the shared
// vertex the ring touches itself without crossing. The holes joined leave
// the list, which otherwise keeps its order. Returns how many were joined.
std::size_t kf_SpliceTouchingHoles(std::vector<krVector<2>>& outer,
                                   std::vector<std::vector<krVector<2>>>& holes);

#endif
