// The inside test's ray direction the plain way, every angle computed and
// sorted: the reference the fast search is held to, in tests and benchmarks.
#ifndef QEL_TESTS_REGION_PLAIN_H
#define QEL_TESTS_REGION_PLAIN_H

#include <algorithm>
#include <cmath>
#include <vector>

#include "cntr/locate/raydirection.h"
#include "platform/std/angle.h"

inline qel::detail::RayDirection plainRay(const std::vector<krVector<2>>& pts, const krVector<2>& p) {
    qel::detail::RayDirection r;
    std::vector<double> a;
    for (const krVector<2>& v : pts) {
        if ((v - p).len() <= 1e-6) {
            r.onVertex = true;
            return r;
        }
        const double t = (v - p).angle().norm().toDouble();
        if (!std::isnan(t)) a.push_back(t);
    }
    std::sort(a.begin(), a.end());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const krRadian gap = krRadian(a[i + 1 < a.size() ? i + 1 : 0] - a[i]).norm();
        if (gap.toDouble() > kPi / double(pts.size())) {
            r.direction = krVector<2>(1.0, krRadian(a[i]) + gap * 0.5);
            break;
        }
    }
    return r;
}

#endif
