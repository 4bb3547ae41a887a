#include "EdgeCharacter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace realphotos {
namespace {

// The outer quarter of each side of a cross-section is taken as that side's plateau.
constexpr double PlateauShare = 0.25;
// Points farther from the first parabola than this many median distances are left out of the
// second: a twig or a stalk across the edge is not the edge.
constexpr double OutlierMedians = 4.0;

struct Profile {
    std::vector<double> grey;
    std::vector<std::array<double, 3>> colour;
};

double median(std::vector<double> values)
{
    if (values.empty()) {
        return NAN;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Where the profile crosses level, nearest to index centre, with linear interpolation.
double crossing(const std::vector<double>& profile, double level, double centre)
{
    double best = NAN;
    for (std::size_t i = 0; i + 1 < profile.size(); ++i) {
        const double a = profile[i] - level;
        const double b = profile[i + 1] - level;
        if (a * b <= 0.0 && a != b) {
            const double at = static_cast<double>(i) + a / (a - b);
            if (!(std::fabs(at - centre) >= std::fabs(best - centre))) {
                best = at;
            }
        }
    }
    return best;
}

struct Parabola {
    std::array<double, 3> c{}; // v = c0 + c1 t + c2 t^2, t from -1 to 1 along the line
};

Parabola fitParabola(const std::vector<double>& t, const std::vector<double>& v,
                     const std::vector<bool>& use)
{
    std::array<std::array<double, 4>, 3> m{};
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!use[i]) {
            continue;
        }
        const std::array<double, 3> p = {1.0, t[i], t[i] * t[i]};
        for (std::size_t r = 0; r < 3; ++r) {
            for (std::size_t k = 0; k < 3; ++k) {
                m[r][k] += p[r] * p[k];
            }
            m[r][3] += p[r] * v[i];
        }
    }
    for (std::size_t r = 0; r < 3; ++r) {
        for (std::size_t below = r + 1; below < 3; ++below) {
            const double f = m[below][r] / m[r][r];
            for (std::size_t k = r; k < 4; ++k) {
                m[below][k] -= f * m[r][k];
            }
        }
    }
    Parabola parabola;
    for (std::size_t r = 3; r-- > 0;) {
        double s = m[r][3];
        for (std::size_t k = r + 1; k < 3; ++k) {
            s -= m[r][k] * parabola.c.at(k);
        }
        parabola.c.at(r) = s / m[r][r];
    }
    return parabola;
}

} // namespace

