// Grey pictures handed in as plain buffers, and a smaller copy of one made by averaging blocks
// of pixels: what the line-segment detector looks at, made from the window's display copy.
#pragma once

#include <cstdint>
#include <vector>

namespace measure {

// A grey picture the caller owns: levels 0 to 255 (any other value, NaN and infinities included,
// is read as the nearest of 0 and 255, NaN as 0), row y starting at pixels + y * stride.
// Pixel (i, j) covers [i, i + 1) x [j, j + 1) of the picture's plane. A view with no pixels, a
// negative size or a stride shorter than a row holds no picture.
struct GreyView {
    const float* pixels = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t stride = 0; // in pixels, not bytes
};

// The same for 8-bit grey rows, as an image library holds them; stride in bytes.
struct GreyBytesView {
    const std::uint8_t* pixels = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t stride = 0;
};

// A grey picture of the detector's own, rows packed.
struct GreyPicture {
    std::vector<float> pixels;
    std::int64_t width = 0;
    std::int64_t height = 0;

    [[nodiscard]] GreyView view() const { return {pixels.data(), width, height, width}; }
};

// Whether the view can be read as it says: pixels given, sizes not negative, rows no shorter
// than the stride allows, and the whole picture addressable.
[[nodiscard]] bool holdsPicture(const GreyView& view);
[[nodiscard]] bool holdsPicture(const GreyBytesView& view);

// The smallest whole factor that brings the longer side to at most longestSide pixels (1 when
// it already is, or when longestSide is not positive).
[[nodiscard]] std::int64_t reductionFactor(std::int64_t width, std::int64_t height,
                                           std::int64_t longestSide);

// Each factor x factor block of pixels averaged into one: pixel (i, j) of the copy covers
// pixels [i f, (i + 1) f) x [j f, (j + 1) f) of the view, so a point (x, y) of the copy lies at
// (f x, f y) in the view. Columns and rows past the last whole block (fewer than f) are left
// out. Averaging blocks, rather than picking pixels, keeps a straight edge straight and its
// contrast whole, and takes most of the noise away. A factor below 1 is taken as 1; a view that
// holds no picture gives an empty one.
[[nodiscard]] GreyPicture reduceBy(const GreyView& view, std::int64_t factor);
[[nodiscard]] GreyPicture reduceBy(const GreyBytesView& view, std::int64_t factor);

// The level a pixel is read as: levels outside 0 to 255 clamped, NaN as 0.
[[nodiscard]] inline float calmLevel(float level)
{
    if (!(level >= 0.0F)) {
        return 0.0F; // NaN, negative, minus infinity
    }
    return level <= 255.0F ? level : 255.0F;
}

} // namespace measure
