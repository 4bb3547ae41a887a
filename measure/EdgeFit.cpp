#include "EdgeFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <utility>
#include <vector>

namespace measure {
namespace {

constexpr double Pi = 3.14159265358979323846;
// An edge turned more than this from the rough line is another feature crossing the band,
// unless it stays inside the band from end to end: a short line placed by hand to within a few
// screen pixels at each end can lie further off its edge than this.
constexpr double MaxTurnDegrees = 3.0;
// An end farther off the picture than this is no line on it; below it, the line's position at
// each section keeps far more than the precision a fit needs.
constexpr double FarthestEnd = 1e7;
// Bounds the band (and so the memory and time of a fit) whatever the caller passes.
constexpr double MaxHalfWidth = 128.0;
// Fewer cross-sections than this say too little about a direction.
constexpr std::size_t MinSections = 8;
// A step (or a thin line's depth) weaker than this many grey levels is no edge.
constexpr double MinContrast = 8.0;
// The gradient peak that counts as a candidate at all, in grey levels per pixel.
constexpr double MinGradient = 1.0;
// At least this share of the cross-sections must agree with the fitted line: fewer means the
// edge is broken up or is not there.
constexpr double MinInlierShare = 0.6;
// Robust spread of the points about the line, in pixels: more is texture, not an edge.
constexpr double MaxScatter = 0.6;
// How far the points may bow away from the straight line between the ends, in pixels.
constexpr double MaxSagitta = 0.75;
// The points' spread is never taken below this, so a perfect edge does not make every point
// that is off by a rounding error an outlier.
constexpr double MinScale = 0.02;
// Tukey's biweight constant (95 % efficiency for Gaussian scatter).
constexpr double TukeyC = 4.685;
// Median absolute deviation to standard deviation for Gaussian scatter.
constexpr double MadToSigma = 1.4826;
constexpr int FitIterations = 12;
// Gauss-Newton rounds for one section's step: it starts within a fraction of a pixel.
constexpr int SectionIterations = 4;
// Cross-sections at most; a longer edge is sampled every few pixels.
constexpr std::size_t MaxSections = 1000;
// The refining passes stop when the line's ends move less than this, in pixels.
constexpr double SettledShift = 1e-4;
constexpr int MaxPasses = 4;
// A step's window half-width in units of the step's spread (the gradient's standard deviation).
constexpr double WindowPerSpread = 3.0;
// Sections with room for a window around the line, of all sections: fewer, and the edge is not
// along the line.
constexpr double MinRoomyShare = 0.5;
// The blur the step model may take, in pixels, and how finely it is found.
constexpr double MinBlur = 0.12;
constexpr double MaxBlur = 3.0;
constexpr double BlurTolerance = 0.03;
// Sections that choose the blur: a sample is enough and keeps long edges fast.
constexpr std::size_t SampledSections = 100;
constexpr int ModelRounds = 2;
// Pixels the model's window reaches beyond the area's on each side (as far as the band allows):
// more plateau pins each section's levels, and so its offset, against pixel noise; texture
// right beside an edge pulls a little more.
constexpr double ModelMargin = 4.0;
// Cross-sections each side whose plateau levels are pooled: the levels change slowly along an
// edge, and pooling keeps the pixel noise of the plateaus out of each point.
constexpr std::size_t PlateauPool = 7;
// Pixels each side of a pixel whose levels a thin line's centre must be darker (or lighter) than.
constexpr std::size_t RidgeReach = 2;

// v = a + b * (u - uc): the line in the frame whose u axis runs along the line.
struct Line {
    double a = 0.0;
    double b = 0.0;
};

struct Point {
    double u = 0.0; // relative to the centre uc
    double v = 0.0;
};

struct Fit {
    Line line;
    double scale = 0.0;
    std::vector<bool> inlier;
    std::size_t inliers = 0;
};

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Clamps before converting, so no coordinate (however large) reaches an undefined conversion.
std::int64_t toIndex(double value, std::int64_t low, std::int64_t high)
{
    if (!(value > static_cast<double>(low))) {
        return low;
    }
    if (!(value < static_cast<double>(high))) {
        return high;
    }
    return static_cast<std::int64_t>(value);
}

// A start that ignores up to a quarter of stray points: the median slope between each point
// and the one half the run further on, and the median intercept for it.
Line pairedMedianLine(const std::vector<Point>& points)
{
    const std::size_t half = points.size() / 2;
    std::vector<double> slopes;
    slopes.reserve(half);
    for (std::size_t i = 0; i + half < points.size(); ++i) {
        const double du = points[i + half].u - points[i].u;
        if (du != 0.0) {
            slopes.push_back((points[i + half].v - points[i].v) / du);
        }
    }
    Line line;
    line.b = median(slopes);
    std::vector<double> intercepts;
    intercepts.reserve(points.size());
    for (const Point& p : points) {
        intercepts.push_back(p.v - line.b * p.u);
    }
    line.a = median(intercepts);
    return line;
}

// Iteratively reweighted least squares of v on u with Tukey's biweight and a MAD scale. The u
// of each point is exact (the centre of a pixel column or row), so only v carries error.
Fit robustLine(const std::vector<Point>& points)
{
    Fit fit;
    fit.line = pairedMedianLine(points);
    std::vector<double> residuals(points.size());
    std::vector<double> magnitudes(points.size());
    for (int iteration = 0; iteration < FitIterations; ++iteration) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            residuals[i] = points[i].v - (fit.line.a + fit.line.b * points[i].u);
            magnitudes[i] = std::fabs(residuals[i]);
        }
        fit.scale = std::max(MadToSigma * median(magnitudes), MinScale);
        const double limit = TukeyC * fit.scale;
        double sw = 0.0;
        double su = 0.0;
        double sv = 0.0;
        double suu = 0.0;
        double suv = 0.0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double r = residuals[i] / limit;
            if (std::fabs(r) >= 1.0) {
                continue;
            }
            const double w = (1.0 - r * r) * (1.0 - r * r);
            sw += w;
            su += w * points[i].u;
            sv += w * points[i].v;
            suu += w * points[i].u * points[i].u;
            suv += w * points[i].u * points[i].v;
        }
        if (sw <= 0.0) {
            break;
        }
        const double mu = su / sw;
        const double mv = sv / sw;
        const double varU = suu / sw - mu * mu;
        if (!(varU > 0.0)) {
            break;
        }
        Line next;
        next.b = (suv / sw - mu * mv) / varU;
        next.a = mv - next.b * mu;
        if (!std::isfinite(next.a) || !std::isfinite(next.b)) {
            break;
        }
        const bool settled =
            std::fabs(next.a - fit.line.a) < 1e-9 && std::fabs(next.b - fit.line.b) < 1e-12;
        fit.line = next;
        if (settled) {
            break;
        }
    }
    fit.inlier.assign(points.size(), false);
    fit.inliers = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double r = points[i].v - (fit.line.a + fit.line.b * points[i].u);
        if (std::fabs(r) < TukeyC * fit.scale) {
            fit.inlier[i] = true;
            ++fit.inliers;
        }
    }
    return fit;
}

