// The last refinement of a step: each section's offset from the edge's course by a model of
// the blurred, pixel-sampled step, which weighs each pixel by how much the step's position
// moves it. The area weighs all pixels alike, so the rounding of pixels on the step's tails to
// whole levels (which creeps along an edge at a small tilt) moves it more. Pixels that fit far
// worse than the rest of their section (a stalk or a twig crossing a part of it) are set aside
// before the step is placed.
#pragma once

#include "EdgeBand.h"
#include "EdgeLine.h"

#include <vector>

namespace measure::edgefit {

// The blur the step model may take, in pixels: from a sharp, antialiased step to one
// defocused, hazy or moved across by a few dozen pixels.
constexpr double MinBlur = 0.12;
constexpr double MaxBlur = 24.0;

// Fits the step model in windows of half-width window about the course, with the blur under
// which the sections fit best (looked for up to twice blurGuess, at least up to 3 pixels), and
// refits the course (a line or gentle curve) to the points. Sections whose step is weaker than the
// least contrast, or whose model does not settle, give no point; with too few points left,
// points comes back empty.
void refineByModel(const Band& band, double window, double sign, double blurGuess, double least,
                   RobustFit& fit, std::vector<Point>& points);

} // namespace measure::edgefit
