// Largest single allocation while watched, for tests that show a hostile
// input costs no memory. The address sanitizer owns operator new in its
// builds, so there the watch sees nothing and watchable() is false.
#ifndef QEL_TESTS_ALLOC_WATCH_H
#define QEL_TESTS_ALLOC_WATCH_H

#include <cstddef>

namespace kt {
bool allocationsWatchable();
// Starts watching this thread's allocations, from a largest size of 0.
void watchAllocations();
// Stops watching and returns the largest single request seen.
std::size_t largestAllocation();
// Makes this thread's n-th allocation from now (0: the next) throw
// std::bad_alloc, once; a negative n stops it.
void failAllocation(long n);
}  // namespace kt

#endif
