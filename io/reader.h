// Reading shapes from files: WKT, GeoJSON, COCO annotations (polygons and
// run-length masks), PNG masks and archives, the format found from the
// content unless the user names it. The tool and the Python package share
// these readers; Reader and read() at the end are the simple way in.
#ifndef QEL_IO_READER_H
#define QEL_IO_READER_H

#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "io/source.h"

namespace qs {

// Opens a file ("-" is standard input). Throws InputError when the file
// cannot be read or its content does not fit the forced format.
std::unique_ptr<Source> openSource(const std::string& path, const ReadOptions& options);
std::unique_ptr<Source> openSource(const std::string& path, Format forced = Format::Auto);
// The same for a stream the caller keeps alive while the source is read.
std::unique_ptr<Source> openSource(std::istream& in, const std::string& name,
                                   const ReadOptions& options);
std::unique_ptr<Source> openSource(std::istream& in, const std::string& name,
                                   Format forced = Format::Auto);

// A quick guess at a file's format from its first bytes (COCO when JSON
// whose first megabyte names "annotations"), without reading it all; WKT
// when the file cannot be read.
Format guessFormat(const std::string& path);

// The record's shape, checked (normalize): parses WKT with this thread's own
// WKT reader. Throws InputError prefixed with the record's place.
Shape resolve(Record& r);

// Every shape of a file, in order; InputError on the first bad one.
std::vector<Shape> readAll(const std::string& path, Format forced = Format::Auto);

// ---- the simple way in ----

// One shape of a file as a library object, with what the file says of it.
struct Feature {
    // A krContour (open or closed), krRegion or krRegionSet, labelled with
    // the input's numeric id where it has one that fits, else its position.
    std::shared_ptr<krPersistent> object;
    Shape shape;        // the neutral form: kind, rings, label, id, properties, notes
    std::string where;  // "file:line" or "file: $.features[3]"
};

// Reads a file one feature at a time, in file order.
class Reader {
public:
    explicit Reader(const std::string& path, const ReadOptions& options = {});
    // The next feature; false at the end. A feature that cannot be read
    // throws InputError naming where it is; the next call goes on after it.
    bool next(Feature& f);
    Format format() const { return source_->format(); }

private:
    std::unique_ptr<Source> source_;
    unsigned long index_ = 0;
};

// Every feature of a file, in order; InputError on the first bad one.
std::vector<Feature> read(const std::string& path, const ReadOptions& options = {});

}  // namespace qs

#endif
