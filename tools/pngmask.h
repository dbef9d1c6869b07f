// PNG masks for the readers: each grey level (or palette index, or colour)
// but 0 a shape, or with a threshold the pixels at or above it one shape.
#ifndef QEL_TOOLS_PNGMASK_H
#define QEL_TOOLS_PNGMASK_H

#include <istream>
#include <memory>
#include <string>

#include "tools/readers.h"

namespace qs {

// Whether the bytes start as a PNG file does.
bool looksLikePng(const std::string& firstBytes);

// The shapes of a PNG file read from in, which the caller keeps alive while
// the source is read. Throws InputError when it is not a PNG file the tool
// reads, or when this build has no PNG support.
std::unique_ptr<Source> openPng(std::istream& in, const std::string& path, const ReadOptions& options);

}  // namespace qs

#endif