// How far the inliers bow away from the fitted line: the middle of the parabola through them
// relative to its ends, in pixels.
double sagitta(const std::vector<Point>& points, const Fit& fit, double halfLength)
{
    // Least squares of the residual on 1, t and t^2 with t in [-1, 1].
    std::array<std::array<double, 4>, 3> m{};
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!fit.inlier[i]) {
            continue;
        }
        const double t = points[i].u / halfLength;
        const double r = points[i].v - (fit.line.a + fit.line.b * points[i].u);
        const std::array<double, 3> basis = {1.0, t, t * t};
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                m[row][col] += basis[row] * basis[col];
            }
            m[row][3] += basis[row] * r;
        }
    }
    // Gaussian elimination with partial pivoting on the 3 x 3 normal equations.
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 3; ++row) {
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col])) {
                pivot = row;
            }
        }
        if (std::fabs(m[pivot][col]) < 1e-12) {
            return 0.0;
        }
        std::swap(m[col], m[pivot]);
        for (int row = 0; row < 3; ++row) {
            if (row == col) {
                continue;
            }
            const double factor = m[row][col] / m[col][col];
            for (int k = col; k < 4; ++k) {
                m[row][k] -= factor * m[col][k];
            }
        }
    }
    return std::fabs(m[2][3] / m[2][2]);
}

