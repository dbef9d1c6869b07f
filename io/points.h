// Files of points: the query points of the inside command.
#ifndef QEL_IO_POINTS_H
#define QEL_IO_POINTS_H

#include <string>
#include <vector>

#include "platform/std/vector.h"

namespace qs {

// The points of a file: WKT POINT or MULTIPOINT geometries, or lines of
// "x,y" (or "x y"); a first line that is not numbers is taken as a header.
// InputError names the first line that is neither.
std::vector<krVector<2>> readPoints(const std::string& path);

}  // namespace qs

#endif
