// A shared class defined only here: the handle tests hold and release it
// where it is merely declared.
#include "platform/std/handle.h"

struct OpaqueShape : krRepBase {
    explicit OpaqueShape(int* deaths) : deaths_(deaths) {}
    ~OpaqueShape() override { ++*deaths_; }
    int* deaths_;
};

krPtrHandle_const<OpaqueShape> makeOpaqueShape(int* deaths) {
    return krPtrHandle_const<OpaqueShape>(new OpaqueShape(deaths));
}