EdgeCharacter describeEdge(const QImage& picture, const measure::PictureSegment& rough,
                           double reach)
{
    const bool alongX = std::fabs(rough.b.x - rough.a.x) >= std::fabs(rough.b.y - rough.a.y);
    const int span = static_cast<int>(std::ceil(reach));
    const int size = 2 * span + 1;
    const int plateau = std::max(2, static_cast<int>(PlateauShare * span));

    std::vector<double> ts;
    std::vector<double> positions;
    std::vector<double> steps;
    std::vector<double> colours;
    std::vector<double> depths;
    std::vector<double> beyondSides;
    std::vector<double> lineColours;
    std::vector<double> stepWidths;
    std::vector<double> lineWidths;
    std::vector<double> linePositions;
    std::vector<double> stepPositions;
    for (int k = 0; k < DescribedSections; ++k) {
        const double s = (k + 0.5) / DescribedSections;
        const double x = rough.a.x + s * (rough.b.x - rough.a.x);
        const double y = rough.a.y + s * (rough.b.y - rough.a.y);
        const int u = static_cast<int>(std::floor(alongX ? x : y));
        const int first = static_cast<int>(std::floor(alongX ? y : x)) - span;
        Profile profile;
        bool inside = true;
        for (int i = 0; i < size && inside; ++i) {
            const int px = alongX ? u : first + i;
            const int py = alongX ? first + i : u;
            inside = px >= 0 && py >= 0 && px < picture.width() && py < picture.height();
            if (inside) {
                const QRgb rgb = picture.pixel(px, py);
                // Rec. 601 luma, as the window's pixels give the fit.
                profile.grey.push_back(0.299 * qRed(rgb) + 0.587 * qGreen(rgb) +
                                       0.114 * qBlue(rgb));
                profile.colour.push_back({static_cast<double>(qRed(rgb)),
                                          static_cast<double>(qGreen(rgb)),
                                          static_cast<double>(qBlue(rgb))});
            }
        }
        if (!inside) {
            continue;
        }
        double low = 0.0;
        double high = 0.0;
        std::array<double, 3> lowColour{};
        std::array<double, 3> highColour{};
        for (int i = 0; i < plateau; ++i) {
            const auto near = static_cast<std::size_t>(i);
            const auto far = static_cast<std::size_t>(size - 1 - i);
            low += profile.grey[near] / plateau;
            high += profile.grey[far] / plateau;
            for (std::size_t c = 0; c < 3; ++c) {
                lowColour.at(c) += profile.colour[near].at(c) / plateau;
                highColour.at(c) += profile.colour[far].at(c) / plateau;
            }
        }
        steps.push_back(std::fabs(high - low));
        colours.push_back(std::hypot(highColour[0] - lowColour[0], highColour[1] - lowColour[1],
                                     highColour[2] - lowColour[2]));
        const double centre = span;
        stepPositions.push_back(crossing(profile.grey, 0.5 * (low + high), centre));
        stepWidths.push_back(std::fabs(crossing(profile.grey, low + 0.9 * (high - low), centre) -
                                       crossing(profile.grey, low + 0.1 * (high - low), centre)));
        // A thin line: the farthest level from both sides' mean in the middle half.
        const double base = 0.5 * (low + high);
        std::size_t extreme = static_cast<std::size_t>(span);
        for (auto i = static_cast<std::size_t>(span / 2);
             i <= static_cast<std::size_t>(size - 1 - span / 2); ++i) {
            if (std::fabs(profile.grey[i] - base) > std::fabs(profile.grey[extreme] - base)) {
                extreme = i;
            }
        }
        const double depth = profile.grey[extreme] - base;
        depths.push_back(std::fabs(depth));
        beyondSides.push_back(std::fabs(depth) - 0.5 * std::fabs(high - low));
        const std::array<double, 3>& at = profile.colour[extreme];
        lineColours.push_back(std::hypot(at[0] - 0.5 * (lowColour[0] + highColour[0]),
                                         at[1] - 0.5 * (lowColour[1] + highColour[1]),
                                         at[2] - 0.5 * (lowColour[2] + highColour[2])));
        // Its place: halfway between where it reaches half its depth on either side.
        const auto split = profile.grey.begin() + static_cast<std::ptrdiff_t>(extreme);
        const double halfDepth = base + 0.5 * depth;
        const double left = crossing({profile.grey.begin(), split + 1}, halfDepth,
                                     static_cast<double>(extreme));
        const double right =
            static_cast<double>(extreme) + crossing({split, profile.grey.end()}, halfDepth, 0.0);
        linePositions.push_back(0.5 * (left + right));
        lineWidths.push_back(right - left);
        ts.push_back(2.0 * s - 1.0);
        positions.push_back(static_cast<double>(first));
    }

    EdgeCharacter character;
    character.sections = DescribedSections;
    character.greyStep = median(steps);
    character.colourStep = median(colours);
    // A line reaches farther beyond the nearer side than the two sides differ.
    character.thinLine = median(beyondSides) > character.greyStep;
    const std::vector<double>& where = character.thinLine ? linePositions : stepPositions;
    std::vector<double> t;
    std::vector<double> v;
    for (std::size_t i = 0; i < where.size(); ++i) {
        if (std::isfinite(where[i])) {
            t.push_back(ts[i]);
            v.push_back(positions[i] + where[i] + 0.5);
        }
    }
    character.found = static_cast<int>(t.size());
    if (character.thinLine) {
        character.greyStep = median(depths);
        character.colourStep = median(lineColours);
        character.width = median(lineWidths);
    } else {
        character.width = median(stepWidths);
    }
    if (t.size() < 5) {
        character.bow = NAN;
        character.scatter = NAN;
        return character;
    }
    std::vector<bool> use(t.size(), true);
    std::vector<double> off(t.size());
    for (int round = 0; round < 2; ++round) {
        const Parabola p = fitParabola(t, v, use);
        for (std::size_t i = 0; i < t.size(); ++i) {
            off[i] = std::fabs(v[i] - (p.c[0] + p.c[1] * t[i] + p.c[2] * t[i] * t[i]));
        }
        character.scatter = median(off);
        // The middle against the chord between t = -1 and t = 1.
        character.bow = std::fabs(p.c[2]);
        for (std::size_t i = 0; i < t.size(); ++i) {
            use[i] = off[i] <= OutlierMedians * character.scatter;
        }
    }
    return character;
}

} // namespace realphotos
