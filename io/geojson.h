// GeoJSON: a feature or a bare geometry in the neutral form, and the
// feature of a shape.
#ifndef QEL_IO_GEOJSON_H
#define QEL_IO_GEOJSON_H

#include <string>

#include <nlohmann/json.hpp>

#include "io/shape.h"

namespace qs {

// The shape of a Feature, or of a bare LineString, Polygon or MultiPolygon
// geometry; InputError for anything else. A LineString is closed when its
// feature's properties say "closed": true. labelField is ReadOptions's.
Shape geoJsonShape(const nlohmann::json& item, const std::string& labelField);

// The shape as the text of one Feature, with its id and properties; index
// is not used.
std::string geoJsonText(const Shape& s, unsigned long index);

}  // namespace qs

#endif
