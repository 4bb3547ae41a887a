#include "EdgeCandidates.h"

#include "Parallel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace measure::edgefit {
namespace {

// Candidates kept per section and kind: the edge is among the strongest few even where texture
// or a second edge crosses the section.
constexpr std::size_t MostCandidates = 3;
// The gradient peak that counts as a candidate at all, in levels per pixel at the finest scale.
constexpr double MinGradient = 1.0;
// Sections a quick judgement looks at: a sample is enough.
constexpr std::size_t SampledSections = 250;
// Candidates are found on at most this many threads.
constexpr std::size_t MostThreads = 8;

// Three passes of a box of half-width r, the ends repeated: close to a Gaussian.
void smooth(std::vector<float>& x, int r)
{
    if (r <= 0 || x.empty()) {
        return;
    }
    const auto n = static_cast<std::ptrdiff_t>(x.size());
    std::vector<float> out(x.size());
    for (int pass = 0; pass < 3; ++pass) {
        double sum = 0.0;
        auto at = [&](std::ptrdiff_t k) {
            return x[static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(k, 0, n - 1))];
        };
        for (std::ptrdiff_t k = -r; k <= r; ++k) {
            sum += at(k);
        }
        for (std::ptrdiff_t k = 0; k < n; ++k) {
            out[static_cast<std::size_t>(k)] = static_cast<float>(sum / (2 * r + 1));
            sum += at(k + r + 1) - at(k - r);
        }
        x.swap(out);
    }
}

int boxRadius(double scale)
{
    return static_cast<int>(std::lround((std::sqrt(4.0 * scale * scale + 1.0) - 1.0) / 2.0));
}

// The strongest few local peaks of a response, each refined by a parabola through it.
template <typename Response>
std::vector<Candidate> peaks(Response response, std::size_t from, std::size_t to, double at,
                             double least, std::int64_t start)
{
    std::vector<Candidate> found;
    for (std::size_t k = from; k < to; ++k) {
        const double r = response(k);
        if (!(r > least)) {
            continue;
        }
        const double left = k > from ? response(k - 1) : -INFINITY;
        const double right = k + 1 < to ? response(k + 1) : -INFINITY;
        if (r < left || r <= right) {
            continue;
        }
        double shift = 0.0;
        const double curvature = left - 2.0 * r + right;
        if (std::isfinite(curvature) && curvature < 0.0) {
            shift = std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5);
        }
        // Strength as a multiple of the least, which measures it against the noise: steps and
        // lines, and scales, compare alike.
        found.push_back(
            {static_cast<double>(start) + static_cast<double>(k) + at + shift, r / least});
    }
    std::sort(found.begin(), found.end(),
              [](const Candidate& a, const Candidate& b) { return a.strength > b.strength; });
    if (found.size() > MostCandidates) {
        found.resize(MostCandidates);
    }
    return found;
}

// Candidates must stand this many noise deviations above what noise alone gives.
constexpr double NoiseMargin = 3.0;

