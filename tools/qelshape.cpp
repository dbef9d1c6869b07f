// qelshape: measures, repairs, tests, draws, rasterizes and converts the shapes in WKT,
// GeoJSON, COCO annotation and archive files.
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cntr/edgeshapes.h"
#include "io/coco.h"
#include "io/png.h"
#include "io/points.h"
#include "io/writer.h"
#include "platform/disp/svgtablet.h"
#include "tools/actions.h"
#include "tools/demo.h"
#include "tools/edgesvg.h"
#include "tools/measure.h"
#include "tools/runbatch.h"

using namespace qs;

namespace {

// Exit statuses: 0 all well, 1 some input was bad (each reported on standard
// error), 2 the command line was wrong.
enum Status { kOk = 0, kBadInput = 1, kUsage = 2 };

// An existing file, or "-" for standard input.
const CLI::Validator kInputFile(
    [](std::string& path) {
        return path == "-" || std::filesystem::is_regular_file(path) ? std::string()
                                                                     : "no such file: " + path;
    },
    "FILE");

// The edge detector's settings, for the commands that read grey images as
// their edges; its threads are the command's own (--threads).
struct EdgeOptions {
    kr_EdgeParams params;
    std::optional<double> low, high;

    void addTo(CLI::App* cmd) {
        cmd->add_option("--sigma", params.sigma, "edges: the smoothing scale in pixels, 0.5 to 64")
            ->capture_default_str();
        cmd->add_option("--low", low, "edges: the low hysteresis threshold on the gradient magnitude "
                                      "(grey levels a pixel; default 3 times the gradient's noise)");
        cmd->add_option("--high", high, "edges: the high threshold (default 6 times the gradient's noise)");
        cmd->add_option("--min-length", params.minLength, "edges: chains of fewer points are dropped")
            ->capture_default_str();
    }
    kr_EdgeParams with(unsigned threads) const {
        kr_EdgeParams p = params;
        p.low = low;
        p.high = high;
        p.threads = static_cast<int>(threads);
        return p;
    }
};

struct Common {
    std::vector<std::string> inputs;
    std::string format = "auto";
    std::string labelField;
    std::optional<double> threshold;
    std::optional<long long> imageId, categoryId;
    int connectivity = 8;
    unsigned threads = 0;
    bool strict = false;
    bool quiet = false;
    // Set for the commands that read PNG files as grey images and find their edges.
    std::optional<EdgeOptions> edges;

