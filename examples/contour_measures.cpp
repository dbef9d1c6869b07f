// Builds a few contours and prints their measures.
#include <iostream>

#include "cntr/contour.h"

int main() {
    const krContour square({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, true, 1);
    const krContour wire({{0, 0}, {4, 0}, {4, 1}}, false, 2);

    for (const krContour* c : {&square, &wire}) {
        std::cout << "contour " << c->label() << (c->isClosed() ? " (closed)" : " (open)")
                  << ", " << c->points().size() << " points\n"
                  << "  length          " << c->length() << '\n'
                  << "  mean position   " << c->meanPosition() << '\n'
                  << "  nearest to (5,5) " << c->closestPoint({5, 5}, false) << " at distance "
                  << c->distToPoint({5, 5}, false) << '\n';
    }
    try {
        krContour({{1, 1}}).meanPosition();
    } catch (const krContourDefs::EmptyContour& e) {
        std::cout << "one point is too few: error 0x" << std::hex << e.errorNumber() << '\n';
    }
    return 0;
}
