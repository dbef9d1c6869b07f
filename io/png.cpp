#include "io/png.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "cntr/masks.h"
#include "platform/std/exception.h"

#ifdef QEL_HAVE_PNG
#include <png.h>
#endif

namespace qs {

bool looksLikePng(const std::string& b) { return b.rfind("\x89PNG\r\n\x1a\n", 0) == 0; }

#ifndef QEL_HAVE_PNG

std::unique_ptr<Source> openPng(std::istream&, const std::string& path, const ReadOptions&) {
    throw InputError(path + ": this build reads no PNG masks (it was built without libpng)");
}

PngPixels readPng(std::istream&, const std::string& path) {
    throw InputError(path + ": this build reads no PNG files (it was built without libpng)");
}

krGreyImage readGreyPng(std::istream&, const std::string& path) {
    throw InputError(path + ": this build reads no PNG files (it was built without libpng)");
}

void writePngMask(const std::string& path, const std::vector<unsigned char>&, std::size_t, std::size_t) {
    throw InputError(path + ": this build writes no PNG files (it was built without libpng)");
}

void writeGreyPng(const std::string& path, const krGreyView&) {
    throw InputError(path + ": this build writes no PNG files (it was built without libpng)");
}

#else

namespace {

// libpng reports errors by a long jump; the message is kept here first.
struct Codec {
    char error[200] = "";
};

struct Decoder : Codec {
    std::istream* in;
    std::vector<unsigned char> bytes;
    std::vector<png_bytep> rows;
    int channels = 0, depth = 0, type = 0;
    // Read as an image rather than a mask: palettes expanded to colours and
    // grey depths below 8 scaled to the byte.
    bool asImage = false;
    png_uint_32 width = 0, height = 0;
};

void onError(png_structp png, png_const_charp message) {
    auto* d = static_cast<Codec*>(png_get_error_ptr(png));
    std::snprintf(d->error, sizeof d->error, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onRead(png_structp png, png_bytep data, png_size_t n) {
    auto* d = static_cast<Decoder*>(png_get_io_ptr(png));
    d->in->read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(n));
    if (static_cast<png_size_t>(d->in->gcount()) != n) png_error(png, "the file ends early");
}

// libpng reports errors by a long jump back here, so this frame holds
// nothing that needs destroying: the buffers live in the decoder.
bool decode(png_structp png, png_infop info, Decoder* d) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    d->width = png_get_image_width(png, info);
    d->height = png_get_image_height(png, info);
    if (static_cast<unsigned long long>(d->width) * d->height > static_cast<unsigned long long>(kMaxMaskPixels))
        png_error(png, "the image is too large");
    d->type = png_get_color_type(png, info);
    if (d->asImage && d->type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (d->asImage && d->type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_bit_depth(png, info) < 8) png_set_packing(png);
    if (d->type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
    png_read_update_info(png, info);
    std::size_t rowBytes = png_get_rowbytes(png, info);
    d->bytes.resize(rowBytes * d->height);
    d->rows.resize(d->height);
    for (png_uint_32 y = 0; y < d->height; ++y) d->rows[y] = d->bytes.data() + y * rowBytes;
    png_read_image(png, d->rows.data());
    d->channels = png_get_channels(png, info);
    d->depth = png_get_bit_depth(png, info);
    return true;
}

}  // namespace

namespace {

void decodeFile(std::istream& in, const std::string& path, Decoder& d) {
    d.in = &in;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw InputError(path + ": out of memory for the PNG reader");
    }
    png_set_read_fn(png, &d, onRead);
    bool ok = decode(png, info, &d);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) throw InputError(path + ": not a PNG file the tool reads: " + d.error);
}

}  // namespace

PngPixels readPng(std::istream& in, const std::string& path) {
    Decoder d;
    decodeFile(in, path, d);
    PngPixels img;
    img.width = d.width;
    img.height = d.height;
    img.colour = d.type & PNG_COLOR_MASK_COLOR && !(d.type & PNG_COLOR_MASK_PALETTE);
    img.value.resize(img.width * img.height);
    const std::size_t bytesPerSample = d.depth == 16 ? 2 : 1;
    for (std::size_t y = 0; y < img.height; ++y)
        for (std::size_t x = 0; x < img.width; ++x) {
            const unsigned char* p = d.rows[y] + x * d.channels * bytesPerSample;
            std::uint32_t v = 0;
            if (img.colour)
                v = std::uint32_t(p[0]) << 16 | std::uint32_t(p[bytesPerSample]) << 8 |
                    p[2 * bytesPerSample];
            else
                v = bytesPerSample == 2 ? std::uint32_t(p[0]) << 8 | p[1] : p[0];
            img.value[y * img.width + x] = v;
        }
    return img;
}

krGreyImage readGreyPng(std::istream& in, const std::string& path) {
    Decoder d;
    d.asImage = true;
    decodeFile(in, path, d);
    const bool wide = d.depth == 16;
    krGreyImage img(wide ? krPixelType::eU16 : krPixelType::eU8, int(d.width), int(d.height));
    const std::size_t step = wide ? 2 : 1;
    auto sample = [&](const unsigned char* p) { return wide ? unsigned(p[0]) << 8 | p[1] : unsigned(p[0]); };
    for (png_uint_32 y = 0; y < d.height; ++y)
        for (png_uint_32 x = 0; x < d.width; ++x) {
            const unsigned char* p = d.rows[y] + x * d.channels * step;
            const double v = d.channels < 3 ? sample(p)
                                            : 0.299 * sample(p) + 0.587 * sample(p + step) + 0.114 * sample(p + 2 * step);
            img.set(int(x), int(y), v);
        }
    return img;
}

namespace {

// Grey rows of 8 or 16 bits (16-bit samples big-endian, as PNG stores
// them); like decode, this frame holds nothing that needs destroying.
bool encode(png_structp png, png_infop info, FILE* file, std::vector<png_bytep>& rows,
            std::size_t width, int depth) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(rows.size()), depth, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

void writePngRows(const std::string& path, std::vector<unsigned char>& bytes, std::size_t width,
                  std::size_t height, int depth) {
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < height; ++y) rows[y] = bytes.data() + y * width * std::size_t(depth / 8);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) throw InputError(path + ": cannot write the file");
    Codec c;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &c, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info && encode(png, info, file.get(), rows, width, depth);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!ok) throw InputError(path + ": cannot write the PNG file" + (*c.error ? std::string(": ") + c.error : ""));
    if (std::fflush(file.get()) != 0) throw InputError(path + ": cannot write the file");
}

}  // namespace

