// The archive: byte format, round trips of contours and errors, old records,
// version checks, shared objects, and malformed or hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cntr/contour.h"
#include "cntr/regionset.h"
#include "defs/cntrdefs.h"
#include "platform/std/archive.h"
#include "tests/alloc_watch.h"
#include "tests/contour_probe.h"
#include "tests/region_access.h"
#include "tests/version_check.h"

namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<krVector<2>> Points;

// The factory the class registry takes.
template <class T>
krPersistent* make() { return new T; }

// Hand-written archives; ver() notes where each version byte is.
class W {
public:
    W() { u8(0x89).u8('Q').u8('A').u8('R').u8(1).u8(0).u8(0).u8(0); }
    W& u8(unsigned v) { b.push_back(static_cast<unsigned char>(v)); return *this; }
    W& u32(std::uint32_t v) { return u8(v).u8(v >> 8).u8(v >> 16).u8(v >> 24); }
    W& f64(double d) {
        std::uint64_t u;
        return std::memcpy(&u, &d, 8), u32(std::uint32_t(u)).u32(std::uint32_t(u >> 32));
    }
    W& ver(unsigned v) { versions.push_back(b.size()); return u8(v); }
    W& named(const std::string& name) {
        u8(1).u8(static_cast<unsigned>(name.size()));
        b.insert(b.end(), name.begin(), name.end());
        return *this;
    }
    W& points(const Points& p) {
        ver(0).u32(static_cast<std::uint32_t>(p.size()));
        for (const auto& v : p) f64(v.x()).f64(v.y());
        return *this;
    }
    W& contourV1(std::uint32_t label, bool closed, const Points& p, std::uint32_t cvs) {
        return ver(1).ver(0).u32(label).u8(closed).points(p).u32(cvs);
    }
    W& contourV0(const Points& p, unsigned dropped, std::uint32_t cvs, bool closed) {
        return ver(0).ver(0).ver(0).points(p).u8(dropped).u32(cvs).u8(closed);
    }
    Bytes b;
    std::vector<std::size_t> versions;
};

// A stream that cannot seek, like a pipe: the archive cannot know its size.
class PipeBuf : public std::streambuf {
public:
    explicit PipeBuf(const Bytes& bytes) {
        char* p = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
        setg(p, p, p + bytes.size());
    }
};

// Memory, a seekable stream, a pipe, and a pipe set to throw on failure.
template <class Load>
void eachSource(const Bytes& bytes, Load&& load) {
    std::istringstream seekable(std::string(bytes.begin(), bytes.end()));
    PipeBuf pipeBuf(bytes), throwingBuf(bytes);
    std::istream pipe(&pipeBuf), throwing(&throwingBuf);
    throwing.exceptions(std::ios::failbit | std::ios::eofbit | std::ios::badbit);
    const std::pair<const char*, std::istream*> streams[] = {
        {"seekable", &seekable}, {"pipe", &pipe}, {"throwing pipe", &throwing}};
    { SCOPED_TRACE("memory"); load(bytes); }
    for (const auto& [name, in] : streams) {
        SCOPED_TRACE(name);
        load(*in);
    }
}

// Every source must refuse the bytes with the archive's own exception.
void expectEveryLoadFails(const Bytes& bytes) {
    eachSource(bytes, [](auto& in) { EXPECT_THROW(kfLoad(in), krException); });
}

// What a memory load reports as corrupt, and where.
struct Refusal {
    std::string what;
    std::uint64_t offset;
    bool says(const std::string& part) const { return what.find(part) != std::string::npos; }
};
Refusal corruption(const Bytes& bytes) {
    try {
        kfLoad(bytes);
        ADD_FAILURE() << "loaded";
    } catch (const krArchive::Corrupt& e) {
        const std::wstring m = e.message();
        EXPECT_NE(m.find(L" at byte offset " + std::to_wstring(e.offset())), std::wstring::npos);
        return {e.what(), e.offset()};
    }
    return {"", 0};
}

// Reads a contour record into the (unregistered) probe, past the class name.
void loadRecord(const Bytes& bytes, Probe& probe) {
    krArchive ar(bytes.data(), bytes.size());
    unsigned char tag = 0, length = 0;
    ar || tag || length;
    for (unsigned i = 0; i < length; ++i) ar || tag;
    probe.loadSimple(ar);
}

