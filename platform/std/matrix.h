// 2x2 real matrices.
#ifndef QEL_PLATFORM_STD_MATRIX_H
#define QEL_PLATFORM_STD_MATRIX_H

#include <iosfwd>

#include "platform/std/angle.h"
#include "platform/std/vector.h"

template <int N>
class krMatrix;

// Row-major 2x2 matrix; the default is the identity.
template <>
class krMatrix<2> {
public:
    krMatrix() = default;
    krMatrix(double e00, double e01, double e10, double e11) : e_{{e00, e01}, {e10, e11}} {}
    // The matrix whose columns are the images of the x and y unit vectors:
    // x goes to xScale * (cos xRot, sin xRot), y to yScale * (-sin yRot, cos yRot).
    // (a, a, 1, 1) is the rotation by a.
    krMatrix(const krRadian& xRot, const krRadian& yRot, double xScale, double yScale);

    double element(int i, int j) const { return e_[i][j]; }
    void element(int i, int j, double v) { e_[i][j] = v; }
    double determinant() const { return e_[0][0] * e_[1][1] - e_[0][1] * e_[1][0]; }
    // Throws krMathError::Singular when the determinant is 0.
    krMatrix inverse() const;
    krMatrix transpose() const { return {e_[0][0], e_[1][0], e_[0][1], e_[1][1]}; }

    krMatrix operator*(const krMatrix& o) const;
    krVector<2> operator*(const krVector<2>& v) const {
        return {e_[0][0] * v.x() + e_[0][1] * v.y(), e_[1][0] * v.x() + e_[1][1] * v.y()};
    }
    krMatrix operator*(double s) const {
        return {e_[0][0] * s, e_[0][1] * s, e_[1][0] * s, e_[1][1] * s};
    }
    krMatrix operator+(const krMatrix& o) const;
    krMatrix operator-(const krMatrix& o) const;

    bool operator==(const krMatrix& o) const;
    bool operator!=(const krMatrix& o) const { return !(*this == o); }

private:
    double e_[2][2] = {{1.0, 0.0}, {0.0, 1.0}};
};

std::ostream& operator<<(std::ostream& os, const krMatrix<2>& m);

#endif
