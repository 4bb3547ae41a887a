// The line's endpoint rule and the readout over arbitrary points, picture sizes and client
// sizes: never a crash or undefined behaviour, never "nan" or "inf" in a title, and an angle
// that always reads within -45.00 .. 45.00.
#include "FuzzInput.h"

#include "Line.h"
#include "Numbers.h"
#include "Readout.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The readout's number, from "Horizontal+12.34°..." or "Vertical-0.50°...", if it has one.
void checkTitle(const std::string& title, const std::string& label)
{
    require(title.find("nan") == std::string::npos && title.find("inf") == std::string::npos);
    require(title.size() >= label.size() &&
            title.compare(title.size() - label.size(), label.size(), label) == 0);
    const std::string credit(measure::Credit);
    if (title.rfind(credit, 0) == 0) {
        return; // the base title
    }
    const std::size_t word = title.rfind("Horizontal", 0) == 0 ? 10 : 8;
    require(title.rfind("Horizontal", 0) == 0 || title.rfind("Vertical", 0) == 0);
    const std::size_t degree = title.find("\u00B0");
    if (degree == std::string::npos) {
        require(title.compare(word, 3 + credit.size(), " - " + credit) == 0);
        return;
    }
    const double value = std::strtod(title.substr(word, degree - word).c_str(), nullptr);
    require(value >= -45.0 && value <= 45.0);
    require(title[degree - 3] == '.' && title[degree - 4] != '.');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const auto scaleWidth = input.take<float>();
    const auto scaleHeight = input.take<float>();
    const auto pixelWidth = input.take<std::int64_t>();
    const auto pixelHeight = input.take<std::int64_t>();
    const measure::PictureGeometry geometry{
        measure::himetricFromPixels(pixelWidth), measure::himetricFromPixels(pixelHeight),
        static_cast<double>(scaleWidth), static_cast<double>(scaleHeight)};
    const std::string label = " [fuzz]";

    measure::LineFractions line;
    measure::LineControl control;
    while (!input.empty()) {
        // A mouse position as the platform reports it, or "no point".
        const auto kind = input.take<std::uint8_t>();
        std::int32_t x = measure::NoPoint;
        std::int32_t y = measure::NoPoint;
        if ((kind & 1U) != 0) {
            x = measure::CLngPoint(static_cast<double>(input.take<float>()));
            y = measure::CLngPoint(static_cast<double>(input.take<float>()));
            require(x != measure::NoPoint && y != measure::NoPoint);
        }
        if (x != measure::NoPoint && y != measure::NoPoint) {
            measure::moveNearestEndpoint(line, x, y, scaleWidth, scaleHeight);
        }
        measure::placeLine(control, line, scaleWidth, scaleHeight);
        if (const auto tilt = measure::measureTilt(control, geometry)) {
            require(std::isfinite(tilt->degrees));
            // Equal extents may exceed 45 in the last bits; it prints as 45.00.
            require(std::fabs(tilt->degrees) <= 45.0 + 1e-9);
        }
        checkTitle(measure::titleFor(control, geometry, label, "."), label);
    }
    return 0;
}
