// How sure a reading is, from the edge's points themselves: how much what they say changes as
// each stretch of the edge in turn is left out (a block jackknife). Stretches rather than single
// points, so that scatter which hangs together along the edge (the plank ends of a pier, a
// wavy horizon) counts as the few independent pieces of evidence it is.
#pragma once

#include "EdgeFrame.h"

#include <functional>
#include <optional>
#include <vector>

namespace measure::edgefit {

struct Spread {
    // Standard deviation of the estimate, and the 95 % bound for it (Student's t with one
    // fewer degrees of freedom than stretches).
    double deviation = 0.0;
    double bound95 = 0.0;
};

// estimate(keep) tells what the points whose keep flag is set say (a slope, a bow ...); only the
// points with weight count, split in order of u into stretches of equal count. Nothing when there
// are too few points for the stretches.
std::optional<Spread>
jackknife(const std::vector<Point>& points, const std::vector<double>& weight,
          const std::function<std::optional<double>(const std::vector<bool>&)>& estimate);

} // namespace measure::edgefit
