// Edge points found in an image, kept as a region in part coordinates: the
// part sits in the image turned by 30 degrees and shifted, so the region's
// points are the edge positions mapped back through that placement. Writes
// the edgelets as strokes to an SVG picture.
// Usage: edgelet_outline [out.svg]
#include <cmath>
#include <iostream>
#include <vector>

#include "defs/cntrtmpl.h"
#include "platform/disp/svgtablet.h"

int main(int argc, char** argv) {
    // Where the part lies in the image: part coordinates to image coordinates.
    const krPtrHandle_const<kr2XformBase> placement(new kr2Rigid(krDegree(30), {200, 120}));

    // Edgelets around a 40 x 20 rectangle of the part, as an edge finder
    // would report them in the image, each with its gradient direction.
    std::vector<krEdgelet> edges;
    const krVector<2> corners[] = {{0, 0}, {40, 0}, {40, 20}, {0, 20}};
    for (int side = 0; side < 4; ++side) {
        const krVector<2> a = corners[side], b = corners[(side + 1) % 4];
        // The gradient points out of the part: the side's direction turned back a quarter.
        const double outward = (b - a).angle().toDouble() - kPi / 2 + kPi / 6;
        const auto units = static_cast<unsigned char>(std::lround(outward / (2 * kPi) * 256) & 0xff);
        for (int k = 0; k < 8; ++k)
            edges.emplace_back(placement->mapPoint(a + (b - a) * (k / 8.0)), 900, krAngle8(units));
    }

    krRegionT<krEdgelet> part(edges, placement, 1);
    std::cout << "area in part units: " << part.area(false) << '\n';        // 800
    std::cout << "centre in part units: " << part.centerOfMass(false) << '\n';  // (20, 10)
    std::cout << "first edgelet for part point (0, 0): " << part.datum({0, 0}) << '\n';

    krSvgTablet tablet;
    part.draw(tablet, krColor(220, 40, 40), krUITablet::Layers("edgelets"));
    tablet.save(argc > 1 ? argv[1] : "edgelet_outline.svg");
    return std::fabs(part.area(false) - 800) < 1e-9 ? 0 : 1;
}
