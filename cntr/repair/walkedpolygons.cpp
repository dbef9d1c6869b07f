#include "cntr/repair/walkedpolygons.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "cntr/index/boxgrid.h"
#include "cntr/moments.h"
#include "cntr/region.h"

namespace qel::detail {

namespace {

using Points = NodedBoundary::Points;

// The loops of a closed walk, cut wherever it comes back to a vertex it
// passed: rings that meet each other at vertices only. A loop that encloses
// nothing is dropped.
std::vector<Points> loops(const Points& walk) {
    std::vector<Points> out;
    Points open;
    std::map<std::pair<double, double>, std::size_t> at;
    const auto close = [&out](Points&& loop) {
        if (loop.size() >= 3 && kf_Area(loop) != 0) out.push_back(std::move(loop));
    };
    for (const krVector<2>& v : walk) {
        const auto seen = at.find({v.x(), v.y()});
        if (seen == at.end()) {
            at[{v.x(), v.y()}] = open.size();
            open.push_back(v);
            continue;
        }
        Points loop(open.begin() + std::ptrdiff_t(seen->second), open.end());
        for (std::size_t k = seen->second + 1; k < open.size(); ++k) at.erase({open[k].x(), open[k].y()});
        open.resize(seen->second + 1);
        close(std::move(loop));
    }
    close(std::move(open));
    return out;
}

Box boxOf(const Points& ring) {
    Box b = Box::empty();
    for (const krVector<2>& v : ring) b.widen(Box::of(v, v));
    return b;
}

}  // namespace

bool walkedPolygons(const NodedBoundary& graph, NodedBoundary::Walk kind, std::vector<WalkedPolygon>& result) {
    Points walk;
    if (!graph.walk(kind, walk)) return false;
    std::vector<Points> all = loops(walk);
    if (all.empty()) return false;
    const std::size_t n = all.size();
    std::vector<double> area(n);
    std::vector<Box> box(n);
    for (std::size_t i = 0; i < n; ++i) area[i] = kf_Area(all[i]), box[i] = boxOf(all[i]);

    // Loops meet at vertices only, so one lies inside another when a point
    // of it off the other's boundary does: a vertex, or where every vertex
    // touches the other (a small loop cut off at its corners), the middle of
    // a side. Each loop's holder is the smallest larger loop holding it; the
    // candidates are the loops whose boxes hold its first vertex, and a region
    // is made only for a loop asked.
    const BoxGrid grid(box);
    std::vector<std::unique_ptr<krRegion>> region(n);
    const auto holds = [&](std::size_t j, const Points& ring) {
        if (!region[j]) region[j] = std::make_unique<krRegion>(all[j]);
        const krRegion& r = *region[j];
        const auto off = [&](const krVector<2>& v) { return static_cast<const krContour&>(r).distToPoint(v, false) > 0; };
        for (const krVector<2>& v : ring)
            if (off(v)) return r.inside(v, false);
        for (std::size_t k = 0; k < ring.size(); ++k) {
            const krVector<2> mid = (ring[k] + ring[(k + 1) % ring.size()]) * 0.5;
            if (off(mid)) return r.inside(mid, false);
        }
        return false;
    };
    std::vector<std::size_t> holder(n, n), candidates;
    for (std::size_t i = 0; i < n; ++i) {
        candidates.clear();
        grid.any(all[i][0], [&](std::size_t j) {
            if (area[j] > area[i]) candidates.push_back(j);
            return false;
        });
        std::sort(candidates.begin(), candidates.end(), [&](std::size_t a, std::size_t b) { return area[a] < area[b]; });
        const auto found = std::find_if(candidates.begin(), candidates.end(), [&](std::size_t j) { return holds(j, all[i]); });
        if (found != candidates.end()) holder[i] = *found;
    }
    // Loops at an even depth of holding are polygons, the others their holes.
    const auto depth = [&](std::size_t i) {
        std::size_t d = 0;
        for (; holder[i] != n; i = holder[i]) ++d;
        return d;
    };
    std::vector<WalkedPolygon> out;
    std::vector<std::size_t> slot(n), odd;
    for (std::size_t i = 0; i < n; ++i)
        if (depth(i) % 2 == 0)
            slot[i] = out.size(), out.push_back({std::move(all[i]), {}});
        else
            odd.push_back(i);
    for (std::size_t i : odd) out[slot[holder[i]]].holes.push_back(std::move(all[i]));
    result = std::move(out);
    return true;
}

std::vector<WalkedPolygon> evenOddPolygons(const std::vector<const Points*>& rings) {
    // A walk goes round one connected part of the graph, so the rings are
    // strung into one closed list: each walked from its first vertex back
    // there, the steps from one ring's first vertex to the next walked once
    // each way. Those steps wind round nothing and change no face's parity.
    // The rings go in the order of their first vertices along a Z-curve, so
    // the steps are short and cross few other rings.
    std::vector<const Points*> order;
    Box box = Box::empty();
    for (const Points* r : rings)
        if (!r->empty()) order.push_back(r), box.widen(Box::of((*r)[0], (*r)[0]));
    const auto key = [&box](const krVector<2>& v) {
        const auto cell = [](double t, double lo, double hi) {
            return hi > lo ? std::uint64_t(std::min((t - lo) / (hi - lo), 1.0) * 0xFFFFFFFFu) : std::uint64_t(0);
        };
        const std::uint64_t x = cell(v.x(), box.lox, box.hix), y = cell(v.y(), box.loy, box.hiy);
        std::uint64_t z = 0;
        for (int b = 0; b < 32; ++b) z |= ((x >> b & 1u) << (2 * b)) | ((y >> b & 1u) << (2 * b + 1));
        return z;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](const Points* a, const Points* b) { return key((*a)[0]) < key((*b)[0]); });
    Points list;
    for (const Points* r : order) list.insert(list.end(), r->begin(), r->end()), list.push_back((*r)[0]);
    for (std::size_t k = order.size(); k-- > 2;) list.push_back((*order[k - 1])[0]);
    std::vector<WalkedPolygon> out;
    if (!list.empty()) walkedPolygons(NodedBoundary({&list}), NodedBoundary::Walk::eOdd, out);
    return out;
}

}  // namespace qel::detail
