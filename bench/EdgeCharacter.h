// What an edge in a photograph is like, measured plainly and apart from the fit: how strong it
// is in grey and in colour, how wide its step is, how far it bows and how ragged it is. Gives
// the benchmark's figures their context; nothing here is the fit's own arithmetic.
#pragma once

#include "EdgeFit.h"

#include <QImage>

namespace realphotos {

// Cross-sections looked at along an edge.
inline constexpr int DescribedSections = 60;

struct EdgeCharacter {
    // A thin dark or light line rather than a step between two sides.
    bool thinLine = false;
    // Median over the cross-sections: the grey levels' difference between the two sides of the
    // change (a thin line's depth below or above them), and the colours' (RGB distance).
    double greyStep = 0.0;
    double colourStep = 0.0;
    // Median width of the change from 10 % to 90 % of the way across it, pixels.
    double width = 0.0;
    // How far the edge's middle lies off the chord between its ends (a parabola through the
    // edge's points), and the points' median distance from that parabola: the raggedness.
    double bow = 0.0;
    double scatter = 0.0;
    // Cross-sections in which an edge point was found, of those looked at.
    int found = 0;
    int sections = 0;
};

// Cross-sections along the rough line, along the picture axis nearer to across it, reach
// picture pixels to either side: in each, the strongest change of colour within band pixels
// of the line, followed out to where it fades.
EdgeCharacter describeEdge(const QImage& picture, const measure::PictureSegment& rough, double band,
                           double reach);

} // namespace realphotos
