#include "io/reader.h"

#include <cctype>
#include <fstream>

#include "io/archive.h"
#include "io/edgesource.h"
#include "io/input.h"
#include "io/jsonsource.h"
#include "io/png.h"
#include "io/wkt.h"
#include "platform/std/exception.h"

namespace qs {

namespace {

const char kArchiveMagic[] = "\x89QAR";

// Looks at the first byte that is not white space: the archive's magic
// byte, a JSON opening bracket, or else text that should be WKT.
Format sniff(std::istream& in) {
    while (std::isspace(in.peek())) in.get();
    int c = in.peek();
    if (c == static_cast<unsigned char>(kArchiveMagic[0])) return Format::Archive;
    if (c == '{' || c == '[') return Format::GeoJson;  // or COCO: told apart once parsed
    return Format::Wkt;
}

std::unique_ptr<Source> open(std::unique_ptr<Input> in, const ReadOptions& o) {
    const std::string path = in->path;
    Format found = sniff(*in->in);
    // PNG and archives begin with the same byte: a file is looked at further.
    if (found == Format::Archive && in->file.is_open()) {
        char head[8] = {};
        in->file.read(head, sizeof head);
        if (looksLikePng(std::string(head, static_cast<std::size_t>(in->file.gcount())))) found = Format::Png;
        in->file.clear();
        in->file.seekg(0);
    }
    if (found == Format::Png && o.format == Format::Auto)
        return o.edges ? openEdges(*in->in, path, *o.edges) : openPng(*in->in, path, o);
    Format f = o.format == Format::Auto ? found : o.format;
    if (f == Format::Coco || f == Format::GeoJson) {
        if (found != Format::GeoJson) throw InputError(path + ": not JSON");
        auto src = openJson(std::move(in), o);
        if ((o.imageId || o.categoryId) && src->format() != Format::Coco)
            throw InputError(path + ": choosing an image or a category needs COCO annotations");
        return src;
    }
    if (f == Format::Archive) {
        if (found != Format::Archive) throw InputError(path + ": not an archive file");
        return openArchive(std::move(in));
    }
    if (f == Format::Png) {
        if (found != Format::Png && found != Format::Archive) throw InputError(path + ": not a PNG file");
        return o.edges ? openEdges(*in->in, path, *o.edges) : openPng(*in->in, path, o);  // whole at once: in may go
    }
    return openWkt(std::move(in));
}

ReadOptions withFormat(Format f) {
    ReadOptions o;
    o.format = f;
    return o;
}

}  // namespace

Format guessFormat(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Format f = sniff(in);
    if (f == Format::Archive) {
        char head[8] = {};
        in.read(head, sizeof head);
        return looksLikePng(std::string(head, static_cast<std::size_t>(in.gcount()))) ? Format::Png : f;
    }
    if (f != Format::GeoJson) return f;
    std::string head(1 << 20, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head.find("\"annotations\"") != std::string::npos ? Format::Coco : Format::GeoJson;
}

std::unique_ptr<Source> openSource(const std::string& path, const ReadOptions& options) {
    return open(std::make_unique<Input>(path), options);
}

std::unique_ptr<Source> openSource(const std::string& path, Format forced) {
    return openSource(path, withFormat(forced));
}

std::unique_ptr<Source> openSource(std::istream& in, const std::string& name,
                                   const ReadOptions& options) {
    return open(std::make_unique<Input>(in, name), options);
}

std::unique_ptr<Source> openSource(std::istream& in, const std::string& name, Format forced) {
    return openSource(in, name, withFormat(forced));
}

Shape resolve(Record& r) {
    try {
        if (!r.error.empty()) throw InputError(r.error);
        Shape s = r.shape ? std::move(*r.shape) : parseWkt(r.wkt);
        r.shape.reset();
        normalize(s);
        return s;
    } catch (const InputError& e) {
        throw InputError(r.where + ": " + e.what());
    }
}

std::vector<Shape> readAll(const std::string& path, Format forced) {
    std::vector<Shape> shapes;
    auto src = openSource(path, forced);
    Record r;
    while (src->next(r)) shapes.push_back(resolve(r));
    return shapes;
}

Reader::Reader(const std::string& path, const ReadOptions& options)
    : source_(openSource(path, options)) {}

bool Reader::next(Feature& f) {
    Record r;
    if (!source_->next(r)) return false;
    unsigned long index = index_++;
    f.where = r.where;
    f.shape = resolve(r);
    try {
        f.object = toLibrary(f.shape, index);
    } catch (const krException& e) {
        throw InputError(f.where + ": " + describe(e));
    }
    return true;
}

std::vector<Feature> read(const std::string& path, const ReadOptions& options) {
    Reader reader(path, options);
    std::vector<Feature> all;
    for (Feature f; reader.next(f);) all.push_back(std::move(f));
    return all;
}

}  // namespace qs
