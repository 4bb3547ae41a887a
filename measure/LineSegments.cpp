#include "LineSegments.h"

#include "LevelLines.h"
#include "LineSupport.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace measure {
namespace {

constexpr double Pi = 3.14159265358979323846;
// The gradient below which a point's direction is noise: the quantization of the levels (2
// grey levels) over the sine of the angle tolerance, 22.5 degrees.
constexpr double GradientThreshold = 2.0 / 0.38268343236508978;
// A view larger than this is reduced first, which bounds the detector's memory.
constexpr std::int64_t MostPoints = std::int64_t{1} << 22;
// Scales beyond these are no copy of a picture; they would only make lengths overflow.
constexpr double MinScale = 1e-6;
constexpr double MaxScale = 1e6;
// Validated segments kept at most, and pieces joined at most: a busy picture's detail beyond
// these is all short pieces, and the caps bound the joining's pairs.
constexpr std::size_t MostSegments = 4096;
constexpr std::size_t MostPieces = 1024;
constexpr int MostJoinPasses = 8;
// Pieces shorter than this share of the shortest candidate are left out of the joining.
constexpr double PieceShare = 0.25;
// How much further the second look reduces the view, for soft edges.
constexpr std::int64_t CoarseFactor = 4;
// No candidate is shorter than this in the view's pixels, whatever the share asks.
constexpr double MinViewLength = 12.0;
// Two pieces of one edge: turned apart by at most this, each end of the shorter this far from
// the longer's line at most (or half their widths together, if more), and a gap between them
// of at most this share of the whole, so that the full-resolution fit sees the edge along most
// of the line.
constexpr double JoinTurnDegrees = 4.0;
constexpr double JoinOffset = 2.0;
constexpr double MostGapShare = 0.25;
// Twins (a thin line's two sides, one edge found twice side by side): parallel within this,
// either way round, this near, and overlapping along at least this share of the shorter.
constexpr double TwinTurnDegrees = 5.0;
constexpr double TwinOffset = 3.0;
constexpr double TwinOverlap = 0.5;
// edgeScore's weights: the contrast that counts half, and the angle from the axis that
// counts half with how steeply the weight falls there.
constexpr double HalfContrast = 16.0;
constexpr double HalfAxisDegrees = 35.0;
constexpr double AxisFalloff = 6.0;
// Contrast is read at this many places along an edge at most, this far across at most.
constexpr int ContrastSamples = 64;
constexpr double ContrastReach = 8.0;

// A piece of edge in the view's pixels, from a to b along the level lines.
struct Piece {
    double ax = 0.0;
    double ay = 0.0;
    double bx = 0.0;
    double by = 0.0;
    double width = 0.0;
    double significance = 0.0;

