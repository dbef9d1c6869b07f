// krArchive: the byte stream that persistent objects are written to and read
// from, with the helpers that records share. The byte format is described in
// docs/archive-format.md.
#ifndef QEL_PLATFORM_STD_ARCHIVE_H
#define QEL_PLATFORM_STD_ARCHIVE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "platform/std/exception.h"
#include "platform/std/handle.h"
#include "platform/std/persistent.h"
#include "platform/std/vector.h"

// One archive is one pass over a byte stream, either storing or loading. Every
// field goes through operator||, which writes it when storing and reads into
// it when loading, so one routine serves both directions. Objects referred to
// through krPersistent::serializePointer are written once and referred to by
// number after, so a shared object comes back shared.
//
// Loading treats the bytes as untrusted: a malformed, truncated or hostile
// stream raises krArchive::Corrupt (or Truncated), with what is wrong and the
// byte offset; counts are checked against the bytes left before anything is
// allocated for them.
//
// Ownership while loading: every object the archive makes is held by the
// archive until the archive is destroyed. An object with a reference count
// (krRepBase) lives on while a handle holds it; the others, and every object
// nobody took, are freed with the archive. readObject hands an object out
// with shared ownership. So a load that fails half-way leaks nothing.
class krArchive {
public:
    enum Mode { eStore, eLoad };

    // Header: 4 magic bytes, the format version and a reserved flags field,
    // both 16-bit little-endian.
    static constexpr unsigned char kMagic[4] = {0x89, 'Q', 'A', 'R'};
    static constexpr std::uint16_t kFormatVersion = 1;
    static constexpr std::size_t kHeaderSize = 8;
    // Objects nest (an object's record refers to another object, and so on)
    // at most this deep; deeper graphs are refused on both sides, so a hostile
    // stream cannot exhaust the stack.
    static constexpr unsigned kMaxDepth = 256;

    // Storing writes the header at once; loading reads and checks it at once.
    explicit krArchive(std::ostream& os);
    explicit krArchive(std::istream& is);
    krArchive(std::iostream& s, Mode mode);
    // Stores by appending to out.
    explicit krArchive(std::vector<unsigned char>& out);
    // Loads from size bytes at data, which must outlive the archive.
    krArchive(const void* data, std::size_t size);
    ~krArchive();
    krArchive(const krArchive&) = delete;
    krArchive& operator=(const krArchive&) = delete;

    bool isStoring() const;
    bool isLoading() const { return !isStoring(); }
    // Bytes written or read so far, header included.
    std::uint64_t offset() const;

    // ---- fields ----
    // Fixed widths, little-endian, whatever the host: unsigned char and bool 1
    // byte (a bool is 0 or 1), int, unsigned int, long and unsigned long 4
    // bytes, double 8 (IEEE binary64, bit for bit), krVector<2> its x then y.
    // Storing a long or unsigned long outside 32 bits throws CannotStore.
    krArchive& operator||(unsigned char& v);
    krArchive& operator||(bool& v);
    krArchive& operator||(int& v);
    krArchive& operator||(unsigned int& v);
    krArchive& operator||(long& v);
    krArchive& operator||(unsigned long& v);
    krArchive& operator||(double& v);
    krArchive& operator||(krVector<2>& v);

    // ---- objects ----
    // Writes obj (or a null reference) as the next object: its class name the
    // first time the class appears, then its record; an object already
    // written in this archive is written as a reference.
    void writeObject(const krPersistent* obj);
    // Reads the next object (null for a null reference). The pointer shares
    // ownership with the archive and, for a krRepBase, with the handles that
    // hold the object.
    std::shared_ptr<krPersistent> readObject();
    // Reads the next object into obj, which must be of the stored class (else
    // WrongClass). On failure obj keeps what was read so far.
    void readInto(krPersistent& obj);

    // ---- counts from untrusted input ----
    // Whether the bytes left are known: always for memory, for a stream when
    // it can seek.
    bool remainingKnown() const;
    std::uint64_t remaining() const;
    // Loading: throws Corrupt when count elements of at least minBytesEach
    // bytes each cannot fit in the bytes left (what names them in the message).
    void checkCount(std::uint64_t count, std::size_t minBytesEach, const char* what) const;
    // Loading: makes v hold count elements filled by readOne(element). When
    // the bytes left are known the list is sized at once (after checkCount);
    // from a stream that cannot tell, it grows a chunk at a time as the data
    // arrives, so a false count costs at most one chunk.
    template <class T, class ReadOne>
    void loadElements(std::vector<T>& v, std::uint64_t count, std::size_t minBytesEach,
                      const char* what, ReadOne&& readOne);

