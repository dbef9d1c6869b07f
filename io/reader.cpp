#include "io/reader.h"

#include <atomic>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include <geos_c.h>
#include <nlohmann/json.hpp>

#include "cntr/masktrace.h"
#include "platform/std/archive.h"
#include "io/png.h"


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

namespace {

// ---- the input stream ----

// A file, or standard input for "-", or a stream of the caller's, with its
// size when known.
struct Input {
    Input(std::istream& stream, const std::string& name) : path(name), in(&stream) {}
    explicit Input(const std::string& path) : path(path) {
        if (path == "-") {
            in = &std::cin;
            return;
        }
        file.open(path, std::ios::binary);
        if (!file) throw InputError(path + ": cannot open the file");
        file.seekg(0, std::ios::end);
        size = static_cast<double>(file.tellg());
        file.seekg(0);
        in = &file;
    }
    double done() const {
        if (size <= 0) return 0;
        std::streampos p = in->tellg();
        return p < 0 ? 1.0 : static_cast<double>(p) / size;
    }
    std::string path;
    std::ifstream file;
    std::istream* in = nullptr;
    double size = 0;
};

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

// ---- WKT ----

// Splits WKT text into geometries: one ends when its parentheses close (or
// at EMPTY), so a file may hold one geometry a line or spread one over many.
// A line starting with a letter begins a new geometry, so an unclosed one
// costs only itself. Blank lines and lines starting with '#' are skipped.
class WktSource : public Source {
public:
    explicit WktSource(std::unique_ptr<Input> in) : in_(std::move(in)) { format_ = Format::Wkt; }

    bool next(Record& r) override {
        while (true) {
            if (pos_ >= line_.size()) {
                if (!std::getline(*in_->in, line_)) return finish(r);
                ++lineNo_;
                pos_ = 0;
                std::size_t first = line_.find_first_not_of(" \t\r");
                if (first == std::string::npos || line_[first] == '#') {
                    pos_ = line_.size();
                    continue;
                }
                if (std::isalpha(static_cast<unsigned char>(line_[first])) && !text_.empty())
                    return unfinished(r);
            }
            if (scan(r)) return true;
        }
    }
    double done() const override { return in_->done(); }

private:
    // Takes characters of the current line until a geometry is complete.
    bool scan(Record& r) {
        if (text_.empty()) {
            pos_ = line_.find_first_not_of(" \t\r;", pos_);
            if (pos_ == std::string::npos) {
                pos_ = line_.size();
                return false;
            }
            startLine_ = lineNo_;
        } else {
            text_ += '\n';
        }
        std::size_t from = pos_;
        for (; pos_ < line_.size(); ++pos_) {
            char c = line_[pos_];
            if (c == '(') ++depth_;
            if (c == ')' && --depth_ <= 0) break;
            if (depth_ == 0 && (c == 'Y' || c == 'y') && pos_ >= 4 &&
                equalsNoCase(line_.substr(pos_ - 4, 5), "EMPTY"))
                break;
        }
        if (pos_ == line_.size()) {
            text_.append(line_, from, pos_ - from);
            return false;
        }
        ++pos_;
        text_.append(line_, from, pos_ - from);
        // A stray ')' after the geometry is its fault, not a geometry of its own.
        std::size_t after = line_.find_first_not_of(" \t\r", pos_);
        bool bad = depth_ < 0 || (after != std::string::npos && line_[after] == ')');
        if (bad) pos_ = line_.size();
        emit(r);
        if (bad) r.error = "a ')' closes more than was opened";
        return true;
    }
    bool unfinished(Record& r) {
        emit(r);
        r.error = "the geometry's parentheses are not closed";
        return true;
    }
    bool finish(Record& r) {
        if (text_.empty()) return false;
        return unfinished(r);
    }
    void emit(Record& r) {
        r = Record();
        r.where = in_->path + ":" + std::to_string(startLine_);
        r.wkt.swap(text_);
        text_.clear();
        depth_ = 0;
    }
    static bool equalsNoCase(const std::string& a, const char* b) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
        return true;
    }

    std::unique_ptr<Input> in_;
    std::string line_, text_;
    std::size_t pos_ = 0;
    long lineNo_ = 0, startLine_ = 0;
    int depth_ = 0;
};

// ---- JSON: GeoJSON and COCO ----

using nlohmann::json;