    void addTo(CLI::App* cmd) {
        cmd->add_option("inputs", inputs, "input files (\"-\" reads standard input)")
            ->required()->check(kInputFile);
        cmd->add_option("-f,--format", format, "input format; auto looks at the content")
            ->check(CLI::IsMember(formatNames()))->capture_default_str();
        cmd->add_option("--label", labelField,
                        "the GeoJSON property or COCO annotation member that names each shape "
                        "(default, GeoJSON: the property \"label\", else the first of \"name\", \"name_*\", "
                        "\"admin\", \"title\" in any case, else the first by name holding a string "
                        "of at most 40 characters, else the id; COCO: the id)");
        cmd->add_option("--threshold", threshold,
                        "PNG masks: one shape of the pixels at or above this grey level "
                        "(default: one shape a grey level but 0)");
        cmd->add_option("--image", imageId, "COCO: only the annotations of this image_id");
        cmd->add_option("--category", categoryId, "COCO: only the annotations of this category_id");
        cmd->add_option("--connectivity", connectivity,
                        "masks: pixels meeting at a corner only are joined (8) or not (4)")
            ->check(CLI::IsMember({4, 8}))->capture_default_str();
        cmd->add_option("-j,--threads", threads, "worker threads (default: one a core)");
        cmd->add_flag("--strict", strict, "stop at the first bad shape");
        cmd->add_flag("-q,--quiet", quiet, "no progress report on standard error");
    }
    ReadOptions reading() const {
        ReadOptions o;
        o.format = formatFromName(format);
        o.labelField = labelField;
        o.threshold = threshold;
        o.connectivity = connectivity;
        o.imageId = imageId;
        o.categoryId = categoryId;
        if (edges) o.edges = edges->with(threads);
        return o;
    }
    BatchOptions batch() const {
        BatchOptions o;
        o.threads = threads;
        o.strict = strict;
        o.progress = !quiet;
        return o;
    }
};

// Runs work on every shape of every input file; a file that cannot be read
// counts as bad input and, unless strict, the next file is still read. Ends
// with a line on standard error: shapes read, done (verb says how) and refused.
// When file is given it holds the path of the file being worked on.
Status runFiles(const Common& c, const Work& work, std::ostream& out, BatchOptions opt,
                const char* verb, std::string* file = nullptr) {
    std::size_t errors = 0, done = 0, badFiles = 0;
    {
        Progress progress(opt.progress);
        opt.reporter = &progress;
        for (const std::string& path : c.inputs) {
            progress.file(path);
            if (file) *file = path;
            try {
                opt.separateFirst = done > 0;
                auto src = openSource(path, c.reading());
                BatchResult r = runBatch(*src, work, out, opt);
                errors += r.errors;
                done += r.shapes;
                if (r.shapes + r.errors == 0) std::cerr << "qelshape: " << path << ": no shapes in the file\n";
            } catch (const InputError& e) {
                std::cerr << "qelshape: " << e.what() << '\n';
                ++badFiles;
            }
            if ((errors || badFiles) && c.strict) break;
        }
    }
    if (opt.progress) {
        std::cerr << "qelshape: " << done + errors << " shapes read, " << done << ' ' << verb << ", "
                  << errors << " refused";
        if (badFiles) std::cerr << ", " << badFiles << " file(s) not read";
        std::cerr << '\n';
    }
    return errors || badFiles ? kBadInput : kOk;
}

// An output file, or standard output for "-".
class Output {
public:
    explicit Output(const std::string& path) {
        if (path == "-") return;
        file_.open(path, std::ios::binary);
        if (!file_) throw InputError(path + ": cannot write the file");
    }
    std::ostream& stream() { return file_.is_open() ? file_ : std::cout; }

private:
    std::ofstream file_;
};

// ---- measure ----

struct MeasureCmd {
    Common common;
    std::string output = "json";
    std::string to = "-";
    std::string columns;
    bool edges = false;
    EdgeOptions edgeOptions;

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand("measure", "Print the measures of every shape");
        common.addTo(cmd);
        cmd->add_flag("--edges", edges, "PNG files are grey images: measure each edge chain found in "
                                        "them (closed chains as regions with their holes)");
        edgeOptions.addTo(cmd);
        cmd->add_option("-o,--output", output, "json (one object a line), csv or table")
            ->check(CLI::IsMember({"json", "csv", "table"}))->capture_default_str();
        cmd->add_option("--to", to, "output file (default: standard output)");
        cmd->add_option("-c,--columns", columns,
                        "the columns to write and compute, by column or group name: " +
                            Columns::groupsHelp() + " (default: all; for the table a few)");
        cmd->footer(
            "Each shape gives points, holes, length, area with and without holes, centre of "
            "mass, inertia matrix, fitted ellipse and residual, enclosing rectangle, the "
            "smallest enclosing circle, the circle on the two farthest vertices "
            "(diameter_circle) and the fast one about the first vertex, diameters, extremal "
            "vertices along the axes, whether it crosses itself and whether it is valid (why "
            "not in notes); the input's id and properties, and for COCO the image, category, "
            "area and bbox, come along.\n\n"
            "Example:\n  qelshape measure parts.wkt -o table\n"
            "  qelshape measure instances.json -o csv --to measures.csv\n"
            "  qelshape measure countries.wkt --columns area,com,valid\n"
            "  qelshape measure part.png --edges --sigma 1.5 --columns circle,ellipse,area -o csv");
        cmd->callback([this] { status = run(); });
    }
    Status run() {
        if (edges) common.edges = edgeOptions;
        OutputFormat f = outputFormatFromName(output);
        Columns cols = !columns.empty() ? Columns::parse(columns)
                       : f == OutputFormat::Table ? Columns::table() : Columns::all();
        Output out(to);
        out.stream() << header(f, cols);
        return runFiles(common, [f, &cols](const Shape& s, const std::string& where, unsigned long i) {
            return formatRow(f, measure(s, where, i, cols), cols);
        }, out.stream(), common.batch(), "measured");
    }
    Status status = kOk;
};

// ---- convert and repair: shapes out ----

// Where shapes go and in which format: the --target option, else the output
// file's extension (.wkt, .geojson or .json, .qar), else the input's format
// when it can be written, else WKT.
struct Target {
    std::string to = "-";
    std::string format;

