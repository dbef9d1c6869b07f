// The edge detector's inner stages: the points found at pixels before they
// are linked, the linker, and the curvature correction of a linked chain.
#ifndef QEL_PLATFORM_IP_EDGELINK_H
#define QEL_PLATFORM_IP_EDGELINK_H

#include <vector>

#include "platform/ip/edges.h"

// How far across the edge, in pixels along an image axis, the magnitude
// profile is read to place an edge point.
constexpr int kProfileReach = 3;

// An edge point as found at pixel (px, py), before linking.
struct kr_EdgeCandidate {
    int px = 0;
    int py = 0;
    // Whether the profile runs along x (else along y): the image axis
    // nearest the gradient.
    bool alongX = true;
    double x = 0.0;  // the first position, read straight along the axis
    double y = 0.0;
    float gx = 0.0f;  // the gradient at the pixel
    float gy = 0.0f;
    float magnitude = 0.0f;  // at the top of the profile first read
    float variance = 0.0f;   // of the profile across the edge, px^2; 0 when unmeasured
    // The squared magnitudes at offsets -kProfileReach..kProfileReach along
    // the axis from the pixel.
    float profile[2 * kProfileReach + 1] = {};
};

// The top of the parabola fitted to the logarithms of count magnitudes
// (given squared) at the offsets across the edge, each weighted by its
// magnitude: the logarithm's noise falls as the magnitude grows, and
// weighting by the magnitude rather than its square leaves the profile's
// flanks enough say to average noise. A blurred straight step has a Gaussian
// magnitude profile, for which the fit is exact. False when the fit has no
// maximum.
struct kr_ProfilePeak {
    double offset;        // where the top lies
    double logMagnitude;  // the log of the magnitude there
    double curvature;     // the parabola's second derivative: -1 / variance
};
bool kfFitProfilePeak(const double* offsets, const float* mag2, int count, kr_ProfilePeak& peak);

// The least-squares parabola c0 + c1 t + c2 t^2 from the sums s[k] of
// w t^k (k = 0..4) and r[k] of w v t^k (k = 0..2); false when the normal
// equations are singular.
bool kfSolveMoments(const double s[5], const double r[3], double c[3]);

// A chain of candidates by index, in order along the edge.
struct kr_CandidateChain {
    std::vector<int> members;
    bool closed = false;
};

// Links candidates given in raster order (at most one a pixel) into chains.
// Each candidate's successor is the nearest candidate among its eight
// neighbouring pixels that lies ahead along the edge (the gradient turned a
// quarter turn, bright side right) and whose gradient points the same way,
// provided the candidate is in turn that one's nearest such predecessor. So
// chains never branch: where edges meet, the best continuation keeps the
// chain and the others end there. A chain whose walk comes back to its start
// is closed and starts at its first member in raster order; chains come
// ordered by their first member.
std::vector<kr_CandidateChain> kfLinkCandidates(const std::vector<kr_EdgeCandidate>& candidates,
                                                int height);

// The distance R - r by which the gradient maximum of a disc of radius R,
// blurred by a Gaussian of variance sigma2, lies inside it, given the radius
// r at which the maximum is seen: the solution of
// r = R (I0(z) / I1(z) - 1 / z), z = r R / sigma2.
double kfCurvatureBias(double r, double sigma2);

// The points of a chain with the curvature bias removed (when asked) and the
// edge points' own fields filled in.
std::vector<kr_EdgePoint> kfChainPoints(const std::vector<kr_EdgeCandidate>& candidates,
                                        const kr_CandidateChain& chain, bool correctCurvature);

#endif
