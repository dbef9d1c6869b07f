#include "platform/std/archive.h"

#include <cstring>
#include <istream>
#include <limits>
#include <ostream>
#include <sstream>
#include <typeindex>
#include <unordered_map>

static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8,
              "the archive stores doubles as IEEE binary64");
static_assert(sizeof(int) == 4, "int and unsigned int are 32 bits on the wire and in memory");

namespace {

// Object tags: what the byte in front of an object reference says.
enum Tag : unsigned char {
    eNull = 0,        // no object
    eNewNamed = 1,    // a new object of a class not named before: name, then record
    eNewKnown = 2,    // a new object of a class named before: class number, then record
    eReference = 3,   // an object written before: its number
};

const std::size_t kMaxNameLength = 255;

std::string hex2(unsigned v) {
    static const char digits[] = "0123456789abcdef";
    std::string s = "0x";
    s += digits[(v >> 4) & 0xf];
    s += digits[v & 0xf];
    return s;
}

// Class names from a file go into messages; keep them printable.
std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f && c != '\\')
            out += static_cast<char>(c);
        else
            out += "\\" + hex2(c).substr(1);
    }
    return out;
}

std::string registeredName(const std::type_info& type) {
    std::string name = kr_Instantiator::nameOf(type);
    return name.empty() ? std::string(type.name()) + " (not registered)" : name;
}

thread_local krArchive::ObjectScope* tScope = nullptr;

}  // namespace

// ---------------------------------------------------------------------------
// The archive's state: where bytes go or come from, and the object tables.

struct krArchive::Impl {
    krArchive& self;
    bool storing;

    // One of these is in use: a stream or a buffer to write, a stream or
    // memory to read.
    std::ostream* os = nullptr;
    std::vector<unsigned char>* outBuf = nullptr;
    std::istream* is = nullptr;
    const unsigned char* mem = nullptr;
    std::size_t memSize = 0;

    std::uint64_t pos = 0;             // bytes written or read, header included
    bool sizeKnown = false;            // loading: total is the archive's bytes
    std::uint64_t total = 0;
    unsigned depth = 0;

    // Storing: objects met so far, by address, and class numbers by type.
    struct Written {
        std::uint32_t number;
        bool done;
    };
    std::unordered_map<const krPersistent*, Written> written;
    std::unordered_map<std::type_index, std::uint32_t> classNumbers;

    // Loading: objects made so far, by number, and the classes named so far.
    struct Loaded {
        std::shared_ptr<krPersistent> owner;  // null for an object read into the caller's object
        krPersistent* object;
        bool done;
    };
    std::vector<Loaded> objects;
    struct Named {
        std::string name;
        kr_Instantiator::Factory make;
    };
    std::vector<Named> classes;

    Impl(krArchive& a, bool s) : self(a), storing(s) {}

    // ---- raw bytes ----
    void put(const void* p, std::size_t n) {
        if (outBuf) {
            const auto* b = static_cast<const unsigned char*>(p);
            outBuf->insert(outBuf->end(), b, b + n);
        } else {
            bool ok = false;
            try {
                ok = static_cast<bool>(os->write(static_cast<const char*>(p),
                                                 static_cast<std::streamsize>(n)));
            } catch (const std::ios_base::failure&) {
                // A stream set to throw reports as one that failed.
            }
            if (!ok) throw CannotStore("the output stream failed", pos);
        }
        pos += n;
    }

    std::uint64_t left() const { return total - pos; }

    void get(void* p, std::size_t n, const char* what) {
        if (sizeKnown && left() < n) {
            std::ostringstream m;
            m << "the data ends inside " << what << " (" << n << " bytes needed, " << left()
              << " left)";
            throw Truncated(m.str(), pos);
        }
        if (mem) {
            std::memcpy(p, mem + pos, n);
        } else {
            try {
                is->read(static_cast<char*>(p), static_cast<std::streamsize>(n));
            } catch (const std::ios_base::failure&) {
                // A stream set to throw at its end reports like any other.
            }
            const auto got = static_cast<std::size_t>(is->gcount());
            if (got < n) {
                std::ostringstream m;
                m << "the data ends inside " << what << " (" << n << " bytes needed, " << got
                  << " left)";
                throw Truncated(m.str(), pos + got);
            }
        }
        pos += n;
    }

