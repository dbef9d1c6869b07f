// Archives: a file of archives one after another, one shape each, and the
// archive of a shape.
#ifndef QEL_IO_ARCHIVE_H
#define QEL_IO_ARCHIVE_H

#include <memory>
#include <string>

#include "io/input.h"
#include "io/source.h"

namespace qs {

// The shapes of the archives. A corrupt archive ends the file: nothing
// after it can be found again.
std::unique_ptr<Source> openArchive(std::unique_ptr<Input> in);

// The archive of the shape's library object, labelled with index when the
// shape has no numeric label.
std::string archiveBytes(const Shape& s, unsigned long index);

}  // namespace qs

#endif
