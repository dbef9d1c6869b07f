// qelshape: measures, repairs, tests, draws and converts the shapes in WKT,
// GeoJSON, COCO annotation and archive files.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include <CLI/CLI.hpp>

#include "platform/std/archive.h"
#include "tools/batch.h"
#include "tools/demo.h"
#include "tools/measure.h"

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

struct Common {
    std::vector<std::string> inputs;
    std::string format = "auto";
    unsigned threads = 0;
    bool strict = false;
    bool quiet = false;

    void addTo(CLI::App* cmd) {
        cmd->add_option("inputs", inputs, "input files (\"-\" reads standard input)")
            ->required()->check(kInputFile);
        cmd->add_option("-f,--format", format, "input format; auto looks at the content")
            ->check(CLI::IsMember(formatNames()))->capture_default_str();
        cmd->add_option("-j,--threads", threads, "worker threads (default: one a core)");
        cmd->add_flag("--strict", strict, "stop at the first bad shape");
        cmd->add_flag("-q,--quiet", quiet, "no progress report on standard error");
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
// counts as bad input and, unless strict, the next file is still read.
Status runFiles(const Common& c, const Work& work, std::ostream& out, BatchOptions opt) {
    std::size_t errors = 0;
    for (const std::string& path : c.inputs) {
        try {
            auto src = openSource(path, formatFromName(c.format));
            BatchResult r = runBatch(*src, work, out, opt);
            errors += r.errors;
        } catch (const InputError& e) {
            std::cerr << "qelshape: " << e.what() << '\n';
            ++errors;
        }
        if (errors && c.strict) break;
    }
    return errors ? kBadInput : kOk;
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

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand("measure", "Print the measures of every shape");
        common.addTo(cmd);
        cmd->add_option("-o,--output", output, "json (one object a line), csv or table")
            ->check(CLI::IsMember({"json", "csv", "table"}))->capture_default_str();
        cmd->add_option("--to", to, "output file (default: standard output)");
        cmd->footer(
            "Each shape gives points, holes, length, area with and without holes, centre of "
            "mass, inertia matrix, fitted ellipse and residual, enclosing rectangle and circles "
            "(exact and fast), diameters, extremal vertices along the axes and whether it "
            "crosses itself; COCO input adds the annotation's own area and bbox.\n\n"
            "Example:\n  qelshape measure parts.wkt -o table\n"
            "  qelshape measure instances.json -o csv --to measures.csv");
        cmd->callback([this] { status = run(); });
    }
    Status run() {
        OutputFormat f = outputFormatFromName(output);
        Output out(to);
        out.stream() << header(f);
        return runFiles(common, [f](const Shape& s, const std::string& where, unsigned long i) {
            return formatRow(f, measure(s, where, i));
        }, out.stream(), common.batch());
    }
    Status status = kOk;
};

// ---- convert ----

struct ConvertCmd {
    Common common;
    std::string to = "-";
    std::string target;

    void add(CLI::App& app) {
        CLI::App* cmd = app.add_subcommand("convert", "Write the shapes in another format");
        common.addTo(cmd);
        cmd->add_option("--to", to, "output file (default: standard output)");
        cmd->add_option("-t,--target", target,
                        "wkt, geojson or archive (default: from the output file's extension "
                        ".wkt, .geojson/.json or .qar; wkt otherwise)")
            ->check(CLI::IsMember({"wkt", "geojson", "archive"}));
        cmd->footer("Open contours become LINESTRING, closed ones LINEARRING (in GeoJSON a "
                    "closed LineString marked \"closed\"), regions POLYGON and region sets "
                    "MULTIPOLYGON. An archive file holds one archive a shape, one after another.\n\n"
                    "Example:\n  qelshape convert instances.json --to shapes.wkt\n"
                    "  qelshape convert shapes.wkt --to shapes.qar");
        cmd->callback([this] { status = run(); });
    }
    std::string chosen() const {
        if (!target.empty()) return target;
        auto ends = [this](const char* ext) {
            std::string e(ext);
            return to.size() >= e.size() && to.compare(to.size() - e.size(), e.size(), e) == 0;
        };
        if (ends(".qar")) return "archive";
        if (ends(".geojson") || ends(".json")) return "geojson";
        return "wkt";
    }
    Status run() {
        std::string t = chosen();
        Output out(to);
        BatchOptions opt = common.batch();
        Work work;
        if (t == "archive") {
            work = [](const Shape& s, const std::string&, unsigned long i) {
                std::vector<unsigned char> bytes = kfStore(*toLibrary(s, i));
                return std::string(bytes.begin(), bytes.end());
            };
        } else if (t == "geojson") {
            opt.separator = ",\n";
            out.stream() << "{\"type\":\"FeatureCollection\",\"features\":[\n";
            work = [](const Shape& s, const std::string&, unsigned long) { return geoJsonFeature(s); };
        } else {
            work = [](const Shape& s, const std::string&, unsigned long) {
                std::ostringstream os;
                writeWkt(os, s);
                return os.str() + "\n";
            };
        }
        Status st = runFiles(common, work, out.stream(), opt);
        if (t == "geojson") out.stream() << "\n]}\n";
        return st;
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
    CLI::App app("qelshape: measures, repairs, tests, draws and converts plane shapes read from "
                 "WKT, GeoJSON, COCO annotation and archive files.");
    app.footer("Run \"qelshape COMMAND --help\" for a command's options and an example.\n"
               "Exit status: 0 all well, 1 some input was bad (reported on standard error), "
               "2 a usage error.");
    app.require_subcommand(1);
    MeasureCmd measureCmd;
    ConvertCmd convertCmd;
    DemoCmd demoCmd;
    measureCmd.add(app);
    convertCmd.add(app);
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
    }
    for (int s : {measureCmd.status, convertCmd.status, demoCmd.status})
        if (s) return s;
    return kOk;
}
