#include "cntr/index/vertexgrid.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace qel::detail {

namespace {

// The 64-bit finalizer of splitmix64: a bijection whose every output bit
// depends on every input bit.
std::uint64_t mix(std::uint64_t h) {
    h += 0x9e3779b97f4a7c15ULL;
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
    return h ^ (h >> 31);
}

// A key nobody outside the process can predict: the table's heap address
// (randomised by the loader) and the clock. It needs no shared state, and a
// poor key costs only speed, never an answer.
std::uint64_t drawKey(const void* table) {
    const auto tick = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return mix(reinterpret_cast<std::uintptr_t>(table) ^ mix(tick));
}

}  // namespace

// Half away from zero, then toward zero to 32 bits. Values outside the 32-bit
// range saturate (the clamp moves no two points farther apart in cells, so no
// neighbour is lost) and NaN goes to cell 0 (it is never near anything).
std::int32_t VertexGrid::round(double v) {
    const double r = v >= 0.0 ? v + 0.5 : v - 0.5;
    if (!(r > -2147483648.0)) return std::isnan(r) ? 0 : std::numeric_limits<std::int32_t>::min();
    if (!(r < 2147483648.0)) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

std::size_t VertexGrid::slot(std::int32_t cx, std::int32_t cy) const {
    const std::uint64_t cell = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(cx)) << 32) |
                               static_cast<std::uint32_t>(cy);
    return static_cast<std::size_t>(mix(cell ^ key_)) & (table_.size() - 1);
}

VertexGrid::VertexGrid(const Points& points, double tolerance)
    // A tolerance so small that its reciprocal overflows would put 0 * inf =
    // NaN into cell 0 and every other coordinate at the ends of the range,
    // splitting neighbours. Like saturation, one cell for all loses none.
    : tolerance_(tolerance),
      scale_(std::isfinite(1.0 / tolerance) ? 1.0 / tolerance : 0.0),
      next_(points.size(), -1) {
    std::size_t cap = 16;
    while (cap < 2 * points.size()) cap *= 2;
    table_.resize(cap);
    key_ = drawKey(table_.data());
    const std::size_t mask = cap - 1;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::int32_t cx = round(points[i].x() * scale_);
        const std::int32_t cy = round(points[i].y() * scale_);
        std::size_t s = slot(cx, cy);
        while (table_[s].head >= 0 && (table_[s].cx != cx || table_[s].cy != cy)) s = (s + 1) & mask;
        Cell& c = table_[s];
        const auto idx = static_cast<std::int32_t>(i);
        if (c.head < 0) {
            c.cx = cx;
            c.cy = cy;
            c.head = idx;
        } else {
            next_[c.tail] = idx;
        }
        c.tail = idx;
    }
}

const VertexGrid::Cell* VertexGrid::find(std::int32_t cx, std::int32_t cy) const {
    const std::size_t mask = table_.size() - 1;
    for (std::size_t s = slot(cx, cy); table_[s].head >= 0; s = (s + 1) & mask)
        if (table_[s].cx == cx && table_[s].cy == cy) return &table_[s];
    return nullptr;
}

void VertexGrid::query(const Points& points, const krVector<2>& point,
                         std::vector<int>& out) const {
    const std::int64_t qx = round(point.x() * scale_);
    const std::int64_t qy = round(point.y() * scale_);
    const std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    const std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    for (std::int64_t x = qx - 1; x <= qx + 1; ++x) {
        if (x < lo || x > hi) continue;
        for (std::int64_t y = qy - 1; y <= qy + 1; ++y) {
            if (y < lo || y > hi) continue;
            const Cell* c = find(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
            if (!c) continue;
            for (std::int32_t j = c->head; j >= 0; j = next_[j])
                if (points[j].distance(point) < tolerance_) out.push_back(j);
        }
    }
}

std::size_t VertexGrid::longestProbe() const {
    // The table is at most half full, so it has an empty slot; a run that
    // wraps around the end is counted from that slot on.
    const std::size_t n = table_.size();
    std::size_t start = 0;
    while (table_[start].head >= 0) ++start;
    std::size_t longest = 0, run = 0;
    for (std::size_t i = 1; i <= n; ++i) {
        run = table_[(start + i) % n].head >= 0 ? run + 1 : 0;
        if (run > longest) longest = run;
    }
    return longest;
}

}  // namespace qel::detail
