#include "EdgeSearch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

namespace measure::edgefit {
namespace {

// Smoothing scales the search looks at, in pixels (0: the pixels' own gradient); the finest
// that shows the edge as well as any coarser one is taken, so a crisp edge keeps its detail
// and a soft one is not lost in the noise.
constexpr std::array<double, 4> Scales = {0.0, 1.5, 4.0, 10.0};
// A coarser scale is taken only when the finer ones show clearly less of the edge.
constexpr double FinerIsEnough = 0.8;
// Candidates kept per section and kind: the edge is among the strongest few even where texture
// or a second edge crosses the section.
constexpr std::size_t MostCandidates = 3;
// The gradient peak that counts as a candidate at all, in levels per pixel at the finest scale.
constexpr double MinGradient = 1.0;
// How far a candidate may lie from a straight course and still support it, in pixels (or in
// smoothing scales, where that is more).
constexpr double SupportTolerance = 1.5;
// A course needs at least this share of the sections, and half the evidence of the best course,
// before it is a choice at all; it is said to be as much along the line as another within this
// turn.
constexpr double LeastShare = 0.2;
constexpr double ComparableSupport = 0.5;
constexpr double AlikeTurn = 0.5 * Pi / 180.0;
// At most this many slopes are tried, and this many distinct courses kept.
constexpr std::size_t MostSlopes = 64;
constexpr std::size_t MostCourses = 8;
// Sections the scale and the step's width are judged on: a sample is enough.
constexpr std::size_t SampledSections = 250;
// Rounds of following the edge, and a bend beyond this share of its length is no gentle bend.
constexpr int FollowRounds = 5;
constexpr double MostBowShare = 0.03;
// A bow smaller than this (pixels) is no bend worth following.
constexpr double LeastBow = 0.5;
// The band widens up to this many times while the step still fills it.
constexpr int WideningRounds = 4;
// Where the step's gradient falls below this share of its peak, its plateau begins; a feature
// of the other sense at least this share as strong beside it is the next feature across.
constexpr double PlateauShare = 0.1;
constexpr double OppositeShare = 0.5;
// Diagnosis only: an edge turned up to this far tells which end of the line misses it.
constexpr double DiagnosedTurn = 10.0 * Pi / 180.0;

struct Candidate {
    double v = 0.0; // absolute, across
    double strength = 0.0;
};
using Candidates = std::vector<std::vector<Candidate>>;

struct Course {
    Feature feature;
    double slope = 0.0;  // dv/du
    double offset = 0.0; // v at u = 0
    std::size_t support = 0;
    double strength = 0.0;
    double turn = 0.0;
};

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

// The pixel noise of the band's levels, a standard deviation: from the median size of the
// differences between neighbours across, which an edge here and there does not move.
double noiseOf(const Band& band)
{
    constexpr double madToSigma = 1.4826;
    constexpr std::size_t sampled = 100;
    const std::size_t stride = std::max<std::size_t>(1, band.sections() / sampled);
    std::vector<double> differences;
    for (std::size_t s = 0; s < band.sections(); s += stride) {
        const float* p = band.profile(s);
        for (std::size_t k = 1; k < band.length(s); ++k) {
            differences.push_back(std::fabs(static_cast<double>(p[k]) - p[k - 1]));
        }
    }
    return madToSigma * median(std::move(differences)) / std::sqrt(2.0);
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

// Steps up and down, dark and light lines.
constexpr std::array<Feature, 4> Features = {Feature{Kind::Step, 1.0}, Feature{Kind::Step, -1.0},
                                             Feature{Kind::Line, 1.0}, Feature{Kind::Line, -1.0}};

// The sections to look at: all, or every few for a quick judgement.
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

Candidates candidatesOf(const Band& band, const std::vector<std::size_t>& which,
                        const Feature& feature, double scale, double noise)
{
    Candidates all(band.sections());
    for (const std::size_t s : which) {
        all[s] = candidatesIn(band, s, feature, scale, noise);
    }
    return all;
}

// The candidate of each section nearest to the course (v = offset + slope u), within tol.
void nearest(const Band& band, const Candidates& candidates, const Curve& course, double tol,
             std::vector<Point>& points, std::vector<bool>& on, double* strength = nullptr)
{
    points.clear();
    on.assign(band.sections(), false);
    double sum = 0.0;
    for (std::size_t s = 0; s < band.sections(); ++s) {
        const double expected = course.at(band.u(s));
        const Candidate* best = nullptr;
        for (const Candidate& c : candidates[s]) {
            if (std::fabs(c.v - expected) <= tol &&
                (best == nullptr || std::fabs(c.v - expected) < std::fabs(best->v - expected))) {
                best = &c;
            }
        }
        if (best != nullptr) {
            points.push_back({band.u(s), best->v});
            on[s] = true;
            sum += best->strength;
        }
    }
    if (strength != nullptr) {
        *strength = points.empty() ? 0.0 : sum / static_cast<double>(points.size());
    }
}

Curve lineCurve(double offset, double slope, double tScale)
{
    Curve curve;
    curve.tScale = tScale;
    curve.c = {offset, slope * tScale, 0.0};
    return curve;
}

// The straight courses the candidates support: for each slope within mostTurn of the rough
// line, the number of sections with a candidate within tol of each offset, kept where it peaks.
std::vector<Course> courses(const Band& band, const Candidates& candidates, const Feature& feature,
                            double tol, double mostTurn, std::size_t least)
{
    const Frame& frame = band.frame();
    const double halfSpan = std::max(frame.halfSpan, 1.0);
    const double along = std::atan(frame.slope);
    const double lo = std::tan(std::max(along - mostTurn, -0.49 * Pi));
    const double hi = std::tan(std::min(along + mostTurn, 0.49 * Pi));
    const auto slopes = static_cast<std::size_t>(
        std::clamp((hi - lo) / (tol / halfSpan), 1.0, static_cast<double>(MostSlopes - 1)) + 1);
    const double step = slopes > 1 ? (hi - lo) / static_cast<double>(slopes - 1) : 0.0;
    // Where the slopes tried lie farther apart than the tolerance over the line's length, a
    // course between two of them still gathers its candidates.
    tol = std::max(tol, 0.5 * step * halfSpan);
    std::vector<Course> raw;
    std::vector<std::size_t> count;
    std::vector<std::size_t> last;
    std::vector<double> sum;
    for (std::size_t j = 0; j < slopes; ++j) {
        const double m = slopes > 1 ? lo + step * static_cast<double>(j) : frame.slope;
        double aMin = std::numeric_limits<double>::infinity();
        double aMax = -std::numeric_limits<double>::infinity();
        for (std::size_t s = 0; s < band.sections(); ++s) {
            for (const Candidate& c : candidates[s]) {
                aMin = std::min(aMin, c.v - m * band.u(s));
                aMax = std::max(aMax, c.v - m * band.u(s));
            }
        }
        if (!(aMax >= aMin)) {
            return {};
        }
        const auto bins = static_cast<std::size_t>((aMax - aMin) / tol) + 2;
        count.assign(bins, 0);
        last.assign(bins, band.sections());
        sum.assign(bins, 0.0);
        for (std::size_t s = 0; s < band.sections(); ++s) {
            for (const Candidate& c : candidates[s]) {
                const auto bin = static_cast<std::size_t>((c.v - m * band.u(s) - aMin) / tol);
                // Windows of two bins, so every candidate within tol of a window's middle counts.
                for (const std::size_t w : {bin, bin - 1}) {
                    if (w < bins && last[w] != s) {
                        last[w] = s;
                        ++count[w];
                        sum[w] += c.strength;
                    }
                }
            }
        }
        for (std::size_t w = 0; w < bins; ++w) {
            const bool peak =
                (w == 0 || count[w] >= count[w - 1]) && (w + 1 == bins || count[w] > count[w + 1]);
            if (peak && count[w] >= least) {
                raw.push_back({feature, m, aMin + (static_cast<double>(w) + 1.0) * tol, count[w],
                               sum[w] / static_cast<double>(count[w]), 0.0});
            }
        }
    }
    std::sort(raw.begin(), raw.end(), [](const Course& a, const Course& b) {
        return a.support != b.support ? a.support > b.support : a.strength > b.strength;
    });
    // One course per feature: those that stay within a few tolerances of a stronger one are it.
    std::vector<Course> kept;
    for (const Course& c : raw) {
        const bool distinct = std::all_of(kept.begin(), kept.end(), [&](const Course& k) {
            return std::fabs(c.offset - k.offset) + std::fabs(c.slope - k.slope) * halfSpan >=
                   3.0 * tol;
        });
        if (distinct) {
            kept.push_back(c);
            if (kept.size() == MostCourses) {
                break;
            }
        }
    }
    // Each course set by a least-squares line through its own candidates.
    std::vector<Point> points;
    std::vector<bool> on;
    for (Course& c : kept) {
        nearest(band, candidates, lineCurve(c.offset, c.slope, halfSpan), tol, points, on);
        const auto line = weightedFit(points, std::vector<double>(points.size(), 1.0), 1, halfSpan);
        if (line && points.size() >= MinSections) {
            c.offset = line->c[0];
            c.slope = line->slope(0.0);
        }
        c.turn = std::fabs(std::atan(c.slope) - along);
    }
    return kept;
}

double toleranceAt(double scale)
{
    return std::max(SupportTolerance, scale);
}

// All courses of every feature at a scale.
std::vector<Course> allCourses(const Band& band, const std::vector<std::size_t>& which,
                               double scale, double noise, double mostTurn, std::size_t least,
                               std::vector<Candidates>* kept = nullptr)
{
    std::vector<Course> all;
    for (const Feature& feature : Features) {
        Candidates candidates = candidatesOf(band, which, feature, scale, noise);
        const std::vector<Course> found =
            courses(band, candidates, feature, toleranceAt(scale), mostTurn, least);
        all.insert(all.end(), found.begin(), found.end());
        if (kept != nullptr) {
            kept->push_back(std::move(candidates));
        }
    }
    return all;
}

// Among courses of comparable support: the one most nearly along the line, then the nearer. A
// step beside a thin line that answers more strongly is the line's own flank.
std::optional<Course> choose(const std::vector<Course>& all, const Frame& frame, std::size_t least)
{
    // A course's evidence: how many sections hold it, each by how strongly.
    auto evidence = [](const Course& c) {
        return static_cast<double>(c.support) * c.strength;
    };
    double best = 0.0;
    for (const Course& c : all) {
        best = std::max(best, evidence(c));
    }
    auto comparable = [&](const Course& c) {
        return c.support >= least && evidence(c) >= ComparableSupport * best;
    };
    std::vector<Course> eligible;
    for (const Course& c : all) {
        if (!comparable(c)) {
            continue;
        }
        const bool flank = c.feature.kind == Kind::Step &&
                           std::any_of(all.begin(), all.end(), [&](const Course& line) {
                               return line.feature.kind == Kind::Line && comparable(line) &&
                                      line.strength >= c.strength &&
                                      std::fabs(line.offset - c.offset) <= 3.0 &&
                                      std::fabs(line.turn - c.turn) < AlikeTurn;
                           });
        if (!flank) {
            eligible.push_back(c);
        }
    }
    if (eligible.empty()) {
        return std::nullopt;
    }
    double leastTurn = INFINITY;
    for (const Course& c : eligible) {
        leastTurn = std::min(leastTurn, c.turn);
    }
    const Course* chosen = nullptr;
    for (const Course& c : eligible) {
        if (c.turn <= leastTurn + AlikeTurn &&
            (chosen == nullptr ||
             std::fabs(c.offset - frame.vc) < std::fabs(chosen->offset - frame.vc))) {
            chosen = &c;
        }
    }
    return *chosen;
}

struct Choice {
    std::optional<Course> course;
    double scale = 0.0;
};

// The finest scale that shows the edge about as well as any, and the course chosen there.
Choice chooseCourse(const Band& band, double mostTurn)
{
    const double noise = noiseOf(band);
    const std::vector<std::size_t> sample = sectionsToUse(band, true);
    const auto leastIn = [](std::size_t sections) {
        return std::max(MinSections, static_cast<std::size_t>(
                                         std::ceil(LeastShare * static_cast<double>(sections))));
    };
    const std::size_t least = leastIn(sample.size());
    std::vector<std::vector<Course>> found(Scales.size());
    std::vector<std::size_t> support(Scales.size(), 0);
    std::size_t most = 0;
    for (std::size_t i = 0; i < Scales.size(); ++i) {
        found[i] = allCourses(band, sample, Scales[i], noise, mostTurn, least);
        for (const Course& c : found[i]) {
            support[i] = std::max(support[i], c.support);
        }
        most = std::max(most, support[i]);
        // No coarser scale can show clearly more than all the sections.
        if (static_cast<double>(support[i]) >= FinerIsEnough * static_cast<double>(sample.size())) {
            break;
        }
    }
    Choice choice;
    if (most == 0) {
        return choice;
    }
    for (std::size_t i = 0; i < Scales.size(); ++i) {
        if (static_cast<double>(support[i]) >= FinerIsEnough * static_cast<double>(most)) {
            choice.scale = Scales[i];
            choice.course = choose(found[i], band.frame(), least);
            break;
        }
    }
    return choice;
}

// The band's mean level at each whole offset d from the course (sign-adjusted, so a step
// rises), over a sample of sections, and the offsets every sampled section holds.
struct MeanProfile {
    std::vector<double> level;
    int from = 0; // the offset of level[0]
};

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

// The step's spread on the mean profile, and whether it still fills the profile on a side (its
// gradient not yet down to a plateau there).
struct Width {
    double spread = 0.0;
    bool filled = false;
    // How far from the feature's peak the next feature of the other sense begins (the far side
    // of a wide dark band whose near side is the step), on the nearer side.
    double clear = INFINITY;
};

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
    // The peak near the course.
    const double near = std::max(3.0, 2.0 * scale);
    std::size_t peak = m;
    for (std::size_t k = 0; k < m; ++k) {
        const double d = first + static_cast<double>(k);
        if (std::fabs(d) <= near && (peak == m || strength[k] > strength[peak])) {
            peak = k;
        }
    }
    if (peak == m || !(strength[peak] > 0.0)) {
        width.filled = true;
        return width;
    }
    // The feature's core: where it stands above half its peak, which gives a first spread
    // (half-width at half maximum over 1.18 for a Gaussian). Its tails count only within three of
    // those: a gentle slope running on beside an edge (shading on a wall) is not the edge.
    auto walk = [&](double share, std::size_t& low, std::size_t& high) {
        const double floor = share * strength[peak];
        low = peak;
        while (low > 0 && strength[low - 1] > floor) {
            --low;
        }
        high = peak;
        while (high + 1 < m && strength[high + 1] > floor) {
            ++high;
        }
    };
    std::size_t coreLow = 0;
    std::size_t coreHigh = 0;
    walk(0.5, coreLow, coreHigh);
    const double core = 0.5 * static_cast<double>(coreHigh - coreLow + 1) / 1.18;
    std::size_t low = 0;
    std::size_t high = 0;
    walk(PlateauShare, low, high);
    width.filled = low == 0 || high + 1 >= m;
    const auto tails = static_cast<std::size_t>(std::ceil(3.0 * core));
    low = std::max(low, peak > tails ? peak - tails : 0);
    high = std::min(high, peak + tails);
    for (std::size_t k = low; k-- > 0;) {
        if (strength[k] < -OppositeShare * strength[peak]) {
            width.clear = std::min(width.clear, static_cast<double>(peak - k));
            break;
        }
    }
    for (std::size_t k = high + 1; k < m; ++k) {
        if (strength[k] < -OppositeShare * strength[peak]) {
            width.clear = std::min(width.clear, static_cast<double>(k - peak));
            break;
        }
    }
    const double floor = PlateauShare * strength[peak];
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
    const double mean = moment / mass;
    width.spread = std::sqrt(std::max(0.0, second / mass - mean * mean));
    return width;
}

// Whether the band's mean profile is one ramp that runs on past both its ends (or past one end
// as steeply as at its steepest): a step wider than the band, whose course no section shows.
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

// Follows the chosen course where it bends, widening the band where it leads out of it.
std::optional<Found> follow(Band& band, const Course& course, double scale, double reach)
{
    const double halfSpan = std::max(band.frame().halfSpan, 1.0);
    Found found;
    found.feature = course.feature;
    found.course = lineCurve(course.offset, course.slope, halfSpan);
    const std::vector<std::size_t> every = sectionsToUse(band, false);
    const double noise = noiseOf(band);
    Candidates candidates = candidatesOf(band, every, course.feature, scale, noise);
    std::vector<Point> points;
    std::vector<bool> on;
    for (int round = 0; round < FollowRounds; ++round) {
        const double tol = toleranceAt(scale) * (round == 0 ? 2.0 : 1.5);
        nearest(band, candidates, found.course, tol, points, on);
        if (points.size() < MinSections) {
            return std::nullopt;
        }
        const RobustFit line = robustFit(points, 1, halfSpan, &found.course);
        const RobustFit bent = robustFit(points, 2, halfSpan, &line.curve);
        const Extent extent = extentOf(points, bent.weight);
        const double bow = std::fabs(bowOf(bent.curve, extent.from, extent.to));
        const bool gentle = bow <= MostBowShare * 2.0 * halfSpan;
        found.course = bow > LeastBow && gentle ? bent.curve : line.curve;
        if (!widenAround(band, found.course, reach, true)) {
            break;
        }
        candidates = candidatesOf(band, every, course.feature, scale, noise);
    }
    return found;
}

} // namespace

// Widens the sections to hold reach pixels either side of the course; with onlyNearEnds, only
// those where the course comes within half of that of a profile's end.
bool widenAround(Band& band, const Curve& course, double reach, bool onlyNearEnds)
{
    std::vector<double> from(band.sections(), NAN);
    std::vector<double> to(band.sections(), NAN);
    for (std::size_t s = 0; s < band.sections(); ++s) {
        const double centre = course.at(band.u(s));
        const auto start = static_cast<double>(band.start(s));
        const double end = start + static_cast<double>(band.length(s));
        if (onlyNearEnds && centre - start >= 0.5 * reach && end - centre >= 0.5 * reach) {
            continue;
        }
        from[s] = centre - reach;
        to[s] = centre + reach;
    }
    return band.widen(from, to);
}

Gap gapOf(const Band& band, const std::vector<bool>& onEdge)
{
    constexpr double endStretch = 0.3;
    constexpr double almostNone = 0.1;
    constexpr double enough = 0.4;
    const double halfSpan = std::max(band.frame().halfSpan, 1.0);
    std::array<std::size_t, 3> total{};
    std::array<std::size_t, 3> on{};
    for (std::size_t s = 0; s < band.sections(); ++s) {
        const double t = (band.u(s) + halfSpan) / (2.0 * halfSpan);
        const std::size_t part = t < endStretch ? 0 : (t > 1.0 - endStretch ? 2 : 1);
        ++total[part];
        on[part] += onEdge[s] ? 1 : 0;
    }
    auto share = [&](std::size_t a, std::size_t b) {
        const std::size_t t = total[a] + total[b];
        return t == 0 ? 0.0 : static_cast<double>(on[a] + on[b]) / static_cast<double>(t);
    };
    if (total[0] > 0 && share(0, 0) < almostNone && share(1, 2) >= enough) {
        return Gap::First;
    }
    if (total[2] > 0 && share(2, 2) < almostNone && share(0, 1) >= enough) {
        return Gap::Last;
    }
    return Gap::Along;
}

Search searchEdge(Band& band, double reach, double cap, double mostTurn)
{
    Search search;
    double looked = reach;
    // A step wider than the band fills it with a ramp: the band widens around the line until it
    // holds the step, before any course is chosen.
    const Curve rough =
        lineCurve(band.frame().vc, band.frame().slope, std::max(band.frame().halfSpan, 1.0));
    for (int round = 0; round < WideningRounds && looked < cap; ++round) {
        if (!filledByRamp(meanProfile(band, rough, 1.0, static_cast<int>(looked)))) {
            break;
        }
        looked = std::min(cap, 2.0 * looked);
        widenAround(band, rough, looked);
    }
    Choice choice = chooseCourse(band, mostTurn);
    if (!choice.course) {
        // Which end misses the edge: an edge the band holds only part of the way, turned more
        // than a line along it could be.
        const std::vector<std::size_t> sample = sectionsToUse(band, true);
        const double noise = noiseOf(band);
        const std::vector<Course> turned = allCourses(
            band, sample, choice.scale, noise, DiagnosedTurn,
            std::max(MinSections,
                     static_cast<std::size_t>(LeastShare * static_cast<double>(sample.size()))));
        if (const auto c = choose(turned, band.frame(), MinSections)) {
            std::vector<Point> points;
            std::vector<bool> on;
            const Candidates candidates =
                candidatesOf(band, sectionsToUse(band, false), c->feature, choice.scale, noise);
            nearest(band, candidates,
                    lineCurve(c->offset, c->slope, std::max(band.frame().halfSpan, 1.0)),
                    toleranceAt(choice.scale), points, on);
            search.gap = gapOf(band, on);
        }
        return search;
    }
    std::optional<Found> found = follow(band, *choice.course, choice.scale, looked);
    if (!found) {
        return search;
    }
    // Widen until the band holds the whole step (or line) and its plateaus.
    double held = looked;
    auto widthNow = [&] {
        return widthOf(
            meanProfile(band, found->course, found->feature.sign, static_cast<int>(held)),
            found->feature, choice.scale);
    };
    Width width = widthNow();
    for (int round = 0; width.filled && round < WideningRounds && held < cap; ++round) {
        held = std::min(cap, 2.0 * held);
        widenAround(band, found->course, held);
        width = widthNow();
    }
    found->spread = width.spread;
    found->clear = width.clear;
    // A soft feature's spread is the band's mean profile's; a narrow one's is measured section
    // by section, as the pixels show it, where pixel noise does not swamp it.
    if (found->spread < SoftSpread) {
        // Narrow features: section by section, as the pixels show them.
        std::vector<double> spreads;
        for (std::size_t s = 0; s < band.sections(); ++s) {
            const double at = found->course.at(band.u(s)) - static_cast<double>(band.start(s));
            if (at > 0.0 && at < static_cast<double>(band.length(s))) {
                spreads.push_back(
                    featureSpread(band.profile(s), band.length(s), at, found->feature, 5.0));
            }
        }
        found->spread = std::sqrt(median(spreads));
    }
    found->noise = noiseOf(band);
    search.found = found;
    return search;
}

} // namespace measure::edgefit
