// The archive: byte format, round trips of contours and errors, old records,
// version checks, shared objects, and malformed or hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cntr/contour.h"
#include "defs/cntrdefs.h"
#include "platform/std/archive.h"
#include "alloc_watch.h"

namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<krVector<2>> Points;

// Hand-written archives. ver() notes where each version byte is, so a test
// can damage one level at a time.
class W {
public:
    W() { u8(0x89).u8('Q').u8('A').u8('R').u8(1).u8(0).u8(0).u8(0); }
    W& u8(unsigned v) { b.push_back(static_cast<unsigned char>(v)); return *this; }
    W& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) u8((v >> (8 * i)) & 0xff);
        return *this;
    }
    W& f64(double d) {
        std::uint64_t u;
        std::memcpy(&u, &d, 8);
        for (int i = 0; i < 8; ++i) u8((u >> (8 * i)) & 0xff);
        return *this;
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
    W& contourV1(std::uint32_t label, bool closed, const Points& p, std::int32_t cvs) {
        ver(1).ver(0).u32(label).u8(closed).points(p);
        return u32(static_cast<std::uint32_t>(cvs));
    }
    W& contourV0(const Points& p, unsigned dropped, std::int32_t cvs, bool closed) {
        ver(0).ver(0).ver(0).points(p).u8(dropped);
        return u32(static_cast<std::uint32_t>(cvs)).u8(closed);
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

// Reads the protected caches of a contour.
class ContourProbe : public krContour {
public:
    using krContour::krContour;
    void validateEveryCache() {
        meanPositionValid = lengthValid = convexHullValid = ellipseValid = true;
        selfIntersectingValid = lineSegsValid = linesValid = boxesValid = true;
        medianFeatureSizeValid = true;
        circleValid.assign(2, true);
        if (points().size() >= 2) vertexIndex(points()[0], 1.0);
    }
    bool anyCacheValid() const {
        bool circles = false;
        for (bool c : circleValid) circles = circles || c;
        return meanPositionValid || lengthValid || convexHullValid || ellipseValid ||
               selfIntersectingValid || lineSegsValid || linesValid || boxesValid ||
               medianFeatureSizeValid || circles || rectCache || extremalCache || vertexGrids ||
               segmentIndex;
    }
};

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
    static krPersistent* make() { return new Holder; }
};
kr_Instantiator holderExemplar(typeid(Holder), &Holder::make, "test::Holder");

W& holderStart(W& w, bool first, std::uint32_t contourCount) {
    if (first) w.named("test::Holder");
    return w.ver(0).ver(0).ver(0).u32(contourCount);
}

krPtrHandle_const<krContour> shared(const Points& p, bool closed = true, unsigned long label = 0) {
    return krPtrHandle_const<krContour>(new krContour(p, closed, label));
}

// Loads bytes three ways (memory, seekable stream, pipe); every one must throw
// a krException. Returns the memory load's message.
std::wstring expectEveryLoadFails(const Bytes& bytes) {
    std::wstring message;
    try {
        kfLoad(bytes);
        ADD_FAILURE() << "memory load of " << bytes.size() << " bytes succeeded";
    } catch (const krException& e) {
        message = e.message();
    }
    std::istringstream seekable(std::string(bytes.begin(), bytes.end()));
    EXPECT_THROW(kfLoad(seekable), krException);
    PipeBuf pipe(bytes);
    std::istream piped(&pipe);
    EXPECT_THROW(kfLoad(piped), krException);
    // A stream set to throw still fails as the archive's own exception.
    std::istringstream throwing(std::string(bytes.begin(), bytes.end()));
    throwing.exceptions(std::ios::failbit | std::ios::eofbit | std::ios::badbit);
    EXPECT_THROW(kfLoad(throwing), krException);
    return message;
}

bool contains(const std::wstring& text, const std::string& part) {
    return text.find(std::wstring(part.begin(), part.end())) != std::wstring::npos;
}

const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

// ---------------------------------------------------------------------------
// Byte format.

TEST(ArchiveFormat, FieldsAreFixedWidthLittleEndian) {
    Bytes bytes;
    {
        krArchive ar(bytes);
        unsigned char c = 0xab;
        bool t = true;
        int i = -2;
        unsigned int u = 0x01020304;
        long l = -1;
        unsigned long ul = 0xffffffffUL;
        double d = 1.0;
        krVector<2> v(-0.0, 2.5);
        ar || c || t || i || u || l || ul || d || v;
    }
    const Bytes expected = {0x89, 'Q', 'A', 'R', 1, 0, 0, 0,  // header
                            0xab, 0x01, 0xfe, 0xff, 0xff, 0xff, 0x04, 0x03, 0x02, 0x01,
                            0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                            0, 0, 0, 0, 0, 0, 0xf0, 0x3f,                 // 1.0
                            0, 0, 0, 0, 0, 0, 0, 0x80,                    // -0.0
                            0, 0, 0, 0, 0, 0, 0x04, 0x40};                // 2.5
    EXPECT_EQ(bytes, expected);

    krArchive in(bytes.data(), bytes.size());
    unsigned char c = 0;
    bool t = false;
    int i = 0;
    unsigned int u = 0;
    long l = 0;
    unsigned long ul = 0;
    double d = 0;
    krVector<2> v;
    in || c || t || i || u || l || ul || d || v;
    EXPECT_EQ(c, 0xab);
    EXPECT_TRUE(t);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(u, 0x01020304u);
    EXPECT_EQ(l, -1);
    EXPECT_EQ(ul, 0xffffffffUL);
    EXPECT_EQ(d, 1.0);
    EXPECT_TRUE(std::signbit(v.x()));
    EXPECT_EQ(v.y(), 2.5);
    EXPECT_EQ(in.remaining(), 0u);
}

TEST(ArchiveFormat, LongsOutside32BitsAreRefusedOnStore) {
    struct Case {
        std::function<void(krArchive&)> store;
    };
    const Case cases[] = {
        {[](krArchive& ar) { long v = 2147483648L; ar || v; }},
        {[](krArchive& ar) { long v = -2147483649L; ar || v; }},
        {[](krArchive& ar) { unsigned long v = 0x100000000UL; ar || v; }},
    };
    for (const auto& c : cases) {
        Bytes bytes;
        krArchive ar(bytes);
        EXPECT_THROW(c.store(ar), krArchive::CannotStore);
        EXPECT_EQ(bytes.size(), krArchive::kHeaderSize);  // nothing half written
    }
    // The edges fit.
    Bytes bytes;
    krArchive ar(bytes);
    long lo = -2147483648L, hi = 2147483647L;
    unsigned long top = 0xffffffffUL;
    EXPECT_NO_THROW(ar || lo || hi || top);
}

TEST(ArchiveFormat, ContourRecordLayout) {
    const krContour c({{1.0, 2.0}}, false, 0x01020304);
    W w;
    w.named("krContour").contourV1(0x01020304, false, {{1.0, 2.0}}, 3);
    EXPECT_EQ(kfStore(c), w.b);
}

// ---------------------------------------------------------------------------
// Round trips.

TEST(ArchiveRoundTrip, ContoursComeBackEqual) {
    Points many;
    for (int i = 0; i < 5000; ++i) many.emplace_back(std::cos(i * 0.01) * i, std::sin(i * 0.7));
    struct Case {
        const char* name;
        Points points;
        bool closed;
        unsigned long label;
        long cachedVectorSize;
    };
    const Case cases[] = {
        {"empty", {}, true, 0, 3},
        {"one point", {{1.5, -2.5}}, true, 1, 3},
        {"open, largest label, no cache", {{0, 0}, {1, 0}, {1, 1}}, false, 0xffffffffUL, 0},
        {"extreme values", {{kInf, -kInf}, {-0.0, 5e-324}, {1e308, -1e-308}}, true, 42,
         2147483647L},
        {"many points", many, false, 7, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        krContour src(c.points, c.closed, c.label);
        src.cachedVectorSize(c.cachedVectorSize);
        const Bytes bytes = kfStore(src);

        std::ostringstream os;
        kfStore(os, src);
        const std::string text = os.str();
        EXPECT_EQ(Bytes(text.begin(), text.end()), bytes);

        std::istringstream seekable(text), throwing(text);
        throwing.exceptions(std::ios::failbit | std::ios::eofbit | std::ios::badbit);
        PipeBuf pipe(bytes);
        std::istream piped(&pipe);
        const std::shared_ptr<krContour> loaded[] = {
            kfLoadAs<krContour>(bytes), kfLoadAs<krContour>(seekable),
            kfLoadAs<krContour>(throwing), kfLoadAs<krContour>(piped)};
        for (const auto& back : loaded) {
            ASSERT_TRUE(back);
            EXPECT_TRUE(*back == src);
            EXPECT_EQ(back->label(), c.label);
            EXPECT_EQ(back->isClosed(), c.closed);
            for (std::size_t i = 0; i < c.points.size(); ++i) {
                EXPECT_EQ(std::signbit(back->points()[i].x()), std::signbit(c.points[i].x()));
            }
        }
    }
}

TEST(ArchiveRoundTrip, LoadingDropsEveryCache) {
    const Points square = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    W v0;
    v0.named("krContour").contourV0(square, 0, 4, true);
    const Bytes records[] = {kfStore(krContour(square, false, 9)), v0.b};
    for (const auto& bytes : records) {
        ContourProbe probe(square);
        probe.validateEveryCache();
        ASSERT_TRUE(probe.anyCacheValid());
        // The probe is not a registered class, so read the record without the tag.
        krArchive ar(bytes.data(), bytes.size());
        unsigned char tag = 0, length = 0;
        ar || tag || length;
        for (unsigned i = 0; i < length; ++i) ar || tag;
        probe.loadSimple(ar);
        EXPECT_FALSE(probe.anyCacheValid());
        EXPECT_EQ(probe.points(), square);
        EXPECT_DOUBLE_EQ(probe.length(), bytes == records[0] ? 6.0 : 8.0);
    }
}

TEST(ArchiveRoundTrip, ErrorsKeepTheirClassAndNumber) {
    struct Case {
        std::function<krContourDefs::Errors*()> make;
        long number;
        const char* name;
    };
    const Case cases[] = {
        {[] { return new krContourDefs::EmptyContour(L"text"); }, 0x10004680,
         "krContourDefs::EmptyContour"},
        {[] { return new krContourDefs::EmptyRegionSet(L"text"); }, 0x10004682,
         "krContourDefs::EmptyRegionSet"},
        {[] { return new krContourDefs::BadParams(L"text"); }, 0x10004683,
         "krContourDefs::BadParams"},
        {[] { return new krContourDefs::RegionCannotBeSetOpen(L"text"); }, 0x10004684,
         "krContourDefs::RegionCannotBeSetOpen"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<krContourDefs::Errors> error(c.make());
        const Bytes bytes = kfStore(*error);
        W expected;
        expected.named(c.name).u8(0).u8(0).u8(0).u8(0);
        EXPECT_EQ(bytes, expected.b);

        const std::shared_ptr<krContourDefs::Errors> back = kfLoadAs<krContourDefs::Errors>(bytes);
        ASSERT_TRUE(back);
        const krPersistent& loadedObject = *back;
        const krPersistent& storedObject = *error;
        EXPECT_EQ(typeid(loadedObject), typeid(storedObject));
        EXPECT_EQ(back->errorNumber(), c.number);
        EXPECT_EQ(back->message(), L"");
    }
}

TEST(ArchiveRoundTrip, LoadIntoAnExistingObjectChecksTheClass) {
    const Bytes bytes = kfStore(krContourDefs::BadParams());
    krContour c;
    EXPECT_THROW(kfLoadInto(bytes, c), krArchive::WrongClass);
    krContourDefs::EmptyContour other;
    EXPECT_THROW(kfLoadInto(bytes, other), krArchive::WrongClass);
    EXPECT_THROW(kfLoadAs<krContour>(bytes), krArchive::WrongClass);
    krContourDefs::BadParams same(L"kept?");
    kfLoadInto(bytes, same);
    EXPECT_EQ(same.errorNumber(), 0x10004683);
}

// ---------------------------------------------------------------------------
// Old records and version checks.

TEST(ArchiveVersions, VersionZeroContourLoads) {
    W w;
    w.named("krContour").contourV0({{0, 0}, {3, 0}, {3, 4}}, 0xa5, 5, false);
    krContour c({{9, 9}}, true, 9);
    kfLoadInto(w.b, c);
    EXPECT_FALSE(c.isClosed());
    EXPECT_EQ(c.points(), (Points{{0, 0}, {3, 0}, {3, 4}}));
    EXPECT_EQ(c.label(), 0u);
    EXPECT_EQ(c.cachedVectorSize(), 5);
    EXPECT_DOUBLE_EQ(c.length(), 7.0);

    // Each version-0 record carries its own legacy level, also when several
    // share one archive.
    W two;
    holderStart(two, true, 2);
    two.named("krContour").contourV0({{1, 1}}, 0, 3, true);
    two.u8(2).u32(1).contourV0({{2, 2}, {3, 3}}, 0, -1, false);
    two.u8(0);  // no child
    const auto holder = kfLoadAs<Holder>(two.b);
    ASSERT_EQ(holder->contours.size(), 2u);
    EXPECT_EQ(holder->contours[0]->points(), (Points{{1, 1}}));
    EXPECT_EQ(holder->contours[1]->points(), (Points{{2, 2}, {3, 3}}));
    EXPECT_EQ(holder->contours[1]->cachedVectorSize(), -1);  // stored as read
    EXPECT_FALSE(holder->contours[1]->isClosed());
}

TEST(ArchiveVersions, EveryLevelRejectsAnUnknownVersion) {
    W v1, v0, error, holder;
    v1.named("krContour").contourV1(5, true, {{1, 2}, {3, 4}}, 3);
    v0.named("krContour").contourV0({{1, 2}}, 0, 3, true);
    error.named("krContourDefs::BadParams").ver(0).ver(0).ver(0).ver(0);
    holderStart(holder, true, 0).u8(0);
    const char* contour = "src/tarn/cntr/contour";
    struct Case {
        const W* record;
        std::size_t level;
        const char* place;
        long line;
    };
    const Case cases[] = {
        {&v1, 0, contour, 904},
        {&v1, 1, "krPersistent", 0},
        {&v1, 2, "", 0},  // point list
        {&v0, 0, contour, 904},
        {&v0, 1, contour, 894},  // legacy base
        {&v0, 2, "krPersistent", 0},
        {&v0, 3, "", 0},
        {&error, 0, "krContourDefs::BadParams", 0},
        {&error, 1, "krContourDefs::Errors", 0},
        {&error, 2, "krException", 0},
        {&error, 3, "krPersistent", 0},
        {&holder, 2, "", 0},  // the shared-pointer list
    };
    for (const auto& c : cases) {
        for (unsigned bad : {2u, 0xffu}) {
            SCOPED_TRACE(std::string(c.place) + " level " + std::to_string(c.level) + " version " +
                         std::to_string(bad));
            Bytes bytes = c.record->b;
            bytes[c.record->versions.at(c.level)] = static_cast<unsigned char>(bad);
            try {
                kfLoad(bytes);
                ADD_FAILURE() << "loaded";
            } catch (const krArchive::UnknownVersion& e) {
                EXPECT_EQ(e.place(), c.place);
                EXPECT_EQ(e.line(), c.line);
            }
        }
    }
}

TEST(ArchiveVersions, FailedLoadKeepsWhatWasReadAndDropsCaches) {
    W w;
    w.named("krContour").contourV1(77, false, {{5, 5}, {6, 6}}, 3);
    Bytes bytes = w.b;
    bytes[w.versions[2]] = 1;  // the point list's version
    ContourProbe probe({{0, 0}, {1, 0}}, true, 1);
    probe.validateEveryCache();
    krArchive ar(bytes.data(), bytes.size());
    unsigned char skip = 0;
    for (int i = 0; i < 11; ++i) ar || skip;  // tag and class name
    EXPECT_THROW(probe.loadSimple(ar), krArchive::UnknownVersion);
    EXPECT_EQ(probe.label(), 77u);  // read before the point list
    EXPECT_FALSE(probe.isClosed());
    EXPECT_EQ(probe.points(), (Points{{0, 0}, {1, 0}}));
    EXPECT_FALSE(probe.anyCacheValid());
}

// ---------------------------------------------------------------------------
// Shared objects and the visited marks.

TEST(ArchiveSharing, ASharedContourComesBackAsOneObject) {
    auto a = shared({{0, 0}, {1, 1}}, false, 1);
    auto b = shared({{0, 0}, {1, 1}}, false, 1);  // equal value, other object
    Holder h;
    h.contours = {a, a, krPtrHandle_const<krContour>(), b};
    const Bytes bytes = kfStore(h);

    const auto back = kfLoadAs<Holder>(bytes);
    ASSERT_EQ(back->contours.size(), 4u);
    EXPECT_EQ(back->contours[0].get(), back->contours[1].get());
    EXPECT_TRUE(back->contours[2].isNull());
    EXPECT_NE(back->contours[3].get(), back->contours[0].get());
    EXPECT_TRUE(*back->contours[3] == *b);
    // Only the holder's handles hold the contour once the archive is gone.
    EXPECT_EQ(back->contours[0]->refCount(), 2);
    EXPECT_EQ(back->contours[3]->refCount(), 1);

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
    const auto again = in.readObject();
    EXPECT_EQ(first.get(), again.get());
    EXPECT_EQ(static_cast<const krPersistent*>(holder->contours[0].get()), first.get());
}

TEST(ArchiveSharing, AnObjectOfAnotherClassGivesANullHandle) {
    W w;
    holderStart(w, true, 1);
    w.named("krContourDefs::BadParams").u8(0).u8(0).u8(0).u8(0);
    w.u8(0);
    const auto back = kfLoadAs<Holder>(w.b);
    ASSERT_EQ(back->contours.size(), 1u);
    EXPECT_TRUE(back->contours[0].isNull());  // the error object went with the archive
}

TEST(ArchiveSharing, CyclesAreRefusedBothWays) {
    krPtrHandle<Holder> h(new Holder);
    h->child = h;
    EXPECT_THROW(kfStore(*h), krArchive::CannotStore);
    h->child = krPtrHandle<Holder>();

    W w;
    holderStart(w, true, 0).u8(3).u32(0);  // the child is the holder itself
    const std::wstring message = expectEveryLoadFails(w.b);
    EXPECT_TRUE(contains(message, "cycle")) << std::string(message.begin(), message.end());
}

TEST(ArchiveSharing, NestingIsBounded) {
    auto chain = [](unsigned n) {
        krPtrHandle<Holder> root(new Holder);
        Holder* last = root.get();
        for (unsigned i = 1; i < n; ++i) {
            last->child = krPtrHandle<Holder>(new Holder);
            last = last->child.get();
        }
        return root;
    };
    const Bytes deepest = kfStore(*chain(krArchive::kMaxDepth));
    EXPECT_NO_THROW(kfLoad(deepest));
    EXPECT_THROW(kfStore(*chain(krArchive::kMaxDepth + 1)), krArchive::CannotStore);

    W w;
    for (unsigned i = 0; i <= krArchive::kMaxDepth; ++i) {
        if (i == 0)
            holderStart(w, true, 0);
        else
            holderStart(w.u8(2).u32(0), false, 0);
    }
    w.u8(0);
    const std::wstring message = expectEveryLoadFails(w.b);
    EXPECT_TRUE(contains(message, "nest deeper"));
}

namespace {
// A diamond: Left and Right both reach Middle's level.
struct Middle : virtual krPersistent {
    int value = 7;
    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<Middle*>(this), sizeof(Middle), 0,
                         [&](unsigned char) { ar || value; });
    }
};
struct Left : virtual Middle {
    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<Left*>(this), sizeof(Left), 0,
                         [&](unsigned char) { Middle::dispatchSerialize(ar); });
    }
};
struct Right : virtual Middle {
    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<Right*>(this), sizeof(Right), 0,
                         [&](unsigned char) { Middle::dispatchSerialize(ar); });
    }
};
struct Both : Left, Right {
    void dispatchSerialize(krArchive& ar) override {
        kfSerializeLevel(ar, static_cast<Both*>(this), sizeof(Both), 0, [&](unsigned char) {
            Left::dispatchSerialize(ar);
            Right::dispatchSerialize(ar);
        });
    }
};
}  // namespace

