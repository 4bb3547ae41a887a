// The edge's course through its points: a line or a gentle curve fitted robustly, the bend of
// the edge, and where the measuring line's ends go on it.
#pragma once

#include "EdgeFit.h"
#include "EdgeFrame.h"

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

namespace measure::edgefit {

// v = c[0] + c[1] t + c[2] t^2 with t = u / tScale, u relative to the frame's uc.
struct Curve {
    std::array<double, 3> c{};
    double tScale = 1.0;

    [[nodiscard]] double at(double u) const
    {
        const double t = u / tScale;
        return c[0] + (c[1] + c[2] * t) * t;
    }
    // dv/du
    [[nodiscard]] double slope(double u) const { return (c[1] + 2.0 * c[2] * u / tScale) / tScale; }
};

struct RobustFit {
    Curve curve;
    // The points' robust spread about the curve, pixels.
    double scale = 0.0;
    // Each point's final weight (Tukey's biweight); zero for a point set aside.
    std::vector<double> weight;
    std::size_t inliers = 0;
};

// Iteratively reweighted least squares of v on u (a line for degree 1, a parabola for 2) with
// Tukey's biweight and a MAD scale. The u of each point is exact (the centre of a pixel column
// or row), so only v carries error. Starts from start where given, else from a start that
// ignores up to a quarter of stray points.
RobustFit robustFit(const std::vector<Point>& points, int degree, double tScale,
                    const Curve* start = nullptr);

// The curve of the given degree through the points with these fixed weights, for the points
// whose keep flag is set (all when keep is empty); nothing when they cannot fix it.
std::optional<Curve> weightedFit(const std::vector<Point>& points,
                                 const std::vector<double>& weight, int degree, double tScale,
                                 const std::vector<bool>& keep = {});

// How far a parabola bows from its chord between u0 and u1, pixels (signed).
double bowOf(const Curve& curve, double u0, double u1);

// The u extent of the points with weight.
struct Extent {
    double from = 0.0;
    double to = 0.0;
};
Extent extentOf(const std::vector<Point>& points, const std::vector<double>& weight);

// Each rough end moved straight across the rough line onto the fitted line, keeping its place
// along it; an end beyond the picture slides along the fitted line to the picture's edge.
// Nothing when the result would leave the picture or lie farther than band from the rough line.
std::optional<PictureSegment> placeOnLine(const PictureSegment& rough, const Curve& line,
                                          const Frame& frame, double band);

// Each rough end (slid along the rough line into the picture first) moved straight across onto
// the curve fitted to the edge. Nothing when that lies farther than band.
std::optional<PictureSegment> placeOnCurve(const PictureSegment& rough, const Curve& edge,
                                           const Frame& frame, double band);

// The rough ends in the frame, ordered by u.
struct FrameEnds {
    Point first;
    Point last;
    bool swapped = false; // rough.a is last
};
FrameEnds frameEnds(const PictureSegment& rough, const Frame& frame);

} // namespace measure::edgefit