// The band's pixels, one profile across the line per cross-section. Profile values are grey
// levels of pixels start, start + 1, ... across; the section's own pixel index is index.
struct Band {
    std::vector<std::int64_t> index; // along u
    std::vector<std::int64_t> start; // first pixel across (v)
    std::vector<std::size_t> offset; // into values; offset[i + 1] - offset[i] pixels
    std::vector<float> values;

    [[nodiscard]] std::size_t sections() const { return index.size(); }
    [[nodiscard]] std::size_t length(std::size_t i) const { return offset[i + 1] - offset[i]; }
    [[nodiscard]] const float* profile(std::size_t i) const { return values.data() + offset[i]; }
};

enum class Kind { Step, DarkLine, LightLine };

// Where in a profile the strongest candidate lies (profile coordinates: pixel k covers
// [k, k + 1)), from the gradient's or the thin line's peak and a parabola through it; the
// first guess that the second pass refines.
struct Candidate {
    double position = 0.0;
    double strength = 0.0;
};

Candidate stepCandidate(const float* p, std::size_t n, double sign)
{
    // Gradient between pixel k and k + 1, smoothed [1 2 1] to keep single noisy pixels down.
    auto gradient = [&](std::size_t k) -> double {
        const double centre = static_cast<double>(p[k + 1]) - p[k];
        const double before = k > 0 ? static_cast<double>(p[k]) - p[k - 1] : centre;
        const double after = k + 2 < n ? static_cast<double>(p[k + 2]) - p[k + 1] : centre;
        return sign * (before + 2.0 * centre + after) / 4.0;
    };
    Candidate best;
    std::size_t at = 0;
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const double g = gradient(k);
        if (g > best.strength) {
            best.strength = g;
            at = k;
        }
    }
    double shift = 0.0;
    if (at > 0 && at + 2 < n) {
        const double left = gradient(at - 1);
        const double right = gradient(at + 1);
        const double curvature = left - 2.0 * best.strength + right;
        if (curvature < 0.0) {
            shift = std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5);
        }
    }
    best.position = static_cast<double>(at) + 1.0 + shift;
    return best;
}

Candidate lineCandidate(const float* p, std::size_t n, double sign)
{
    auto response = [&](std::size_t k) -> double {
        const double wings = std::min(sign * p[k - RidgeReach], sign * p[k + RidgeReach]);
        return wings - sign * p[k];
    };
    Candidate best;
    if (n < 2 * RidgeReach + 1) {
        return best;
    }
    std::size_t at = RidgeReach;
    for (std::size_t k = RidgeReach; k + RidgeReach < n; ++k) {
        const double r = response(k);
        if (r > best.strength) {
            best.strength = r;
            at = k;
        }
    }
    double shift = 0.0;
    if (at > RidgeReach && at + RidgeReach + 1 < n) {
        const double left = response(at - 1);
        const double right = response(at + 1);
        const double curvature = left - 2.0 * best.strength + right;
        if (curvature < 0.0) {
            shift = std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5);
        }
    }
    best.position = static_cast<double>(at) + 0.5 + shift;
    return best;
}

// The mean level of the profile over [from, to), each pixel weighted by its overlap.
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

