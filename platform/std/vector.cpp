#include "platform/std/vector.h"

#include <ostream>

#include "platform/std/exception.h"

krVector<2> krVector<2>::unit() const {
    const double l = len();
    if (l == 0.0) throw krMathError::Singular();
    return {x_ / l, y_ / l};
}

std::ostream& operator<<(std::ostream& os, const krVector<2>& v) {
    return os << '(' << v.x() << ", " << v.y() << ')';
}
