#include "io/writer.h"

#include "io/archive.h"
#include "io/geojson.h"
#include "io/wkt.h"

namespace qs {

ShapeWriter shapeWriter(const std::string& format) {
    if (format == "geojson")
        return {"{\"type\":\"FeatureCollection\",\"features\":[\n", ",\n", "\n]}\n", geoJsonText};
    if (format == "archive") return {"", "", "", archiveBytes};
    return {"", "", "", wktText};
}

}  // namespace qs
