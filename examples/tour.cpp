#include <iostream>

#include "cntr/contour.h"

int main() {
    // A closed square (the last point joins the first) with label 7.
    krContour square({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, true, 7);

    double len = square.length();                     // 8, computed once and cached
    krVector<2> mid = square.meanPosition();          // (1, 1)
    krVector<2> near = square.closestPoint({3, 1}, false);  // (2, 1)
    long far = square.extremalVertexIndex(krRadian(0));     // 1: ties go to the lowest index
    krRect box = square.encloseRect(krXform<2>::I);   // origin (0, 0), size (2, 2)

    // Crossings with a segment, ordered along it.
    for (const krVector<2>& p : square.intersections(krLineSeg({-1, 1}, {3, 1}), true))
        std::cout << p << '\n';                       // (0, 1) then (2, 1)

    krContour eight({{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    std::cout << eight.isSelfIntersecting() << '\n';  // 1

    // Changing the points drops every cached answer.
    square.points({{0, 0}, {4, 0}, {4, 4}});
    try {
        krContour({{1, 1}}).meanPosition();           // one point is too few
    } catch (const krContourDefs::EmptyContour& e) {
        std::cout << std::hex << e.errorNumber() << '\n';  // 10004680
    }
    return len == 8 && mid == krVector<2>(1, 1) && near == krVector<2>(2, 1) && far == 1 &&
                   box.size() == krVector<2>(2, 2) ? 0 : 1;
}
