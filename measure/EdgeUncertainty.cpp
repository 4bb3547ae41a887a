#include "EdgeUncertainty.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace measure::edgefit {
namespace {

// Stretches the edge is cut into: enough for the spread to be worth something, few enough for
// each to be long beside the length over which an edge's scatter hangs together.
constexpr std::size_t FewestStretches = 4;
constexpr std::size_t MostStretches = 12;
constexpr std::size_t LeastPerStretch = 6;
// Student's t, 97.5th percentile, for 3 to 11 degrees of freedom.
constexpr std::array<double, 9> StudentT = {3.182, 2.776, 2.571, 2.447, 2.365,
                                            2.306, 2.262, 2.228, 2.201};

} // namespace

std::optional<Spread>
jackknife(const std::vector<Point>& points, const std::vector<double>& weight,
          const std::function<std::optional<double>(const std::vector<bool>&)>& estimate)
{
    std::vector<std::size_t> counted;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (weight[i] > 0.0) {
            counted.push_back(i);
        }
    }
    const std::size_t stretches = std::min(MostStretches, counted.size() / LeastPerStretch);
    if (stretches < FewestStretches) {
        return std::nullopt;
    }
    std::vector<double> estimates;
    std::vector<bool> keep(points.size(), true);
    for (std::size_t k = 0; k < stretches; ++k) {
        const std::size_t from = k * counted.size() / stretches;
        const std::size_t to = (k + 1) * counted.size() / stretches;
        for (std::size_t j = from; j < to; ++j) {
            keep[counted[j]] = false;
        }
        if (const auto value = estimate(keep); value && std::isfinite(*value)) {
            estimates.push_back(*value);
        }
        for (std::size_t j = from; j < to; ++j) {
            keep[counted[j]] = true;
        }
    }
    const std::size_t n = estimates.size();
    if (n < FewestStretches) {
        return std::nullopt;
    }
    double mean = 0.0;
    for (const double e : estimates) {
        mean += e;
    }
    mean /= static_cast<double>(n);
    double sum = 0.0;
    for (const double e : estimates) {
        sum += (e - mean) * (e - mean);
    }
    Spread spread;
    spread.deviation = std::sqrt(static_cast<double>(n - 1) / static_cast<double>(n) * sum);
    spread.bound95 = StudentT[std::min(n - 1, StudentT.size() + 2) - 3] * spread.deviation;
    return spread;
}

} // namespace measure::edgefit
