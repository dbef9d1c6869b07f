#include "platform/std/threadlocal.h"

#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace {
std::atomic<std::size_t> gNextSlot{0};

// The calling thread's slot values and clean-ups; destroyed at thread exit.
struct ThreadState {
    std::vector<void*> values;
    std::vector<std::pair<void (*)(void*), void*>> cleanups;
    ~ThreadState() {
        while (!cleanups.empty()) {
            auto c = cleanups.back();
            cleanups.pop_back();
            c.first(c.second);
        }
    }
};

ThreadState& state() {
    thread_local ThreadState s;
    return s;
}
}  // namespace

kr_ThreadLocal::kr_ThreadLocal() : index_(gNextSlot.fetch_add(1)) {}
kr_ThreadLocal::~kr_ThreadLocal() = default;

void* kr_ThreadLocal::get() const {
    const auto& v = state().values;
    return index_ < v.size() ? v[index_] : nullptr;
}

void kr_ThreadLocal::set(void* value) {
    auto& v = state().values;
    if (index_ >= v.size()) v.resize(index_ + 1, nullptr);
    v[index_] = value;
}

void krThreadID::atexit(void (*fn)(void*), void* arg) { state().cleanups.emplace_back(fn, arg); }

std::size_t kr_UsableCores() {
#ifdef __linux__
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<std::size_t>(std::max(1, CPU_COUNT(&set)));
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}
