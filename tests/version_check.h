// A check shared by the suites that read old and unknown record versions.
#ifndef QEL_TESTS_VERSION_CHECK_H
#define QEL_TESTS_VERSION_CHECK_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/std/archive.h"

// The bytes with the byte at `at` set to v must be refused as an unknown
// version, from place and line; load reads them (as a whole archive unless given).
inline void expectUnknownVersion(
    std::vector<unsigned char> b, std::size_t at, unsigned v, const char* place, long line,
    const std::function<void(const std::vector<unsigned char>&)>& load =
        [](const std::vector<unsigned char>& x) { kfLoad(x); }) {
    b.at(at) = static_cast<unsigned char>(v);
    try {
        load(b);
        ADD_FAILURE() << "loaded";
    } catch (const krArchive::UnknownVersion& e) {
        EXPECT_EQ(e.place(), std::string(place));
        EXPECT_EQ(e.line(), line);
    }
}

#endif
