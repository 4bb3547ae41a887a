// The straight edges of a whole picture, strongest first: where the measuring line goes when
// the user asks the program to find it. Found on a small grey copy of the picture (a million or
// two pixels, and one 4 times smaller for soft edges) by a line-segment detector (von Gioi,
// Jakubowicz, Morel and Randall, 2012: level lines grown into regions, each validated a contrario),
// then pieces of one edge joined, twins dropped, and what is left ranked by edgeScore(). Each
// candidate is a rough line for fitEdge() at full resolution, which then makes it exact. Plain C++
// on a buffer the caller hands in.
#pragma once

#include "EdgeFit.h"
#include "Reduce.h"

#include <cstddef>
#include <vector>

namespace measure {

struct FindOptions {
    // Picture pixels per pixel of the view, along x and along y: the view is a reduced copy,
    // perhaps stretched unevenly (the window's display copy is). Lengths and angles are ranked
    // in the picture's own pixels, as the title reads them. Scales outside 1e-6 to 1e6 (or not
    // numbers) find nothing.
    double scaleX = 1.0;
    double scaleY = 1.0;
    // Candidates returned at most, best first.
    std::size_t maxCandidates = 16;
    // The shortest candidate, as a share of the picture's longer side: shorter ones are details
    // a person would not measure a whole picture by, and too short for a sure reading.
    double minLengthShare = 0.05;
};

struct EdgeCandidate {
    // In the view's pixel coordinates (pixel (i, j) covers [i, i + 1) x [j, j + 1)); from a to
    // b the lighter side lies on the left as the picture shows on screen; both ends lie in
    // [0, width] x [0, height]. Times scaleX and scaleY, it lies on the picture's own pixels.
    PictureSegment segment;
    double length = 0.0;               // in picture pixels
    double angleFromAxisDegrees = 0.0; // 0 to 45, from the nearer of level and plumb, as shown
    double contrast = 0.0;             // grey levels from the darker side to the lighter one
    double width = 0.0;                // of the region that supports it, in view pixels
    double significance = 0.0;         // -log10 of its number of false alarms: 0 or more
    double score = 0.0;                // edgeScore() of the above
};

// How strongly a straight edge asks to be measured: its length (in picture pixels) times a
// weight for its contrast (half at 16 grey levels, 0.86 at 100) times a weight for
// how near it runs to level or plumb (whole near an axis, 0.97 at 20 degrees, 0.71 at 30, half
// at 35, 0.18 at 45: the reading is the tilt from the nearer axis, so a feature within about 30
// degrees of one is what a person means to straighten). 0 for anything not finite or negative.
// Exposed so a caller can rank again with what the full-resolution fit found.
[[nodiscard]] double edgeScore(double length, double contrast, double angleFromAxisDegrees);

// The angle of a segment of the view from the nearer axis, in the picture's own pixels: 0 to 45.
[[nodiscard]] double angleFromAxisDegrees(const PictureSegment& segment, double scaleX,
                                          double scaleY);

// The picture's straight edges, ranked by edgeScore(), at most options.maxCandidates; none on
// a flat picture or one of pure noise. Edges are looked for in the view and in a copy of it
// reduced 4 times more, where an edge out of focus or in haze is a step again; a coarse piece
// counts only where the view has none. The pieces of an edge broken by a gap along it (a post
// across the horizon) come back as one candidate; the two sides of a thin line, or an edge found
// twice side by side, as one. Any view is safe: one that holds no picture, or is under 2 x 2
// pixels, gives none; levels are read as calmLevel() reads them; a view of more than 4
// megapixels is first reduced by reduceBy() to at most that. Time grows with the view's pixels;
// memory beside the view is at most 19 bytes a pixel, and never more than for 4 megapixels.
[[nodiscard]] std::vector<EdgeCandidate> findStraightEdges(const GreyView& view,
                                                           const FindOptions& options = {});

} // namespace measure
