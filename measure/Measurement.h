// The measurement a window shows, in one place: where the line's ends lie on the picture, the
// line as placed on screen, the picture's own size, the label naming its source, and the title
// they give. The window feeds it events and sizes and shows what it answers; nothing of it is
// kept anywhere else.
#pragma once

#include "Line.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace measure {

class Measurement {
public:
    Measurement();

    // A new picture, its own size in pixels, under its label (" [source]"). The line keeps its
    // fractions, so it stays on the same place of the new picture.
    void setPicture(std::int64_t pixelWidth, std::int64_t pixelHeight, std::string label);
    // Until a paste or a drop has given the picture a label, the line does not respond.
    [[nodiscard]] bool responds() const { return !m_label.empty(); }

    // Moves the endpoint nearer to the point (X, Y), in twips of a client area clientWidth x
    // clientHeight, onto it; the line shows from then on.
    void moveNearestEndpoint(std::int32_t X, std::int32_t Y, float clientWidth, float clientHeight);
    // Places the line from the fractions over the client area and writes the title for it. The
    // readout measures against the size the picture is shown at (twips), so an unevenly
    // stretched picture still reads in its own geometry.
    void place(float clientWidth, float clientHeight, double shownWidth, double shownHeight,
               std::string_view decimalSeparator);
    // Hides the line, puts both ends back in the centre and shows the base title; the line's
    // coordinates follow the fractions at the next place().
    void reset();

    // RelX1, RelY1, RelX2, RelY2.
    [[nodiscard]] const LineFractions& fractions() const { return m_rel; }
    // The line to draw, twips.
    [[nodiscard]] const LineControl& line() const { return m_line; }
    [[nodiscard]] const std::string& label() const { return m_label; }
    [[nodiscard]] std::int64_t pictureWidth() const { return m_pictureWidth; }
    [[nodiscard]] std::int64_t pictureHeight() const { return m_pictureHeight; }
    // The window title, UTF-8.
    [[nodiscard]] const std::string& title() const { return m_title; }

private:
    LineFractions m_rel;
    LineControl m_line;
    std::int64_t m_pictureWidth = 0;
    std::int64_t m_pictureHeight = 0;
    std::string m_label;
    std::string m_title;
};

} // namespace measure