TEST(ArchiveSharing, ALevelReachedTwiceIsWrittenOncePerObject) {
    Both one, two;
    Bytes bytes;
    krArchive ar(bytes);
    one.storeSimple(ar);
    // Both, Left, Middle with its int, Right: Middle only once.
    EXPECT_EQ(bytes.size(), krArchive::kHeaderSize + 8);
    two.storeSimple(ar);
    one.storeSimple(ar);  // marks do not outlive one object's operation
    EXPECT_EQ(bytes.size(), krArchive::kHeaderSize + 24);

    krArchive in(bytes.data(), bytes.size());
    Both back;
    back.value = 0;
    for (int i = 0; i < 3; ++i) back.loadSimple(in);
    EXPECT_EQ(back.value, 7);
    EXPECT_EQ(in.remaining(), 0u);
}

// ---------------------------------------------------------------------------
// Malformed and hostile input.

TEST(ArchiveCorrupt, MalformedArchivesSayWhatAndWhere) {
    const Bytes good = kfStore(krContour({{1, 1}}, true, 3));
    auto with = [&](std::size_t at, unsigned value) {
        Bytes b = good;
        b[at] = static_cast<unsigned char>(value);
        return b;
    };
    auto plus = [&](Bytes tail) {
        Bytes b = good;
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    const std::size_t closedAt = 8 + 2 + 9 + 1 + 1 + 4;
    W unknown, emptyName, badTag, badRef, badClass, hugeName;
    unknown.named("krNoSuchClass").u8(0);
    emptyName.u8(1).u8(0);
    badTag.u8(7);
    badRef.u8(3).u32(5);
    badClass.u8(2).u32(3);
    holderStart(hugeName, true, 0).u8(1).u8(200).u8('x');
    struct Case {
        const char* name;
        Bytes bytes;
        std::string says;
        std::uint64_t offset;
    };
    const Case cases[] = {
        {"empty", {}, "ends inside the archive header", 0},
        {"wrong magic", with(1, 'X'), "wrong magic", 0},
        {"newer format", with(4, 2), "format version 2", 4},
        {"header flags", with(6, 1), "header flags", 6},
        {"unknown class", unknown.b, "unknown class 'krNoSuchClass'", 8},
        {"empty class name", emptyName.b, "empty class name", 8},
        {"bad tag", badTag.b, "invalid object tag 0x07", 8},
        {"reference ahead", badRef.b, "reference to object #5", 8},
        {"class never named", badClass.b, "class #3 was never named", 8},
        {"bool not 0 or 1", with(closedAt, 2), "bool byte 0x02", closedAt},
        {"trailing bytes", plus({0, 0}), "2 bytes follow", good.size()},
        {"name cut short", hugeName.b, "ends inside a class name", hugeName.b.size() - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            kfLoad(c.bytes);
            ADD_FAILURE() << "loaded";
        } catch (const krArchive::Corrupt& e) {
            const std::wstring m = e.message();
            EXPECT_TRUE(contains(m, c.says)) << std::string(m.begin(), m.end());
            EXPECT_EQ(e.offset(), c.offset);
            EXPECT_TRUE(contains(m, "at byte offset " + std::to_string(c.offset)));
        }
    }
}

TEST(ArchiveCorrupt, EveryTruncationFailsCleanly) {
    Holder h;
    auto a = shared({{0, 0}, {1, 0}, {1, 1}}, false, 4);
    h.contours = {a, shared({{2, 2}}), a};
    h.child = krPtrHandle<Holder>(new Holder);
    h.child->contours = {a};
    const Bytes whole = kfStore(h);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        SCOPED_TRACE(n);
        expectEveryLoadFails(Bytes(whole.begin(), whole.begin() + n));
    }
    EXPECT_NO_THROW(kfLoad(whole));
}

