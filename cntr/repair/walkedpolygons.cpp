#include "cntr/repair/walkedpolygons.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "cntr/index/anypaircrosses.h"
#include "cntr/moments.h"
#include "cntr/region.h"
#include "platform/std/hull.h"

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

// Loops that meet at vertices only as polygons with holes: a loop inside no
// other, or inside a hole, is a polygon; a loop inside a polygon and no
// nearer loop is a hole of it.
std::vector<WalkedPolygon> nested(std::vector<Points> all) {
    const std::size_t n = all.size();
    std::vector<double> area(n);
    std::vector<Box> box(n);
    for (std::size_t i = 0; i < n; ++i) area[i] = kf_Area(all[i]), box[i] = boxOf(all[i]);

    // Loops meet at vertices only, so one lies inside another when a vertex
    // of it that is not one of the other's does; where every vertex is
    // shared (a small loop cut off at its corners), the middle of a side,
    // which cannot be on the other's boundary. Each loop's holder is the
    // smallest larger loop holding it; the candidates are the loops whose
    // boxes hold its first vertex, and a region and a sorted vertex list are
    // made only for a loop asked.
    using Key = std::pair<double, double>;
    const BoxGrid grid(box);
    std::vector<std::unique_ptr<krRegion>> region(n);
    std::vector<std::vector<Key>> vertices(n);
    const auto holds = [&](std::size_t j, const Points& ring) {
        if (!region[j]) {
            region[j] = std::make_unique<krRegion>(all[j]);
            for (const krVector<2>& v : all[j]) vertices[j].push_back({v.x(), v.y()});
            std::sort(vertices[j].begin(), vertices[j].end());
        }
        for (const krVector<2>& v : ring)
            if (!std::binary_search(vertices[j].begin(), vertices[j].end(), Key{v.x(), v.y()}))
                return region[j]->inside(v, false);
        return region[j]->inside((ring[0] + ring[1]) * 0.5, false);
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
    return out;
}

// Whether a ring comes back to a vertex or turns back along itself at one,
// which the crossing test, blind to touching vertices and parallel sides,
// does not see.
bool passesItself(const Points& r) {
    std::vector<std::pair<double, double>> v;
    for (const krVector<2>& p : r) v.push_back({p.x(), p.y()});
    std::sort(v.begin(), v.end());
    if (std::adjacent_find(v.begin(), v.end()) != v.end()) return true;
    for (std::size_t i = 0, n = r.size(); i < n; ++i) {
        const krVector<2>&a = r[(i + n - 1) % n], &b = r[i], &c = r[(i + 1) % n];
        if (kfOrientation(a, b, c) == 0 && (b - a) * (c - b) < 0) return true;
    }
    return false;
}

// Which rings meet another ring or themselves; the others stand apart. Only
// pairs whose boxes overlap are asked, the sides of the ring with fewer
// vertices of the other's index.
std::vector<bool> meeting(const std::vector<const Points*>& rings) {
    std::vector<krContour> contour;
    std::vector<Box> box;
    contour.reserve(rings.size());
    for (const Points* r : rings) contour.emplace_back(*r, true), box.push_back(pairBox(*r, 3));
    std::vector<bool> meets(rings.size());
    for (std::size_t i = 0; i < rings.size(); ++i)
        meets[i] = passesItself(*rings[i]) || contour[i].isSelfIntersecting();
    const BoxGrid grid(box);
    std::vector<std::size_t> partners;
    for (std::size_t i = 0; i < rings.size(); ++i) {
        laterPartners(grid, box, i, partners);
        for (std::size_t j : partners) {
            if (meets[i] && meets[j]) continue;
            const bool larger = rings[i]->size() >= rings[j]->size();
            if (!contour[larger ? i : j].intersections(contour[larger ? j : i]).empty()) meets[i] = meets[j] = true;
        }
    }
    return meets;
}

}  // namespace

bool walkedPolygons(const NodedBoundary& graph, NodedBoundary::Walk kind, std::vector<WalkedPolygon>& out) {
    Points walk;
    if (!graph.walk(kind, walk)) return false;
    std::vector<Points> all = loops(walk);
    if (all.empty()) return false;
    out = nested(std::move(all));
    return true;
}

std::vector<WalkedPolygon> evenOddPolygons(const std::vector<const Points*>& rings) {
    // A ring that meets no other and does not cross itself flips the parity
    // inside it and nowhere else: it is a loop as it stands, nested with the
    // others. The rings that meet are noded together and walked round their
    // faces of odd parity. A walk goes round one connected part of the
    // graph, so they are strung into one closed list: each walked from its
    // first vertex back there, the steps from one ring's first vertex to the
    // next walked once each way, which wind round nothing and change no
    // face's parity. The rings go in the order of their first vertices along
    // a Z-curve, so the steps are short and cross few other rings.
    const std::vector<bool> meets = meeting(rings);
    std::vector<Points> all;
    std::vector<const Points*> order;
    Box box = Box::empty();
    for (std::size_t i = 0; i < rings.size(); ++i)
        if (meets[i])
            order.push_back(rings[i]), box.widen(Box::of((*rings[i])[0], (*rings[i])[0]));
        else if (kf_Area(*rings[i]) != 0)
            all.push_back(*rings[i]);
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
    Points list, walk;
    for (const Points* r : order) list.insert(list.end(), r->begin(), r->end()), list.push_back((*r)[0]);
    for (std::size_t k = order.size(); k-- > 2;) list.push_back((*order[k - 1])[0]);
    if (!list.empty() && NodedBoundary({&list}).walk(NodedBoundary::Walk::eOdd, walk))
        for (Points& loop : loops(walk)) all.push_back(std::move(loop));
    return all.empty() ? std::vector<WalkedPolygon>() : nested(std::move(all));
}

}  // namespace qel::detail