    // One object's operation: a fresh set of visited marks for its duration
    // (see krPersistent::haveVisited). The archive opens one for every object
    // it writes or reads; open one yourself only to call dispatchSerialize
    // directly.
    class ObjectScope {
    public:
        ObjectScope();
        ~ObjectScope();
        ObjectScope(const ObjectScope&) = delete;
        ObjectScope& operator=(const ObjectScope&) = delete;

    private:
        friend class krPersistent;
        std::vector<std::pair<const void*, std::size_t>> marks_;
        ObjectScope* previous_;
    };

    // ---- errors ----
    // A record version the reader does not accept. place names the reading
    // code (empty for the small list records), line its throw site.
    class UnknownVersion : public krException {
    public:
        UnknownVersion(const char* place, long line);
        const std::string& place() const { return place_; }
        long line() const { return line_; }
        long errorNumber() const override { return 0x10000301; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
        void message_(std::basic_ostream<wchar_t>& os) const override;

    private:
        std::string place_;
        long line_;
    };

    // A failure of the archive itself: what went wrong, and the byte offset
    // in the archive where it was found.
    class Failure : public krException {
    public:
        const std::string& what() const { return what_; }
        std::uint64_t offset() const { return offset_; }
        void message_(std::basic_ostream<wchar_t>& os) const override;

    protected:
        Failure(std::string what, std::uint64_t offset)
            : what_(std::move(what)), offset_(offset) {}