    void addTo(CLI::App* cmd, bool svg = false) {
        cmd->add_option("--to", to, "output file (default: standard output)");
        if (svg)
            cmd->add_option("-t,--target", format,
                            "wkt, geojson, archive or svg (default: from the output file's extension "
                            ".wkt, .geojson/.json, .qar or .svg)")
                ->check(CLI::IsMember({"wkt", "geojson", "archive", "svg"}));
        else
            cmd->add_option("-t,--target", format,
                            "wkt, geojson or archive (default: from the output file's extension "
                            ".wkt, .geojson/.json or .qar)")
                ->check(CLI::IsMember({"wkt", "geojson", "archive"}));
    }
    std::string chosen(const std::string& inputFormat) const {
        if (!format.empty()) return format;
        auto ends = [this](const std::string& ext) {
            return to.size() >= ext.size() && to.compare(to.size() - ext.size(), ext.size(), ext) == 0;
        };
        if (ends(".qar")) return "archive";
        if (ends(".svg")) return "svg";
        if (ends(".geojson") || ends(".json")) return "geojson";
        if (ends(".wkt") || inputFormat == "auto" || inputFormat == "coco") return "wkt";
        return inputFormat;
    }
};

// Writes work's shapes to the target, with the format's framing around them.
// Work gives the shape to write and a line for the side stream.
using ShapeWork = std::function<std::pair<Shape, std::string>(const Shape&, const std::string&, unsigned long)>;

Status writeShapes(const Common& c, const Target& target, const std::string& inputFormat,
                   const ShapeWork& work, const char* verb, std::ostream& side) {
    ShapeWriter w = shapeWriter(target.chosen(inputFormat));
    Output out(target.to);
    BatchOptions opt = c.batch();
    opt.separator = w.separator;
    opt.side = &side;
    out.stream() << w.prologue;
    Status st = runFiles(c, [&](const Shape& s, const std::string& where, unsigned long i) {
        auto [shape, line] = work(s, where, i);
        return Answer(w.write(shape, i), line);
    }, out.stream(), opt, verb);
    out.stream() << w.epilogue;
    return st;
}

// The format of the first input: forced, or guessed from its first bytes.
std::string inputFormat(const Common& c) {
    if (c.format != "auto" || c.inputs.empty() || c.inputs[0] == "-") return c.format;
    return formatName(guessFormat(c.inputs[0]));
}

// Which way up a picture shows y: growing upwards as on a map (the default
// for GeoJSON) or downwards as in an image (for the other formats).
struct Orientation {
    bool up = false, down = false;

    void addTo(CLI::App* cmd) {
        auto* u = cmd->add_flag("--y-up", up, "y grows upwards, as on a map (default for GeoJSON)");
        auto* d = cmd->add_flag("--y-down", down, "y grows downwards, as in an image (default "
                                                  "for the other formats)");
        u->excludes(d);
    }
    bool yUp(const Common& c) const { return up || (!down && inputFormat(c) == "geojson"); }
};

struct ConvertCmd {
    Common common;
    Target target;

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand("convert", "Write the shapes in another format");
        common.addTo(cmd);
        target.addTo(cmd);
        cmd->footer("Open contours become LINESTRING, closed ones LINEARRING (in GeoJSON a "
                    "closed LineString marked \"closed\"), regions POLYGON and region sets "
                    "MULTIPOLYGON. An archive file holds one archive a shape, one after another.\n\n"
                    "Example:\n  qelshape convert instances.json --to shapes.wkt\n"
                    "  qelshape convert shapes.wkt --to shapes.qar");
        cmd->callback([this] {
            status = writeShapes(common, target, "wkt",
                                 [](const Shape& s, const std::string&, unsigned long) {
                                     return std::make_pair(s, std::string());
                                 }, "converted", std::cerr);
        });
    }
    Status status = kOk;
};

