// The measurement a window shows, in one place: where the line's ends lie on the picture, the
// line as placed on screen, the picture's own size, the label naming its source, and the title
// they give. The window feeds it events and sizes and shows what it answers; nothing of it is
// kept anywhere else.
#pragma once

#include "EdgeFit.h"
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

    // Whether the line shows and answers the keys: after a press on a labelled picture, until
    // Escape.
    [[nodiscard]] bool shows() const { return responds() && m_line.Visible; }
    // The end the keys move: the one the last press or drag moved (endpoint 2 for a new line).
    [[nodiscard]] End activeEnd() const { return m_active; }
    // Makes the other end the active one.
    void switchActiveEnd();
    // Moves the active end by stepsX pixels of the picture's own width and stepsY of its height,
    // never out of the picture (an end a drag left outside only moves back toward it). The
    // caller then places the line as after any change.
    void nudge(int stepsX, int stepsY);

    // Puts the ends at these places of the picture (its own pixels), as if drawn there: the
    // line shows from then on, its second end active. The caller then places the line as after
    // any change.
    void setEnds(const PictureSegment& ends);
    // The ends in the picture's own pixels: fraction x picture size.
    [[nodiscard]] PictureSegment ends() const;
    // The end the keys move, in the picture's own pixels.
    [[nodiscard]] PicturePoint activeEndPoint() const;
    // Moves both ends straight across onto the edge the line lies along, looked for first within
    // reach picture pixels to either side, and tells what was fitted (in the picture's own
    // pixels) or what is missing; nothing moves when there is no edge. The caller then places
    // the line as after any change.
    EdgeFitAnswer fitToEdge(const PixelRows& pixels, double reach);

    // RelX1, RelY1, RelX2, RelY2.
    [[nodiscard]] const LineFractions& fractions() const { return m_rel; }
    // The line to draw, twips.
    [[nodiscard]] const LineControl& line() const { return m_line; }
    [[nodiscard]] const std::string& label() const { return m_label; }
    [[nodiscard]] std::int64_t pictureWidth() const { return m_pictureWidth; }
    [[nodiscard]] std::int64_t pictureHeight() const { return m_pictureHeight; }
    // The window title, UTF-8.
    [[nodiscard]] const std::string& title() const { return m_title; }
    // The part of the title before " - Torvanix by Dalvester" ("Horizontal+1.23°"); empty when
    // the title holds no reading.
    [[nodiscard]] const std::string& readout() const { return m_readout; }

private:
    LineFractions m_rel;
    LineControl m_line;
    std::int64_t m_pictureWidth = 0;
    std::int64_t m_pictureHeight = 0;
    std::string m_label;
    std::string m_title;
    std::string m_readout;
    End m_active = End::Two;
};

} // namespace measure
