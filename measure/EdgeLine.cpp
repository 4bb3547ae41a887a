#include "EdgeLine.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace measure::edgefit {
namespace {

// The points' spread is never taken below this, so a perfect edge does not make every point
// that is off by a rounding error an outlier.
constexpr double MinScale = 0.02;
constexpr int FitIterations = 12;
// Newton steps that put an end on a curve: it starts within a few pixels of a gentle curve.
constexpr int FootSteps = 6;

// A start that ignores up to a quarter of stray points: the median slope between each point
// and the one half the run further on, and the median intercept for it.
Curve pairedMedianLine(const std::vector<Point>& points, double tScale)
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
    const double b = median(slopes);
    std::vector<double> intercepts;
    intercepts.reserve(points.size());
    for (const Point& p : points) {
        intercepts.push_back(p.v - b * p.u);
    }
    Curve line;
    line.tScale = tScale;
    line.c = {median(intercepts), b * tScale, 0.0};
    return line;
}

double tukey(double residual, double limit)
{
    const double r = residual / limit;
    return std::fabs(r) < 1.0 ? (1.0 - r * r) * (1.0 - r * r) : 0.0;
}

} // namespace

std::optional<Curve> weightedFit(const std::vector<Point>& points,
                                 const std::vector<double>& weight, int degree, double tScale,
                                 const std::vector<bool>& keep)
{
    std::array<std::array<double, 4>, 3> m{};
    std::array<std::array<double, 3>, 2> line{};
    double sw = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!(weight[i] > 0.0) || (!keep.empty() && !keep[i])) {
            continue;
        }
        const double t = points[i].u / tScale;
        const std::array<double, 3> basis = {1.0, t, t * t};
        for (std::size_t row = 0; row < 3; ++row) {
            for (std::size_t col = 0; col < 3; ++col) {
                m[row][col] += weight[i] * basis[row] * basis[col];
            }
            m[row][3] += weight[i] * basis[row] * points[i].v;
        }
        sw += weight[i];
    }
    if (!(sw > 0.0)) {
        return std::nullopt;
    }
    Curve curve;
    curve.tScale = tScale;
    if (degree == 1) {
        line = {{{m[0][0], m[0][1], m[0][3]}, {m[1][0], m[1][1], m[1][3]}}};
        if (!solve<2>(line)) {
            return std::nullopt;
        }
        curve.c = {line[0][2], line[1][2], 0.0};
        return curve;
    }
    if (!solve<3>(m)) {
        return std::nullopt;
    }
    curve.c = {m[0][3], m[1][3], m[2][3]};
    return curve;
}

RobustFit robustFit(const std::vector<Point>& points, int degree, double tScale, const Curve* start)
{
    RobustFit fit;
    fit.curve = start != nullptr ? *start : pairedMedianLine(points, tScale);
    if (degree < 2) {
        fit.curve.c[2] = 0.0;
    }
    fit.curve.tScale = tScale;
    fit.weight.assign(points.size(), 0.0);
    std::vector<double> residuals(points.size());
    std::vector<double> magnitudes(points.size());
    auto weigh = [&] {
        for (std::size_t i = 0; i < points.size(); ++i) {
            residuals[i] = points[i].v - fit.curve.at(points[i].u);
            magnitudes[i] = std::fabs(residuals[i]);
        }
        fit.scale = std::max(MadToSigma * median(magnitudes), MinScale);
        for (std::size_t i = 0; i < points.size(); ++i) {
            fit.weight[i] = tukey(residuals[i], TukeyC * fit.scale);
        }
    };
    for (int iteration = 0; iteration < FitIterations; ++iteration) {
        weigh();
        const auto next = weightedFit(points, fit.weight, degree, tScale);
        if (!next) {
            break;
        }
        const bool settled = std::fabs(next->c[0] - fit.curve.c[0]) < 1e-9 &&
                             std::fabs(next->c[1] - fit.curve.c[1]) < 1e-12 * tScale &&
                             std::fabs(next->c[2] - fit.curve.c[2]) < 1e-9;
        fit.curve = *next;
        if (settled) {
            break;
        }
    }
    weigh();
    fit.inliers = static_cast<std::size_t>(
        std::count_if(fit.weight.begin(), fit.weight.end(), [](double w) { return w > 0.0; }));
    return fit;
}

double bowOf(const Curve& curve, double u0, double u1)
{
    const double half = 0.5 * (u1 - u0) / curve.tScale;
    return -curve.c[2] * half * half;
}

Extent extentOf(const std::vector<Point>& points, const std::vector<double>& weight)
{
    Extent extent{std::numeric_limits<double>::infinity(),
                  -std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (weight[i] > 0.0) {
            extent.from = std::min(extent.from, points[i].u);
            extent.to = std::max(extent.to, points[i].u);
        }
    }
    return extent;
}

