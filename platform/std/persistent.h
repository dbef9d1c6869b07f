// The base of every archivable object, and the class registry that lets an
// archive make an object of the class it finds stored.
#ifndef QEL_PLATFORM_STD_PERSISTENT_H
#define QEL_PLATFORM_STD_PERSISTENT_H

#include <cstddef>
#include <string>
#include <typeinfo>
#include <vector>

class krArchive;

// An object that can be written to and read from a krArchive. Besides its
// record it carries a one-byte tracking flag: while the flag is set, the object
// gives a mutation notice (mutating_) before it changes stored state, and
// counts the notices, so an owner can tell that it changed.
//
// Every class level writes its record in dispatchSerialize: the visited check,
// its version byte, its bases' records, its own fields, the visited mark
// (kfSerializeLevel in archive.h does the steps around the fields).
class krPersistent {
public:
    virtual ~krPersistent() = default;

    // Writes or reads this class level's record. Here: the persistence base's
    // own record, a version byte 0.
    virtual void dispatchSerialize(krArchive& ar);
    // Returns the object to its freshly made state before a load; nothing here.
    virtual void reInit() {}
    // Reads a record (no class name, no object identity) into this object:
    // reInit, then dispatchSerialize, as one object's operation.
    virtual void loadSimple(krArchive& ar);
    // The counterpart of loadSimple: writes this object's record alone.
    void storeSimple(krArchive& ar) const;

    bool tracking() const { return tracking_ != 0; }
    void tracking(bool on) { tracking_ = on ? 1 : 0; }
    // Number of mutation notices given while tracking.
    unsigned long mutations() const { return mutations_; }

    // Visited marks of the current object's operation. An archive opens a fresh
    // set of marks for every object it writes or reads (and loadSimple,
    // storeSimple and krArchive::ObjectScope open one too); the marks go when
    // that object's record is complete. So a class level reached twice through
    // virtual inheritance is handled once per object, and nothing is skipped
    // because some other object touched the same address earlier in the pass.
    // Outside any object's operation nothing is marked and every level runs.
    static bool haveVisited(const void* address, std::size_t size);
    static void setVisited(const void* address, std::size_t size);

    // A reference to a shared object (or null). Storing: writes obj the first
    // time the archive meets it and a reference to it after; out = obj.
    // Loading: out = the object read (made through the class registry the first
    // time, the same object for every later reference), or null. Objects read
    // this way belong to the archive until someone takes a reference count on
    // them; see krArchive.
    static void serializePointer(krArchive& ar, krPersistent* obj, krPersistent*& out);

protected:
    krPersistent() = default;
    // A copy is a new object: it starts untracked, with no notices.
    krPersistent(const krPersistent&) {}
    krPersistent& operator=(const krPersistent&) { return *this; }

    // The mutation notice; callers give it only while tracking (see notifyMutation).
    void mutating_() { ++mutations_; }
    // Gives the mutation notice when the tracking flag is set.
    void notifyMutation() {
        if (tracking_) mutating_();
    }

private:
    unsigned char tracking_ = 0;
    unsigned long mutations_ = 0;
};

// An entry of the class registry: a class's stable name and its factory. A
// class makes one as a static member (its exemplar), so the entry exists as soon
// as the library that holds the class is loaded, and goes when it is unloaded.
//
// The name is what archives store, so it must not change once files exist. The
// library's classes pass their qualified C++ name explicitly
// ("krContourDefs::BadParams", "krContour"); the two-argument form derives it
// from the type by demangling, which gives the same text with g++ and clang++
// but is not guaranteed across other compilers.
class kr_Instantiator {
public:
    typedef krPersistent* (*Factory)();

    kr_Instantiator(const std::type_info& type, Factory make, const char* name);
    kr_Instantiator(const std::type_info& type, Factory make);
    ~kr_Instantiator();
    kr_Instantiator(const kr_Instantiator&) = delete;
    kr_Instantiator& operator=(const kr_Instantiator&) = delete;

    const std::string& name() const { return name_; }
    // False when the name or the type was already registered by another
    // exemplar; the first registration stays in force.
    bool registered() const { return registered_; }

    // Registry look-ups. nameOf gives an empty name for a class that is not
    // registered; factoryOf gives null for an unknown name.
    static std::string nameOf(const std::type_info& type);
    static Factory factoryOf(const std::string& name);
    // Every registered name, in ascending order.
    static std::vector<std::string> names();

private:
    const std::type_info* type_;
    Factory make_;
    std::string name_;
    bool registered_ = false;
};

#endif
