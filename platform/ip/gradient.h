// Gaussian-derivative gradients of a grey image, one row at a time: the edge
// detector's first stage, kept apart so it can be held to the plain
// two-dimensional sums.
#ifndef QEL_PLATFORM_IP_GRADIENT_H
#define QEL_PLATFORM_IP_GRADIENT_H

#include <vector>

#include "platform/ip/greyimage.h"

// The sampled one-dimensional kernels at scale sigma, by offset 0..radius
// (both are symmetric about 0, the derivative with opposite signs):
// smooth sums to 1 over -radius..radius, and deriv[k] is the weight of
// I(+k) - I(-k), scaled so that a ramp of slope 1 has derivative exactly 1.
struct kr_GaussianKernels {
    explicit kr_GaussianKernels(double sigma);

    int radius = 0;
    std::vector<float> smooth;
    std::vector<float> deriv;
    // The standard deviation of each gradient component of white noise of
    // standard deviation 1.
    double noiseGain = 0.0;
};

// Index i of a row or column folded into [0, n) by mirroring about the
// image border (pixel -1 is pixel 0, pixel n is pixel n-1), as often as a
// small image needs.
int kfMirror(int i, int n);

// Computes gradient rows of one image. Rows outside [0, height) are those of
// the image mirrored about its border. Not for use by two threads at once
// (it keeps scratch rows); make one per thread.
class krGradientRows {
public:
    krGradientRows(const krGreyView& image, const kr_GaussianKernels& kernels);

    // gx, gy: the smoothed image's derivatives along x and y; mag2: the
    // gradient's squared length (every comparison the detector makes holds
    // for squares too, and no root is taken per pixel). Each holds width()
    // floats.
    void compute(int y, float* gx, float* gy, float* mag2);

private:
    const krGreyView& image_;
    const kr_GaussianKernels& kernels_;
    std::vector<float> smoothRow_;  // the column-smoothed row, mirrored pads included
    std::vector<float> derivRow_;   // the column-differentiated row, likewise
};

#endif
