#include "Numbers.h"

#include <cmath>
#include <limits>

namespace measure {

std::int32_t CLng(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    // nearbyint under the default rounding mode rounds halves to even.
    const double rounded = std::nearbyint(value);
    if (rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(rounded);
}

std::int32_t CLngPoint(double value)
{
    const std::int32_t whole = CLng(value);
    return whole == NoPoint ? NoPoint + 1 : whole;
}

double PointDistance(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2)
{
    const auto dx = static_cast<double>(static_cast<std::int64_t>(x2) - x1);
    const auto dy = static_cast<double>(static_cast<std::int64_t>(y2) - y1);
    return std::sqrt(dx * dx + dy * dy);
}

std::int32_t himetricFromPixels(std::int64_t pixels)
{
    constexpr double himetricPerInch = 2540.0;
    constexpr double pixelsPerInch = 96.0;
    return CLng(static_cast<double>(pixels) * himetricPerInch / pixelsPerInch);
}

} // namespace measure
