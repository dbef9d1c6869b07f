// A persistent that holds shared contours and other nodes, so the fuzzer can
// reach shared references, nesting, cycles and objects of the wrong class.
#ifndef QEL_FUZZ_FUZZ_NODE_H
#define QEL_FUZZ_FUZZ_NODE_H

#include <vector>

#include "cntr/contour.h"
#include "platform/std/archive.h"

class krFuzzNode : public virtual krPersistent, public virtual krRepBase {
public:
    std::vector<krPtrHandle_const<krContour>> contours;
    std::vector<krPtrHandle<krFuzzNode>> children;

    void dispatchSerialize(krArchive& ar) override;

private:
    static krPersistent* make();
    static kr_Instantiator sExemplar;
};

#endif