// Reads the band's profiles. Sections along y are stretches of one row each; sections along x
// are stretches of one column each, so each row is read once over the run of columns whose
// stretch it crosses (a run, since the stretches move monotonically with the line).
void readBand(const PixelRows& pixels, bool alongY, Band& band)
{
    const std::size_t sections = band.sections();
    if (alongY) {
        for (std::size_t s = 0; s < sections; ++s) {
            const std::int64_t p0 = band.start[s];
            pixels.readRow(band.index[s], p0, p0 + static_cast<std::int64_t>(band.length(s)),
                           band.values.data() + band.offset[s]);
        }
        return;
    }
    std::int64_t rowFirst = band.start.front();
    std::int64_t rowEnd = rowFirst;
    for (std::size_t s = 0; s < sections; ++s) {
        rowFirst = std::min(rowFirst, band.start[s]);
        rowEnd = std::max(rowEnd, band.start[s] + static_cast<std::int64_t>(band.length(s)));
    }
    const auto rows = static_cast<std::size_t>(rowEnd - rowFirst);
    std::vector<std::size_t> runFirst(rows, sections);
    std::vector<std::size_t> runLast(rows, 0);
    for (std::size_t s = 0; s < sections; ++s) {
        const auto from = static_cast<std::size_t>(band.start[s] - rowFirst);
        for (std::size_t r = from; r < from + band.length(s); ++r) {
            runFirst[r] = std::min(runFirst[r], s);
            runLast[r] = std::max(runLast[r], s);
        }
    }
    std::vector<float> row;
    for (std::size_t r = 0; r < rows; ++r) {
        if (runFirst[r] > runLast[r]) {
            continue;
        }
        const std::int64_t y = rowFirst + static_cast<std::int64_t>(r);
        const std::int64_t x0 = band.index[runFirst[r]];
        const std::int64_t x1 = band.index[runLast[r]] + 1;
        row.resize(static_cast<std::size_t>(x1 - x0));
        pixels.readRow(y, x0, x1, row.data());
        for (std::size_t s = runFirst[r]; s <= runLast[r]; ++s) {
            const std::int64_t k = y - band.start[s];
            if (k >= 0 && k < static_cast<std::int64_t>(band.length(s))) {
                band.values[band.offset[s] + static_cast<std::size_t>(k)] =
                    row[static_cast<std::size_t>(band.index[s] - x0)];
            }
        }
    }
}

// The squared spread of the feature across a section about its peak, in pixels squared: the
// second moment of the gradient (a step) or of the depth (a thin line) within a few pixels,
// counting only what stands above a tenth of the peak so that noise does not widen it.
double featureSpread(const float* p, std::size_t n, double position, bool isStep, double sign)
{
    constexpr double reach = 5.0;
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

double normalCdf(double t)
{
    return 0.5 * std::erfc(-t / std::sqrt(2.0));
}

double normalPdf(double t)
{
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
        m_share.resize(count);
        m_slope.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const double x = -reach + static_cast<double>(i) * m_step;
            double share = 0.0;
            double rise = 0.0;
            for (int j = 0; j < half; ++j) {
                for (const double side : {-1.0, 1.0}) {
                    const double y = x - side * spread * at[j];
                    const double upper = (y + 0.5) / sigma;
                    const double lower = (y - 0.5) / sigma;
                    const double cdfUpper = normalCdf(upper);
                    const double cdfLower = normalCdf(lower);
                    // sigma times the difference of the CDF's antiderivative at both ends.
                    share +=
                        0.5 * weight[j] * sigma *
                        (upper * cdfUpper + normalPdf(upper) - lower * cdfLower - normalPdf(lower));
                    rise += 0.5 * weight[j] * (cdfUpper - cdfLower);
                }
            }
            m_share[i] = share;
            m_slope[i] = rise;
        }
    }

    // The share past the step and its rate of change with d.
    void at(double d, double& share, double& slope) const
    {
        const double x = (d + m_reach) / m_step;
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
    std::vector<double> m_share;
    std::vector<double> m_slope;
};

// One section's step fitted by the model: low level, contrast and the step's offset from the
// line, by Gauss-Newton from the line's own position. The residual sum says how well it fits.
struct SectionFit {
    double offset = 0.0;
    double contrast = 0.0;
    double residual = 0.0;
    bool ok = false;
};

SectionFit fitSection(const float* p, std::size_t n, double centre, double window,
                      const StepModel& model)
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
    double low = 0.0;
    double contrast = 0.0;
    double offset = 0.0;
    for (int iteration = 0; iteration < SectionIterations; ++iteration) {
        // Normal equations of the linearised model low + contrast * share(d - offset).
        std::array<std::array<double, 4>, 3> m{};
        for (std::size_t k = first; k < last; ++k) {
            const double d = static_cast<double>(k) + 0.5 - centre - offset;
            double share = 0.0;
            double slope = 0.0;
            model.at(d, share, slope);
            const double r = p[k] - (low + contrast * share);
            const std::array<double, 3> basis = {1.0, share, -contrast * slope};
            for (int row = 0; row < 3; ++row) {
                for (int col = 0; col < 3; ++col) {
                    m[row][col] += basis[row] * basis[col];
                }
                m[row][3] += basis[row] * r;
            }
        }
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
                return result;
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
        low += m[0][3] / m[0][0];
        contrast += m[1][3] / m[1][1];
        if (unknowns == 3) {
            offset += std::clamp(m[2][3] / m[2][2], -1.0, 1.0);
        }
        if (!std::isfinite(low) || !std::isfinite(contrast) || std::fabs(offset) > 2.0) {
            return result;
        }
    }
    double residual = 0.0;
    for (std::size_t k = first; k < last; ++k) {
        double share = 0.0;
        double slope = 0.0;
        model.at(static_cast<double>(k) + 0.5 - centre - offset, share, slope);
        const double r = p[k] - (low + contrast * share);
        residual += r * r;
    }
    result.offset = offset;
    result.contrast = contrast;
    result.residual = residual;
    result.ok = true;
    return result;
}

