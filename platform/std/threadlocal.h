// Per-thread storage slots, clean-up at thread exit, and how many threads
// are worth starting.
#ifndef QEL_PLATFORM_STD_THREADLOCAL_H
#define QEL_PLATFORM_STD_THREADLOCAL_H

#include <cstddef>

// A process-wide slot that holds one pointer per thread, null until the thread
// sets it. Slots are numbered, so a slot made after another thread has ended
// never sees a stale value.
class kr_ThreadLocal {
public:
    kr_ThreadLocal();
    ~kr_ThreadLocal();
    kr_ThreadLocal(const kr_ThreadLocal&) = delete;
    kr_ThreadLocal& operator=(const kr_ThreadLocal&) = delete;

    void* get() const;
    void set(void* value);

private:
    std::size_t index_;
};

class krThreadID {
public:
    // Runs fn(arg) when the calling thread ends (for the main thread: at
    // process exit), in the reverse order of registration.
    static void atexit(void (*fn)(void*), void* arg);
};

// The cores this process may run on: fewer than the machine has under an
// affinity mask (a pinned process, a container's CPU set), where more threads
// than cores would only take turns. At least 1.
std::size_t kr_UsableCores();

#endif
