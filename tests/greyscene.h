// Grey test images with known truth: discs, ellipses and polygons rendered
// with the exact area each covers of every pixel, then blurred, shaded,
// made noisy and rounded; and the geometric fits the accuracy checks take.
#ifndef QEL_TESTS_GREYSCENE_H
#define QEL_TESTS_GREYSCENE_H

#include <array>
#include <functional>
#include <vector>

#include "platform/ip/greyimage.h"

namespace greyscene {

using Pt = std::array<double, 2>;

// An ellipse with semi-axes a, b, a turned by theta from the x axis (y down).
struct Ellipse {
    double cx, cy, a, b, theta;
};

// Area of the disc of radius r about the origin inside the polygon (any
// simple polygon, either orientation; the answer is unsigned).
double discPolygonArea(const std::vector<Pt>& polygon, double r);
// Area of a simple polygon inside the pixel square [x, x+1) x [y, y+1).
double polygonPixelArea(const std::vector<Pt>& polygon, int x, int y);
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
    // Multiplies by 1 + amount * u, u running linearly from -1 to 1 across
    // the image in direction angle.
    void shade(double amount, double angle);
    void noise(double sd, unsigned long seed);
    krGreyImage image(krPixelType type) const;
    double& at(int x, int y) { return v_[static_cast<std::size_t>(y) * w_ + x]; }

private:
    int w_, h_;
    std::vector<double> v_;
};

// Least squares by Gauss-Newton with a numerical Jacobian, from start.
std::vector<double> leastSquares(std::vector<double> start, std::size_t residuals,
                                 const std::function<double(const std::vector<double>&, std::size_t)>& r);
// The geometric circle through points all round it (centre x, y, radius).
std::array<double, 3> fitCircle(const std::vector<Pt>& p);
// The geometric ellipse through the points, from start.
Ellipse fitEllipse(const std::vector<Pt>& p, const Ellipse& start);

}  // namespace greyscene

#endif