TEST(ArchiveCorrupt, FlippedBytesLoadOrFailCleanly) {
    Holder h;
    auto a = shared({{0, 0}, {1, 0}, {1, 1}}, false, 4);
    h.contours = {a, a};
    h.child = krPtrHandle<Holder>(new Holder);
    W v0;
    v0.named("krContour").contourV0({{1, 2}, {3, 4}}, 0, 3, false);
    const Bytes samples[] = {kfStore(h), kfStore(krContourDefs::EmptyRegionSet()), v0.b};
    int failures = 0;
    for (const auto& sample : samples) {
        for (std::size_t at = 0; at < sample.size(); ++at) {
            for (unsigned mask : {0x01u, 0x10u, 0x80u, 0xffu}) {
                Bytes b = sample;
                b[at] ^= static_cast<unsigned char>(mask);
                try {
                    kfLoad(b);
                } catch (const krException&) {
                    ++failures;
                } catch (...) {
                    ADD_FAILURE() << "foreign exception at byte " << at << " mask " << mask;
                }
            }
        }
    }
    EXPECT_GT(failures, 0);
}

TEST(ArchiveCorrupt, HugeCountsAreRejectedWithoutAllocating) {
    W points, handles;
    points.named("krContour").ver(1).ver(0).u32(0).u8(1).ver(0).u32(0xffffffffu).f64(1).f64(2);
    holderStart(handles, true, 0xffffffffu).u8(0).u8(0);
    for (const Bytes* bytes : {&points.b, &handles.b}) {
        try {
            kfLoad(*bytes);
            ADD_FAILURE() << "loaded";
        } catch (const krArchive::Corrupt& e) {
            EXPECT_TRUE(contains(e.message(), "count of 4294967295"));
        }
        std::istringstream seekable(std::string(bytes->begin(), bytes->end()));
        EXPECT_THROW(kfLoad(seekable), krArchive::Corrupt);

        // A pipe cannot tell its size: the list grows only as data arrives.
        PipeBuf pipe(*bytes);
        std::istream piped(&pipe);
        kt::watchAllocations();
        EXPECT_THROW(kfLoad(piped), krArchive::Truncated);
        const std::size_t largest = kt::largestAllocation();
        if (kt::allocationsWatchable()) {
            EXPECT_LE(largest, 1u << 17);
        }
    }
}