// The last refinement of a step: each section's offset from the line by a model of the
// blurred, pixel-sampled step, which weighs each pixel by how much the step's position moves
// it. The area weighs all pixels alike, so the rounding of pixels on the step's tails to whole
// grey levels (which creeps along an edge at a small tilt) moves it more. The blur is the one
// under which the sections fit best.
void refineByModel(const Band& band, double uc, double window, double sign, Fit& fit,
                   std::vector<Point>& points)
{
    const std::size_t sections = band.sections();
    auto sectionU = [&](std::size_t s) {
        return static_cast<double>(band.index[s]) + 0.5 - uc;
    };
    auto centreOf = [&](std::size_t s) {
        return fit.line.a + fit.line.b * sectionU(s) - static_cast<double>(band.start[s]);
    };
    const double reach = window + 2.0;
    // The blur, by golden-section search on the trimmed sum of residuals over a sample of sections.
    const std::size_t stride = std::max<std::size_t>(1, sections / SampledSections);
    auto misfit = [&](double sigma) {
        const StepModel model(sigma, fit.line.b, reach, 16, 4);
        std::vector<double> residuals;
        for (std::size_t s = 0; s < sections; s += stride) {
            const SectionFit f =
                fitSection(band.profile(s), band.length(s), centreOf(s), window, model);
            if (f.ok) {
                residuals.push_back(f.residual);
            }
        }
        std::sort(residuals.begin(), residuals.end());
        residuals.resize(residuals.size() * 4 / 5);
        return std::accumulate(residuals.begin(), residuals.end(), 0.0);
    };
    constexpr double golden = 0.6180339887498949;
    double lo = MinBlur;
    double hi = MaxBlur;
    double x1 = hi - golden * (hi - lo);
    double x2 = lo + golden * (hi - lo);
    double f1 = misfit(x1);
    double f2 = misfit(x2);
    while (hi - lo > BlurTolerance) {
        if (f1 <= f2) {
            hi = x2;
            x2 = x1;
            f2 = f1;
            x1 = hi - golden * (hi - lo);
            f1 = misfit(x1);
        } else {
            lo = x1;
            x1 = x2;
            f1 = f2;
            x2 = lo + golden * (hi - lo);
            f2 = misfit(x2);
        }
    }
    const double sigma = 0.5 * (lo + hi);

    // The slope moves too little between rounds to change the model.
    const StepModel model(sigma, fit.line.b, reach, 64, 8);
    for (int round = 0; round < ModelRounds; ++round) {
        std::vector<Point> refined;
        for (std::size_t s = 0; s < sections; ++s) {
            const double centre = centreOf(s);
            const SectionFit f = fitSection(band.profile(s), band.length(s), centre, window, model);
            if (!f.ok || sign * f.contrast < MinContrast) {
                continue;
            }
            refined.push_back(
                {sectionU(s), static_cast<double>(band.start[s]) + centre + f.offset});
        }
        if (refined.size() < MinSections) {
            points.clear();
            return;
        }
        points = std::move(refined);
        fit = robustLine(points);
    }
}

