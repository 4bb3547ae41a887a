#include "LineSupport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace measure {
namespace {

constexpr double Pi = 3.14159265358979323846;
// Level lines within this of the region's direction grow it: wide enough to follow a noisy
// or slightly blurred edge, narrow enough that a corner stops it.
constexpr double ToleranceDegrees = 22.5;
// The share of a half turn that the tolerance is: the chance that a point of pure noise is
// aligned with a given direction.
constexpr double Precision = ToleranceDegrees / 180.0;
// A rectangle at least this full of its region's points is a line; a sparser one is a curve
// or a corner, and is cut down first.
constexpr double MinDensity = 0.7;
// The refined tolerance is never taken finer than this: a perfectly drawn edge's points near
// the seed all agree, and a tolerance of zero would stop the region at its first stair.
constexpr double MinRefinedDegrees = 5.0;
// Rounds of each way of improving a rectangle, and the precisions they try: p, p/2 ... p/32,
// which the number of tests counts.
constexpr int ImproveRounds = 5;
constexpr double PrecisionsTried = ImproveRounds + 1.0;
// The radius cut of a sparse region, per round.
constexpr double RadiusCut = 0.75;
// How thin a rectangle may be made, in pixels.
constexpr double MinWidth = 1.0;
constexpr double WidthStep = 0.5;
// The share of a region's gradient on each side left out of its rectangle's width.
constexpr double WidthTrim = 0.02;
// log10 of the binomial tail is summed until the rest is below this share of it.
constexpr double TailAccuracy = 1e-4;

enum : std::uint8_t { Free = 0, Taken = 1 };

struct Rect {
    double cx = 0.0; // centre, in the picture's plane
    double cy = 0.0;
    double dx = 1.0; // unit direction along the line
    double dy = 0.0;
    double halfLength = 0.0;
    double halfWidth = 0.0;
    double precision = Precision;
};

double logFactorial(std::int64_t n)
{
    if (n < 32) {
        double sum = 0.0;
        for (std::int64_t i = 2; i <= n; ++i) {
            sum += std::log(static_cast<double>(i));
        }
        return sum;
    }
    // Stirling's series for log Gamma(n + 1); its error is below 1e-12 from here on. Written
    // out rather than std::lgamma, which writes a global and so races when run off the window's
    // thread.
    const double x = static_cast<double>(n) + 1.0;
    const double inverse = 1.0 / x;
    const double square = inverse * inverse;
    return (x - 0.5) * std::log(x) - x + 0.5 * std::log(2.0 * Pi) +
           inverse * (1.0 / 12.0 - square * (1.0 / 360.0 - square / 1260.0));
}

// The point of the field at index i, in the picture's plane (see LevelLineField).
std::array<double, 2> positionOf(const LevelLineField& field, std::int32_t i)
{
    const std::int64_t row = i / field.stride;
    return {static_cast<double>(i - row * field.stride), static_cast<double>(row)};
}

// The points of the rectangle and those of them aligned with it within its precision.
struct Count {
    std::int64_t points = 0;
    std::int64_t aligned = 0;
};

// One slab |(p - c) . u| <= half, cut with the row at py: the range of px, or nothing.
bool slabRange(double ux, double uy, double half, double cx, double cy, double py, double& from,
               double& to)
{
    const double along = (py - cy) * uy;
    if (std::fabs(ux) < 1e-12) {
        return std::fabs(along) <= half;
    }
    double a = cx + (-half - along) / ux;
    double b = cx + (half - along) / ux;
    if (a > b) {
        std::swap(a, b);
    }
    from = std::max(from, a);
    to = std::min(to, b);
    return from <= to;
}

Count countAligned(const LevelLineField& field, const Rect& r)
{
    Count count;
    const double cosine = std::cos(r.precision * Pi);
    const double reachY = std::fabs(r.dy) * r.halfLength + std::fabs(r.dx) * r.halfWidth;
    // Field rows are at y + 1 in the plane.
    const auto firstRow = static_cast<std::int64_t>(std::max(0.0, std::ceil(r.cy - reachY) - 1.0));
    const auto lastRow = static_cast<std::int64_t>(
        std::min(static_cast<double>(field.height - 1), std::floor(r.cy + reachY) - 1.0));
    for (std::int64_t y = firstRow; y <= lastRow; ++y) {
        const double py = static_cast<double>(y) + 1.0;
        double from = -std::numeric_limits<double>::infinity();
        double to = std::numeric_limits<double>::infinity();
        if (!slabRange(r.dx, r.dy, r.halfLength, r.cx, r.cy, py, from, to) ||
            !slabRange(-r.dy, r.dx, r.halfWidth, r.cx, r.cy, py, from, to)) {
            continue;
        }
        const double first = std::max(0.0, std::ceil(from) - 1.0);
        const double last = std::min(static_cast<double>(field.width - 1), std::floor(to) - 1.0);
        for (auto x = static_cast<std::int64_t>(first); static_cast<double>(x) <= last; ++x) {
            const std::size_t i = field.index(x, y);
            ++count.points;
            if (field.direction[i].x * r.dx + field.direction[i].y * r.dy >= cosine) {
                ++count.aligned;
            }
        }
    }
    return count;
}

// The range across that holds all of the weight but a small share on either side: weak points
// beside a strong edge (texture along a horizon, noise over an antialiased pixel) would
// otherwise widen a region's rectangle by a pixel or two, and its density would read as a
// curve's. Sorts the points.
std::pair<double, double> trimmedRange(std::vector<std::pair<double, double>>& points, double total)
{
    std::sort(points.begin(), points.end());
    double low = points.front().first;
    double high = points.back().first;
    double mass = 0.0;
    for (const auto& [w, weight] : points) {
        mass += weight;
        if (mass > WidthTrim * total) {
            low = w;
            break;
        }
    }
    mass = 0.0;
    for (std::size_t k = points.size(); k-- > 0;) {
        mass += points[k].second;
        if (mass > WidthTrim * total) {
            high = points[k].first;
            break;
        }
    }
    return {low, high};
}

class Detector {
public:
    explicit Detector(const LevelLineField& field)
        : m_field(field)
        , m_state(field.direction.size(), Taken)
    {
        for (const std::int32_t i : field.order) {
            m_state[static_cast<std::size_t>(i)] = Free;
        }
        // log10 of the number of tests: rectangles in a picture of N x M points, (NM)^(5/2),
        // times the precisions each is tried at.
        const auto n = static_cast<double>(field.width + 1);
        const auto m = static_cast<double>(field.height + 1);
        m_logTests = 2.5 * (std::log10(n) + std::log10(m)) + std::log10(PrecisionsTried);
        // A region of fewer points could not be meaningful even were every one aligned.
        m_minRegion = static_cast<std::size_t>(std::ceil(m_logTests / -std::log10(Precision)));
    }

