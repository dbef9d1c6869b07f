// The vertex passes with four lanes, for processors with AVX. This file is
// built for AVX; everything it builds is its own (the lanes are local, the
// passes instantiated for them only), so nothing built for AVX can stand in
// for a function that runs on every machine.
#include "cntr/support/vertexpasses.h"
#include "cntr/support/avxlanes.h"

namespace qel::detail {

const VertexPasses kAvxPasses = {&segmentSumsIn<AvxLane>, &boundsIn<AvxLane>, &nearSegmentsIn<AvxLane>,
                                  &nearCapsulesIn<AvxLane>, &nearStretchesIn<AvxLane>, &centroidSumsIn<AvxLane>};

}  // namespace qel::detail
