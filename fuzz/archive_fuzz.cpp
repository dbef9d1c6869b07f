// Feeds arbitrary bytes to the archive loader. With n registered classes the
// first byte b picks the reader: b % (n + 1) == 0 a whole graph (kfLoad), k > 0
// a bare record of the k-th class (in name order); an odd b / (n + 1) reads
// through a pipe. What loads must store and load to the same bytes, and every
// shape in it answers every query (kf_FuzzExercise), failing only cleanly.
// QEL_FUZZ_VERBOSE prints outcomes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <memory>
#include <set>
#include <streambuf>
#include <string>
#include <vector>

#include "exercise.h"
#include "fuzz_node.h"
#include "platform/std/archive.h"
#include "platform/std/exception.h"

namespace {

typedef std::vector<unsigned char> Bytes;

// Serves the bytes without telling their size.
class PipeBuf : public std::streambuf {
public:
    PipeBuf(const std::uint8_t* data, std::size_t size) {
        char* p = const_cast<char*>(reinterpret_cast<const char*>(data));
        setg(p, p, p + size);
    }
};

// What a loaded object writes reads back and writes again to the same bytes.
void checkRoundTrip(const krPersistent& obj) {
    const Bytes first = kfStore(obj);
    const std::shared_ptr<krPersistent> again = kfLoad(first);
    if (!again || kfStore(*again) != first) std::abort();
}

// Each object once: shared nodes may make the graph far larger than its tree.
void queryAll(const krPersistent& obj, std::set<const void*>& seen) {
    const auto* node = dynamic_cast<const krFuzzNode*>(&obj);
    if (!node) return kf_FuzzExercise(obj, seen);
    if (!seen.insert(&obj).second) return;
    for (const auto& c : node->contours)
        if (c.get()) queryAll(*c, seen);
    for (const auto& child : node->children)
        if (child.get()) queryAll(*child, seen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::string> names = kr_Instantiator::names();
    if (size == 0) return 0;
    const std::size_t reader = data[0] % (names.size() + 1);
    const bool piped = (data[0] / (names.size() + 1)) % 2 == 1;
    ++data;
    --size;
    PipeBuf pipe(data, size);
    std::istream stream(&pipe);

    std::shared_ptr<krPersistent> loaded;
    try {
        if (reader == 0) {
            loaded = piped ? kfLoad(stream) : kfLoad(data, size);
        } else {
            std::shared_ptr<krPersistent> made(kr_Instantiator::factoryOf(names[reader - 1])());
            std::unique_ptr<krArchive> ar =
                piped ? std::make_unique<krArchive>(stream) : std::make_unique<krArchive>(data, size);
            made->loadSimple(*ar);
            loaded = made;
        }
    } catch (const krException& e) {
        // A clean refusal is the expected answer to most inputs.
        if (std::getenv("QEL_FUZZ_VERBOSE"))
            std::fprintf(stderr, "refused: %ls\n", e.message().c_str());
        return 0;
    }
    if (!loaded) return 0;
    if (std::getenv("QEL_FUZZ_VERBOSE")) {
        const krPersistent& obj = *loaded;
        std::fprintf(stderr, "loaded: %s\n", kr_Instantiator::nameOf(typeid(obj)).c_str());
    }
    checkRoundTrip(*loaded);
    std::set<const void*> seen;
    queryAll(*loaded, seen);
    return 0;
}
