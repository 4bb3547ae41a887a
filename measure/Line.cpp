#include "Line.h"

#include "Numbers.h"

#include <cmath>

namespace measure {

std::optional<End> moveNearestEndpoint(LineFractions& line, std::int32_t X, std::int32_t Y,
                                       float clientWidth, float clientHeight)
{
    const double W = clientWidth;
    const double H = clientHeight;
    if (!(W > 0.0) || !(H > 0.0) || !std::isfinite(W) || !std::isfinite(H)) {
        return std::nullopt;
    }
    // The endpoints are compared in whole twips, as the line control would report them.
    const std::int32_t p2x = CLng(W * line.RelX2);
    const std::int32_t p2y = CLng(H * line.RelY2);
    const std::int32_t p1x = CLng(W * line.RelX1);
    const std::int32_t p1y = CLng(H * line.RelY1);
    const double d2 = PointDistance(X, Y, p2x, p2y);
    const double d1 = PointDistance(X, Y, p1x, p1y);
    if (d1 >= d2) {
        line.RelX2 = X / W;
        line.RelY2 = Y / H;
        return End::Two;
    }
    line.RelX1 = X / W;
    line.RelY1 = Y / H;
    return End::One;
}

void placeLine(LineControl& control, const LineFractions& line, float clientWidth,
               float clientHeight)
{
    // Each product is narrowed to a 32-bit float, as the control stores it; the readout works
    // from these narrowed values.
    control.X1 = static_cast<float>(static_cast<double>(clientWidth) * line.RelX1);
    control.Y1 = static_cast<float>(static_cast<double>(clientHeight) * line.RelY1);
    control.X2 = static_cast<float>(static_cast<double>(clientWidth) * line.RelX2);
    control.Y2 = static_cast<float>(static_cast<double>(clientHeight) * line.RelY2);
}

} // namespace measure