// Each rough end moved straight across onto the fitted line, keeping its place along it; an end
// beyond the picture slides along the fitted line to the picture's edge. Nothing when the
// result would leave the picture or the band.
std::optional<PictureSegment> placeEnds(const PictureSegment& rough, const Line& line, bool alongY,
                                        double uc, std::int64_t sizeU, std::int64_t sizeV,
                                        double band)
{
    // In the frame whose u axis runs along the line. Each end moves straight across the rough
    // line, so it keeps its place along it even where the edge is turned from it.
    const double ru = alongY ? rough.b.y - rough.a.y : rough.b.x - rough.a.x;
    const double rv = alongY ? rough.b.x - rough.a.x : rough.b.y - rough.a.y;
    const double facing = ru + line.b * rv;
    if (!(std::fabs(facing) > 0.0)) {
        return std::nullopt;
    }
    auto foot = [&](PicturePoint p) {
        const double u = alongY ? p.y : p.x;
        const double v = alongY ? p.x : p.y;
        const double t = ((u - uc) * ru + (v - line.a) * rv) / facing;
        return std::pair<double, double>{uc + t, line.a + line.b * t};
    };
    const std::pair<double, double> footA = foot(rough.a);
    const std::pair<double, double> footB = foot(rough.b);
    const double ua = footA.first;
    const double va = footA.second;
    const double ub = footB.first;
    const double vb = footB.second;
    // Liang-Barsky: the part of the fitted segment inside [0, sizeU] x [0, sizeV].
    double t0 = 0.0;
    double t1 = 1.0;
    const std::array<double, 2> delta = {ub - ua, vb - va};
    const std::array<double, 2> origin = {ua, va};
    const std::array<double, 2> limit = {static_cast<double>(sizeU), static_cast<double>(sizeV)};
    for (int axis = 0; axis < 2; ++axis) {
        for (const double edge : {0.0, limit[axis]}) {
            const double distance = edge - origin[axis];
            if (delta[axis] == 0.0) {
                if ((edge == 0.0 && distance > 0.0) || (edge != 0.0 && distance < 0.0)) {
                    return std::nullopt;
                }
                continue;
            }
            const double t = distance / delta[axis];
            const bool entering = (edge == 0.0) == (delta[axis] > 0.0);
            if (entering) {
                t0 = std::max(t0, t);
            } else {
                t1 = std::min(t1, t);
            }
        }
    }
    if (!(t0 < t1)) {
        return std::nullopt;
    }
    auto toPicture = [&](double t) {
        const double u = std::clamp(ua + t * delta[0], 0.0, limit[0]);
        const double v = std::clamp(va + t * delta[1], 0.0, limit[1]);
        return alongY ? PicturePoint{v, u} : PicturePoint{u, v};
    };
    const PictureSegment fitted{toPicture(t0), toPicture(t1)};

    // Both ends within the band about the rough line.
    const double rx = rough.b.x - rough.a.x;
    const double ry = rough.b.y - rough.a.y;
    const double length = std::hypot(rx, ry);
    for (const PicturePoint& end : {fitted.a, fitted.b}) {
        if (!std::isfinite(end.x) || !std::isfinite(end.y)) {
            return std::nullopt;
        }
        const double across =
            std::fabs((end.x - rough.a.x) * ry - (end.y - rough.a.y) * rx) / length;
        if (!(across <= band)) {
            return std::nullopt;
        }
    }
    return fitted;
}

} // namespace