// ---------------------------------------------------------------------------
// The registry.

TEST(ArchiveRegistry, NamesAreStableAndOwnedOnce) {
    const std::vector<std::string> names = kr_Instantiator::names();
    for (const char* n : {"krContour", "krContourDefs::EmptyContour", "krContourDefs::EmptyRegionSet",
                          "krContourDefs::BadParams", "krContourDefs::RegionCannotBeSetOpen"})
        EXPECT_NE(std::find(names.begin(), names.end(), n), names.end()) << n;
    EXPECT_EQ(kr_Instantiator::nameOf(typeid(krContour)), "krContour");

    {
        // A second claim on a name or a type loses; the first stays in force.
        kr_Instantiator taken(typeid(Middle), &Holder::make, "krContour");
        kr_Instantiator again(typeid(krContour), &Holder::make, "test::other");
        EXPECT_FALSE(taken.registered());
        EXPECT_FALSE(again.registered());
        // Without a name the demangled type name is used.
        kr_Instantiator derived(typeid(Both), [] { return static_cast<krPersistent*>(new Both); });
        EXPECT_TRUE(derived.registered());
        EXPECT_EQ(derived.name(), "(anonymous namespace)::Both");
        EXPECT_NE(kr_Instantiator::factoryOf(derived.name()), nullptr);
    }
    EXPECT_EQ(kr_Instantiator::nameOf(typeid(Both)), "");  // gone with its exemplar
    EXPECT_EQ(kr_Instantiator::nameOf(typeid(krContour)), "krContour");
    EXPECT_TRUE(kfLoadAs<krContour>(kfStore(krContour())));

    Middle unregistered;
    EXPECT_THROW(kfStore(unregistered), krArchive::CannotStore);
}
