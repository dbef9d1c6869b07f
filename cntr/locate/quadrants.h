// The ray search's quadrant logic, written once for every width of lanes: the
// quadrant of a direction, its pseudo-angle k + t / s, and the screen of 64
// vertices against a window that ends in a quadrant. A lane type L gives the
// values (L::V) and tests (L::Mask) of one direction (ScalarLane), two
// (Sse2Lane), both of cntr/support/lanes.h, or four (the AVX lanes of
// cntr/support/avxlanes.h, for the files built for AVX). Every width takes
// the same operations on the same values, so all give the same answers.
#ifndef QEL_CNTR_LOCATE_QUADRANTS_H
#define QEL_CNTR_LOCATE_QUADRANTS_H

#include <cstdint>

#include "cntr/support/lanes.h"

namespace qel::detail {

// A direction (x, y), or several, and the quadrant masks: k = 0 for x > 0 and
// y >= 0, 1 for x <= 0 and y > 0, 2 for x < 0 and y <= 0, 3 for x >= 0 and
// y < 0; none for (0, 0) or a NaN. Within quadrant k the pseudo-angle is
// k + t(k) / s(k), which grows with the angle.
template <class L>
struct Quadrants {
    typedef typename L::V V;
    typedef typename L::Mask Mask;
    V x, y;
    Mask q[4];

    Quadrants(V x_, V y_) : x(x_), y(y_) {
        const V zero = L::set(0.0);
        q[0] = L::both(L::gt(x, zero), L::ge(y, zero));
        q[1] = L::both(L::le(x, zero), L::gt(y, zero));
        q[2] = L::both(L::lt(x, zero), L::le(y, zero));
        q[3] = L::both(L::ge(x, zero), L::lt(y, zero));
    }
    V t(int k) const { return k == 0 ? y : k == 1 ? L::neg(x) : k == 2 ? L::neg(y) : x; }
    V s(int k) const {
        return k == 0   ? L::add(x, y)
               : k == 1 ? L::sub(y, x)
               : k == 2 ? L::sub(L::neg(x), y)
                        : L::sub(x, y);
    }
    // The fourth quadrant's turns that cannot round up to a full one, given
    // the part of that quadrant from which they may.
    Mask notFull(V lastQuarter) const { return L::lt(x, L::mul(L::sub(x, y), lastQuarter)); }
    // The pseudo-angles; quadrant 3's formula where there is no quadrant.
    V pseudoAngle() const {
        V tk = t(3), sk = s(3), base = L::set(3.0);
        for (int k = 2; k >= 0; --k) {
            tk = L::select(q[k], t(k), tk);
            sk = L::select(q[k], s(k), sk);
            base = L::select(q[k], L::set(k), base);
        }
        return L::add(base, L::div(tk, sk));
    }
    // The directions surely above a window that ends in quadrant M at
    // M + f, 0 < f < 1: those of later quadrants (in the fourth, unless the
    // turn may round up to a full one), and in quadrant M those with t > f s.
    template <int M>
    Mask aboveWindow(V f, V lastQuarter) const {
        Mask above = L::both(q[M], L::gt(t(M), L::mul(f, s(M))));
        if (M == 3) above = L::both(above, notFull(lastQuarter));
        for (int k = M + 1; k < 3; ++k) above = L::either(above, q[k]);
        if (M < 3) above = L::either(above, L::both(q[3], notFull(lastQuarter)));
        return above;
    }
};

// Of the 64 vertices at xy (x and y of each in turn), the bit of each that may
// not be passed over: one within `near` (a squared distance) of p, or, unless
// useless, one not surely above the window M + f that aboveWindow describes.
template <int M, class L>
std::uint64_t screenBlock(const double* xy, double px, double py, double near, double f,
                              double lastQuarter, bool useless) {
    typedef typename L::V V;
    typedef typename L::Mask Mask;
    const V vx = L::set(px), vy = L::set(py), vnear = L::set(near), vf = L::set(f);
    const V lq = L::set(lastQuarter);
    const Mask all = L::all(useless);
    std::uint64_t todo = 0;
    for (unsigned k = 0; k < 64; k += L::kWidth) {
        V x, y;
        L::load(xy + 2 * k, x, y);
        x = L::sub(x, vx);
        y = L::sub(y, vy);
        const V d = L::add(L::mul(x, x), L::mul(y, y));
        const Mask above = L::either(all, Quadrants<L>(x, y).template aboveWindow<M>(vf, lq));
        const Mask skip = L::both(L::gt(d, vnear), above);
        todo |= static_cast<std::uint64_t>(L::bits(skip) ^ ((1u << L::kWidth) - 1)) << k;
    }
    return todo;
}

}  // namespace qel::detail

#endif
