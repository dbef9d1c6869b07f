#include "platform/std/persistent.h"

#include "platform/std/exception.h"

// The archive arrives with its own library code; until then records are empty.
void krPersistent::dispatchSerialize(krArchive&) {}

void krPersistent::loadSimple(krArchive& ar) {
    reInit();
    dispatchSerialize(ar);
}

void krException::dispatchSerialize(krArchive& ar) { krPersistent::dispatchSerialize(ar); }
