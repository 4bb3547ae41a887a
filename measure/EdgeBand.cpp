#include "EdgeBand.h"

#include "Parallel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace measure::edgefit {
namespace {

// A section with fewer pixels than this across says nothing about an edge.
constexpr std::int64_t FewestAcross = 4;
// The two sides of the rough line differ in colour by at least this many levels (summed over
// the channels) where their difference tells the edge's colours.
constexpr double SidesDiffer = 6.0;
// Sections the colour direction is judged on.
constexpr std::size_t SampledSections = 100;
// Rounds of power iteration for the principal colour direction: the 3 x 3 matrix converges
// far sooner unless two directions change alike, and then either will do.
constexpr int PowerRounds = 40;
// A band is read on more than one thread only where each has at least this many reads to make
// (a row of the picture each; starting a thread costs about what a few hundred of them do), and
// on at most this many.
constexpr double ReadsPerPart = 500.0;
constexpr std::size_t MostReaders = 4;

} // namespace

Band::Band(const PixelRows& pixels, const Frame& frame, std::int64_t first, std::int64_t last,
           std::int64_t stride, double reach, double cap)
    : m_pixels(pixels)
    , m_frame(frame)
    , m_channels(pixels.channels() == 3 ? 3 : 1)
    , m_cap(cap)
{
    m_weights = m_channels == 3 ? ColourWeights{1.0 / 3, 1.0 / 3, 1.0 / 3} : ColourWeights{1, 0, 0};
    const double within = std::min(reach, cap);
    std::vector<Request> requests;
    for (std::int64_t i = first; i <= last; i += stride) {
        const double centre = frame.roughV(static_cast<double>(i) + 0.5 - frame.uc);
        // Pixels whose centres lie within reach of the line.
        const std::int64_t p0 = toIndex(std::ceil(centre - within - 0.5), 0, frame.sizeV);
        const std::int64_t p1 = toIndex(std::floor(centre + within - 0.5) + 1.0, 0, frame.sizeV);
        if (p1 - p0 < FewestAcross) {
            continue;
        }
        requests.push_back({m_index.size(), p0, p1});
        m_index.push_back(i);
        m_start.push_back(p0);
        m_colour.emplace_back(static_cast<std::size_t>((p1 - p0) * m_channels));
    }
    read(requests);
    m_level.resize(m_index.size());
    project(firstWeights(within));
}

ColourWeights Band::firstWeights(double reach) const
{
    if (m_channels == 1) {
        return {1.0, 0.0, 0.0};
    }
    // The colours on either side of the rough line differ as the edge's sides do, and texture
    // or stalks crossing both sides cancel out; where they do not differ (a thin line along the
    // rough line), the direction of the strongest change across will do.
    std::vector<double> boundary(sections());
    for (std::size_t s = 0; s < sections(); ++s) {
        boundary[s] = m_frame.roughV(u(s)) - static_cast<double>(m_start[s]);
    }
    const ColourWeights sides = changeAcross(boundary, std::vector<bool>(sections(), true), reach);
    const double differ = (std::fabs(sides[0]) + std::fabs(sides[1]) + std::fabs(sides[2])) /
                          static_cast<double>(std::max<std::size_t>(1, sections()));
    return differ >= SidesDiffer ? sides : strongestChange();
}

bool Band::widen(const std::vector<double>& from, const std::vector<double>& to)
{
    std::vector<Request> requests;
    for (std::size_t s = 0; s < sections(); ++s) {
        if (!std::isfinite(from[s]) || !std::isfinite(to[s])) {
            continue;
        }
        const double centre = m_frame.roughV(u(s));
        const std::int64_t capLow = toIndex(std::ceil(centre - m_cap - 0.5), 0, m_frame.sizeV);
        const std::int64_t capHigh =
            toIndex(std::floor(centre + m_cap - 0.5) + 1.0, 0, m_frame.sizeV);
        const std::int64_t start = m_start[s];
        const auto end = start + static_cast<std::int64_t>(length(s));
        const std::int64_t wantLow = std::max(capLow, toIndex(std::ceil(from[s] - 0.5), 0, end));
        const std::int64_t wantHigh =
            std::min(capHigh, toIndex(std::ceil(to[s] - 0.5), start, m_frame.sizeV));
        const std::int64_t newStart = std::min(start, wantLow);
        const std::int64_t newEnd = std::max(end, wantHigh);
        if (newStart == start && newEnd == end) {
            continue;
        }
        std::vector<float> colour(static_cast<std::size_t>((newEnd - newStart) * m_channels));
        std::copy(m_colour[s].begin(), m_colour[s].end(),
                  colour.begin() + (start - newStart) * m_channels);
        m_colour[s] = std::move(colour);
        m_start[s] = newStart;
        if (newStart < start) {
            requests.push_back({s, newStart, start});
        }
        if (newEnd > end) {
            requests.push_back({s, end, newEnd});
        }
    }
    if (requests.empty()) {
        return false;
    }
    read(requests);
    std::vector<bool> grown(sections(), false);
    for (const Request& r : requests) {
        grown[r.section] = true;
    }
    for (std::size_t s = 0; s < sections(); ++s) {
        if (grown[s]) {
            projectSection(s);
        }
    }
    return true;
}

