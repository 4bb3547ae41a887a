#include "Readout.h"

#include <array>
#include <charconv>
#include <cmath>

namespace measure {
namespace {

// The readout divides by this decimal constant rather than by full-precision pi; it differs in
// the last bits, and the figures users compare against were made with it.
constexpr double Pi = 3.14159265358979;

// "0.00": at least one integer digit, exactly two decimals, a leading minus for negatives.
// to_chars rounds the double's exact value to nearest, so 0.004 prints 0.00 and -0.004 -0.00.
std::string formatTwoDecimals(double value, std::string_view decimalSeparator)
{
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, 2);
    if (error != std::errc{}) {
        return {};
    }
    std::string text(buffer.data(), end);
    if (const auto dot = text.find('.'); dot != std::string::npos) {
        text.replace(dot, 1, decimalSeparator);
    }
    return text;
}

} // namespace

std::optional<Tilt> measureTilt(const LineControl& line, const PictureGeometry& geometry)
{
    if (line.X1 == line.X2 && line.Y1 == line.Y2) {
        return std::nullopt;
    }
    // Into picture units, multiplying before dividing, so that an unevenly stretched view still
    // reads the picture's true angle.
    const double dx = (static_cast<double>(line.X2) - static_cast<double>(line.X1)) *
                      geometry.PictureWidth / geometry.ShownWidth;
    const double dy = (static_cast<double>(line.Y2) - static_cast<double>(line.Y1)) *
                      geometry.PictureHeight / geometry.ShownHeight;
    if (!std::isfinite(dx) || !std::isfinite(dy) || (dx == 0.0 && dy == 0.0)) {
        return std::nullopt;
    }
    // The smaller extent over the larger, so the magnitude stays within 45 degrees. Screen Y
    // grows downwards: a line rising to the right has dy < 0 and reads positive.
    if (std::fabs(dy) > std::fabs(dx)) {
        return Tilt{Axis::Vertical, std::atan(dx / dy) * 180.0 / Pi};
    }
    return Tilt{Axis::Horizontal, std::atan(dy / dx) * -180.0 / Pi};
}

std::string readoutText(const Tilt& tilt, std::string_view decimalSeparator)
{
    std::string text = tilt.axis == Axis::Vertical ? "Vertical" : "Horizontal";
    if (tilt.degrees > 0.0) {
        text += '+';
    }
    // A line exactly along its axis reads the bare word.
    if (tilt.degrees != 0.0) {
        text += formatTwoDecimals(tilt.degrees, decimalSeparator);
        text += "\u00B0";
    }
    return text;
}

std::string baseTitle(std::string_view label)
{
    std::string title(Credit);
    title += label;
    return title;
}

std::string readoutTitle(std::string_view readout, std::string_view label)
{
    std::string title(readout);
    title += " - ";
    title += Credit;
    title += label;
    return title;
}

std::string titleFor(const LineControl& line, const PictureGeometry& geometry,
                     std::string_view label, std::string_view decimalSeparator)
{
    const auto tilt = measureTilt(line, geometry);
    if (!tilt) {
        return baseTitle(label);
    }
    return readoutTitle(readoutText(*tilt, decimalSeparator), label);
}

} // namespace measure
