// Point location in a closed ring by one pass over its edges: whether a
// point lies within the inside test's reach of the ring or, farther away,
// inside it by the even-odd rule.
#ifndef QEL_CNTR_LOCATE_RINGINSIDE_H
#define QEL_CNTR_LOCATE_RINGINSIDE_H

#include <algorithm>
#include <cstddef>

#include "cntr/support/tolerance.h"
#include "platform/std/geometry.h"
#include "platform/std/vector.h"

namespace qel::detail {

// A point this near a ring's vertex or edge counts as inside it.
constexpr double kInsideReach = knTolerance::kContact;

// Whether q lies within kInsideReach of an edge of the closed ring p[0 .. n)
// (its vertices included), and otherwise whether q is inside the ring by the
// even-odd rule. The parity comes from a ray from q towards +x: an edge counts
// when one end lies above q and the other not (so a vertex level with q counts
// as above) and q lies strictly left of the edge taken upwards, decided by the
// exact orientation. The rule is that of q moved up by an infinitesimal and
// right by a far larger one, so every point gets one consistent answer, and
// points farther than the reach get the exact one. One pass over the edges;
// nothing is kept. The caller checks the bounding rectangle.
bool ringInside(const krVector<2>* p, std::size_t n, const krVector<2>& q);

// Box tests screen edges for the reach with a wider margin, so that their
// rounding never drops an edge within kInsideReach; the distance decides.
constexpr double kInsideScreen = 1.5 * kInsideReach;

// Whether q lies within kInsideReach of the segment a b. The foot is clamped
// to the segment, and at either end the distance is the vertex's own, as
// krVector<2>::distance gives it.
inline bool withinReach(const krVector<2>& a, const krVector<2>& b, const krVector<2>& q) {
    const double qx = q.x(), qy = q.y();
    if (qx < std::min(a.x(), b.x()) - kInsideScreen ||
        qx > std::max(a.x(), b.x()) + kInsideScreen ||
        qy < std::min(a.y(), b.y()) - kInsideScreen || qy > std::max(a.y(), b.y()) + kInsideScreen)
        return false;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double px = qx - a.x(), py = qy - a.y();
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0.0 ? (px * dx + py * dy) / len2 : 0.0;
    double d;
    if (!(t > 0.0))
        d = kfLength(px, py);
    else if (t >= 1.0)
        d = kfLength(qx - b.x(), qy - b.y());
    else
        d = kfLength(px - t * dx, py - t * dy);
    return d <= kInsideReach;
}

}  // namespace qel::detail

#endif