// A test-only persistent that holds shared contours and one other holder.
class Holder : public virtual krPersistent, public virtual krRepBase {
public:
    std::vector<krPtrHandle_const<krContour>> contours;
    krPtrHandle<Holder> child;

    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<Holder*>(this), sizeof(Holder), 0, [&](unsigned char v) {
            if (v != 0) throw krArchive::UnknownVersion("test::Holder", 0);
            krPersistent::dispatchSerialize(ar);
            kfSerializeHandleList(ar, contours);
            kfSerializeHandle(ar, child);
        });
    }
};
kr_Instantiator holderExemplar(typeid(Holder), &make<Holder>, "test::Holder");

W& holderStart(W& w, bool first, std::uint32_t contourCount) {
    if (first) w.named("test::Holder");
    return w.ver(0).ver(0).ver(0).u32(contourCount);
}

// The bytes with one byte replaced.
Bytes with(Bytes b, std::size_t at, unsigned value) {
    b.at(at) = static_cast<unsigned char>(value);
    return b;
}

krPtrHandle_const<krContour> shared(const Points& p, bool closed = true, unsigned long label = 0) {
    return krPtrHandle_const<krContour>(new krContour(p, closed, label));
}

// A diamond: Left and Right both reach Middle's level.
template <class T, class Body>
void level(krArchive& ar, T* self, Body&& body) {
    kfSerializeLevel(ar, self, sizeof(T), 0, [&](unsigned char) { body(); });
}
struct Middle : virtual krPersistent {
    int value = 7;
    void dispatchSerialize(krArchive& ar) override { level(ar, this, [&] { ar || value; }); }
};
template <int>
struct Side : virtual Middle {
    void dispatchSerialize(krArchive& ar) override { level(ar, this, [&] { Middle::dispatchSerialize(ar); }); }
};
typedef Side<0> Left;
typedef Side<1> Right;
struct Both : Left, Right {
    void dispatchSerialize(krArchive& ar) override {
        level(ar, this, [&] { Left::dispatchSerialize(ar), Right::dispatchSerialize(ar); });
    }
};
// Two contours held by value: both records are read in this one object's operation.
struct TwoContours : virtual krPersistent {
    krContour a, b;
    void dispatchSerialize(krArchive& ar) override { level(ar, this, [&] { a.dispatchSerialize(ar), b.dispatchSerialize(ar); }); }
};
kr_Instantiator twoExemplar(typeid(TwoContours), &make<TwoContours>, "test::TwoContours"),
    bothExemplar(typeid(Both), &make<Both>, "test::Both");

}  // namespace

TEST(ArchiveFormat, FieldsAreFixedWidthLittleEndian) {
    struct Fields {
        unsigned char c; bool t; int i; unsigned int u;
        long l; unsigned long ul; double d; krVector<2> v;
        void serialize(krArchive& ar) { ar || c || t || i || u || l || ul || d || v; }
    };
    auto write = [](Fields f) {
        Bytes b;
        krArchive ar(b);
        f.serialize(ar);
        return b;
    };
    const Bytes bytes = write({0xab, true, -2, 0x01020304, -1, 0xffffffffUL, 1.0, krVector<2>(-0.0, 2.5)});
    const Bytes expected = {0x89, 'Q', 'A', 'R', 1, 0, 0, 0,  // header
                            0xab, 0x01, 0xfe, 0xff, 0xff, 0xff, 0x04, 0x03, 0x02, 0x01,
                            0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                            0, 0, 0, 0, 0, 0, 0xf0, 0x3f,                 // 1.0
                            0, 0, 0, 0, 0, 0, 0, 0x80,                    // -0.0
                            0, 0, 0, 0, 0, 0, 0x04, 0x40};                // 2.5
    Fields back{};
    krArchive in(bytes.data(), bytes.size());
    back.serialize(in);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(write(back), expected);
    EXPECT_EQ(kfStore(krContour({{1.0, 2.0}}, false, 0x01020304)),
              W().named("krContour").contourV1(0x01020304, false, {{1.0, 2.0}}, 3).b);

    // Longs outside 32 bits are refused, half written nowhere.
    Bytes out;
    krArchive ar(out);
    long lo = -2147483648L, hi = 2147483647L;
    unsigned long tooBig = 0x100000000UL, top = 0xffffffffUL;
    for (long bad : {2147483648L, -2147483649L}) EXPECT_THROW(ar || bad, krArchive::CannotStore);
    EXPECT_THROW(ar || tooBig, krArchive::CannotStore);
    EXPECT_EQ(out.size(), krArchive::kHeaderSize);
    EXPECT_NO_THROW(ar || lo || hi || top);
}

