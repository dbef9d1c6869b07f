#include "platform/std/vector.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "platform/std/exception.h"

double kfScaledLength(double x, double y) {
    const double m = std::max(std::fabs(x), std::fabs(y));
    // Zero, infinite or NaN: nothing to scale.
    if (m == 0.0 || !std::isfinite(m)) return m == 0.0 ? 0.0 : std::fabs(x) + std::fabs(y);
    // A power of two near m: the scaling itself is exact.
    const int e = std::ilogb(m);
    const double sx = std::scalbn(x, -e), sy = std::scalbn(y, -e);
    return std::scalbn(std::sqrt(sx * sx + sy * sy), e);
}

krVector<2> krVector<2>::unit() const {
    const double l = len();
    if (l == 0.0) throw krMathError::Singular();
    return {x_ / l, y_ / l};
}

std::ostream& operator<<(std::ostream& os, const krVector<2>& v) {
    return os << '(' << v.x() << ", " << v.y() << ')';
}
