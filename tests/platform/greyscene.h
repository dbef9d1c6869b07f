// Grey test images with known truth: discs, ellipses and polygons rendered
// with the exact area each covers of every pixel, then blurred, made noisy
// and rounded; and the geometric fit the accuracy checks take.
#ifndef QEL_TESTS_PLATFORM_GREYSCENE_H
#define QEL_TESTS_PLATFORM_GREYSCENE_H

#include <array>
#include <vector>

#include "platform/ip/greyimage.h"

namespace greyscene {

using Pt = std::array<double, 2>;

// An ellipse with semi-axes a, b, a turned by theta from the x axis (y down).
struct Ellipse {
    double cx, cy, a, b, theta;
};

// Signed distance from p to the ellipse's outline, negative inside.
double ellipseDistance(const Ellipse& e, Pt p);

// A scene of pixel values held in doubles. Shapes add level times the area
// they cover of each pixel.
class Scene {
public:
    Scene(int width, int height, double background);
    void addEllipse(const Ellipse& e, double level);
    void addPolygon(const std::vector<Pt>& polygon, double level);
    // Gaussian blur of standard deviation sigma, borders mirrored.
    void blur(double sigma);
    void noise(double sd, unsigned long seed);
    krGreyImage image(krPixelType type) const;
    double& at(int x, int y) { return v_[static_cast<std::size_t>(y) * w_ + x]; }
    int width() const { return w_; }
    int height() const { return h_; }

private:
    int w_, h_;
    std::vector<double> v_;
};

// The geometric ellipse through the points (the library's own fit, which
// has its tests against sampled truth), its semi-axes major first.
Ellipse fitEllipse(const std::vector<Pt>& p);

}  // namespace greyscene

#endif
