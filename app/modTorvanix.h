// The window's shared state: frame sizes, the application folder and the line's fractions.
#pragma once

#include "Line.h"

#include <QString>

#include <cstdint>

struct modTorvanix {
    // Outer window size minus client size, twips, taken at load.
    std::int32_t FrameExtraWidth = 0;
    std::int32_t FrameExtraHeight = 0;
    // The program's folder, always ending in "/": companions and working files live there.
    QString AppFolder;
    // RelX1, RelY1, RelX2, RelY2: the measuring line's endpoints as fractions of the client area.
    measure::LineFractions Rel;
};

// The smallest client area, twips: the instruction card's 600 x 400 pixels.
inline constexpr float MinClientWidth = 9000.0F;
inline constexpr float MinClientHeight = 6000.0F;
