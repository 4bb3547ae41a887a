// How Enter does on edges in real photographs, as a person measures them: the table
// bench/real_edges.txt names edges in photos from Debian's wallpaper packages (unpacked by
// bench/fetch_photos.sh into a cache outside the repository) with rough ends put by hand. The
// window is simulated at 1500 x 950 device pixels; each edge gets five rough lines, each end up
// to 4 device pixels off, and is fitted as Enter fits it; the readings' spread tells how much
// the hand still matters. Then the photo is turned by known angles with ImageMagick and the
// rough lines with it: the reading must change by exactly the angle, whatever the edge's own
// tilt or bend, so the error is measured without knowing the edge's true direction. Prints a
// row per edge, what the edges are like, and a summary against the goals.
// Exit status: 0 when every goal is met, 1 when one is missed, 2 when it could not run.
#include "EdgeCharacter.h"
#include "EdgeFit.h"
#include "EdgeNotice.h"
#include "FullPicture.h"
#include "Line.h"
#include "Measurement.h"
#include "Numbers.h"
#include "Readout.h"
#include "RealEdgeResults.h"
#include "RealPhotos.h"

#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using measure::PicturePoint;
using measure::PictureSegment;
using realphotos::Clock;
using realphotos::EdgeResult;
using realphotos::FitAnswer;
using realphotos::quarterWrapped;
using realphotos::RealEdge;
using realphotos::Tries;
using realphotos::Try;
using realphotos::TurnedTry;
using realphotos::Turns;

constexpr double Pi = 3.14159265358979323846;
// The window: the picture fills a 1500 x 950 client area at scale 1, so a device pixel is a
// logical one.
constexpr double WindowWidth = 1500.0;
constexpr double WindowHeight = 950.0;
// The band Enter searches: 10 window pixels across the line, at least 3 picture pixels.
constexpr double BandWindowPixels = 10.0;
constexpr double BandPicturePixels = 3.0;
// A hand puts each end within this many device pixels of where it meant to.
constexpr double HandReach = 4.0;
// A turned copy is resampled with a filter a few pixels wide: the band and this much more
// must lie inside both the canvas and the photo before it was turned.
constexpr double TurnMargin = 4.0;
// What an edge is like is looked at this many band half-widths to either side, within limits
// that let a soft step fade out and keep the picture's next feature away.
constexpr double DescribeBands = 4.0;
constexpr double DescribeLeast = 24.0;
constexpr double DescribeMost = 64.0;
// The overview pictures are at most this wide.
constexpr int OverviewWidth = 1600;
// A simulated drag moves this many twips (a device pixel is 15) between mouse events.
constexpr double DragStep = 15.0;

// The one call of the fit. Measurement::fitToEdge, given the picture's own pixels, hands the
// ends to fitEdge unchanged; the notice is the window's, with the separators of English.
FitAnswer fitOnce(const intake::FullPicture& pixels, PictureSegment rough, double halfWidth)
{
    const measure::EdgeFitAnswer answer = measure::fitEdge(pixels, rough, halfWidth);
    const std::string notice = measure::edgeFitNotice(answer, ".", ",");
    if (!answer.fit) {
        return {false, rough, NAN, notice};
    }
    return {true, answer.fit->ends, answer.fit->plusMinusDegrees, notice};
}

// The band's half-width as the window computes it for this line: picture pixels across the
// line that cover BandWindowPixels, at least BandPicturePixels.
double halfWidthFor(const PictureSegment& line, double width, double height)
{
    const double scaleX = WindowWidth / width;
    const double scaleY = WindowHeight / height;
    const double dx = line.b.x - line.a.x;
    const double dy = line.b.y - line.a.y;
    const double length = std::hypot(dx, dy);
    const double across = std::hypot(dy / length * scaleX, dx / length * scaleY);
    return std::max(BandPicturePixels, BandWindowPixels / across);
}

