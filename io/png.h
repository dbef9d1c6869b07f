// PNG masks for the readers: each grey level (or palette index, or colour)
// but 0 a shape, or with a threshold the pixels at or above it one shape.
#ifndef QEL_IO_PNG_H
#define QEL_IO_PNG_H

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "io/source.h"
#include "platform/ip/greyimage.h"

namespace qs {

// Whether the bytes start as a PNG file does.
bool looksLikePng(const std::string& firstBytes);

// The shapes of a PNG file read from in, which the caller keeps alive while
// the source is read. Throws InputError when it is not a PNG file the tool
// reads, or when this build has no PNG support.
std::unique_ptr<Source> openPng(std::istream& in, const std::string& path, const ReadOptions& options);

// A PNG file's pixels, row by row: the grey level or palette index, or the
// colour as 0xRRGGBB (the high byte of 16-bit samples); alpha is dropped.
struct PngPixels {
    std::size_t width = 0, height = 0;
    bool colour = false;
    std::vector<std::uint32_t> value;
};
PngPixels readPng(std::istream& in, const std::string& path);

// A PNG file as a grey image. Grey files keep their samples, 16-bit ones as
// 16-bit pixels and the others as 8-bit pixels (depths below 8 scaled up to
// the full byte); palette and colour files are converted to grey by their
// luminance, 0.299 R + 0.587 G + 0.114 B rounded, at their own depth. Alpha
// is dropped. Throws InputError as readPng does.
krGreyImage readGreyPng(std::istream& in, const std::string& path);

// Writes a mask (width x height bytes, row by row, nonzero for a set pixel)
// as an 8-bit grey PNG file, 255 for set pixels and 0 for the others.
// InputError when the file cannot be written or this build has no PNG support.
void writePngMask(const std::string& path, const std::vector<unsigned char>& mask, std::size_t width,
                  std::size_t height);
// Writes an 8-bit or 16-bit grey image as a grey PNG file of that depth;
// InputError for other pixel types or as writePngMask.
void writeGreyPng(const std::string& path, const krGreyView& image);

}  // namespace qs

#endif
