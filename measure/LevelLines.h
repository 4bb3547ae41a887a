// The first step of the line-segment detector: each point's level-line direction (across the
// gradient) and gradient magnitude, and the order in which points seed line-support regions.
#pragma once

#include "Reduce.h"

#include <cstdint>
#include <vector>

namespace measure {

// Gradients by 2 x 2 masks: point (x, y) of the field is computed from pixels x, x + 1 of rows
// y, y + 1, and so lies at the corner (x + 1, y + 1) of the picture's plane. The field is one
// point narrower and shorter than the picture, and is stored with a frame of one point of no
// gradient around it, so that a point's eight neighbours can be visited without a bounds check;
// point i of the storage then lies at (i % stride, i / stride) of the plane.
struct Direction {
    float x = 0.0F;
    float y = 0.0F;
};

struct LevelLineField {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t stride = 0; // width + 2
    // The level line's unit direction, the gradient turned a quarter turn: the lighter side
    // lies towards (y, -x), on the left walking along it as the picture shows on screen. Zero
    // where the gradient is below the threshold, so such a point aligns with nothing. Both
    // parts side by side: growing a region reads them for every neighbour.
    std::vector<Direction> direction;
    std::vector<float> magnitude; // grey levels per pixel; 0 below the threshold
    // Points whose gradient exceeds the threshold, in 1024 classes of magnitude from the
    // strongest down: the pseudo-ordering that seeds regions where edges are surest first.
    std::vector<std::int32_t> order;

    [[nodiscard]] std::size_t index(std::int64_t x, std::int64_t y) const
    {
        return static_cast<std::size_t>((y + 1) * stride + x + 1);
    }
};

// The field of a picture of less than 2^31 points, frame included; an empty field for one under 2 x
// 2 pixels. Levels are read as calmLevel() reads them. The threshold is in grey levels per pixel.
[[nodiscard]] LevelLineField levelLines(const GreyView& view, double threshold);

} // namespace measure
