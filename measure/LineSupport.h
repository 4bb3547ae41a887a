// The line-segment detector's core, after von Gioi, Jakubowicz, Morel and Randall (2012): points
// whose level lines agree within 22.5 degrees are grown into line-support regions, strongest
// seeds first; each region is approximated by a rectangle, and the rectangle kept only when its
// count of aligned points could hardly happen by chance in a picture of pure noise (its number
// of false alarms, NFA, at most 1 against a picture of the same size).
#pragma once

#include "LevelLines.h"

#include <cstddef>
#include <vector>

namespace measure {

// A validated rectangle: its centre line from (x1, y1) to (x2, y2) in the picture's plane, in
// the level lines' direction (so the lighter side lies towards (dy, -dx)), its width, and how
// unlikely it is by chance: significance = -log10(NFA), 0 or more.
struct SupportSegment {
    double x1 = 0.0;
    double y1 = 0.0;
    double x2 = 0.0;
    double y2 = 0.0;
    double width = 0.0;
    double significance = 0.0;
};

// Every validated segment of the field, up to maxSegments (the strongest seeds are tried first,
// so a cut keeps the surest). Time and memory grow with the field's points only: each point
// joins at most two regions, and a rectangle is scored only once it is dense.
[[nodiscard]] std::vector<SupportSegment> lineSupportSegments(const LevelLineField& field,
                                                              std::size_t maxSegments);

// log10 of the chance that at least k of n points align, each with probability p: the tail of
// the binomial distribution. 0 for k <= 0; minus infinity for k > n.
[[nodiscard]] double log10BinomialTail(std::int64_t n, std::int64_t k, double p);

} // namespace measure
