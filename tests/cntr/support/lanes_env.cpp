// QEL_LANES=scalar|sse2|avx|avx512 runs the suite with the fast loops narrowed to
// those lanes, so that every path runs on a machine that has wider ones.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cntr/support/lanes.h"

using qel::detail::Lanes;

namespace {
[[maybe_unused]] const bool kLimited = [] {
    const char* v = std::getenv("QEL_LANES");
    if (!v || !*v) return false;
    const struct { const char* name; Lanes lanes; } names[] = {
        {"scalar", Lanes::eScalar}, {"sse2", Lanes::eSse2}, {"avx", Lanes::eAvx},
        {"avx512", Lanes::eAvx512}};
    for (const auto& n : names)
        if (std::strcmp(v, n.name) == 0) {
            qel::detail::limitLanes(n.lanes);
            const char* in[] = {"scalar", "sse2", "avx", "avx512"};
            std::fprintf(stderr, "QEL_LANES=%s: the fast loops take %s lanes\n", v,
                         in[static_cast<int>(qel::detail::widestLanes())]);
            return true;
        }
    std::fprintf(stderr, "QEL_LANES must be scalar, sse2, avx or avx512, not %s\n", v);
    std::exit(2);
}();
}  // namespace
