// Edge chains of rendered images made into edgelet shapes: nesting by
// containment against the scene's truth, and the edgelets against the
// chains they come from.
#include <gtest/gtest.h>

#include <cmath>

#include "cntr/edgeshapes.h"
#include "tests/platform/greyscene.h"

using namespace greyscene;

namespace {

// A bright ring (disc of radius 30 with a hole of 12) holding a bright
// island of radius 5, and a lone disc of radius 10 beside it.
struct Rings {
    krGreyImage image;
    std::vector<kr_EdgeChain> chains;
    Rings() {
        Scene s(140, 90, 40);
        s.addEllipse({45.3, 44.6, 30, 30, 0}, 150);
        s.addEllipse({45.3, 44.6, 12, 12, 0}, -150);
        s.addEllipse({45.3, 44.6, 5, 5, 0}, 150);
        s.addEllipse({110.7, 40.2, 10, 10, 0}, 150);
        s.blur(1.0);
        image = s.image(krPixelType::eU8);
        chains = kfFindEdges(image.view());
    }
};

double disc(double r) { return M_PI * r * r; }

}  // namespace

TEST(EdgeShapes, ClosedChainsNestIntoRegionsWithHolesAndIslands) {
    Rings r;
    ASSERT_EQ(r.chains.size(), 4u);
    kr_EdgeNesting n = kf_NestEdgeChains(r.chains, kf_EdgeMagnitudeScale(r.image.view()));
    ASSERT_EQ(n.objects.size(), 2u);

    // The ring's object: the outer region with its hole, then the island.
    const kr_EdgeObject& ring = n.objects[0];
    const auto members = ring.regions.regionsT();
    ASSERT_EQ(members.size(), 2u);
    const krRegionT<krEdgelet>& outer = *members[0];
    ASSERT_TRUE(outer.holes().size() == 1u && outer.krRegion::holes().size() == 1u);
    EXPECT_EQ(outer.krRegion::holes()[0].get(), static_cast<const krRegion*>(outer.holes()[0].get()));
    const std::size_t hole = outer.holes()[0]->label();
    EXPECT_TRUE(n.hole[hole] && n.parent[hole] == ring.chains[0]);
    // Areas to within a twentieth of a pixel along each boundary.
    EXPECT_NEAR(outer.area(true), disc(30) - disc(12), 0.05 * 2 * M_PI * 42);
    EXPECT_NEAR(members[1]->area(true), disc(5), 0.05 * 2 * M_PI * 5);
    EXPECT_NEAR(ring.regions.area(true), disc(30) - disc(12) + disc(5), 0.05 * 2 * M_PI * 47);
    EXPECT_TRUE(ring.regions.inside(krVector<2>(45.3, 44.6), true) && !ring.regions.inside(krVector<2>(45.3 + 8.5, 44.6), true));
    EXPECT_NEAR(n.objects[1].regions.area(true), disc(10), 0.05 * 2 * M_PI * 10);
    for (const kr_EdgeObject& o : n.objects)
        for (std::size_t k = 0; k < o.chains.size(); ++k)
            EXPECT_EQ(o.regions.regionsT()[k]->label(), static_cast<unsigned long>(o.chains[k]));
}

TEST(EdgeShapes, EdgeletsCarryScaledMagnitudesAndGradientDirections) {
    Rings r;
    const double scale = kf_EdgeMagnitudeScale(r.image.view());
    EXPECT_DOUBLE_EQ(scale, 257.0);
    for (std::size_t i = 0; i < r.chains.size(); ++i) {
        krContourT<krEdgelet> c = kf_EdgeContour(r.chains[i], scale, static_cast<unsigned long>(i));
        ASSERT_EQ(c.data().size(), r.chains[i].points.size());
        EXPECT_TRUE(c.isClosed() == r.chains[i].closed && c.label() == i);
        for (std::size_t k = 0; k < c.data().size(); ++k) {
            const kr_EdgePoint& p = r.chains[i].points[k];
            const krEdgelet& e = c.data()[k];
            EXPECT_TRUE(c.points()[k] == krVector<2>(p.x, p.y) && std::fabs(e.magnitude() - p.magnitude * 257.0) <= 0.5);
            // Each edge is radial: the gradient lies along the line to its
            // disc's centre (y down), to within what a pixel's offset along
            // the island's small circle turns it.
            const double cx = p.x > 85 ? 110.7 : 45.3, cy = p.x > 85 ? 40.2 : 44.6;
            const double radial = std::atan2(p.y - cy, p.x - cx);
            double off = std::remainder(e.angle().toRadian().toDouble() - radial, M_PI);
            EXPECT_LT(std::fabs(off), 0.15) << i << " " << k;
        }
    }
    // Pixels of other types: the full range of 16 bits, the values' own range of floats.
    krGreyImage f(krPixelType::eF32, 3, 1), w(krPixelType::eU16, 1, 1);
    f.set(0, 0, -0.5), f.set(2, 0, 1.5);
    EXPECT_TRUE(kf_EdgeMagnitudeScale(f.view()) == 65535.0 / 2 && kf_EdgeMagnitudeScale(w.view()) == 1.0);
    kr_EdgePoint strong;
    strong.magnitude = 1e6f;
    EXPECT_EQ(kf_Edgelet(strong, 1.0).magnitude(), 65535);
}
