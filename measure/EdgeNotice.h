// What the window says after Enter: what was fitted and how sure the reading is, or what is
// missing; numbers with the user's separators, like the title.
#pragma once

#include "EdgeFit.h"

#include <string>
#include <string_view>

namespace measure {

// "Fitted to a straight edge 1,040 px long: ±0.004°", "The edge bends by 2.3 px: the line joins
// its points under the ends: ±0.02°", "No edge near the left end of the line", "No edge along
// the line".
std::string edgeFitNotice(const EdgeFitAnswer& answer, std::string_view decimalSeparator,
                          std::string_view groupSeparator);

// After F: "Edge 1 of 6, 1,840 px long: ±0.004°" (index counts from 0), or, for a bent edge,
// "Edge 2 of 6, 900 px long, bends by 2.3 px: ±0.02°"; with no edge, "No straight edge found".
std::string foundEdgeNotice(std::size_t index, std::size_t count, const EdgeFit* fit,
                            std::string_view decimalSeparator, std::string_view groupSeparator);

// A bound as shown: rounded up (a bound shown smaller than found would not be one) to two
// significant digits, at most three decimals, without trailing zeros: "0.004", "0.022", "1.3".
std::string boundText(double degrees, std::string_view decimalSeparator);

// A whole number with its thousands grouped: "1,840".
std::string groupedText(double value, std::string_view groupSeparator);

} // namespace measure
