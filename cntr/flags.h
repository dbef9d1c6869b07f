// Names for the flags the shapes' operations take, for the calls the library
// makes itself: intersections(seg, kWithEnds) says what
// intersections(seg, true) leaves to the reader.
#ifndef QEL_CNTR_FLAGS_H
#define QEL_CNTR_FLAGS_H

namespace knFlags {

// closed, of the contour constructors.
constexpr bool kClosed = true;
// includeEnds, of the segment queries.
constexpr bool kWithEnds = true, kWithoutEnds = false;
// considerHoles, of the region and region-set measures and queries.
constexpr bool kWithHoles = true, kOuterOnly = false;
// vertexOnly, of the closest-point queries.
constexpr bool kVertexOnly = true, kAnyPoint = false;

}  // namespace knFlags

#endif
