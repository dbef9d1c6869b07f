// The crossing tests of the segment queries: whether a query segment keeps
// a crossing with a contour's segment, decided in full or, where it can be,
// from a few cross products; and the screens that rule pairs and boxes out.
#ifndef QEL_CNTR_SUPPORT_CROSSING_H
#define QEL_CNTR_SUPPORT_CROSSING_H

#include <algorithm>
#include <cmath>

#include "cntr/support/tolerance.h"
#include "platform/std/geometry.h"
#include "platform/std/vector.h"

namespace qel::detail {

using knTolerance::kContact;
using knTolerance::kPairReach;
using knTolerance::kRoom;
using knTolerance::kRounding;
using knTolerance::kUnitRoundoff;

// Whether the query seg (whose line is line) keeps a crossing with the
// contour's segment own, and where: the two must not be parallel; without
// includeEnds, own must keep more than kContact from both ends of seg; and the
// lines' common point must lie within kContact of both segments.
// The tests are pure, so their order is free: the end test goes first, since
// neighbouring segments share an end and fail it at once.
inline bool keptCrossing(const krLineSeg& seg, const krLine& line, bool includeEnds,
                         const krLineSeg& own, krVector<2>& p) {
    if (!includeEnds &&
        (own.distToPoint(seg.p2()) <= kContact || own.distToPoint(seg.p1()) <= kContact))
        return false;
    const krLine ownLine = own.line();
    if (ownLine.isParallel(line)) return false;
    p = ownLine.intersect(line).pos();
    return own.distToPoint(p) < kContact && seg.distToPoint(p) < kContact;
}

// keptCrossing without ends, decided from four cross products where the
// segments cross cleanly or the contour's segment keeps well away from the
// query's line: 1 kept, 0 not kept, -1 when only the full test can tell. The
// verdict is the full test's whenever it is given.
//
// The error bound E. With S the sum of the sizes of the eight coordinates, a
// cross product of two differences of them, (x1 - x0)(y3 - y2) - (y1 - y0)(x3 - x2),
// rounds three times in each product (its two differences and itself) and
// once more in the final difference, so it lies within
// ((1 + u)^4 - 1)(|x1 - x0||y3 - y2| + |y1 - y0||x3 - x2|) of its exact
// value, u the unit roundoff. Expanded, that sum of products holds no product
// of two sizes more often than S^2 does, so it is at most S^2, and
// 4u(1 + 2u) S^2 bounds the error. E takes 32 times that, which leaves the
// rounding of S, of E itself and of the squares below far behind.
class QuickCrossing {
public:
    // Past this size kRounding * S no longer fits within kContact; below the
    // smallest one the squares of E underflow.
    static constexpr double kLargest = kContact / kRounding;
    static constexpr double kSmallest = 1e-30;
    static constexpr double kErrorPerSquare = 32 * 4 * kUnitRoundoff * (1 + 2 * kUnitRoundoff);
    // The computed common point lies within 2 E |u| / |d| of the exact one
    // (u and v the directions, d = u x v: the quotient t of two cross
    // products, each within E, moves by at most 2E / |d| for t in [0, 1]),
    // plus a part in 1e15 of S for the point's own rounding. Keeping the first
    // part under kContact / 20, d^2 >= (40 / kContact)^2 E^2 |u|^2, and the
    // second under kRoom (S <= kLargest) puts the point within kContact / 10
    // of the exact crossing, which lies inside both segments.
    static constexpr double kPointShare = (40 / kContact) * (40 / kContact);

    explicit QuickCrossing(const krLineSeg& seg)
        : s_(seg.p1()),
          e_(seg.p2()),
          v_(e_ - s_),
          vlen_(std::sqrt(v_ * v_)),
          mag_(std::fabs(s_.x()) + std::fabs(s_.y()) + std::fabs(e_.x()) + std::fabs(e_.y())) {}