// An object's "type" member, or nothing when it has no such string.
std::string typeOf(const json& v) {
    if (!v.is_object()) return std::string();
    auto t = v.find("type");
    return t != v.end() && t->is_string() ? t->get<std::string>() : std::string();
}

Ring flatRing(const json& a) {
    if (!a.is_array()) throw InputError("a polygon is not a list of numbers");
    if (a.size() % 2) throw InputError("a polygon has an odd count of numbers");
    Ring r;
    r.reserve(a.size() / 2);
    for (std::size_t i = 0; i < a.size(); i += 2) {
        if (!a[i].is_number() || !a[i + 1].is_number())
            throw InputError("coordinate " + std::to_string(i / 2) + " is not a pair of numbers");
        r.emplace_back(a[i].get<double>(), a[i + 1].get<double>());
    }
    return r;
}

Ring positions(const json& a) {
    if (!a.is_array()) throw InputError("coordinates are not a list of positions");
    Ring r;
    r.reserve(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const json& p = a[i];
        if (!p.is_array() || p.size() < 2 || !p[0].is_number() || !p[1].is_number())
            throw InputError("position " + std::to_string(i) + " is not a pair of numbers");
        r.emplace_back(p[0].get<double>(), p[1].get<double>());
    }
    return r;
}

Polygon rings(const json& a) {
    if (!a.is_array() || a.empty()) throw InputError("a polygon has no rings");
    Polygon p{positions(a[0]), {}};
    for (std::size_t i = 1; i < a.size(); ++i) p.holes.push_back(positions(a[i]));
    return p;
}

std::string idText(const json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_unsigned() || v.is_number_integer()) return v.dump();
    return std::string();
}

Shape geoJsonGeometry(const json& g, bool closed) {
    if (!g.is_object()) throw InputError("not a geometry");
    std::string type = typeOf(g);
    static const json kNone;
    const json& c = g.contains("coordinates") ? g["coordinates"] : kNone;
    Shape s;
    if (type == "LineString") {
        s.kind = closed ? Kind::ClosedContour : Kind::OpenContour;
        s.polygons.push_back({positions(c), {}});
    } else if (type == "Polygon") {
        s.kind = Kind::Region;
        s.polygons.push_back(rings(c));
    } else if (type == "MultiPolygon") {
        s.kind = Kind::RegionSet;
        if (!c.is_array()) throw InputError("coordinates are not a list of polygons");
        for (const json& p : c) s.polygons.push_back(rings(p));
    } else {
        throw InputError("a " + (type.empty() ? std::string("geometry without a type") : type) +
                         " is not a shape the tool reads");
    }
    return s;
}

// The label a field names: a string as it is, a number as written, anything
// else as its JSON text.
std::string labelText(const json& v) {
    std::string t = idText(v);
    return t.empty() && !v.is_null() ? v.dump() : t;
}

Shape geoJsonFeature(const json& f, const std::string& labelField) {
    static const json kNone = json::object();
    const json& props = f.contains("properties") && f["properties"].is_object()
                            ? f["properties"] : kNone;
    bool closed = props.contains("closed") && props["closed"] == true;
    if (!f.contains("geometry") || f["geometry"].is_null())
        throw InputError("the feature has no geometry");
    Shape s = geoJsonGeometry(f["geometry"], closed);
    if (f.contains("id")) s.id = idText(f["id"]);
    if (f.contains("properties") && f["properties"].is_object()) s.properties = props.dump();
    if (!labelField.empty()) {
        if (props.contains(labelField)) s.label = labelText(props[labelField]);
    } else if (!s.id.empty()) {
        s.label = s.id;
    } else {
        for (const char* key : {"label", "id", "name"})
            if (props.contains(key) && s.label.empty()) s.label = idText(props[key]);
    }
    return s;
}

std::optional<long long> integer(const json& a, const char* key) {
    auto it = a.find(key);
    if (it == a.end() || !(it->is_number_integer() || it->is_number_unsigned())) return std::nullopt;
    return it->get<long long>();
}

// Calls f with the row-major index of every pixel of a width x height mask,
// in the order the runs follow: down each column, column after column.
template <class F>
void inColumnOrder(long long width, long long height, F f) {
    const auto w = static_cast<std::size_t>(width), n = static_cast<std::size_t>(width * height);
    for (std::size_t x = 0; x < w; ++x)
        for (std::size_t i = x; i < n; i += w) f(i);
}

}  // namespace

