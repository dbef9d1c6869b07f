#include "alloc_watch.h"

#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define QEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_TEST_ASAN 1
#endif
#endif

namespace {
thread_local bool tWatching = false;
thread_local std::size_t tLargest = 0;
thread_local long tFailIn = -1;
}  // namespace

namespace kt {
#ifdef QEL_TEST_ASAN
bool allocationsWatchable() { return false; }
#else
bool allocationsWatchable() { return true; }
#endif
void watchAllocations() {
    tLargest = 0;
    tWatching = true;
}
void failAllocation(long n) { tFailIn = n; }
std::size_t largestAllocation() {
    tWatching = false;
    return tLargest;
}
}  // namespace kt

#ifndef QEL_TEST_ASAN
// Kept in a file of its own so no caller's code is compiled against these bodies.
void* operator new(std::size_t n) {
    if (tWatching && n > tLargest) tLargest = n;
    if (tFailIn >= 0 && tFailIn-- == 0) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif
