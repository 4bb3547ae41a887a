#include "StepModel.h"

#include "EdgeFrame.h"
#include "EdgePoints.h"
#include "Parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <utility>

namespace measure::edgefit {
namespace {

// Gauss-Newton rounds for one section's step: it starts within a fraction of a pixel.
constexpr int SectionIterations = 4;
// A round that moves the step by less than this share of a pixel, and its levels by less than
// this much, leaves the rounds after it nothing that a reading could show.
constexpr double SettledOffset = 1e-4;
constexpr double SettledLevels = 1e-3;
// The robust deviation of a section's pixel misfits is never taken below a grey level, so that
// a clean step's rounding to whole levels sets no pixel aside; and a pixel on the step's ramp may
// misfit by what moving the step by this share of a pixel would change in it, as a sharp step's
// pixels do where the model is a little off.
constexpr double LeastPixelSpread = 1.0;
constexpr double RampAllowance = 0.1;
// Tukey's biweight on a pixel's misfit reaches zero at this many robust deviations: wider than
// the line fit's bound, so that the pixels of a clean, noisy edge keep nearly their full weight
// and its noise is averaged as well as before (at 4.685 the lost weight cost a noisy, blurred
// step a little of its precision).
constexpr double PixelCutoff = 8.0;
// The blur is found to this share of itself, or to this many pixels where that is finer.
constexpr double BlurShare = 0.01;
constexpr double BlurTolerance = 0.03;
// Sections that choose the blur: a sample is enough and keeps long edges fast. What tells the
// blur is the pixels on and beside the ramp, so a soft step's wide windows need fewer sections
// for as many of them: the sample holds about this many pixels, in no fewer sections than the
// least (enough for the trimmed sum to set a few crossed ones aside).
constexpr std::size_t SampledSections = 100;
constexpr std::size_t LeastSampledSections = 40;
constexpr double SampledPixels = 2500.0;
constexpr int ModelRounds = 2;
constexpr double SettledWindow = 0.02;
// A section whose misfit exceeds the usual by this factor (three times its root mean square)
// does not show the step alone.
constexpr double WorseThanUsual = 9.0;
// The model's table has this many entries per pixel for a sharp step; a softer one is smooth
// enough for fewer. The blur is looked for with a table of at most SearchTable entries per pixel.
constexpr int FinestTable = 64;
constexpr int CoarsestTable = 8;
constexpr int SearchTable = 16;

// Sections are fitted on more than one thread only where each thread has at least this many
// pixels of windows to fit (starting a thread costs about what fitting a few thousand pixels
// does), and on at most this many.
constexpr double WorkPerThread = 4000.0;
constexpr std::size_t MostThreads = 8;

// Beyond this many deviations the normal distribution's tails are below 1e-19: taken as 0 and
// 1 exactly, which spares the library's slow underflowing paths across a sharp step's table.
constexpr double FarTail = 9.0;

double normalCdf(double t)
{
    if (std::fabs(t) > FarTail) {
        return t > 0.0 ? 1.0 : 0.0;
    }
    return 0.5 * std::erfc(-t / std::sqrt(2.0));
}

double normalPdf(double t)
{
    if (std::fabs(t) > FarTail) {
        return 0.0;
    }
    return std::exp(-0.5 * t * t) / std::sqrt(2.0 * Pi);
}

// How much of a pixel lies past a straight step, as a function of the distance d from the
// pixel's centre to the step across the section: the pixel's own extent across, its extent
// along spread across by the step's slope, and a Gaussian blur. Tabulated, since a fit asks for
// it at every pixel near the edge many times.
class StepModel {
public:
    StepModel(double sigma, double slope, double reach, int perPixel, int nodes)
        : m_reach(reach)
        , m_step(1.0 / perPixel)
        , m_perPixel(perPixel)
    {
        // Gauss-Legendre nodes on [-1, 1] for the spread along the section's neighbour.
        static constexpr std::array<double, 4> nodes8 = {0.1834346424956498, 0.5255324099163290,
                                                         0.7966664774136267, 0.9602898564975363};
        static constexpr std::array<double, 4> weights8 = {0.3626837833783620, 0.3137066458778873,
                                                           0.2223810344533745, 0.1012285362903763};
        static constexpr std::array<double, 2> nodes4 = {0.3399810435848563, 0.8611363115940526};
        static constexpr std::array<double, 2> weights4 = {0.6521451548625461, 0.3478548451374539};
        const double* at = nodes == 8 ? nodes8.data() : nodes4.data();
        const double* weight = nodes == 8 ? weights8.data() : weights4.data();
        const int half = nodes / 2;
        const double spread = 0.5 * std::fabs(slope);
        const auto count = static_cast<std::size_t>(2.0 * reach / m_step) + 2;
        m_share.assign(count, 0.0);
        m_slope.assign(count, 0.0);
        // A pixel's two borders lie one pixel, perPixel entries, apart: the CDF and its
        // antiderivative are taken once on a grid from half a pixel before the table's first
        // entry to half a pixel after its last, and each entry takes the difference of two.
        const auto span = static_cast<std::size_t>(perPixel);
        std::vector<double> cdf(count + span);
        std::vector<double> integral(count + span);
        for (int j = 0; j < half; ++j) {
            for (const double side : {-1.0, 1.0}) {
                const double shift = side * spread * at[j];
                for (std::size_t k = 0; k < cdf.size(); ++k) {
                    const double border =
                        (-reach - 0.5 + static_cast<double>(k) * m_step - shift) / sigma;
                    cdf[k] = normalCdf(border);
                    integral[k] = border * cdf[k] + normalPdf(border);
                }
                // sigma times the difference of the CDF's antiderivative at both borders.
                for (std::size_t i = 0; i < count; ++i) {
                    m_share[i] += 0.5 * weight[j] * sigma * (integral[i + span] - integral[i]);
                    m_slope[i] += 0.5 * weight[j] * (cdf[i + span] - cdf[i]);
                }
            }
        }
    }

    // The share past the step and its rate of change with d.
    void at(double d, double& share, double& slope) const
    {
        const double x = (d + m_reach) * m_perPixel;
        if (!(x >= 0.0)) {
            share = 0.0;
            slope = 0.0;
            return;
        }
        const auto i = static_cast<std::size_t>(x);
        if (i + 1 >= m_share.size()) {
            share = 1.0;
            slope = 0.0;
            return;
        }
        // Cubic Hermite between grid points for the share, linear for its slope.
        const double t = x - static_cast<double>(i);
        const double t2 = t * t;
        const double t3 = t2 * t;
        share = (2 * t3 - 3 * t2 + 1) * m_share[i] + (t3 - 2 * t2 + t) * m_step * m_slope[i] +
                (-2 * t3 + 3 * t2) * m_share[i + 1] + (t3 - t2) * m_step * m_slope[i + 1];
        slope = (1.0 - t) * m_slope[i] + t * m_slope[i + 1];
    }

private:
    double m_reach;
    double m_step;
    double m_perPixel;
    std::vector<double> m_share;
    std::vector<double> m_slope;
};

// One section's step fitted by the model: low level, contrast and the step's offset from the
// line, by Gauss-Newton from the line's own position. The residual sum says how well it fits
// (where the model does not settle, how well the mean level alone does).
struct SectionFit {
    double offset = 0.0;
    double contrast = 0.0;
    double residual = 0.0;
    bool ok = false;
    bool inWindow = false; // the window held enough pixels to try
};

// What one section's fit works in, kept from section to section so that fitting allocates
// nothing: each pixel's weight, its misfit, and a copy of the misfits to take their median.
struct Scratch {
    std::vector<double> weight;
    std::vector<double> size;
    std::vector<double> sorted;

