#include "io/jsonsource.h"

#include <optional>

#include "io/coco.h"
#include "io/geojson.h"
#include "io/jsonstream.h"
#include "io/jsonvalue.h"

namespace qs {

using nlohmann::json;

namespace {

// Whether the member named key holds the records: a COCO file's
// annotations, a GeoJSON collection's features.
bool holdsRecords(Format forced, const std::string& key) {
    if (forced == Format::Coco) return key == "annotations";
    if (forced == Format::GeoJson) return key == "features";
    return key == "annotations" || key == "features";
}

// The forced format, else COCO when the records are a list of annotations.
Format jsonFormat(Format forced, const std::string& listKey) {
    if (forced != Format::Auto) return forced;
    return listKey == "annotations" ? Format::Coco : Format::GeoJson;
}

// The one record of a document without a record list (a lone feature or
// geometry), if any; InputError when it lacks the list its format needs.
std::optional<json> withoutList(Format forced, json& doc) {
    if (forced == Format::Coco) throw InputError("no \"annotations\" list, so not COCO annotations");
    if (typeOf(doc) == "FeatureCollection") throw InputError("the feature collection has no \"features\" list");
    if (doc.is_object()) return std::move(doc);
    return std::nullopt;
}

class JsonSource : public Source {
public:
    JsonSource(std::unique_ptr<Input> in, const ReadOptions& o)
        : in_(std::move(in)), path_(in_->path), options_(o),
          stream_(*in_, [f = o.format](const std::string& key) { return holdsRecords(f, key); },
                  [this](const std::string& key, const json& v) {
                      if (key == "images") images_.note(v);
                  }) {
        if (!stream_.waitForList()) {
            if (!stream_.error().empty()) throw InputError(path_ + ": not valid JSON: " + stream_.error());
            try {
                lone_ = withoutList(o.format, stream_.document());
            } catch (const InputError& e) {
                throw InputError(path_ + ": " + e.what());
            }
        }
        format_ = jsonFormat(o.format, stream_.listKey());
    }

    bool next(Record& r) override {
        r = Record();
        json item;
        std::size_t index = 0;
        if (lone_) {
            item = std::move(*lone_);
            lone_.reset();
        } else {
            JsonStream::Next n = take(item, index);
            if (n == JsonStream::Next::End) return false;
            if (n == JsonStream::Next::Broken) {
                r.where = path_ + ": " + stream_.listPath() + "[" + std::to_string(index) + "]";
                r.error = "not valid JSON: " + stream_.error() + "; the rest of the file is skipped";
                return true;
            }
        }
        const std::string& list = stream_.listPath();
        r.where = path_ + ": " + (list.empty() ? "$" : list + "[" + std::to_string(index) + "]");
        try {
            if (format_ == Format::Coco) {
                auto imageSize = images_.sizeOf(item);
                r.shape = cocoAnnotation(item, options_.labelField, options_.connectivity);
                if (!r.shape->imageSize) r.shape->imageSize = imageSize;
            } else {
                r.shape = geoJsonShape(item, options_.labelField);
            }
        } catch (const InputError& e) {
            r.error = e.what();
        } catch (const json::exception& e) {
            r.error = e.what();
        }
        return true;
    }
    double done() const override { return stream_.done(); }

private:
    // The next element of the list that the options choose, or the end.
    JsonStream::Next take(json& item, std::size_t& index) {
        JsonStream::Next n;
        while ((n = stream_.next(item, index)) == JsonStream::Next::Item)
            if (format_ != Format::Coco || cocoChosen(item, options_)) break;
        return n;
    }

    std::unique_ptr<Input> in_;
    std::string path_;
    ReadOptions options_;
    CocoImages images_;
    std::optional<json> lone_;
    JsonStream stream_;  // last: its thread stops before the rest goes
};

}  // namespace

std::unique_ptr<Source> openJson(std::unique_ptr<Input> in, const ReadOptions& options) {
    return std::make_unique<JsonSource>(std::move(in), options);
}

}  // namespace qs