    private:
        std::string what_;
        std::uint64_t offset_;
    };
    // Malformed input: a wrong header, an unknown class, a bad tag or
    // reference, an impossible count or value.
    class Corrupt : public Failure {
    public:
        Corrupt(std::string what, std::uint64_t offset) : Failure(std::move(what), offset) {}
        long errorNumber() const override { return 0x10000302; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
    };
    // The input ended inside a field.
    class Truncated : public Corrupt {
    public:
        Truncated(std::string what, std::uint64_t offset) : Corrupt(std::move(what), offset) {}
        long errorNumber() const override { return 0x10000303; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
    };
    // Storing refused: a value outside the wire range, an unregistered class,
    // a graph with a cycle or nested too deep, or a stream that failed.
    class CannotStore : public Failure {
    public:
        CannotStore(std::string what, std::uint64_t offset) : Failure(std::move(what), offset) {}
        long errorNumber() const override { return 0x10000304; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
    };
    // The archive holds an object of another class than the caller asked for.
    class WrongClass : public Failure {
    public:
        WrongClass(std::string what, std::uint64_t offset) : Failure(std::move(what), offset) {}
        long errorNumber() const override { return 0x10000305; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
    };

private:
    friend class krPersistent;
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Smallest number of bytes one element of a list takes on the wire, for the
// count checks of kfSerializeList.
template <class T>
struct kr_ArchiveMinBytes : std::integral_constant<std::size_t, 1> {};
template <>
struct kr_ArchiveMinBytes<double> : std::integral_constant<std::size_t, 8> {};
template <>
struct kr_ArchiveMinBytes<krVector<2>> : std::integral_constant<std::size_t, 16> {};
template <>
struct kr_ArchiveMinBytes<int> : std::integral_constant<std::size_t, 4> {};
template <>
struct kr_ArchiveMinBytes<unsigned int> : std::integral_constant<std::size_t, 4> {};
template <>
struct kr_ArchiveMinBytes<long> : std::integral_constant<std::size_t, 4> {};
template <>
struct kr_ArchiveMinBytes<unsigned long> : std::integral_constant<std::size_t, 4> {};

// One class level of a record: unless the level was already handled in this
// object's operation, the version byte (current when storing, the stored one
// after loading), then body(version) for the bases and fields, then the mark.
template <class Body>
void kfSerializeLevel(krArchive& ar, const void* level, std::size_t size, unsigned char current,
                      Body&& body) {
    if (krPersistent::haveVisited(level, size)) return;
    unsigned char version = current;
    ar || version;
    body(version);
    krPersistent::setVisited(level, size);
}

// The fields of a record whose object keeps caches: body reads or writes
// them; when loading, settle() runs afterwards whether body threw or not, so
// that no cache describes what was there before (what was read so far stays).
template <class Body, class Settle>
void kfSerializeFields(krArchive& ar, Body&& body, Settle&& settle) {
    try {
        body();
    } catch (...) {
        if (ar.isLoading()) settle();
        throw;
    }
    if (ar.isLoading()) settle();
}

// A list of values: version byte 0, the count as unsigned long, the elements
// in order, each through operator||. Loading any other version throws
// UnknownVersion with no place and line 0.
template <class T>
void kfSerializeList(krArchive& ar, std::vector<T>& list);

// A shared object held by a handle, through serializePointer. Loading: the
// object read is cast to the handle's type; an object of another class, like a
// null reference, gives a null handle.
template <class Handle>
void kfSerializeHandle(krArchive& ar, Handle& handle);

// A list of shared objects: version byte 0, the count as unsigned long, then
// each handle as kfSerializeHandle. Loading releases the old handles first.
// Any other version throws UnknownVersion with no place and line 0.
template <class Handle>
void kfSerializeHandleList(krArchive& ar, std::vector<Handle>& list);

// ---- an object graph in two lines ----
// kfStore writes a header and obj with everything it refers to;
// kfLoad reads it back. The memory forms insist that the bytes hold exactly
// one archive; the stream forms stop after it.
void kfStore(std::ostream& os, const krPersistent& obj);
std::vector<unsigned char> kfStore(const krPersistent& obj);
std::shared_ptr<krPersistent> kfLoad(std::istream& is);
std::shared_ptr<krPersistent> kfLoad(const void* data, std::size_t size);
std::shared_ptr<krPersistent> kfLoad(const std::vector<unsigned char>& bytes);
// The same, for an object of class T (WrongClass when it is another).
template <class T>
std::shared_ptr<T> kfLoadAs(std::istream& is);
template <class T>
std::shared_ptr<T> kfLoadAs(const std::vector<unsigned char>& bytes);
// Reads the archive's object into obj, which must be of the stored class.
void kfLoadInto(std::istream& is, krPersistent& obj);
void kfLoadInto(const std::vector<unsigned char>& bytes, krPersistent& obj);

// ---------------------------------------------------------------------------
// Template bodies.

template <class T, class ReadOne>
void krArchive::loadElements(std::vector<T>& v, std::uint64_t count, std::size_t minBytesEach,
                             const char* what, ReadOne&& readOne) {
    checkCount(count, minBytesEach, what);
    v.clear();
    if (remainingKnown()) {
        v.resize(static_cast<std::size_t>(count));
        for (auto& e : v) readOne(e);
        return;
    }
    // About 64 KiB of elements per step.
    const std::size_t chunk = std::max<std::size_t>(1, 65536 / sizeof(T));
    while (v.size() < count) {
        const std::size_t from = v.size();
        v.resize(from + static_cast<std::size_t>(std::min<std::uint64_t>(count - from, chunk)));
        for (std::size_t i = from; i < v.size(); ++i) readOne(v[i]);
    }
}

// Throws WrongClass for a loaded object that is not the class asked for.
[[noreturn]] void kf_ThrowWrongClass(const krPersistent* got, const std::type_info& wanted);
[[noreturn]] void kf_ThrowUnknownListVersion();

template <class T>
void kfSerializeList(krArchive& ar, std::vector<T>& list) {
    unsigned char version = 0;
    ar || version;
    if (version != 0) kf_ThrowUnknownListVersion();
    unsigned long count = static_cast<unsigned long>(list.size());
    if (ar.isStoring() && count != list.size()) count = ~0UL;  // refused by operator||
    ar || count;
    if (ar.isStoring()) {
        for (auto& e : list) ar || e;
        return;
    }
    ar.loadElements(list, count, kr_ArchiveMinBytes<T>::value, "list elements",
                    [&](T& e) { ar || e; });
}

template <class Handle>
void kfSerializeHandle(krArchive& ar, Handle& handle) {
    typedef std::remove_const_t<std::remove_pointer_t<decltype(handle.get())>> Held;
    krPersistent* in = nullptr;
    if (ar.isStoring() && handle.get()) in = const_cast<Held*>(handle.get());
    krPersistent* out = nullptr;
    krPersistent::serializePointer(ar, in, out);
    if (ar.isLoading()) handle = Handle(out ? dynamic_cast<Held*>(out) : nullptr);
}

template <class Handle>
void kfSerializeHandleList(krArchive& ar, std::vector<Handle>& list) {
    unsigned char version = 0;
    ar || version;
    if (version != 0) kf_ThrowUnknownListVersion();
    unsigned long count = static_cast<unsigned long>(list.size());
    if (ar.isStoring() && count != list.size()) count = ~0UL;
    ar || count;
    if (ar.isStoring()) {
        for (auto& h : list) kfSerializeHandle(ar, h);
        return;
    }
    ar.loadElements(list, count, 1, "shared object references",
                    [&](Handle& h) { kfSerializeHandle(ar, h); });
}

template <class T>
std::shared_ptr<T> kfLoadAs(std::istream& is) {
    std::shared_ptr<krPersistent> p = kfLoad(is);
    std::shared_ptr<T> t = std::dynamic_pointer_cast<T>(p);
    if (!t) kf_ThrowWrongClass(p.get(), typeid(T));
    return t;
}

template <class T>
std::shared_ptr<T> kfLoadAs(const std::vector<unsigned char>& bytes) {
    std::shared_ptr<krPersistent> p = kfLoad(bytes);
    std::shared_ptr<T> t = std::dynamic_pointer_cast<T>(p);
    if (!t) kf_ThrowWrongClass(p.get(), typeid(T));
    return t;
}

#endif
