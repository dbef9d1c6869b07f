// The splice that joins a hole touching its outer boundary at a vertex into
// that boundary, for the mask tracer and for every reader of polygons.
#ifndef QEL_CNTR_REPAIR_SPLICETOUCHINGHOLES_H
#define QEL_CNTR_REPAIR_SPLICETOUCHINGHOLES_H

#include <cstddef>
#include <vector>

#include "platform/std/vector.h"

// Joins into outer every hole that shares a vertex (an exactly equal point)
// with it, or with a hole joined before: the outer ring is walked up to the
// shared vertex, then the hole all the way round back to it, then the rest of
// the outer ring. The hole is walked against the outer ring's sense, so the
// area the ring encloses is the outer area less the hole's, and at the shared
// vertex the ring touches itself without crossing. The holes joined leave
// the list, which otherwise keeps its order. Returns how many were joined.
std::size_t kf_SpliceTouchingHoles(std::vector<krVector<2>>& outer,
                                   std::vector<std::vector<krVector<2>>>& holes);

// Twice the signed area of the closed ring by the shoelace sum: positive
// counter-clockwise (x right, y up), exact on pixel coordinates.
double kf_TwiceSignedArea(const std::vector<krVector<2>>& ring);

#endif