struct RepairCmd {
    Common common;
    Target target;
    bool outerHull = false, regularize = false;

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand(
            "repair", "Replace each shape by its outer hull or its regularized form");
        common.addTo(cmd);
        target.addTo(cmd);
        auto* hull = cmd->add_flag("--outer-hull", outerHull,
                                   "the outline around everything the boundary encloses");
        auto* reg = cmd->add_flag("--regularize", regularize,
                                  "the boundary traced into one outline that does not cross itself");
        hull->excludes(reg);
        cmd->footer("Shapes are written in the input's format (WKT for COCO input) unless "
                    "--target or the output file's extension says otherwise. For each shape a "
                    "line \"WHERE: changed\" or \"WHERE: unchanged\" goes to standard output "
                    "when the shapes go to a file, to standard error otherwise.\n\n"
                    "Example:\n  qelshape repair --regularize outlines.wkt --to fixed.wkt");
        cmd->callback([this] { status = run(); });
    }
    Status run() {
        if (outerHull == regularize)
            throw CLI::ValidationError("repair", "give one of --outer-hull and --regularize");
        RepairMode mode = outerHull ? RepairMode::OuterHull : RepairMode::Regularize;
        return writeShapes(common, target, inputFormat(common),
                           [&](const Shape& s, const std::string& where, unsigned long i) {
            bool changed = false;
            Shape fixed = repair(s, mode, i, changed);
            return std::make_pair(fixed, where + (changed ? ": changed\n" : ": unchanged\n"));
        }, "repaired", target.to == "-" ? std::cerr : std::cout);
    }
    Status status = kOk;
};

// ---- inside ----

struct InsideCmd {
    Common common;
    std::string pointsFile;
    std::string to = "-";

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand("inside", "Tell which points lie inside each shape");
        common.addTo(cmd);
        cmd->add_option("-p,--points", pointsFile,
                        "the points: lines of \"x,y\" or WKT POINT / MULTIPOINT")
            ->required()->check(kInputFile);
        cmd->add_option("--to", to, "output file (default: standard output)");
        cmd->footer("Writes CSV, one line for each shape and point: where,label,x,y,inside. A "
                    "point in a hole is outside; a point within 1e-6 of a boundary belongs to "
                    "that ring. Open contours have no inside and are reported.\n\n"
                    "Example:\n  qelshape inside plate.wkt --points probes.csv");
        cmd->callback([this] { status = run(); });
    }
    Status run() {
        std::vector<krVector<2>> points = readPoints(pointsFile);
        Output out(to);
        out.stream() << "where,label,x,y,inside\n";
        return runFiles(common, [&points](const Shape& s, const std::string& where, unsigned long i) {
            return insideLines(s, where, i, points);
        }, out.stream(), common.batch(), "tested");
    }
    Status status = kOk;
};

// ---- draw ----

struct DrawCmd {
    Common common;
    std::string to = "shapes.svg";
    Overlays overlays;
    Orientation orientation;
    bool all = false, perImage = false;

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand("draw", "Draw the shapes as an SVG picture");
        common.addTo(cmd);
        cmd->add_option("--to", to, "the SVG file")->capture_default_str();
        cmd->add_flag("--rect", overlays.rect, "overlay the enclosing rectangle");
        cmd->add_flag("--circle", overlays.circle, "overlay the smallest enclosing circle");
        cmd->add_flag("--ellipse", overlays.ellipse, "overlay the fitted ellipse");
        cmd->add_flag("--com", overlays.com, "mark the centre of mass");
        cmd->add_flag("--crossings", overlays.crossings, "mark where a boundary crosses itself");
        cmd->add_flag("-a,--all", all, "every overlay");
        orientation.addTo(cmd);
        cmd->add_flag("--per-image", perImage,
                      "COCO: one picture an image, named after --to with the image_id: "
                      "shapes-17.svg");
        cmd->footer("Surfaces are filled by the even-odd rule, so holes show; hole outlines are "
                    "drawn in a colour of their own. Each overlay is a layer (an SVG group) of "
                    "its own.\n\n"
                    "Example:\n  qelshape draw parts.wkt --all --to parts.svg\n"
                    "  qelshape draw countries.geojson --label name --to world.svg\n"
                    "  qelshape draw instances.json --per-image --to pictures/image.svg");
        cmd->callback([this] { status = run(); });
    }
    // shapes.svg and 17 give shapes-17.svg.
    // An image is (whether it has an id, the id).
    using Image = std::pair<bool, long long>;
    std::string pictureFor(const Image& image) const {
        std::string stem = to, ext;
        std::size_t dot = to.rfind('.');
        if (dot != std::string::npos && to.find('/', dot) == std::string::npos)
            stem = to.substr(0, dot), ext = to.substr(dot);
        return stem + "-" + (image.first ? std::to_string(image.second) : "none") + ext;
    }
    Status run() {
        if (all) overlays = Overlays{true, true, true, true, true, false};
        overlays.yUp = orientation.yUp(common);
        std::map<Image, krSvgTablet> tablets;
        BatchOptions opt = common.batch();
        opt.threads = 1;  // one tablet, drawn in order
        Status st = runFiles(common, [&](const Shape& s, const std::string&, unsigned long i) {
            Image image(perImage && s.imageId.has_value(), perImage ? s.imageId.value_or(0) : 0);
            draw(tablets[image], s, i, overlays);
            return std::string();
        }, std::cout, opt, "drawn");
        if (tablets.empty()) tablets[Image(false, 0)];
        for (const auto& [image, tablet] : tablets) tablet.save(perImage ? pictureFor(image) : to);
        return st;
    }
    Status status = kOk;
};

