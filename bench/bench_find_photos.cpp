// Finding the strongest straight edge in real photographs: the photos of bench_real_edges'
// table (Debian's wallpapers, fetched by bench/fetch_photos.sh into a cache outside the
// repository), each as it is and turned by the table's small angles (their empty corners cut
// away, as they would be edges of their own). For each, what one key press would do: the
// display copy as the window makes it, reduced, the edges found, the first fitted at full
// resolution; printed with the rank of the first table edge of the photo among the candidates,
// and, for the turned copies, the first candidate's reading against the unturned one's plus the
// turn. Draws the first three candidates on a copy of each photo in the cache's find/ folder.
#include "EdgeFit.h"
#include "GreyRows.h"
#include "LineSegments.h"
#include "RealPhotos.h"
#include "Reduce.h"

#include <QDir>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int DisplayWidth = 3840;
constexpr int DisplayHeight = 2160;
constexpr std::int64_t Longest = 2000;
// The turns measured: those near an axis, where the reading is the turn itself.
constexpr std::array<double, 4> Turns = {0.7, -2.3, 12.0, -12.0};
// A candidate is a table edge when both of the edge's rough ends lie this near its line, in
// the photo's pixels (the rough ends are a hand's, a few pixels off).
constexpr double SameEdge = 8.0;

struct Press {
    std::vector<measure::PictureSegment> candidates; // in the photo's pixels
    // The first candidate the Enter fit takes, and its ends after the fit: the window drops
    // those it refuses.
    std::size_t first = 0;
    std::optional<measure::PictureSegment> fitted;
};

// What the key does: the display copy (nearest pixels, stretched to fit), reduced, searched;
// the candidates fitted in turn, with a band of 1.5 of the copy's pixels either side, until one
// fits.
Press press(const QImage& grey)
{
    const QImage display =
        grey.scaled(std::min(grey.width(), DisplayWidth), std::min(grey.height(), DisplayHeight),
                    Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const measure::GreyPicture reduced =
        measure::reduceBy(measure::GreyBytesView{display.constBits(), display.width(),
                                                 display.height(), display.bytesPerLine()},
                          measure::reductionFactor(display.width(), display.height(), Longest));
    measure::FindOptions options;
    options.scaleX = static_cast<double>(grey.width()) / static_cast<double>(reduced.width);
    options.scaleY = static_cast<double>(grey.height()) / static_cast<double>(reduced.height);
    Press p;
    for (const measure::EdgeCandidate& c : measure::findStraightEdges(reduced.view(), options)) {
        const measure::PictureSegment& s = c.segment;
        p.candidates.push_back({{s.a.x * options.scaleX, s.a.y * options.scaleY},
                                {s.b.x * options.scaleX, s.b.y * options.scaleY}});
    }
    const GreyRows pixels(grey);
    const double band = std::max(3.0, 1.5 * std::max(options.scaleX, options.scaleY));
    for (p.first = 0; p.first < p.candidates.size(); ++p.first) {
        const measure::EdgeFitAnswer answer =
            measure::fitEdge(pixels, p.candidates[p.first], band, measure::RoughLine::Detected);
        if (answer.fit) {
            p.fitted = answer.fit->ends;
            break;
        }
    }
    return p;
}

// The reading as the title gives it: the signed tilt from the nearer axis, in degrees.
double readingOf(const measure::PictureSegment& s)
{
    const double dx = s.b.x - s.a.x;
    const double dy = s.b.y - s.a.y;
    if (std::fabs(dx) >= std::fabs(dy)) {
        return -std::atan(dy / dx) * 180.0 / Pi;
    }
    return std::atan(dx / dy) * 180.0 / Pi;
}

double distanceFromLine(measure::PicturePoint p, const measure::PictureSegment& line)
{
    const double dx = line.b.x - line.a.x;
    const double dy = line.b.y - line.a.y;
    return std::fabs((p.x - line.a.x) * dy - (p.y - line.a.y) * dx) / std::hypot(dx, dy);
}

// The rank (1 = the first that fits) of the first candidate on which one of the edges lies,
// or 0.
int rankOfTableEdge(const Press& p, const std::vector<measure::PictureSegment>& edges)
{
    for (std::size_t i = p.first; i < p.candidates.size(); ++i) {
        for (const measure::PictureSegment& e : edges) {
            if (distanceFromLine(e.a, p.candidates[i]) < SameEdge &&
                distanceFromLine(e.b, p.candidates[i]) < SameEdge) {
                return static_cast<int>(i - p.first) + 1;
            }
        }
    }
    return 0;
}

// The photo's part that the turn left whole: the canvas is kept, so its corners are empty.
QRect wholePart(int width, int height, double degrees)
{
    const double s = std::fabs(std::sin(degrees * Pi / 180.0));
    const double c = std::cos(degrees * Pi / 180.0);
    const int mx = static_cast<int>(std::ceil(0.5 * height * s + 0.5 * width * (1.0 - c))) + 2;
    const int my = static_cast<int>(std::ceil(0.5 * width * s + 0.5 * height * (1.0 - c))) + 2;
    return {mx, my, width - 2 * mx, height - 2 * my};
}

void drawCandidates(const QImage& photo, const Press& p, const QString& file)
{
    QImage shown = photo.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&shown);
    const std::array<QColor, 3> colours = {Qt::red, Qt::yellow, Qt::cyan};
    for (std::size_t i = 0; i < 3 && p.first + i < p.candidates.size(); ++i) {
        painter.setPen(QPen(colours[i], std::max(3, photo.width() / 500)));
        const measure::PictureSegment& s = p.candidates[p.first + i];
        painter.drawLine(QPointF(s.a.x, s.a.y), QPointF(s.b.x, s.b.y));
    }
    painter.end();
    shown.scaledToWidth(1200, Qt::SmoothTransformation).save(file);
}

} // namespace

