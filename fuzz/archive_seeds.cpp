// Writes the seed corpus of archive_fuzz: a few small valid archives, each
// behind the reader byte that archive_fuzz expects. Usage: archive_seeds DIR
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cntr/region.h"
#include "cntr/regionset.h"
#include "defs/cntrtmpl.h"
#include "fuzz_node.h"
#include "platform/std/archive.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void write(const std::string& dir, const std::string& name, unsigned char reader, const Bytes& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary).put(static_cast<char>(reader))
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The reader byte that makes archive_fuzz read a bare record of this class.
unsigned char readerOf(const std::string& name) {
    const std::vector<std::string> names = kr_Instantiator::names();
    return static_cast<unsigned char>(std::find(names.begin(), names.end(), name) - names.begin() + 1);
}

Bytes record(const krPersistent& obj) {
    Bytes bytes;
    krArchive ar(bytes);
    obj.storeSimple(ar);
    return bytes;
}

// A file name for a class name: letters and digits kept, the rest '-'.
std::string fileName(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
    return out;
}

// A version-0 record of a contour or region: the class, its legacy base and
// persistence base at version 0, the point list (version 0), then `tail`: the
// byte that version dropped and the fields after it.
Bytes legacyRecord(const std::string& name, const krContour::Points& points, const Bytes& tail) {
    Bytes b(krArchive::kMagic, krArchive::kMagic + 4);
    const unsigned char head[] = {1, 0, 0, 0, 1, static_cast<unsigned char>(name.size())};
    b.insert(b.end(), head, head + sizeof head);
    b.insert(b.end(), name.begin(), name.end());
    const unsigned char list[] = {0, 0, 0, 0, static_cast<unsigned char>(points.size()), 0, 0, 0};
    b.insert(b.end(), list, list + sizeof list);
    for (const krVector<2>& p : points)
        for (const double v : {p.x(), p.y()}) {
            std::uint64_t u;
            std::memcpy(&u, &v, sizeof u);
            for (int i = 0; i < 8; ++i) b.push_back(static_cast<unsigned char>(u >> (8 * i)));
        }
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

// A version-0 region-set record: an empty list and no cachedVectorSize.
Bytes legacyRegionSet() {
    Bytes b = kfStore(krRegionSet());
    b.resize(b.size() - 4);
    b[8 + 2 + 11] = 0;  // past the header, the tag, the name length and the name
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const krContour open({{0, 0}, {1, 0}, {1, 1}}, false, 7);
    const krContour closed({{-1, -1}, {1, -1}, {0, 1}}, true, 0);
    write(dir, "contour", 0, kfStore(open));
    write(dir, "contour-v0", 0, legacyRecord("krContour", {{1, 2}, {3, 4}}, {7, 5, 0, 0, 0, 0}));

    krFuzzNode root;
    krPtrHandle<krFuzzNode> child(new krFuzzNode);
    const krPtrHandle_const<krContour> shared(new krContour(closed));
    child->contours = {shared};
    root.contours = {shared, krPtrHandle_const<krContour>(new krContour(open)), shared};
    root.children = {child, child, krPtrHandle<krFuzzNode>()};
    write(dir, "node-graph", 0, kfStore(root));

    const krPtrHandle_const<krRegion> square(new krRegion({{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
    krRegionSet set({square, krPtrHandle_const<krRegion>(new krRegion(closed)), square});
    set.cachedVectorSize(7);
    write(dir, "region-set", 0, kfStore(set));
    write(dir, "region-set-v0", 0, legacyRegionSet());

    write(dir, "contour-record", readerOf("krContour"), record(open));
    write(dir, "region-set-record", readerOf("krRegionSet"), record(set));
    write(dir, "node-record", readerOf("fuzz::Node"), record(root));

    // Every registered class, freshly made, as a graph and as a bare record.
    for (const std::string& name : kr_Instantiator::names()) {
        const std::unique_ptr<krPersistent> made(kr_Instantiator::factoryOf(name)());
        write(dir, "made-" + fileName(name), 0, kfStore(*made));
        write(dir, "bare-" + fileName(name), readerOf(name), record(*made));
    }
    // Regions with shared holes: one hole twice in a region, and one hole (with
    // an island of its own) in two regions of a node.
    typedef std::vector<krPtrHandle<krRegion>> Holes;
    const krPtrHandle<krRegion> island(new krRegion({{1.4, 1.4}, {1.6, 1.4}, {1.5, 1.6}})),
        hole(new krRegion({{1, 1}, {2, 1}, {2, 2}, {1, 2}})), framed(new krRegion({{0, 0}, {4, 0}, {4, 4}, {0, 4}})),
        other(new krRegion({{-1, -1}, {5, -1}, {5, 5}, {-1, 5}}));
    hole->holes(Holes{island});
    framed->holes(Holes{hole, hole});
    other->holes(Holes{hole});
    write(dir, "region-shared-holes", 0, kfStore(*framed));
    write(dir, "region-record", readerOf("krRegion"), record(*framed));
    write(dir, "region-v0", 0, legacyRecord("krRegion", {{0, 0}, {2, 0}, {0, 2}}, {9, 3, 0, 0, 0}));
    krFuzzNode regions;
    regions.contours = {framed, other, framed};
    write(dir, "regions-sharing-a-hole", 0, kfStore(regions));

    const std::vector<krEdgelet> edgelets = {krEdgelet({11, 2}, 300, krAngle8(5)),
                                             krEdgelet({13, 2}, 65535, krAngle8(200)),
                                             krEdgelet({12, 5}, 1, krAngle8(64))};
    const krPtrHandle_const<kr2XformBase> rigid(new kr2Rigid(krDegree(30), {10, -4}));
    const krContourT<krEdgelet> edgeletContour(edgelets, rigid);
    write(dir, "edgelet-contour", 0, kfStore(edgeletContour));
    write(dir, "edgelet-contour-record", readerOf("krContourT<krEdgelet>"), record(edgeletContour));
    const krPtrHandle_const<krRegionT<krEdgelet>> edgeletRegion(new krRegionT<krEdgelet>(edgeletContour, 3));
    const krRegionSetT<krEdgelet> edgeletSet({edgeletRegion, edgeletRegion});
    write(dir, "edgelet-region", 0, kfStore(*edgeletRegion));
    write(dir, "edgelet-region-set", 0, kfStore(edgeletSet));
    write(dir, "edgelet-region-set-record", readerOf("krRegionSetT<krEdgelet>"), record(edgeletSet));
    return 0;
}
