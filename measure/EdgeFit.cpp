#include "EdgeFit.h"

#include "EdgeBand.h"
#include "EdgeFrame.h"
#include "EdgeLine.h"
#include "EdgePoints.h"
#include "EdgeSearch.h"
#include "EdgeUncertainty.h"
#include "StepModel.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace measure {
namespace {

using namespace edgefit;

// An edge turned more than this from the rough line is another feature crossing the band,
// unless it stays inside the band from end to end: a short line placed by hand to within a few
// screen pixels at each end can lie further off its edge than this.
constexpr double MaxTurnDegrees = 3.0;
// An end farther off the picture than this is no line on it; below it, the line's position at
// each section keeps far more than the precision a fit needs.
constexpr double FarthestEnd = 1e7;
// Bounds the band (and so the memory and time of a fit) whatever the caller passes or the edge
// needs.
constexpr double MaxHalfWidth = 128.0;
// Cross-sections at most; a longer edge is sampled every few pixels.
constexpr std::size_t MaxSections = 1000;
// At least this share of the cross-sections must lie on the edge: fewer means it is mostly
// hidden or is not there. The rest (stalks, posts, a bird, a passer-by) are set aside.
constexpr double MinOnShare = 0.4;
// Robust spread of the points about the edge, in pixels, or half the step's own spread across
// for a soft one, whose points a little texture or a crossing stalk moves further (a texture
// with no edge scatters them over its whole window): more is texture, not an edge.
constexpr double MaxScatter = 2.5;
constexpr double ScatterPerSpread = 0.5;
// How far an edge may bow, as a share of its length, and still be a gently bent edge rather
// than a curve.
constexpr double MostBowShare = 0.025;
// A bow counts as a bend only when it is larger than this many pixels and this many times its
// own uncertainty (an edge straight within its scatter is read through all its points) ...
constexpr double LeastBend = 0.3;
constexpr double BendSignificance = 3.0;
// ... and when the bend explains much of the points' scatter about a line: a bow that leaves
// most of it is a few stray stretches (an island at one end) pulling a parabola, not a bend.
constexpr double BendExplains = 0.7;
// A step's window half-width in units of its spread (the gradient's standard deviation).
constexpr double WindowPerSpread = 3.0;
// Pixels the model's window reaches beyond the area's on each side: more plateau pins each
// section's levels, and so its offset, against pixel noise.
constexpr double ModelMargin = 4.0;
// Sections with room for a window around the edge, of all sections: fewer, and the edge is not
// along the line.
constexpr double MinRoomyShare = 0.5;
// How many of a step's spreads a rough end may lie off its middle and still be on its ramp, where
// that is more than the reach.
constexpr double EndOnRamp = 2.0;
// Where the edge bends, it must reach within this share of the line's length of each end.
constexpr double EndReach = 0.2;
// The title rounds to hundredths of a degree.
constexpr double TitleRounding = 0.005;

MissingEdge missingOf(Gap gap, bool alongY)
{
    switch (gap) {
    case Gap::First:
        return alongY ? MissingEdge::NearTopEnd : MissingEdge::NearLeftEnd;
    case Gap::Last:
        return alongY ? MissingEdge::NearBottomEnd : MissingEdge::NearRightEnd;
    case Gap::Along:
        break;
    }
    return MissingEdge::AlongLine;
}

EdgeFitAnswer refusal(MissingEdge missing)
{
    EdgeFitAnswer answer;
    answer.missing = missing;
    return answer;
}

double degreesOf(double radians)
{
    return radians * 180.0 / Pi;
}

struct Judged {
    std::optional<PictureSegment> ends;
    EdgeShape shape = EdgeShape::Straight;
    double slope = 0.0; // of the reading, dv/du
    std::optional<Spread> spread;
    Gap gap = Gap::Along;
};

// A straight edge: the robust line through all the points.
Judged judgeStraight(const PictureSegment& rough, const Frame& frame,
                     const std::vector<Point>& points, double band)
{
    Judged judged;
    const RobustFit line = robustFit(points, 1, frame.halfSpan);
    judged.slope = line.curve.slope(0.0);
    judged.ends = placeOnLine(rough, line.curve, frame, band);
    judged.spread = jackknife(points, line.weight, [&](const std::vector<bool>& keep) {
        const auto fit = weightedFit(points, line.weight, 1, frame.halfSpan, keep);
        return fit ? std::optional<double>(fit->slope(0.0)) : std::nullopt;
    });
    return judged;
}

// A bent edge: the chord between the edge's points under the ends.
Judged judgeBent(const PictureSegment& rough, const Frame& frame, const std::vector<Point>& points,
                 const RobustFit& bent, double band)
{
    Judged judged;
    judged.shape = EdgeShape::Bent;
    const FrameEnds ends = frameEnds(rough, frame);
    const double uFirst = std::max(ends.first.u, -frame.uc);
    const double uLast = std::min(ends.last.u, static_cast<double>(frame.sizeU) - frame.uc);
    const Extent extent = extentOf(points, bent.weight);
    const double reach = EndReach * (uLast - uFirst);
    if (extent.from > uFirst + reach) {
        judged.gap = Gap::First;
        return judged;
    }
    if (extent.to < uLast - reach) {
        judged.gap = Gap::Last;
        return judged;
    }
    // The parabola through all the edge's points places each end where the edge lies under it:
    // the points near either end pin it there, and those between keep it from wandering, so a
    // try that reads the edge as bent and one that reads it as straight agree within their
    // bounds.
    auto chordSlope = [&](const Curve& curve) {
        return (curve.at(uLast) - curve.at(uFirst)) / (uLast - uFirst);
    };
    judged.slope = chordSlope(bent.curve);
    judged.ends = placeOnCurve(rough, bent.curve, frame, band);
    judged.spread = jackknife(points, bent.weight, [&](const std::vector<bool>& keep) {
        const auto curve = weightedFit(points, bent.weight, 2, frame.halfSpan, keep);
        return curve ? std::optional<double>(chordSlope(*curve)) : std::nullopt;
    });
    return judged;
}

// Where the edge found leaves the line: the one end that lies farther than band from it across,
// or neither.
Gap endOffEdge(const PictureSegment& rough, const Frame& frame, const Curve& edge, double band)
{
    const FrameEnds ends = frameEnds(rough, frame);
    const double stretch = std::sqrt(1.0 + frame.slope * frame.slope);
    const bool firstOff = std::fabs(ends.first.v - edge.at(ends.first.u)) / stretch > band;
    const bool lastOff = std::fabs(ends.last.v - edge.at(ends.last.u)) / stretch > band;
    if (firstOff != lastOff) {
        return firstOff ? Gap::First : Gap::Last;
    }
    return Gap::Along;
}

// The reading the points give: a straight edge, a gently bent one, or none.
EdgeFitAnswer judge(const PictureSegment& rough, const Frame& frame, const Band& band,
                    const std::vector<Point>& points, std::size_t considered, double reach,
                    double mostTurn, double spread, RoughLine from)
{
    // How far an end may move across: a hand's, put anywhere on a soft edge's ramp a few of its
    // spreads wide, is on the edge; a detector's has been put on the feature's middle already.
    const double endReach = from == RoughLine::ByHand ? std::max(reach, EndOnRamp * spread) : reach;
    const RobustFit line = robustFit(points, 1, frame.halfSpan);
    const RobustFit bent = robustFit(points, 2, frame.halfSpan, &line.curve);
    if (static_cast<double>(bent.inliers) < MinOnShare * static_cast<double>(considered)) {
        std::vector<bool> on(band.sections(), false);
        for (std::size_t s = 0, i = 0; s < band.sections() && i < points.size(); ++s) {
            if (band.u(s) == points[i].u) {
                on[s] = bent.weight[i] > 0.0;
                ++i;
            }
        }
        return refusal(missingOf(gapOf(band, on), frame.alongY));
    }
    const Extent extent = extentOf(points, bent.weight);
    const double bow = bowOf(bent.curve, extent.from, extent.to);
    if (bent.scale > std::max(MaxScatter, ScatterPerSpread * spread) ||
        std::fabs(bow) > MostBowShare * (extent.to - extent.from)) {
        return refusal(MissingEdge::AlongLine);
    }
    const auto bowSpread = jackknife(points, bent.weight, [&](const std::vector<bool>& keep) {
        const auto fit = weightedFit(points, bent.weight, 2, frame.halfSpan, keep);
        return fit ? std::optional<double>(bowOf(*fit, extent.from, extent.to)) : std::nullopt;
    });
    const bool bends = std::fabs(bow) > LeastBend && bent.scale < BendExplains * line.scale &&
                       (!bowSpread || std::fabs(bow) > BendSignificance * bowSpread->deviation);
    // A detector's straight segment runs through a bent edge's middle, so its ends lie off the
    // edge by up to the bow.
    const double bentReach = from == RoughLine::Detected ? endReach + std::fabs(bow) : endReach;
    const Judged judged = bends ? judgeBent(rough, frame, points, bent, bentReach)
                                : judgeStraight(rough, frame, points, endReach);
    if (judged.gap != Gap::Along) {
        return refusal(missingOf(judged.gap, frame.alongY));
    }
    const double turn = std::fabs(std::atan(judged.slope) - std::atan(frame.slope));
    if (!judged.ends || !(turn <= mostTurn)) {
        return refusal(missingOf(endOffEdge(rough, frame, line.curve, endReach), frame.alongY));
    }
    EdgeFit fit;
    fit.ends = *judged.ends;
    fit.shape = judged.shape;
    const double stretch = std::sqrt(1.0 + judged.slope * judged.slope);
    fit.length = (extent.to - extent.from) * stretch;
    fit.bend = std::fabs(bow);
    // Without enough points for stretches, the points' own scatter as if independent.
    const double bound = judged.spread ? judged.spread->bound95
                                       : 1.96 * bent.scale *
                                             std::sqrt(12.0 / static_cast<double>(bent.inliers)) /
                                             std::max(extent.to - extent.from, 1.0);
    fit.plusMinusDegrees = std::max(TitleRounding, degreesOf(bound / (stretch * stretch)));
    EdgeFitAnswer answer;
    answer.fit = fit;
    return answer;
}

} // namespace

