#include "EdgeCharacter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace realphotos {
namespace {

// A step ends where its rise falls below this share of the steepest.
constexpr double FadedShare = 0.1;
// The rise is taken over this share of the band's half-width to either side.
constexpr double SlopeShare = 0.25;
// Pixels averaged for a side's colour.
constexpr std::size_t SideMean = 3;
// Points farther from the first parabola than this many median distances are left out of the
// second: a twig or a stalk across the edge is not the edge.
constexpr double OutlierMedians = 4.0;

using Colour = std::array<double, 3>;

double distance(const Colour& a, const Colour& b)
{
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

// Rec. 601 luma, as the window's pixels give the fit.
double grey(const Colour& c)
{
    return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2];
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return NAN;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
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

// The mean colour of pixels from to to - 1 of a cross-section.
Colour meanColour(const std::vector<Colour>& colour, std::size_t from, std::size_t to)
{
    Colour sum{};
    for (std::size_t i = from; i < to; ++i) {
        for (std::size_t c = 0; c < 3; ++c) {
            sum.at(c) += colour[i].at(c);
        }
    }
    const auto count = static_cast<double>(to - from);
    return {sum[0] / count, sum[1] / count, sum[2] / count};
}

// Where a rising profile first reaches level within indices from to to, interpolated.
double reaches(const std::vector<double>& profile, double level, std::size_t from, std::size_t to)
{
    for (std::size_t i = from + 1; i <= to; ++i) {
        if (profile[i] >= level) {
            const double rise = profile[i] - profile[i - 1];
            return static_cast<double>(i - 1) +
                   (rise > 0.0 ? (level - profile[i - 1]) / rise : 0.0);
        }
    }
    return static_cast<double>(to);
}

struct SectionFigures {
    bool thin = false;
    double position = NAN; // sample index, 0.0 the first pixel's centre
    double greyStep = 0.0;
    double colourStep = 0.0;
    double width = 0.0;
};

// Whether a cross-section is read as a step or as a thin line, or as whichever it looks like.
enum class Shape { Either, Step, Line };

// One cross-section: colour[i] is the pixel i samples from the start, line the rough line's
// place, band the band's half-width, both in samples.
SectionFigures sectionFigures(const std::vector<Colour>& colour, double line, double band,
                              Shape shape)
{
    const std::size_t n = colour.size();
    const auto bandLow = static_cast<std::size_t>(std::max(0.0, std::floor(line - band)));
    const auto bandHigh = std::min(n - 1, static_cast<std::size_t>(std::ceil(line + band)));
    const Colour low = meanColour(colour, bandLow, bandLow + SideMean);
    const Colour high = meanColour(colour, bandHigh + 1 - SideMean, bandHigh + 1);
    const Colour sides = {0.5 * (low[0] + high[0]), 0.5 * (low[1] + high[1]),
                          0.5 * (low[2] + high[2])};
    // A thin line reaches farther beyond both sides than the sides differ.
    std::size_t farthest = bandLow;
    for (std::size_t i = bandLow; i <= bandHigh; ++i) {
        if (std::fabs(grey(colour[i]) - grey(sides)) >
            std::fabs(grey(colour[farthest]) - grey(sides))) {
            farthest = i;
        }
    }
    SectionFigures figures;
    const double depth = grey(colour[farthest]) - grey(sides);
    const double sidesDiffer = std::fabs(grey(high) - grey(low));
    if (shape == Shape::Line ||
        (shape == Shape::Either && std::fabs(depth) - 0.5 * sidesDiffer > sidesDiffer)) {
        figures.thin = true;
        // As a rising profile: the line's depth below or above the sides' mean.
        std::vector<double> toward(n);
        for (std::size_t i = 0; i < n; ++i) {
            toward[i] = (grey(colour[i]) - grey(sides)) * (depth < 0.0 ? -1.0 : 1.0);
        }
        const double half = 0.5 * std::fabs(depth);
        std::size_t left = farthest;
        while (left > 0 && toward[left - 1] >= half) {
            --left;
        }
        std::size_t right = farthest;
        while (right + 1 < n && toward[right + 1] >= half) {
            ++right;
        }
        const double leftEdge =
            left > 0 ? reaches(toward, half, left - 1, left) : static_cast<double>(left);
        std::vector<double> mirrored(toward.rbegin(), toward.rend());
        const std::size_t back = n - 1 - right;
        const double rightEdge =
            static_cast<double>(n - 1) -
            (back > 0 ? reaches(mirrored, half, back - 1, back) : static_cast<double>(back));
        figures.position = 0.5 * (leftEdge + rightEdge);
        figures.width = rightEdge - leftEdge;
        figures.greyStep = std::fabs(depth);
        figures.colourStep = distance(colour[farthest], sides);
        return figures;
    }
    // A step: the colours along the direction from one side to the other, so that the pixels'
    // noise averages out rather than adding up.
    Colour direction = {high[0] - low[0], high[1] - low[1], high[2] - low[2]};
    const double length = std::max(1e-9, distance(high, low));
    std::vector<double> along(n);
    for (std::size_t i = 0; i < n; ++i) {
        along[i] = (colour[i][0] * direction[0] + colour[i][1] * direction[1] +
                    colour[i][2] * direction[2]) /
                   length;
    }
    // The steepest rise within the band, followed out to where the rise fades; the rise is
    // taken over a few pixels, more for a wider band, so that a soft step's gentle slope
    // stands out of the pixels' noise.
    const auto reach = static_cast<std::size_t>(std::max(1.0, std::round(band * SlopeShare)));
    std::vector<double> rise(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const std::size_t lo = i >= reach - 1 ? i + 1 - reach : 0;
        const std::size_t hi = std::min(n - 1, i + reach);
        rise[i] = (along[hi] - along[lo]) / static_cast<double>(hi - lo);
    }
    std::size_t peak = bandLow;
    for (std::size_t i = bandLow; i < bandHigh; ++i) {
        if (rise[i] > rise[peak]) {
            peak = i;
        }
    }
    std::size_t from = peak;
    while (from > 0 && rise[from - 1] >= FadedShare * rise[peak]) {
        --from;
    }
    std::size_t to = peak + 1;
    while (to < n - 1 && rise[to] >= FadedShare * rise[peak]) {
        ++to;
    }
    const double bottom = along[from];
    const double top = along[to];
    figures.position = reaches(along, 0.5 * (bottom + top), from, to);
    figures.width = reaches(along, bottom + 0.9 * (top - bottom), from, to) -
                    reaches(along, bottom + 0.1 * (top - bottom), from, to);
    const Colour before = meanColour(colour, from >= SideMean ? from + 1 - SideMean : 0, from + 1);
    const Colour after = meanColour(colour, to, std::min(n, to + SideMean));
    figures.greyStep = std::fabs(grey(after) - grey(before));
    figures.colourStep = distance(after, before);
    return figures;
}

} // namespace

EdgeCharacter describeEdge(const QImage& picture, const measure::PictureSegment& rough, double band,
                           double reach)
{
    const bool alongX = std::fabs(rough.b.x - rough.a.x) >= std::fabs(rough.b.y - rough.a.y);
    const int span = static_cast<int>(std::ceil(reach));
    const int size = 2 * span + 1;

    struct Section {
        double t = 0.0;    // -1 to 1 along the line
        int first = 0;     // the picture's row or column of the first sample
        double line = 0.0; // the rough line's place, in samples
        std::vector<Colour> colour;
    };
    std::vector<Section> sections;
    for (int k = 0; k < DescribedSections; ++k) {
        const double s = (k + 0.5) / DescribedSections;
        const double x = rough.a.x + s * (rough.b.x - rough.a.x);
        const double y = rough.a.y + s * (rough.b.y - rough.a.y);
        const int u = static_cast<int>(std::floor(alongX ? x : y));
        const double lineAt = alongX ? y : x;
        Section section{2.0 * s - 1.0, static_cast<int>(std::floor(lineAt)) - span, 0.0, {}};
        // Sample i is the pixel whose centre lies at first + i + 0.5.
        section.line = lineAt - section.first - 0.5;
        for (int i = 0; i < size; ++i) {
            const int px = alongX ? u : section.first + i;
            const int py = alongX ? section.first + i : u;
            if (px < 0 || py < 0 || px >= picture.width() || py >= picture.height()) {
                break;
            }
            const QRgb rgb = picture.pixel(px, py);
            section.colour.push_back({static_cast<double>(qRed(rgb)),
                                      static_cast<double>(qGreen(rgb)),
                                      static_cast<double>(qBlue(rgb))});
        }
        if (static_cast<int>(section.colour.size()) == size) {
            sections.push_back(std::move(section));
        }
    }
    // The edge is a step or a thin line as most of its cross-sections look, and all are read
    // alike: a few read the other way would put their points somewhere else.
    std::size_t thin = 0;
    for (const Section& section : sections) {
        thin += sectionFigures(section.colour, section.line, band, Shape::Either).thin ? 1 : 0;
    }
    const bool thinLine = 2 * thin > sections.size();
    std::vector<double> ts;
    std::vector<double> positions;
    std::vector<double> greySteps;
    std::vector<double> colourSteps;
    std::vector<double> widths;
    for (const Section& section : sections) {
        const SectionFigures figures = sectionFigures(section.colour, section.line, band,
                                                      thinLine ? Shape::Line : Shape::Step);
        if (!std::isfinite(figures.position)) {
            continue;
        }
        greySteps.push_back(figures.greyStep);
        colourSteps.push_back(figures.colourStep);
        widths.push_back(figures.width);
        ts.push_back(section.t);
        positions.push_back(static_cast<double>(section.first) + figures.position + 0.5);
    }

    EdgeCharacter character;
    character.sections = DescribedSections;
    character.found = static_cast<int>(ts.size());
    character.thinLine = thinLine;
    character.greyStep = median(greySteps);
    character.colourStep = median(colourSteps);
    character.width = median(widths);
    if (ts.size() < 5) {
        character.bow = NAN;
        character.scatter = NAN;
        return character;
    }
    std::vector<bool> use(ts.size(), true);
    std::vector<double> off(ts.size());
    for (int round = 0; round < 2; ++round) {
        const Parabola p = fitParabola(ts, positions, use);
        for (std::size_t i = 0; i < ts.size(); ++i) {
            off[i] = std::fabs(positions[i] - (p.c[0] + p.c[1] * ts[i] + p.c[2] * ts[i] * ts[i]));
        }
        character.scatter = median(off);
        // The middle against the chord between t = -1 and t = 1.
        character.bow = std::fabs(p.c[2]);
        for (std::size_t i = 0; i < ts.size(); ++i) {
            use[i] = off[i] <= OutlierMedians * character.scatter;
        }
    }
    return character;
}

} // namespace realphotos
