#include "EdgePoints.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace measure::edgefit {
namespace {

// The refining passes stop when the course moves less than this, in pixels.
constexpr double SettledShift = 1e-4;
constexpr int MaxPasses = 4;
// Cross-sections each side whose plateau levels are pooled: the levels change slowly along an
// edge, and pooling keeps the pixel noise of the plateaus out of each point.
constexpr std::size_t PlateauPool = 7;

// The position of a step by its area: with the levels normalised to 0 on the low side and 1 on
// the high side, their integral over [from, to] is the length of the window past the edge. For
// a straight edge, antialiased and blurred symmetrically, this has no bias that depends on where
// the edge falls within a pixel, unlike a parabola through the gradient's peak.
double stepByArea(const float* p, std::size_t n, double from, double to, double low, double high)
{
    double area = 0.0;
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(from)));
    for (std::size_t k = first; k < n && static_cast<double>(k) < to; ++k) {
        const double overlap =
            std::min(to, static_cast<double>(k) + 1.0) - std::max(from, static_cast<double>(k));
        if (overlap > 0.0) {
            area += overlap * (p[k] - low) / (high - low);
        }
    }
    return to - area;
}

// The centre of a thin line: the centroid of its depth below (or height above) the surround.
double lineByCentroid(const float* p, std::size_t n, double from, double to, double surround,
                      double sign)
{
    double moment = 0.0;
    double mass = 0.0;
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(from)));
    for (std::size_t k = first; k < n && static_cast<double>(k) < to; ++k) {
        const double lo = std::max(from, static_cast<double>(k));
        const double hi = std::min(to, static_cast<double>(k) + 1.0);
        if (hi > lo) {
            const double depth = sign * (surround - p[k]) * (hi - lo);
            moment += depth * 0.5 * (lo + hi);
            mass += depth;
        }
    }
    return mass > 0.0 ? moment / mass : 0.5 * (from + to);
}

// Running median of the values at the valid sections, over PlateauPool valid neighbours each
// side.
std::vector<double> pooled(const std::vector<double>& values, const std::vector<bool>& valid)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (valid[i]) {
            at.push_back(i);
        }
    }
    std::vector<double> result(values);
    std::vector<double> window;
    for (std::size_t j = 0; j < at.size(); ++j) {
        const std::size_t from = j >= PlateauPool ? j - PlateauPool : 0;
        const std::size_t to = std::min(at.size(), j + PlateauPool + 1);
        window.clear();
        for (std::size_t k = from; k < to; ++k) {
            window.push_back(values[at[k]]);
        }
        result[at[j]] = median(window);
    }
    return result;
}

} // namespace

double meanOver(const float* p, std::size_t n, double from, double to)
{
    double sum = 0.0;
    double weight = 0.0;
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(from)));
    for (std::size_t k = first; k < n && static_cast<double>(k) < to; ++k) {
        const double overlap =
            std::min(to, static_cast<double>(k) + 1.0) - std::max(from, static_cast<double>(k));
        if (overlap > 0.0) {
            sum += overlap * p[k];
            weight += overlap;
        }
    }
    return weight > 0.0 ? sum / weight : 0.0;
}

