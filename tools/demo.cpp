#include "tools/demo.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cntr/region.h"
#include "io/writer.h"
#include "platform/disp/svgtablet.h"
#include "tools/actions.h"
#include "tools/measure.h"
#include "tools/runbatch.h"

namespace qs {

namespace {

// A regular n-gon, or a star when the inner radius differs from the outer.
Ring star(krVector<2> c, double outer, double inner, int n) {
    Ring r;
    for (int k = 0; k < 2 * n; ++k) {
        double rad = k % 2 ? inner : outer, a = M_PI * k / n;
        // Two decimals keep the sample file readable.
        r.emplace_back(std::round(100 * (c.x() + rad * std::cos(a))) / 100,
                       std::round(100 * (c.y() + rad * std::sin(a))) / 100);
    }
    return r;
}

Ring circle(krVector<2> c, double radius) { return star(c, radius, radius, 12); }

Shape shape(Kind kind, std::vector<Polygon> polygons, const char* label) {
    Shape s;
    s.kind = kind;
    s.polygons = std::move(polygons);
    s.label = label;
    return s;
}

std::vector<Shape> samples() {
    // Laid out so that no shape's circles reach another shape: the picture
    // shows each apart.
    return {shape(Kind::ClosedContour, {{star({50, 50}, 40, 16, 5), {}}}, "star"),
            shape(Kind::Region, {{{{110, 10}, {170, 50}, {170, 10}, {110, 50}}, {}}}, "bow-tie"),
            shape(Kind::Region,
                  {{{{0, 140}, {120, 140}, {120, 210}, {0, 210}},
                    {circle({30, 175}, 15), circle({90, 175}, 15)}}},
                  "plate"),
            shape(Kind::RegionSet,
                  {{circle({160, 170}, 15), {}}, {circle({180, 175}, 15), {}},
                   {circle({215, 170}, 10), {}}},
                  "blobs")};
}

// An image annotation as labelling tools export it: two polygons for one
// object, with the tool's own area and box.
const char* kAnnotation = R"({
  "images": [{"id": 1, "file_name": "part.png", "width": 200, "height": 100}],
  "categories": [{"id": 3, "name": "washer"}],
  "annotations": [
    {"id": 17, "image_id": 1, "category_id": 3, "iscrowd": 0,
     "segmentation": [[10, 10, 50, 10, 50, 40, 10, 40], [60, 10, 90, 10, 75, 40]],
     "area": 1650.0, "bbox": [10, 10, 80, 30]}
  ]
}
)";

}  // namespace

int runDemo(const std::string& dir, std::ostream& out) {
    namespace fs = std::filesystem;
    fs::create_directories(dir);
    std::string wkt = (fs::path(dir) / "shapes.wkt").string();
    std::string coco = (fs::path(dir) / "annotations.json").string();
    {
        std::ofstream w(wkt);
        w << "# the demo's shapes: a star, a bow-tie, a plate with holes, overlapping blobs\n";
        ShapeWriter wkt = shapeWriter("wkt");
        for (const Shape& s : samples()) w << wkt.write(s, 0);
        std::ofstream(coco) << kAnnotation;
    }
    out << "Sample shapes written to " << wkt << " and " << coco << ".\n\n"
        << header(OutputFormat::Table, Columns::table());
    BatchOptions opt;
    opt.progress = false;
    std::size_t errors = 0;
    for (const std::string& path : {wkt, coco}) {
        auto src = openSource(path);
        errors += runBatch(*src, [](const Shape& s, const std::string& where, unsigned long i) {
            return formatRow(OutputFormat::Table, measure(s, where, i, Columns::table()), Columns::table());
        }, out, opt).errors;
    }
    // The bow-tie's lobes cancel in the signed-area sum; repaired, it is two
    // triangles traced as one outline.
    try {
        bool changed = false;
        Shape fixed = repair(samples()[1], RepairMode::Regularize, 1, changed);
        out << "\nThe bow-tie crosses itself, so its lobes cancel in its area. Regularized, it has "
            << fixed.polygons[0].outer.size() << " points and area "
            << krRegion(fixed.polygons[0].outer).area(false) << ":\n  "
            << shapeWriter("wkt").write(fixed, 1);
    } catch (const krException& e) {
        out << "\nThe bow-tie could not be regularized: " << describe(e) << "\n";
    }

    krSvgTablet tablet;
    unsigned long index = 0;
    for (const Shape& s : samples()) draw(tablet, s, index++, Overlays{true, true, true, true, true});
    std::string svg = (fs::path(dir) / "shapes.svg").string();
    tablet.save(svg);
    out << "\nPicture with enclosing rectangles and circles, fitted ellipses, centres of mass and "
           "crossings: "
        << svg << "\n"
        << "All measures: qelshape measure " << wkt << "\n"
        << "Annotation areas beside ours: qelshape measure " << coco << " -o csv\n";
    return errors ? 1 : 0;
}

}  // namespace qs