double clientWidthTwips()
{
    return WindowWidth * measure::TwipsPerPixel;
}

double clientHeightTwips()
{
    return WindowHeight * measure::TwipsPerPixel;
}

// The title's signed tilt for a line in picture pixels, through the title's own arithmetic:
// fractions of the picture, the line control in twips, measureTilt with the picture's
// HIMETRIC size. Not rounded to the title's two decimals.
std::optional<measure::Tilt> readingOf(const PictureSegment& line, double width, double height)
{
    const auto clientWidth = static_cast<float>(clientWidthTwips());
    const auto clientHeight = static_cast<float>(clientHeightTwips());
    const measure::LineFractions fractions{line.a.x / width, line.a.y / height, line.b.x / width,
                                           line.b.y / height};
    measure::LineControl control;
    measure::placeLine(control, fractions, clientWidth, clientHeight);
    const measure::PictureGeometry geometry{
        measure::himetricFromPixels(static_cast<std::int64_t>(width)),
        measure::himetricFromPixels(static_cast<std::int64_t>(height)), clientWidth, clientHeight};
    return measure::measureTilt(control, geometry);
}

// Whether the title, written by Measurement for the line placed by a press and a drag (whole
// twips), says what readingOf says to within its two decimals and the twips' rounding. Nothing
// when the drag cannot place this line.
std::optional<bool> titleAgrees(const PictureSegment& line, double width, double height,
                                const measure::Tilt& reading)
{
    measure::Measurement measurement;
    measurement.setPicture(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height),
                           " [bench]");
    const auto clientWidth = static_cast<float>(clientWidthTwips());
    const auto clientHeight = static_cast<float>(clientHeightTwips());
    auto twips = [&](PicturePoint p) {
        return std::pair{measure::CLng(p.x / width * clientWidthTwips()),
                         measure::CLng(p.y / height * clientHeightTwips())};
    };
    const auto [x1, y1] = twips(line.a);
    const auto [x2, y2] = twips(line.b);
    // A press at one end moves end 2 there from the centre; a drag from the centre to the
    // other end then carries end 1 along, as each step moves whichever end is nearer.
    measurement.moveNearestEndpoint(x1, y1, clientWidth, clientHeight);
    const double centreX = 0.5 * clientWidthTwips();
    const double centreY = 0.5 * clientHeightTwips();
    const int steps = 1 + static_cast<int>(std::hypot(x2 - centreX, y2 - centreY) / DragStep);
    for (int step = 1; step <= steps; ++step) {
        const double f = static_cast<double>(step) / steps;
        measurement.moveNearestEndpoint(measure::CLng(centreX + f * (x2 - centreX)),
                                        measure::CLng(centreY + f * (y2 - centreY)), clientWidth,
                                        clientHeight);
    }
    measurement.place(clientWidth, clientHeight, clientWidth, clientHeight, ".");
    const measure::LineFractions& ends = measurement.fractions();
    auto at = [](double fraction, double client, std::int32_t twips) {
        return std::fabs(fraction * client - twips) <= 0.01;
    };
    if (!at(ends.RelX2, clientWidthTwips(), x1) || !at(ends.RelY2, clientHeightTwips(), y1) ||
        !at(ends.RelX1, clientWidthTwips(), x2) || !at(ends.RelY1, clientHeightTwips(), y2)) {
        // The drag passed nearer the first end than the second: no such line by hand.
        return std::nullopt;
    }
    const std::string& text = measurement.readout();
    const bool vertical = text.rfind("Vertical", 0) == 0;
    const std::size_t number = text.find_first_of("+-");
    const double shownDegrees = number == std::string::npos ? 0.0 : std::stod(text.substr(number));
    // Half a twip at each end, each way, turns the line by at most this much. The picture is
    // stretched to the window unevenly, so the half twips are taken in its own pixels.
    const double endMoves =
        std::hypot(0.5 * width / clientWidthTwips(), 0.5 * height / clientHeightTwips());
    const double length = std::hypot(line.b.x - line.a.x, line.b.y - line.a.y);
    const double rounding = 2.0 * endMoves / length * 180.0 / Pi;
    return vertical == (reading.axis == measure::Axis::Vertical) &&
           std::fabs(shownDegrees - reading.degrees) <= 0.005 + rounding + 1e-9;
}