    std::vector<SupportSegment> run(std::size_t maxSegments);

private:
    void grow(std::int32_t seed, double toleranceDegrees);
    [[nodiscard]] Rect rectangle();
    [[nodiscard]] double density(const Rect& r) const;
    bool refine(std::int32_t seed, Rect& r);
    [[nodiscard]] double significance(const Rect& r) const;
    double improve(Rect& r) const;

    const LevelLineField& m_field;
    std::vector<std::uint8_t> m_state;
    std::vector<std::int32_t> m_region;
    std::vector<std::pair<double, double>> m_across; // rectangle()'s points: across, weight
    double m_dirX = 0.0; // the region's direction: the mean of its points' level lines
    double m_dirY = 0.0;
    double m_logTests = 0.0;
    std::size_t m_minRegion = 0;
};

// Grows the region from the seed over 8-connected free points whose level lines lie within the
// tolerance of the region's direction, which follows each point added.
void Detector::grow(std::int32_t seed, double toleranceDegrees)
{
    const double cosine = std::cos(toleranceDegrees * Pi / 180.0);
    const auto s = static_cast<std::size_t>(seed);
    m_region.assign(1, seed);
    m_state[s] = Taken;
    double sumX = m_field.direction[s].x;
    double sumY = m_field.direction[s].y;
    m_dirX = sumX;
    m_dirY = sumY;
    // The frame around the field is taken, so every neighbour is inside the storage.
    const auto row = static_cast<std::ptrdiff_t>(m_field.stride);
    const std::array<std::ptrdiff_t, 8> around = {-row - 1, -row,    -row + 1, -1,
                                                  1,        row - 1, row,      row + 1};
    for (std::size_t next = 0; next < m_region.size(); ++next) {
        const std::ptrdiff_t at = m_region[next];
        for (const std::ptrdiff_t step : around) {
            const auto i = static_cast<std::size_t>(at + step);
            if (m_state[i] != Free) {
                continue;
            }
            const Direction d = m_field.direction[i];
            if (d.x * m_dirX + d.y * m_dirY < cosine) {
                continue;
            }
            m_state[i] = Taken;
            m_region.push_back(static_cast<std::int32_t>(i));
            sumX += d.x;
            sumY += d.y;
            // Not std::hypot: this runs once per point grown, and hypot's care for overflow
            // costs several times a square root here.
            const double norm = std::sqrt(sumX * sumX + sumY * sumY);
            if (norm > 0.0) {
                m_dirX = sumX / norm;
                m_dirY = sumY / norm;
            }
        }
    }
}

// The rectangle that holds the region: its axis the points' principal axis, each weighted by
// its gradient, turned to run along the region's level lines; at least a pixel wide and long.
Rect Detector::rectangle()
{
    double sw = 0.0;
    double sx = 0.0;
    double sy = 0.0;
    for (const std::int32_t i : m_region) {
        const auto [px, py] = positionOf(m_field, i);
        const double w = m_field.magnitude[static_cast<std::size_t>(i)];
        sw += w;
        sx += w * px;
        sy += w * py;
    }
    Rect r;
    r.cx = sx / sw;
    r.cy = sy / sw;
    double sxx = 0.0;
    double syy = 0.0;
    double sxy = 0.0;
    for (const std::int32_t i : m_region) {
        const auto [px, py] = positionOf(m_field, i);
        const double w = m_field.magnitude[static_cast<std::size_t>(i)];
        sxx += w * (px - r.cx) * (px - r.cx);
        syy += w * (py - r.cy) * (py - r.cy);
        sxy += w * (px - r.cx) * (py - r.cy);
    }
    const double theta = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
    r.dx = std::cos(theta);
    r.dy = std::sin(theta);
    if (r.dx * m_dirX + r.dy * m_dirY < 0.0) {
        r.dx = -r.dx;
        r.dy = -r.dy;
    }
    double lmin = 0.0;
    double lmax = 0.0;
    double total = 0.0;
    m_across.clear();
    for (const std::int32_t i : m_region) {
        const auto [px, py] = positionOf(m_field, i);
        const double l = (px - r.cx) * r.dx + (py - r.cy) * r.dy;
        lmin = std::min(lmin, l);
        lmax = std::max(lmax, l);
        const double w = m_field.magnitude[static_cast<std::size_t>(i)];
        m_across.emplace_back(-(px - r.cx) * r.dy + (py - r.cy) * r.dx, w);
        total += w;
    }
    const auto [wmin, wmax] = trimmedRange(m_across, total);
    const double midL = 0.5 * (lmin + lmax);
    const double midW = 0.5 * (wmin + wmax);
    r.cx += midL * r.dx - midW * r.dy;
    r.cy += midL * r.dy + midW * r.dx;
    r.halfLength = 0.5 * std::max(lmax - lmin, MinWidth);
    r.halfWidth = 0.5 * std::max(wmax - wmin, MinWidth);
    return r;
}

double Detector::density(const Rect& r) const
{
    return static_cast<double>(m_region.size()) / (4.0 * r.halfLength * r.halfWidth);
}

// Makes a sparse region dense: first regrown from the seed with a tolerance fitted to the
// points near it, then cut to ever smaller circles around the seed. Points let go stay taken,
// so no point is grown more than twice. False when nothing dense is left.
bool Detector::refine(std::int32_t seed, Rect& r)
{
    if (density(r) >= MinDensity) {
        return true;
    }
    const std::array<double, 2> seedAt = positionOf(m_field, seed);
    const double sx = seedAt[0];
    const double sy = seedAt[1];
    const auto s = static_cast<std::size_t>(seed);
    const double seedX = m_field.direction[s].x;
    const double seedY = m_field.direction[s].y;
    double sum = 0.0;
    double sumSquares = 0.0;
    double near = 0.0;
    for (const std::int32_t i : m_region) {
        const auto [px, py] = positionOf(m_field, i);
        if ((px - sx) * (px - sx) + (py - sy) * (py - sy) > 4.0 * r.halfWidth * r.halfWidth) {
            continue;
        }
        const auto k = static_cast<std::size_t>(i);
        const double turn =
            std::atan2(seedX * m_field.direction[k].y - seedY * m_field.direction[k].x,
                       seedX * m_field.direction[k].x + seedY * m_field.direction[k].y);
        sum += turn;
        sumSquares += turn * turn;
        near += 1.0;
    }
    const double mean = sum / near;
    const double spread = std::sqrt(std::max(0.0, sumSquares / near - mean * mean));
    const double tolerance = std::max(2.0 * spread * 180.0 / Pi, MinRefinedDegrees);
    const std::vector<std::int32_t> before = m_region;
    for (const std::int32_t i : before) {
        m_state[static_cast<std::size_t>(i)] = Free;
    }
    grow(seed, tolerance);
    for (const std::int32_t i : before) {
        m_state[static_cast<std::size_t>(i)] = Taken;
    }
    if (m_region.size() < 2) {
        return false;
    }
    r = rectangle();
    double radius = 0.0;
    for (const std::int32_t i : m_region) {
        const auto [px, py] = positionOf(m_field, i);
        radius = std::max(radius, std::hypot(px - sx, py - sy));
    }
    while (density(r) < MinDensity) {
        radius *= RadiusCut;
        std::erase_if(m_region, [&](std::int32_t i) {
            const auto [px, py] = positionOf(m_field, i);
            return std::hypot(px - sx, py - sy) > radius;
        });
        if (m_region.size() < 2) {
            return false;
        }
        r = rectangle();
    }
    return true;
}

double Detector::significance(const Rect& r) const
{
    const Count count = countAligned(m_field, r);
    return -m_logTests - log10BinomialTail(count.points, count.aligned, r.precision);
}

// Tries finer precisions, then thinner rectangles and each side pulled in, keeping whatever
// is least likely by chance. The later steps only run while the rectangle is not yet
// meaningful: they cost a count each, and a meaningful one is kept as it is.
double Detector::improve(Rect& r) const
{
    double best = significance(r);
    Rect trial = r;
    for (int round = 0; round < ImproveRounds; ++round) {
        trial.precision *= 0.5;
        const double s = significance(trial);
        if (s > best) {
            best = s;
            r = trial;
        }
    }
    // Thinner about the middle, then with one side and then the other held.
    for (const double shift : {0.0, 0.5, -0.5}) {
        trial = r;
        for (int round = 0; round < ImproveRounds && best < 0.0; ++round) {
            if (2.0 * trial.halfWidth - WidthStep < MinWidth) {
                break;
            }
            trial.halfWidth -= 0.5 * WidthStep;
            trial.cx -= shift * WidthStep * trial.dy;
            trial.cy += shift * WidthStep * trial.dx;
            const double s = significance(trial);
            if (s > best) {
                best = s;
                r = trial;
            }
        }
    }
    trial = r;
    for (int round = 0; round < ImproveRounds && best < 0.0; ++round) {
        trial.precision *= 0.5;
        const double s = significance(trial);
        if (s > best) {
            best = s;
            r = trial;
        }
    }
    return best;
}

std::vector<SupportSegment> Detector::run(std::size_t maxSegments)
{
    std::vector<SupportSegment> segments;
    for (const std::int32_t seed : m_field.order) {
        if (segments.size() >= maxSegments) {
            break;
        }
        if (m_state[static_cast<std::size_t>(seed)] != Free) {
            continue;
        }
        grow(seed, ToleranceDegrees);
        if (m_region.size() < m_minRegion) {
            continue;
        }
        Rect r = rectangle();
        if (!refine(seed, r) || m_region.size() < m_minRegion) {
            continue;
        }
        const double s = improve(r);
        if (s < 0.0) {
            continue;
        }
        segments.push_back({r.cx - r.halfLength * r.dx, r.cy - r.halfLength * r.dy,
                            r.cx + r.halfLength * r.dx, r.cy + r.halfLength * r.dy,
                            2.0 * r.halfWidth, s});
    }
    return segments;
}

} // namespace

