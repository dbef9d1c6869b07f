#include "platform/std/handle.h"

long kfInterlockedIncrement(volatile long* value) {
    return __atomic_add_fetch(value, 1L, __ATOMIC_ACQ_REL);
}

long kfInterlockedDecrement(volatile long* value) {
    return __atomic_sub_fetch(value, 1L, __ATOMIC_ACQ_REL);
}