    void putU8(unsigned v) {
        const unsigned char b = static_cast<unsigned char>(v);
        put(&b, 1);
    }
    unsigned char getU8(const char* what) {
        unsigned char b;
        get(&b, 1, what);
        return b;
    }
    void putU16(unsigned v) {
        const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
        put(b, 2);
    }
    unsigned getU16(const char* what) {
        unsigned char b[2];
        get(b, 2, what);
        return b[0] | (unsigned(b[1]) << 8);
    }
    void putU32(std::uint32_t v) {
        const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v >> 16),
                                    static_cast<unsigned char>(v >> 24)};
        put(b, 4);
    }
    std::uint32_t getU32(const char* what) {
        unsigned char b[4];
        get(b, 4, what);
        return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
               (std::uint32_t(b[3]) << 24);
    }
    void putF64(double d) {
        std::uint64_t u;
        std::memcpy(&u, &d, 8);
        unsigned char b[8];
        for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(u >> (8 * i));
        put(b, 8);
    }
    double getF64(const char* what) {
        unsigned char b[8];
        get(b, 8, what);
        std::uint64_t u = 0;
        for (int i = 7; i >= 0; --i) u = (u << 8) | b[i];
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }

    // ---- header ----
    void writeHeader() {
        put(kMagic, 4);
        putU16(kFormatVersion);
        putU16(0);
    }

    void readHeader() {
        unsigned char magic[4];
        get(magic, 4, "the archive header");
        if (std::memcmp(magic, kMagic, 4) != 0) throw Corrupt("not an archive: wrong magic number", 0);
        const unsigned version = getU16("the archive header");
        if (version != kFormatVersion) {
            std::ostringstream m;
            m << "archive format version " << version << " is not supported (this library reads "
              << kFormatVersion << ")";
            throw Corrupt(m.str(), 4);
        }
        const unsigned flags = getU16("the archive header");
        if (flags != 0) throw Corrupt("unknown header flags " + std::to_string(flags), 6);
    }

    // Finds how many bytes a seekable stream holds from here on. The probe must
    // not throw, whatever the stream's exception mask.
    void measureStream() {
        if (!is->good()) return;
        const std::ios::iostate mask = is->exceptions();
        is->exceptions(std::ios::goodbit);
        measureQuietly();
        is->exceptions(mask);
    }

    void measureQuietly() {
        const std::istream::pos_type here = is->tellg();
        if (here == std::istream::pos_type(-1)) {
            is->clear(is->rdstate() & ~std::ios::failbit);
            return;
        }
        is->seekg(0, std::ios::end);
        const std::istream::pos_type end = is->tellg();
        is->seekg(here);
        if (end == std::istream::pos_type(-1) || !*is || end < here) {
            is->clear();
            is->seekg(here);
            return;
        }
        sizeKnown = true;
        total = static_cast<std::uint64_t>(end - here);
    }

    // ---- object references ----
    struct DepthGuard {
        unsigned& depth;
        explicit DepthGuard(unsigned& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    };

    // Writes the tag of a new object and its class: the name the first time,
    // the class number after.
    void writeClassOf(const krPersistent& obj, std::uint64_t at) {
        const std::type_index type(typeid(obj));
        auto it = classNumbers.find(type);
        if (it != classNumbers.end()) {
            putU8(eNewKnown);
            putU32(it->second);
            return;
        }
        const std::string name = kr_Instantiator::nameOf(typeid(obj));
        if (name.empty())
            throw CannotStore("class " + std::string(typeid(obj).name()) + " is not registered", at);
        if (name.size() > kMaxNameLength)
            throw CannotStore("class name " + name + " is longer than 255 bytes", at);
        const auto number = static_cast<std::uint32_t>(classNumbers.size());
        classNumbers.emplace(type, number);
        putU8(eNewNamed);
        putU8(static_cast<unsigned>(name.size()));
        put(name.data(), name.size());
    }

    void storeObject(const krPersistent* obj) {
        const std::uint64_t at = pos;
        if (!obj) {
            putU8(eNull);
            return;
        }
        auto it = written.find(obj);
        if (it != written.end()) {
            if (!it->second.done)
                throw CannotStore("an object refers to itself through its own record (a cycle)", at);
            putU8(eReference);
            putU32(it->second.number);
            return;
        }
        if (depth >= kMaxDepth)
            throw CannotStore("objects nest deeper than " + std::to_string(kMaxDepth), at);
        if (written.size() >= std::numeric_limits<std::uint32_t>::max())
            throw CannotStore("too many objects for one archive", at);
        writeClassOf(*obj, at);
        const auto number = static_cast<std::uint32_t>(written.size());
        written.emplace(obj, Written{number, false});
        {
            DepthGuard guard(depth);
            ObjectScope scope;
            const_cast<krPersistent*>(obj)->dispatchSerialize(self);
        }
        written[obj].done = true;
    }

    // What an object tag and the fields after it say.
    struct Ref {
        enum Kind { eIsNull, eIsReference, eIsNew } kind;
        std::size_t number;  // the object referred to, or the new object's class
    };

    Ref readTag(std::uint64_t at) {
        const unsigned tag = getU8("an object tag");
        switch (tag) {
        case eNull:
            return Ref{Ref::eIsNull, 0};
        case eReference: {
            const std::uint32_t n = getU32("an object reference");
            if (n >= objects.size()) {
                std::ostringstream m;
                m << "reference to object #" << n << ", but only " << objects.size()
                  << " objects came before it";
                throw Corrupt(m.str(), at);
            }
            if (!objects[n].done)
                throw Corrupt("object #" + std::to_string(n) +
                                  " refers to itself through its own record (a cycle)",
                              at);
            return Ref{Ref::eIsReference, n};
        }
        case eNewNamed: {
            const unsigned length = getU8("a class name length");
            if (length == 0) throw Corrupt("empty class name", at);
            std::string name(length, '\0');
            get(&name[0], length, "a class name");
            const kr_Instantiator::Factory make = kr_Instantiator::factoryOf(name);
            if (!make) throw Corrupt("unknown class '" + printable(name) + "'", at);
            classes.push_back(Named{std::move(name), make});
            return Ref{Ref::eIsNew, classes.size() - 1};
        }
        case eNewKnown: {
            const std::uint32_t n = getU32("a class number");
            if (n >= classes.size()) {
                std::ostringstream m;
                m << "class #" << n << " was never named (" << classes.size()
                  << " classes so far)";
                throw Corrupt(m.str(), at);
            }
            return Ref{Ref::eIsNew, n};
        }
        default:
            throw Corrupt("invalid object tag " + hex2(tag), at);
        }
    }

    void checkDepth(std::uint64_t at) const {
        if (depth >= kMaxDepth)
            throw Corrupt("objects nest deeper than " + std::to_string(kMaxDepth), at);
    }

    // Returns the object's number, or SIZE_MAX for a null reference.
    std::size_t loadObject() {
        const std::uint64_t at = pos;
        const Ref ref = readTag(at);
        if (ref.kind == Ref::eIsNull) return SIZE_MAX;
        if (ref.kind == Ref::eIsReference) {
            if (!objects[ref.number].owner)
                throw Corrupt("object #" + std::to_string(ref.number) +
                                  " was read into the caller's object and cannot be shared",
                              at);
            return ref.number;
        }
        checkDepth(at);
        krPersistent* obj = classes[ref.number].make();
        if (!obj) throw Corrupt("the factory of " + classes[ref.number].name + " made nothing", at);
        std::shared_ptr<krPersistent> owner;
        if (const krRepBase* rep = dynamic_cast<const krRepBase*>(obj)) {
            // The archive's share is one reference count, so the object lives on
            // while handles hold it, whatever becomes of the archive.
            krPtrHandle_const<krRepBase> share(rep);
            owner = std::shared_ptr<krPersistent>(obj, [share](krPersistent*) mutable {
                share = krPtrHandle_const<krRepBase>();
            });
        } else {
            owner = std::shared_ptr<krPersistent>(obj);
        }
        const std::size_t number = objects.size();
        objects.push_back(Loaded{std::move(owner), obj, false});
        {
            DepthGuard guard(depth);
            ObjectScope scope;
            obj->dispatchSerialize(self);
        }
        objects[number].done = true;
        return number;
    }

    void loadInto(krPersistent& obj) {
        const std::uint64_t at = pos;
        const Ref ref = readTag(at);
        const std::string wanted = registeredName(typeid(obj));
        if (ref.kind == Ref::eIsNull)
            throw WrongClass("the archive holds a null reference, not a " + wanted, at);
        if (ref.kind == Ref::eIsReference)
            throw WrongClass("the archive holds a reference to object #" +
                                 std::to_string(ref.number) + ", not a new " + wanted,
                             at);
        const std::string& stored = classes[ref.number].name;
        if (stored != wanted)
            throw WrongClass("the archive holds a " + printable(stored) + ", not a " + wanted, at);
        checkDepth(at);
        const std::size_t number = objects.size();
        objects.push_back(Loaded{nullptr, &obj, false});
        {
            DepthGuard guard(depth);
            obj.loadSimple(self);
        }
        objects[number].done = true;
    }
};

