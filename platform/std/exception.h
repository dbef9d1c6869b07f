// The exception classes of the support layer. Every exception is persistent,
// so it can travel through an archive, and knows its error number.
#ifndef QEL_PLATFORM_STD_EXCEPTION_H
#define QEL_PLATFORM_STD_EXCEPTION_H

#include <ostream>
#include <string>

#include "platform/std/persistent.h"

class krException : public krPersistent {
public:
    ~krException() override = default;

    void dispatchSerialize(krArchive& ar) override;

    virtual long errorNumber() const = 0;
    // Copies the object, deletes it (it must have been made with new) and throws the copy.
    virtual void suicideAndRethrow() = 0;
    // Writes a description of the error.
    virtual void message_(std::basic_ostream<wchar_t>& os) const = 0;

    // What message_ writes, as a wide string.
    std::wstring message() const;

protected:
    krException() = default;
    krException(const krException&) = default;
    krException& operator=(const krException&) = default;
};

// An exception that carries a wide-character message.
class krExceptionWithString : public krException {
public:
    void message_(std::basic_ostream<wchar_t>& os) const override;
    const std::wstring& string() const { return string_; }

protected:
    explicit krExceptionWithString(const std::wstring& message = std::wstring())
        : string_(message) {}
    explicit krExceptionWithString(const wchar_t* message) : string_(message ? message : L"") {}
    krExceptionWithString(const krExceptionWithString&) = default;
    krExceptionWithString& operator=(const krExceptionWithString&) = default;

private:
    std::wstring string_;
};

// suicideAndRethrow for a concrete class C: copy, delete the heap object, throw the copy.
template <class C>
[[noreturn]] void kfSuicideAndRethrow(C* self) {
    C copy(*self);
    delete self;
    throw copy;
}

// A null handle or pointer was dereferenced.
class krBadPointer : public krException {
public:
    krBadPointer() = default;
    long errorNumber() const override { return 0x10000001; }
    void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
    void message_(std::basic_ostream<wchar_t>& os) const override;
};

class krMathError {
public:
    // A matrix or system has no (unique) solution: a zero determinant, parallel
    // lines, a zero vector to normalize, a degenerate moment.
    class Singular : public krException {
    public:
        Singular() = default;
        long errorNumber() const override { return 0x10000101; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
        void message_(std::basic_ostream<wchar_t>& os) const override;
    };
};

class krPel {
public:
    // An operation was asked of an object that does not support it.
    class BadWindow : public krException {
    public:
        BadWindow() = default;
        long errorNumber() const override { return 0x10000201; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
        void message_(std::basic_ostream<wchar_t>& os) const override;
    };
};

#endif
