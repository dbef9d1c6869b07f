// Grey images read as their edges: one record a chain the edge detector
// finds, the closed chains nested into regions with their holes.
#ifndef QEL_IO_EDGESOURCE_H
#define QEL_IO_EDGESOURCE_H

#include <istream>
#include <memory>
#include <string>

#include "io/source.h"

namespace qs {

// The chains of a PNG image (read by readGreyPng), in the detector's order,
// each labelled with its position (from 0) and named "PATH: chain N". A
// closed chain is a region: one that lies in no other, or in a hole of
// another, holds the chains lying directly in it as holes; a hole's own
// record is the region it bounds, noted as the hole of its chain. An open
// chain is an open contour. Properties: "closed", "parent" (the chain it lies
// in directly, or null) and "hole".
std::unique_ptr<Source> openEdges(std::istream& in, const std::string& path, const kr_EdgeParams& params);

}  // namespace qs

#endif
