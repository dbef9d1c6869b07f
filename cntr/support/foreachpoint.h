// Queries over many points, shared out among the machine's cores. These are
// the only threads the library starts, and they end before the call returns.
#ifndef QEL_CNTR_SUPPORT_FOREACHPOINT_H
#define QEL_CNTR_SUPPORT_FOREACHPOINT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

#include "platform/std/threadlocal.h"
#include "platform/std/vector.h"

namespace qel::detail {

// Below this many points per thread a thread costs more than it saves.
constexpr std::size_t kPointsPerThread = 16384;

// Calls g(begin, end) for stretches that cover [0, n) in order: in the
// caller's thread for short lists, otherwise one contiguous stretch on each of
// up to one thread per usable core. g must only read what the threads share,
// and write its own stretch's answers. An exception stops its stretch; after all
// threads are done, the one from the lowest stretch is rethrown, which is the
// one a plain loop would have met first.
template <class G>
void forEachStretch(std::size_t n, G&& g) {
    const std::size_t parts = std::min(kr_UsableCores(), n / kPointsPerThread);
    if (parts <= 1) return g(std::size_t(0), n);
    std::vector<std::exception_ptr> errors(parts);
    const auto stretch = [&](std::size_t part) {
        try {
            g(n * part / parts, n * (part + 1) / parts);
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

// Calls f(i) for every i in [0, n), through forEachStretch.
template <class F>
void forEachPoint(std::size_t n, F&& f) {
    forEachStretch(n, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) f(i);
    });
}

// f(p) for each point, in order, through forEachPoint.
template <class T, class F>
std::vector<T> mapPoints(const std::vector<krVector<2>>& points, F&& f) {
    std::vector<T> out(points.size());
    forEachPoint(points.size(), [&](std::size_t i) { out[i] = f(points[i]); });
    return out;
}

// f(p, hint) for each point, as mapPoints gives f(p), the points taken
// in `order` (a permutation of their indices): each stretch of the order
// starts from a copy of `fresh`, which f may update for the next point, and
// is taken in runs of up to kRun points (the tiles of an order made by
// NearestIndex::nearbyOrder), each announced to the hint first by
// hint.nextRun(points, indices, count). Where some point fails, the plain
// mapPoints runs instead, so that the error is that of the first point in the
// list that fails.
template <class T, class Hint, class F>
std::vector<T> mapPointsInOrder(const std::vector<krVector<2>>& points, const std::vector<std::uint32_t>& order,
                               const Hint& fresh, F&& f) {
    constexpr std::size_t kRun = 64;
    std::vector<T> out(points.size());
    try {
        forEachStretch(points.size(), [&](std::size_t begin, std::size_t end) {
            Hint hint = fresh;
            // The answers land all over the list. They are gathered a run
            // at a time and then stored together, so that the stores' cache
            // misses overlap instead of holding up the searches behind them.
            T got[kRun];
            for (std::size_t j = begin; j < end; j += kRun) {
                const std::size_t m = std::min(kRun, end - j);
                hint.nextRun(points, &order[j], m);
                // The order jumps about the list; nextRun reads the run's
                // points first, all at once, which brings them in for f.
                for (std::size_t k = 0; k < m; ++k) got[k] = f(points[order[j + k]], hint);
                for (std::size_t k = 0; k < m; ++k) out[order[j + k]] = got[k];
            }
        });
    } catch (...) {
        return mapPoints<T>(points, [&](const krVector<2>& p) {
            Hint hint = fresh;
            return f(p, hint);
        });
    }
    return out;
}

}  // namespace qel::detail

#endif
