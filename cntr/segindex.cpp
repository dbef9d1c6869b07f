#include "cntr/segindex.h"

#include <limits>

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
}  // namespace

krSegmentIndex::krSegmentIndex(const std::vector<krRect>& boxes, const std::vector<bool>& valid)
    : count_(boxes.size()) {
    if (count_ == 0) return;
    // A node box starts empty: it overlaps nothing until a segment widens it.
    // Comparisons with NaN are false, so a NaN coordinate never widens a node:
    // its segment overlaps nothing, in the plain test as here. So a node
    // overlaps whatever any of its valid segments overlaps.
    const Box empty{kInf, kInf, -kInf, -kInf};
    auto widen = [](Box& b, const Box& c) {
        if (c.lox < b.lox) b.lox = c.lox;
        if (c.loy < b.loy) b.loy = c.loy;
        if (c.hix > b.hix) b.hix = c.hix;
        if (c.hiy > b.hiy) b.hiy = c.hiy;
    };
    std::vector<Box> leaves((count_ + kFanout - 1) / kFanout, empty);
    for (std::size_t k = 0; k < count_; ++k)
        if (valid[k]) widen(leaves[k / kFanout], boxOf(boxes[k]));
    levels_.push_back(std::move(leaves));
    while (levels_.back().size() > 1) {
        const std::vector<Box>& below = levels_.back();
        std::vector<Box> up((below.size() + kFanout - 1) / kFanout, empty);
        for (std::size_t i = 0; i < below.size(); ++i) widen(up[i / kFanout], below[i]);
        levels_.push_back(std::move(up));
    }
}
