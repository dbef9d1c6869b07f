// Writes the seeds of archive_fuzz that follow from the class registry: every
// registered class, freshly made, as a graph and as a bare record (behind the
// reader byte archive_fuzz expects), and two graphs that share objects. The
// other files of fuzz/corpus (version-0 records, filled shapes) were written
// once and are kept as committed. Usage: archive_seeds DIR
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cntr/region.h"
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
    // A contour shared within a node and with its child, and a null child.
    krFuzzNode root;
    krPtrHandle<krFuzzNode> child(new krFuzzNode);
    const krPtrHandle_const<krContour> shared(new krContour({{-1, -1}, {1, -1}, {0, 1}}, true, 0));
    child->contours = {shared};
    root.contours = {shared, krPtrHandle_const<krContour>(new krContour({{0, 0}, {1, 0}, {1, 1}}, false, 7)), shared};
    root.children = {child, child, krPtrHandle<krFuzzNode>()};
    write(dir, "node-graph", 0, kfStore(root));
    // One hole, with an island of its own, twice in a region and once in another.
    typedef std::vector<krPtrHandle<krRegion>> Holes;
    const krPtrHandle<krRegion> island(new krRegion({{1.4, 1.4}, {1.6, 1.4}, {1.5, 1.6}})),
        hole(new krRegion({{1, 1}, {2, 1}, {2, 2}, {1, 2}})), framed(new krRegion({{0, 0}, {4, 0}, {4, 4}, {0, 4}})),
        other(new krRegion({{-1, -1}, {5, -1}, {5, 5}, {-1, 5}}));
    hole->holes(Holes{island});
    framed->holes(Holes{hole, hole});
    other->holes(Holes{hole});
    krFuzzNode regions;
    regions.contours = {framed, other, framed};
    write(dir, "regions-sharing-a-hole", 0, kfStore(regions));
    return 0;
}
