#include "platform/std/matrix.h"

#include <ostream>

#include "platform/std/exception.h"

krMatrix<2>::krMatrix(const krRadian& xRot, const krRadian& yRot, double xScale, double yScale)
    : krMatrix(xScale * cos(xRot), -yScale * sin(yRot), xScale * sin(xRot), yScale * cos(yRot)) {}

krMatrix<2> krMatrix<2>::inverse() const {
    const double d = determinant();
    if (d == 0.0 || !std::isfinite(d)) throw krMathError::Singular();
    const double f = 1.0 / d;
    return {e_[1][1] * f, -e_[0][1] * f, -e_[1][0] * f, e_[0][0] * f};
}

krMatrix<2> krMatrix<2>::operator*(const krMatrix& o) const {
    krMatrix r;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) r.e_[i][j] = e_[i][0] * o.e_[0][j] + e_[i][1] * o.e_[1][j];
    return r;
}

krMatrix<2> krMatrix<2>::operator+(const krMatrix& o) const {
    return {e_[0][0] + o.e_[0][0], e_[0][1] + o.e_[0][1], e_[1][0] + o.e_[1][0],
            e_[1][1] + o.e_[1][1]};
}

krMatrix<2> krMatrix<2>::operator-(const krMatrix& o) const { return *this + o * -1.0; }

bool krMatrix<2>::operator==(const krMatrix& o) const {
    return e_[0][0] == o.e_[0][0] && e_[0][1] == o.e_[0][1] && e_[1][0] == o.e_[1][0] &&
           e_[1][1] == o.e_[1][1];
}

std::ostream& operator<<(std::ostream& os, const krMatrix<2>& m) {
    return os << '[' << m.element(0, 0) << ", " << m.element(0, 1) << "; " << m.element(1, 0)
              << ", " << m.element(1, 1) << ']';
}
