// Reading shapes from files: WKT, GeoJSON, COCO annotations (polygons and
// run-length masks), PNG masks and archives, the format found from the
// content unless the user names it. The tool and the Python package share
// these readers; Reader and read() at the end are the simple way in.
#ifndef QEL_IO_READER_H
#define QEL_IO_READER_H

#include <istream>
#include <memory>
#include <optional>
#include <string>

#include "io/shape.h"

namespace qs {

enum class Format { Auto, Wkt, GeoJson, Coco, Archive, Png };
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

// How a file is read.
struct ReadOptions {
    Format format = Format::Auto;
    // The property (GeoJSON) or annotation member (COCO) whose value names a
    // shape; empty: the feature's id, else its "label", "id" or "name".
    std::string labelField;
    // PNG masks: with a threshold, the pixels at or above it (grey levels
    // 0 to 255, or 0 to 65535 in 16-bit files) are one mask; without, every
    // grey level but 0 is a mask of its own, labelled with the level.
    std::optional<double> threshold;
    // Pixels of a mask that touch only at a corner are joined (8) or not (4).
    int connectivity = 8;
    // COCO: only the annotations of this image, of this category.
    std::optional<long long> imageId, categoryId;
};

// Masks (PNG files, run-length masks, rasters the tool writes) with more
// pixels than this are refused rather than allocated.
constexpr long long kMaxMaskPixels = 1LL << 28;

// ---- COCO's run-length masks ----

// A mask is width x height bytes, row by row, nonzero for a set pixel. Its
// runs are the lengths of the runs of unset and set pixels in turn, down
// each column, column after column, the first (maybe empty) of unset pixels.
std::vector<long long> maskRuns(const std::vector<unsigned char>& mask, long long width, long long height);
// The mask of the runs (1 for set pixels); InputError when a run is
// negative or the runs overrun the mask.
std::vector<unsigned char> runsMask(const std::vector<long long>& runs, long long width, long long height);
// The compressed text of the runs, and back (InputError for a text that is
// not one): each run, from the third on as its difference from the one two
// before, is written in 5-bit groups, least significant first, each a
// character from '0'; 0x20 asks for another group, the last group's 0x10 bit
// is the sign. A run below 0 or above kMaxMaskPixels is refused.
std::string compressRuns(const std::vector<long long>& runs);
std::vector<long long> expandRuns(const std::string& text);

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

// The points of a file: WKT POINT or MULTIPOINT geometries, or lines of
// "x,y" (or "x y"); a first line that is not numbers is taken as a header.
std::vector<krVector<2>> readPoints(const std::string& path);

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
