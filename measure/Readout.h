// The tilt readout: which axis the line is nearest to and by how much it departs from it, in the
// picture's own pixel geometry, and the window titles built from it.
#pragma once

#include "Line.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace measure {

inline constexpr std::string_view Credit = "Torvanix by Dalvester";

// The picture's own size (HIMETRIC, whole units) and the size it is shown at (twips). The two
// differ in proportion when the window stretches the picture unevenly.
struct PictureGeometry {
    std::int32_t PictureWidth = 0;
    std::int32_t PictureHeight = 0;
    double ShownWidth = 0.0;
    double ShownHeight = 0.0;
};

enum class Axis { Horizontal, Vertical };

struct Tilt {
    Axis axis = Axis::Horizontal;
    // Degrees; positive when the feature is turned anticlockwise on screen.
    double degrees = 0.0;
};

// The tilt of the line over the picture, or nothing when there is no reading: a line of zero
// length, or a picture (or view) without size, where the extents would be 0/0 or infinite.
std::optional<Tilt> measureTilt(const LineControl& line, const PictureGeometry& geometry);

// "Horizontal", "Vertical-0.50°", "Horizontal+0.00°" ... with the given decimal separator.
std::string readoutText(const Tilt& tilt, std::string_view decimalSeparator);

// "Torvanix by Dalvester" + label.
std::string baseTitle(std::string_view label);

// readout + " - Torvanix by Dalvester" + label.
std::string readoutTitle(std::string_view readout, std::string_view label);

// The title for the line as it now stands: the readout form, or the base form when there is no
// reading.
std::string titleFor(const LineControl& line, const PictureGeometry& geometry,
                     std::string_view label, std::string_view decimalSeparator);

} // namespace measure