std::vector<long long> maskRuns(const std::vector<unsigned char>& mask, long long width, long long height) {
    std::vector<long long> runs{0};
    bool set = false;
    inColumnOrder(width, height, [&](std::size_t i) {
        if ((mask[i] != 0) != set) runs.push_back(0), set = !set;
        ++runs.back();
    });
    return runs;
}

std::vector<unsigned char> runsMask(const std::vector<long long>& runs, long long width, long long height) {
    long long total = 0;
    for (long long run : runs) {
        if (run < 0 || run > width * height - total)
            throw InputError("the mask's counts do not fit its size [" + std::to_string(height) + "," +
                             std::to_string(width) + "]");
        total += run;
    }
    std::vector<unsigned char> mask(static_cast<std::size_t>(width * height), 0);
    std::size_t r = 0;
    long long left = runs.empty() ? 0 : runs[0];
    inColumnOrder(width, height, [&](std::size_t i) {
        while (left == 0 && r + 1 < runs.size()) left = runs[++r];
        if (left-- > 0) mask[i] = r % 2;
    });
    return mask;
}

std::string compressRuns(const std::vector<long long>& runs) {
    std::string text;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        long long x = i > 2 ? runs[i] - runs[i - 2] : runs[i];
        for (bool more = true; more;) {
            int c = static_cast<int>(x & 0x1f);
            x >>= 5;
            more = c & 0x10 ? x != -1 : x != 0;
            text += static_cast<char>((more ? c | 0x20 : c) + 48);
        }
    }
    return text;
}

std::vector<long long> expandRuns(const std::string& text) {
    std::vector<long long> runs;
    for (std::size_t p = 0; p < text.size();) {
        long long x = 0;
        int k = 0;
        for (bool more = true; more; ++k) {
            if (p >= text.size()) throw InputError("the mask's counts end in the middle of a number");
            int c = static_cast<unsigned char>(text[p++]) - 48;
            if (c < 0 || c > 63 || k > 11) throw InputError("the mask's counts are not a compressed run-length text");
            x |= static_cast<long long>(c & 0x1f) << (5 * k);
            more = c & 0x20;
            if (!more && (c & 0x10)) x |= -1LL * (1LL << (5 * (k + 1)));
        }
        if (runs.size() > 2) x += runs[runs.size() - 2];
        // No mask the tool reads has a longer run; checked here, each run
        // added stays far from overflowing.
        if (x < 0 || x > kMaxMaskPixels) throw InputError("the mask's counts hold a run of " + std::to_string(x));
        runs.push_back(x);
    }
    return runs;
}

