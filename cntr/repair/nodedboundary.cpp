#include "cntr/repair/nodedboundary.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

#include "cntr/contour.h"

namespace qel::detail {

namespace {

typedef NodedBoundary::Points Points;
typedef std::uint32_t Id;
constexpr Id kNone = ~Id(0);

__extension__ typedef __int128 I128;
bool isOdd(long k) { return k % 2 != 0; }

// Disjoint sets over 0 .. n-1 whose root is the smallest member.
struct Sets {
    std::vector<Id> up;
    explicit Sets(std::size_t n) : up(n) { std::iota(up.begin(), up.end(), Id(0)); }
    Id find(Id a) {
        while (up[a] != a) a = up[a] = up[up[a]];
        return a;
    }
    bool unite(Id a, Id b) {
        a = find(a);
        b = find(b);
        if (a == b) return false;
        if (a < b) std::swap(a, b);
        up[a] = b;
        return true;
    }
};

// Removes every half-edge followed at once by its twin, the walk taken as a
// closed one: spikes and trees hanging off the walk go, bridges between two
// parts of it stay.
void cancelBacktracks(std::vector<Id>& walk) {
    std::vector<Id> kept;
    kept.reserve(walk.size());
    for (Id h : walk) {
        if (!kept.empty() && kept.back() == (h ^ 1u))
            kept.pop_back();
        else
            kept.push_back(h);
    }
    std::size_t i = 0, j = kept.size();
    while (j - i >= 2 && kept[j - 1] == (kept[i] ^ 1u)) {
        ++i;
        --j;
    }
    walk.assign(kept.begin() + std::ptrdiff_t(i), kept.begin() + std::ptrdiff_t(j));
}

// The closed walk through first along succ, turned round if asked, without
// its spikes, and begun at start where start is still on it.
std::vector<Id> closedWalk(const std::vector<Id>& succ, Id first, bool turn, Id start) {
    std::vector<Id> walk;
    Id h = first;
    do {
        walk.push_back(h);
        h = succ[h];
    } while (h != first);
    if (turn) {
        std::reverse(walk.begin(), walk.end());
        for (Id& g : walk) g ^= 1u;
    }
    cancelBacktracks(walk);
    const auto at = std::find(walk.begin(), walk.end(), start);
    if (at != walk.end()) std::rotate(walk.begin(), at, walk.end());
    return walk;
}

}  // namespace

void NodedBoundary::requireRepairable(const Points& ring) {
    const double largest = std::ldexp(1.0, 1021);
    for (const krVector<2>& v : ring) {
        if (!std::isfinite(v.x()) || !std::isfinite(v.y()))
            throw krContourDefs::BadParams(L"boundary coordinates must be finite numbers");
        if (std::fabs(v.x()) >= largest || std::fabs(v.y()) >= largest)
            throw krContourDefs::BadParams(L"boundary coordinates of 2^1021 (2.2e307) and more are too large to repair");
    }
}

NodedBoundary::NodedBoundary(const std::vector<const Points*>& rings) {
    std::vector<std::size_t> all(rings.size());
    std::iota(all.begin(), all.end(), std::size_t(0));
    {
        SnapRounder rounded(rings);
        build(rounded, all, &rounded);
    }  // the rounding's pieces are done with
    orderAroundNodes();
    traceFaces();
}

NodedBoundary::NodedBoundary(const SnapRounder& rounded, const std::vector<std::size_t>& rings) {
    build(rounded, rings);
    orderAroundNodes();
    traceFaces();
}

void NodedBoundary::build(const SnapRounder& rounded, const std::vector<std::size_t>& rings, SnapRounder* spent) {
    // The nodes the rings pass through, in the rounding's order.
    std::vector<Id> used;
    for (std::size_t r : rings)
        for (const SnapRounder::Piece& p : rounded.ring(r)) used.push_back(p.a);
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    // Where the rings pass through every node, a rounding made for this
    // graph alone hands its nodes over rather than have them copied.
    const bool every = used.size() == rounded.nodes();
    const auto nodeOf = [&](Id v) {
        return every ? v : Id(std::lower_bound(used.begin(), used.end(), v) - used.begin());
    };
    pixel_ = rounded.pixel();
    if (every && spent) {
        spent->handOver(node_, cx_, cy_);
    } else {
        node_.reserve(used.size());
        cx_.reserve(used.size());
        cy_.reserve(used.size());
        for (Id v : used) {
            node_.push_back(rounded.at(v));
            cx_.push_back(rounded.cx(v));
            cy_.push_back(rounded.cy(v));
        }
    }

    // The pieces of each segment in order; pieces between the same two
    // nodes are one edge.
    struct Piece {
        Id a, b;
    };
    std::vector<Piece> pieces;
    Id segments = 0;
    for (std::size_t r : rings) {
        ringBase_.push_back(segments);
        const std::vector<SnapRounder::Piece>& ring = rounded.ring(r);
        // The ring's point count: its last segment's number and one, at least.
        ringSize_.push_back(ring.empty() ? 0 : ring.back().seg + 1);
        segments += ringSize_.back();
    }
    pieceStart_.assign(segments + 1, 0);
    for (std::size_t k = 0; k < rings.size(); ++k)
        for (const SnapRounder::Piece& p : rounded.ring(rings[k])) {
            pieces.push_back({nodeOf(p.a), nodeOf(p.b)});
            ++pieceStart_[ringBase_[k] + p.seg + 1];
        }
    std::partial_sum(pieceStart_.begin(), pieceStart_.end(), pieceStart_.begin());
    used.clear();
    used.shrink_to_fit();
    const auto key = [&](Id k) {
        return (std::uint64_t(std::min(pieces[k].a, pieces[k].b)) << 32) | std::max(pieces[k].a, pieces[k].b);
    };
    // The pieces by their edges, ties in piece order: counted out by their
    // lower nodes, then each node's few by their upper nodes.
    std::vector<Id> order(pieces.size()), ends(node_.size() + 1, 0);
    for (const Piece& p : pieces) ++ends[std::min(p.a, p.b) + 1];
    std::partial_sum(ends.begin(), ends.end(), ends.begin());
    for (Id k = 0; k < pieces.size(); ++k) order[ends[std::min(pieces[k].a, pieces[k].b)]++] = k;
    for (Id v = 0, from = 0; v < node_.size(); from = ends[v++])
        std::sort(order.begin() + from, order.begin() + ends[v],
                  [&](Id a, Id b) { return key(a) != key(b) ? key(a) < key(b) : a < b; });
    ends.clear();
    ends.shrink_to_fit();
    pieceHalf_.assign(pieces.size(), 0);
    for (auto* v : {&edgeA_, &edgeB_}) v->reserve(pieces.size());
    wind_.reserve(pieces.size());
    count_.reserve(pieces.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const Piece& p = pieces[order[k]];
        if (k == 0 || key(order[k]) != key(order[k - 1])) {
            edgeA_.push_back(std::min(p.a, p.b));
            edgeB_.push_back(std::max(p.a, p.b));
            wind_.push_back(0);
            count_.push_back(0);
        }
        const Id e = Id(edgeA_.size() - 1);
        const bool forward = p.a == edgeA_[e];
        wind_[e] += forward ? 1 : -1;
        if (count_[e] < 2) ++count_[e];
        pieceHalf_[order[k]] = 2 * e + (forward ? 0 : 1);
    }
}

// ---------------------------------------------------------------------------
// The graph: edges round each node, faces and their winding numbers.

void NodedBoundary::orderAroundNodes() {
    const Id halves = Id(2 * edgeA_.size());
    aroundStart_.assign(node_.size() + 1, 0);
    for (Id h = 0; h < halves; ++h) ++aroundStart_[tail(h) + 1];
    std::partial_sum(aroundStart_.begin(), aroundStart_.end(), aroundStart_.begin());
    around_.resize(halves);
    std::vector<Id> fill(aroundStart_.begin(), aroundStart_.end() - 1);
    for (Id h = 0; h < halves; ++h) around_[fill[tail(h)]++] = h;
    // By angle from the positive x axis, counter-clockwise: first the
    // directions above the axis (and along it to the right), then the rest,
    // each half by the exact cross product of the directions between centres.
    const auto dx = [&](Id h) { return cx_[head(h)] - cx_[tail(h)]; };
    const auto dy = [&](Id h) { return cy_[head(h)] - cy_[tail(h)]; };
    const auto lower = [&](Id h) { return dy(h) < 0 || (dy(h) == 0 && dx(h) < 0); };
    const auto before = [&](Id a, Id b) {
        if (lower(a) != lower(b)) return lower(b);
        const I128 c = I128(dx(a)) * dy(b) - I128(dy(a)) * dx(b);
        return c != 0 ? c > 0 : a < b;
    };
    for (std::size_t v = 0; v < node_.size(); ++v)
        std::sort(around_.begin() + aroundStart_[v], around_.begin() + aroundStart_[v + 1], before);
}

void NodedBoundary::traceFaces() {
    const Id halves = Id(around_.size());
    // The face on h's left goes on, at h's head, along the edge next
    // clockwise from h's way back: round each node, the way back of each
    // leaving edge is followed by the edge before it.
    next_.resize(halves);
    for (std::size_t v = 0; v < node_.size(); ++v)
        for (Id k = aroundStart_[v], last = aroundStart_[v + 1]; k < last; ++k)
            next_[twin(around_[k])] = around_[k == aroundStart_[v] ? last - 1 : k - 1];
    face_.assign(halves, kNone);
    std::vector<Id> faceStart;
    for (Id h = 0; h < halves; ++h) {
        if (face_[h] != kNone) continue;
        const Id f = Id(faceStart.size());
        faceStart.push_back(h);
        for (Id g = h; face_[g] == kNone; g = next_[g]) face_[g] = f;
    }
    if (halves == 0) return;

    // The lowest node (the leftmost of those) sees only upward edges, and
    // the unbounded face lies below it: on the left of its last edge by
    // angle, which turns round to the first through the bottom.
    Id low = kNone;
    for (Id v = 0; v < node_.size(); ++v) {
        if (aroundStart_[v] == aroundStart_[v + 1]) continue;
        if (low == kNone || cy_[v] < cy_[low] || (cy_[v] == cy_[low] && cx_[v] < cx_[low]))
            low = v;
    }
    outer_ = face_[around_[aroundStart_[low + 1] - 1]];

    // Across an edge the winding number changes by the net passes along it:
    // the face on the left of a pass counts it.
    winding_.assign(faceStart.size(), 0);
    std::vector<bool> known(faceStart.size(), false);
    std::vector<Id> queue{outer_};
    known[outer_] = true;
    for (std::size_t q = 0; q < queue.size(); ++q) {
        const Id f = queue[q];
        Id h = faceStart[f];
        do {
            const Id g = face_[twin(h)];
            if (!known[g]) {
                known[g] = true;
                winding_[g] = winding_[f] - passes(h);
                queue.push_back(g);
            }
            h = next_[h];
        } while (h != faceStart[f]);
    }
}

// ---------------------------------------------------------------------------
// Walks.

std::size_t NodedBoundary::startHalfEdge(bool& found) const {
    found = true;
    const auto degree = [&](Id v) { return aroundStart_[v + 1] - aroundStart_[v]; };
    const auto outside = [&](Id h) { return face_[h] == outer_ || face_[twin(h)] == outer_; };
    // An uncrossed outside edge: one piece, passed once, its ends meeting
    // only its neighbours.
    for (std::size_t r = 0; r < ringBase_.size(); ++r)
        for (Id i = 0; i + 1 < ringSize_[r]; ++i) {
            const Id g = ringBase_[r] + i;
            if (pieceStart_[g + 1] - pieceStart_[g] != 1) continue;
            const Id h = pieceHalf_[pieceStart_[g]];
            if (count_[h >> 1] == 1 && degree(tail(h)) == 2 && degree(head(h)) == 2 && outside(h)) return h;
        }
    // Else the first outside piece of any segment, passed once if there is
    // such a piece.
    for (Id once : {1u, 0u})
        for (Id k = 0; k < pieceHalf_.size(); ++k) {
            const Id h = pieceHalf_[k];
            if ((once == 0 || count_[h >> 1] == 1) && outside(h)) return h;
        }
    found = false;
    return 0;
}

std::vector<NodedBoundary::Id> NodedBoundary::outerCycle() const {
    bool found;
    const Id start = Id(startHalfEdge(found));
    if (!found) return {};
    // The unbounded face's border, walked with that face on the left; turned
    // round when the start edge has it on its right.
    const bool turn = face_[start] != outer_;
    return closedWalk(next_, turn ? twin(start) : start, turn, start);
}

// The edges passed an odd number of times divide odd from even faces; each
// is walked once, with its even face on the left. The walk is built in steps:
// the odd edges listed round each node, those with an even face on the left
// chosen, each given its successor (along the faces, or as trails where the
// faces disagree), the parts that meet nowhere bridged, and the closed walks
// joined into one.
std::vector<NodedBoundary::Id> NodedBoundary::oddCycle() const {
    bool found;
    const Id start = Id(startHalfEdge(found));
    if (!found) return {};
    const OddAround odd = oddEdgesAroundNodes();
    std::vector<char> used;
    bool balanced;
    if (!chooseEvenSides(used, balanced)) return {};
    std::vector<Id> succ(around_.size(), kNone);
    if (balanced)
        linkAlongFaces(odd, used, succ);
    else
        linkAsTrails(odd, used, succ);
    bridgeParts(succ);
    joinWalks(succ);
    // Walked from the start edge, or its way back when the even faces lie on
    // its right; then the whole walk turns round.
    const bool turn = face_[start] != outer_;
    Id first = turn ? twin(start) : start;
    if (succ[first] == kNone)
        first = Id(std::find_if(succ.begin(), succ.end(), [](Id s) { return s != kNone; }) - succ.begin());
    return closedWalk(succ, first, turn, start);
}

NodedBoundary::OddAround NodedBoundary::oddEdgesAroundNodes() const {
    OddAround odd;
    odd.start.assign(node_.size() + 1, 0);
    odd.slot.assign(around_.size(), kNone);
    for (std::size_t v = 0; v < node_.size(); ++v) {
        for (Id k = aroundStart_[v]; k < aroundStart_[v + 1]; ++k)
            if (isOdd(passes(around_[k]))) {
                odd.slot[around_[k]] = Id(odd.around.size()) - Id(odd.start[v]);
                odd.around.push_back(around_[k]);
            }
        odd.start[v + 1] = Id(odd.around.size());
    }
    return odd;
}

bool NodedBoundary::chooseEvenSides(std::vector<char>& used, bool& balanced) const {
    const Id halves = Id(around_.size());
    used.assign(halves, 0);
    std::vector<long> balance(node_.size(), 0);
    bool any = false;
    for (Id h = 0; h < halves; ++h) {
        if (!isOdd(passes(h)) || isOdd(winding_[face_[h]])) continue;
        used[h] = 1;
        any = true;
        ++balance[tail(h)];
        --balance[head(h)];
    }
    balanced = std::all_of(balance.begin(), balance.end(), [](long b) { return b == 0; });
    return any;
}

// Round each node the odd edges alternate in and out, so the walk along an
// even face's border (the next such edge clockwise from the way back) covers
// each once.
void NodedBoundary::linkAlongFaces(const OddAround& odd, const std::vector<char>& used,
                                     std::vector<Id>& succ) const {
    for (Id h = 0; h < Id(around_.size()); ++h) {
        if (!used[h]) continue;
        const Id v = head(h), deg = odd.start[v + 1] - odd.start[v];
        succ[h] = odd.around[odd.start[v] + (odd.slot[twin(h)] + deg - 1) % deg];
    }
}

// On a plane graph the odd edges with an even face on the left balance at
// every node; should the faces ever disagree with the windings read across
// them, each node still meets an even number of odd edges (the rings pass
// through it in and out), so closed trails cover them: they are walked as
// trails, and pair up at each node in any order.
void NodedBoundary::linkAsTrails(const OddAround& odd, std::vector<char>& used,
                                   std::vector<Id>& succ) const {
    std::fill(used.begin(), used.end(), 0);
    std::vector<char> taken(edgeA_.size(), 0);
    std::vector<Id> at(odd.start.begin(), odd.start.end() - 1), trail;
    for (Id s = 0; s < node_.size(); ++s) {
        trail.assign(1, s);
        while (!trail.empty()) {
            const Id v = trail.back();
            while (at[v] < odd.start[v + 1] && taken[odd.around[at[v]] >> 1]) ++at[v];
            if (at[v] == odd.start[v + 1]) {
                trail.pop_back();
                continue;
            }
            const Id h = odd.around[at[v]];
            taken[h >> 1] = 1;
            used[h] = 1;
            trail.push_back(head(h));
        }
    }
    std::vector<Id> leaving(odd.start.begin(), odd.start.end() - 1);
    for (Id h = 0; h < Id(around_.size()); ++h) {
        if (!used[h]) continue;
        const Id v = head(h);
        while (!used[odd.around[leaving[v]]]) ++leaving[v];
        succ[h] = odd.around[leaving[v]++];
    }
}

// Parts that meet nowhere are joined by edges of even passes, walked there
// and back; those that end up leading nowhere cancel out in the closed walk.
void NodedBoundary::bridgeParts(std::vector<Id>& succ) const {
    Sets nodes(node_.size());
    for (Id e = 0; e < edgeA_.size(); ++e)
        if (isOdd(wind_[e])) nodes.unite(edgeA_[e], edgeB_[e]);
    for (Id e = 0; e < edgeA_.size(); ++e)
        if (!isOdd(wind_[e]) && nodes.unite(edgeA_[e], edgeB_[e])) {
            succ[2 * e] = 2 * e + 1;
            succ[2 * e + 1] = 2 * e;
        }
}

// The closed walks so far, joined into one at the nodes they share: two
// walks through a node become one when the half-edges entering it there swap
// their successors.
void NodedBoundary::joinWalks(std::vector<Id>& succ) const {
    const Id halves = Id(around_.size());
    std::vector<Id> cycle(halves, kNone);
    Id cycles = 0;
    for (Id h = 0; h < halves; ++h) {
        if (succ[h] == kNone || cycle[h] != kNone) continue;
        for (Id g = h; cycle[g] == kNone; g = succ[g]) cycle[g] = cycles;
        ++cycles;
    }
    Sets joined(cycles);
    std::vector<Id> entering(node_.size(), kNone);
    for (Id h = 0; h < halves; ++h) {
        if (succ[h] == kNone) continue;
        Id& first = entering[head(h)];
        if (first == kNone) {
            first = h;
        } else if (joined.unite(cycle[first], cycle[h])) {
            std::swap(succ[first], succ[h]);
        }
    }
}

bool NodedBoundary::walk(Walk kind, Points& out) const {
    if (around_.empty()) return false;
    const std::vector<Id> walk = kind == Walk::eOuter ? outerCycle() : oddCycle();
    if (walk.size() < 3) return false;
    // The nodes' own points keep the input's coordinates. Where one stands
    // so far off its pixel's centre that the walk comes within the contact
    // tolerance of itself, the nodes of the segments concerned take their
    // centres, which keep clear of the edges they do not end; after a few
    // rounds of that, every node does.
    std::vector<char> centred(node_.size(), 0);
    for (int round = 0;; ++round) {
        out.clear();
        out.reserve(walk.size());
        for (Id h : walk) {
            const Id v = head(h);
            out.push_back(centred[v] ? krVector<2>(double(cx_[v]) * pixel_, double(cy_[v]) * pixel_) : node_[v]);
        }
        const krContour traced(out, true);
        if (!traced.isSelfIntersecting()) break;
        if (round >= 3) {
            if (std::all_of(centred.begin(), centred.end(), [](char c) { return c != 0; })) break;
            std::fill(centred.begin(), centred.end(), 1);
            continue;
        }
        for (std::size_t k = 0; k < walk.size(); ++k) {
            const std::size_t prev = (k + walk.size() - 1) % walk.size();
            if (!traced.intersections(krLineSeg(out[prev], out[k]), false).empty())
                centred[head(walk[prev])] = centred[head(walk[k])] = 1;
        }
    }
    return true;
}

}  // namespace qel::detail
