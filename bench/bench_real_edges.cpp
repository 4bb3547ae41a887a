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
#include "FullPicture.h"
#include "Line.h"
#include "Measurement.h"
#include "Numbers.h"
#include "Readout.h"
#include "RealPhotos.h"

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
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using measure::PicturePoint;
using measure::PictureSegment;
using realphotos::RealEdge;

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
constexpr int Tries = 5;
// Anticlockwise, as the readout counts "+": small turns a photo really has, a larger one, and
// past 45 degrees either way, where the line reads on the other axis. Both signs of the large
// turn, as a line far from the centre stays inside the canvas only one way round.
constexpr std::array<double, 5> Turns = {0.7, -2.3, 12.0, 57.0, -57.0};
// A turned copy is resampled with a filter a few pixels wide: the band and this much more
// must lie inside both the canvas and the photo before it was turned.
constexpr double TurnMargin = 4.0;
// Goals: spread and turned error for crisp edges, for soft or hidden ones; the share of errors
// the +- covers, and how much larger than the largest error it may be.
constexpr double CrispGoal = 0.02;
constexpr double SoftGoal = 0.05;
constexpr double CoverageGoal = 0.95;
constexpr double PlusMinusRatioGoal = 3.0;
// What edges are like is looked at this many band half-widths to either side, within limits
// that keep the neighbouring feature out and a soft step in.
constexpr double DescribeBands = 3.0;
constexpr double DescribeLeast = 16.0;
constexpr double DescribeMost = 48.0;
// The overview pictures are at most this wide.
constexpr int OverviewWidth = 1600;
constexpr std::string_view NoStraightEdge = "No straight edge along the line";

// What one Enter gives: the fitted ends, the reading's 95 % +- in degrees and the notice the
// window would show.
struct FitAnswer {
    bool fitted = false;
    PictureSegment ends;
    double plusMinusDegrees = NAN;
    std::string notice;
};

// The one call of the fit. Measurement::fitToEdge, given the picture's own pixels, hands the
// ends to fitEdge unchanged; today's fit gives no +-.
FitAnswer fitOnce(const intake::FullPicture& pixels, PictureSegment rough, double halfWidth)
{
    const auto fitted = measure::fitEdge(pixels, rough, halfWidth);
    if (!fitted) {
        return {false, rough, NAN, std::string(NoStraightEdge)};
    }
    return {true, *fitted, NAN, {}};
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
        measure::himetricFromPixels(static_cast<std::int64_t>(height)), clientWidth,
        clientHeight};
    return measure::measureTilt(control, geometry);
}

// An angle difference brought within -45 to 45 degrees: readings on either axis differ from
// one turned 90 degrees by a whole number of quarter turns.
double quarterWrapped(double degrees)
{
    return degrees - 90.0 * std::round(degrees / 90.0);
}

// Whether the title, written by Measurement for the line placed by two presses (whole twips),
// says what readingOf says to within its two decimals and the twips' rounding. Nothing when two
// presses cannot place this line.
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
    // The first press moves end 2 off the centre, the second whichever end is nearer.
    measurement.moveNearestEndpoint(x2, y2, clientWidth, clientHeight);
    measurement.moveNearestEndpoint(x1, y1, clientWidth, clientHeight);
    measurement.place(clientWidth, clientHeight, clientWidth, clientHeight, ".");
    const measure::LineControl& shown = measurement.line();
    if (shown.X1 != static_cast<float>(x1) || shown.Y1 != static_cast<float>(y1)) {
        return std::nullopt;
    }
    const std::string& text = measurement.readout();
    const bool vertical = text.rfind("Vertical", 0) == 0;
    const std::size_t number = text.find_first_of("+-");
    const double shownDegrees = number == std::string::npos ? 0.0 : std::stod(text.substr(number));
    // Half a twip at each end, each way, turns the line by at most this much.
    const double lengthTwips = std::hypot((line.b.x - line.a.x) / width * clientWidthTwips(),
                                          (line.b.y - line.a.y) / height * clientHeightTwips());
    const double rounding = 2.0 * std::hypot(0.5, 0.5) / lengthTwips * 180.0 / Pi;
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

struct Try {
    PictureSegment rough;
    double hand = NAN; // the rough line's own reading
    FitAnswer answer;
    double reading = NAN;
};