// ---------------------------------------------------------------------------
// Construction and fields.

krArchive::krArchive(std::ostream& os) : d_(std::make_unique<Impl>(*this, true)) {
    d_->os = &os;
    d_->writeHeader();
}

krArchive::krArchive(std::vector<unsigned char>& out) : d_(std::make_unique<Impl>(*this, true)) {
    d_->outBuf = &out;
    d_->writeHeader();
}

krArchive::krArchive(std::istream& is) : d_(std::make_unique<Impl>(*this, false)) {
    d_->is = &is;
    d_->measureStream();
    d_->readHeader();
}

krArchive::krArchive(std::iostream& s, Mode mode) : d_(std::make_unique<Impl>(*this, mode == eStore)) {
    if (mode == eStore) {
        d_->os = &s;
        d_->writeHeader();
    } else {
        d_->is = &s;
        d_->measureStream();
        d_->readHeader();
    }
}

krArchive::krArchive(const void* data, std::size_t size) : d_(std::make_unique<Impl>(*this, false)) {
    static const unsigned char empty = 0;
    d_->mem = data ? static_cast<const unsigned char*>(data) : &empty;
    d_->memSize = data ? size : 0;
    d_->sizeKnown = true;
    d_->total = d_->memSize;
    d_->readHeader();
}