std::vector<Candidate> candidatesIn(const Band& band, std::size_t s, const Feature& feature,
                                    double scale, double noise)
{
    const float* p = band.profile(s);
    const std::size_t n = band.length(s);
    const double sign = feature.sign;
    const std::int64_t start = band.start(s);
    if (feature.kind == Kind::Line) {
        if (n < 2 * RidgeReach + 1) {
            return {};
        }
        auto response = [&](std::size_t k) {
            return std::min(sign * p[k - RidgeReach], sign * p[k + RidgeReach]) - sign * p[k];
        };
        // The depth below the lighter of two wings: about a noise deviation from noise alone.
        return peaks(response, RidgeReach, n - RidgeReach, 0.5,
                     std::max(MinGradient, NoiseMargin * noise), start);
    }
    if (scale <= 0.0) {
        // Gradient between pixel k and k + 1, smoothed [1 2 1] to keep single noisy pixels down.
        auto gradient = [&](std::size_t k) -> double {
            const double centre = static_cast<double>(p[k + 1]) - p[k];
            const double before = k > 0 ? static_cast<double>(p[k]) - p[k - 1] : centre;
            const double after = k + 2 < n ? static_cast<double>(p[k + 2]) - p[k + 1] : centre;
            return sign * (before + 2.0 * centre + after) / 4.0;
        };
        // The [1 2 1] gradient of noise has half its deviation.
        return n < 2 ? std::vector<Candidate>{}
                     : peaks(gradient, 0, n - 1, 1.0,
                             std::max(MinGradient, 0.5 * NoiseMargin * noise), start);
    }
    const int r = boxRadius(scale);
    const auto margin = 3 * static_cast<std::size_t>(r);
    if (n < 2 * margin + 4) {
        return {};
    }
    std::vector<float> smoothed(p, p + n);
    smooth(smoothed, r);
    // A Gaussian of scale sigma passes noise at 1 / sqrt(2 sqrt(pi) sigma).
    const double kept = noise / std::sqrt(2.0 * std::sqrt(Pi) * scale);
    if (feature.kind == Kind::Line) {
        // A wide line, soft or out of focus: its depth below wings twice the scale away.
        const auto wing = static_cast<std::size_t>(std::lround(2.0 * scale));
        if (n < 2 * (margin + wing) + 1) {
            return {};
        }
        auto response = [&](std::size_t k) {
            return std::min(sign * smoothed[k - wing], sign * smoothed[k + wing]) -
                   sign * smoothed[k];
        };
        return peaks(response, margin + wing, n - margin - wing, 0.5,
                     std::max(MinGradient, NoiseMargin * kept), start);
    }
    auto gradient = [&](std::size_t k) {
        return sign * (static_cast<double>(smoothed[k + 1]) - smoothed[k]);
    };
    // A Gaussian derivative of scale sigma passes noise at 1 / (2 pi^(1/4) sigma^(3/2)).
    const double passed = noise / (2.0 * std::pow(Pi, 0.25) * std::pow(scale, 1.5));
    return peaks(gradient, margin, n - 1 - margin, 1.0,
                 std::max(MinGradient / scale, NoiseMargin * passed), start);
}

} // namespace

double noiseOf(const Band& band)
{
    constexpr std::size_t sampled = 100;
    const std::size_t stride = std::max<std::size_t>(1, band.sections() / sampled);
    std::vector<double> differences;
    for (std::size_t s = 0; s < band.sections(); s += stride) {
        const float* p = band.profile(s);
        for (std::size_t k = 1; k < band.length(s); ++k) {
            differences.push_back(std::fabs(static_cast<double>(p[k]) - p[k - 1]));
        }
    }
    return MadToSigma * median(std::move(differences)) / std::sqrt(2.0);
}

std::vector<std::size_t> sectionsToUse(const Band& band, bool sampled)
{
    const std::size_t stride =
        sampled ? std::max<std::size_t>(1, band.sections() / SampledSections) : 1;
    std::vector<std::size_t> which;
    for (std::size_t s = 0; s < band.sections(); s += stride) {
        which.push_back(s);
    }
    return which;
}

double profilePixels(const Band& band, const std::vector<std::size_t>& which)
{
    double pixels = 0.0;
    for (const std::size_t s : which) {
        pixels += static_cast<double>(band.length(s));
    }
    return pixels;
}

Candidates candidatesOf(const Band& band, const std::vector<std::size_t>& which,
                        const Feature& feature, double scale, double noise)
{
    Candidates all(band.sections());
    // Each section's candidates are its own: a large band's are found on a few threads.
    const std::size_t parts =
        partsFor(profilePixels(band, which), CandidatePixelsPerThread, MostThreads);
    inRuns(which.size(), parts, [&](std::size_t from, std::size_t to, std::size_t) {
        for (std::size_t i = from; i < to; ++i) {
            all[which[i]] = candidatesIn(band, which[i], feature, scale, noise);
        }
    });
    return all;
}

} // namespace measure::edgefit
