#include "EdgeFrame.h"

#include <algorithm>

namespace measure::edgefit {

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

std::int64_t toIndex(double value, std::int64_t low, std::int64_t high)
{
    if (!(value > static_cast<double>(low))) {
        return low;
    }
    if (!(value < static_cast<double>(high))) {
        return high;
    }
    return static_cast<std::int64_t>(value);
}

} // namespace measure::edgefit