TEST(ArchiveRoundTrip, ContoursComeBackEqual) {
    Points many;
    for (int i = 0; i < 5000; ++i) many.emplace_back(std::cos(i * 0.01) * i, std::sin(i * 0.7));
    const struct { const char* name; Points points; bool closed; unsigned long label; long cvs; } cases[] = {
        {"empty", {}, true, 0, 3},
        {"open, largest label, no cache", {{0, 0}, {1, 0}, {1, 1}}, false, 0xffffffffUL, 0},
        {"extreme values", {{kInf, -kInf}, {-0.0, 5e-324}, {1e308, -1e-308}}, true, 42, 2147483647L},
        {"many points", many, false, 7, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        krContour src(c.points, c.closed, c.label);
        src.cachedVectorSize(c.cvs);
        const Bytes bytes = kfStore(src);
        std::ostringstream os;
        kfStore(os, src);
        EXPECT_EQ(os.str(), std::string(bytes.begin(), bytes.end()));
        eachSource(bytes, [&](auto& in) {
            const auto back = kfLoadAs<krContour>(in);
            EXPECT_TRUE(*back == src && back->label() == c.label);
        });
    }
}

TEST(ArchiveRoundTrip, LoadingDropsEveryCacheEvenWhenItFails) {
    const Points square = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    W v0, v1;
    // Version 0 has no label, and a byte that is skipped whatever it holds.
    v0.named("krContour").contourV0(square, 0xa5, 5, true);
    v1.named("krContour").contourV1(77, false, square, 3);
    for (const W* w : {&v1, &v0}) {
        Probe probe(square, w == &v1, 9);  // closed the other way
        probe.fillCaches();
        ASSERT_EQ(probe.valid(), Probe::kAll);
        loadRecord(w->b, probe);
        EXPECT_EQ(probe.valid(), "");
        EXPECT_DOUBLE_EQ(probe.length(), w == &v1 ? 6.0 : 8.0);
        EXPECT_TRUE(probe.label() == (w == &v1 ? 77u : 0u) && probe.cachedVectorSize() == (w == &v1 ? 3 : 5));
    }
    // The point list's version is unknown: the label read before it stays.
    Probe probe({{0, 0}, {1, 0}}, true, 1);
    probe.fillCaches();
    EXPECT_THROW(loadRecord(with(v1.b, v1.versions[2], 1), probe), krArchive::UnknownVersion);
    EXPECT_TRUE(probe.label() == 77u && probe.points() == (Points{{0, 0}, {1, 0}}));
    EXPECT_EQ(probe.valid(), "");
}

TEST(ArchiveRoundTrip, ErrorsKeepTheirClass) {
    typedef krContourDefs D;
    const struct { std::shared_ptr<D::Errors> error; const char* name; } cases[] = {
        {std::make_shared<D::EmptyContour>(L"text"), "krContourDefs::EmptyContour"},
        {std::make_shared<D::EmptyRegionSet>(L"text"), "krContourDefs::EmptyRegionSet"},
        {std::make_shared<D::BadParams>(L"text"), "krContourDefs::BadParams"},
        {std::make_shared<D::RegionCannotBeSetOpen>(L"text"), "krContourDefs::RegionCannotBeSetOpen"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = kfStore(*c.error);
        // Four levels of version 0: the message is not stored.
        EXPECT_EQ(bytes, W().named(c.name).u8(0).u8(0).u8(0).u8(0).b);
        const auto back = kfLoadAs<D::Errors>(bytes);
        const krPersistent &loaded = *back, &stored = *c.error;
        EXPECT_EQ(typeid(loaded), typeid(stored));
        // Loading into an existing object needs one of the stored class.
        EXPECT_NO_THROW(kfLoadInto(bytes, *c.error));
        EXPECT_THROW(kfLoadInto(bytes, *cases[(&c - cases + 1) % 4].error), krArchive::WrongClass);
        EXPECT_THROW(kfLoadAs<krContour>(bytes), krArchive::WrongClass);
    }
}

// Each version-0 record carries its own legacy level, also when several share
// one archive.
TEST(ArchiveVersions, VersionZeroContoursEachReadTheirLevel) {
    W two;
    holderStart(two, true, 2).named("krContour").contourV0({{1, 1}}, 0, 3, true);
    two.u8(2).u32(1).contourV0({{2, 2}, {3, 3}}, 0, -1, false).u8(0);
    const auto holder = kfLoadAs<Holder>(two.b);
    ASSERT_EQ(holder->contours.size(), 2u);
    EXPECT_EQ(holder->contours[0]->points(), (Points{{1, 1}}));
    EXPECT_EQ(holder->contours[1]->points(), (Points{{2, 2}, {3, 3}}));
    EXPECT_EQ(holder->contours[1]->cachedVectorSize(), -1);  // taken as stored

    // ... and when one object holds both by value.
    W byValue;
    byValue.named("test::TwoContours").ver(0).contourV0({{1, 1}}, 0, 3, true).contourV0({{2, 2}}, 0, 4, false);
    const auto pair = kfLoadAs<TwoContours>(byValue.b);
    EXPECT_TRUE(pair->b.points() == (Points{{2, 2}}) && pair->b.cachedVectorSize() == 4);

    // A version-0 region has no label or holes; a set's record no cache
    // bound, so a set loaded into keeps its own.
    W region, set;
    region.named("krRegion").ver(0).ver(0).ver(0).points({{0, 0}, {2, 0}, {0, 2}}).u8(0xa5).u32(6);
    set.named("krRegionSet").ver(0).ver(0).ver(0).u32(0);
    const auto old = kfLoadAs<krRegion>(region.b);
    EXPECT_TRUE(old->points() == (Points{{0, 0}, {2, 0}, {0, 2}}) && old->cachedVectorSize() == 6);
    krRegionSet into({hole(kSquare)});
    into.cachedVectorSize(9);
    EXPECT_EQ(into.area(false), 4.0);
    kfLoadInto(set.b, into);
    EXPECT_TRUE(into.cachedVectorSize() == 9 && into.area(false) == 0.0);  // the load dropped the cached area
    EXPECT_EQ(kfLoadAs<krRegionSet>(set.b)->cachedVectorSize(), 3);
}

TEST(ArchiveVersions, EveryLevelRejectsAnUnknownVersion) {
    W v1, v0, error, holder, region0, region1, set;
    v1.named("krContour").contourV1(5, true, {{1, 2}, {3, 4}}, 3);
    v0.named("krContour").contourV0({{1, 2}}, 0, 3, true);
    error.named("krContourDefs::BadParams").ver(0).ver(0).ver(0).ver(0);
    holderStart(holder, true, 0).u8(0);
    region0.named("krRegion").ver(0).ver(0).ver(0).points({{1, 2}}).u8(0).u32(3);
    region1.named("krRegion").ver(1).contourV1(0, true, {{1, 2}}, 3).ver(0).u32(0);
    set.named("krRegionSet").ver(1).ver(0).ver(0).u32(0).u32(3);
    const char *contour = "src/tarn/cntr/contour", *region = "src/tarn/cntr/region";
    const struct { const W* record; std::size_t level; const char* place; long line; } cases[] = {
        {&v1, 0, contour, 904}, {&v1, 1, "krPersistent", 0}, {&v1, 2, "", 0},  // "": a list
        {&v0, 0, contour, 904}, {&v0, 1, contour, 894},  // the legacy base
        {&v0, 2, "krPersistent", 0}, {&v0, 3, "", 0},
        {&error, 0, "krContourDefs::BadParams", 0}, {&error, 1, "krContourDefs::Errors", 0},
        {&error, 2, "krException", 0}, {&error, 3, "krPersistent", 0},
        {&holder, 2, "", 0},  // the shared-object list
        {&region0, 0, region, 819}, {&region0, 1, region, 809}, {&region1, 4, "", 0},  // the holes
        {&set, 0, "src/tarn/cntr/regionst", 479},
    };
    for (const auto& c : cases)
        for (unsigned bad : {2u, 0xffu}) {
            SCOPED_TRACE(testing::Message() << c.place << " level " << c.level << " v" << bad);
            expectUnknownVersion(c.record->b, c.record->versions.at(c.level), bad, c.place, c.line);
        }
}

TEST(ArchiveSharing, ASharedContourComesBackAsOneObject) {
    auto a = shared({{0, 0}, {1, 1}}, false, 1);
    auto b = shared({{0, 0}, {1, 1}}, false, 1);  // equal value, other object
    Holder h;
    h.contours = {a, a, krPtrHandle_const<krContour>(), b};
    const auto back = kfLoadAs<Holder>(kfStore(h));
    ASSERT_EQ(back->contours.size(), 4u);
    EXPECT_EQ(back->contours[0].get(), back->contours[1].get());
    EXPECT_TRUE(back->contours[2].isNull());
    // Once the archive is gone only the holder's handles count.
    EXPECT_TRUE(back->contours[0]->refCount() == 2 && back->contours[3]->refCount() == 1);

    // Several objects written into one archive share identities too.
    Bytes many;
    {
        krArchive ar(many);
        ar.writeObject(a.get());
        ar.writeObject(&h);
        ar.writeObject(a.get());
    }
    krArchive in(many.data(), many.size());
    const auto first = in.readObject();
    const auto holder = std::dynamic_pointer_cast<Holder>(in.readObject());
    EXPECT_EQ(in.readObject(), first);
    EXPECT_EQ(static_cast<const krPersistent*>(holder->contours[0].get()), first.get());

    // An object of another class than the handle's gives a null handle.
    W w;
    holderStart(w, true, 1).named("krContourDefs::BadParams").u8(0).u8(0).u8(0).u8(0).u8(0);
    const auto mismatched = kfLoadAs<Holder>(w.b);
    EXPECT_TRUE(mismatched->contours.size() == 1u && mismatched->contours[0].isNull());
}

TEST(ArchiveSharing, CyclesAndDeepNestingAreRefusedBothWays) {
    krPtrHandle<Holder> h(new Holder);
    h->child = h;
    EXPECT_THROW(kfStore(*h), krArchive::CannotStore);
    h->child = krPtrHandle<Holder>();
    auto chain = [](unsigned n) {
        krPtrHandle<Holder> root(new Holder);
        for (Holder* last = root.get(); --n > 0; last = last->child.get())
            last->child = krPtrHandle<Holder>(new Holder);
        return root;
    };
    EXPECT_NO_THROW(kfLoad(kfStore(*chain(krArchive::kMaxDepth))));
    EXPECT_THROW(kfStore(*chain(krArchive::kMaxDepth + 1)), krArchive::CannotStore);

    W cycle, deep;
    holderStart(cycle, true, 0).u8(3).u32(0);  // the child is the holder itself
    holderStart(deep, true, 0);
    for (unsigned i = 0; i < krArchive::kMaxDepth; ++i) holderStart(deep.u8(2).u32(0), false, 0);
    deep.u8(0);
    for (const auto& [bytes, says] : {std::pair{&cycle.b, "cycle"}, {&deep.b, "nest deeper"}}) {
        expectEveryLoadFails(*bytes);
        EXPECT_TRUE(corruption(*bytes).says(says));
    }
}

TEST(ArchiveSharing, ALevelReachedTwiceIsWrittenOncePerObject) {
    Both one;
    one.value = 9;
    const Bytes bytes = kfStore(one);
    // Tag and name, then Both, Left, Middle with its int, Right: Middle only once.
    EXPECT_EQ(bytes.size(), krArchive::kHeaderSize + 2 + 10 + 8);
    EXPECT_EQ(kfLoadAs<Both>(bytes)->value, 9);
}

TEST(ArchiveCorrupt, MalformedArchivesSayWhatAndWhere) {
    const Bytes good = kfStore(krContour({{1, 1}}, true, 3));
    Bytes trailing = good;
    trailing.resize(good.size() + 2);
    const std::size_t closedAt = 8 + 2 + 9 + 1 + 1 + 4;
    W hugeName;
    holderStart(hugeName, true, 0).u8(1).u8(200).u8('x');
    const struct { const char* name; Bytes bytes; std::string says; std::uint64_t offset; } cases[] = {
        {"empty", {}, "ends inside the archive header", 0},
        {"wrong magic", with(good, 1, 'X'), "wrong magic", 0},
        {"newer format", with(good, 4, 2), "format version 2", 4},
        {"header flags", with(good, 6, 1), "header flags", 6},
        {"unknown class", W().named("krNoSuchClass").u8(0).b, "unknown class 'krNoSuchClass'", 8},
        {"empty class name", W().u8(1).u8(0).b, "empty class name", 8},
        {"bad tag", W().u8(7).b, "invalid object tag 0x07", 8},
        {"reference ahead", W().u8(3).u32(5).b, "reference to object #5", 8},
        {"class never named", W().u8(2).u32(3).b, "class #3 was never named", 8},
        {"bool not 0 or 1", with(good, closedAt, 2), "bool byte 0x02", closedAt},
        {"trailing bytes", trailing, "2 bytes follow", good.size()},
        {"name cut short", hugeName.b, "ends inside a class name", hugeName.b.size() - 1},
    };
    for (const auto& c : cases) {
        const Refusal r = corruption(c.bytes);
        EXPECT_TRUE(r.says(c.says) && r.offset == c.offset) << c.name << ": " << r.what << " at " << r.offset;
    }
}

// Any cut refuses cleanly from every source. (Flipped bytes are the fuzzer's.)
TEST(ArchiveCorrupt, CutBytesFailCleanly) {
    Holder h;
    auto a = shared({{0, 0}, {1, 0}, {1, 1}}, false, 4);
    h.contours = {a, shared({{2, 2}}), a};
    h.child = krPtrHandle<Holder>(new Holder);
    h.child->contours = {a};
    W v0;
    v0.named("krContour").contourV0({{1, 2}, {3, 4}}, 0, 3, false);
    const Bytes samples[] = {kfStore(h), kfStore(krContourDefs::EmptyRegionSet()), v0.b};
    for (const auto& sample : samples) {
        ASSERT_NO_THROW(kfLoad(sample));
        for (std::size_t at = 0; at < sample.size(); ++at) {
            SCOPED_TRACE(at);
            expectEveryLoadFails(Bytes(sample.begin(), sample.begin() + at));
        }
    }
}

TEST(ArchiveCorrupt, HugeCountsAreRejectedWithoutAllocating) {
    W points, handles;
    points.named("krContour").ver(1).ver(0).u32(0).u8(1).ver(0).u32(0xffffffffu).f64(1).f64(2);
    holderStart(handles, true, 0xffffffffu).u8(0).u8(0);
    for (const Bytes* bytes : {&points.b, &handles.b}) {
        EXPECT_TRUE(corruption(*bytes).says("count of 4294967295"));
        // A pipe cannot tell its size: there the list grows only as data arrives.
        eachSource(*bytes, [](auto& in) {
            kt::watchAllocations();
            EXPECT_THROW(kfLoad(in), krArchive::Corrupt);
            const std::size_t largest = kt::largestAllocation();
            EXPECT_TRUE(!kt::allocationsWatchable() || largest <= 1u << 17) << largest;
        });
    }
}

// A negative cache bound loads as stored; the keyed caches still answer.
TEST(ArchiveCorrupt, NegativeCacheBoundLeavesQueriesWorking) {
    W w;
    w.named("krContour").contourV1(0, true, {{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 0xffffffffu);
    const auto loaded = kfLoadAs<krContour>(w.b);
    ASSERT_EQ(loaded->cachedVectorSize(), -1);
    const krContour plain(loaded->points()), copy(*loaded), *original = loaded.get();
    for (const krContour* c : {original, &copy})
        for (int i = 0; i < 3; ++i) {
            const krXform<2> x(krMatrix<2>(1.0 + i, 0, 0, 1), {});
            EXPECT_EQ(c->encloseRect(x), plain.encloseRect(x));
            EXPECT_EQ(c->extremalVertexIndex(krRadian(i)), plain.extremalVertexIndex(krRadian(i)));
        }
}

TEST(ArchiveRegistry, NamesAreStableAndOwnedOnce) {
    {
        // A second claim on a name or a type loses; the first stays in force.
        kr_Instantiator taken(typeid(Middle), &make<Holder>, "krContour"), again(typeid(krContour), &make<Holder>, "test::other");
        EXPECT_FALSE(taken.registered() || again.registered());
        // Without a name the demangled type name is used.
        kr_Instantiator derived(typeid(Left), &make<Left>);
        EXPECT_EQ(derived.name(), "(anonymous namespace)::Side<0>");
        EXPECT_NE(kr_Instantiator::factoryOf(derived.name()), nullptr);
    }
    EXPECT_EQ(kr_Instantiator::nameOf(typeid(Left)), "");  // gone with its exemplar
    Middle unregistered;
    EXPECT_THROW(kfStore(unregistered), krArchive::CannotStore);
}
