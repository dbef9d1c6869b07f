// The axis-aligned box every index of the library keeps.
#ifndef QEL_CNTR_INDEX_BOX_H
#define QEL_CNTR_INDEX_BOX_H

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/std/geometry.h"
#include "platform/std/vector.h"

namespace qel::detail {

// A box by its corners, closed on both axes as krRect is.
struct Box {
    double lox, loy, hix, hiy;

    // The box of two points, with the same operand order (and so the same
    // treatment of NaN) as krRect(a, 0).enclose(krRect(b, 0)).
    static Box of(const krVector<2>& a, const krVector<2>& b) {
        return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()),
                std::max(a.y(), b.y())};
    }
    static Box of(const krRect& r) {
        return {r.origin().x(), r.origin().y(), r.corner().x(), r.corner().y()};
    }
    // Holds nothing and overlaps nothing until widened.
    static constexpr Box empty() {
        constexpr double inf = std::numeric_limits<double>::infinity();
        return {inf, inf, -inf, -inf};
    }
    // Overlaps every box: the stand-in for a shape that no box describes.
    static constexpr Box everything() {
        constexpr double inf = std::numeric_limits<double>::infinity();
        return {-inf, -inf, inf, inf};
    }

    bool holds(const krVector<2>& q) const {
        return lox <= q.x() && q.x() <= hix && loy <= q.y() && q.y() <= hiy;
    }
    bool overlaps(const Box& o) const {
        return hix >= o.lox && o.hix >= lox && hiy >= o.loy && o.hiy >= loy;
    }
    // Finite and not inverted: a box a grid can place.
    bool placeable() const {
        return std::isfinite(lox) && std::isfinite(loy) && std::isfinite(hix) &&
               std::isfinite(hiy) && lox <= hix && loy <= hiy;
    }
    // Grows to take in o as well.
    void widen(const Box& o) {
        lox = std::min(lox, o.lox);
        loy = std::min(loy, o.loy);
        hix = std::max(hix, o.hix);
        hiy = std::max(hiy, o.hiy);
    }
};

}  // namespace qel::detail

#endif
