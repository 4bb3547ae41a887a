// The feature's width across, from the band's mean profile around its course: how far the
// band must reach to hold the whole step (or line) and its plateaus, and whether a ramp fills it.
#pragma once

#include "EdgeBand.h"
#include "EdgeLine.h"
#include "EdgePoints.h"

#include <cmath>
#include <vector>

namespace measure::edgefit {

// The band's mean level at each whole offset d from the course (sign-adjusted, so a step
// rises), over a sample of sections, and the offsets every sampled section holds.
struct MeanProfile {
    std::vector<double> level;
    int from = 0; // the offset of level[0]
};
MeanProfile meanProfile(const Band& band, const Curve& course, double sign, int reach);

// The feature's spread on the mean profile, and whether it still fills the profile on a side
// (not yet down to a plateau there).
struct Width {
    double spread = 0.0;
    bool filled = false;
    // How far from the feature's peak the next feature of the other sense begins (the far side
    // of a wide dark band whose near side is the step), on the nearer side.
    double clear = INFINITY;
};
// Of a step's gradient, or of a line's depth below the straight line between the profile's
// ends (for a wide feature, smoothed); the peak looked for within a few pixels (or twice the
// scale) of the course.
Width widthOf(const MeanProfile& profile, const Feature& feature, double scale);

// Whether the band's mean profile is one ramp that runs on past both its ends (or past one end
// as steeply as at its steepest): a step wider than the band, whose course no section shows.
bool filledByRamp(const MeanProfile& profile);

} // namespace measure::edgefit
