#include "cntr/segindex.h"

#include <limits>

namespace {
// A box that overlaps nothing, and that any real box enlarges.
constexpr double kInf = std::numeric_limits<double>::infinity();
}  // namespace

krSegmentIndex::krSegmentIndex(const std::vector<krRect>& boxes, const std::vector<bool>& valid)
    : count_(boxes.size()) {
    if (count_ == 0) return;
    // Comparisons with NaN are false, so a NaN coordinate never widens a box:
    // the segment it belongs to overlaps nothing in the plain test either.
    auto widen = [](Box& b, double lox, double loy, double hix, double hiy) {
        if (lox < b.lox) b.lox = lox;
        if (loy < b.loy) b.loy = loy;
        if (hix > b.hix) b.hix = hix;
        if (hiy > b.hiy) b.hiy = hiy;
    };
    const Box empty{kInf, kInf, -kInf, -kInf};
    std::vector<Box> level((count_ + kFanout - 1) / kFanout, empty);
    for (std::size_t k = 0; k < count_; ++k)
        if (valid[k])
            widen(level[k / kFanout], boxes[k].origin().x(), boxes[k].origin().y(),
                  boxes[k].corner().x(), boxes[k].corner().y());
    levels_.push_back(std::move(level));
    while (levels_.back().size() > 1) {
        const std::vector<Box>& below = levels_.back();
        std::vector<Box> up((below.size() + kFanout - 1) / kFanout, empty);
        for (std::size_t i = 0; i < below.size(); ++i)
            widen(up[i / kFanout], below[i].lox, below[i].loy, below[i].hix, below[i].hiy);
        levels_.push_back(std::move(up));
    }
}
