// Exact sums of products of doubles, for the geometric predicates: a value
// is kept as a nonoverlapping expansion, components of increasing magnitude
// whose exact sum it is, so its sign is that of its largest component.
#ifndef QEL_PLATFORM_STD_EXPANSION_H
#define QEL_PLATFORM_STD_EXPANSION_H

#include <cmath>
#include <vector>

namespace qel_exact {

// s + e == a + b exactly.
inline void twoSum(double a, double b, double& s, double& e) {
    s = a + b;
    const double bv = s - a, av = s - bv;
    e = (a - av) + (b - bv);
}

// Adds b to the expansion h[0 .. n), which has room for one more component;
// zero components are dropped.
inline void grow(double* h, int& n, double b) {
    int k = 0;
    double q = b;
    for (int i = 0; i < n; ++i) {
        double e;
        twoSum(q, h[i], q, e);
        if (e != 0.0) h[k++] = e;
    }
    if (q != 0.0 || k == 0) h[k++] = q;
    n = k;
}

// An expansion of any length, with the few operations the predicates need.
// Exact as long as no product underflows or overflows.
class Expansion {
public:
    Expansion() = default;
    explicit Expansion(double v) : c_{v} {}
    // a - b, exactly, in at most two components.
    static Expansion difference(double a, double b) {
        Expansion d;
        double s, e;
        twoSum(a, -b, s, e);
        d.c_ = {e, s};
        return d;
    }
    Expansion& operator+=(const Expansion& o) {
        for (double v : o.c_) add(v);
        return *this;
    }
    Expansion operator*(const Expansion& o) const {
        Expansion p;
        for (double a : c_)
            for (double b : o.c_) {
                const double r = a * b;
                p.add(std::fma(a, b, -r));
                p.add(r);
            }
        return p;
    }
    Expansion operator-() const {
        Expansion n = *this;
        for (double& v : n.c_) v = -v;
        return n;
    }
    int sign() const { return c_.empty() ? 0 : c_.back() > 0.0 ? 1 : c_.back() < 0.0 ? -1 : 0; }

private:
    void add(double v) {
        int n = static_cast<int>(c_.size());
        c_.push_back(0.0);
        grow(c_.data(), n, v);
        c_.resize(static_cast<std::size_t>(n));
    }
    std::vector<double> c_;
};

}  // namespace qel_exact

#endif