// ---- rasterize ----

struct RasterizeCmd {
    Common common;
    RasterOptions raster;
    std::vector<double> origin;
    std::string png, counts = "string";
    std::optional<std::string> to;
    Orientation orientation;

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand("rasterize", "Write the mask of every shape: PNG files, "
                                                        "COCO run-length masks or both");
        common.addTo(cmd);
        cmd->add_option("--width", raster.width, "raster width in pixels")->check(CLI::PositiveNumber);
        cmd->add_option("--height", raster.height, "raster height in pixels")->check(CLI::PositiveNumber);
        cmd->add_option("--origin", origin, "X,Y: the raster's corner of least x and y, in the shapes' "
                                            "coordinates (default 0,0 with --pixel)")
            ->expected(2)->delimiter(',');
        cmd->add_option("--pixel", raster.pixel, "the side of a pixel in the shapes' coordinates "
                                                 "(default 1 with --origin)")
            ->check(CLI::PositiveNumber);
        cmd->add_flag("--fit", raster.fit, "fit each shape's box into the raster even where its "
                                           "COCO image's size is known");
        orientation.addTo(cmd);
        cmd->add_option("--png", png,
                        "PNG masks, one a shape, named by a pattern with {file} (the input's file "
                        "name), {index} (the shape's position in it, from 0), {id}, "
                        "{label} and {image} (COCO image_id); a pattern without fields is a "
                        "directory, holding {file}-{index}.png");
        cmd->add_option("--to", to, "the COCO annotations file (\"-\": standard output, the "
                                    "default without --png)");
        cmd->add_option("--counts", counts, "COCO counts as the compressed text or a list")
            ->check(CLI::IsMember({"string", "list"}))->capture_default_str();
        cmd->footer(
            "A pixel is set when its centre lies inside the shape (holes are outside); PNG masks "
            "are 8-bit grey, 255 set and 0 not. The COCO file holds one annotation a shape: "
            "\"segmentation\" {\"size\": [height, width], \"counts\": ...}, area and bbox in "
            "pixels, the input's id, image_id and category_id, where, label, the PNG file and "
            "\"grid\" (origin, pixel, y_up) mapping pixels back to the shape.\n\n"
            "Without --origin or --pixel each shape's box is fitted, centred, into the raster (256 "
            "pixels along the longer side unless --width or --height says); COCO annotations whose "
            "image size the file gives (images listed before the annotations, or a run-length "
            "mask's size) are drawn on their image's pixels instead, origin 0,0 and pixel 1, unless "
            "--fit or a size is given. Open contours bound nothing and are reported.\n\n"
            "Example:\n  qelshape rasterize instances.json --png masks/{image}-{id}.png\n"
            "  qelshape rasterize parts.wkt --width 512 --to parts-masks.json\n"
            "  qelshape rasterize plate.wkt --origin 0,0 --pixel 0.1 --width 400 --height 300 --png out/");
        cmd->callback([this] { status = run(); });
    }

    // The PNG file of a shape: the pattern's fields filled in, each value
    // made safe for a file name.
    std::string pngFor(const Shape& s, const std::string& file, unsigned long index) const {
        std::string pattern = png;
        if (pattern.find('{') == std::string::npos)
            pattern += (pattern.empty() || pattern.back() == '/' ? "" : "/") + std::string("{file}-{index}.png");
        const std::string position = std::to_string(index);
        const std::pair<const char*, std::string> fields[] = {
            {"{file}", file == "-" ? "stdin" : std::filesystem::path(file).filename().string()},
            {"{index}", position},
            {"{id}", s.id.empty() ? position : s.id},
            {"{label}", s.label.empty() ? position : s.label},
            {"{image}", s.imageId ? std::to_string(*s.imageId) : "none"}};
        for (const auto& [field, value] : fields) {
            std::string safe = value;
            for (char& ch : safe)
                if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '_' && ch != '.') ch = '_';
            for (std::size_t at; (at = pattern.find(field)) != std::string::npos;)
                pattern.replace(at, std::strlen(field), safe);
        }
        return pattern;
    }

    Status run() {
        if (!origin.empty()) raster.origin = krVector<2>(origin[0], origin[1]);
        raster.yUp = orientation.yUp(common);
        const bool json = to.has_value() || png.empty();
        Output out(to.value_or("-"));
        BatchOptions opt = common.batch();
        opt.separator = json ? ",\n" : "";
        if (json) out.stream() << "{\"annotations\": [\n";
        std::string file;
        Status st = runFiles(common, [&](const Shape& s, const std::string& where, unsigned long i) {
            RasterGrid g;
            const std::vector<unsigned char> mask = rasterize(s, i, raster, g);
            std::string path;
            if (!png.empty()) {
                path = pngFor(s, file, i);
                std::error_code ignored;
                std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
                writePngMask(path, mask, std::size_t(g.width), std::size_t(g.height));
            }
            return json ? annotation(s, where, mask, g, path) : std::string();
        }, out.stream(), opt, "rasterized", &file);
        if (json) out.stream() << "\n]}\n";
        return st;
    }

    std::string annotation(const Shape& s, const std::string& where, const std::vector<unsigned char>& mask,
                           const RasterGrid& g, const std::string& path) const {
        nlohmann::ordered_json a;
        if (!s.id.empty())
            a["id"] = s.id.find_first_not_of("0123456789") == std::string::npos && s.id.size() < 19
                          ? nlohmann::ordered_json(std::stoll(s.id)) : nlohmann::ordered_json(s.id);
        if (s.imageId) a["image_id"] = *s.imageId;
        if (s.categoryId) a["category_id"] = *s.categoryId;
        const std::vector<long long> runs = maskRuns(mask, g.width, g.height);
        a["segmentation"] = {{"size", {g.height, g.width}}};
        a["segmentation"]["counts"] = counts == "list" ? nlohmann::ordered_json(runs)
                                                       : nlohmann::ordered_json(compressRuns(runs));
        long long area = 0, x0 = g.width, y0 = g.height, x1 = -1, y1 = -1;
        for (long long y = 0; y < g.height; ++y)
            for (long long x = 0; x < g.width; ++x)
                if (mask[std::size_t(y * g.width + x)])
                    ++area, x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        a["area"] = area;
        a["bbox"] = area ? nlohmann::ordered_json{x0, y0, x1 - x0 + 1, y1 - y0 + 1} : nlohmann::ordered_json{0, 0, 0, 0};
        a["where"] = where;
        if (!s.label.empty()) a["label"] = s.label;
        if (!path.empty()) a["png"] = path;
        a["grid"] = {{"origin", {g.origin.x(), g.origin.y()}}, {"pixel", g.pixel}, {"y_up", g.yUp}};
        return a.dump();
    }
    Status status = kOk;
};

