#include <gtest/gtest.h>

#include "cntr/region.h"

namespace {

krRegion square(double x0, double y0, double side) {
    return krRegion({{x0, y0}, {x0 + side, y0}, {x0 + side, y0 + side}, {x0, y0 + side}});
}

krPtrHandle_const<krRegion> shared(const krRegion& r) {
    return krPtrHandle_const<krRegion>(new krRegion(r));
}

}  // namespace

TEST(Region, SquareWithHole) {
    krRegion r = square(0, 0, 1);
    r.holes({shared(square(0.25, 0.25, 0.5))});
    EXPECT_DOUBLE_EQ(r.area(true), 0.75);
    EXPECT_TRUE(kfRealEq(r.centerOfMass(true), krVector<2>(0.5, 0.5), 1e-12));
    EXPECT_TRUE(r.inside({0.1, 0.1}, true));
    EXPECT_FALSE(r.inside({0.5, 0.5}, true));
    EXPECT_TRUE(r.inside({0.5, 0.5}, false));
    EXPECT_FALSE(r.inside({1.5, 0.5}, false));
}
