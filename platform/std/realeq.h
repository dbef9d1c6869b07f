// Comparison of real values within an absolute tolerance.
#ifndef QEL_PLATFORM_STD_REALEQ_H
#define QEL_PLATFORM_STD_REALEQ_H

#include <cmath>

#include "platform/std/matrix.h"
#include "platform/std/vector.h"

// True when |a - b| <= tol; a NaN is never equal to anything.
inline bool kfRealEq(double a, double b, double tol) { return std::fabs(a - b) <= tol; }

// True when every component is within tol.
inline bool kfRealEq(const krVector<2>& a, const krVector<2>& b, double tol) {
    return kfRealEq(a.x(), b.x(), tol) && kfRealEq(a.y(), b.y(), tol);
}

inline bool kfRealEq(const krMatrix<2>& a, const krMatrix<2>& b, double tol) {
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            if (!kfRealEq(a.element(i, j), b.element(i, j), tol)) return false;
    return true;
}

#endif
