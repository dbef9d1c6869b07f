// The edge detector's inner stages: the points found at pixels before they
// are linked, the linker, and the curvature correction of a linked chain.
#ifndef QEL_PLATFORM_IP_EDGELINK_H
#define QEL_PLATFORM_IP_EDGELINK_H

#include <vector>

#include "platform/ip/edges.h"

// An edge point as found at pixel (px, py), before linking.
struct kr_EdgeCandidate {
    int px = 0;
    int py = 0;
    double x = 0.0;  // the refined position
    double y = 0.0;
    float gx = 0.0f;  // the gradient at the pixel
    float gy = 0.0f;
    float magnitude = 0.0f;  // at the refined position
    // The variance (px^2) of the magnitude's profile across the edge, as the
    // three magnitudes the position was refined from measure it.
    float profile = 0.0f;
    // Where the edge curves with radius r, the refined position lies
    // sampleBias / r too far towards the centre of curvature.
    float sampleBias = 0.0f;
};

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