    void reserve(std::size_t pixels)
    {
        weight.reserve(pixels);
        size.reserve(pixels);
        sorted.reserve(pixels);
    }
};

SectionFit fitSection(const float* p, std::size_t n, double centre, double window,
                      const StepModel& model, Scratch& scratch)
{
    SectionFit result;
    const auto first = static_cast<std::size_t>(
        std::clamp(std::ceil(centre - window - 0.5), 0.0, static_cast<double>(n)));
    const auto last = static_cast<std::size_t>(
        std::clamp(std::floor(centre + window - 0.5) + 1.0, 0.0, static_cast<double>(n)));
    if (last < first + 4 || static_cast<double>(first) + 0.5 > centre - 1.0 ||
        static_cast<double>(last) - 0.5 < centre + 1.0) {
        return result;
    }
    result.inWindow = true;
    // A section where the model does not settle is fitted no better than by its mean level, so
    // that a blur under which the model fails in many sections never looks better than one
    // under which it fits them.
    auto unsettled = [&] {
        double mean = 0.0;
        for (std::size_t k = first; k < last; ++k) {
            mean += p[k];
        }
        mean /= static_cast<double>(last - first);
        for (std::size_t k = first; k < last; ++k) {
            result.residual += (p[k] - mean) * (p[k] - mean);
        }
        return result;
    };
    double low = 0.0;
    double contrast = 0.0;
    double offset = 0.0;
    auto misfitAt = [&](std::size_t k) {
        double share = 0.0;
        double slope = 0.0;
        model.at(static_cast<double>(k) + 0.5 - centre - offset, share, slope);
        return p[k] - (low + contrast * share);
    };
    // Each pixel's weight: all alike at first, then by how well it fits (below).
    std::vector<double>& weight = scratch.weight;
    weight.assign(last - first, 1.0);
    // Gauss-Newton on the weighted pixels from the current levels and offset; false where it
    // does not settle.
    auto settle = [&](int firstIteration) {
        for (int iteration = firstIteration; iteration < SectionIterations; ++iteration) {
            // Normal equations of the linearised model low + contrast * share(d - offset); the
            // matrix is symmetric, so its upper half is summed.
            double s00 = 0.0;
            double s01 = 0.0;
            double s02 = 0.0;
            double s11 = 0.0;
            double s12 = 0.0;
            double s22 = 0.0;
            double r0 = 0.0;
            double r1 = 0.0;
            double r2 = 0.0;
            const double from = static_cast<double>(first) + 0.5 - centre - offset;
            for (std::size_t k = first; k < last; ++k) {
                const double w = weight[k - first];
                if (w == 0.0) {
                    continue;
                }
                double share = 0.0;
                double slope = 0.0;
                model.at(from + static_cast<double>(k - first), share, slope);
                const double r = p[k] - (low + contrast * share);
                const double move = -contrast * slope;
                const double ws = w * share;
                const double wm = w * move;
                s00 += w;
                s01 += ws;
                s02 += wm;
                s11 += ws * share;
                s12 += ws * move;
                s22 += wm * move;
                r0 += w * r;
                r1 += ws * r;
                r2 += wm * r;
            }
            std::array<std::array<double, 4>, 3> m = {
                {{s00, s01, s02, r0}, {s01, s11, s12, r1}, {s02, s12, s22, r2}}};
            // On the first round the offset is held: the contrast is still unknown.
            const int unknowns = iteration == 0 ? 2 : 3;
            for (int col = 0; col < unknowns; ++col) {
                int pivot = col;
                for (int row = col + 1; row < unknowns; ++row) {
                    if (std::fabs(m[row][col]) > std::fabs(m[pivot][col])) {
                        pivot = row;
                    }
                }
                if (!(std::fabs(m[pivot][col]) > 1e-12)) {
                    return false;
                }
                std::swap(m[col], m[pivot]);
                for (int row = 0; row < unknowns; ++row) {
                    if (row != col) {
                        const double factor = m[row][col] / m[col][col];
                        for (int k = col; k < 4; ++k) {
                            m[row][k] -= factor * m[col][k];
                        }
                    }
                }
            }
            const double lowStep = m[0][3] / m[0][0];
            const double contrastStep = m[1][3] / m[1][1];
            const double offsetStep =
                unknowns == 3 ? std::clamp(m[2][3] / m[2][2], -1.0, 1.0) : 0.0;
            low += lowStep;
            contrast += contrastStep;
            offset += offsetStep;
            if (!std::isfinite(low) || !std::isfinite(contrast) ||
                std::fabs(offset) > std::max(2.0, 0.25 * window)) {
                return false;
            }
            if (unknowns == 3 && std::fabs(offsetStep) < SettledOffset &&
                std::fabs(lowStep) + std::fabs(contrastStep) < SettledLevels) {
                break;
            }
        }
        return true;
    };
    if (!settle(0)) {
        return unsettled();
    }
    // Where a stalk or a post crosses a part of the window, its pixels fit far worse than the
    // rest: they are set aside (Tukey's biweight on the misfits' robust deviation), and the step
    // is placed again by what is left.
    // One pass over the model: each pixel's misfit, and (held in its weight until the weights are
    // known) what the ramp allows it.
    std::vector<double>& size = scratch.size;
    size.resize(last - first);
    for (std::size_t k = first; k < last; ++k) {
        double share = 0.0;
        double slope = 0.0;
        model.at(static_cast<double>(k) + 0.5 - centre - offset, share, slope);
        size[k - first] = std::fabs(p[k] - (low + contrast * share));
        weight[k - first] = RampAllowance * std::fabs(contrast * slope);
    }
    std::vector<double>& sorted = scratch.sorted;
    sorted.assign(size.begin(), size.end());
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const double spread = std::max(LeastPixelSpread, MadToSigma * *middle);
    for (std::size_t i = 0; i < size.size(); ++i) {
        const double t = size[i] / (PixelCutoff * std::max(spread, weight[i]));
        weight[i] = t < 1.0 ? (1.0 - t * t) * (1.0 - t * t) : 0.0;
    }
    if (!settle(1)) {
        return unsettled();
    }
    double residual = 0.0;
    for (std::size_t k = first; k < last; ++k) {
        const double r = misfitAt(k);
        residual += r * r;
    }
    result.offset = offset;
    result.contrast = contrast;
    result.residual = residual;
    result.ok = true;
    return result;
}

// Where f, a function of one variable with one minimum in [lo, hi], is least, to within
// tolerance / 2: Brent's method, a parabola through the three best points so far where it falls
// well inside what is left, a golden-section step where not. A smooth function takes about half
// the evaluations a golden-section search alone does.
template <typename F> double minimise(const F& f, double lo, double hi, double tolerance)
{
    constexpr double goldenStep = 0.3819660112501051; // 2 minus the golden ratio
    const double least = 0.25 * tolerance;            // no two evaluations nearer than this
    double x = lo + goldenStep * (hi - lo);           // the best point so far
    double w = x;                                     // the second best
    double v = x;                                     // the one before it
    double fx = f(x);
    double fw = fx;
    double fv = fx;
    double step = 0.0;
    double before = 0.0; // the step before the last
    // The steps narrow [lo, hi] until x is within tolerance / 2 of its ends; the bound on the
    // rounds only guards against a function that is not a number.
    for (int round = 0; round < 100; ++round) {
        const double middle = 0.5 * (lo + hi);
        if (std::fabs(x - middle) <= 2.0 * least - 0.5 * (hi - lo)) {
            return x;
        }
        bool parabolic = false;
        if (std::fabs(before) > least) {
            const double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) {
                p = -p;
            } else {
                q = -q;
            }
            const double older = before;
            before = step;
            // Only a step shorter than half the one before last, and inside what is left.
            if (std::fabs(p) < std::fabs(0.5 * q * older) && p > q * (lo - x) && p < q * (hi - x)) {
                step = p / q;
                if (x + step - lo < 2.0 * least || hi - (x + step) < 2.0 * least) {
                    step = middle >= x ? least : -least;
                }
                parabolic = true;
            }
        }
        if (!parabolic) {
            before = x >= middle ? lo - x : hi - x;
            step = goldenStep * before;
        }
        const double u = std::fabs(step) >= least ? x + step : x + (step >= 0.0 ? least : -least);
        const double fu = f(u);
        if (fu <= fx) {
            (u >= x ? lo : hi) = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            (u < x ? lo : hi) = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    return x;
}

// Fits the step in each section of which, each about centreOf(section), into fits (in the same
// order). Every section's fit is its own, so on a large band they are shared out among a few
// threads, and the answer is the same however they are shared.
template <typename CentreOf>
void fitAll(const Band& band, const std::vector<std::size_t>& which, const CentreOf& centreOf,
            double window, const StepModel& model, std::vector<Scratch>& scratch,
            std::vector<SectionFit>& fits)
{
    fits.assign(which.size(), SectionFit{});
    const double work = static_cast<double>(which.size()) * (2.0 * window + 1.0);
    const std::size_t threads = partsFor(work, WorkPerThread, std::min(MostThreads, which.size()));
    if (scratch.size() < threads) {
        std::size_t longest = 0;
        for (std::size_t s = 0; s < band.sections(); ++s) {
            longest = std::max(longest, band.length(s));
        }
        scratch.resize(threads);
        for (Scratch& each : scratch) {
            each.reserve(longest);
        }
    }
    inRuns(which.size(), threads, [&](std::size_t from, std::size_t to, std::size_t part) {
        for (std::size_t i = from; i < to; ++i) {
            const std::size_t s = which[i];
            fits[i] = fitSection(band.profile(s), band.length(s), centreOf(s), window, model,
                                 scratch[part]);
        }
    });
}

} // namespace

void refineByModel(const Band& band, double window, double sign, double blurGuess, double least,
                   RobustFit& fit, std::vector<Point>& points)
{
    const std::size_t sections = band.sections();
    auto centreOf = [&](std::size_t s) {
        return fit.curve.at(band.u(s)) - static_cast<double>(band.start(s));
    };
    const double reach = window + 2.0;
    const double slope = fit.curve.slope(0.0);
    // The blur, where the trimmed sum of residuals over a sample of sections is least.
    const auto sampleSize = static_cast<std::size_t>(
        std::clamp(SampledPixels / (2.0 * window + 1.0), static_cast<double>(LeastSampledSections),
                   static_cast<double>(SampledSections)));
    const std::size_t stride = std::max<std::size_t>(1, sections / sampleSize);
    std::vector<std::size_t> sampled;
    for (std::size_t s = 0; s < sections; s += stride) {
        sampled.push_back(s);
    }
    std::vector<Scratch> scratch;
    std::vector<SectionFit> fits;
    auto entriesPerPixel = [](double sigma) {
        return std::max(CoarsestTable, static_cast<int>(FinestTable / std::max(1.0, sigma)));
    };
    auto misfit = [&](double sigma) {
        const StepModel model(sigma, slope, reach, std::min(SearchTable, entriesPerPixel(sigma)),
                              4);
        fitAll(band, sampled, centreOf, window, model, scratch, fits);
        std::vector<double> residuals;
        for (const SectionFit& f : fits) {
            if (f.inWindow) {
                residuals.push_back(f.residual);
            }
        }
        std::sort(residuals.begin(), residuals.end());
        residuals.resize(residuals.size() * 4 / 5);
        return std::accumulate(residuals.begin(), residuals.end(), 0.0);
    };
    const double hi = std::clamp(2.0 * blurGuess, 3.0, MaxBlur);
    const double sigma = minimise(misfit, MinBlur, hi, std::max(BlurTolerance, BlurShare * hi));

    // The slope moves too little between rounds to change the model.
    const StepModel model(sigma, slope, reach, entriesPerPixel(sigma), 8);
    std::vector<std::size_t> every(sections);
    std::iota(every.begin(), every.end(), std::size_t{0});
    for (int round = 0; round < ModelRounds; ++round) {
        fitAll(band, every, centreOf, window, model, scratch, fits);
        std::vector<Point> refined;
        std::vector<double> misfits;
        for (std::size_t s = 0; s < sections; ++s) {
            const SectionFit& f = fits[s];
            if (!f.ok || sign * f.contrast < least) {
                continue;
            }
            refined.push_back(
                {band.u(s), static_cast<double>(band.start(s)) + centreOf(s) + f.offset});
            misfits.push_back(f.residual);
        }
        // A section the model fits far worse than most holds something else besides the step
        // (a stalk, a post crossing it) that moves its point: it is set aside.
        // Never below what a section's pixels' own noise gives (least is a few noise deviations).
        const double usual = std::max(median(misfits), 2.0 * window * (least / ContrastPerNoise) *
                                                           (least / ContrastPerNoise));
        std::size_t kept = 0;
        for (std::size_t i = 0; i < refined.size(); ++i) {
            if (misfits[i] <= WorseThanUsual * usual) {
                refined[kept++] = refined[i];
            }
        }
        refined.resize(kept);
        if (refined.size() < MinSections) {
            points.clear();
            return;
        }
        points = std::move(refined);
        const Curve before = fit.curve;
        fit = robustFit(points, 2, band.frame().halfSpan, &before);
        // Windows that would move by less than this hold the same pixels near enough: another
        // round would give the same points.
        double moved = 0.0;
        for (const double u : {-band.frame().halfSpan, 0.0, band.frame().halfSpan}) {
            moved = std::max(moved, std::fabs(fit.curve.at(u) - before.at(u)));
        }
        if (moved < SettledWindow) {
            break;
        }
    }
}

} // namespace measure::edgefit
