// Reading shapes from files: WKT, GeoJSON, COCO annotations and archives,
// the format found from the content unless the user names it.
#ifndef QEL_TOOLS_READERS_H
#define QEL_TOOLS_READERS_H

#include <istream>
#include <memory>
#include <optional>
#include <string>

#include "tools/shape.h"

namespace qs {

enum class Format { Auto, Wkt, GeoJson, Coco, Archive };
const char* formatName(Format f);
// The names the --format options accept, with "auto".
const std::vector<std::string>& formatNames();
Format formatFromName(const std::string& name);

// One unit of batch work. WKT is only split off the file by the reader and
// parsed by whichever worker takes the record, so parsing runs on all cores;
// the other formats arrive as shapes. A record the reader could not make
// sense of carries its error instead.
struct Record {
    std::string where;  // "file:line" or "file: $.features[3]"
    std::string wkt;
    std::optional<Shape> shape;
    std::string error;
};

// A file's records, read one at a time, in file order.
class Source {
public:
    virtual ~Source() = default;
    virtual bool next(Record& r) = 0;
    // How much of the input has been read, from 0 to 1.
    virtual double done() const = 0;
    Format format() const { return format_; }

protected:
    Format format_ = Format::Auto;
};

// Opens a file ("-" is standard input). Throws InputError when the file
// cannot be read or its content does not fit the forced format.
std::unique_ptr<Source> openSource(const std::string& path, Format forced = Format::Auto);
// The same for a stream the caller keeps alive while the source is read.
std::unique_ptr<Source> openSource(std::istream& in, const std::string& name,
                                   Format forced = Format::Auto);

// A quick guess at a file's format from its first bytes (COCO when JSON
// whose first megabyte names "annotations"), without reading it all; WKT
// when the file cannot be read.
Format guessFormat(const std::string& path);

// The record's shape, checked (normalize): parses WKT with this thread's own
// WKT reader. Throws InputError prefixed with the record's place.
Shape resolve(Record& r);

// The points of a file: WKT POINT or MULTIPOINT geometries, or lines of
// "x,y" (or "x y"); a first line that is not numbers is taken as a header.
std::vector<krVector<2>> readPoints(const std::string& path);

// Every shape of a file, in order; InputError on the first bad one.
std::vector<Shape> readAll(const std::string& path, Format forced = Format::Auto);

}  // namespace qs

#endif
