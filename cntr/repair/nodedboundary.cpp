#include "cntr/repair/nodedboundary.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

#include "cntr/index/segmentindex.h"
#include "cntr/support/tolerance.h"
#include "platform/std/geometry.h"

namespace qel::detail {

namespace {

typedef NodedBoundary::Points Points;
typedef std::uint32_t Id;
constexpr Id kNone = ~Id(0);

// Points nearer than this are one point, and a point this near a segment lies
// on it: the contact tolerance of the segment queries. Far from the origin
// doubles lie farther apart than that (2e-6 apart beyond 1.7e10), and a point
// computed on a line misses it by a few of their steps; there contacts are
// judged at some ten steps instead.
constexpr double kTouch = knTolerance::kContact;
constexpr double kSteps = 1e-15;
constexpr std::size_t kMostSplits = std::size_t(1) << 24;

double cross(const krVector<2>& a, const krVector<2>& b) { return a.x() * b.y() - a.y() * b.x(); }
double dist(const krVector<2>& a, const krVector<2>& b) { return (a - b).len(); }
bool opposite(double a, double b) { return (a > 0 && b < 0) || (a < 0 && b > 0); }
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

void NodedBoundary::requireFinite(const Points& ring) {
    for (const krVector<2>& v : ring)
        if (!std::isfinite(v.x()) || !std::isfinite(v.y()))
            throw krContourDefs::BadParams(L"boundary coordinates must be finite numbers");
}

NodedBoundary::NodedBoundary(const std::vector<const Points*>& rings) {
    // Room for a crossing or contact per segment or so; more grow the lists.
    std::size_t total = 0;
    for (const Points* ring : rings) total += ring->size();
    xy_.reserve(2 * total);
    parent_.reserve(2 * total);
    splits_.reserve(2 * total);
    for (const Points* ring : rings) {
        ringBase_.push_back(Id(xy_.size()));
        ringSize_.push_back(Id(ring->size()));
        xy_.insert(xy_.end(), ring->begin(), ring->end());
    }
    segEnd_.resize(xy_.size());
    for (std::size_t r = 0; r < ringBase_.size(); ++r)
        for (Id i = 0; i < ringSize_[r]; ++i) segEnd_[ringBase_[r] + i] = ringBase_[r] + (i + 1) % ringSize_[r];
    parent_.resize(xy_.size());
    std::iota(parent_.begin(), parent_.end(), Id(0));
    double far = 0;
    for (const krVector<2>& v : xy_) far = std::max({far, std::fabs(v.x()), std::fabs(v.y())});
    touch_ = std::max(kTouch, kSteps * far);
    findContacts();
    buildEdges();
    orderAroundNodes();
    traceFaces();
}

// ---------------------------------------------------------------------------
// Noding.

NodedBoundary::Id NodedBoundary::find(Id a) const {
    while (parent_[a] != a) a = parent_[a] = parent_[parent_[a]];
    return a;
}

void NodedBoundary::unite(Id a, Id b) {
    a = find(a);
    b = find(b);
    if (a == b) return;
    // The smallest id stands for its points: a ring vertex before any
    // crossing, so the input's own coordinates survive.
    if (a < b) std::swap(a, b);
    parent_[a] = b;
}

void NodedBoundary::findContacts() {
    const Id n = Id(xy_.size());
    // A segment shorter than the tolerance is one point.
    for (Id g = 0; g < n; ++g)
        if (dist(xy_[g], xy_[segEnd_[g]]) <= touch_) unite(g, segEnd_[g]);

    // The rings one after the other, each closed, with a point that is not a
    // number between them: the segments into and out of it have no direction
    // and the index leaves them out. seg[k] is the segment k of the list
    // stands for, or kNone.
    Points all;
    std::vector<Id> seg;
    all.reserve(xy_.size() + 2 * ringBase_.size());
    seg.reserve(all.capacity());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t r = 0; r < ringBase_.size(); ++r) {
        if (ringSize_[r] == 0) continue;
        if (!all.empty()) {
            all.push_back(krVector<2>(nan, nan));
            seg.push_back(kNone);
            seg.push_back(kNone);
        }
        for (Id i = 0; i < ringSize_[r]; ++i) {
            all.push_back(xy_[ringBase_[r] + i]);
            seg.push_back(ringBase_[r] + i);
        }
        all.push_back(xy_[ringBase_[r]]);
    }
    if (all.size() < 2) return;
    const qel::detail::SegmentView view{all.data(), all.size(), false};
    qel::detail::SegmentIndex index;
    std::vector<bool> valid;
    index.build(view, valid);
    // A contact lies within the tolerance of both segments, so the pairs to
    // try come within twice that of each other.
    index.forEachPair(view, 2 * touch_, [&](std::size_t k, std::size_t j) {
        const Id a = seg[k], b = seg[j];
        if (a != kNone && b != kNone && a != b) touch(std::min(a, b), std::max(a, b));
        return true;
    });
}

void NodedBoundary::touch(Id a, Id b) {
    // Every contact costs a few dozen bytes; a tangle of n segments may have
    // n^2 / 4 of them. Past this many the memory, not the answer, is the
    // problem.
    if (splits_.size() >= kMostSplits)
        throw krContourDefs::BadParams(L"the boundary crosses itself too often to be repaired");
    bool contact = false;
    // An end of one segment on the other: at one of its ends the two ends are
    // one point, elsewhere it splits the segment.
    const auto endOn = [&](Id end, Id s) {
        const Id s1 = s, s2 = segEnd_[s];
        if (end == s1 || end == s2) {
            contact = true;
            return;
        }
        const krVector<2>& e = xy_[end];
        if (dist(e, xy_[s1]) <= touch_ || dist(e, xy_[s2]) <= touch_) {
            unite(end, dist(e, xy_[s1]) <= dist(e, xy_[s2]) ? s1 : s2);
            contact = true;
            return;
        }
        const krVector<2> d = xy_[s2] - xy_[s1];
        const double t = ((e - xy_[s1]) * d) / (d * d);
        if (t > 0 && t < 1 && dist(xy_[s1] + d * t, e) <= touch_) {
            splits_.push_back({s, t, end});
            contact = true;
        }
    };
    endOn(b, a);
    endOn(segEnd_[b], a);
    endOn(a, b);
    endOn(segEnd_[a], b);
    if (contact) return;
    // A crossing inside both: the ends of each lie strictly on either side
    // of the other's line.
    const krVector<2>&a1 = xy_[a], &a2 = xy_[segEnd_[a]], &b1 = xy_[b], &b2 = xy_[segEnd_[b]];
    const double d1 = cross(a2 - a1, b1 - a1), d2 = cross(a2 - a1, b2 - a1);
    if (!opposite(d1, d2)) return;
    const double d3 = cross(b2 - b1, a1 - b1), d4 = cross(b2 - b1, a2 - b1);
    if (!opposite(d3, d4)) return;
    const double ta = d3 / (d3 - d4), tb = d1 / (d1 - d2);
    const Id x = Id(xy_.size());
    xy_.push_back(a1 + (a2 - a1) * ta);
    parent_.push_back(x);
    splits_.push_back({a, ta, x});
    splits_.push_back({b, tb, x});
}

void NodedBoundary::buildEdges() {
    std::sort(splits_.begin(), splits_.end());
    const Id segments = Id(segEnd_.size());
    // The points along each segment in order; neighbours within the
    // tolerance are one point.
    std::vector<Id> splitStart(segments + 1, 0);
    for (const Split& s : splits_) ++splitStart[s.seg + 1];
    std::partial_sum(splitStart.begin(), splitStart.end(), splitStart.begin());
    const auto along = [&](Id g, auto&& f) {
        f(g);
        for (Id k = splitStart[g]; k < splitStart[g + 1]; ++k) f(splits_[k].point);
        f(segEnd_[g]);
    };
    for (Id g = 0; g < segments; ++g) {
        Id prev = kNone;
        along(g, [&](Id p) {
            if (prev != kNone && dist(xy_[prev], xy_[p]) <= touch_) unite(prev, p);
            prev = p;
        });
    }

    // Nodes in the order of the points standing for them.
    std::vector<Id> nodeOf(xy_.size(), kNone);
    for (Id p = 0; p < xy_.size(); ++p) {
        const Id r = find(p);
        if (nodeOf[r] == kNone) {
            nodeOf[r] = Id(node_.size());
            node_.push_back(xy_[r]);
        }
        nodeOf[p] = nodeOf[r];
    }

    // The pieces between consecutive nodes along each segment; pieces
    // between the same two nodes are one edge.
    struct Piece {
        Id a, b;
    };
    std::vector<Piece> pieces;
    pieceStart_.assign(segments + 1, 0);
    for (Id g = 0; g < segments; ++g) {
        Id prev = kNone;
        along(g, [&](Id p) {
            const Id v = nodeOf[p];
            if (prev != kNone && v != prev) pieces.push_back({prev, v});
            prev = v;
        });
        pieceStart_[g + 1] = Id(pieces.size());
    }
    std::vector<std::pair<std::uint64_t, Id>> keys(pieces.size());
    for (Id k = 0; k < pieces.size(); ++k) {
        const Id lo = std::min(pieces[k].a, pieces[k].b), hi = std::max(pieces[k].a, pieces[k].b);
        keys[k] = {(std::uint64_t(lo) << 32) | hi, k};
    }
    std::sort(keys.begin(), keys.end());
    pieceHalf_.assign(pieces.size(), 0);
    for (auto* v : {&edgeA_, &edgeB_, &count_}) v->reserve(pieces.size());
    wind_.reserve(pieces.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (k == 0 || keys[k].first != keys[k - 1].first) {
            edgeA_.push_back(Id(keys[k].first >> 32));
            edgeB_.push_back(Id(keys[k].first & 0xffffffffu));
            wind_.push_back(0);
            count_.push_back(0);
        }
        const Id e = Id(edgeA_.size() - 1);
        const bool forward = pieces[keys[k].second].a == edgeA_[e];
        wind_[e] += forward ? 1 : -1;
        ++count_[e];
        pieceHalf_[keys[k].second] = 2 * e + (forward ? 0 : 1);
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
    std::vector<double> angle(halves);
    for (Id h = 0; h < halves; ++h) {
        const krVector<2> d = node_[head(h)] - node_[tail(h)];
        angle[h] = std::atan2(d.y(), d.x());
    }
    slot_.resize(halves);
    for (std::size_t v = 0; v < node_.size(); ++v) {
        const auto first = around_.begin() + aroundStart_[v], last = around_.begin() + aroundStart_[v + 1];
        std::sort(first, last, [&](Id a, Id b) { return angle[a] != angle[b] ? angle[a] < angle[b] : a < b; });
        for (Id k = aroundStart_[v]; k < aroundStart_[v + 1]; ++k) slot_[around_[k]] = k - aroundStart_[v];
    }
}

void NodedBoundary::traceFaces() {
    const Id halves = Id(around_.size());
    // The face on h's left goes on, at h's head, along the edge next
    // clockwise from h's way back.
    next_.resize(halves);
    for (Id h = 0; h < halves; ++h) {
        const Id v = head(h), first = aroundStart_[v], deg = aroundStart_[v + 1] - first;
        next_[h] = around_[first + (slot_[twin(h)] + deg - 1) % deg];
    }
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
        if (low == kNone || node_[v].y() < node_[low].y() ||
            (node_[v].y() == node_[low].y() && node_[v].x() < node_[low].x()))
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

// Edges lying on each other within the tolerances can leave the angles round
// a node at odds with the faces they make, and the windings read across them
// disagree. Each node still meets an even number of odd edges (the rings
// pass through it in and out), so closed trails cover them: they are walked
// as trails, and pair up at each node in any order.
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
    out.clear();
    out.reserve(walk.size());
    for (Id h : walk) out.push_back(node_[head(h)]);
    return true;
}

}  // namespace qel::detail
