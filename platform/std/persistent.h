// The base of every archivable object.
#ifndef QEL_PLATFORM_STD_PERSISTENT_H
#define QEL_PLATFORM_STD_PERSISTENT_H

#include <cstddef>

class krArchive;

// An object that can be written to and read from a krArchive. Besides its
// record it carries a one-byte tracking flag: while the flag is set, the object
// gives a mutation notice (mutating_) before it changes stored state, and
// counts the notices, so an owner can tell that it changed.
class krPersistent {
public:
    virtual ~krPersistent() = default;

    // Writes or reads this class level's record (the persistence base's own
    // record here; each archivable class overrides it for its level).
    virtual void dispatchSerialize(krArchive& ar);
    // Returns the object to its freshly made state before a load; nothing here.
    virtual void reInit() {}
    // Reads a record into this object outside an object graph: reInit, then
    // dispatchSerialize.
    virtual void loadSimple(krArchive& ar);

    bool tracking() const { return tracking_ != 0; }
    void tracking(bool on) { tracking_ = on ? 1 : 0; }
    // Number of mutation notices given while tracking.
    unsigned long mutations() const { return mutations_; }

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

#endif
