// Affine transforms of the plane.
#ifndef QEL_PLATFORM_STD_XFORM_H
#define QEL_PLATFORM_STD_XFORM_H

#include "platform/std/matrix.h"
#include "platform/std/vector.h"

template <int N>
class krXform;

// p -> matrix * p + trans.
template <>
class krXform<2> {
public:
    krXform() = default;
    krXform(const krMatrix<2>& matrix, const krVector<2>& trans) : matrix_(matrix), trans_(trans) {}

    const krMatrix<2>& matrix() const { return matrix_; }
    const krVector<2>& trans() const { return trans_; }

    krVector<2> operator*(const krVector<2>& p) const { return matrix_ * p + trans_; }
    // Composition: (a * b) * p == a * (b * p).
    krXform operator*(const krXform& o) const {
        return {matrix_ * o.matrix_, matrix_ * o.trans_ + trans_};
    }
    // Throws krMathError::Singular when the matrix has no inverse.
    krXform inverse() const;

    bool operator==(const krXform& o) const { return matrix_ == o.matrix_ && trans_ == o.trans_; }
    bool operator!=(const krXform& o) const { return !(*this == o); }

    static const krXform I;

private:
    krMatrix<2> matrix_;
    krVector<2> trans_{};
};

#endif
