#include "platform/ip/greyimage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

std::size_t kfPixelBytes(krPixelType type) {
    switch (type) {
    case krPixelType::eU8: return 1;
    case krPixelType::eU16: return 2;
    case krPixelType::eF32: return 4;
    case krPixelType::eF64: return 8;
    }
    throw krImageError(L"unknown pixel type");
}

krGreyView::krGreyView(const void* data, krPixelType type, int width, int height,
                       std::ptrdiff_t stride)
    : data_(data), type_(type), width_(width), height_(height) {
    if (width < 0 || height < 0) throw krImageError(L"an image cannot have a negative size");
    const auto bytes = static_cast<std::ptrdiff_t>(kfPixelBytes(type));
    stride_ = stride == 0 ? width * bytes : stride;
    if (empty()) return;
    if (!data) throw krImageError(L"an image of pixels has no pixel data");
    if (std::abs(stride_) < width * bytes)
        throw krImageError(L"the image's row stride is shorter than a row");
    if (stride_ % bytes != 0 || reinterpret_cast<std::uintptr_t>(data) % bytes != 0)
        throw krImageError(L"the image's pixels are not aligned to their type");
}

krGreyView::krGreyView(const std::uint8_t* data, int width, int height, std::ptrdiff_t stride)
    : krGreyView(static_cast<const void*>(data), krPixelType::eU8, width, height, stride) {}
krGreyView::krGreyView(const std::uint16_t* data, int width, int height, std::ptrdiff_t stride)
    : krGreyView(static_cast<const void*>(data), krPixelType::eU16, width, height, stride) {}
krGreyView::krGreyView(const float* data, int width, int height, std::ptrdiff_t stride)
    : krGreyView(static_cast<const void*>(data), krPixelType::eF32, width, height, stride) {}
krGreyView::krGreyView(const double* data, int width, int height, std::ptrdiff_t stride)
    : krGreyView(static_cast<const void*>(data), krPixelType::eF64, width, height, stride) {}

double krGreyView::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        throw krImageError(L"pixel outside the image");
    switch (type_) {
    case krPixelType::eU8: return row<std::uint8_t>(y)[x];
    case krPixelType::eU16: return row<std::uint16_t>(y)[x];
    case krPixelType::eF32: return row<float>(y)[x];
    case krPixelType::eF64: return row<double>(y)[x];
    }
    return 0.0;
}

krGreyImage::krGreyImage(krPixelType type, int width, int height)
    : type_(type), width_(width), height_(height) {
    if (width < 0 || height < 0) throw krImageError(L"an image cannot have a negative size");
    const std::size_t bytes = rowBytes() * static_cast<std::size_t>(height);
    storage_.assign((bytes + sizeof(double) - 1) / sizeof(double), 0.0);
}

krGreyView krGreyImage::view() const {
    const void* data = storage_.data();
    const auto stride = static_cast<std::ptrdiff_t>(rowBytes());
    switch (type_) {
    case krPixelType::eU8: return krGreyView(static_cast<const std::uint8_t*>(data), width_, height_, stride);
    case krPixelType::eU16: return krGreyView(static_cast<const std::uint16_t*>(data), width_, height_, stride);
    case krPixelType::eF32: return krGreyView(static_cast<const float*>(data), width_, height_, stride);
    case krPixelType::eF64: return krGreyView(static_cast<const double*>(data), width_, height_, stride);
    }
    return krGreyView();
}

namespace {
template <class T>
T rounded(double v) {
    const double lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
    if (std::isnan(v)) return T(0);
    return static_cast<T>(std::floor(std::min(hi, std::max(lo, v)) + 0.5));
}
}  // namespace

void krGreyImage::set(int x, int y, double v) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        throw krImageError(L"pixel outside the image");
    switch (type_) {
    case krPixelType::eU8: row<std::uint8_t>(y)[x] = rounded<std::uint8_t>(v); break;
    case krPixelType::eU16: row<std::uint16_t>(y)[x] = rounded<std::uint16_t>(v); break;
    case krPixelType::eF32: row<float>(y)[x] = static_cast<float>(v); break;
    case krPixelType::eF64: row<double>(y)[x] = v; break;
    }
}