    [[nodiscard]] double length() const { return std::hypot(bx - ax, by - ay); }
    [[nodiscard]] double ux() const { return (bx - ax) / length(); }
    [[nodiscard]] double uy() const { return (by - ay) / length(); }
    // Along the piece from a, and across it (positive on the darker side), for a point.
    [[nodiscard]] double along(double x, double y) const
    {
        return (x - ax) * ux() + (y - ay) * uy();
    }
    [[nodiscard]] double across(double x, double y) const
    {
        return -(x - ax) * uy() + (y - ay) * ux();
    }
};

double cosineOf(double degrees)
{
    return std::cos(degrees * Pi / 180.0);
}

// How far the gap between two pieces runs along p's line (negative where they overlap), and
// how long they are together.
std::pair<double, double> gapAndSpan(const Piece& p, const Piece& q)
{
    const double q0 = std::min(p.along(q.ax, q.ay), p.along(q.bx, q.by));
    const double q1 = std::max(p.along(q.ax, q.ay), p.along(q.bx, q.by));
    const double gap = std::max(q0, 0.0) - std::min(q1, p.length());
    const double span = std::max(q1, p.length()) - std::min(q0, 0.0);
    return {gap, span};
}

bool joinable(const Piece& p, const Piece& q)
{
    if (p.ux() * q.ux() + p.uy() * q.uy() < cosineOf(JoinTurnDegrees)) {
        return false; // turned apart, or facing the other way (the lighter side swapped)
    }
    const Piece& longer = p.length() >= q.length() ? p : q;
    const Piece& shorter = p.length() >= q.length() ? q : p;
    const double offset = std::max(JoinOffset, 0.5 * (p.width + q.width));
    if (std::fabs(longer.across(shorter.ax, shorter.ay)) > offset ||
        std::fabs(longer.across(shorter.bx, shorter.by)) > offset) {
        return false;
    }
    const auto [gap, span] = gapAndSpan(longer, shorter);
    return gap <= MostGapShare * span;
}

// One piece through both: the principal axis of the two as uniform segments weighted by their
// lengths, from the first end of either to the last.
Piece joined(const Piece& p, const Piece& q)
{
    double w = 0.0;
    double mx = 0.0;
    double my = 0.0;
    for (const Piece* piece : {&p, &q}) {
        w += piece->length();
        mx += piece->length() * 0.5 * (piece->ax + piece->bx);
        my += piece->length() * 0.5 * (piece->ay + piece->by);
    }
    mx /= w;
    my /= w;
    double sxx = 0.0;
    double syy = 0.0;
    double sxy = 0.0;
    for (const Piece* piece : {&p, &q}) {
        const double l = piece->length();
        const double cx = 0.5 * (piece->ax + piece->bx) - mx;
        const double cy = 0.5 * (piece->ay + piece->by) - my;
        // A uniform segment's spread along itself is its length squared over 12.
        const double inner = l * l / 12.0;
        sxx += l * (cx * cx + inner * piece->ux() * piece->ux());
        syy += l * (cy * cy + inner * piece->uy() * piece->uy());
        sxy += l * (cx * cy + inner * piece->ux() * piece->uy());
    }
    const double theta = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
    double ux = std::cos(theta);
    double uy = std::sin(theta);
    if (ux * p.ux() + uy * p.uy() < 0.0) {
        ux = -ux;
        uy = -uy;
    }
    double first = 0.0;
    double last = 0.0;
    for (const Piece* piece : {&p, &q}) {
        for (const auto& [x, y] : {std::pair{piece->ax, piece->ay}, {piece->bx, piece->by}}) {
            const double t = (x - mx) * ux + (y - my) * uy;
            first = std::min(first, t);
            last = std::max(last, t);
        }
    }
    return {mx + first * ux,
            my + first * uy,
            mx + last * ux,
            my + last * uy,
            std::max(p.width, q.width),
            std::max(p.significance, q.significance)};
}

// Joins pieces of one edge until no two are left to join, longest first. A join can make a
// piece reach one it passed over, hence another pass; a few passes leave only chains no edge
// makes, and the cap bounds the pairs tried whatever the picture.
void joinPieces(std::vector<Piece>& pieces)
{
    bool changed = true;
    for (int pass = 0; changed && pass < MostJoinPasses; ++pass) {
        changed = false;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            for (std::size_t j = i + 1; j < pieces.size();) {
                if (joinable(pieces[i], pieces[j])) {
                    pieces[i] = joined(pieces[i], pieces[j]);
                    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(j));
                    changed = true;
                } else {
                    ++j;
                }
            }
        }
    }
}

bool twins(const Piece& kept, const Piece& other)
{
    if (std::fabs(kept.ux() * other.ux() + kept.uy() * other.uy()) < cosineOf(TwinTurnDegrees)) {
        return false;
    }
    const double offset = std::max(TwinOffset, 0.5 * (kept.width + other.width) + 1.0);
    if (std::fabs(kept.across(other.ax, other.ay)) > offset ||
        std::fabs(kept.across(other.bx, other.by)) > offset) {
        return false;
    }
    const auto [gap, span] = gapAndSpan(kept, other);
    return -gap >= TwinOverlap * std::min(kept.length(), other.length());
}

// The view's level at a point of its plane, bilinear between pixel centres, held at the border.
double levelAt(const GreyView& view, double x, double y)
{
    const double u = std::clamp(x - 0.5, 0.0, static_cast<double>(view.width - 1));
    const double v = std::clamp(y - 0.5, 0.0, static_cast<double>(view.height - 1));
    const auto i = std::min(static_cast<std::int64_t>(u), view.width - 2);
    const auto j = std::min(static_cast<std::int64_t>(v), view.height - 2);
    const double fu = u - static_cast<double>(i);
    const double fv = v - static_cast<double>(j);
    const float* row = view.pixels + j * view.stride + i;
    const double top = (1.0 - fu) * calmLevel(row[0]) + fu * calmLevel(row[1]);
    const double bottom =
        (1.0 - fu) * calmLevel(row[view.stride]) + fu * calmLevel(row[view.stride + 1]);
    return (1.0 - fv) * top + fv * bottom;
}

// The median, over places along the piece, of the largest step from the darker side to the
// lighter one at the same distance either side: a step's height, or a thin line's depth (seen
// from one of its sides, the far side of the line is its surround again).
double contrastAcross(const GreyView& view, const Piece& piece)
{
    const int samples = std::clamp(static_cast<int>(piece.length() / 2.0), 1, ContrastSamples);
    const double reach = std::clamp(0.5 * piece.width + 2.0, 2.0, ContrastReach);
    // The lighter side's direction.
    const double lx = piece.uy();
    const double ly = -piece.ux();
    std::vector<double> steps;
    steps.reserve(static_cast<std::size_t>(samples));
    for (int s = 0; s < samples; ++s) {
        const double t = (s + 0.5) / samples;
        const double x = piece.ax + t * (piece.bx - piece.ax);
        const double y = piece.ay + t * (piece.by - piece.ay);
        double step = 0.0;
        for (double h = 0.5; h <= reach; h += 0.5) {
            step = std::max(step, levelAt(view, x + h * lx, y + h * ly) -
                                      levelAt(view, x - h * lx, y - h * ly));
        }
        steps.push_back(step);
    }
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    return *middle;
}

