// Intrusive reference counting: krRepBase holds the count, krPtrHandle and
// krPtrHandle_const share one object and delete it with the last handle.
#ifndef QEL_PLATFORM_STD_HANDLE_H
#define QEL_PLATFORM_STD_HANDLE_H

#include <type_traits>
#include <utility>

#include "platform/std/exception.h"

// Atomic increment and decrement; each returns the new value.
long kfInterlockedIncrement(volatile long* value);
long kfInterlockedDecrement(volatile long* value);

// The reference count of a shared object. A copy starts with no references:
// the count belongs to the object's identity, not to its value.
class krRepBase {
public:
    krRepBase() = default;
    krRepBase(const krRepBase&) {}
    krRepBase& operator=(const krRepBase&) { return *this; }
    virtual ~krRepBase() = default;

    // Read atomically: another thread may take or drop a handle meanwhile.
    long refCount() const { return __atomic_load_n(&refCount_, __ATOMIC_RELAXED); }

private:
    template <class T>
    friend class krPtrHandleBase_;
    mutable volatile long refCount_ = 0;
};

// Shared machinery of the two handle kinds; T may be const-qualified. The
// handle keeps the object's krRepBase beside the typed pointer, so copying and
// releasing a handle need no complete type: a class may hold a handle to a class
// that is only declared.
template <class T>
class krPtrHandleBase_ {
public:
    T* get() const { return ptr_; }
    // The shared object's count holder; null for a null handle.
    const krRepBase* rep() const { return rep_; }
    T* operator->() const { return &checked(); }
    T& operator*() const { return checked(); }
    explicit operator bool() const { return ptr_ != nullptr; }
    bool isNull() const { return ptr_ == nullptr; }
    bool operator!() const { return ptr_ == nullptr; }
    template <class U>
    bool operator==(const krPtrHandleBase_<U>& o) const { return ptr_ == o.get(); }
    template <class U>
    bool operator!=(const krPtrHandleBase_<U>& o) const { return ptr_ != o.get(); }

protected:
    krPtrHandleBase_() = default;
    krPtrHandleBase_(T* p, const krRepBase* rep) : ptr_(p), rep_(rep) { acquire(rep_); }
    krPtrHandleBase_(const krPtrHandleBase_& o) : ptr_(o.ptr_), rep_(o.rep()) { acquire(rep_); }
    ~krPtrHandleBase_() { release(rep_); }
    void reset(T* p, const krRepBase* rep) {
        if (rep == rep_) return;
        acquire(rep);
        const krRepBase* old = rep_;
        ptr_ = p;
        rep_ = rep;
        release(old);
    }
    template <class U>
    static const krRepBase* repOf(U* p) { return p; }

private:
    template <class U>
    friend class krPtrHandleBase_;
    T& checked() const {
        if (!ptr_) throw krBadPointer();
        return *ptr_;
    }
    static void acquire(const krRepBase* rep) {
        if (rep) kfInterlockedIncrement(&rep->refCount_);
    }
    static void release(const krRepBase* rep) {
        if (rep && kfInterlockedDecrement(&rep->refCount_) == 0) delete rep;
    }

protected:
    T* ptr_ = nullptr;
    const krRepBase* rep_ = nullptr;
};

// A handle through which the object may be changed.
template <class T>
class krPtrHandle : public krPtrHandleBase_<T> {
public:
    krPtrHandle() = default;
    // Takes a share of p, which must have been made with new.
    explicit krPtrHandle(T* p) : krPtrHandleBase_<T>(p, this->repOf(p)) {}
    krPtrHandle(const krPtrHandle& o) : krPtrHandleBase_<T>(o) {}
    template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
    krPtrHandle(const krPtrHandle<U>& o) : krPtrHandleBase_<T>(o.get(), o.rep()) {}
    krPtrHandle& operator=(const krPtrHandle& o) {
        this->reset(o.ptr_, o.rep());
        return *this;
    }
};

// A handle to an object that is only read through it.
template <class T>
class krPtrHandle_const : public krPtrHandleBase_<const T> {
public:
    krPtrHandle_const() = default;
    explicit krPtrHandle_const(const T* p) : krPtrHandleBase_<const T>(p, this->repOf(p)) {}
    krPtrHandle_const(const krPtrHandle_const& o) : krPtrHandleBase_<const T>(o) {}
    template <class U, class = std::enable_if_t<std::is_convertible<const U*, const T*>::value>>
    krPtrHandle_const(const krPtrHandle_const<U>& o)
        : krPtrHandleBase_<const T>(o.get(), o.rep()) {}
    template <class U, class = std::enable_if_t<std::is_convertible<U*, const T*>::value>>
    krPtrHandle_const(const krPtrHandle<U>& o) : krPtrHandleBase_<const T>(o.get(), o.rep()) {}
    krPtrHandle_const& operator=(const krPtrHandle_const& o) {
        this->reset(o.ptr_, o.rep());
        return *this;
    }
};

#endif
