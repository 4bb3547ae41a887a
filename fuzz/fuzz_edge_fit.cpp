// The edge fit over arbitrary small pictures (grey or colour), rough lines and reaches, from a
// hand's line and from a detector's: never a crash, a read outside the picture or the band it
// may grow to, a NaN, or an end outside the picture or farther than it may move; and each pixel
// read at most once, so the work is bounded by the band.
#include "FuzzInput.h"

#include "EdgeFit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// The fit never looks farther out than this, whatever reach it is given or the edge needs.
constexpr double LargestBand = 128.0;

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

double distanceFromLine(double x, double y, const measure::PictureSegment& line)
{
    const double dx = line.b.x - line.a.x;
    const double dy = line.b.y - line.a.y;
    return std::fabs((x - line.a.x) * dy - (y - line.a.y) * dx) / std::hypot(dx, dy);
}

class FuzzPicture : public measure::PixelRows {
public:
    FuzzPicture(std::int64_t width, std::int64_t height, int channels, std::vector<float> levels,
                const measure::PictureSegment& rough)
        : m_width(width)
        , m_height(height)
        , m_channels(channels)
        , m_levels(std::move(levels))
        , m_rough(rough)
        , m_read(static_cast<std::size_t>(width * height), false)
    {
    }
    [[nodiscard]] std::int64_t width() const override { return m_width; }
    [[nodiscard]] std::int64_t height() const override { return m_height; }
    [[nodiscard]] int channels() const override { return m_channels; }
    void readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const override
    {
        require(y >= 0 && y < m_height && x0 >= 0 && x0 <= x1 && x1 <= m_width);
        const double dx = m_rough.b.x - m_rough.a.x;
        const double dy = m_rough.b.y - m_rough.a.y;
        const double length = std::hypot(dx, dy);
        for (std::int64_t x = x0; x < x1; ++x) {
            // Within the band: across the line, and between its ends as the cross-sections run
            // (along the picture's axis nearer to across, so beyond a tilted line's ends by as
            // much as the band's half-width times the tilt's tangent), give or take a pixel.
            const double cx = static_cast<double>(x) + 0.5;
            const double cy = static_cast<double>(y) + 0.5;
            require(distanceFromLine(cx, cy, m_rough) <= LargestBand + 1.0);
            const double along = ((cx - m_rough.a.x) * dx + (cy - m_rough.a.y) * dy) / length;
            const double beyond = LargestBand * std::min(std::fabs(dx), std::fabs(dy)) /
                                      std::max(std::fabs(dx), std::fabs(dy)) +
                                  1.0;
            require(along >= -beyond && along <= length + beyond);
            const auto at = static_cast<std::size_t>(y * m_width + x);
            require(!m_read[at]);
            m_read[at] = true;
            for (int c = 0; c < m_channels; ++c) {
                *out++ = m_levels[at * static_cast<std::size_t>(m_channels) +
                                  static_cast<std::size_t>(c)];
            }
        }
    }

private:
    std::int64_t m_width;
    std::int64_t m_height;
    int m_channels;
    std::vector<float> m_levels;
    measure::PictureSegment m_rough;
    mutable std::vector<bool> m_read;
};

// A coordinate: raw (any double, NaN and infinities included) or a place on or near the picture.
double coordinate(FuzzInput& input, bool raw, std::int64_t size)
{
    if (raw) {
        return input.take<double>();
    }
    return static_cast<double>(input.take<std::int16_t>()) / 32768.0 *
               (static_cast<double>(size) + 16.0) +
           static_cast<double>(size) / 2.0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const auto shape = input.take<std::uint8_t>();
    const std::int64_t width = 1 + input.take<std::uint8_t>() % 64;
    const std::int64_t height = 1 + input.take<std::uint8_t>() % 64;
    const bool raw = (shape & 1U) != 0;
    const measure::PictureSegment rough{
        {coordinate(input, raw, width), coordinate(input, raw, height)},
        {coordinate(input, raw, width), coordinate(input, raw, height)}};
    const double halfWidth = (shape & 2U) != 0
                                 ? input.take<double>()
                                 : static_cast<double>(input.take<std::uint8_t>()) / 8.0;

    // The pixels: the input's bytes as they come, or a step along a line of the input's choosing
    // with the bytes as noise, so that the fit gets past its first refusals.
    const auto edgeX = static_cast<double>(input.take<std::int8_t>()) / 4.0;
    const auto edgeY = static_cast<double>(input.take<std::int8_t>()) / 4.0;
    const auto edgeTurn = static_cast<double>(input.take<std::int8_t>()) / 128.0;
    // In colour, the step runs between two colours of nearly the same grey.
    const int channels = (shape & 8U) != 0 ? 3 : 1;
    std::vector<float> levels(static_cast<std::size_t>(width * height * channels));
    for (std::int64_t y = 0; y < height; ++y) {
        for (std::int64_t x = 0; x < width; ++x) {
            const double side =
                (static_cast<double>(y) - edgeY) - edgeTurn * (static_cast<double>(x) - edgeX);
            for (int c = 0; c < channels; ++c) {
                const auto noise = static_cast<double>(input.take<std::uint8_t>());
                double level = noise;
                if ((shape & 4U) != 0) {
                    const bool past = side > 0.0;
                    level = (channels == 1 ? (past ? 180.0 : 70.0)
                                           : (past == (c == 1) ? 160.0 : 90.0)) +
                            noise / 32.0;
                }
                levels[static_cast<std::size_t>((y * width + x) * channels + c)] =
                    static_cast<float>(level);
            }
        }
    }

    const bool sized = std::isfinite(halfWidth) && halfWidth > 0.0;
    const double band = sized ? std::min(halfWidth, LargestBand) : 0.0;
    const double length = std::hypot(rough.b.x - rough.a.x, rough.b.y - rough.a.y);
    // A hand's end may move onto a soft edge's ramp (two of its spreads), which the band the fit
    // may grow to bounds; a detector's stays within the reach, and for a bent edge within the
    // reach and the bow, at most 2.5 % of the line's length.
    for (const auto from : {measure::RoughLine::ByHand, measure::RoughLine::Detected}) {
        const FuzzPicture picture(width, height, channels, levels, rough);
        const measure::EdgeFitAnswer answer = measure::fitEdge(picture, rough, halfWidth, from);
        if (!answer.fit) {
            continue;
        }
        require(sized);
        require(std::isfinite(answer.fit->plusMinusDegrees) && answer.fit->plusMinusDegrees > 0.0);
        const double farthest =
            from == measure::RoughLine::ByHand ? LargestBand : band + 0.025 * length;
        const measure::PictureSegment* fitted = &answer.fit->ends;
        for (const measure::PicturePoint& end : {fitted->a, fitted->b}) {
            require(std::isfinite(end.x) && std::isfinite(end.y));
            require(end.x >= 0.0 && end.x <= static_cast<double>(width));
            require(end.y >= 0.0 && end.y <= static_cast<double>(height));
            require(distanceFromLine(end.x, end.y, rough) <= farthest + 1e-6);
        }
    }
    return 0;
}