// ---- edges ----

struct EdgesCmd {
    Common common;
    Target target;
    EdgeOptions edgeOptions;

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand("edges", "Find the subpixel edges of grey PNG images and "
                                                    "write them as chains");
        common.addTo(cmd);
        edgeOptions.addTo(cmd);
        target.addTo(cmd, true);
        cmd->footer(
            "PNG files of 8 or 16 bits are read as grey images (colour by its luminance). One "
            "record a chain, in raster order of each chain's first point: a closed chain is a "
            "region (POLYGON) holding the chains directly inside it as holes, an open one a "
            "LINESTRING; GeoJSON properties say whether the chain is closed, which chain it lies "
            "in and whether it is a hole. Pixel (x, y) covers [x, x+1) x [y, y+1), y down. SVG "
            "shows the image under its chains (one picture an image, --to pic.svg giving "
            "pic-IMAGE.svg for several images).\n\n"
            "Example:\n  qelshape edges part.png --to part-edges.svg\n"
            "  qelshape edges part.png --sigma 1.5 --min-length 20 --to part-edges.geojson");
        cmd->callback([this] { status = run(); });
    }
    Status run() {
        common.edges = edgeOptions;
        common.format = "png";
        if (target.chosen("wkt") != "svg")
            return writeShapes(common, target, "wkt", [](const Shape& s, const std::string&, unsigned long) {
                return std::make_pair(s, std::string());
            }, "written", std::cerr);
        if (target.to == "-") throw CLI::ValidationError("edges", "an SVG picture needs --to FILE");
        Status st = kOk;
        for (const std::string& path : common.inputs) {
            try {
                picture(path, common.inputs.size() == 1 ? target.to : pictureFor(path));
            } catch (const InputError& e) {
                std::cerr << "qelshape: " << e.what() << '\n';
                st = kBadInput;
                if (common.strict) break;
            }
        }
        return st;
    }
    // pic.svg and images/part.png give pic-part.svg.
    std::string pictureFor(const std::string& image) const {
        std::filesystem::path to(target.to);
        std::string name = to.stem().string() + "-" + std::filesystem::path(image).stem().string() + ".svg";
        return (to.parent_path() / name).string();
    }
    void picture(const std::string& path, const std::string& out) const {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw InputError(path + ": cannot read the file");
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::istringstream png(bytes);
        const krGreyImage image = readGreyPng(png, path);
        std::vector<kr_EdgeChain> chains;
        kr_EdgeNesting nesting;
        try {
            chains = kfFindEdges(image.view(), edgeOptions.with(common.threads));
            nesting = kf_NestEdgeChains(chains, kf_EdgeMagnitudeScale(image.view()));
        } catch (const krException& e) {
            throw InputError(path + ": " + describe(e));
        }
        Output file(out);
        writeEdgeSvg(file.stream(), bytes, image.width(), image.height(), chains, nesting.hole);
        if (!common.quiet) std::cerr << "qelshape: " << path << ": " << chains.size() << " chains, " << out << '\n';
    }
    Status status = kOk;
};

