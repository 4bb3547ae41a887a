// Finding the edge the rough line lies along: candidates for a step or a thin line in each
// cross-section, at the finest scale that shows them, the straight courses they support, the
// one chosen among several within reach, and that edge followed where it bends or is wider
// than the band first looked at, the band growing around it.
#pragma once

#include "EdgeBand.h"
#include "EdgeLine.h"
#include "EdgePoints.h"

#include <cmath>
#include <cstddef>
#include <optional>

namespace measure::edgefit {

// Where the line lacks an edge, when none is found.
enum class Gap { First, Last, Along }; // First: the end at the lower u

// A feature wider than this (spread, pixels) is soft: out of focus, hazy or moved.
constexpr double SoftSpread = 2.5;

struct Found {
    Feature feature;
    // The edge's course as followed: a line, or a parabola where it bends.
    Curve course;
    // The feature's spread across, the standard deviation of its gradient (a step) or depth (a
    // thin line) in pixels.
    double spread = 0.0;
    // Pixels from the feature to the next one of the other sense across (infinite where none
    // lies in the band): a window around it should end before that.
    double clear = INFINITY;
    // The pixel noise of the band's levels, a standard deviation.
    double noise = 0.0;
};

struct Search {
    std::optional<Found> found;
    Gap gap = Gap::Along;
};

// Looks in the band (first reach pixels along v either side of the rough line, at most cap)
// for an edge turned at most mostTurn radians from the rough line. Where two lie within reach,
// takes the one most nearly along the line, then the nearer of those that run about as far
// along it as any. The band grows where the edge leads out of it or is wider than it, until it
// holds the whole step and its plateaus.
Search searchEdge(Band& band, double reach, double cap, double mostTurn);

// Widens the sections to hold reach pixels either side of the course; with onlyNearEnds, only
// those where the course comes within half of that of a profile's end. True when any grew.
bool widenAround(Band& band, const Curve& course, double reach, bool onlyNearEnds = false);

// Which end lacks an edge: the first or last stretch of sections holding almost none of the
// points where the rest hold enough of them, or neither.
Gap gapOf(const Band& band, const std::vector<bool>& onEdge);

} // namespace measure::edgefit
