// How a file of shapes is written in one of the formats the readers read.
#ifndef QEL_IO_WRITER_H
#define QEL_IO_WRITER_H

#include <string>

#include "io/shape.h"

namespace qs {

// What comes before the first shape, between two and after the last, and
// the text of one (given its position, the label of a shape without a
// numeric one).
struct ShapeWriter {
    std::string prologue, separator, epilogue;
    std::string (*write)(const Shape& s, unsigned long index);
};
// "wkt" (one geometry a line), "geojson" (a feature collection) or
// "archive" (one archive a shape, one after another).
ShapeWriter shapeWriter(const std::string& format);

}  // namespace qs

#endif