std::optional<PictureSegment> fitEdge(const PixelRows& pixels, const PictureSegment& rough,
                                      double halfWidth)
{
    const std::int64_t width = pixels.width();
    const std::int64_t height = pixels.height();
    if (width <= 0 || height <= 0 || !(halfWidth > 0.0)) {
        return std::nullopt;
    }
    for (const double c : {rough.a.x, rough.a.y, rough.b.x, rough.b.y}) {
        if (!(std::fabs(c) <= FarthestEnd)) {
            return std::nullopt;
        }
    }
    const double dx = rough.b.x - rough.a.x;
    const double dy = rough.b.y - rough.a.y;
    if (!std::isfinite(dx) || !std::isfinite(dy) || std::hypot(dx, dy) < 2.0) {
        return std::nullopt;
    }
    const double band = std::min(halfWidth, MaxHalfWidth);

    // Cross-sections run along the picture's axis nearer to across the line: columns for a
    // near-horizontal line, rows for a near-vertical one. Each column's (row's) edge position is
    // then an unbiased sample of the straight edge at that column's centre.
    const bool alongY = std::fabs(dy) > std::fabs(dx);
    const std::int64_t sizeU = alongY ? height : width;
    const std::int64_t sizeV = alongY ? width : height;
    PicturePoint first = alongY ? PicturePoint{rough.a.y, rough.a.x} : rough.a;
    PicturePoint last = alongY ? PicturePoint{rough.b.y, rough.b.x} : rough.b;
    if (last.x < first.x) {
        std::swap(first, last);
    }
    const double slope = (last.y - first.y) / (last.x - first.x);
    const double uc = 0.5 * (first.x + last.x);
    const double vc = 0.5 * (first.y + last.y);
    // The band's half-height along v, for a perpendicular half-width of band.
    const double reach = band * std::sqrt(1.0 + slope * slope);

    // Sections whose centres lie between the ends and inside the picture.
    const std::int64_t i0 = toIndex(std::ceil(first.x - 0.5), 0, sizeU);
    const std::int64_t i1 = toIndex(std::floor(last.x - 0.5), -1, sizeU - 1);
    if (i1 < i0 || static_cast<std::size_t>(i1 - i0 + 1) < MinSections) {
        return std::nullopt;
    }

    Band pixelsBand;
    pixelsBand.offset.push_back(0);
    // A long edge is sampled every few pixels along: beyond a few thousand sections the line
    // is far more exact than a title shows, and the fit stays within its time on any picture.
    const std::int64_t stride = (i1 - i0) / static_cast<std::int64_t>(MaxSections) + 1;
    for (std::int64_t i = i0; i <= i1; i += stride) {
        const double centre = vc + slope * (static_cast<double>(i) + 0.5 - uc);
        // Pixels whose centres lie within reach of the line.
        const std::int64_t p0 = toIndex(std::ceil(centre - reach - 0.5), 0, sizeV);
        const std::int64_t p1 = toIndex(std::floor(centre + reach - 0.5) + 1.0, 0, sizeV);
        if (p1 - p0 < 4) {
            continue;
        }
        pixelsBand.index.push_back(i);
        pixelsBand.start.push_back(p0);
        pixelsBand.offset.push_back(pixelsBand.offset.back() + static_cast<std::size_t>(p1 - p0));
    }
    const std::size_t sections = pixelsBand.sections();
    if (sections < MinSections) {
        return std::nullopt;
    }
    pixelsBand.values.assign(pixelsBand.offset.back(), 0.0F);

    readBand(pixels, alongY, pixelsBand);
    const Band& bandPixels = pixelsBand;
    auto sectionU = [&](std::size_t s) {
        return static_cast<double>(bandPixels.index[s]) + 0.5 - uc;
    };

    // What the line lies along: a step up or down, or a thin dark or light line, whichever
    // answers most strongly over all sections.
    double stepUp = 0.0;
    double stepDown = 0.0;
    double darkLine = 0.0;
    double lightLine = 0.0;
    for (std::size_t s = 0; s < sections;
         s += std::max<std::size_t>(1, sections / SampledSections)) {
        const float* p = bandPixels.profile(s);
        const std::size_t n = bandPixels.length(s);
        stepUp += stepCandidate(p, n, 1.0).strength;
        stepDown += stepCandidate(p, n, -1.0).strength;
        darkLine += lineCandidate(p, n, 1.0).strength;
        lightLine += lineCandidate(p, n, -1.0).strength;
    }
    const bool isStep = std::max(stepUp, stepDown) >= std::max(darkLine, lightLine);
    const double sign =
        isStep ? (stepUp >= stepDown ? 1.0 : -1.0) : (darkLine >= lightLine ? 1.0 : -1.0);

    // First points: the peak of each section, and how wide the feature is across.
    std::vector<Point> points;
    std::vector<double> spreads;
    for (std::size_t s = 0; s < sections; ++s) {
        const float* p = bandPixels.profile(s);
        const std::size_t n = bandPixels.length(s);
        const Candidate c = isStep ? stepCandidate(p, n, sign) : lineCandidate(p, n, sign);
        if (c.strength < MinGradient) {
            continue;
        }
        points.push_back({sectionU(s), static_cast<double>(bandPixels.start[s]) + c.position});
        spreads.push_back(featureSpread(p, n, c.position, isStep, sign));
    }
    if (points.size() < MinSections) {
        return std::nullopt;
    }
    Fit fit = robustLine(points);
    // The window holds the whole blurred step (or line) with its plateaus where the band has
    // room for it: a window whose ends fall inside the transition sees a part of the edge
    // pixel by pixel, and that part depends on where the edge falls within a pixel.
    const double spread = std::sqrt(median(spreads));
    const double window = isStep ? std::clamp(WindowPerSpread * spread + 1.5, 2.0, 10.0)
                                 : std::clamp(3.0 * spread + 1.5, 2.0, 10.0);

    const double halfSpan = 0.5 * static_cast<double>(i1 - i0 + 1);
    std::vector<double> low(sections);
    std::vector<double> high(sections);
    std::vector<bool> usable(sections);
    // Refined points: the area (or centroid) of each section in a window centred on the line
    // fitted so far.
    std::size_t used = 0;
    for (int pass = 0; pass < MaxPasses; ++pass) {
        const Line before = fit.line;
        std::vector<double> from(sections);
        std::vector<double> to(sections);
        auto room = [&](std::size_t s) {
            const auto n = static_cast<double>(bandPixels.length(s));
            const double centre =
                fit.line.a + fit.line.b * sectionU(s) - static_cast<double>(bandPixels.start[s]);
            return std::pair<double, double>{centre, std::min(centre, n - centre)};
        };
        used = 0;
        for (std::size_t s = 0; s < sections; ++s) {
            const float* p = bandPixels.profile(s);
            const auto [centre, space] = room(s);
            const double w = std::min(window, space);
            usable[s] = w >= 1.0 && space >= w;
            used += usable[s] ? 1 : 0;
            if (!usable[s]) {
                continue;
            }
            const double plateau = std::max(0.5, w / 3.0);
            from[s] = centre - w;
            to[s] = centre + w;
            low[s] = meanOver(p, bandPixels.length(s), from[s], from[s] + plateau);
            high[s] = meanOver(p, bandPixels.length(s), to[s] - plateau, to[s]);
        }
        const std::vector<double> lows = pooled(low, usable);
        const std::vector<double> highs = pooled(high, usable);
        points.clear();
        for (std::size_t s = 0; s < sections; ++s) {
            if (!usable[s]) {
                continue;
            }
            const float* p = bandPixels.profile(s);
            const std::size_t n = bandPixels.length(s);
            double position = 0.0;
            if (isStep) {
                if (sign * (highs[s] - lows[s]) < MinContrast) {
                    continue;
                }
                position = stepByArea(p, n, from[s], to[s], lows[s], highs[s]);
            } else {
                const double surround = 0.5 * (lows[s] + highs[s]);
                const double centre = 0.5 * (from[s] + to[s]);
                const double depth = sign * (surround - meanOver(p, n, centre - 0.5, centre + 0.5));
                if (depth < MinContrast) {
                    continue;
                }
                position = lineByCentroid(p, n, from[s], to[s], surround, sign);
            }
            if (!std::isfinite(position)) {
                continue;
            }
            points.push_back({sectionU(s), static_cast<double>(bandPixels.start[s]) + position});
        }
        if (points.size() < MinSections) {
            return std::nullopt;
        }
        fit = robustLine(points);
        const double moved = std::max(std::fabs(fit.line.a - before.a),
                                      std::fabs(fit.line.a - before.a) +
                                          std::fabs(fit.line.b - before.b) * halfSpan);
        if (moved < SettledShift) {
            break;
        }
    }

    if (isStep) {
        refineByModel(bandPixels, uc, window + ModelMargin, sign, fit, points);
        if (points.size() < MinSections) {
            return std::nullopt;
        }
    }

    // Straight, whole and along the rough line, or nothing.
    const double turn = std::fabs(std::atan(fit.line.b) - std::atan(slope));
    const double withinBand = std::atan(2.0 * band / std::hypot(dx, dy));
    const double mostTurn = std::max(MaxTurnDegrees * Pi / 180.0, withinBand);
    const std::int64_t considered = (i1 - i0) / stride + 1; // sections looked at, whole

    if (static_cast<double>(used) < MinRoomyShare * static_cast<double>(considered) ||
        static_cast<double>(fit.inliers) < MinInlierShare * static_cast<double>(used) ||
        fit.scale > MaxScatter || sagitta(points, fit, halfSpan) > MaxSagitta || turn > mostTurn) {
        return std::nullopt;
    }
    return placeEnds(rough, fit.line, alongY, uc, sizeU, sizeV, band);
}

} // namespace measure
