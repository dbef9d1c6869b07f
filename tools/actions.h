// What the repair, inside and draw commands do to one shape.
#ifndef QEL_TOOLS_ACTIONS_H
#define QEL_TOOLS_ACTIONS_H

#include <string>
#include <vector>

#include "tools/shape.h"

class krUITablet;

namespace qs {

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

}  // namespace qs

#endif