// The part of the segment inside [0, width] x [0, height], the same line: a rectangle about
// points next to the border, or a thin line's middle, may reach a little past it. False when
// nothing is left.
bool clipToView(PictureSegment& s, const GreyView& view)
{
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = s.b.x - s.a.x;
    const double dy = s.b.y - s.a.y;
    for (const auto& [origin, delta, size] :
         {std::tuple{s.a.x, dx, static_cast<double>(view.width)},
          std::tuple{s.a.y, dy, static_cast<double>(view.height)}}) {
        if (delta == 0.0) {
            if (origin < 0.0 || origin > size) {
                return false;
            }
            continue;
        }
        const double enter = std::min(-origin / delta, (size - origin) / delta);
        const double leave = std::max(-origin / delta, (size - origin) / delta);
        t0 = std::max(t0, enter);
        t1 = std::min(t1, leave);
    }
    if (!(t0 < t1)) {
        return false;
    }
    const PicturePoint a{std::clamp(s.a.x + t0 * dx, 0.0, static_cast<double>(view.width)),
                         std::clamp(s.a.y + t0 * dy, 0.0, static_cast<double>(view.height))};
    const PicturePoint b{std::clamp(s.a.x + t1 * dx, 0.0, static_cast<double>(view.width)),
                         std::clamp(s.a.y + t1 * dy, 0.0, static_cast<double>(view.height))};
    s = {a, b};
    return true;
}

std::vector<Piece> detectPieces(const GreyView& view, double minPieceLength)
{
    const LevelLineField field = levelLines(view, GradientThreshold);
    std::vector<Piece> pieces;
    for (const SupportSegment& s : lineSupportSegments(field, MostSegments)) {
        const Piece piece{s.x1, s.y1, s.x2, s.y2, s.width, s.significance};
        if (piece.length() >= minPieceLength) {
            pieces.push_back(piece);
        }
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& p, const Piece& q) { return p.length() > q.length(); });
    if (pieces.size() > MostPieces) {
        pieces.resize(MostPieces);
    }
    return pieces;
}

// Pieces found on a copy reduced CoarseFactor times more, where an edge out of focus or in haze
// is a step again, added where no piece of the view itself lies: those are the sharper.
void addCoarsePieces(const GreyView& view, double minPiece, std::vector<Piece>& pieces)
{
    const GreyPicture coarse = reduceBy(view, CoarseFactor);
    if (coarse.width < 2 || coarse.height < 2) {
        return;
    }
    const auto f = static_cast<double>(CoarseFactor);
    const std::size_t fine = pieces.size();
    for (Piece piece : detectPieces(coarse.view(), minPiece / f)) {
        piece = {piece.ax * f, piece.ay * f,    piece.bx * f,
                 piece.by * f, piece.width * f, piece.significance};
        const bool covered =
            std::any_of(pieces.begin(), pieces.begin() + static_cast<std::ptrdiff_t>(fine),
                        [&](const Piece& p) { return twins(p, piece) || joinable(p, piece); });
        if (!covered) {
            pieces.push_back(piece);
        }
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& p, const Piece& q) { return p.length() > q.length(); });
}

