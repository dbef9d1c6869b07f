// The ray search's screen with four lanes, for processors with AVX. This file
// is built for AVX, and it defines nothing that another file defines too:
// everything here is its own (the lanes are local, the screen is instantiated
// for them only), so no function built for AVX can stand in for one that runs
// on every machine.
#include <cstdint>

#include "cntr/locate/quadrants.h"
#include "cntr/support/avxlanes.h"

namespace qel::detail {

std::uint64_t screenFirstQuarterAvx(const double* xy, double px, double py, double near, double qHigh,
                                    double lastQuarter, bool useless) {
    return screenBlock<0, AvxLane>(xy, px, py, near, qHigh, lastQuarter, useless);
}

}  // namespace qel::detail