// ---- demo ----

struct DemoCmd {
    std::string dir = "qelshape-demo";

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand(
            "demo", "Measure a built-in sample: a star, a bow-tie, a plate with holes, "
                    "overlapping blobs and an image annotation");
        cmd->add_option("-d,--dir", dir, "where the sample files and the picture go")
            ->capture_default_str();
        cmd->footer("The sample files it writes are inputs for the other commands.\n\n"
                    "Example:\n  qelshape demo\n  qelshape measure qelshape-demo/shapes.wkt -o csv");
        cmd->callback([this] { status = static_cast<Status>(runDemo(dir, std::cout)); });
    }
    Status status = kOk;
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("qelshape: measures, repairs, tests, draws, rasterizes and converts plane shapes read from "
                 "WKT, GeoJSON, COCO annotation and archive files, and finds the subpixel edges of grey "
                 "images.");
    app.footer("Run \"qelshape COMMAND --help\" for a command's options and an example.\n"
               "Exit status: 0 all well, 1 some input was bad (reported on standard error), "
               "2 a usage error.");
    app.require_subcommand(1);
    MeasureCmd measureCmd;
    RepairCmd repairCmd;
    InsideCmd insideCmd;
    DrawCmd drawCmd;
    RasterizeCmd rasterizeCmd;
    ConvertCmd convertCmd;
    EdgesCmd edgesCmd;
    DemoCmd demoCmd;
    measureCmd.add(app);
    repairCmd.add(app);
    insideCmd.add(app);
    drawCmd.add(app);
    rasterizeCmd.add(app);
    convertCmd.add(app);
    edgesCmd.add(app);
    demoCmd.add(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "qelshape: " << e.what() << "\nRun with --help for more information.\n";
        return kUsage;
    } catch (const InputError& e) {
        std::cerr << "qelshape: " << e.what() << '\n';
        return kBadInput;
    } catch (const krException& e) {
        std::cerr << "qelshape: " << describe(e) << '\n';
        return kBadInput;
    }
    for (int s : {measureCmd.status, repairCmd.status, insideCmd.status, drawCmd.status,
                  rasterizeCmd.status, convertCmd.status, edgesCmd.status, demoCmd.status})
        if (s) return s;
    return kOk;
}