struct TurnedTry {
    bool onPhoto = false;
    FitAnswer answer;
    double error = NAN; // reading's change minus the turn, degrees
    double plusMinus = NAN; // root-sum-square of the two readings' +-
};

struct EdgeResult {
    realphotos::EdgeCharacter character;
    double length = 0.0;
    std::vector<Try> tries;
    std::map<double, std::vector<TurnedTry>> turned;
};

struct Clock {
    std::vector<double> fits; // milliseconds
    int titleChecks = 0;
    int titleMismatches = 0;
    double turning = 0.0; // seconds spent making turned copies
};

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

FitAnswer timedFit(const intake::FullPicture& pixels, const PictureSegment& rough,
                   double halfWidth, Clock& clock)
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
    result.length = std::hypot(edge.rough.b.x - edge.rough.a.x, edge.rough.b.y - edge.rough.a.y);
    result.character = realphotos::describeEdge(
        photo, edge.rough, std::clamp(DescribeBands * band, DescribeLeast, DescribeMost));
    for (const PictureSegment& rough : roughLines(edge, index, width, height)) {
        Try attempt;
        attempt.rough = rough;
        attempt.hand = continuousReading(readingOf(rough, width, height));
        attempt.answer = timedFit(pixels, rough, halfWidthFor(rough, width, height), clock);
        if (attempt.answer.fitted) {
            attempt.reading = continuousReading(readingOf(attempt.answer.ends, width, height));
            checkTitle(attempt.answer.ends, width, height, clock);
        }
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
                turnedTry.error = quarterWrapped(reading - attempt.reading - degrees);
                turnedTry.plusMinus = std::hypot(attempt.answer.plusMinusDegrees,
                                                 turnedTry.answer.plusMinusDegrees);
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
    QImage overview = photo.scaledToWidth(static_cast<int>(photo.width() * scale),
                                          Qt::SmoothTransformation)
                          .convertToFormat(QImage::Format_RGB32);
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

// The spread of the readings that exist, each taken against the first (they may lie either
// side of 45 degrees), or NaN with fewer than two.
double spreadOf(const std::vector<double>& readings)
{
    std::vector<double> present;
    for (const double r : readings) {
        if (std::isfinite(r)) {
            present.push_back(quarterWrapped(r - readings.front()));
        }
    }
    if (present.size() < 2) {
        return NAN;
    }
    const auto [low, high] = std::minmax_element(present.begin(), present.end());
    return *high - *low;
}

double goalFor(const RealEdge& edge)
{
    return edge.is("soft") || edge.is("hidden") ? SoftGoal : CrispGoal;
}

// One edge's figures, as the summary needs them.
struct EdgeFigures {
    int fitted = 0;
    int turnedOnPhoto = 0;
    int turnedFitted = 0;
    double handSpread = NAN;
    double spread = NAN;
    double largestError = NAN; // over every turn
    int largeTurnsMeasured = 0; // fitted pairs past 45 degrees
    int turnsMeasured = 0; // turns with at least one fitted pair
    int covered = 0;
    int coverable = 0; // pairs with a finite +-
    double medianPlusMinus = NAN;
};

EdgeFigures figuresOf(const EdgeResult& result)
{
    EdgeFigures f;
    std::vector<double> hands;
    std::vector<double> readings;
    std::vector<double> plusMinus;
    for (const Try& t : result.tries) {
        hands.push_back(t.hand);
        readings.push_back(t.reading);
        f.fitted += t.answer.fitted ? 1 : 0;
        if (std::isfinite(t.answer.plusMinusDegrees)) {
            plusMinus.push_back(t.answer.plusMinusDegrees);
        }
    }
    f.handSpread = spreadOf(hands);
    // A reading missing from the first try still leaves the others' spread.
    std::vector<double> fittedReadings;
    std::copy_if(readings.begin(), readings.end(), std::back_inserter(fittedReadings),
                 [](double r) { return std::isfinite(r); });
    f.spread = fittedReadings.empty() ? NAN : spreadOf(fittedReadings);
    for (const auto& [degrees, turned] : result.turned) {
        bool measured = false;
        for (const TurnedTry& t : turned) {
            f.turnedOnPhoto += t.onPhoto ? 1 : 0;
            f.turnedFitted += t.onPhoto && t.answer.fitted ? 1 : 0;
            if (!std::isfinite(t.error)) {
                continue;
            }
            measured = true;
            if (!(std::fabs(t.error) <= f.largestError)) {
                f.largestError = std::fabs(t.error);
            }
            if (std::isfinite(t.plusMinus)) {
                ++f.coverable;
                f.covered += std::fabs(t.error) <= t.plusMinus ? 1 : 0;
            }
        }
        f.turnsMeasured += measured ? 1 : 0;
        f.largeTurnsMeasured += measured && std::fabs(degrees) > 45.0 ? 1 : 0;
    }
    if (!plusMinus.empty()) {
        std::sort(plusMinus.begin(), plusMinus.end());
        f.medianPlusMinus = plusMinus[plusMinus.size() / 2];
    }
    return f;
}

std::string degreesText(double value, const char* format = "%.4f")
{
    if (!std::isfinite(value)) {
        return "-";
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), format, value);
    return text.data();
}