int main()
{
    QString error;
    const QString table = QStringLiteral(TORVANIX_EDGE_TABLE);
    const std::vector<realphotos::RealEdge> edges = realphotos::readEdgeTable(table, &error);
    const QString cache = realphotos::benchCache();
    if (edges.empty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    QDir().mkpath(cache + QStringLiteral("/find"));
    std::map<QString, std::vector<measure::PictureSegment>> photos; // file: its table edges
    std::map<QString, const realphotos::RealEdge*> firstOf;
    for (const realphotos::RealEdge& e : edges) {
        const QString file = realphotos::photoFile(cache, e);
        photos[file].push_back(e.rough);
        firstOf.emplace(file, &e);
    }
    int firstIsTableEdge = 0;
    int turnedAsUnturned = 0;
    int turnedCount = 0;
    double worst = 0.0;
    for (const auto& [file, photoEdges] : photos) {
        const QImage grey = QImage(file).convertToFormat(QImage::Format_Grayscale8);
        if (grey.isNull()) {
            std::fprintf(stderr, "cannot read %s: run bench/fetch_photos.sh\n", qPrintable(file));
            return 2;
        }
        const Press unturned = press(grey);
        const realphotos::RealEdge& first = *firstOf.at(file);
        const QString name = realphotos::shortName(first);
        drawCandidates(grey, unturned, QStringLiteral("%1/find/%2.png").arg(cache, name));
        const int rank = rankOfTableEdge(unturned, photoEdges);
        firstIsTableEdge += rank == 1 ? 1 : 0;
        const double reading = unturned.fitted ? readingOf(*unturned.fitted) : NAN;
        std::printf("%-28s %zu candidates, %zu refused by the fit before the first; a table edge "
                    "is candidate %d; first reads %+.3f deg\n",
                    qPrintable(name), unturned.candidates.size(), unturned.first, rank, reading);
        for (const double degrees : Turns) {
            const QString turnedFile = realphotos::turnedPhoto(cache, first, degrees, &error);
            if (turnedFile.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 2;
            }
            const QImage turned = QImage(turnedFile).convertToFormat(QImage::Format_Grayscale8);
            const QRect whole = wholePart(turned.width(), turned.height(), degrees);
            const Press p = press(turned.copy(whole));
            // The unturned first candidate, turned and moved into the cut-out part.
            std::vector<measure::PictureSegment> expected;
            if (unturned.fitted) {
                measure::PictureSegment s = unturned.candidates[unturned.first];
                for (measure::PicturePoint* end : {&s.a, &s.b}) {
                    *end = realphotos::turnPoint(*end, degrees, grey.width(), grey.height());
                    end->x -= whole.x();
                    end->y -= whole.y();
                }
                expected.push_back(s);
            }
            const bool same = rankOfTableEdge(p, expected) == 1;
            const double miss = same && p.fitted ? readingOf(*p.fitted) - reading - degrees : NAN;
            ++turnedCount;
            if (same && std::isfinite(miss)) {
                ++turnedAsUnturned;
                worst = std::max(worst, std::fabs(miss));
            }
            std::printf("    turned %+6.2f: first %s, reads %+.3f deg, error %+.4f deg\n", degrees,
                        same ? "the same edge" : "ANOTHER edge",
                        p.fitted ? readingOf(*p.fitted) : NAN, miss);
        }
    }
    std::printf("first candidate a table edge in %d of %zu photos; turned, the same edge first in "
                "%d of %d, its reading off the unturned one's plus the turn by at most %.4f deg\n",
                firstIsTableEdge, photos.size(), turnedAsUnturned, turnedCount, worst);
    return 0;
}
