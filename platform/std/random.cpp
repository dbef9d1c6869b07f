#include "platform/std/random.h"

#include <cmath>
#include <limits>

namespace {
std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}
std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
}  // namespace

krRandomUniform::krRandomUniform(unsigned long seed) {
    std::uint64_t x = seed;
    for (auto& s : s_) s = splitmix64(x);
}

std::uint64_t krRandomUniform::nextBits() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
}

double krRandomUniform::next(double lo, double hi) {
    // 53 random bits give a double in [0, 1).
    const double u = static_cast<double>(nextBits() >> 11) * 0x1.0p-53;
    if (!(hi > lo)) return lo;
    const double v = lo + (hi - lo) * u;
    // Rounding can carry lo + (hi - lo) * u up to hi; keep the interval half-open.
    return v < hi ? v : std::nextafter(hi, lo);
}

long kfIFloor(double v) {
    if (std::isnan(v)) return 0;
    const double f = std::floor(v);
    if (f <= static_cast<double>(std::numeric_limits<long>::min()))
        return std::numeric_limits<long>::min();
    if (f >= static_cast<double>(std::numeric_limits<long>::max()))
        return std::numeric_limits<long>::max();
    return static_cast<long>(f);
}
