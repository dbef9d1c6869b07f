#include "cntr/segindex.h"

#include <limits>

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
const krSegmentIndex::Box kEmpty{kInf, kInf, -kInf, -kInf};
}  // namespace

void krSegmentIndex::reset(std::size_t count) {
    count_ = count;
    depth_ = 0;
    std::size_t width = (count + kFanout - 1) / kFanout;
    if (width == 0) return;
    // One level per fanout step up to a single root; the vectors keep their
    // capacity from the last filling, so a rebuilt index allocates nothing.
    for (;; width = (width + kFanout - 1) / kFanout) {
        if (levels_.size() <= depth_) levels_.emplace_back(), later_.emplace_back();
        levels_[depth_].assign(width, kEmpty);
        ++depth_;
        if (width == 1) break;
    }
}

void krSegmentIndex::finish() {
    for (std::size_t l = 1; l < depth_; ++l) {
        const std::vector<Box>& below = levels_[l - 1];
        std::vector<Box>& up = levels_[l];
        for (std::size_t i = 0; i < below.size(); ++i) widen(up[i / kFanout], below[i]);
    }
    for (std::size_t l = 0; l < depth_; ++l) {
        const std::vector<Box>& level = levels_[l];
        std::vector<Box>& later = later_[l];
        later.assign(level.size(), kEmpty);
        for (std::size_t i = level.size(); i-- > 0;)
            if ((i + 1) % kFanout != 0 && i + 1 < level.size()) {
                later[i] = later[i + 1];
                widen(later[i], level[i + 1]);
            }
    }
}

void krSegmentIndex::leavesAfter(std::size_t leaf, std::vector<std::size_t>& leaves) const {
    const Box& own = levels_[0][leaf];
    struct Entry {
        std::size_t level, node;
    };
    Entry stack[64 * kFanout];
    std::size_t node = leaf;
    for (std::size_t level = 0; level + 1 < depth_; ++level, node /= kFanout) {
        // The later siblings at this level lie after everything met so far.
        if (!later_[level][node].overlaps(own)) continue;
        const std::size_t end = std::min((node / kFanout + 1) * kFanout, levels_[level].size());
        std::size_t top = 0;
        for (std::size_t s = end; s-- > node + 1;) stack[top++] = {level, s};
        while (top > 0) {
            const Entry e = stack[--top];
            if (!levels_[e.level][e.node].overlaps(own)) continue;
            if (e.level == 0) {
                leaves.push_back(e.node);
                continue;
            }
            const std::size_t first = e.node * kFanout;
            const std::size_t last = std::min(first + kFanout, levels_[e.level - 1].size());
            for (std::size_t c = last; c-- > first;) stack[top++] = {e.level - 1, c};
        }
    }
}