void PixelRows::readPixels(std::int64_t y, std::int64_t x0, std::int64_t count, std::int64_t step,
                           float* out) const
{
    if (step == 1) {
        readRow(y, x0, x0 + count, out);
        return;
    }
    const auto ch = static_cast<std::size_t>(channels());
    std::vector<float> span(static_cast<std::size_t>((count - 1) * step + 1) * ch);
    readRow(y, x0, x0 + (count - 1) * step + 1, span.data());
    for (std::int64_t k = 0; k < count; ++k) {
        std::copy_n(span.data() + static_cast<std::size_t>(k * step) * ch, ch, out);
        out += ch;
    }
}

EdgeFitAnswer fitEdge(const PixelRows& pixels, const PictureSegment& rough, double reach,
                      RoughLine from)
{
    const std::int64_t width = pixels.width();
    const std::int64_t height = pixels.height();
    if (width <= 0 || height <= 0 || !(reach > 0.0)) {
        return refusal(MissingEdge::AlongLine);
    }
    for (const double c : {rough.a.x, rough.a.y, rough.b.x, rough.b.y}) {
        if (!(std::fabs(c) <= FarthestEnd)) {
            return refusal(MissingEdge::AlongLine);
        }
    }
    const double dx = rough.b.x - rough.a.x;
    const double dy = rough.b.y - rough.a.y;
    if (!std::isfinite(dx) || !std::isfinite(dy) || std::hypot(dx, dy) < 2.0) {
        return refusal(MissingEdge::AlongLine);
    }
    const double band = std::min(reach, MaxHalfWidth);

    Frame frame;
    frame.alongY = std::fabs(dy) > std::fabs(dx);
    frame.sizeU = frame.alongY ? height : width;
    frame.sizeV = frame.alongY ? width : height;
    PicturePoint first = frame.alongY ? PicturePoint{rough.a.y, rough.a.x} : rough.a;
    PicturePoint last = frame.alongY ? PicturePoint{rough.b.y, rough.b.x} : rough.b;
    if (last.x < first.x) {
        std::swap(first, last);
    }
    frame.slope = (last.y - first.y) / (last.x - first.x);
    frame.uc = 0.5 * (first.x + last.x);
    frame.vc = 0.5 * (first.y + last.y);
    // The band's half-height along v, for a perpendicular half-width.
    const double stretch = std::sqrt(1.0 + frame.slope * frame.slope);

    // Sections whose centres lie between the ends and inside the picture.
    const std::int64_t i0 = toIndex(std::ceil(first.x - 0.5), 0, frame.sizeU);
    const std::int64_t i1 = toIndex(std::floor(last.x - 0.5), -1, frame.sizeU - 1);
    if (i1 < i0 || static_cast<std::size_t>(i1 - i0 + 1) < MinSections) {
        return refusal(MissingEdge::AlongLine);
    }
    frame.halfSpan = std::max(1.0, 0.5 * static_cast<double>(i1 - i0 + 1));
    // A long edge is sampled every few pixels along: beyond a few thousand sections the line
    // is far more exact than a title shows, and the fit stays within its time on any picture.
    const std::int64_t stride = (i1 - i0) / static_cast<std::int64_t>(MaxSections) + 1;
    const std::int64_t considered = (i1 - i0) / stride + 1;
    Band pixelsBand(pixels, frame, i0, i1, stride, band * stretch, MaxHalfWidth * stretch);
    if (pixelsBand.sections() < MinSections) {
        return refusal(MissingEdge::AlongLine);
    }

    const double mostTurn =
        std::max(MaxTurnDegrees * Pi / 180.0, std::atan(2.0 * band / std::hypot(dx, dy)));
    Search search = searchEdge(pixelsBand, band * stretch, MaxHalfWidth * stretch, mostTurn);
    if (!search.found) {
        return refusal(missingOf(search.gap, frame.alongY));
    }
    Found& found = *search.found;
    const std::vector<bool> everywhere(pixelsBand.sections(), true);
    if (found.feature.kind == Kind::Step && pixelsBand.channels() == 3) {
        // The colours on either side of the edge tell which combination of channels shows it
        // best; seen through it, the step rises.
        std::vector<double> boundary(pixelsBand.sections());
        for (std::size_t s = 0; s < pixelsBand.sections(); ++s) {
            boundary[s] =
                found.course.at(pixelsBand.u(s)) - static_cast<double>(pixelsBand.start(s));
        }
        pixelsBand.project(
            pixelsBand.changeAcross(boundary, everywhere, std::max(3.0, 2.0 * found.spread + 2.0)));
        found.feature.sign = 1.0;
    }
    // The window holds the whole blurred step (or line) with its plateaus: a window whose ends
    // fall inside the transition sees a part of the edge pixel by pixel, and that part depends
    // on where the edge falls within a pixel.
    const double window = std::clamp(
        std::min(WindowPerSpread * found.spread + 1.5, std::max(found.clear, found.spread)), 2.0,
        MaxHalfWidth * stretch - ModelMargin - 2.0);
    widenAround(pixelsBand, found.course, window + ModelMargin + 2.0);
    const double least = leastContrast(found.noise);
    AreaPoints area = areaPoints(pixelsBand, found.feature, found.course, window, least);
    if (area.points.size() < MinSections ||
        static_cast<double>(area.roomy) < MinRoomyShare * static_cast<double>(considered)) {
        return refusal(MissingEdge::AlongLine);
    }
    if (found.feature.kind == Kind::Step) {
        // The model sees a little more plateau, but not the next feature across.
        refineByModel(pixelsBand, std::min(window + ModelMargin, std::max(window, found.clear)),
                      found.feature.sign, found.spread, least, area.fit, area.points);
        if (area.points.size() < MinSections) {
            return refusal(MissingEdge::AlongLine);
        }
    }
    return judge(rough, frame, pixelsBand, area.points, static_cast<std::size_t>(considered), band,
                 mostTurn, found.spread, from);
}

} // namespace measure
