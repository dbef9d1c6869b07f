// Runs one piece of work on every record of a file, on all cores, writing
// the answers in input order.
#ifndef QEL_TOOLS_RUNBATCH_H
#define QEL_TOOLS_RUNBATCH_H

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "io/reader.h"

namespace qs {

// How far a command has got, on standard error when it is a terminal: from
// the start and four times a second, the file being read, the shapes done,
// their rate and, when the file's size tells, the time left.
class Progress {
public:
    explicit Progress(bool wanted);
    ~Progress();  // clears the line
    void file(const std::string& path);
    void done(std::size_t records);  // more records finished; any thread
    void fraction(double f);         // of the current file read, 0 to 1

private:
    void run();
    bool on_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::string path_;
    std::atomic<std::size_t> done_{0};
    std::atomic<double> fraction_{0};
    std::thread thread_;
};

struct BatchOptions {
    unsigned threads = 0;  // 0: one a core
    bool strict = false;   // stop at the first bad shape
    bool progress = true;  // on standard error, and only when it is a terminal
    Progress* reporter = nullptr;  // told of every record done, when given
    std::ostream* side = nullptr;  // where the answers' side lines go
    std::string separator;  // written between two answers (a JSON list's comma)
    bool separateFirst = false;  // and before the first, when another file's answers came before
};

struct BatchResult {
    std::size_t shapes = 0;  // records done well
    std::size_t errors = 0;  // records reported on standard error
};

// What one shape gives: the text for the output, and a line for the side
// stream (repair's changed/unchanged log), both written in input order.
struct Answer {
    Answer(std::string t = std::string(), std::string s = std::string())
        : text(std::move(t)), side(std::move(s)) {}
    std::string text, side;
};

// The answer for one shape; index counts records from 0. Throws InputError
// or a krException for a shape it cannot handle.
using Work = std::function<Answer(const Shape&, const std::string& where, unsigned long index)>;

// Records are taken a chunk at a time, so memory stays bounded whatever the
// file's size; each chunk is shared among the threads and its answers are
// written in order before the next chunk is read.
BatchResult runBatch(Source& src, const Work& work, std::ostream& out, const BatchOptions& opt);

}  // namespace qs

#endif
