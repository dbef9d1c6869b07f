// The vertex passes with eight lanes, for processors with AVX-512, as
// cntr/support/vertexpasses_avx.cpp has them with four. The centroid keeps four lanes,
// one for each of its running sums.
#include "cntr/support/vertexpasses.h"
#include "cntr/support/avxlanes.h"

namespace qel::detail {

const VertexPasses kAvx512Passes = {&segmentSumsIn<Avx512Lane>, &boundsIn<Avx512Lane>,
                                     &nearSegmentsIn<Avx512Lane>, &nearCapsulesIn<Avx512Lane>, &nearStretchesIn<Avx512Lane>,
                                     &centroidSumsIn<AvxLane>};

}  // namespace qel::detail