FrameEnds frameEnds(const PictureSegment& rough, const Frame& frame)
{
    auto inFrame = [&](const PicturePoint& p) {
        return frame.alongY ? Point{p.y - frame.uc, p.x} : Point{p.x - frame.uc, p.y};
    };
    FrameEnds ends{inFrame(rough.a), inFrame(rough.b), false};
    if (ends.last.u < ends.first.u) {
        std::swap(ends.first, ends.last);
        ends.swapped = true;
    }
    return ends;
}

std::optional<PictureSegment> placeOnLine(const PictureSegment& rough, const Curve& line,
                                          const Frame& frame, double band)
{
    const double uc = frame.uc;
    const double a = line.c[0];
    const double b = line.slope(0.0);
    // Each end moves straight across the rough line, so it keeps its place along it even where
    // the edge is turned from it.
    const bool alongY = frame.alongY;
    const double ru = alongY ? rough.b.y - rough.a.y : rough.b.x - rough.a.x;
    const double rv = alongY ? rough.b.x - rough.a.x : rough.b.y - rough.a.y;
    const double facing = ru + b * rv;
    if (!(std::fabs(facing) > 0.0)) {
        return std::nullopt;
    }
    auto foot = [&](PicturePoint p) {
        const double u = alongY ? p.y : p.x;
        const double v = alongY ? p.x : p.y;
        const double t = ((u - uc) * ru + (v - a) * rv) / facing;
        return std::array<double, 2>{uc + t, a + b * t};
    };
    const std::array<double, 2> origin = foot(rough.a);
    const std::array<double, 2> other = foot(rough.b);
    const std::array<double, 2> delta = {other[0] - origin[0], other[1] - origin[1]};
    // Liang-Barsky: the part of the fitted segment inside [0, sizeU] x [0, sizeV].
    double t0 = 0.0;
    double t1 = 1.0;
    const std::array<double, 2> limit = {static_cast<double>(frame.sizeU),
                                         static_cast<double>(frame.sizeV)};
    for (std::size_t axis = 0; axis < 2; ++axis) {
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
        const double u = std::clamp(origin[0] + t * delta[0], 0.0, limit[0]);
        const double v = std::clamp(origin[1] + t * delta[1], 0.0, limit[1]);
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

std::optional<PictureSegment> placeOnCurve(const PictureSegment& rough, const Curve& edge,
                                           const Frame& frame, double band)
{
    const FrameEnds ends = frameEnds(rough, frame);
    const double du = ends.last.u - ends.first.u;
    const double dv = ends.last.v - ends.first.v;
    const double length = std::hypot(du, dv);
    if (!(length > 0.0)) {
        return std::nullopt;
    }
    // The rough line inside the picture: an end beyond it slides along the line to its edge.
    const double uLow = -frame.uc;
    const double uHigh = static_cast<double>(frame.sizeU) - frame.uc;
    auto along = [&](double u) {
        const double t = (u - ends.first.u) / du;
        return Point{u, ends.first.v + t * dv};
    };
    const Point first = ends.first.u < uLow ? along(uLow) : ends.first;
    const Point last = ends.last.u > uHigh ? along(uHigh) : ends.last;
    // Across the rough line, in the frame.
    const double nu = -dv / length;
    const double nv = du / length;
    auto foot = [&](const Point& end, const Curve& curve) -> std::optional<Point> {
        double shift = 0.0;
        for (int step = 0; step < FootSteps; ++step) {
            const double u = end.u + shift * nu;
            const double miss = end.v + shift * nv - curve.at(u);
            const double rate = nv - curve.slope(u) * nu;
            if (!(std::fabs(rate) > 1e-9)) {
                return std::nullopt;
            }
            shift -= miss / rate;
        }
        if (!std::isfinite(shift) || !(std::fabs(shift) <= band)) {
            return std::nullopt;
        }
        const double u = std::clamp(end.u + shift * nu, uLow, uHigh);
        const double v = std::clamp(end.v + shift * nv, 0.0, static_cast<double>(frame.sizeV));
        return Point{u, v};
    };
    const auto a = foot(first, edge);
    const auto b = foot(last, edge);
    if (!a || !b) {
        return std::nullopt;
    }
    auto toPicture = [&](const Point& p) {
        return frame.alongY ? PicturePoint{p.v, p.u + frame.uc} : PicturePoint{p.u + frame.uc, p.v};
    };
    return ends.swapped ? PictureSegment{toPicture(*b), toPicture(*a)}
                        : PictureSegment{toPicture(*a), toPicture(*b)};
}

} // namespace measure::edgefit