// A turn's cell: the error of largest size over the tries, with how many of the tries on the
// photo gave one when not all did.
std::string turnCell(const std::vector<TurnedTry>& turned)
{
    int onPhoto = 0;
    int measured = 0;
    double worst = NAN;
    for (const TurnedTry& t : turned) {
        onPhoto += t.onPhoto ? 1 : 0;
        if (std::isfinite(t.error)) {
            ++measured;
            if (!(std::fabs(t.error) <= std::fabs(worst))) {
                worst = t.error;
            }
        }
    }
    if (onPhoto == 0) {
        return "off the photo";
    }
    if (measured == 0) {
        return "refused";
    }
    std::string cell = degreesText(worst, "%+.4f");
    if (measured < onPhoto) {
        cell += " (" + std::to_string(measured) + "/" + std::to_string(onPhoto) + ")";
    }
    return cell;
}

bool report(const std::vector<RealEdge>& table, const std::vector<EdgeResult>& results,
            const Clock& clock, double seconds)
{
    std::printf("\n| # | photo | kinds | length px | fitted: as is, turned | hand's spread | "
                "spread after Enter |");
    for (const double degrees : Turns) {
        std::printf(" turned %+.1f° |", degrees);
    }
    std::printf(" ± covered | ± / largest error |\n|---|---|---|---|---|---|---|");
    for (std::size_t i = 0; i < Turns.size(); ++i) {
        std::printf("---|");
    }
    std::printf("---|---|\n");
    int allFitted = 0;
    int withinGoal = 0;
    int fullyTurned = 0;
    int covered = 0;
    int coverable = 0;
    double worstRatio = NAN;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const EdgeFigures f = figuresOf(results[i]);
        std::printf("| %zu | %s | %s | %.0f | %d/%d, %d/%d | %s | %s |", i + 1,
                    qPrintable(realphotos::shortName(table[i])), table[i].kinds.c_str(),
                    results[i].length, f.fitted, Tries, f.turnedFitted, f.turnedOnPhoto,
                    degreesText(f.handSpread, "%.3f").c_str(),
                    f.fitted == 0 ? "refused" : degreesText(f.spread).c_str());
        for (const double degrees : Turns) {
            std::printf(" %s |", turnCell(results[i].turned.at(degrees)).c_str());
        }
        const double ratio = f.medianPlusMinus / f.largestError;
        std::printf(" %s | %s |\n",
                    f.coverable == 0
                        ? "n/a"
                        : (std::to_string(f.covered) + "/" + std::to_string(f.coverable)).c_str(),
                    degreesText(ratio, "%.1f").c_str());
        allFitted += f.fitted == Tries && f.turnedFitted == f.turnedOnPhoto ? 1 : 0;
        const double goal = goalFor(table[i]);
        withinGoal += f.fitted == Tries && f.spread <= goal && f.largestError <= goal &&
                              f.turnedFitted == f.turnedOnPhoto
                          ? 1
                          : 0;
        fullyTurned += f.turnsMeasured >= 4 && f.largeTurnsMeasured >= 1 ? 1 : 0;
        covered += f.covered;
        coverable += f.coverable;
        if (std::isfinite(ratio) && !(ratio <= worstRatio)) {
            worstRatio = ratio;
        }
    }
    std::printf(
        "\nLength: of the table's line. Fitted: of %d rough lines on the photo, and of the "
        "turned ones whose band lies on the turned photo. Spreads: largest minus smallest "
        "reading, degrees (the hand's: the rough lines' own readings). Turned: the reading's "
        "change minus the turn (anticlockwise +), the largest of the tries, with how many gave "
        "one where not all did. The ± of a change is the root-sum-square of its two readings' ±; "
        "± / largest error: the median ± of the edge's readings over its largest turned "
        "error.\n",
        Tries);

    std::printf("\n| # | what it is | grey step | colour step (RGB) | step width px | bow px | "
                "scatter px | points |\n|---|---|---|---|---|---|---|---|\n");
    for (std::size_t i = 0; i < table.size(); ++i) {
        const realphotos::EdgeCharacter& c = results[i].character;
        std::printf("| %zu | %s | %.0f%s | %.0f | %.1f | %.1f | %.2f | %d/%d |\n", i + 1,
                    table[i].what.c_str(), c.greyStep, c.thinLine ? " (thin line's depth)" : "",
                    c.colourStep, c.width, c.bow, c.scatter, c.found, c.sections);
    }
    std::printf("\nMeasured apart from the fit, in %d cross-sections along the table's line: the "
                "grey levels' and the colours' difference between the two sides (a thin line's "
                "depth), the step's width from 10 %% to 90 %% (a line's at half depth), how far "
                "a parabola through the edge's points bows off its chord, and the points' "
                "median distance from it.\n",
                realphotos::DescribedSections);

    const auto count = static_cast<int>(table.size());
    std::vector<double> fits = clock.fits;
    std::sort(fits.begin(), fits.end());
    std::printf("\n| goal | measured | met |\n|---|---|---|\n");
    std::printf("| every edge fitted, in every try | %d of %d edges | %s |\n", allFitted, count,
                allFitted == count ? "yes" : "no");
    std::printf("| spread and turned error within %.2f° (crisp) or %.2f° (soft or hidden), every "
                "try fitted | %d of %d edges | %s |\n",
                CrispGoal, SoftGoal, withinGoal, count, withinGoal == count ? "yes" : "no");
    std::printf("| ± covers at least %.0f %% of the turned errors | %s | %s |\n",
                100.0 * CoverageGoal,
                coverable == 0 ? "no ± given"
                               : (std::to_string(covered) + " of " + std::to_string(coverable))
                                     .c_str(),
                coverable > 0 && covered >= CoverageGoal * coverable ? "yes" : "no");
    std::printf("| ± at most about %.0f x the largest error | %s | %s |\n", PlusMinusRatioGoal,
                std::isfinite(worstRatio) ? degreesText(worstRatio, "largest ratio %.1f").c_str()
                                          : "no ± given",
                worstRatio <= PlusMinusRatioGoal ? "yes" : "no");
    std::printf("| at least 4 turns measured, one past 45° | %d of %d edges | %s |\n",
                fullyTurned, count, fullyTurned == count ? "yes" : "no");
    std::printf("\nfits: %zu, median %.1f ms, largest %.1f ms; the title written by Measurement "
                "agreed with the reading for %d of %d fitted lines (%d differed); run %.0f s, of "
                "which %.0f s making turned copies\n",
                fits.size(), fits.empty() ? NAN : fits[fits.size() / 2],
                fits.empty() ? NAN : fits.back(), clock.titleChecks - clock.titleMismatches,
                clock.titleChecks, clock.titleMismatches, seconds, clock.turning);
    return allFitted == count && withinGoal == count && coverable > 0 &&
           covered >= CoverageGoal * coverable && worstRatio <= PlusMinusRatioGoal &&
           fullyTurned == count;
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
    for (std::size_t i = 0; i < table.size(); ++i) {
        const QString file = realphotos::photoFile(cache, table[i]);
        if (!QFileInfo::exists(file)) {
            std::fprintf(stderr, "%s is missing: run bench/fetch_photos.sh first\n",
                         qPrintable(file));
            return 2;
        }
        auto same = [&](const auto& photo) { return photo.first == file; };
        auto found = std::find_if(photos.begin(), photos.end(), same);
        if (found == photos.end()) {
            photos.push_back({file, {}});
            found = photos.end() - 1;
        }
        found->second.push_back(i);
    }

    const QString checkFolder = cache + QStringLiteral("/check");
    QDir().mkpath(checkFolder);
    const double convention = realphotos::checkTurnConvention(checkFolder);
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
    const bool met = report(table, results, clock, seconds);
    std::printf("\noverviews with the rough lines: %s\n", qPrintable(overviews));
    return met ? 0 : 1;
}
