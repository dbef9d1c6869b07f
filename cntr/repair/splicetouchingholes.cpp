#include "cntr/repair/splicetouchingholes.h"

#include <map>
#include <utility>

using Ring = std::vector<krVector<2>>;

double kf_TwiceSignedArea(const Ring& r) {
    double s = 0;
    for (std::size_t i = 0, n = r.size(); i < n; ++i) {
        const krVector<2>& a = r[i];
        const krVector<2>& b = r[(i + 1) % n];
        s += a.x() * b.y() - b.x() * a.y();
    }
    return s;
}

std::size_t kf_SpliceTouchingHoles(Ring& outer, std::vector<Ring>& holes) {
    if (holes.empty() || outer.empty()) return 0;
    // Ring 0 is the outer ring, ring k + 1 the hole k.
    auto ring = [&](std::size_t k) -> Ring& { return k ? holes[k - 1] : outer; };
    const std::size_t count = holes.size() + 1;
    std::map<std::pair<double, double>, std::vector<std::pair<std::size_t, std::size_t>>> at;
    for (std::size_t k = 0; k < count; ++k)
        for (std::size_t i = 0; i < ring(k).size(); ++i)
            at[{ring(k)[i].x(), ring(k)[i].y()}].push_back({k, i});

    // Walk outwards from the outer ring: every ring met at a vertex of a
    // ring already reached hangs there.
    std::vector<bool> reached(count, false);
    std::vector<std::size_t> entry(count, 0);  // the vertex a hole is entered by
    std::vector<std::vector<std::vector<std::size_t>>> children(count);
    std::vector<std::size_t> queue = {0};
    reached[0] = true;
    for (std::size_t q = 0; q < queue.size(); ++q) {
        std::size_t k = queue[q];
        children[k].resize(ring(k).size());
        for (std::size_t i = 0; i < ring(k).size(); ++i)
            for (const auto& [other, j] : at[{ring(k)[i].x(), ring(k)[i].y()}]) {
                if (reached[other]) continue;
                reached[other] = true;
                entry[other] = j;
                children[k][i].push_back(other);
                queue.push_back(other);
            }
    }
    if (queue.size() == 1) return 0;

    // Holes run against the outer ring so their areas subtract.
    const bool outerPositive = kf_TwiceSignedArea(outer) > 0;
    std::vector<bool> reversed(count, false);
    for (std::size_t k = 1; k < count; ++k)
        reversed[k] = reached[k] && (kf_TwiceSignedArea(ring(k)) > 0) == outerPositive;

    // Emit depth first: a ring's vertices from the one after its entry round
    // to the entry itself, each followed by the rings hanging there.
    Ring joined;
    struct Frame {
        std::size_t ring, step, start;
    };
    std::vector<Frame> stack = {{0, 0, outer.size() - 1}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        const std::size_t k = f.ring, n = ring(k).size();
        if (f.step == n) {
            stack.pop_back();
            continue;
        }
        // Position along the walk, turned into an index of the stored ring.
        std::size_t walk = (f.start + 1 + f.step++) % n;
        std::size_t i = reversed[k] ? (n - walk) % n : walk;
        joined.push_back(ring(k)[i]);
        // The frame goes stale as the stack grows: only k and i are used below.
        for (auto c = children[k][i].rbegin(); c != children[k][i].rend(); ++c) {
            std::size_t m = ring(*c).size();
            std::size_t e = reversed[*c] ? (m - entry[*c]) % m : entry[*c];
            stack.push_back({*c, 0, e});
        }
    }
    std::vector<Ring> rest;
    for (std::size_t k = 1; k < count; ++k)
        if (!reached[k]) rest.push_back(std::move(ring(k)));
    outer = std::move(joined);
    holes = std::move(rest);
    return queue.size() - 1;
}
