// The neutral form of a shape read from a file, before it becomes a library
// object, and the way between the two.
#ifndef QEL_IO_SHAPE_H
#define QEL_IO_SHAPE_H

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/std/vector.h"

class krException;
class krPersistent;

namespace qs {

// Bad input: what is wrong, already prefixed with where it was found.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Ring = std::vector<krVector<2>>;

struct Polygon {
    Ring outer;
    std::vector<Ring> holes;
};

// What the shape becomes in the library: a krContour (open or closed), a
// krRegion (one polygon, maybe with holes) or a krRegionSet (several).
enum class Kind { OpenContour, ClosedContour, Region, RegionSet };
const char* kindName(Kind k);

struct Shape {
    Kind kind = Kind::Region;
    std::vector<Polygon> polygons;  // one for every kind but a region set
    std::string label;              // what names the shape: the id, or a field chosen by the user
    std::string id;                 // the feature's or annotation's own id, as text; empty when none
    // The feature's properties (GeoJSON), or the annotation's members other
    // than its segmentation (COCO), as the text of a JSON object; empty when
    // the input has none. Written back unchanged by the writers.
    std::string properties;
    std::optional<long long> imageId, categoryId;  // COCO's, when the annotation has them
    // COCO: the width and height of the annotation's image, from its entry
    // in the file's images (listed before the annotations) or from the size
    // of its run-length mask.
    std::optional<std::pair<long long, long long>> imageSize;
    // What a COCO annotation says of itself, shown beside our own measures.
    std::optional<double> givenArea;
    std::vector<double> givenBox;  // x, y, width, height
    // What the reader or the conversion did to make sense of the input (a
    // traced mask, a hole spliced into the boundary), one remark each.
    std::vector<std::string> notes;

    // The library's 32-bit label: the label when it is a number that fits,
    // else the input's id when it is, otherwise the given fallback (the
    // shape's position in its file).
    unsigned long numericLabel(unsigned long fallback) const;
};

// Checks the coordinates and point counts and drops a ring's repeated
// closing point; throws InputError naming the problem.
void normalize(Shape& s);

// The library object for a shape (krContour, krRegion or krRegionSet), and
// the shape of a library object read from an archive (InputError for a class
// the tool does not handle). A hole that touches its boundary at a vertex is
// joined to the boundary there (the library would take it for a crossing);
// a polygon whose holes cross its boundary or each other becomes what lies
// inside an odd number of its rings (a region becomes a region set when that
// is several polygons). Notes, when given, are told of either.
std::shared_ptr<krPersistent> toLibrary(const Shape& s, unsigned long fallbackLabel,
                                        std::vector<std::string>* notes = nullptr);
Shape fromLibrary(const krPersistent& obj);

// A library error in words: its message, or its class and number when the
// message is empty.
std::string describe(const krException& e);

// Shortest text that reads back to the same double.
std::string num(double v);

}  // namespace qs

#endif
