// The window's shared state: the application folder, and the smallest client area.
#pragma once

#include <QString>

struct modTorvanix {
    // The program's folder, always ending in "/": the converter link and the read-me live there.
    QString AppFolder;
};

// The smallest client area, twips: the instruction card's 600 x 400 pixels.
inline constexpr float MinClientWidth = 9000.0F;
inline constexpr float MinClientHeight = 6000.0F;