// Five rough lines about the table's ends, each end up to HandReach device pixels off in any
// direction; seeded by the edge's place in the table, so every run places the same lines.
std::vector<PictureSegment> roughLines(const RealEdge& edge, std::size_t index, double width,
                                       double height)
{
    std::mt19937 random(static_cast<std::uint32_t>(2020 + index));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto jitter = [&](PicturePoint p) {
        const double r = HandReach * std::sqrt(unit(random));
        const double phi = 2.0 * Pi * unit(random);
        return PicturePoint{p.x + r * std::cos(phi) * width / WindowWidth,
                            p.y + r * std::sin(phi) * height / WindowHeight};
    };
    std::vector<PictureSegment> lines;
    for (int t = 0; t < Tries; ++t) {
        const PicturePoint a = jitter(edge.rough.a);
        lines.push_back({a, jitter(edge.rough.b)});
    }
    return lines;
}

bool insideBox(PicturePoint p, double width, double height, double margin)
{
    return p.x >= margin && p.y >= margin && p.x <= width - margin && p.y <= height - margin;
}

// Whether the fit's band around the turned line, and the resampling filter's reach beyond it,
// lies on real pixels of the turned copy: inside its canvas and inside the photo as it was.
bool bandOnPhoto(const PictureSegment& turned, double halfWidth, double degrees, double width,
                 double height)
{
    const bool alongX = std::fabs(turned.b.x - turned.a.x) >= std::fabs(turned.b.y - turned.a.y);
    const double reach = halfWidth + TurnMargin;
    for (const PicturePoint end : {turned.a, turned.b}) {
        for (const double side : {-1.0, 1.0}) {
            const PicturePoint corner = alongX ? PicturePoint{end.x, end.y + side * reach}
                                               : PicturePoint{end.x + side * reach, end.y};
            const PicturePoint before = realphotos::turnPoint(corner, -degrees, width, height);
            if (!insideBox(corner, width, height, TurnMargin) ||
                !insideBox(before, width, height, TurnMargin)) {
                return false;
            }
        }
    }
    return true;
}

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

FitAnswer timedFit(const intake::FullPicture& pixels, const PictureSegment& rough, double halfWidth,
                   Clock& clock)
{
    const auto start = std::chrono::steady_clock::now();
    FitAnswer answer = fitOnce(pixels, rough, halfWidth);
    clock.fits.push_back(milliseconds(std::chrono::steady_clock::now() - start));
    return answer;
}

double continuousReading(const std::optional<measure::Tilt>& tilt)
{
    return tilt ? tilt->degrees : NAN;
}

// With REAL_EDGES_TRIES set, every try is printed as it is made: where a figure surprises, which
// try gave it.
void printTry(double turn, const PictureSegment& rough, const FitAnswer& answer, double reading)
{
    if (std::getenv("REAL_EDGES_TRIES") == nullptr) {
        return;
    }
    std::fprintf(stderr, "turn %+6.1f rough %.1f %.1f %.1f %.1f: %+.4f %s\n", turn, rough.a.x,
                 rough.a.y, rough.b.x, rough.b.y, reading, answer.notice.c_str());
}

void checkTitle(const PictureSegment& line, double width, double height, Clock& clock)
{
    const auto tilt = readingOf(line, width, height);
    if (!tilt) {
        return;
    }
    if (const auto agrees = titleAgrees(line, width, height, *tilt)) {
        ++clock.titleChecks;
        clock.titleMismatches += *agrees ? 0 : 1;
    }
}

