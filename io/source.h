// A file's records as the readers hand them over, one at a time, and what
// the user may say of how the file is read.
#ifndef QEL_IO_SOURCE_H
#define QEL_IO_SOURCE_H

#include <optional>
#include <string>
#include <vector>

#include "io/shape.h"
#include "platform/ip/edges.h"

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
    // PNG files: read as grey images, one record an edge chain found with
    // these settings, instead of masks (see io/edgesource.h).
    std::optional<kr_EdgeParams> edges;
};

// Masks (PNG files, run-length masks, rasters the tool writes) with more
// pixels than this are refused rather than allocated.
constexpr long long kMaxMaskPixels = 1LL << 28;

}  // namespace qs

#endif
