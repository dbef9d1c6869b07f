#include "io/coco.h"

#include "cntr/masks.h"
#include "io/jsonvalue.h"

namespace qs {

using nlohmann::json;

namespace {

// Calls f with the row-major index of every pixel of a width x height mask,
// in the order the runs follow: down each column, column after column.
template <class F>
void inColumnOrder(long long width, long long height, F f) {
    const auto w = static_cast<std::size_t>(width), n = static_cast<std::size_t>(width * height);
    for (std::size_t x = 0; x < w; ++x)
        for (std::size_t i = x; i < n; i += w) f(i);
}

}  // namespace

// ---- run-length masks ----

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

// ---- annotations ----

namespace {

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

}  // namespace

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

bool cocoChosen(const json& a, const ReadOptions& options) {
    if (!a.is_object()) return true;
    auto is = [&](const char* key, const std::optional<long long>& want) {
        return !want || integer(a, key) == want;
    };
    return is("image_id", options.imageId) && is("category_id", options.categoryId);
}

void CocoImages::note(const json& image) {
    auto id = integer(image, "id"), w = integer(image, "width"), h = integer(image, "height");
    if (!id || !w || !h) return;
    std::lock_guard<std::mutex> l(lock_);
    sizes_[*id] = std::make_pair(*w, *h);
}

std::optional<std::pair<long long, long long>> CocoImages::sizeOf(const json& annotation) const {
    auto id = annotation.is_object() ? integer(annotation, "image_id") : std::nullopt;
    if (!id) return std::nullopt;
    std::lock_guard<std::mutex> l(lock_);
    auto it = sizes_.find(*id);
    if (it == sizes_.end()) return std::nullopt;
    return it->second;
}

}  // namespace qs
