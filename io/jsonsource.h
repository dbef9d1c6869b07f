// JSON files: GeoJSON (a feature collection, a lone feature or geometry, a
// list of them) or COCO annotations, told apart by the list that holds the
// records unless the format is forced.
#ifndef QEL_IO_JSONSOURCE_H
#define QEL_IO_JSONSOURCE_H

#include <memory>

#include "io/input.h"
#include "io/source.h"

namespace qs {

// The records of a JSON file, read as it is parsed. InputError when it is
// not JSON, or lacks the list the forced format needs.
std::unique_ptr<Source> openJson(std::unique_ptr<Input> in, const ReadOptions& options);

}  // namespace qs

#endif
