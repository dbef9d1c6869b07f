#include "io/source.h"

namespace qs {

namespace {

const std::vector<std::string> kFormatNames = {"auto", "wkt", "geojson", "coco", "archive", "png"};

}  // namespace

const std::vector<std::string>& formatNames() { return kFormatNames; }

const char* formatName(Format f) { return kFormatNames[static_cast<int>(f)].c_str(); }

Format formatFromName(const std::string& name) {
    for (std::size_t i = 0; i < kFormatNames.size(); ++i)
        if (kFormatNames[i] == name) return static_cast<Format>(i);
    throw InputError("unknown format \"" + name + "\"");
}

}  // namespace qs