std::vector<EdgeCandidate> findInView(const GreyView& view, const FindOptions& options)
{
    const double sx = options.scaleX;
    const double sy = options.scaleY;
    const double longerSide =
        std::max(static_cast<double>(view.width) * sx, static_cast<double>(view.height) * sy);
    const double minLength = std::max(0.0, options.minLengthShare) * longerSide;
    // The shortest piece worth joining, in view pixels: a piece scaled by the larger of the
    // scales is at most that much longer in the picture.
    const double minPiece = std::max(MinViewLength, minLength / std::max(sx, sy)) * PieceShare;
    std::vector<Piece> pieces = detectPieces(view, minPiece);
    addCoarsePieces(view, minPiece, pieces);
    joinPieces(pieces);

    std::vector<std::pair<Piece, EdgeCandidate>> ranked;
    for (const Piece& piece : pieces) {
        EdgeCandidate c;
        c.segment = {{piece.ax, piece.ay}, {piece.bx, piece.by}};
        c.length = std::hypot((piece.bx - piece.ax) * sx, (piece.by - piece.ay) * sy);
        if (c.length < minLength || piece.length() < MinViewLength) {
            continue;
        }
        c.angleFromAxisDegrees = angleFromAxisDegrees(c.segment, sx, sy);
        c.contrast = contrastAcross(view, piece);
        c.width = piece.width;
        c.significance = piece.significance;
        c.score = edgeScore(c.length, c.contrast, c.angleFromAxisDegrees);
        ranked.emplace_back(piece, c);
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& p, const auto& q) { return p.second.score > q.second.score; });
    std::vector<Piece> kept;
    std::vector<bool> centred;
    std::vector<EdgeCandidate> candidates;
    for (const auto& entry : ranked) {
        const Piece& piece = entry.first;
        if (candidates.size() >= options.maxCandidates) {
            break;
        }
        const auto twin =
            std::find_if(kept.begin(), kept.end(), [&](const Piece& k) { return twins(k, piece); });
        if (twin == kept.end()) {
            kept.push_back(piece);
            centred.push_back(false);
            candidates.push_back(entry.second);
            continue;
        }
        // The other side of a thin line: the candidate moves to the line's middle, where the
        // full-resolution fit looks for it.
        const auto k = static_cast<std::size_t>(twin - kept.begin());
        if (!centred[k] && twin->ux() * piece.ux() + twin->uy() * piece.uy() < 0.0) {
            centred[k] = true;
            const double shift =
                0.25 * (twin->across(piece.ax, piece.ay) + twin->across(piece.bx, piece.by));
            PictureSegment& s = candidates[k].segment;
            s = {{s.a.x - shift * twin->uy(), s.a.y + shift * twin->ux()},
                 {s.b.x - shift * twin->uy(), s.b.y + shift * twin->ux()}};
        }
    }
    std::erase_if(candidates, [&](EdgeCandidate& c) { return !clipToView(c.segment, view); });
    for (EdgeCandidate& c : candidates) {
        c.length =
            std::hypot((c.segment.b.x - c.segment.a.x) * sx, (c.segment.b.y - c.segment.a.y) * sy);
    }
    return candidates;
}

} // namespace

double edgeScore(double length, double contrast, double angleFromAxisDegrees)
{
    if (!(length >= 0.0 && contrast >= 0.0 && angleFromAxisDegrees >= 0.0) ||
        !std::isfinite(length) || !std::isfinite(contrast) ||
        !std::isfinite(angleFromAxisDegrees)) {
        return 0.0;
    }
    const double contrastWeight = contrast / (contrast + HalfContrast);
    const double axisWeight =
        1.0 / (1.0 + std::pow(angleFromAxisDegrees / HalfAxisDegrees, AxisFalloff));
    return length * contrastWeight * axisWeight;
}

double angleFromAxisDegrees(const PictureSegment& segment, double scaleX, double scaleY)
{
    const double dx = std::fabs((segment.b.x - segment.a.x) * scaleX);
    const double dy = std::fabs((segment.b.y - segment.a.y) * scaleY);
    if (!(dx + dy > 0.0) || !std::isfinite(dx + dy)) {
        return 0.0;
    }
    const double degrees = std::atan2(dy, dx) * 180.0 / Pi;
    return std::min(degrees, 90.0 - degrees);
}

std::vector<EdgeCandidate> findStraightEdges(const GreyView& view, const FindOptions& options)
{
    const bool scaled = options.scaleX >= MinScale && options.scaleX <= MaxScale &&
                        options.scaleY >= MinScale && options.scaleY <= MaxScale;
    if (!holdsPicture(view) || view.width < 2 || view.height < 2 || !scaled) {
        return {};
    }
    if (view.width > MostPoints / view.height) {
        // From the square root of the excess, then up to the first factor that fits.
        auto factor = std::max<std::int64_t>(
            2, static_cast<std::int64_t>(
                   std::sqrt(static_cast<double>(view.width) / static_cast<double>(MostPoints) *
                             static_cast<double>(view.height))));
        while ((view.width / factor) >
               MostPoints / std::max<std::int64_t>(view.height / factor, 1)) {
            ++factor;
        }
        const GreyPicture reduced = reduceBy(view, factor);
        FindOptions inReduced = options;
        inReduced.scaleX *= static_cast<double>(factor);
        inReduced.scaleY *= static_cast<double>(factor);
        std::vector<EdgeCandidate> candidates = findStraightEdges(reduced.view(), inReduced);
        const auto f = static_cast<double>(factor);
        for (EdgeCandidate& c : candidates) {
            c.segment = {{c.segment.a.x * f, c.segment.a.y * f},
                         {c.segment.b.x * f, c.segment.b.y * f}};
            c.width *= f;
        }
        return candidates;
    }
    return findInView(view, options);
}

} // namespace measure
