// Whether a shape read from a file is a valid polygon or set of polygons:
// boundaries that do not cross themselves, holes inside their boundary and
// apart from each other, polygons of a set apart. Rings may touch at a
// vertex; they may not cross or overlap.
#ifndef QEL_TOOLS_VALIDITY_H
#define QEL_TOOLS_VALIDITY_H

#include <string>

#include "io/shape.h"

namespace qs {

// Why the shape is not valid, in a few words ("hole 1 crosses the
// boundary"); empty when it is. An open contour is always valid.
std::string invalidity(const Shape& s);

}  // namespace qs

#endif
