#include "Reduce.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace measure {
namespace {

template <typename Pixel>
bool holds(const Pixel* pixels, std::int64_t width, std::int64_t height, std::int64_t stride)
{
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < width) {
        return false;
    }
    // The last pixel's offset, (height - 1) * stride + width - 1, must be addressable.
    constexpr auto most =
        static_cast<std::int64_t>(std::numeric_limits<std::ptrdiff_t>::max() / sizeof(Pixel));
    return height - 1 <= (most - width) / stride;
}

float levelOf(float level)
{
    return calmLevel(level);
}

float levelOf(std::uint8_t level)
{
    return static_cast<float>(level);
}

template <typename Pixel>
GreyPicture reduce(const Pixel* pixels, std::int64_t width, std::int64_t height,
                   std::int64_t stride, std::int64_t factor)
{
    GreyPicture reduced;
    if (!holds(pixels, width, height, stride)) {
        return reduced;
    }
    const std::int64_t f = std::max<std::int64_t>(factor, 1);
    reduced.width = width / f;
    reduced.height = height / f;
    if (reduced.width == 0 || reduced.height == 0) {
        reduced.width = 0;
        reduced.height = 0;
        return reduced;
    }
    reduced.pixels.assign(static_cast<std::size_t>(reduced.width * reduced.height), 0.0F);
    // Sums in double: a block of a large factor adds up millions of levels.
    std::vector<double> sums(static_cast<std::size_t>(reduced.width));
    const double share = 1.0 / (static_cast<double>(f) * static_cast<double>(f));
    for (std::int64_t j = 0; j < reduced.height; ++j) {
        std::fill(sums.begin(), sums.end(), 0.0);
        for (std::int64_t y = j * f; y < (j + 1) * f; ++y) {
            const Pixel* row = pixels + y * stride;
            for (std::int64_t i = 0; i < reduced.width; ++i) {
                double sum = 0.0;
                for (std::int64_t x = i * f; x < (i + 1) * f; ++x) {
                    sum += levelOf(row[x]);
                }
                sums[static_cast<std::size_t>(i)] += sum;
            }
        }
        float* out = reduced.pixels.data() + j * reduced.width;
        for (std::int64_t i = 0; i < reduced.width; ++i) {
            out[i] = static_cast<float>(sums[static_cast<std::size_t>(i)] * share);
        }
    }
    return reduced;
}

} // namespace

bool holdsPicture(const GreyView& view)
{
    return holds(view.pixels, view.width, view.height, view.stride);
}

bool holdsPicture(const GreyBytesView& view)
{
    return holds(view.pixels, view.width, view.height, view.stride);
}

std::int64_t reductionFactor(std::int64_t width, std::int64_t height, std::int64_t longestSide)
{
    const std::int64_t longer = std::max(width, height);
    if (longestSide <= 0 || longer <= longestSide) {
        return 1;
    }
    return (longer - 1) / longestSide + 1;
}

GreyPicture reduceBy(const GreyView& view, std::int64_t factor)
{
    return reduce(view.pixels, view.width, view.height, view.stride, factor);
}

GreyPicture reduceBy(const GreyBytesView& view, std::int64_t factor)
{
    return reduce(view.pixels, view.width, view.height, view.stride, factor);
}

} // namespace measure
