// Subpixel edges of grey images, linked into chains.
//
// kfFindEdges smooths the image with a Gaussian of scale sigma and takes its
// gradient (separable Gaussian-derivative filters, borders mirrored about the
// image border), keeps the pixels whose gradient magnitude is a maximum across
// the edge, links them into chains along the edge, keeps the chains that pass
// the hysteresis thresholds and are long enough, and places each point to a
// fraction of a pixel on the magnitude profile across the edge, read along
// the chain's curve (and at the image's own blur where that is wider than
// sigma). Last, each point of a curved chain moves outwards by the amount
// the blur pulls a curved edge's gradient maximum inwards, so that small
// holes measure true.
#ifndef QEL_PLATFORM_IP_EDGES_H
#define QEL_PLATFORM_IP_EDGES_H

#include <optional>
#include <vector>

#include "platform/ip/edgelet.h"
#include "platform/ip/greyimage.h"

// One edge point, in the pixel frame of krGreyView.
struct kr_EdgePoint {
    double x = 0.0;
    double y = 0.0;
    // The gradient magnitude at the point: grey levels per pixel of the
    // image smoothed at the detector's scale.
    float magnitude = 0.0f;
    // The gradient's direction, from dark towards bright: atan2(gy, gx) in
    // the image frame (y down), in radians in [-pi, pi].
    float angle = 0.0f;

    // The edgelet of this point: magnitude rounded and clamped to
    // [0, 65535], angle rounded to 1/256 of a turn.
    krEdgelet edgelet() const;
};

// A chain of edge points, in order along the edge. Walking a chain with the
// image seen y down, the brighter side lies on the right, so a closed chain
// around a bright object has positive signed area in image coordinates and
// one around a dark hole negative. A closed chain's last point links back to
// its first.
struct kr_EdgeChain {
    std::vector<kr_EdgePoint> points;
    bool closed = false;
};

// The detector's settings. Left unset, low and high are derived from the
// image's noise (see kfEdgeThresholds).
struct kr_EdgeParams {
    // The Gaussian's standard deviation, in pixels, within [0.5, 64].
    double sigma = 1.0;
    // Hysteresis on the gradient magnitude: chains are made of points at or
    // above low, and a chain is kept when one of its points reaches high.
    std::optional<double> low;
    std::optional<double> high;
    // Chains of fewer points are dropped.
    int minLength = 8;
    // Row bands worked on at once; 0 takes one per hardware thread. Every
    // count gives the same answer.
    int threads = 1;
    // Move points of curved chains outwards by the blur's curvature bias.
    bool correctCurvature = true;
};

// The thresholds kfFindEdges applies, with the image noise they come from.
// noise is the standard deviation of the image's pixel noise, estimated
// robustly from a sample of rows (the median of a second-difference filter
// that ignores linear shading) and floored at one grey level for integer
// pixels and at 1/1024 of the sampled range for every type, so that
// quantization steps of a smooth shading are not edges. gradientNoise is the
// standard deviation that noise gives each gradient component at the
// detector's scale. Unset thresholds are low = 3 and high = 6 times
// gradientNoise: pure noise passes low at about one pixel in a hundred and
// high at about one in 10^8. With one threshold given, the other is derived
// and yields to it; with both given, the image is not sampled and noise and
// gradientNoise are 0.
struct kr_EdgeThresholds {
    double noise = 0.0;
    double gradientNoise = 0.0;
    double low = 0.0;
    double high = 0.0;
};

// The thresholds for this image and these settings. Throws krImageError for
// settings out of range.
kr_EdgeThresholds kfEdgeThresholds(const krGreyView& image, const kr_EdgeParams& params = {});

// The edge chains of the image, ordered by the position of each chain's first
// point in raster order (row by row, pixel by pixel). Throws krImageError for
// settings out of range.
std::vector<kr_EdgeChain> kfFindEdges(const krGreyView& image, const kr_EdgeParams& params = {});

#endif
