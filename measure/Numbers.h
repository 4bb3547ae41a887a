// Whole-number conversions shared by the line model and the readout.
#pragma once

#include <cstdint>

namespace measure {

// Passed for both coordinates of UpdateLine: there is no new point, only redraw.
inline constexpr std::int32_t NoPoint = INT32_MIN;

// Window and line coordinates are twips: 15 per logical pixel, whatever the screen's scale.
inline constexpr double TwipsPerPixel = 15.0;

// Rounds to the nearest integer, halves to the even neighbour. Values beyond the 32-bit range
// saturate and NaN gives 0, so no input can reach an undefined conversion.
std::int32_t CLng(double value);

// CLng for a mouse coordinate: also never yields NoPoint, so a pointer far off to the left or top
// still counts as a real point rather than "no point".
std::int32_t CLngPoint(double value);

// Euclidean distance of two points in twips. The differences are taken in 64 bits, so any pair
// of 32-bit points is safe.
double PointDistance(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

// A picture's own size in HIMETRIC units (0.01 mm) from its size in pixels at 96 dpi.
std::int32_t himetricFromPixels(std::int64_t pixels);

} // namespace measure