    int operator()(const krLineSeg& own) const {
        const krVector<2>& a = own.p1();
        const krVector<2>& b = own.p2();
        const double S =
            mag_ + std::fabs(a.x()) + std::fabs(a.y()) + std::fabs(b.x()) + std::fabs(b.y());
        if (!(S <= kLargest && S >= kSmallest)) return -1;  // also catches what is not a number
        const double E = kErrorPerSquare * S * S;
        const krVector<2> u = b - a;
        // own's ends against the query's line, scaled by |v|.
        const double ca = kfCross(v_, a - s_), cb = kfCross(v_, b - s_);
        if (!((ca > E && cb < -E) || (ca < -E && cb > E))) {
            // Both ends farther than kPairReach to one side, with a further
            // kContact and kRounding S of room: no point within kContact of
            // own comes within kContact of the query, rounding included.
            const double far = E + (kPairReach + kContact + kRounding * S) * vlen_ * (1.0 + kRoom);
            return (ca > far && cb > far) || (ca < -far && cb < -far) ? 0 : -1;
        }
        // The query's ends against own's line, scaled by |u|.
        const double cs = kfCross(u, s_ - a), ce = kfCross(u, e_ - a);
        if (!((cs > E && ce < -E) || (cs < -E && ce > E))) return -1;
        // The segments cross inside both. The ends keep more than kContact
        // from own's line, so from own, with room for the rounding of distToPoint.
        const double uu = u * u, keep = kContact + kRounding * S;
        const double ds = std::fabs(cs) - E, de = std::fabs(ce) - E;
        if (!(ds * ds > keep * keep * uu * (1.0 + kRoom) &&
              de * de > keep * keep * uu * (1.0 + kRoom)))
            return -1;
        if (own.line().isParallel(krLine(s_, v_))) return 0;
        const double d = kfCross(u, v_);
        return d * d >= kPointShare * E * E * uu ? 1 : -1;
    }

private:
    krVector<2> s_{}, e_{}, v_{};
    double vlen_, mag_;
};

// Whether segment t keeps wholly on one side of segment s's line, farther than
// near from it (and so farther than near from s). A test with slack: false
// when in doubt.
inline bool apart(const krVector<2>& s1, const krVector<2>& s2, const krVector<2>& t1,
                  const krVector<2>& t2, double near) {
    const double dx = s2.x() - s1.x(), dy = s2.y() - s1.y();
    const double c1 = dx * (t1.y() - s1.y()) - dy * (t1.x() - s1.x());
    const double c2 = dx * (t2.y() - s1.y()) - dy * (t2.x() - s1.x());
    const double c = (c1 > 0) == (c2 > 0) ? std::min(std::fabs(c1), std::fabs(c2)) : 0.0;
    // c is the smaller distance times |d|; compare squares, widened by far
    // more than the rounding of c (relative to the coordinates' size).
    const double m = std::max({std::fabs(s1.x()), std::fabs(s1.y()), std::fabs(t1.x()),
                               std::fabs(t1.y()), std::fabs(t2.x()), std::fabs(t2.y())});
    const double reach = near + kRounding * m;
    // Below 1e75 none of the squares overflows; a valid segment's squared
    // length is far above where reach's square times it could underflow.
    return m < 1e75 && c * c > reach * reach * (dx * dx + dy * dy);
}

// Whether seg may come within reach of a kept crossing with a segment inside
// the box: a kept crossing lies within kContact of both segments, so a box
// farther than kPairReach from seg holds none. The test clips seg to the box
// grown by five times that, for room to spare, plus kRounding of the
// coordinates for the rounding of the clip and of the crossing's own
// distances. Without finite coordinates nothing is ruled out.
inline bool segmentNearBox(const krLineSeg& seg, double lox, double loy, double hix, double hiy) {
    const double ax = seg.p1().x(), ay = seg.p1().y(), dx = seg.p2().x() - ax,
                 dy = seg.p2().y() - ay;
    const double m =
        std::max({std::fabs(ax), std::fabs(ay), std::fabs(seg.p2().x()), std::fabs(seg.p2().y()),
                  std::fabs(lox), std::fabs(loy), std::fabs(hix), std::fabs(hiy)});
    if (!std::isfinite(m) || !std::isfinite(dx) || !std::isfinite(dy)) return true;
    const double grow = 5 * kPairReach + kRounding * m;
    double t0 = 0.0, t1 = 1.0;
    // Each side of the grown box: the part of seg on its inner side.
    const double ps[4] = {-dx, dx, -dy, dy};
    const double qs[4] = {ax - (lox - grow), (hix + grow) - ax, ay - (loy - grow),
                          (hiy + grow) - ay};
    for (int i = 0; i < 4; ++i) {
        if (ps[i] == 0.0) {
            if (qs[i] < 0.0) return false;
        } else if (ps[i] < 0.0) {
            t0 = std::max(t0, qs[i] / ps[i]);
        } else {
            t1 = std::min(t1, qs[i] / ps[i]);
        }
    }
    return t0 <= t1;
}

}  // namespace qel::detail

#endif
