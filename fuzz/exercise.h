// What every fuzz target does with a shape it got from bytes: ask it every
// question the library answers, on the shape and on copies of it.
#ifndef QEL_FUZZ_EXERCISE_H
#define QEL_FUZZ_EXERCISE_H

#include <set>

#include "platform/std/persistent.h"

// Calls every query of contours, regions, region sets and their edgelet
// kinds that applies to obj (measures, distances and closest points, inside,
// intersections, enclosing shapes, repair, mapping, drawing into a recording
// tablet), on obj, on a copy and on an object assigned over one with full
// caches, and checks that they answer alike. A krException is a clean
// refusal; anything else escaping, or answers that differ, aborts. Holes and
// member regions are exercised too, each object once per seen set (a graph
// that shares its parts may be far larger than its bytes).
void kf_FuzzExercise(const krPersistent& obj, std::set<const void*>& seen);
void kf_FuzzExercise(const krPersistent& obj);

#endif
