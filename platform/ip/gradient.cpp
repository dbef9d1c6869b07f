#include "platform/ip/gradient.h"

#include <cmath>
#include <cstdint>

kr_GaussianKernels::kr_GaussianKernels(double sigma) {
    // Past 3.5 sigma the Gaussian keeps less than 1/2000 of its weight.
    radius = static_cast<int>(std::ceil(3.5 * sigma));
    std::vector<double> g(radius + 1), d(radius + 1);
    double sum = 0.0, moment = 0.0;
    for (int k = 0; k <= radius; ++k) {
        g[k] = std::exp(-0.5 * k * k / (sigma * sigma));
        d[k] = k * g[k];
        sum += k == 0 ? g[k] : 2.0 * g[k];
        moment += 2.0 * k * d[k];
    }
    double g2 = 0.0, d2 = 0.0;
    for (int k = 0; k <= radius; ++k) {
        smooth.push_back(static_cast<float>(g[k] / sum));
        deriv.push_back(static_cast<float>(d[k] / moment));
        g2 += (k == 0 ? 1.0 : 2.0) * smooth.back() * smooth.back();
        d2 += 2.0 * deriv.back() * deriv.back();
    }
    noiseGain = std::sqrt(g2 * d2);
}

int kfMirror(int i, int n) {
    const int period = 2 * n;
    int m = i % period;
    if (m < 0) m += period;
    return m < n ? m : period - 1 - m;
}

namespace {

// The column pass for output row y: out-of-image rows mirrored. Written as
// plain loops over x so the compiler vectorizes them; one body serves every
// pixel type and instruction set.
template <class T>
inline __attribute__((always_inline)) void columnPassBody(const krGreyView& image, int y,
                                                          const kr_GaussianKernels& k, float* s,
                                                          float* d) {
    const int w = image.width(), h = image.height();
    const T* c = image.row<T>(kfMirror(y, h));
    const float g0 = k.smooth[0];
    for (int x = 0; x < w; ++x) {
        s[x] = g0 * static_cast<float>(c[x]);
        d[x] = 0.0f;
    }
    for (int j = 1; j <= k.radius; ++j) {
        const T* a = image.row<T>(kfMirror(y + j, h));
        const T* b = image.row<T>(kfMirror(y - j, h));
        const float gj = k.smooth[j], dj = k.deriv[j];
        for (int x = 0; x < w; ++x) {
            const float p = static_cast<float>(a[x]), q = static_cast<float>(b[x]);
            s[x] += gj * (p + q);
            d[x] += dj * (p - q);
        }
    }
}

// The row pass: s and d carry radius mirrored pixels before and after the row.
inline __attribute__((always_inline)) void rowPassBody(int w, const kr_GaussianKernels& k,
                                                       const float* s, const float* d, float* gx,
                                                       float* gy, float* mag2) {
    const float g0 = k.smooth[0];
    for (int x = 0; x < w; ++x) {
        gx[x] = 0.0f;
        gy[x] = g0 * d[x];
    }
    for (int j = 1; j <= k.radius; ++j) {
        const float gj = k.smooth[j], dj = k.deriv[j];
        for (int x = 0; x < w; ++x) {
            gx[x] += dj * (s[x + j] - s[x - j]);
            gy[x] += gj * (d[x + j] + d[x - j]);
        }
    }
    for (int x = 0; x < w; ++x) mag2[x] = gx[x] * gx[x] + gy[x] * gy[x];
}

inline __attribute__((always_inline)) void columnPassAny(const krGreyView& image, int y,
                                                         const kr_GaussianKernels& k, float* s,
                                                         float* d) {
    switch (image.type()) {
    case krPixelType::eU8: columnPassBody<std::uint8_t>(image, y, k, s, d); break;
    case krPixelType::eU16: columnPassBody<std::uint16_t>(image, y, k, s, d); break;
    case krPixelType::eF32: columnPassBody<float>(image, y, k, s, d); break;
    case krPixelType::eF64: columnPassBody<double>(image, y, k, s, d); break;
    }
}

void columnPass(const krGreyView& image, int y, const kr_GaussianKernels& k, float* s, float* d) {
    columnPassAny(image, y, k, s, d);
}

void rowPass(int w, const kr_GaussianKernels& k, const float* s, const float* d, float* gx,
             float* gy, float* mag2) {
    rowPassBody(w, k, s, d, gx, gy, mag2);
}

// The same loops built for eight-float vectors where the processor has them.
// Without fused multiply-add the vector code does exactly the scalar code's
// operations in the same order, so both give the same bits.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QEL_GRADIENT_AVX2 1
__attribute__((target("avx2"))) void columnPassAvx2(const krGreyView& image, int y,
                                                    const kr_GaussianKernels& k, float* s,
                                                    float* d) {
    columnPassAny(image, y, k, s, d);
}

__attribute__((target("avx2"))) void rowPassAvx2(int w, const kr_GaussianKernels& k,
                                                 const float* s, const float* d, float* gx,
                                                 float* gy, float* mag2) {
    rowPassBody(w, k, s, d, gx, gy, mag2);
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

}  // namespace

krGradientRows::krGradientRows(const krGreyView& image, const kr_GaussianKernels& kernels)
    : image_(image), kernels_(kernels),
      smoothRow_(static_cast<std::size_t>(image.width()) + 2 * kernels.radius),
      derivRow_(smoothRow_.size()) {}

void krGradientRows::compute(int y, float* gx, float* gy, float* mag2) {
    const int w = image_.width(), r = kernels_.radius;
    float* s = smoothRow_.data() + r;
    float* d = derivRow_.data() + r;
#ifdef QEL_GRADIENT_AVX2
    const bool wide = haveAvx2();
    if (wide) columnPassAvx2(image_, y, kernels_, s, d);
    else columnPass(image_, y, kernels_, s, d);
#else
    columnPass(image_, y, kernels_, s, d);
#endif
    for (int i = 1; i <= r; ++i) {
        s[-i] = s[kfMirror(-i, w)];
        d[-i] = d[kfMirror(-i, w)];
        s[w - 1 + i] = s[kfMirror(w - 1 + i, w)];
        d[w - 1 + i] = d[kfMirror(w - 1 + i, w)];
    }
#ifdef QEL_GRADIENT_AVX2
    if (wide) rowPassAvx2(w, kernels_, s, d, gx, gy, mag2);
    else rowPass(w, kernels_, s, d, gx, gy, mag2);
#else
    rowPass(w, kernels_, s, d, gx, gy, mag2);
#endif
}