namespace {

// A run-length mask: "size" [height, width] and "counts", the runs as a
// list or as their compressed text.
Shape cocoMask(const json& seg, int connectivity) {
    const json& size = seg.contains("size") ? seg["size"] : json();
    if (!size.is_array() || size.size() != 2 || !size[0].is_number_integer() ||
        !size[1].is_number_integer())
        throw InputError("the mask has no \"size\" [height, width]");
    long long h = size[0].get<long long>(), w = size[1].get<long long>();
    if (h < 0 || w < 0 || (w && h > kMaxMaskPixels / w))
        throw InputError("the mask's size " + size.dump() + " is not one the tool reads");
    std::vector<long long> counts;
    const json& c = seg.contains("counts") ? seg["counts"] : json();
    if (c.is_string()) {
        counts = expandRuns(c.get<std::string>());
    } else if (c.is_array()) {
        for (const json& n : c) {
            if (!n.is_number_integer()) throw InputError("the mask's counts are not whole numbers");
            counts.push_back(n.get<long long>());
        }
    } else {
        throw InputError("the mask has no \"counts\"");
    }
    std::vector<unsigned char> pixels = runsMask(counts, w, h);
    Shape s;
    s.kind = Kind::RegionSet;
    s.polygons = fromLibrary(kf_TraceMask(pixels.data(), long(w), long(h), connectivity)).polygons;
    if (s.polygons.empty()) throw InputError("the mask has no pixel set");
    s.notes.push_back("traced from a run-length mask");
    s.imageSize = std::make_pair(w, h);
    return s;
}

Shape cocoAnnotation(const json& a, const std::string& labelField, int connectivity) {
    if (!a.is_object()) throw InputError("an annotation is not an object");
    if (!a.contains("segmentation")) throw InputError("the annotation has no segmentation");
    const json& seg = a["segmentation"];
    Shape s;
    if (seg.is_object()) {
        s = cocoMask(seg, connectivity);
    } else {
        if (!seg.is_array() || seg.empty()) throw InputError("the segmentation has no polygons");
        s.kind = seg.size() > 1 ? Kind::RegionSet : Kind::Region;
        for (const json& p : seg) s.polygons.push_back({flatRing(p), {}});
    }
    if (a.contains("id")) s.id = idText(a["id"]);
    s.label = labelField.empty() ? s.id : a.contains(labelField) ? labelText(a[labelField]) : "";
    s.imageId = integer(a, "image_id");
    s.categoryId = integer(a, "category_id");
    json props = a;
    props.erase("segmentation");
    s.properties = props.dump();
    if (a.contains("area") && a["area"].is_number()) s.givenArea = a["area"].get<double>();
    if (a.contains("bbox") && a["bbox"].is_array() && a["bbox"].size() == 4)
        for (const json& v : a["bbox"])
            if (v.is_number()) s.givenBox.push_back(v.get<double>());
    if (s.givenBox.size() != 4) s.givenBox.clear();
    return s;
}

// JSON is parsed in a thread of its own, one record list element at a time:
// each element of the document's "features" (GeoJSON) or "annotations"
// (COCO) list, or of a bare list, is handed over as soon as it closes and
// dropped from the document, so memory holds a few features whatever the
// file's size. The rest of the document (a COCO file's images and
// categories, a lone feature or geometry) is kept.
class JsonSource : public Source {
public:
    JsonSource(std::unique_ptr<Input> in, Format forced, const ReadOptions& o)
        : in_(std::move(in)), path_(in_->path), forced_(forced), options_(o) {
        producer_ = std::thread([this] { parse(); });
        std::unique_lock<std::mutex> l(lock_);
        ready_.wait(l, [this] { return listOpen_ || ended_; });
        if (ended_ && !error_.empty() && !listOpen_ && items_.empty()) {
            l.unlock();
            stop();
            throw InputError(path_ + ": not valid JSON: " + error_);
        }
        if (!listOpen_) decideWithoutList();
        format_ = format_ == Format::Auto ? Format::GeoJson : format_;
        if (problem_.empty()) return;
        l.unlock();
        stop();
        throw InputError(path_ + ": " + problem_);
    }
    ~JsonSource() override { stop(); }

    bool next(Record& r) override {
        r = Record();
        json item;
        std::size_t index = 0;
        std::optional<std::pair<long long, long long>> imageSize;
        {
            std::unique_lock<std::mutex> l(lock_);
            while (true) {
                ready_.wait(l, [this] { return !items_.empty() || ended_; });
                if (items_.empty()) {
                    if (error_.empty() || errorReported_) return false;
                    errorReported_ = true;
                    r.where = path_ + ": " + listPath_ + "[" + std::to_string(taken_) + "]";
                    r.error = "not valid JSON: " + error_ + "; the rest of the file is skipped";
                    return true;
                }
                item = std::move(items_.front());
                items_.pop_front();
                index = taken_++;
                room_.notify_one();
                if (chosen(item)) break;
            }
            if (auto id = format_ == Format::Coco && item.is_object() ? integer(item, "image_id") : std::nullopt) {
                auto it = imageSizes_.find(*id);
                if (it != imageSizes_.end()) imageSize = it->second;
            }
        }
        r.where = path_ + ": " + (listPath_.empty() ? "$" : listPath_ + "[" + std::to_string(index) + "]");
        try {
            if (format_ == Format::Coco) {
                r.shape = cocoAnnotation(item, options_.labelField, options_.connectivity);
                if (!r.shape->imageSize) r.shape->imageSize = imageSize;
            }
            else if (typeOf(item) == "Feature")
                r.shape = geoJsonFeature(item, options_.labelField);
            else
                r.shape = geoJsonGeometry(item, false);
        } catch (const InputError& e) {
            r.error = e.what();
        } catch (const json::exception& e) {
            r.error = e.what();
        }
        return true;
    }
    double done() const override { return fraction_; }

private:
    static constexpr std::size_t kQueued = 64;
    struct Cancelled {};

