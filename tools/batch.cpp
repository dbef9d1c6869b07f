#include "tools/batch.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "platform/std/exception.h"

namespace qs {

namespace {

struct Outcome {
    std::string text;
    bool failed = false;
};

Outcome runOne(Record& r, const Work& work, unsigned long index) {
    Outcome o;
    try {
        Shape s = resolve(r);
        o.text = work(s, r.where, index);
    } catch (const InputError& e) {
        o.failed = true;
        o.text = e.what();
    } catch (const krException& e) {
        o.failed = true;
        o.text = r.where + ": " + describe(e);
    }
    return o;
}

class Progress {
public:
    explicit Progress(bool wanted) : on_(wanted && isatty(STDERR_FILENO)) {}
    void show(std::size_t done, double fraction) {
        if (!on_) return;
        double secs = std::chrono::duration<double>(Clock::now() - start_).count();
        double rate = secs > 0 ? done / secs : 0;
        double left = fraction > 0 ? secs * (1 - fraction) / fraction : 0;
        std::fprintf(stderr, "\r%zu shapes, %.0f/s, about %.0f s left   ", done, rate, left);
    }
    ~Progress() {
        if (on_) std::fprintf(stderr, "\r%60s\r", "");
    }

private:
    using Clock = std::chrono::steady_clock;
    bool on_;
    Clock::time_point start_ = Clock::now();
};

}  // namespace

BatchResult runBatch(Source& src, const Work& work, std::ostream& out, const BatchOptions& opt) {
    unsigned threads = opt.threads ? opt.threads : std::max(1u, std::thread::hardware_concurrency());
    const std::size_t chunk = 512 * threads;
    BatchResult result;
    Progress progress(opt.progress);
    std::vector<Record> records(chunk);
    std::vector<Outcome> outcomes(chunk);
    unsigned long first = 0;
    while (true) {
        std::size_t n = 0;
        while (n < chunk && src.next(records[n])) ++n;
        if (n == 0) break;
        std::atomic<std::size_t> nextIndex{0};
        auto worker = [&] {
            for (std::size_t i; (i = nextIndex++) < n;)
                outcomes[i] = runOne(records[i], work, first + static_cast<unsigned long>(i));
        };
        std::vector<std::thread> pool;
        for (unsigned t = 1; t < threads && t < n; ++t) pool.emplace_back(worker);
        worker();
        for (std::thread& t : pool) t.join();
        for (std::size_t i = 0; i < n; ++i) {
            if (!outcomes[i].failed) {
                if (result.shapes) out << opt.separator;
                out << outcomes[i].text;
                ++result.shapes;
                continue;
            }
            ++result.errors;
            out.flush();
            std::cerr << "qelshape: " << outcomes[i].text << '\n';
            if (opt.strict) return result;
        }
        first += static_cast<unsigned long>(n);
        progress.show(first, src.done());
    }
    out.flush();
    return result;
}

}  // namespace qs
