// Grey images as the image-processing layer reads them: a view of pixels the
// caller owns, and a small owning image for callers that make pixels.
//
// Pixel frame: pixel (x, y) covers [x, x+1) x [y, y+1), y pointing down, and
// its sample stands at (x + 0.5, y + 0.5). The mask tracer uses the same frame,
// so the edges of a disc and the traced mask of that disc describe one disc.
#ifndef QEL_PLATFORM_IP_GREYIMAGE_H
#define QEL_PLATFORM_IP_GREYIMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/std/exception.h"

// An image argument or an image operation's parameter is unusable; the
// message says which and why.
class krImageError : public krExceptionWithString {
public:
    explicit krImageError(const std::wstring& message = std::wstring())
        : krExceptionWithString(message) {}
    long errorNumber() const override { return 0x10000701; }
    void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
};

enum class krPixelType { eU8, eU16, eF32, eF64 };

// Bytes one pixel of the type takes.
std::size_t kfPixelBytes(krPixelType type);

// A read-only view of width x height grey pixels of one type, row y starting
// at data + y * stride bytes. The stride may be negative (bottom-up storage)
// and defaults to the packed row size; it must hold a whole row and keep
// pixels aligned to their type. The default view is empty (0 x 0).
class krGreyView {
public:
    krGreyView() = default;
    krGreyView(const std::uint8_t* data, int width, int height, std::ptrdiff_t stride = 0);
    krGreyView(const std::uint16_t* data, int width, int height, std::ptrdiff_t stride = 0);
    krGreyView(const float* data, int width, int height, std::ptrdiff_t stride = 0);
    krGreyView(const double* data, int width, int height, std::ptrdiff_t stride = 0);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ == 0 || height_ == 0; }
    std::ptrdiff_t stride() const { return stride_; }
    krPixelType type() const { return type_; }
    const void* data() const { return data_; }

    // Row y's first pixel; y must lie in [0, height).
    template <class T>
    const T* row(int y) const {
        return reinterpret_cast<const T*>(static_cast<const unsigned char*>(data_) + y * stride_);
    }
    // Pixel (x, y) as a double, bounds checked.
    double at(int x, int y) const;

private:
    krGreyView(const void* data, krPixelType type, int width, int height, std::ptrdiff_t stride);

    const void* data_ = nullptr;
    krPixelType type_ = krPixelType::eU8;
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
};

// An owning, packed image of one pixel type, zero-filled at birth.
class krGreyImage {
public:
    krGreyImage() = default;
    krGreyImage(krPixelType type, int width, int height);

    krGreyView view() const;
    int width() const { return width_; }
    int height() const { return height_; }
    krPixelType type() const { return type_; }

    template <class T>
    T* row(int y) {
        return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(storage_.data()) +
                                    static_cast<std::size_t>(y) * rowBytes());
    }
    // Stores v at (x, y), bounds checked; integer pixels take v rounded to
    // nearest and clamped to their range.
    void set(int x, int y, double v);
    double at(int x, int y) const { return view().at(x, y); }

private:
    std::size_t rowBytes() const { return static_cast<std::size_t>(width_) * kfPixelBytes(type_); }

    // Held as doubles so that every pixel type is aligned.
    std::vector<double> storage_;
    krPixelType type_ = krPixelType::eU8;
    int width_ = 0;
    int height_ = 0;
};

#endif