    // The producer: parses the whole stream, handing over list elements.
    void parse() {
        int listDepth = -1;  // the depth of the list's elements while it is open
        std::string key;
        try {
            json doc = json::parse(*in_->in, [&](int depth, json::parse_event_t e, json& v) {
                if (cancel_) throw Cancelled();
                if (e == json::parse_event_t::key && depth == 1) key = v.get<std::string>();
                if (e == json::parse_event_t::array_start && listDepth < 0 && !listSeen_ &&
                    (depth == 0 || (depth == 1 && opensList(key)))) {
                    listDepth = depth + 1;
                    openList(depth == 0 ? "$" : "$." + key, key);
                    return true;
                }
                if (depth == 2 && key == "images" && e == json::parse_event_t::object_end) noteImage(v);
                if (depth == listDepth - 1 && e == json::parse_event_t::array_end) {
                    listDepth = -1;
                    return true;
                }
                bool element = depth == listDepth && (e == json::parse_event_t::object_end ||
                                                      e == json::parse_event_t::array_end ||
                                                      e == json::parse_event_t::value);
                if (!element) return true;
                hand(std::move(v));
                return false;
            });
            std::lock_guard<std::mutex> l(lock_);
            doc_ = std::move(doc);
        } catch (const Cancelled&) {
        } catch (const json::exception& e) {
            std::lock_guard<std::mutex> l(lock_);
            error_ = e.what();
        }
        std::lock_guard<std::mutex> l(lock_);
        ended_ = true;
        fraction_ = 1.0;
        ready_.notify_all();
    }

    // An entry of a COCO file's images: its width and height, for the
    // annotations that follow.
    void noteImage(const json& image) {
        auto id = integer(image, "id"), w = integer(image, "width"), h = integer(image, "height");
        if (!id || !w || !h) return;
        std::lock_guard<std::mutex> l(lock_);
        imageSizes_[*id] = std::make_pair(*w, *h);
    }

    // Whether the member named key holds the records: a COCO file's
    // annotations, a GeoJSON collection's features.
    bool opensList(const std::string& key) const {
        if (forced_ == Format::Coco) return key == "annotations";
        if (forced_ == Format::GeoJson) return key == "features";
        return key == "annotations" || key == "features";
    }

    void openList(const std::string& path, const std::string& key) {
        std::lock_guard<std::mutex> l(lock_);
        listSeen_ = listOpen_ = true;
        listPath_ = path;
        format_ = forced_ != Format::Auto ? forced_ : key == "annotations" ? Format::Coco : Format::GeoJson;
        ready_.notify_all();
    }

    void hand(json&& v) {
        std::unique_lock<std::mutex> l(lock_);
        room_.wait(l, [this] { return items_.size() < kQueued || cancel_; });
        if (cancel_) throw Cancelled();
        items_.push_back(std::move(v));
        double f = in_->done();
        if (f > 0) fraction_ = f;
        ready_.notify_all();
    }

    // A document without a record list: a lone feature or geometry, or one
    // that lacks the list its format needs. Called with the lock held, once
    // the parse has ended.
    void decideWithoutList() {
        if (forced_ == Format::Coco) {
            problem_ = "no \"annotations\" list, so not COCO annotations";
        } else if (typeOf(doc_) == "FeatureCollection") {
            problem_ = "the feature collection has no \"features\" list";
        } else if (doc_.is_object()) {
            items_.push_back(std::move(doc_));  // the one record
        }
    }

    // Whether a COCO annotation is of the image and category asked for.
    bool chosen(const json& a) const {
        if (format_ != Format::Coco || !a.is_object()) return true;
        auto is = [&](const char* key, const std::optional<long long>& want) {
            return !want || integer(a, key) == want;
        };
        return is("image_id", options_.imageId) && is("category_id", options_.categoryId);
    }

    void stop() {
        {
            std::lock_guard<std::mutex> l(lock_);
            cancel_ = true;
        }
        room_.notify_all();
        if (producer_.joinable()) producer_.join();
    }