double featureSpread(const float* p, std::size_t n, double position, const Feature& feature,
                     double reach)
{
    const bool isStep = feature.kind == Kind::Step;
    const double sign = feature.sign;
    // The samples within reach of the peak: gradients between pixels (a step) or the depth of
    // each pixel below its surround (a thin line).
    const auto first = static_cast<std::size_t>(std::max(0.0, std::floor(position - reach)));
    const auto last = std::min(n, static_cast<std::size_t>(std::max(0.0, position + reach)));
    auto sample = [&](std::size_t k, double& at, double& value) {
        if (isStep) {
            if (k + 1 >= n) {
                return false;
            }
            at = static_cast<double>(k) + 1.0;
            value = sign * (static_cast<double>(p[k + 1]) - p[k]);
            return true;
        }
        if (k < RidgeReach || k + RidgeReach >= n) {
            return false;
        }
        at = static_cast<double>(k) + 0.5;
        value = std::min(sign * p[k - RidgeReach], sign * p[k + RidgeReach]) - sign * p[k];
        return true;
    };
    double peak = 0.0;
    double at = 0.0;
    double value = 0.0;
    for (std::size_t k = first; k < last; ++k) {
        if (sample(k, at, value)) {
            peak = std::max(peak, value);
        }
    }
    double mass = 0.0;
    double moment = 0.0;
    for (std::size_t k = first; k < last; ++k) {
        if (sample(k, at, value) && value > 0.1 * peak) {
            const double weight = value - 0.1 * peak;
            mass += weight;
            moment += weight * (at - position) * (at - position);
        }
    }
    return mass > 0.0 ? moment / mass : 0.0;
}

double leastContrast(double noise)
{
    return std::max(MinContrast, ContrastPerNoise * noise);
}

AreaPoints areaPoints(const Band& band, const Feature& feature, const Curve& course, double window,
                      double least)
{
    const std::size_t sections = band.sections();
    const double halfSpan = band.frame().halfSpan;
    const bool isStep = feature.kind == Kind::Step;
    const double sign = feature.sign;
    AreaPoints result;
    result.fit.curve = course;
    std::vector<double> low(sections);
    std::vector<double> high(sections);
    std::vector<double> from(sections);
    std::vector<double> to(sections);
    std::vector<bool> usable(sections);
    for (int pass = 0; pass < MaxPasses; ++pass) {
        const Curve before = result.fit.curve;
        result.roomy = 0;
        for (std::size_t s = 0; s < sections; ++s) {
            const auto n = static_cast<double>(band.length(s));
            const double centre = before.at(band.u(s)) - static_cast<double>(band.start(s));
            const double space = std::min(centre, n - centre);
            const double w = std::min(window, space);
            usable[s] = w >= 1.0 && space >= w;
            if (!usable[s]) {
                continue;
            }
            ++result.roomy;
            const float* p = band.profile(s);
            const double plateau = std::max(0.5, w / 3.0);
            from[s] = centre - w;
            to[s] = centre + w;
            low[s] = meanOver(p, band.length(s), from[s], from[s] + plateau);
            high[s] = meanOver(p, band.length(s), to[s] - plateau, to[s]);
        }
        const std::vector<double> lows = pooled(low, usable);
        const std::vector<double> highs = pooled(high, usable);
        result.points.clear();
        for (std::size_t s = 0; s < sections; ++s) {
            if (!usable[s]) {
                continue;
            }
            const float* p = band.profile(s);
            const std::size_t n = band.length(s);
            double position = 0.0;
            if (isStep) {
                if (sign * (highs[s] - lows[s]) < least) {
                    continue;
                }
                position = stepByArea(p, n, from[s], to[s], lows[s], highs[s]);
            } else {
                const double surround = 0.5 * (lows[s] + highs[s]);
                const double centre = 0.5 * (from[s] + to[s]);
                const double depth = sign * (surround - meanOver(p, n, centre - 0.5, centre + 0.5));
                if (depth < least) {
                    continue;
                }
                position = lineByCentroid(p, n, from[s], to[s], surround, sign);
            }
            if (std::isfinite(position)) {
                result.points.push_back({band.u(s), static_cast<double>(band.start(s)) + position});
            }
        }
        if (result.points.size() < MinSections) {
            result.points.clear();
            return result;
        }
        result.fit = robustFit(result.points, 2, halfSpan, &before);
        double moved = 0.0;
        for (const double u : {-halfSpan, 0.0, halfSpan}) {
            moved = std::max(moved, std::fabs(result.fit.curve.at(u) - before.at(u)));
        }
        if (moved < SettledShift) {
            break;
        }
    }
    return result;
}

} // namespace measure::edgefit
