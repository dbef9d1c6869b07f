#include "cntr/support/boundedmap.h"

#include "platform/std/threadlocal.h"

namespace qel::detail {

namespace {
void deleteGenerator(void* p) { delete static_cast<krRandomUniform*>(p); }
}  // namespace

krRandomUniform& replacementGenerator() {
    // The slot is made once, on first use, and destroyed at process exit.
    static kr_ThreadLocal slot;
    auto* gen = static_cast<krRandomUniform*>(slot.get());
    if (!gen) {
        gen = new krRandomUniform(1);
        slot.set(gen);
        krThreadID::atexit(&deleteGenerator, gen);
    }
    return *gen;
}

}  // namespace qel::detail
