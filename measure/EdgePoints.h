// The edge's points across the sections, to a fraction of a pixel: in a window around the
// course found so far, the position of the step by its area, or of a thin line by its centroid.
#pragma once

#include "EdgeBand.h"
#include "EdgeFrame.h"
#include "EdgeLine.h"

#include <cstddef>
#include <vector>

namespace measure::edgefit {

// What the line lies along: a step (sign +1 where the level rises with v, -1 where it falls) or
// a thin line (sign +1 dark, -1 light).
enum class Kind { Step, Line };
struct Feature {
    Kind kind = Kind::Step;
    double sign = 1.0;
};

// Pixels each side of a pixel whose levels a thin line's centre must be darker (or lighter) than.
constexpr std::size_t RidgeReach = 2;
// A step (or a thin line's depth) weaker than this many levels is no edge, however clean the
// picture; in a noisy one it must stand this many noise deviations above the noise.
constexpr double MinContrast = 3.0;
constexpr double ContrastPerNoise = 4.0;

// The least contrast of an edge in a band whose levels have this pixel noise.
double leastContrast(double noise);

// The mean level of the profile over [from, to), each pixel weighted by its overlap.
double meanOver(const float* p, std::size_t n, double from, double to);

// The squared spread of the feature across a section about position, in pixels squared: the
// second moment of the gradient (a step) or of the depth (a thin line) within reach pixels,
// counting only what stands above a tenth of the peak so that noise does not widen it.
double featureSpread(const float* p, std::size_t n, double position, const Feature& feature,
                     double reach);

struct AreaPoints {
    std::vector<Point> points;
    // Sections with room for the whole window.
    std::size_t roomy = 0;
    RobustFit fit;
};

// Refined points: the area (or centroid) of each section in a window of half-width window
// centred on the course, which is fitted again (a parabola, which a straight edge keeps straight
// within its scatter) from the points until it settles; sections whose step or line is weaker than
// least give none. Fewer than a handful of points leave the result empty.
AreaPoints areaPoints(const Band& band, const Feature& feature, const Curve& course, double window,
                      double least);

} // namespace measure::edgefit