    std::unique_ptr<Input> in_;
    std::string path_;
    Format forced_;
    ReadOptions options_;
    std::thread producer_;
    std::mutex lock_;
    std::condition_variable ready_, room_;
    std::deque<json> items_;
    json doc_;
    std::map<long long, std::pair<long long, long long>> imageSizes_;
    std::string listPath_, error_, problem_;
    std::size_t taken_ = 0;
    bool listSeen_ = false, listOpen_ = false, ended_ = false, errorReported_ = false;
    std::atomic<bool> cancel_{false};
    std::atomic<double> fraction_{0.0};
};

// ---- archives ----

// A file of archives one after another, one shape each. A corrupt archive
// ends the file: nothing after it can be found again.
class ArchiveSource : public Source {
public:
    explicit ArchiveSource(std::unique_ptr<Input> in) : in_(std::move(in)) {
        format_ = Format::Archive;
    }
    bool next(Record& r) override {
        r = Record();
        if (stopped_ || in_->in->peek() == std::char_traits<char>::eof()) return false;
        r.where = in_->path + ": archive " + std::to_string(index_++);
        try {
            std::shared_ptr<krPersistent> obj = kfLoad(*in_->in);
            if (!obj) throw InputError("the archive holds a null object");
            r.shape = fromLibrary(*obj);
        } catch (const krException& e) {
            r.error = describe(e) + "; the rest of the file is skipped";
            stopped_ = true;
        } catch (const InputError& e) {
            r.error = e.what();
        }
        return true;
    }
    double done() const override { return in_->done(); }

private:
    std::unique_ptr<Input> in_;
    long index_ = 0;
    bool stopped_ = false;
};

// ---- GEOS, one context a thread ----

struct GeosThread {
    GeosThread() {
        ctx = GEOS_init_r();
        GEOSContext_setErrorMessageHandler_r(ctx, &GeosThread::onError, this);
        reader = GEOSWKTReader_create_r(ctx);
    }
    ~GeosThread() {
        GEOSWKTReader_destroy_r(ctx, reader);
        GEOS_finish_r(ctx);
    }
    static void onError(const char* message, void* self) {
        static_cast<GeosThread*>(self)->error = message;
    }
    GEOSContextHandle_t ctx;
    GEOSWKTReader* reader;
    std::string error;
};

GeosThread& geos() {
    thread_local GeosThread t;
    return t;
}

struct GeomDeleter {
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(geos().ctx, g); }
};

// GEOS hands out the name in memory the caller frees.
std::string typeName(const GEOSGeometry* g) {
    char* name = GEOSGeomType_r(geos().ctx, g);
    std::string text = name ? name : "geometry of unknown type";
    GEOSFree_r(geos().ctx, name);
    return text;
}

Ring geosRing(const GEOSGeometry* g) {
    GEOSContextHandle_t ctx = geos().ctx;
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(ctx, g);
    unsigned int n = 0;
    if (!seq || !GEOSCoordSeq_getSize_r(ctx, seq, &n)) throw InputError(geos().error);
    std::vector<double> xy(2 * std::size_t(n));
    if (n && !GEOSCoordSeq_copyToBuffer_r(ctx, seq, xy.data(), 0, 0)) throw InputError(geos().error);
    Ring r(n);
    for (unsigned int i = 0; i < n; ++i) r[i] = krVector<2>(xy[2 * i], xy[2 * i + 1]);
    return r;
}

Polygon geosPolygon(const GEOSGeometry* g) {
    GEOSContextHandle_t ctx = geos().ctx;
    Polygon p{geosRing(GEOSGetExteriorRing_r(ctx, g)), {}};
    int holes = GEOSGetNumInteriorRings_r(ctx, g);
    for (int i = 0; i < holes; ++i) p.holes.push_back(geosRing(GEOSGetInteriorRingN_r(ctx, g, i)));
    return p;
}

Shape parseWkt(const std::string& text) {
    GeosThread& t = geos();
    std::unique_ptr<GEOSGeometry, GeomDeleter> g(GEOSWKTReader_read_r(t.ctx, t.reader, text.c_str()));
    if (!g) throw InputError("not valid WKT: " + t.error);
    if (GEOSisEmpty_r(t.ctx, g.get()) == 1) throw InputError("the geometry is empty");
    Shape s;
    switch (GEOSGeomTypeId_r(t.ctx, g.get())) {
    case GEOS_LINESTRING:
        s.kind = Kind::OpenContour;
        s.polygons.push_back({geosRing(g.get()), {}});
        break;
    case GEOS_LINEARRING:
        s.kind = Kind::ClosedContour;
        s.polygons.push_back({geosRing(g.get()), {}});
        break;
    case GEOS_POLYGON:
        s.kind = Kind::Region;
        s.polygons.push_back(geosPolygon(g.get()));
        break;
    case GEOS_MULTIPOLYGON:
        s.kind = Kind::RegionSet;
        for (int i = 0, n = GEOSGetNumGeometries_r(t.ctx, g.get()); i < n; ++i)
            s.polygons.push_back(geosPolygon(GEOSGetGeometryN_r(t.ctx, g.get(), i)));
        break;
    default:
        throw InputError("a " + typeName(g.get()) + " is not a shape the tool reads");
    }
    return s;
}

}  // namespace