double log10BinomialTail(std::int64_t n, std::int64_t k, double p)
{
    if (k <= 0) {
        return 0.0;
    }
    if (k > n) {
        return -std::numeric_limits<double>::infinity();
    }
    // At or below the mean the tail is about a half or more: nothing any test would keep.
    if (static_cast<double>(k) <= static_cast<double>(n) * p) {
        return 0.0;
    }
    const double logFirst = logFactorial(n) - logFactorial(k) - logFactorial(n - k) +
                            static_cast<double>(k) * std::log(p) +
                            static_cast<double>(n - k) * std::log1p(-p);
    // The terms relative to the first; past the mean each is smaller than the one before by a
    // ratio that only falls, so the rest is bounded by a geometric series.
    double term = 1.0;
    double sum = 1.0;
    const double odds = p / (1.0 - p);
    for (std::int64_t j = k; j < n; ++j) {
        const double ratio = static_cast<double>(n - j) / static_cast<double>(j + 1) * odds;
        term *= ratio;
        sum += term;
        if (ratio < 1.0 && term * ratio / (1.0 - ratio) < TailAccuracy * sum) {
            break;
        }
    }
    return (logFirst + std::log(sum)) / std::log(10.0);
}

std::vector<SupportSegment> lineSupportSegments(const LevelLineField& field,
                                                std::size_t maxSegments)
{
    if (field.order.empty()) {
        return {};
    }
    Detector detector(field);
    return detector.run(maxSegments);
}

} // namespace measure