// The edge's five tries on the photo as it is.
void measureUnturned(const RealEdge& edge, std::size_t index, const QImage& photo,
                     const intake::FullPicture& pixels, EdgeResult& result, Clock& clock)
{
    const double width = photo.width();
    const double height = photo.height();
    const double band = halfWidthFor(edge.rough, width, height);
    result.measured = true;
    result.length = std::hypot(edge.rough.b.x - edge.rough.a.x, edge.rough.b.y - edge.rough.a.y);
    if (const auto tilt = readingOf(edge.rough, width, height)) {
        result.vertical = tilt->axis == measure::Axis::Vertical;
        result.handReading = tilt->degrees;
    }
    result.character = realphotos::describeEdge(
        photo, edge.rough, band, std::clamp(DescribeBands * band, DescribeLeast, DescribeMost));
    for (const PictureSegment& rough : roughLines(edge, index, width, height)) {
        Try attempt;
        attempt.rough = rough;
        attempt.hand = continuousReading(readingOf(rough, width, height));
        attempt.answer = timedFit(pixels, rough, halfWidthFor(rough, width, height), clock);
        if (attempt.answer.fitted) {
            attempt.reading = continuousReading(readingOf(attempt.answer.ends, width, height));
            checkTitle(attempt.answer.ends, width, height, clock);
        }
        printTry(0.0, rough, attempt.answer, attempt.reading);
        result.tries.push_back(attempt);
    }
}

// The same tries on the photo turned by degrees, the rough lines turned alike.
void measureTurned(const QImage& turnedPhoto, const intake::FullPicture& pixels, double degrees,
                   EdgeResult& result, Clock& clock)
{
    const double width = turnedPhoto.width();
    const double height = turnedPhoto.height();
    std::vector<TurnedTry>& turned = result.turned[degrees];
    for (const Try& attempt : result.tries) {
        const PictureSegment rough{realphotos::turnPoint(attempt.rough.a, degrees, width, height),
                                   realphotos::turnPoint(attempt.rough.b, degrees, width, height)};
        const double band = halfWidthFor(rough, width, height);
        TurnedTry turnedTry;
        turnedTry.onPhoto = bandOnPhoto(rough, band, degrees, width, height);
        if (turnedTry.onPhoto) {
            turnedTry.answer = timedFit(pixels, rough, band, clock);
            if (turnedTry.answer.fitted && attempt.answer.fitted) {
                const double reading =
                    continuousReading(readingOf(turnedTry.answer.ends, width, height));
                checkTitle(turnedTry.answer.ends, width, height, clock);
                turnedTry.error = quarterWrapped(reading - attempt.reading - degrees);
                turnedTry.plusMinus =
                    std::hypot(attempt.answer.plusMinusDegrees, turnedTry.answer.plusMinusDegrees);
                printTry(degrees, rough, turnedTry.answer, turnedTry.error);
            }
        }
        turned.push_back(turnedTry);
    }
}

// A reduced copy of the photo with the table's rough lines on it, numbered, for a person to
// look at.
void drawOverview(const QImage& photo, const std::vector<std::size_t>& edges,
                  const std::vector<RealEdge>& table, const QString& file)
{
    const double scale = std::min(1.0, static_cast<double>(OverviewWidth) / photo.width());
    QImage overview =
        photo.scaledToWidth(static_cast<int>(photo.width() * scale), Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    // Only for looking at: without the photo's colour profile, which the PNG writer would
    // otherwise complain about.
    overview.setColorSpace(QColorSpace());
    QPainter painter(&overview);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(28);
    font.setBold(true);
    painter.setFont(font);
    for (const std::size_t index : edges) {
        const PictureSegment& rough = table[index].rough;
        const QPointF a(rough.a.x * scale, rough.a.y * scale);
        const QPointF b(rough.b.x * scale, rough.b.y * scale);
        painter.setPen(QPen(QColor(255, 40, 200), 2.0));
        painter.drawLine(a, b);
        painter.setPen(QPen(Qt::yellow, 2.0));
        for (const QPointF end : {a, b}) {
            painter.drawEllipse(end, 5.0, 5.0);
        }
        painter.drawText(a + QPointF(8.0, -8.0), QString::number(index + 1));
    }
    painter.end();
    overview.save(file);
}

} // namespace

