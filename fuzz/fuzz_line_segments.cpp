// Finding straight edges over arbitrary pictures, sizes, strides and options, and the reduced
// copy it is handed: never a crash, an endless loop or a read outside the picture (the padding
// between rows is poisoned, and the buffer ends where the last row does), and every candidate
// finite, inside the picture, no more than asked for, and ranked best first.
#include "FuzzInput.h"

#include "LineSegments.h"
#include "Reduce.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Small enough that a run tries many pictures a second; the long thin ones reach further.
constexpr std::int64_t MostSide = 96;
constexpr std::int64_t MostThinSide = 4096;

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool finite(const measure::PicturePoint& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// A level: the input's own float (NaN, infinities and negatives included), its byte, or a step
// along a line of the input's choosing with the byte as noise, so that edges are found at all.
float levelOf(FuzzInput& input, std::uint8_t kind, std::int64_t x, std::int64_t y, double turn,
              double offset)
{
    switch (kind % 3) {
    case 0:
        return input.take<float>();
    case 1:
        return static_cast<float>(input.take<std::uint8_t>());
    default:
        break;
    }
    const double side = static_cast<double>(y) - offset - turn * static_cast<double>(x);
    return static_cast<float>((side > 0.0 ? 180.0 : 60.0) + input.take<std::uint8_t>() / 16.0);
}

// Rows `stride` floats apart in a buffer that ends with the last row; the padding between
// rows is poisoned where the sanitizer's 8-byte granules allow (the stride is even).
class Padded {
public:
    Padded(std::int64_t width, std::int64_t height, std::int64_t stride)
        : m_width(width)
        , m_height(height)
        , m_stride(stride)
        , m_pixels(static_cast<std::size_t>((height - 1) * stride + width))
    {
    }
    Padded(const Padded&) = delete;
    Padded& operator=(const Padded&) = delete;
    Padded(Padded&&) = delete;
    Padded& operator=(Padded&&) = delete;
    ~Padded() { ASAN_UNPOISON_MEMORY_REGION(m_pixels.data(), m_pixels.size() * sizeof(float)); }

    float& at(std::int64_t x, std::int64_t y)
    {
        return m_pixels[static_cast<std::size_t>(y * m_stride + x)];
    }
    void poison()
    {
        for (std::int64_t y = 0; y + 1 < m_height; ++y) {
            const std::int64_t from = (y * m_stride + m_width + 1) / 2 * 2;
            const std::int64_t to = (y + 1) * m_stride;
            if (to > from) {
                ASAN_POISON_MEMORY_REGION(m_pixels.data() + from,
                                          static_cast<std::size_t>(to - from) * sizeof(float));
            }
        }
    }
    [[nodiscard]] measure::GreyView view() const
    {
        return {m_pixels.data(), m_width, m_height, m_stride};
    }

private:
    std::int64_t m_width;
    std::int64_t m_height;
    std::int64_t m_stride;
    std::vector<float> m_pixels;
};

void checkCandidates(const std::vector<measure::EdgeCandidate>& found,
                     const measure::GreyView& view, const measure::FindOptions& options)
{
    require(found.size() <= options.maxCandidates);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const measure::EdgeCandidate& c = found[i];
        for (const measure::PicturePoint& end : {c.segment.a, c.segment.b}) {
            require(finite(end));
            require(end.x >= 0.0 && end.x <= static_cast<double>(view.width));
            require(end.y >= 0.0 && end.y <= static_cast<double>(view.height));
        }
        require(std::isfinite(c.length) && c.length >= 0.0);
        require(c.angleFromAxisDegrees >= 0.0 && c.angleFromAxisDegrees <= 45.0);
        require(std::isfinite(c.contrast) && std::isfinite(c.width) && c.width > 0.0);
        require(std::isfinite(c.significance) && c.significance >= 0.0);
        require(std::isfinite(c.score) && c.score >= 0.0);
        require(i == 0 || found[i - 1].score >= c.score);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const auto shape = input.take<std::uint8_t>();
    const bool thin = (shape & 8U) != 0;
    const std::int64_t width = thin ? 1 + input.take<std::uint16_t>() % MostThinSide
                                    : input.take<std::uint8_t>() % MostSide;
    const std::int64_t height =
        thin ? 1 + input.take<std::uint8_t>() % 3 : input.take<std::uint8_t>() % MostSide;
    const std::int64_t stride = (width + input.take<std::uint8_t>() % 8 + 1) / 2 * 2;
    measure::FindOptions options;
    if ((shape & 16U) != 0) {
        options.scaleX = input.take<double>();
        options.scaleY = input.take<double>();
        options.minLengthShare = input.take<double>();
        options.maxCandidates = input.take<std::uint8_t>() % 20;
    }
    // Factors from -2 to 9: those below 1 are taken as 1.
    const std::int64_t reduction = input.take<std::uint8_t>() % 12 - 2;
    const double turn = static_cast<double>(input.take<std::int8_t>()) / 32.0;
    const double offset = static_cast<double>(input.take<std::uint8_t>()) / 2.0;

    if (width == 0 || height == 0) {
        // No picture at all, and a view that claims more than it has.
        require(measure::findStraightEdges({nullptr, width, height, stride}, options).empty());
        require(measure::findStraightEdges({nullptr, 5, 5, 2}, options).empty());
        return 0;
    }
    Padded picture(width, height, stride);
    for (std::int64_t y = 0; y < height; ++y) {
        for (std::int64_t x = 0; x < width; ++x) {
            picture.at(x, y) = levelOf(input, shape, x, y, turn, offset);
        }
    }
    picture.poison();
    const measure::GreyView view = picture.view();

    const measure::GreyPicture reduced = measure::reduceBy(view, reduction);
    const std::int64_t factor = std::max<std::int64_t>(reduction, 1);
    const bool whole = width / factor > 0 && height / factor > 0;
    require(reduced.width == (whole ? width / factor : 0));
    require(reduced.height == (whole ? height / factor : 0));
    for (const float level : reduced.pixels) {
        require(level >= 0.0F && level <= 255.0F);
    }
    checkCandidates(measure::findStraightEdges(view, options), view, options);
    checkCandidates(measure::findStraightEdges(reduced.view(), options), reduced.view(), options);
    return 0;
}
