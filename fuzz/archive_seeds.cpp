// Writes the seeds of archive_fuzz that follow from the class registry: every
// registered class, freshly made, as a graph and as a bare record (behind the
// reader byte archive_fuzz expects). The other files of fuzz/corpus
// (version-0 records, filled shapes, graphs sharing objects) were written once
// and are kept as committed. Usage: archive_seeds DIR
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_node.h"

namespace {

void write(const std::string& dir, std::string name, std::size_t reader, const std::vector<unsigned char>& bytes) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
    std::ofstream(dir + "/" + name, std::ios::binary).put(static_cast<char>(reader))
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<std::string> names = kr_Instantiator::names();
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::unique_ptr<krPersistent> made(kr_Instantiator::factoryOf(names[k])());
        write(dir, "made-" + names[k], 0, kfStore(*made));
        std::vector<unsigned char> record;
        krArchive ar(record);
        made->storeSimple(ar);
        write(dir, "bare-" + names[k], k + 1, record);
    }
    return 0;
}
