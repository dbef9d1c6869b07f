// The outline several benchmarks share: the wavy closed star
// r = 1000 (1 + 0.3 sin 7 theta) sampled at n evenly spaced angles.
#ifndef QEL_BENCH_STAR_H
#define QEL_BENCH_STAR_H

#include <cmath>
#include <vector>

#include "platform/std/angle.h"
#include "platform/std/vector.h"

inline std::vector<krVector<2>> wavyStar(std::size_t n) {
    std::vector<krVector<2>> p;
    p.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * kPi * double(i) / double(n);
        const double r = 1000.0 * (1.0 + 0.3 * std::sin(7.0 * t));
        p.emplace_back(r * std::cos(t), r * std::sin(t));
    }
    return p;
}

#endif
