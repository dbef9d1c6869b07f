// WKT: a file's geometries split off the text one at a time, their parse
// into the neutral form (with GEOS), and the text of a shape.
#ifndef QEL_IO_WKT_H
#define QEL_IO_WKT_H

#include <memory>
#include <string>
#include <vector>

#include "io/input.h"
#include "io/source.h"

namespace qs {

// The geometries of WKT text as records, each only split off, not parsed:
// one ends when its parentheses close (or at EMPTY), so a file may hold one
// geometry a line or spread one over many. A line starting with a letter
// begins a new geometry, so an unclosed one costs only itself. Blank lines
// and lines starting with '#' are skipped.
std::unique_ptr<Source> openWkt(std::unique_ptr<Input> in);

// One geometry, parsed with this thread's own WKT reader: a LINESTRING,
// LINEARRING, POLYGON or MULTIPOLYGON; InputError for anything else.
Shape parseWkt(const std::string& text);

// The points of a POINT or MULTIPOINT geometry; InputError for anything else.
std::vector<krVector<2>> wktPoints(const std::string& text);

// The shape as one line of WKT, rings closed; index is not used.
std::string wktText(const Shape& s, unsigned long index);

}  // namespace qs

#endif
