// Runs one piece of work on every record of a file, on all cores, writing
// the answers in input order.
#ifndef QEL_TOOLS_BATCH_H
#define QEL_TOOLS_BATCH_H

#include <functional>
#include <ostream>

#include "tools/readers.h"

namespace qs {

struct BatchOptions {
    unsigned threads = 0;  // 0: one a core
    bool strict = false;   // stop at the first bad shape
    bool progress = true;  // on standard error, and only when it is a terminal
    std::string separator;  // written between two answers (a JSON list's comma)
};

struct BatchResult {
    std::size_t shapes = 0;  // records done well
    std::size_t errors = 0;  // records reported on standard error
};

// The text written for one shape; index counts records from 0. Throws
// InputError or a krException for a shape it cannot handle.
using Work = std::function<std::string(const Shape&, const std::string& where, unsigned long index)>;

// Records are taken a chunk at a time, so memory stays bounded whatever the
// file's size; each chunk is shared among the threads and its answers are
// written in order before the next chunk is read.
BatchResult runBatch(Source& src, const Work& work, std::ostream& out, const BatchOptions& opt);

}  // namespace qs

#endif
