// The picture's straight edges made exact: each candidate the line-segment detector finds on
// the reduced copy is fitted at full resolution by the same fit as Enter, with its bound; those
// the fit refuses are dropped, two that come to the same edge count once, and the rest are
// ranked again by what the fit found. Plain C++: the window runs it off its own thread.
#pragma once

#include "EdgeFit.h"
#include "LineSegments.h"

#include <functional>
#include <vector>

namespace measure {

struct FoundEdge {
    // In the picture's own pixels, as Enter would have left the line.
    EdgeFit fit;
    double score = 0.0;
};

// view: the detector's copy; its pixel (i, j) covers [i sx, (i + 1) sx) x [j sy, (j + 1) sy) of
// pixels, where sx and sy are pixels' size over view's. pixels may be a copy of the picture
// sampled down; the edges come back in the picture's own pixels (pictureWidth x
// pictureHeight). reach: the least that each fit looks to either side of its candidate, in
// picture pixels. Fits nothing more once cancelled() says so. forEach(n, job) runs job(0) to
// job(n - 1), in any order and on any threads (the pixels must then be safe to read from them):
// one after the other where it is not given.
using ForEach = std::function<void(std::size_t, const std::function<void(std::size_t)>&)>;
std::vector<FoundEdge> strongestEdges(const GreyView& view, const PixelRows& pixels,
                                      std::int64_t pictureWidth, std::int64_t pictureHeight,
                                      double reach, const std::function<bool()>& cancelled = {},
                                      const ForEach& forEach = {});

} // namespace measure
