// The bounded, randomly replaced map behind the contour's keyed caches.
#ifndef QEL_CNTR_SUPPORT_BOUNDEDMAP_H
#define QEL_CNTR_SUPPORT_BOUNDEDMAP_H

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

#include "platform/std/random.h"

namespace qel::detail {

// The calling thread's cache-replacement generator: seeded with 1 on the
// thread's first need, deleted when the thread ends.
krRandomUniform& replacementGenerator();

// Orders doubles by <, with every NaN one value above all numbers, so that a
// NaN key cannot make the map's order inconsistent or match a numeric key.
inline bool keyLess(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return !std::isnan(a) && std::isnan(b);
    return a < b;
}

// An ordered map that grows by one entry per new key while it holds no more
// than the cap, and past that replaces a randomly drawn entry: the entry at
// the drawn position in key order gives way to the new one. It therefore never
// holds more than cap + 1 entries. The cap is read at each insertion.
template <class K, class V, class Less>
class BoundedMap {
public:
    const V* find(const K& key) const {
        auto it = map_.find(key);
        return it == map_.end() ? nullptr : &it->second;
    }

    // key must not be in the map yet. Any cap is harmless, a negative one too
    // (an archive may hold one): an empty map past its cap has no entry to
    // give way, so the draw is made and nothing is inserted.
    void insert(const K& key, const V& value, long cap) {
        if (static_cast<long>(map_.size()) <= cap) {
            map_.emplace(key, value);
            return;
        }
        const double size = static_cast<double>(map_.size());
        const long r = kfIFloor(replacementGenerator().next(0.0, size));
        if (map_.empty()) return;
        map_.erase(std::next(map_.begin(), std::min(std::max(r, 0L), static_cast<long>(map_.size()) - 1)));
        map_.emplace(key, value);
    }

    std::size_t size() const { return map_.size(); }
    const std::map<K, V, Less>& entries() const { return map_; }

private:
    std::map<K, V, Less> map_;
};

}  // namespace qel::detail

#endif
