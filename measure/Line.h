// The measuring line: its endpoints kept as fractions of the client area, and the on-screen
// coordinates derived from them.
#pragma once

#include <cstdint>
#include <optional>

namespace measure {

enum class End { One, Two };

// The endpoints as fractions of the client width (X) and height (Y). Because the picture always
// fills the client area these are positions in the picture, so the line stays on the same
// features when the window is resized. They are not clamped: a drag that ends outside the
// picture stores values below 0 or above 1.
struct LineFractions {
    double RelX1 = 0.5;
    double RelY1 = 0.5;
    double RelX2 = 0.5;
    double RelY2 = 0.5;
};

// What the line control holds: its endpoints in twips, as 32-bit floats, and whether it shows.
// The coordinates are only ever written from the fractions.
struct LineControl {
    float X1 = 0.0F;
    float Y1 = 0.0F;
    float X2 = 9000.0F;
    float Y2 = 6000.0F;
    bool Visible = false;

    friend bool operator==(const LineControl&, const LineControl&) = default;
};

// Moves whichever endpoint is nearer to the point (X, Y) in twips onto it; on a tie endpoint 2
// moves, so the first click after a reset draws from the centre. Returns the end moved, or
// nothing, moving nothing, when the client area has no size to relate the point to.
std::optional<End> moveNearestEndpoint(LineFractions& line, std::int32_t X, std::int32_t Y,
                                       float clientWidth, float clientHeight);

// Places the line control from the fractions for a client area of clientWidth x clientHeight twips.
void placeLine(LineControl& control, const LineFractions& line, float clientWidth,
               float clientHeight);

} // namespace measure