// Sections along y are stretches of one row each; sections along x are stretches of one column
// each, so each row is read once over every run of neighbouring sections whose stretch it
// crosses. Every read fills pixels of its own, so where the picture may be read on several
// threads at once, a band of many rows is read in a few parts.
void Band::read(const std::vector<Request>& requests)
{
    const auto ch = static_cast<std::size_t>(m_channels);
    auto into = [&](std::size_t s, std::int64_t across) {
        return m_colour[s].data() + static_cast<std::size_t>(across - m_start[s]) * ch;
    };
    auto partsOf = [&](std::size_t reads) {
        return m_pixels.readsConcurrently()
                   ? partsFor(static_cast<double>(reads), ReadsPerPart, MostReaders)
                   : std::size_t{1};
    };
    if (m_frame.alongY) {
        const std::size_t parts = partsOf(requests.size());
        inRuns(requests.size(), parts, [&](std::size_t from, std::size_t to, std::size_t) {
            for (std::size_t k = from; k < to; ++k) {
                const Request& r = requests[k];
                m_pixels.readRow(m_index[r.section], r.from, r.to, into(r.section, r.from));
            }
        });
        return;
    }
    if (requests.empty()) {
        return;
    }
    std::int64_t rowFirst = requests.front().from;
    std::int64_t rowEnd = requests.front().to;
    for (const Request& r : requests) {
        rowFirst = std::min(rowFirst, r.from);
        rowEnd = std::max(rowEnd, r.to);
    }
    // For each row, the sections that need it, in order: a counting sort of the requests.
    const auto rows = static_cast<std::size_t>(rowEnd - rowFirst);
    std::vector<std::size_t> begin(rows + 1, 0);
    for (const Request& r : requests) {
        for (std::int64_t y = r.from; y < r.to; ++y) {
            ++begin[static_cast<std::size_t>(y - rowFirst) + 1];
        }
    }
    std::partial_sum(begin.begin(), begin.end(), begin.begin());
    std::vector<std::size_t> fill(begin.begin(), begin.end() - 1);
    std::vector<std::size_t> needs(begin.back());
    std::vector<Request> ordered(requests);
    std::sort(ordered.begin(), ordered.end(),
              [](const Request& a, const Request& b) { return a.section < b.section; });
    for (const Request& r : ordered) {
        for (std::int64_t y = r.from; y < r.to; ++y) {
            needs[fill[static_cast<std::size_t>(y - rowFirst)]++] = r.section;
        }
    }
    const std::size_t parts = partsOf(rows);
    inRuns(rows, parts, [&](std::size_t from, std::size_t to, std::size_t) {
        std::vector<float> row;
        for (std::size_t r = from; r < to; ++r) {
            const std::int64_t y = rowFirst + static_cast<std::int64_t>(r);
            for (std::size_t k = begin[r]; k < begin[r + 1];) {
                // A run of neighbouring sections, evenly spaced along the row.
                std::size_t end = k + 1;
                const std::int64_t step =
                    end < begin[r + 1] ? m_index[needs[end]] - m_index[needs[k]] : 1;
                while (end < begin[r + 1] && needs[end] == needs[end - 1] + 1 &&
                       m_index[needs[end]] - m_index[needs[end - 1]] == step) {
                    ++end;
                }
                const auto count = static_cast<std::int64_t>(end - k);
                row.resize(static_cast<std::size_t>(count) * ch);
                m_pixels.readPixels(y, m_index[needs[k]], count, count > 1 ? step : 1, row.data());
                for (std::size_t j = k; j < end; ++j) {
                    std::copy_n(row.data() + (j - k) * ch, ch, into(needs[j], y));
                }
                k = end;
            }
        }
    });
}

