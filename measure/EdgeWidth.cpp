#include "EdgeWidth.h"

#include "EdgeCandidates.h"

#include <algorithm>

namespace measure::edgefit {
namespace {

// Where the step's gradient falls below this share of its peak, its plateau begins; a feature
// of the other sense at least this share as strong beside it, or levels that turn back by this
// share of its contrast, is the next feature across.
constexpr double PlateauShare = 0.1;
constexpr double OppositeShare = 0.5;
// A feature whose core is two pixels wide or more is looked at smoothed over half its core, in a
// few rounds as the core it shows widens: spread over dozens of pixels, a soft step's gradient is
// low, and one dip of texture below half its peak would end the core there, so that the step's
// width, the model's window and with them the reading would change from one rough line to the
// next.
constexpr double SmoothedCore = 2.0;
constexpr int SmoothingRounds = 3;

// The mean of values over each index and reach neighbours each side (fewer at the ends).
std::vector<double> smoothed(const std::vector<double>& values, std::size_t reach)
{
    std::vector<double> result(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) {
        const std::size_t from = k > reach ? k - reach : 0;
        const std::size_t to = std::min(values.size(), k + reach + 1);
        double sum = 0.0;
        for (std::size_t j = from; j < to; ++j) {
            sum += values[j];
        }
        result[k] = sum / static_cast<double>(to - from);
    }
    return result;
}

} // namespace

MeanProfile meanProfile(const Band& band, const Curve& course, double sign, int reach)
{
    const std::vector<std::size_t> sample = sectionsToUse(band, true);
    // Offset d lies at index d + reach.
    const auto size = 2 * static_cast<std::size_t>(std::max(reach, 0)) + 1;
    std::vector<double> sum(size, 0.0);
    std::vector<std::size_t> count(size, 0);
    for (const std::size_t s : sample) {
        const float* p = band.profile(s);
        const auto n = static_cast<double>(band.length(s));
        // Profile coordinate of the course; pixel k's centre is k + 0.5.
        const double centre = course.at(band.u(s)) - static_cast<double>(band.start(s));
        for (std::size_t i = 0; i < size; ++i) {
            const double x = centre + static_cast<double>(i) - reach - 0.5;
            if (!(x >= 0.0) || !(x <= n - 1.0)) {
                continue;
            }
            const auto k = static_cast<std::size_t>(x);
            const double f = x - static_cast<double>(k);
            const double value = k + 1 < band.length(s) ? (1.0 - f) * p[k] + f * p[k + 1] : p[k];
            sum[i] += sign * value;
            ++count[i];
        }
    }
    MeanProfile profile;
    const std::size_t enough = std::max<std::size_t>(1, sample.size() / 2);
    std::size_t first = size;
    std::size_t last = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (count[i] >= enough) {
            first = std::min(first, i);
            last = std::max(last, i);
        }
    }
    if (first > last) {
        return profile;
    }
    profile.from = static_cast<int>(first) - reach;
    for (std::size_t i = first; i <= last; ++i) {
        profile.level.push_back(sum[i] / static_cast<double>(std::max<std::size_t>(1, count[i])));
    }
    return profile;
}

