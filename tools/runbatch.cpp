#include "tools/runbatch.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "platform/std/exception.h"
#include "platform/std/threadlocal.h"

namespace qs {

namespace {

struct Outcome {
    std::string text, side;
    bool failed = false;
};

// The record's error, prefixed with its place (resolve's errors come prefixed).
Outcome runOne(Record& r, const Work& work, unsigned long index) {
    Outcome o;
    bool resolved = false;
    try {
        Shape s = resolve(r);
        resolved = true;
        Answer a = work(s, r.where, index);
        o.text = std::move(a.text);
        o.side = std::move(a.side);
    } catch (const InputError& e) {
        o.failed = true;
        o.text = resolved ? r.where + ": " + e.what() : e.what();
    } catch (const krException& e) {
        o.failed = true;
        o.text = r.where + ": " + describe(e);
    }
    return o;
}

}  // namespace

Progress::Progress(bool wanted) : on_(wanted && isatty(STDERR_FILENO)) {
    if (on_) thread_ = std::thread([this] { run(); });
}

Progress::~Progress() {
    if (!on_) return;
    {
        std::lock_guard<std::mutex> l(lock_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
    std::fprintf(stderr, "\r%*s\r", 79, "");
}

void Progress::file(const std::string& path) {
    std::lock_guard<std::mutex> l(lock_);
    path_ = path;
    fraction_ = 0;
}

void Progress::done(std::size_t records) { done_ += records; }

void Progress::fraction(double f) { fraction_ = f; }

void Progress::run() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::unique_lock<std::mutex> l(lock_);
    while (!wake_.wait_for(l, std::chrono::milliseconds(250), [this] { return stop_; })) {
        double secs = std::chrono::duration<double>(Clock::now() - start).count();
        std::size_t n = done_;
        double f = fraction_;
        std::string left = f > 0.01 ? ", about " + std::to_string(long(secs * (1 - f) / f)) + " s left" : "";
        std::string name = path_.size() > 30 ? "..." + path_.substr(path_.size() - 27) : path_;
        std::fprintf(stderr, "\r%s: %zu shapes, %.0f/s%s   ", name.c_str(), n, secs > 0 ? n / secs : 0.0,
                     left.c_str());
        std::fflush(stderr);
    }
}

BatchResult runBatch(Source& src, const Work& work, std::ostream& out, const BatchOptions& opt) {
    unsigned threads = opt.threads ? opt.threads : static_cast<unsigned>(kr_UsableCores());
    const std::size_t chunk = 512 * threads;
    BatchResult result;
    std::vector<Record> records(chunk);
    std::vector<Outcome> outcomes(chunk);
    unsigned long first = 0;
    while (true) {
        std::size_t n = 0;
        while (n < chunk && src.next(records[n])) ++n;
        if (n == 0) break;
        std::atomic<std::size_t> nextIndex{0};
        auto worker = [&] {
            for (std::size_t i; (i = nextIndex++) < n;) {
                outcomes[i] = runOne(records[i], work, first + static_cast<unsigned long>(i));
                if (opt.reporter) opt.reporter->done(1);
            }
        };
        std::vector<std::thread> pool;
        for (unsigned t = 1; t < threads && t < n; ++t) pool.emplace_back(worker);
        worker();
        for (std::thread& t : pool) t.join();
        for (std::size_t i = 0; i < n; ++i) {
            if (!outcomes[i].failed) {
                if (result.shapes || opt.separateFirst) out << opt.separator;
                out << outcomes[i].text;
                if (opt.side) *opt.side << outcomes[i].side;
                ++result.shapes;
                continue;
            }
            ++result.errors;
            out.flush();
            std::cerr << "qelshape: " << outcomes[i].text << '\n';
            if (opt.strict) return result;
        }
        first += static_cast<unsigned long>(n);
        if (opt.reporter) opt.reporter->fraction(src.done());
    }
    out.flush();
    return result;
}

}  // namespace qs
