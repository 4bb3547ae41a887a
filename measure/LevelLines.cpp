#include "LevelLines.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace measure {
namespace {

// Classes of the pseudo-ordering: enough that a class holds points of nearly the same
// strength, few enough that sorting stays one pass.
constexpr std::size_t OrderClasses = 1024;

// The points above the threshold, strongest class first (a counting sort over classes).
std::vector<std::int32_t> pseudoOrder(const std::vector<float>& magnitude, double threshold,
                                      float strongest)
{
    std::vector<std::int32_t> order;
    if (!(static_cast<double>(strongest) > threshold)) {
        return order;
    }
    const double perClass = static_cast<double>(OrderClasses) / static_cast<double>(strongest);
    auto classOf = [&](float m) {
        const auto c = static_cast<std::size_t>(static_cast<double>(m) * perClass);
        return OrderClasses - 1 - std::min(c, OrderClasses - 1); // strongest first
    };
    std::vector<std::size_t> start(OrderClasses + 1, 0);
    for (const float m : magnitude) {
        if (static_cast<double>(m) > threshold) {
            ++start[classOf(m) + 1];
        }
    }
    for (std::size_t c = 0; c < OrderClasses; ++c) {
        start[c + 1] += start[c];
    }
    order.resize(start[OrderClasses]);
    for (std::size_t i = 0; i < magnitude.size(); ++i) {
        if (static_cast<double>(magnitude[i]) > threshold) {
            order[start[classOf(magnitude[i])]++] = static_cast<std::int32_t>(i);
        }
    }
    return order;
}

} // namespace

LevelLineField levelLines(const GreyView& view, double threshold)
{
    LevelLineField field;
    if (!holdsPicture(view) || view.width < 2 || view.height < 2 ||
        (view.width + 1) > std::numeric_limits<std::int32_t>::max() / (view.height + 1)) {
        return field;
    }
    field.width = view.width - 1;
    field.height = view.height - 1;
    field.stride = field.width + 2;
    const auto points = static_cast<std::size_t>(field.stride * (field.height + 2));
    field.direction.assign(points, Direction{});
    field.magnitude.assign(points, 0.0F);
    std::vector<float> above(static_cast<std::size_t>(view.width));
    std::vector<float> below(static_cast<std::size_t>(view.width));
    auto readRow = [&](std::int64_t y, std::vector<float>& out) {
        const float* row = view.pixels + y * view.stride;
        for (std::int64_t x = 0; x < view.width; ++x) {
            out[static_cast<std::size_t>(x)] = calmLevel(row[x]);
        }
    };
    readRow(0, below);
    const double thresholdSquared = threshold * threshold;
    float strongest = 0.0F;
    for (std::int64_t y = 0; y < field.height; ++y) {
        std::swap(above, below);
        readRow(y + 1, below);
        // Plain pointers: through the vectors the compiler reloads each one at every point.
        const std::size_t start = field.index(0, y);
        float* magnitude = field.magnitude.data() + start;
        Direction* direction = field.direction.data() + start;
        const float* up = above.data();
        const float* down = below.data();
        for (std::int64_t x = 0; x < field.width; ++x) {
            const auto i = static_cast<std::size_t>(x);
            // a b over c d: differences across columns and across rows, each over two pixels.
            const double a = up[i];
            const double b = up[i + 1];
            const double c = down[i];
            const double d = down[i + 1];
            const double gx = 0.5 * ((b + d) - (a + c));
            const double gy = 0.5 * ((c + d) - (a + b));
            // Points below the threshold keep no magnitude: nothing reads it, and most points
            // of a picture are such, so their square root is saved.
            const double squared = gx * gx + gy * gy;
            if (squared > thresholdSquared) {
                const double m = std::sqrt(squared);
                const double inverse = 1.0 / m;
                magnitude[i] = static_cast<float>(m);
                strongest = std::max(strongest, magnitude[i]);
                direction[i] = {static_cast<float>(-gy * inverse),
                                static_cast<float>(gx * inverse)};
            }
        }
    }
    field.order = pseudoOrder(field.magnitude, threshold, strongest);
    return field;
}

} // namespace measure
