#include "platform/std/exception.h"

#include <sstream>

std::wstring krException::message() const {
    std::wostringstream os;
    message_(os);
    return os.str();
}

void krExceptionWithString::message_(std::basic_ostream<wchar_t>& os) const { os << string_; }

void krBadPointer::message_(std::basic_ostream<wchar_t>& os) const {
    os << L"null pointer dereferenced";
}

void krMathError::Singular::message_(std::basic_ostream<wchar_t>& os) const {
    os << L"singular: the problem has no unique solution";
}

void krPel::BadWindow::message_(std::basic_ostream<wchar_t>& os) const {
    os << L"operation not supported by this object";
}
