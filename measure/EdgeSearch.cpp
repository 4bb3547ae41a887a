#include "EdgeSearch.h"

#include "EdgeCandidates.h"
#include "EdgeWidth.h"
#include "Parallel.h"

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
// How far a candidate may lie from a straight course and still support it, in pixels (or in
// smoothing scales, where that is more).
constexpr double SupportTolerance = 1.5;
// A course needs at least this share of the sections, and half the evidence of the best course,
// before it is a choice at all; it is said to be as much along the line as another within this
// turn.
constexpr double LeastShare = 0.2;
constexpr double ComparableSupport = 0.5;
constexpr double AlikeTurn = 0.5 * Pi / 180.0;
// Of those as much along the line, one holding fewer than this share of the sections the widest
// holds fades out before the line's ends: the one that runs its whole length is its edge.
constexpr double SpansAsFar = 0.8;
// At most this many slopes are tried, and this many distinct courses kept.
constexpr std::size_t MostSlopes = 64;
constexpr std::size_t MostCourses = 8;
// Rounds of following the edge, and a bend beyond this share of its length is no gentle bend.
constexpr int FollowRounds = 5;
constexpr double MostBowShare = 0.03;
// A bow smaller than this (pixels) is no bend worth following.
constexpr double LeastBow = 0.5;
// The band widens up to this many times while the step still fills it.
constexpr int WideningRounds = 4;
// Diagnosis only: an edge turned up to this far tells which end of the line misses it.
constexpr double DiagnosedTurn = 10.0 * Pi / 180.0;

struct Course {
    Feature feature;
    double slope = 0.0;  // dv/du
    double offset = 0.0; // v at u = 0
    std::size_t support = 0;
    double strength = 0.0;
    double turn = 0.0;
};

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

// All courses of every feature at a scale. Each feature's are its own: on a large band the
// features are looked for on a few threads (or, on one, each one's candidates shared out).
std::vector<Course> allCourses(const Band& band, const std::vector<std::size_t>& which,
                               double scale, double noise, double mostTurn, std::size_t least)
{
    std::array<std::vector<Course>, Features.size()> found;
    const std::size_t parts =
        partsFor(profilePixels(band, which) * static_cast<double>(Features.size()),
                 CandidatePixelsPerThread, Features.size());
    inRuns(Features.size(), parts, [&](std::size_t from, std::size_t to, std::size_t) {
        for (std::size_t f = from; f < to; ++f) {
            found[f] = courses(band, candidatesOf(band, which, Features[f], scale, noise),
                               Features[f], toleranceAt(scale), mostTurn, least);
        }
    });
    std::vector<Course> all;
    for (const std::vector<Course>& each : found) {
        all.insert(all.end(), each.begin(), each.end());
    }
    return all;
}

// Among courses of comparable support: the one most nearly along the line, then of those the
// nearer that runs about as far along it as any. A step beside a thin line that answers more
// strongly is the line's own flank.
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
    std::size_t widest = 0;
    for (const Course& c : eligible) {
        if (c.turn <= leastTurn + AlikeTurn) {
            widest = std::max(widest, c.support);
        }
    }
    const Course* chosen = nullptr;
    for (const Course& c : eligible) {
        if (c.turn <= leastTurn + AlikeTurn &&
            static_cast<double>(c.support) >= SpansAsFar * static_cast<double>(widest) &&
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