int main(int argc, char** argv)
{
    // Fonts for the overviews' numbers; no window is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QImageReader::setAllocationLimit(1024);
    const QString tableFile =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TORVANIX_EDGE_TABLE);
    QString error;
    const std::vector<RealEdge> table = realphotos::readEdgeTable(tableFile, &error);
    if (table.empty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error.isEmpty() ? u"no edges"_qs : error));
        return 2;
    }
    const QString cache = realphotos::benchCache();
    // Photos in the order the table first names them, each with its edges.
    std::vector<std::pair<QString, std::vector<std::size_t>>> photos;
    // REAL_EDGES_ONLY=n measures the table's n-th edge alone, with the rough lines it has in
    // the whole table.
    const char* only = std::getenv("REAL_EDGES_ONLY");
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (only != nullptr && std::to_string(i + 1) != only) {
            continue;
        }
        const QString file = realphotos::photoFile(cache, table[i]);
        if (!QFileInfo::exists(file)) {
            std::fprintf(stderr, "%s is missing: run bench/fetch_photos.sh first\n",
                         qPrintable(file));
            return 2;
        }
        auto same = [&](const auto& photo) {
            return photo.first == file;
        };
        auto found = std::find_if(photos.begin(), photos.end(), same);
        if (found == photos.end()) {
            photos.push_back({file, {}});
            found = photos.end() - 1;
        }
        found->second.push_back(i);
    }

    const QString checkFolder = cache + QStringLiteral("/check");
    QDir().mkpath(checkFolder);
    const double convention = realphotos::checkTurnConvention(checkFolder, Turns);
    std::printf("ImageMagick's -distort SRT against the turn used for the rough ends, on bright "
                "spots in synthetic pictures: largest distance %.4f px\n",
                convention);
    if (!(convention >= 0.0 && convention <= 0.02)) {
        std::fprintf(stderr, "the turned copies do not turn as the rough ends are turned\n");
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    const QString overviews = cache + QStringLiteral("/overview");
    QDir().mkpath(overviews);
    std::vector<EdgeResult> results(table.size());
    Clock clock;
    for (const auto& [file, edges] : photos) {
        const QImage photo = QImage(file).convertToFormat(QImage::Format_RGB32);
        {
            const auto pixels = intake::FullPicture::fromImage(photo);
            for (const std::size_t i : edges) {
                measureUnturned(table[i], i, photo, *pixels, results[i], clock);
            }
        }
        const RealEdge& first = table[edges.front()];
        drawOverview(photo, edges, table,
                     QStringLiteral("%1/%2.png").arg(overviews, realphotos::shortName(first)));
        for (const double degrees : Turns) {
            const auto turning = std::chrono::steady_clock::now();
            const QString turnedFile = realphotos::turnedPhoto(cache, first, degrees, &error);
            clock.turning += milliseconds(std::chrono::steady_clock::now() - turning) / 1e3;
            if (turnedFile.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 2;
            }
            const QImage turned = QImage(turnedFile).convertToFormat(QImage::Format_RGB32);
            const auto pixels = intake::FullPicture::fromImage(turned);
            for (const std::size_t i : edges) {
                measureTurned(turned, *pixels, degrees, results[i], clock);
            }
        }
    }
    const double seconds = milliseconds(std::chrono::steady_clock::now() - start) / 1e3;
    const bool met = realphotos::report(table, results, clock, seconds);
    std::printf("\noverviews with the rough lines: %s\n", qPrintable(overviews));
    return met ? 0 : 1;
}