krArchive::~krArchive() = default;

bool krArchive::isStoring() const { return d_->storing; }
std::uint64_t krArchive::offset() const { return d_->pos; }
bool krArchive::remainingKnown() const { return d_->storing || d_->sizeKnown; }
std::uint64_t krArchive::remaining() const {
    return d_->storing || !d_->sizeKnown ? 0 : d_->left();
}

void krArchive::checkCount(std::uint64_t count, std::size_t minBytesEach, const char* what) const {
    if (d_->storing || !d_->sizeKnown) return;
    const std::uint64_t left = d_->left();
    // Divide rather than multiply: count * minBytesEach may not fit 64 bits.
    if (minBytesEach == 0 || count <= left / minBytesEach) return;
    std::ostringstream m;
    m << "a count of " << count << " " << what << " needs at least " << minBytesEach
      << " bytes each, but only " << left << " bytes are left";
    throw Corrupt(m.str(), d_->pos);
}

krArchive& krArchive::operator||(unsigned char& v) {
    if (d_->storing)
        d_->putU8(v);
    else
        v = d_->getU8("an unsigned char");
    return *this;
}

krArchive& krArchive::operator||(bool& v) {
    if (d_->storing) {
        d_->putU8(v ? 1 : 0);
    } else {
        const std::uint64_t at = d_->pos;
        const unsigned b = d_->getU8("a bool");
        if (b > 1) throw Corrupt("bool byte " + hex2(b) + " is neither 0 nor 1", at);
        v = b != 0;
    }
    return *this;
}

krArchive& krArchive::operator||(int& v) {
    if (d_->storing)
        d_->putU32(static_cast<std::uint32_t>(v));
    else
        v = static_cast<int>(static_cast<std::int32_t>(d_->getU32("an int")));
    return *this;
}

krArchive& krArchive::operator||(unsigned int& v) {
    if (d_->storing)
        d_->putU32(v);
    else
        v = d_->getU32("an unsigned int");
    return *this;
}

