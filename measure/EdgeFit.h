// Fitting the measuring line to the straight edge it lies along: edge points found with
// sub-pixel precision across many cross-sections of a band around the line, and a straight line
// fitted to them robustly. Plain C++ on pixels the caller hands in, one row at a time.
#pragma once

#include <cstdint>
#include <optional>

namespace measure {

// A picture's grey levels, one row segment at a time, read only where the fit asks.
class PixelRows {
public:
    PixelRows() = default;
    PixelRows(const PixelRows&) = default;
    PixelRows& operator=(const PixelRows&) = default;
    PixelRows(PixelRows&&) = default;
    PixelRows& operator=(PixelRows&&) = default;
    virtual ~PixelRows() = default;

    [[nodiscard]] virtual std::int64_t width() const = 0;
    [[nodiscard]] virtual std::int64_t height() const = 0;
    // Writes the grey levels (0 to 255) of row y, columns x0 to x1 - 1, to out. The caller keeps
    // 0 <= y < height() and 0 <= x0 <= x1 <= width().
    virtual void readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const = 0;
};

// A place on the picture in its own pixels: x from the left edge, y from the top edge; pixel
// (i, j) covers [i, i + 1) x [j, j + 1), so its centre is (i + 0.5, j + 0.5).
struct PicturePoint {
    double x = 0.0;
    double y = 0.0;
};

struct PictureSegment {
    PicturePoint a;
    PicturePoint b;
};

// The straight edge (a brightness step) or thin dark or light line that the rough segment lies
// along, looked for in a band halfWidth picture pixels to either side of it, between its ends.
// Returns the segment with each end moved straight across onto the fitted line, keeping its
// place along it; nothing when there is no such edge (too weak, curved, broken up, or turned
// more than 3 degrees from the rough line). Never reads outside the band or the picture; the
// ends returned lie inside the picture ([0, width] x [0, height]) and within halfWidth of the
// rough line, and an end beyond the picture slides along the fitted line to its edge. The band
// runs across the line along the picture's axis nearer to across (columns for a line nearer
// horizontal, rows otherwise), and halfWidth is capped at 128 picture pixels.
std::optional<PictureSegment> fitEdge(const PixelRows& pixels, const PictureSegment& rough,
                                      double halfWidth);

} // namespace measure
