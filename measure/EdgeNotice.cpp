#include "EdgeNotice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace measure {
namespace {

constexpr int MostDecimals = 3;
// Rounding up forgives what a binary fraction adds beyond its decimal value.
constexpr double Forgiven = 1e-9;

std::string withSeparator(double value, int decimals, std::string_view decimalSeparator)
{
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    std::string written(text.data());
    if (const auto point = written.find('.'); point != std::string::npos) {
        written.replace(point, 1, decimalSeparator);
    }
    return written;
}

} // namespace

std::string groupedText(double value, std::string_view groupSeparator)
{
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%.0f", std::fabs(value));
    const std::string digits(text.data());
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += groupSeparator;
        }
        grouped += digits[i];
    }
    return value < 0.0 && std::lround(value) != 0 ? "-" + grouped : grouped;
}

std::string boundText(double degrees, std::string_view decimalSeparator)
{
    if (!(degrees > 0.0) || !std::isfinite(degrees)) {
        return withSeparator(0.0, 0, decimalSeparator);
    }
    const int decimals =
        std::clamp(1 - static_cast<int>(std::floor(std::log10(degrees))), 0, MostDecimals);
    const double scale = std::pow(10.0, decimals);
    const double up = std::ceil(degrees * scale - Forgiven) / scale;
    std::string text = withSeparator(up, decimals, ".");
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    if (const auto point = text.find('.'); point != std::string::npos) {
        text.replace(point, 1, decimalSeparator);
    }
    return text;
}

std::string foundEdgeNotice(std::size_t index, std::size_t count, const EdgeFit* fit,
                            std::string_view decimalSeparator, std::string_view groupSeparator)
{
    if (fit == nullptr || count == 0) {
        return "No straight edge found";
    }
    std::string text = "Edge " + std::to_string(index + 1) + " of " + std::to_string(count) + ", " +
                       groupedText(fit->length, groupSeparator) + " px long";
    if (fit->shape == EdgeShape::Bent) {
        text += ", bends by " + withSeparator(fit->bend, 1, decimalSeparator) + " px";
    }
    return text + ": \u00B1" + boundText(fit->plusMinusDegrees, decimalSeparator) + "\u00B0";
}

std::string edgeFitNotice(const EdgeFitAnswer& answer, std::string_view decimalSeparator,
                          std::string_view groupSeparator)
{
    if (!answer.fit) {
        switch (answer.missing) {
        case MissingEdge::NearLeftEnd:
            return "No edge near the left end of the line";
        case MissingEdge::NearRightEnd:
            return "No edge near the right end of the line";
        case MissingEdge::NearTopEnd:
            return "No edge near the top end of the line";
        case MissingEdge::NearBottomEnd:
            return "No edge near the bottom end of the line";
        case MissingEdge::AlongLine:
            break;
        }
        return "No edge along the line";
    }
    const EdgeFit& fit = *answer.fit;
    const std::string bound =
        "\u00B1" + boundText(fit.plusMinusDegrees, decimalSeparator) + "\u00B0";
    if (fit.shape == EdgeShape::Bent) {
        return "The edge bends by " + withSeparator(fit.bend, 1, decimalSeparator) +
               " px: the line joins its points under the ends: " + bound;
    }
    return "Fitted to a straight edge " + groupedText(fit.length, groupSeparator) +
           " px long: " + bound;
}

} // namespace measure