Width widthOf(const MeanProfile& profile, const Feature& feature, double scale)
{
    Width width;
    const std::size_t n = profile.level.size();
    if (n < 3) {
        width.filled = true;
        return width;
    }
    // What the feature shows at each offset: the gradient between neighbours (a step), or the
    // depth below the straight line between the profile's two ends (a line, a dip in the
    // sign-adjusted levels).
    std::vector<double> strength;
    auto first = static_cast<double>(profile.from);
    if (feature.kind == Kind::Step) {
        for (std::size_t k = 0; k + 1 < n; ++k) {
            strength.push_back(profile.level[k + 1] - profile.level[k]);
        }
        first += 0.5;
    } else {
        const double left = profile.level.front();
        const double right = profile.level.back();
        for (std::size_t k = 0; k < n; ++k) {
            const double t = static_cast<double>(k) / static_cast<double>(n - 1);
            strength.push_back(left + t * (right - left) - profile.level[k]);
        }
    }
    const std::size_t m = strength.size();
    // What the walks below look at: the gradient, or for a wide feature the gradient smoothed.
    std::vector<double> shown = strength;
    // The peak near the course.
    const double near = std::max(3.0, 2.0 * scale);
    auto peakOf = [&] {
        std::size_t at = m;
        for (std::size_t k = 0; k < m; ++k) {
            const double d = first + static_cast<double>(k);
            if (std::fabs(d) <= near && (at == m || shown[k] > shown[at])) {
                at = k;
            }
        }
        return at;
    };
    std::size_t peak = peakOf();
    if (peak == m || !(shown[peak] > 0.0)) {
        width.filled = true;
        return width;
    }
    // The feature's core: where it stands above half its peak, which gives a first spread
    // (half-width at half maximum over 1.18 for a Gaussian). Its tails count only within three of
    // those: a gentle slope running on beside an edge (shading on a wall) is not the edge.
    auto walk = [&](double share, std::size_t& low, std::size_t& high) {
        const double floor = share * shown[peak];
        low = peak;
        while (low > 0 && shown[low - 1] > floor) {
            --low;
        }
        high = peak;
        while (high + 1 < m && shown[high + 1] > floor) {
            ++high;
        }
    };
    auto coreOf = [&] {
        std::size_t coreLow = 0;
        std::size_t coreHigh = 0;
        walk(0.5, coreLow, coreHigh);
        return 0.5 * static_cast<double>(coreHigh - coreLow + 1) / 1.18;
    };
    double core = coreOf();
    for (int round = 0; round < SmoothingRounds && core >= SmoothedCore; ++round) {
        shown = smoothed(strength, static_cast<std::size_t>(0.5 * core));
        const std::size_t at = peakOf();
        if (at == m || !(shown[at] > 0.0)) {
            break;
        }
        peak = at;
        const double wider = coreOf();
        const bool settled = std::fabs(wider - core) < 1.0;
        core = wider;
        if (settled) {
            break;
        }
    }
    std::size_t low = 0;
    std::size_t high = 0;
    walk(PlateauShare, low, high);
    width.filled = low == 0 || high + 1 >= m;
    const auto tails = static_cast<std::size_t>(std::ceil(3.0 * core));
    low = std::max(low, peak > tails ? peak - tails : 0);
    high = std::min(high, peak + tails);
    // The next feature across: a steep gradient of the other sense or, beside a step, levels
    // turning back by as large a share of its contrast (a soft feature shows no steep gradient).
    const bool step = feature.kind == Kind::Step;
    const double opposite = -OppositeShare * shown[peak];
    const double turnBack =
        step ? OppositeShare * (profile.level[high + 1] - profile.level[low]) : 0.0;
    for (std::size_t k = low; k-- > 0;) {
        if (shown[k] < opposite || (step && profile.level[k] - profile.level[low] > turnBack)) {
            width.clear = std::min(width.clear, static_cast<double>(peak - k));
            break;
        }
    }
    for (std::size_t k = high + 1; k < m; ++k) {
        if (shown[k] < opposite ||
            (step && profile.level[high + 1] - profile.level[k + 1] > turnBack)) {
            width.clear = std::min(width.clear, static_cast<double>(k - peak));
            break;
        }
    }
    const double floor = PlateauShare * shown[peak];
    double mass = 0.0;
    double moment = 0.0;
    double second = 0.0;
    for (std::size_t k = low; k <= high; ++k) {
        const double weight = std::max(0.0, strength[k] - floor);
        const auto d = static_cast<double>(k);
        mass += weight;
        moment += weight * d;
        second += weight * d * d;
    }
    if (!(mass > 0.0)) {
        // The gradient itself stands nowhere above the smoothed one's plateau: its core is all
        // there is to go by.
        width.spread = core;
        return width;
    }
    const double mean = moment / mass;
    width.spread = std::sqrt(std::max(0.0, second / mass - mean * mean));
    return width;
}

bool filledByRamp(const MeanProfile& profile)
{
    constexpr double endShare = 0.15;
    constexpr double stillSteep = 0.3;
    const std::size_t n = profile.level.size();
    if (n < 8) {
        return false;
    }
    const double change = profile.level.back() - profile.level.front();
    if (std::fabs(change) < MinContrast) {
        return false;
    }
    const double sign = change > 0.0 ? 1.0 : -1.0;
    std::vector<double> gradient(n - 1);
    double peak = 0.0;
    for (std::size_t k = 0; k + 1 < n; ++k) {
        gradient[k] = sign * (profile.level[k + 1] - profile.level[k]);
        peak = std::max(peak, gradient[k]);
    }
    const auto outer =
        std::max<std::size_t>(1, static_cast<std::size_t>(endShare * static_cast<double>(n - 1)));
    double low = 0.0;
    double high = 0.0;
    for (std::size_t k = 0; k < outer; ++k) {
        low += gradient[k] / static_cast<double>(outer);
        high += gradient[n - 2 - k] / static_cast<double>(outer);
    }
    return std::max(low, high) > stillSteep * peak;
}

} // namespace measure::edgefit