void Band::projectSection(std::size_t s)
{
    const std::vector<float>& colour = m_colour[s];
    std::vector<float>& level = m_level[s];
    if (m_channels == 1) {
        level.resize(colour.size());
        const auto w = static_cast<float>(m_weights[0]);
        std::transform(colour.begin(), colour.end(), level.begin(), [w](float c) { return w * c; });
        return;
    }
    level.resize(colour.size() / 3);
    const auto r = static_cast<float>(m_weights[0]);
    const auto g = static_cast<float>(m_weights[1]);
    const auto b = static_cast<float>(m_weights[2]);
    for (std::size_t k = 0; k < level.size(); ++k) {
        level[k] = r * colour[3 * k] + g * colour[3 * k + 1] + b * colour[3 * k + 2];
    }
}

void Band::project(const ColourWeights& weights)
{
    double sum = 0.0;
    for (int c = 0; c < m_channels; ++c) {
        sum += std::fabs(weights[static_cast<std::size_t>(c)]);
    }
    if (!(sum > 1e-12) || !std::isfinite(sum)) {
        return;
    }
    for (std::size_t c = 0; c < 3; ++c) {
        m_weights[c] = static_cast<int>(c) < m_channels ? weights[c] / sum : 0.0;
    }
    for (std::size_t s = 0; s < sections(); ++s) {
        projectSection(s);
    }
}

ColourWeights Band::strongestChange() const
{
    if (m_channels == 1) {
        return {1.0, 0.0, 0.0};
    }
    std::array<std::array<double, 3>, 3> moment{};
    // A sample of the sections tells the direction as well as all of them.
    const std::size_t stride = std::max<std::size_t>(1, sections() / SampledSections);
    for (std::size_t s = 0; s < sections(); s += stride) {
        const std::vector<float>& colour = m_colour[s];
        for (std::size_t k = 3; k < colour.size(); k += 3) {
            const std::array<double, 3> d = {colour[k] - colour[k - 3],
                                             colour[k + 1] - colour[k - 2],
                                             colour[k + 2] - colour[k - 1]};
            for (std::size_t i = 0; i < 3; ++i) {
                for (std::size_t j = 0; j < 3; ++j) {
                    moment[i][j] += d[i] * d[j];
                }
            }
        }
    }
    ColourWeights w{1.0, 1.0, 1.0};
    for (int round = 0; round < PowerRounds; ++round) {
        ColourWeights next{};
        for (std::size_t i = 0; i < 3; ++i) {
            next[i] = moment[i][0] * w[0] + moment[i][1] * w[1] + moment[i][2] * w[2];
        }
        const double norm = std::hypot(next[0], next[1], next[2]);
        if (!(norm > 0.0) || !std::isfinite(norm)) {
            return {1.0 / 3, 1.0 / 3, 1.0 / 3};
        }
        for (double& value : next) {
            value /= norm;
        }
        w = next;
    }
    return w;
}

ColourWeights Band::changeAcross(const std::vector<double>& boundary, const std::vector<bool>& use,
                                 double width) const
{
    const auto ch = static_cast<std::size_t>(m_channels);
    ColourWeights change{};
    for (std::size_t s = 0; s < sections(); ++s) {
        if (!use[s]) {
            continue;
        }
        const auto n = static_cast<std::ptrdiff_t>(m_colour[s].size() / ch);
        const auto at = static_cast<std::ptrdiff_t>(std::lround(boundary[s]));
        const std::ptrdiff_t reach = std::max<std::ptrdiff_t>(1, std::lround(width));
        const std::ptrdiff_t lowFrom = std::max<std::ptrdiff_t>(0, at - reach);
        const std::ptrdiff_t highTo = std::min(n, at + reach);
        if (at <= lowFrom || highTo <= at) {
            continue;
        }
        for (std::size_t c = 0; c < ch; ++c) {
            double before = 0.0;
            double after = 0.0;
            for (std::ptrdiff_t k = lowFrom; k < at; ++k) {
                before += m_colour[s][static_cast<std::size_t>(k) * ch + c];
            }
            for (std::ptrdiff_t k = at; k < highTo; ++k) {
                after += m_colour[s][static_cast<std::size_t>(k) * ch + c];
            }
            change[c] += after / static_cast<double>(highTo - at) -
                         before / static_cast<double>(at - lowFrom);
        }
    }
    return change;
}

} // namespace measure::edgefit