krArchive& krArchive::operator||(long& v) {
    if (d_->storing) {
        const long long wide = v;
        if (wide < std::numeric_limits<std::int32_t>::min() ||
            wide > std::numeric_limits<std::int32_t>::max())
            throw CannotStore("long " + std::to_string(v) + " does not fit in 32 bits", d_->pos);
        d_->putU32(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
    } else {
        v = static_cast<std::int32_t>(d_->getU32("a long"));
    }
    return *this;
}

krArchive& krArchive::operator||(unsigned long& v) {
    if (d_->storing) {
        const unsigned long long wide = v;
        if (wide > std::numeric_limits<std::uint32_t>::max())
            throw CannotStore("unsigned long " + std::to_string(v) + " does not fit in 32 bits",
                              d_->pos);
        d_->putU32(static_cast<std::uint32_t>(v));
    } else {
        v = d_->getU32("an unsigned long");
    }
    return *this;
}

krArchive& krArchive::operator||(double& v) {
    if (d_->storing)
        d_->putF64(v);
    else
        v = d_->getF64("a double");
    return *this;
}

krArchive& krArchive::operator||(krVector<2>& v) {
    if (d_->storing) {
        d_->putF64(v.x());
        d_->putF64(v.y());
    } else {
        unsigned char b[16];
        // Both coordinates or nothing: a vector is never left half read.
        d_->get(b, 16, "a 2-D vector");
        double xy[2];
        for (int k = 0; k < 2; ++k) {
            std::uint64_t u = 0;
            for (int i = 7; i >= 0; --i) u = (u << 8) | b[8 * k + i];
            std::memcpy(&xy[k], &u, 8);
        }
        v = krVector<2>(xy[0], xy[1]);
    }
    return *this;
}

// ---------------------------------------------------------------------------
// Objects.

void krArchive::writeObject(const krPersistent* obj) {
    if (!d_->storing) throw krPel::BadWindow();
    d_->storeObject(obj);
}

std::shared_ptr<krPersistent> krArchive::readObject() {
    if (d_->storing) throw krPel::BadWindow();
    const std::size_t n = d_->loadObject();
    return n == SIZE_MAX ? nullptr : d_->objects[n].owner;
}

void krArchive::readInto(krPersistent& obj) {
    if (d_->storing) throw krPel::BadWindow();
    d_->loadInto(obj);
}

void krPersistent::serializePointer(krArchive& ar, krPersistent* obj, krPersistent*& out) {
    if (ar.d_->storing) {
        ar.d_->storeObject(obj);
        out = obj;
    } else {
        const std::size_t n = ar.d_->loadObject();
        out = n == SIZE_MAX ? nullptr : ar.d_->objects[n].object;
    }
}

// ---------------------------------------------------------------------------
// Visited marks.

krArchive::ObjectScope::ObjectScope() : previous_(tScope) { tScope = this; }
krArchive::ObjectScope::~ObjectScope() { tScope = previous_; }

bool krPersistent::haveVisited(const void* address, std::size_t size) {
    if (!tScope) return false;
    for (const auto& m : tScope->marks_)
        if (m.first == address && m.second == size) return true;
    return false;
}

void krPersistent::setVisited(const void* address, std::size_t size) {
    if (tScope && !haveVisited(address, size)) tScope->marks_.emplace_back(address, size);
}

void krPersistent::loadSimple(krArchive& ar) {
    krArchive::ObjectScope scope;
    reInit();
    dispatchSerialize(ar);
}

void krPersistent::storeSimple(krArchive& ar) const {
    krArchive::ObjectScope scope;
    const_cast<krPersistent*>(this)->dispatchSerialize(ar);
}

// ---------------------------------------------------------------------------
// Errors.

krArchive::UnknownVersion::UnknownVersion(const char* place, long line)
    : place_(place ? place : ""), line_(line) {}

void krArchive::UnknownVersion::message_(std::basic_ostream<wchar_t>& os) const {
    os << L"unknown record version";
    if (!place_.empty()) os << L" in " << std::wstring(place_.begin(), place_.end());
    os << L" (line " << line_ << L")";
}

void krArchive::Failure::message_(std::basic_ostream<wchar_t>& os) const {
    os << std::wstring(what_.begin(), what_.end()) << L" at byte offset " << offset_;
}

void kf_ThrowWrongClass(const krPersistent* got, const std::type_info& wanted) {
    const std::string gotName = got ? registeredName(typeid(*got)) : std::string("null reference");
    throw krArchive::WrongClass("the archive holds a " + gotName + ", not a " +
                                    registeredName(wanted),
                                krArchive::kHeaderSize);
}

void kf_ThrowUnknownListVersion() { throw krArchive::UnknownVersion("", 0); }

// ---------------------------------------------------------------------------
// One object graph.

void kfStore(std::ostream& os, const krPersistent& obj) {
    krArchive ar(os);
    ar.writeObject(&obj);
}

std::vector<unsigned char> kfStore(const krPersistent& obj) {
    std::vector<unsigned char> bytes;
    krArchive ar(bytes);
    ar.writeObject(&obj);
    return bytes;
}

std::shared_ptr<krPersistent> kfLoad(std::istream& is) {
    krArchive ar(is);
    return ar.readObject();
}

namespace {
void expectEnd(const krArchive& ar) {
    if (ar.remaining() != 0)
        throw krArchive::Corrupt(std::to_string(ar.remaining()) + " bytes follow the archive",
                                 ar.offset());
}
}  // namespace

std::shared_ptr<krPersistent> kfLoad(const void* data, std::size_t size) {
    krArchive ar(data, size);
    std::shared_ptr<krPersistent> p = ar.readObject();
    expectEnd(ar);
    return p;
}

std::shared_ptr<krPersistent> kfLoad(const std::vector<unsigned char>& bytes) {
    return kfLoad(bytes.data(), bytes.size());
}

void kfLoadInto(std::istream& is, krPersistent& obj) {
    krArchive ar(is);
    ar.readInto(obj);
}

void kfLoadInto(const std::vector<unsigned char>& bytes, krPersistent& obj) {
    krArchive ar(bytes.data(), bytes.size());
    ar.readInto(obj);
    expectEnd(ar);
}
