// COCO annotations: an annotation's polygons or run-length mask in the
// neutral form, the sizes of the file's images, the choice of image and
// category, and the run-length codec of the masks.
#ifndef QEL_IO_COCO_H
#define QEL_IO_COCO_H

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/source.h"

namespace qs {

// The shape of one annotation: its polygons (a region, or a set of several)
// or its run-length mask traced with the given connectivity, with its id,
// label, image, category, given area and box, and its other members as the
// properties. labelField is ReadOptions's.
Shape cocoAnnotation(const nlohmann::json& a, const std::string& labelField, int connectivity);

// Whether an annotation is of the image and category the options ask for.
bool cocoChosen(const nlohmann::json& a, const ReadOptions& options);

// The width and height of each image of the file's images, noted by the
// thread that parses the file while another reads the annotations.
class CocoImages {
public:
    // An entry of the images list; one without an id, width and height is passed over.
    void note(const nlohmann::json& image);
    // The size of the annotation's image, when noted.
    std::optional<std::pair<long long, long long>> sizeOf(const nlohmann::json& annotation) const;

private:
    mutable std::mutex lock_;
    std::map<long long, std::pair<long long, long long>> sizes_;
};

// ---- run-length masks ----

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

}  // namespace qs

#endif