namespace {

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
    if (found == Format::Png && o.format == Format::Auto) return openPng(*in->in, path, o);
    Format f = o.format == Format::Auto ? found : o.format;
    if (f == Format::Coco || f == Format::GeoJson) {
        if (found != Format::GeoJson) throw InputError(path + ": not JSON");
        auto src = std::make_unique<JsonSource>(std::move(in), o.format, o);
        if ((o.imageId || o.categoryId) && src->format() != Format::Coco)
            throw InputError(path + ": choosing an image or a category needs COCO annotations");
        return src;
    }
    if (f == Format::Archive) {
        if (found != Format::Archive) throw InputError(path + ": not an archive file");
        return std::make_unique<ArchiveSource>(std::move(in));
    }
    if (f == Format::Png) {
        if (found != Format::Png && found != Format::Archive) throw InputError(path + ": not a PNG file");
        return openPng(*in->in, path, o);  // whole at once: in may go
    }
    return std::make_unique<WktSource>(std::move(in));
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

namespace {

std::vector<krVector<2>> wktPoints(const std::string& text) {
    GeosThread& t = geos();
    std::unique_ptr<GEOSGeometry, GeomDeleter> g(GEOSWKTReader_read_r(t.ctx, t.reader, text.c_str()));
    if (!g) throw InputError("not valid WKT: " + t.error);
    int type = GEOSGeomTypeId_r(t.ctx, g.get());
    if (type == GEOS_POINT) return geosRing(g.get());
    if (type != GEOS_MULTIPOINT)
        throw InputError("a " + typeName(g.get()) + " is not a point");
    std::vector<krVector<2>> points;
    for (int i = 0, n = GEOSGetNumGeometries_r(t.ctx, g.get()); i < n; ++i)
        for (const krVector<2>& p : geosRing(GEOSGetGeometryN_r(t.ctx, g.get(), i))) points.push_back(p);
    return points;
}

// "x,y" or "x y", nothing else on the line.
bool csvPoint(const std::string& line, krVector<2>& p) {
    char* end = nullptr;
    double x = std::strtod(line.c_str(), &end);
    if (end == line.c_str()) return false;
    while (*end == ' ' || *end == '\t' || *end == ',') ++end;
    const char* ystart = end;
    double y = std::strtod(ystart, &end);
    if (end == ystart) return false;
    while (*end == ' ' || *end == '\t' || *end == '\r') ++end;
    if (*end) return false;
    p = krVector<2>(x, y);
    return true;
}

}  // namespace

// WKT when the first line that is not blank names a point geometry.
bool startsWithPointWkt(const std::string& line) {
    std::string head;
    for (char c : line.substr(line.find_first_not_of(" \t"), 10))
        head += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return head.rfind("POINT", 0) == 0 || head.rfind("MULTIPOINT", 0) == 0;
}

std::vector<krVector<2>> readPoints(const std::string& path) {
    Input in(path);
    std::vector<krVector<2>> points;
    std::string line;
    bool first = true;
    for (long n = 1; std::getline(*in.in, line); ++n) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (first && startsWithPointWkt(line)) {
            WktSource src(std::make_unique<Input>(path));
            Record r;
            while (src.next(r)) {
                if (!r.error.empty()) throw InputError(r.where + ": " + r.error);
                try {
                    for (const krVector<2>& p : wktPoints(r.wkt)) points.push_back(p);
                } catch (const InputError& e) {
                    throw InputError(r.where + ": " + e.what());
                }
            }
            break;
        }
        krVector<2> p;
        if (csvPoint(line, p))
            points.push_back(p);
        else if (!first)  // the first line may name the columns: "x,y", "lon,lat"
            throw InputError(path + ":" + std::to_string(n) + ": not a point \"x,y\"");
        first = false;
    }
    for (const krVector<2>& p : points)
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            throw InputError(path + ": a point has a coordinate that is not a finite number");
    return points;
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
