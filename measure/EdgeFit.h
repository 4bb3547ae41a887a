// Fitting the measuring line to the straight edge it lies along: edge points found with
// sub-pixel precision across many cross-sections of a band around the line, a line (or, for a
// gently bent edge, the chord between its points under the ends) fitted to them robustly, and
// how sure that reading is. Plain C++ on pixels the caller hands in, one row at a time.
#pragma once

#include <cstdint>
#include <optional>

namespace measure {

// A picture's levels, one row segment at a time, read only where the fit asks.
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
    // 1 for grey levels, 3 for red, green and blue.
    [[nodiscard]] virtual int channels() const { return 1; }
    // Writes the levels (0 to 255) of row y, columns x0 to x1 - 1, to out: channels() values per
    // pixel, in order. The caller keeps 0 <= y < height() and 0 <= x0 <= x1 <= width().
    virtual void readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const = 0;
    // Writes the levels of pixels x0, x0 + step, ... (count of them, count >= 1, step >= 1) of
    // row y, as readRow does: a long edge sampled every few columns reads each row once, and a
    // reader may skip decoding what lies between.
    virtual void readPixels(std::int64_t y, std::int64_t x0, std::int64_t count, std::int64_t step,
                            float* out) const;
    // True where several threads may read at once (each into its own out): a large band's rows
    // are then read on a few threads.
    [[nodiscard]] virtual bool readsConcurrently() const { return false; }
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

// What the fit made of the edge: straight within its own scatter, so the line goes through all
// its points; or bent, so each end goes onto the edge where it lies under that end.
enum class EdgeShape { Straight, Bent };

struct EdgeFit {
    // The measuring line's new ends.
    PictureSegment ends;
    EdgeShape shape = EdgeShape::Straight;
    // How long the stretch of edge the points cover is, and how far it bows from its chord
    // between them, in picture pixels.
    double length = 0.0;
    double bend = 0.0;
    // A 95 % bound on the error of the angle between the new ends, in degrees: from the
    // points' scatter and how it hangs together along the edge, and never below the title's own
    // rounding.
    double plusMinusDegrees = 0.0;
};

// Why there is no fit: no edge near one end of the line (the edge leaves the band there, or is
// hidden), or none along it at all.
enum class MissingEdge { NearLeftEnd, NearRightEnd, NearTopEnd, NearBottomEnd, AlongLine };

struct EdgeFitAnswer {
    std::optional<EdgeFit> fit;
    MissingEdge missing = MissingEdge::AlongLine; // when there is no fit
};

// The straight edge (a step in brightness or colour, possibly soft, ragged, gently bent or
// partly hidden) or thin dark or light line that the rough segment lies along, looked for first
// within reach picture pixels to either side of it, between its ends; the band then grows
// around what it finds, never past 128 picture pixels either side. Each end of the answer is
// the rough end moved straight across onto the edge, keeping its place along the line; nothing
// when there is no such edge (too weak, curved, broken up, or turned more than 3 degrees from
// the rough line and out of its first band). Never reads outside the band or the picture, each
// pixel at most once; the ends returned lie inside the picture ([0, width] x [0, height]) and
// within reach of the rough line (see below), and an end beyond the picture slides along the line
// to its edge. The sections run across the line along the picture's axis nearer to across it. A
// hand places its rough line by eye, so on a soft edge an end may also move by up to two of the
// step's spreads, anywhere on its ramp; a detector has placed its candidate on the feature's middle
// already, and its ends move no farther than reach.
enum class RoughLine { ByHand, Detected };
EdgeFitAnswer fitEdge(const PixelRows& pixels, const PictureSegment& rough, double reach,
                      RoughLine from = RoughLine::ByHand);

} // namespace measure
