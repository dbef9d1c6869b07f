// Feeds arbitrary bytes to one of the readers of io/ (QEL_READER names its
// format; "edges" reads PNG files as grey images and their edge chains), then asks the library shape of everything read every query
// (kf_FuzzExercise), measures, draws, rasterizes and writes it in each output
// format: nothing may crash, what is written as WKT must read back to the same
// shape, and a mask's run lengths to the same mask.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "exercise.h"
#include "cntr/edgeshapes.h"
#include "io/coco.h"
#include "io/png.h"
#include "io/reader.h"
#include "io/writer.h"
#include "platform/disp/recordingtablet.h"
#include "platform/std/exception.h"
#include "tools/actions.h"
#include "tools/edgesvg.h"
#include "tools/measure.h"

namespace {

void exercise(const qs::Shape& s) {
    kf_FuzzExercise(*qs::toLibrary(s, 0));
    qs::formatRow(qs::OutputFormat::JsonLines, qs::measure(s, "fuzz", 0), qs::Columns::all());
    krRecordingTablet tablet;
    qs::draw(tablet, s, 0, qs::Overlays{true, true, true, true, true});
    for (const char* f : {"geojson", "archive"}) qs::shapeWriter(f).write(s, 0);
    // A small fitted mask survives its run-length text both ways.
    if (s.kind != qs::Kind::OpenContour) {
        qs::RasterGrid g;
        const auto mask = qs::rasterize(s, 0, qs::RasterOptions{24, 16, {}, {}, false, false}, g);
        const auto runs = qs::maskRuns(mask, g.width, g.height);
        if (qs::expandRuns(qs::compressRuns(runs)) != runs || qs::runsMask(runs, g.width, g.height) != mask)
            std::abort();
    }
    std::istringstream wkt(qs::shapeWriter("wkt").write(s, 0));
    auto again = qs::openSource(wkt, "again", qs::Format::Wkt);
    qs::Record r;
    if (!again->next(r)) std::abort();
    qs::Shape back = qs::resolve(r);
    if (back.kind != s.kind || back.polygons.size() != s.polygons.size()) std::abort();
    for (std::size_t i = 0; i < s.polygons.size(); ++i)
        if (back.polygons[i].outer != s.polygons[i].outer ||
            back.polygons[i].holes != s.polygons[i].holes)
            std::abort();
}

// A grey image's edges drawn over it; images past a quarter million pixels
// are left alone, as they only cost time.
bool edgesOf(const std::string& bytes, qs::ReadOptions& options) {
    std::istringstream in(bytes);
    const krGreyImage image = qs::readGreyPng(in, "fuzz");
    if (static_cast<long long>(image.width()) * image.height() > (1 << 18)) return false;
    const auto chains = kfFindEdges(image.view());
    const kr_EdgeNesting n = kf_NestEdgeChains(chains, kf_EdgeMagnitudeScale(image.view()));
    std::ostringstream svg;
    qs::writeEdgeSvg(svg, bytes, image.width(), image.height(), chains, n.hole);
    options.format = qs::Format::Png;
    options.edges = kr_EdgeParams();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes);
    try {
        qs::ReadOptions options;
        if (std::string(QEL_READER) == "edges") {
            if (!edgesOf(bytes, options)) return 0;
        } else {
            options.format = qs::formatFromName(QEL_READER);
        }
        auto src = qs::openSource(in, "fuzz", options);
        qs::Record r;
        while (src->next(r)) {
            try {
                exercise(qs::resolve(r));
            } catch (const qs::InputError&) {
            } catch (const krException&) {
            }
        }
    } catch (const qs::InputError&) {
    } catch (const krException&) {
    }
    return 0;
}
