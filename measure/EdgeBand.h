// The band of pixels the edge fit looks at: one profile across the line per cross-section,
// read only where the fit asks and each pixel once, in colour where the picture has it, and
// seen through one combination of the colour channels.
#pragma once

#include "EdgeFit.h"
#include "EdgeFrame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace measure::edgefit {

// Weights of red, green and blue (or of the one grey channel) in the level the fit sees.
using ColourWeights = std::array<double, 3>;

class Band {
public:
    // Sections every stride pixels from index first to last (inclusive) along u, each reaching
    // reach pixels to either side of the rough line along v; none wider than cap either side.
    // Sections with fewer than a few pixels inside the picture are left out. The band is seen
    // through the direction between the colours on either side of the rough line (or, where
    // they hardly differ, the combination that changes most across it) until told otherwise.
    Band(const PixelRows& pixels, const Frame& frame, std::int64_t first, std::int64_t last,
         std::int64_t stride, double reach, double cap);

    [[nodiscard]] std::size_t sections() const { return m_index.size(); }
    // The section's place along the line, relative to the frame's uc.
    [[nodiscard]] double u(std::size_t s) const
    {
        return static_cast<double>(m_index[s]) + 0.5 - m_frame.uc;
    }
    [[nodiscard]] std::int64_t index(std::size_t s) const { return m_index[s]; }
    // The first pixel across of the section's profile, and how many it holds.
    [[nodiscard]] std::int64_t start(std::size_t s) const { return m_start[s]; }
    [[nodiscard]] std::size_t length(std::size_t s) const { return m_level[s].size(); }
    // The levels across, as the current weights see them.
    [[nodiscard]] const float* profile(std::size_t s) const { return m_level[s].data(); }
    [[nodiscard]] const Frame& frame() const { return m_frame; }
    [[nodiscard]] int channels() const { return m_channels; }

    // Widens each section to hold the pixels whose centres lie in [from[s], to[s]) across
    // (absolute v) as well, within the cap and the picture, reading only what it did not hold.
    // True when any section grew.
    bool widen(const std::vector<double>& from, const std::vector<double>& to);

    // The combination of the channels that changes most across the band: the principal
    // direction of the across differences' colours.
    [[nodiscard]] ColourWeights strongestChange() const;
    // The direction from the mean colour before to the mean colour after a boundary, taken in
    // windows of width pixels either side of boundary[s] (profile coordinates), for the
    // sections marked in use.
    [[nodiscard]] ColourWeights changeAcross(const std::vector<double>& boundary,
                                             const std::vector<bool>& use, double width) const;
    // Sees the band through these weights from now on (they are scaled so that their absolute
    // values add up to 1, so a grey picture keeps its grey levels).
    void project(const ColourWeights& weights);

private:
    // The weights the band is first seen through.
    [[nodiscard]] ColourWeights firstWeights(double reach) const;

    struct Request {
        std::size_t section = 0;
        std::int64_t from = 0; // pixels across, absolute
        std::int64_t to = 0;
    };
    void read(const std::vector<Request>& requests);
    void projectSection(std::size_t s);

    const PixelRows& m_pixels;
    Frame m_frame;
    int m_channels = 1;
    double m_cap = 0.0;
    ColourWeights m_weights{1.0, 0.0, 0.0};
    std::vector<std::int64_t> m_index;
    std::vector<std::int64_t> m_start;
    std::vector<std::vector<float>> m_colour; // channels values per pixel
    std::vector<std::vector<float>> m_level;
};

} // namespace measure::edgefit
