// Queries over many points, shared out among the machine's cores. These are
// the only threads the library starts, and they end before the call returns.
#ifndef QEL_CNTR_SUPPORT_FOREACHPOINT_H
#define QEL_CNTR_SUPPORT_FOREACHPOINT_H

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

#include "platform/std/vector.h"

namespace qel::detail {

// Below this many points per thread a thread costs more than it saves.
constexpr std::size_t kPointsPerThread = 16384;

// Calls f(i) for every i in [0, n): in the caller's thread for short lists,
// otherwise in contiguous stretches on up to one thread per core. f must only
// read what the threads share, and write its own i's answer. An exception
// stops its stretch; after all threads are done, the one from the lowest
// stretch is rethrown, which is the one a plain loop would have met first.
template <class F>
void forEachPoint(std::size_t n, F&& f) {
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t parts = std::min(cores, n / kPointsPerThread);
    if (parts <= 1) {
        for (std::size_t i = 0; i < n; ++i) f(i);
        return;
    }
    std::vector<std::exception_ptr> errors(parts);
    const auto stretch = [&](std::size_t part) {
        try {
            for (std::size_t i = n * part / parts, end = n * (part + 1) / parts; i < end; ++i) f(i);
        } catch (...) {
            errors[part] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(parts - 1);
    try {
        for (std::size_t part = 1; part < parts; ++part) threads.emplace_back(stretch, part);
    } catch (...) {
        // No thread to be had: the rest runs here.
        for (std::size_t part = threads.size() + 1; part < parts; ++part) stretch(part);
    }
    stretch(0);
    for (std::thread& t : threads) t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

// f(p) for each point, in order, through forEachPoint.
template <class T, class F>
std::vector<T> mapPoints(const std::vector<krVector<2>>& points, F&& f) {
    std::vector<T> out(points.size());
    forEachPoint(points.size(), [&](std::size_t i) { out[i] = f(points[i]); });
    return out;
}

}  // namespace qel::detail

#endif
