#include "cntr/locate/ringinside.h"

#include "platform/std/hull.h"

namespace qel::detail {

namespace {

// The ray's count for one edge: one end above q (strictly), the other not,
// and q strictly left of the edge taken upwards.
inline bool rayCrosses(const krVector<2>& a, const krVector<2>& b, const krVector<2>& q) {
    if ((a.y() > q.y()) == (b.y() > q.y())) return false;
    if (a.x() > q.x() && b.x() > q.x()) return true;
    if (a.x() < q.x() && b.x() < q.x()) return false;
    const bool up = b.y() > a.y();
    return kfOrientation(up ? a : b, up ? b : a, q) > 0;
}

}  // namespace

bool ringInside(const krVector<2>* p, std::size_t n, const krVector<2>& q) {
    if (n == 0) return false;
    bool odd = false;
    const double qy = q.y();
    const krVector<2>* a = &p[n - 1];
    for (std::size_t k = 0; k < n; a = &p[k++]) {
        const krVector<2>& b = p[k];
        // Most edges lie wholly above or below q and beyond the reach.
        const double ay = a->y(), by = b.y();
        if ((ay < qy - kInsideScreen && by < qy - kInsideScreen) ||
            (ay > qy + kInsideScreen && by > qy + kInsideScreen))
            continue;
        if (withinReach(*a, b, q)) return true;
        odd ^= rayCrosses(*a, b, q);
    }
    return odd;
}

}  // namespace qel::detail
