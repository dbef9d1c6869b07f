// Reproducible pseudo-random numbers.
#ifndef QEL_PLATFORM_STD_RANDOM_H
#define QEL_PLATFORM_STD_RANDOM_H

#include <cstdint>

// Uniform doubles from a seeded generator (xoshiro256** seeded through
// splitmix64): the same seed gives the same sequence on every host.
class krRandomUniform {
public:
    explicit krRandomUniform(unsigned long seed = 1);
    // A value in [lo, hi); lo when hi <= lo.
    double next(double lo, double hi);

private:
    std::uint64_t nextBits();
    std::uint64_t s_[4];
};

// The largest integer not above v, as a long (saturated at the long range;
// NaN gives 0).
long kfIFloor(double v);

#endif