void writePngMask(const std::string& path, const std::vector<unsigned char>& mask, std::size_t width,
                  std::size_t height) {
    std::vector<unsigned char> grey(mask.size());
    std::transform(mask.begin(), mask.end(), grey.begin(), [](unsigned char v) { return v ? 255 : 0; });
    writePngRows(path, grey, width, height, 8);
}

void writeGreyPng(const std::string& path, const krGreyView& image) {
    if (image.type() != krPixelType::eU8 && image.type() != krPixelType::eU16)
        throw InputError(path + ": only 8-bit and 16-bit grey images are written as PNG files");
    const bool wide = image.type() == krPixelType::eU16;
    std::vector<unsigned char> bytes;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const unsigned v = static_cast<unsigned>(image.at(x, y));
            if (wide) bytes.push_back(static_cast<unsigned char>(v >> 8));
            bytes.push_back(static_cast<unsigned char>(v & 0xff));
        }
    writePngRows(path, bytes, std::size_t(image.width()), std::size_t(image.height()), wide ? 16 : 8);
}

namespace {

// The level a threshold is compared with: the grey level or index, or the
// mean of a colour's three channels.
double level(const PngPixels& img, std::uint32_t v) {
    if (!img.colour) return v;
    return ((v >> 16) + ((v >> 8) & 0xff) + (v & 0xff)) / 3.0;
}

std::string valueName(const PngPixels& img, std::uint32_t v) {
    if (!img.colour) return std::to_string(v);
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06x", static_cast<unsigned>(v));
    return buf;
}

// One shape for each value but 0, in increasing order, or one shape for the
// pixels at or above the threshold. Each is traced within its own box.
class PngSource : public Source {
public:
    PngSource(PngPixels img, const std::string& path, const ReadOptions& o)
        : img_(std::move(img)), path_(path), options_(o) {
        format_ = Format::Png;
        for (std::size_t i = 0; i < img_.value.size(); ++i) {
            std::uint32_t key = selected(img_.value[i]);
            if (o.threshold ? key == 0 : img_.value[i] == 0) continue;
            std::size_t x = i % img_.width, y = i / img_.width;
            auto [it, fresh] = boxes_.try_emplace(img_.value[i] * !o.threshold, Box{x, y, x, y});
            if (!fresh) {
                Box& b = it->second;
                b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
                b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
            }
        }
        next_ = boxes_.begin();
    }

    bool next(Record& r) override {
        r = Record();
        if (next_ == boxes_.end()) return false;
        auto [key, box] = *next_++;
        ++done_;
        std::string name = options_.threshold ? ">= " + num(*options_.threshold) : valueName(img_, key);
        r.where = path_ + ": " + (options_.threshold ? "pixels " : img_.colour ? "colour " : "level ") + name;
        long w = long(box.x1 - box.x0 + 1), h = long(box.y1 - box.y0 + 1);
        std::vector<unsigned char> mask(std::size_t(w * h), 0);
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x) {
                std::uint32_t v = img_.value[(box.y0 + std::size_t(y)) * img_.width + box.x0 + std::size_t(x)];
                mask[std::size_t(y * w + x)] = options_.threshold ? selected(v) != 0 : v == key;
            }
        try {
            Shape s = fromLibrary(kf_TraceMask(mask.data(), w, h, options_.connectivity));
            for (Polygon& p : s.polygons) {
                shift(p.outer, box);
                for (Ring& hole : p.holes) shift(hole, box);
            }
            s.kind = Kind::RegionSet;
            s.label = s.id = options_.threshold ? "" : valueName(img_, key);
            s.notes.push_back("traced from a PNG mask");
            r.shape = std::move(s);
        } catch (const krException& e) {
            r.error = describe(e);
        }
        return true;
    }
    double done() const override { return boxes_.empty() ? 1.0 : double(done_) / double(boxes_.size()); }

private:
    struct Box {
        std::size_t x0, y0, x1, y1;
    };
    std::uint32_t selected(std::uint32_t v) const {
        return options_.threshold ? level(img_, v) >= *options_.threshold : v;
    }
    static void shift(Ring& r, const Box& b) {
        for (krVector<2>& p : r) p = krVector<2>(p.x() + double(b.x0), p.y() + double(b.y0));
    }

    PngPixels img_;
    std::string path_;
    ReadOptions options_;
    std::map<std::uint32_t, Box> boxes_;
    std::map<std::uint32_t, Box>::const_iterator next_;
    std::size_t done_ = 0;
};

}  // namespace

std::unique_ptr<Source> openPng(std::istream& in, const std::string& path, const ReadOptions& options) {
    return std::make_unique<PngSource>(readPng(in, path), path, options);
}

#endif

}  // namespace qs
