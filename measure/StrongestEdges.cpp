#include "StrongestEdges.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace measure {
namespace {

constexpr double Pi = 3.14159265358979323846;
// A candidate is placed to a pixel or two of the detector's copy: its fit looks this many of
// them to either side.
constexpr double ReachInViewPixels = 2.0;
// Two fitted edges closer than this (picture pixels at their ends) and more nearly parallel
// than this are one edge found twice.
constexpr double SameEdgeApart = 3.0;
constexpr double SameEdgeTurn = 0.2 * Pi / 180.0;

double directionOf(const PictureSegment& s)
{
    // Undirected: 0 to pi.
    double angle = std::atan2(s.b.y - s.a.y, s.b.x - s.a.x);
    if (angle < 0.0) {
        angle += Pi;
    }
    return angle >= Pi ? angle - Pi : angle;
}

double distanceFromLine(const PicturePoint& p, const PictureSegment& line)
{
    const double dx = line.b.x - line.a.x;
    const double dy = line.b.y - line.a.y;
    const double length = std::hypot(dx, dy);
    return length > 0.0 ? std::fabs((p.x - line.a.x) * dy - (p.y - line.a.y) * dx) / length
                        : std::hypot(p.x - line.a.x, p.y - line.a.y);
}

bool sameEdge(const EdgeFit& a, const EdgeFit& b)
{
    double turn = std::fabs(directionOf(a.ends) - directionOf(b.ends));
    turn = std::min(turn, Pi - turn);
    return turn < SameEdgeTurn && distanceFromLine(b.ends.a, a.ends) < SameEdgeApart &&
           distanceFromLine(b.ends.b, a.ends) < SameEdgeApart;
}

} // namespace

std::vector<FoundEdge> strongestEdges(const GreyView& view, const PixelRows& pixels,
                                      std::int64_t pictureWidth, std::int64_t pictureHeight,
                                      double reach, const std::function<bool()>& cancelled,
                                      const ForEach& forEach)
{
    if (!holdsPicture(view) || view.width <= 0 || view.height <= 0 || pixels.width() <= 0 ||
        pixels.height() <= 0 || pictureWidth <= 0 || pictureHeight <= 0) {
        return {};
    }
    // View to the pixels handed in, and those to the picture's own.
    const double toPixelsX = static_cast<double>(pixels.width()) / static_cast<double>(view.width);
    const double toPixelsY =
        static_cast<double>(pixels.height()) / static_cast<double>(view.height);
    const double toPictureX =
        static_cast<double>(pictureWidth) / static_cast<double>(pixels.width());
    const double toPictureY =
        static_cast<double>(pictureHeight) / static_cast<double>(pixels.height());
    FindOptions options;
    options.scaleX = toPixelsX * toPictureX;
    options.scaleY = toPixelsY * toPictureY;
    const double fitReach = std::max(reach / std::max(toPictureX, toPictureY),
                                     ReachInViewPixels * std::max(toPixelsX, toPixelsY));
    const std::vector<EdgeCandidate> candidates = findStraightEdges(view, options);

    // Each candidate fitted on its own: the fits share nothing but the pixels they read.
    std::vector<std::optional<FoundEdge>> fitted(candidates.size());
    auto fitOne = [&](std::size_t i) {
        if (cancelled && cancelled()) {
            return;
        }
        const PictureSegment& s = candidates[i].segment;
        const PictureSegment rough{{s.a.x * toPixelsX, s.a.y * toPixelsY},
                                   {s.b.x * toPixelsX, s.b.y * toPixelsY}};
        const EdgeFitAnswer answer = fitEdge(pixels, rough, fitReach, RoughLine::Detected);
        if (!answer.fit) {
            return;
        }
        FoundEdge edge;
        edge.fit = *answer.fit;
        PictureSegment& ends = edge.fit.ends;
        const double copyLength = std::hypot(ends.b.x - ends.a.x, ends.b.y - ends.a.y);
        ends = {{ends.a.x * toPictureX, ends.a.y * toPictureY},
                {ends.b.x * toPictureX, ends.b.y * toPictureY}};
        if (copyLength > 0.0) {
            const double back = std::hypot(ends.b.x - ends.a.x, ends.b.y - ends.a.y) / copyLength;
            edge.fit.length *= back;
            edge.fit.bend *= back;
        }
        edge.score = edgeScore(edge.fit.length, candidates[i].contrast,
                               angleFromAxisDegrees(ends, 1.0, 1.0));
        fitted[i] = edge;
    };
    if (forEach) {
        forEach(candidates.size(), fitOne);
    } else {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            fitOne(i);
        }
    }

    // In the detector's order, so that of an edge found twice the stronger candidate's stays.
    std::vector<FoundEdge> found;
    for (const std::optional<FoundEdge>& edge : fitted) {
        if (!edge) {
            continue;
        }
        const auto twin = std::find_if(found.begin(), found.end(), [&](const FoundEdge& f) {
            return sameEdge(f.fit, edge->fit);
        });
        if (twin == found.end()) {
            found.push_back(*edge);
        } else if (edge->score > twin->score) {
            *twin = *edge;
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const FoundEdge& a, const FoundEdge& b) { return a.score > b.score; });
    return found;
}

} // namespace measure
