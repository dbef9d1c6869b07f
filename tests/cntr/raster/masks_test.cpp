// Masks traced into regions: checked against the mask itself.
#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "cntr/repair/splicetouchingholes.h"
#include "cntr/masks.h"

namespace {

struct Mask {
    long w, h;
    std::vector<unsigned char> px;
    bool at(long x, long y) const { return px[std::size_t(y * w + x)] != 0; }
};

Mask parse(std::initializer_list<const char*> rows) {
    Mask m{0, 0, {}};
    for (const char* r : rows) {
        m.w = long(std::string(r).size());
        ++m.h;
        for (const char* c = r; *c; ++c) m.px.push_back(*c == '#');
    }
    return m;
}

// The traced regions fill exactly the mask's pixels, the areas add
// up to the pixel count, and no boundary crosses itself or its holes.
void expectTracesMask(const Mask& m, int connectivity) {
    krRegionSet set = kf_TraceMask(m.px.data(), m.w, m.h, connectivity);
    ASSERT_EQ(set.area(true), double(m.px.size() - std::count(m.px.begin(), m.px.end(), 0)));
    for (const auto& r : set.regions())
        EXPECT_TRUE(r->area(true) > 0 && !r->isSelfIntersecting() && std::fmod(r->area(true), 1.0) == 0.0);
    // Filling the traced regions gives the mask back, pixel for pixel.
    const std::vector<unsigned char> back =
        kf_Rasterize(set, std::size_t(m.w), std::size_t(m.h), krXform<2>::I);
    for (long y = 0; y < m.h; ++y)
        for (long x = 0; x < m.w; ++x)
            ASSERT_EQ(back[std::size_t(y * m.w + x)] != 0, m.at(x, y))
                << x << "," << y << " connectivity " << connectivity;
}

}  // namespace

// Corners joined or not, holes that touch the boundary or each other only at
// a corner, and the frame of the raster.
TEST(MaskTrace, PiecesAndHoles) {
    struct Case {
        std::initializer_list<const char*> rows;
        std::size_t pieces4, pieces8, holes8;
    } cases[] = {
        {{"#."}, 1, 1, 0},
        {{"#.", ".#"}, 2, 1, 0},
        {{"###", "#.#", "###"}, 1, 1, 1},
        // The hole meets the outside at a corner: with 8 it is spliced in.
        {{"###.", "#.#.", "##.#", "...."}, 2, 1, 0},
        {{"####", "#.##", "##.#", "####"}, 1, 1, 2},  // two holes meeting at a corner
        {{"#.#", ".#.", "#.#"}, 5, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(*c.rows.begin());
        Mask m = parse(c.rows);
        krRegionSet four = kf_TraceMask(m.px.data(), m.w, m.h, 4), eight = kf_TraceMask(m.px.data(), m.w, m.h, 8);
        EXPECT_EQ(four.regions().size(), c.pieces4);
        ASSERT_EQ(eight.regions().size(), c.pieces8);
        EXPECT_EQ(eight.regions()[0]->holes().size(), c.holes8);
        expectTracesMask(m, 4);
        expectTracesMask(m, 8);
    }
    EXPECT_TRUE(kf_TraceMask(nullptr, 0, 5).regions().empty());
    unsigned char one = 1;
    EXPECT_THROW(kf_TraceMask(&one, 1, 1, 6), krContourDefs::BadParams);
    EXPECT_THROW(kf_TraceMask(nullptr, 2, 2), krContourDefs::BadParams);
}

TEST(MaskTrace, RandomMasks) {
    std::mt19937 rng(11);
    for (int t = 0; t < 300; ++t) {
        Mask m{1 + long(rng() % 24), 1 + long(rng() % 17), {}};
        std::bernoulli_distribution on(0.3 + 0.4 * (t % 5) / 4.0);
        for (long i = 0; i < m.w * m.h; ++i) m.px.push_back(on(rng) ? 255 : 0);
        expectTracesMask(m, t % 2 ? 4 : 8);
    }
}

// A hole touching its boundary at a vertex, and a second hole touching the
// first: both joined, the areas subtracted, whatever the rings' senses.
TEST(MaskTrace, SpliceTouchingHoles) {
    std::vector<krVector<2>> outer = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    std::vector<std::vector<krVector<2>>> holes = {
        {{20, 20}, {21, 20}, {21, 21}},                  // apart: stays a hole
        {{4, 4}, {6, 4}, {6, 6}, {4, 6}},                // touches the next one at (4, 4)
        {{0, 0}, {4, 4}, {2, 4}},                        // touches the outer ring at (0, 0)
    };
    EXPECT_EQ(kf_SpliceTouchingHoles(outer, holes), 2u);
    ASSERT_EQ(holes.size(), 1u);
    EXPECT_EQ(holes[0][0], krVector<2>(20, 20));
    krRegion r(outer);
    EXPECT_DOUBLE_EQ(r.area(false), 100 - 4 - 4);
    EXPECT_TRUE(!r.isSelfIntersecting() && !r.inside(krVector<2>(5, 5), false) && r.inside(krVector<2>(8, 2), false));
}
