// Candidates for the edge in each cross-section: the strongest few peaks of a step's gradient or
// a thin line's depth, at a scale of smoothing, each measured against the band's own noise.
#pragma once

#include "EdgeBand.h"
#include "EdgePoints.h"

#include <array>
#include <cstddef>
#include <vector>

namespace measure::edgefit {

struct Candidate {
    double v = 0.0; // absolute, across
    // How far it stands above what noise alone gives, as a multiple of the least that counts:
    // steps and lines, and scales, compare alike.
    double strength = 0.0;
};
// Per section.
using Candidates = std::vector<std::vector<Candidate>>;

// Steps up and down, dark and light lines.
inline constexpr std::array<Feature, 4> Features = {
    Feature{Kind::Step, 1.0}, Feature{Kind::Step, -1.0}, Feature{Kind::Line, 1.0},
    Feature{Kind::Line, -1.0}};

// The pixel noise of the band's levels, a standard deviation: from the median size of the
// differences between neighbours across, which an edge here and there does not move.
double noiseOf(const Band& band);

// The sections to look at: all, or every few for a quick judgement.
std::vector<std::size_t> sectionsToUse(const Band& band, bool sampled);

// Looking through profiles for candidates is worth a thread of its own from about this many
// pixels on (starting a thread costs about what that does): a 100 MP edge's band, not a
// photograph's.
inline constexpr double CandidatePixelsPerThread = 50000.0;
// The pixels of the named sections' profiles.
double profilePixels(const Band& band, const std::vector<std::size_t>& which);

// The candidates for a feature in the sections named, at a scale of smoothing (pixels; 0: the
// pixels' own gradient), in a band of this noise; the other sections hold none.
Candidates candidatesOf(const Band& band, const std::vector<std::size_t>& which,
                        const Feature& feature, double scale, double noise);

} // namespace measure::edgefit
