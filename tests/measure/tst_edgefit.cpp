// The edge fit on pictures drawn here, pixel by pixel: a rough line near an edge comes back on
// the edge at its true angle (or, for a bent edge, on the chord between its points under the
// ends) with a bound that covers its error, and a picture without an edge along the line says
// what is missing.
#include "EdgeFit.h"
#include "EdgeNotice.h"
#include "EdgeWidth.h"
#include "Parallel.h"

#include <QTest>

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <thread>
#include <vector>

using namespace measure;

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Width = 480;
constexpr int Height = 360;
constexpr double Dark = 70.0;
constexpr double Light = 180.0;

using Colour = std::array<double, 3>;

// A picture in memory that checks every read stays inside it.
class Picture : public PixelRows {
public:
    // Each pixel is the mean of 8 x 8 samples of level(x, y) (its value at the centre where it
    // changes smoothly), plus noise of up to `noise` levels, rounded to whole levels as a file
    // would hold them; in colour, or grey (the red channel).
    Picture(const std::function<Colour(double, double)>& level, int noise, bool colour, bool smooth)
        : m_channels(colour ? 3 : 1)
        , m_levels(static_cast<std::size_t>(Width) * Height * m_channels)
    {
        std::mt19937 random(16);
        std::uniform_int_distribution<int> jitter(-noise, noise);
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < Width; ++x) {
                // Supersampled only where the shapes (all larger than a pixel) cross it.
                const Colour corner = smooth ? level(x + 0.5, y + 0.5) : level(x, y);
                Colour sum{};
                const bool plain =
                    smooth ||
                    (level(x + 1.0, y) == corner && level(x, y + 1.0) == corner &&
                     level(x + 1.0, y + 1.0) == corner && level(x + 0.5, y + 0.5) == corner);
                for (int i = 0; i < 64; ++i) {
                    const Colour c = plain ? corner
                                           : level(x + (i % 8 + 0.5) / 8.0,
                                                   y + (std::floor(i / 8.0) + 0.5) / 8.0);
                    for (int k = 0; k < 3; ++k) {
                        sum[k] += c[k] / 64.0;
                    }
                }
                const int shake = jitter(random);
                for (int k = 0; k < m_channels; ++k) {
                    m_levels[(static_cast<std::size_t>(y) * Width + x) * m_channels + k] =
                        static_cast<float>(std::round(sum[k] + shake));
                }
            }
        }
    }
    [[nodiscard]] std::int64_t width() const override { return Width; }
    [[nodiscard]] std::int64_t height() const override { return Height; }
    [[nodiscard]] int channels() const override { return m_channels; }
    void readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const override
    {
        QVERIFY(y >= 0 && y < Height && x0 >= 0 && x0 <= x1 && x1 <= Width);
        std::copy_n(m_levels.begin() + (y * Width + x0) * m_channels, (x1 - x0) * m_channels, out);
    }

private:
    int m_channels;
    std::vector<float> m_levels;
};

enum class Scene {
    Step,
    DarkLine,
    Birds,
    Curve,
    Flat,
    Ragged,
    Bent,
    Soft,
    Hidden,
    Colour,
    Stripe,
    Waterline,
    Ledge
};

// How far across the edge through the picture's centre, turned `degrees` anticlockwise from
// the horizontal (or vertical), a point lies: positive on the light side.
double across(double x, double y, double degrees, bool vertical)
{
    const double t = std::tan(degrees * Pi / 180.0);
    const double cx = Width / 2.0;
    const double cy = Height / 2.0;
    return vertical ? (x - cx) - t * (y - cy) : (y - cy) + t * (x - cx);
}

// How far a bent edge lies from the straight one, along the line's length.
double bow(double along)
{
    constexpr double sagitta = 6.0; // 1.5 % of the line's 400 pixels
    return sagitta * (1.0 - std::pow(along / 200.0, 2));
}

// Ragged: the edge's place jumps by up to 1.5 pixels every 12 pixels along it.
double jag(double along)
{
    const auto run = static_cast<std::uint32_t>(std::floor(along / 12.0) + 1000.0);
    const std::uint32_t h = (run * 2654435761U) >> 16U;
    return (static_cast<double>(h % 1000U) / 999.0 - 0.5) * 1.5;
}

Colour grey(double level)
{
    return {level, level, level};
}

double degreesOf(const PictureSegment& s, bool vertical)
{
    const double dx = s.b.x - s.a.x;
    const double dy = s.b.y - s.a.y;
    return vertical ? std::atan(dx / dy) * 180.0 / Pi : -std::atan(dy / dx) * 180.0 / Pi;
}

} // namespace

Q_DECLARE_METATYPE(Scene)
Q_DECLARE_METATYPE(MissingEdge)

class EdgeFitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fitsOrRefuses_data();
    void fitsOrRefuses();
    void noticeSaysWhatWasFitted();
    void candidateStaysOnItsFeature();
    void softWidthThroughRipples();
    void pebblesBesideAStep();
    void sameOnAnyNumberOfThreads();
};

void EdgeFitTest::fitsOrRefuses_data()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<double>("edgeDegrees");
    QTest::addColumn<double>("roughDegrees");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("halfWidth");
    // The ends' distances off the edge, across.
    QTest::addColumn<double>("firstOff");
    QTest::addColumn<double>("lastOff");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<MissingEdge>("missing");
    const auto along = MissingEdge::AlongLine;
    // A line drawn at the edge's own angle but 3 and 2.5 pixels off it at its ends.
    QTest::newRow("step, barely turned")
        << Scene::Step << 0.3 << 0.3 << false << 8.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("step, turned clockwise")
        << Scene::Step << -7.0 << -7.0 << false << 8.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("step, near vertical")
        << Scene::Step << 2.5 << 2.5 << true << 8.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("step, near vertical, clockwise")
        << Scene::Step << -30.0 << -30.0 << true << 8.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("thin dark line")
        << Scene::DarkLine << 1.2 << 1.2 << false << 8.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("step with blobs across it")
        << Scene::Birds << 0.8 << 0.8 << false << 8.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("ragged edge") << Scene::Ragged << 0.6 << 0.6 << false << 8.0 << 3.0 << -2.5
                                 << true << along;
    QTest::newRow("gently bent edge")
        << Scene::Bent << -0.4 << -0.4 << false << 8.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("soft edge, 40 pixels wide")
        << Scene::Soft << 1.1 << 1.1 << false << 8.0 << 3.0 << -2.5 << true << along;
    // A hand puts an end anywhere on a soft edge's ramp, here 14 pixels from its middle.
    QTest::newRow("soft edge, one end on its ramp")
        << Scene::Soft << 1.1 << 1.1 << false << 8.0 << 3.0 << -14.0 << true << along;
    QTest::newRow("half hidden by stalks")
        << Scene::Hidden << -1.3 << -1.3 << false << 8.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("colour alone") << Scene::Colour << 0.9 << 0.9 << true << 8.0 << 3.0 << -2.5
                                  << true << along;
    // The two sides of a light stripe 12 pixels wide: the line lies nearer its lower side.
    QTest::newRow("nearer of two edges")
        << Scene::Stripe << 0.5 << 0.5 << false << 12.0 << -3.0 << -4.0 << true << along;
    // A ragged step with a dark line 2 pixels beside it, as where a far bank meets the water:
    // the step's window sees hardly any plateau on that side.
    QTest::newRow("step beside a dark line")
        << Scene::Waterline << 0.7 << 0.7 << false << 8.0 << 3.0 << -2.5 << true << along;
    // A light ledge 5 pixels above the edge that ends 70 pixels short of either end: the line
    // lies nearer the ledge, but the edge runs its whole length.
    QTest::newRow("edge under a shorter ledge")
        << Scene::Ledge << 0.4 << 0.4 << false << 8.0 << -4.0 << -4.0 << true << along;
    QTest::newRow("curved edge") << Scene::Curve << 0.0 << 0.0 << false << 8.0 << 3.0 << -2.5
                                 << false << along;
    QTest::newRow("flat picture") << Scene::Flat << 0.0 << 0.0 << false << 8.0 << 3.0 << -2.5
                                  << false << along;
    // 4 degrees away from the line: another feature where it leaves the band, the hand's
    // rough placing where it stays inside it from end to end.
    QTest::newRow("edge turned from the line")
        << Scene::Step << 4.0 << 0.0 << false << 8.0 << 3.0 << -2.5 << false << along;
    QTest::newRow("edge turned within the band")
        << Scene::Step << 4.0 << 0.0 << false << 30.0 << 3.0 << -2.5 << true << along;
    QTest::newRow("left end far off the edge") << Scene::Step << 0.0 << 0.0 << false << 8.0 << 30.0
                                               << -1.0 << false << MissingEdge::NearLeftEnd;
    QTest::newRow("top end far off the edge") << Scene::Step << 0.0 << 0.0 << true << 8.0 << 30.0
                                              << -1.0 << false << MissingEdge::NearTopEnd;
}

void EdgeFitTest::fitsOrRefuses()
{
    QFETCH(Scene, scene);
    QFETCH(double, edgeDegrees);
    QFETCH(double, roughDegrees);
    QFETCH(bool, vertical);
    QFETCH(double, halfWidth);
    QFETCH(double, firstOff);
    QFETCH(double, lastOff);
    QFETCH(bool, fits);
    QFETCH(MissingEdge, missing);

    // The edge's place across, as drawn: straight, bent or ragged along its length.
    const auto edgeAt = [&](double x, double y) {
        const double d = across(x, y, edgeDegrees, vertical);
        const double lengthwise = vertical ? y - Height / 2.0 : x - Width / 2.0;
        const bool ragged = scene == Scene::Ragged || scene == Scene::Waterline;
        return scene == Scene::Bent ? d - bow(lengthwise) : (ragged ? d - jag(lengthwise) : d);
    };
    const auto level = [&](double x, double y) -> Colour {
        const double d = edgeAt(x, y);
        switch (scene) {
        case Scene::Step:
        case Scene::Ragged:
        case Scene::Bent:
            return grey(d > 0.0 ? Light : Dark);
        case Scene::DarkLine:
            return grey(std::fabs(d) < 0.75 ? Dark : Light);
        case Scene::Birds:
            // Dark blobs of 5 pixels' radius sitting on the edge.
            for (const double bx : {120.0, 250.0, 330.0}) {
                if (std::hypot(x - bx, d + 2.0) < 5.0) {
                    return grey(Dark);
                }
            }
            return grey(d > 0.0 ? Light : Dark);
        case Scene::Curve:
            // A bow of 20 pixels between the line's ends.
            return grey(d - 20.0 * (1.0 - std::pow((x - Width / 2.0) / 200.0, 2)) > -10.0 ? Light
                                                                                          : Dark);
        case Scene::Soft:
            // Defocused: a Gaussian blur of 15 pixels, so the step runs over some 40 pixels.
            return grey(Dark + (Light - Dark) * 0.5 * std::erfc(-d / (15.0 * std::sqrt(2.0))));
        case Scene::Hidden:
            // Dark stalks 10 pixels wide every 20 pixels stand in front of half the edge.
            return grey(std::fmod(x, 20.0) < 10.0 ? 40.0 : (d > 0.0 ? Light : Dark));
        case Scene::Colour:
            // Blue over greenish blue: their grey levels differ by 3.
            return d > 0.0 ? Colour{70.0, 110.0, 200.0} : Colour{40.0, 130.0, 150.0};
        case Scene::Stripe:
            return grey(std::fabs(d) < 6.0 ? Light : Dark);
        case Scene::Ledge:
            if (std::fabs(x - Width / 2.0) < 130.0 && std::fabs(d + 5.0) < 1.0) {
                return grey(Light);
            }
            return grey(d > 0.0 ? Light : Dark);
        case Scene::Waterline:
            return grey(d > 0.0 ? Light : (d > -2.0 ? 40.0 : 120.0));
        case Scene::Flat:
            break;
        }
        return grey(Light);
    };
    const bool noisy = scene == Scene::Step || scene == Scene::Soft || scene == Scene::Colour ||
                       scene == Scene::Waterline;
    const Picture picture(level, noisy ? 4 : 0, scene == Scene::Colour, scene == Scene::Soft);

    // The rough line along the picture's longer stretch through its centre.
    const double t = std::tan(roughDegrees * Pi / 180.0);
    const double reach = vertical ? 160.0 : 200.0;
    auto onLine = [&](double lengthwise, double off) {
        return vertical
                   ? PicturePoint{Width / 2.0 + t * lengthwise + off, Height / 2.0 + lengthwise}
                   : PicturePoint{Width / 2.0 + lengthwise, Height / 2.0 - t * lengthwise + off};
    };
    const PictureSegment rough{onLine(-reach, firstOff), onLine(reach, lastOff)};

    const EdgeFitAnswer answer = fitEdge(picture, rough, halfWidth);
    QCOMPARE(answer.fit.has_value(), fits);
    if (!answer.fit) {
        QCOMPARE(answer.missing, missing);
        return;
    }
    const PictureSegment& fitted = answer.fit->ends;
    // The reading expected: the edge's own angle, or the chord between its points under the ends.
    double expected = edgeDegrees;
    if (scene == Scene::Bent) {
        const double rise = bow(fitted.b.x - Width / 2.0) - bow(fitted.a.x - Width / 2.0);
        expected += std::atan(rise / (fitted.b.x - fitted.a.x)) * 180.0 / Pi;
    }
    const double error = std::fabs(degreesOf(fitted, vertical) - expected);
    const bool ragged = scene == Scene::Ragged || scene == Scene::Waterline;
    const double tolerance = ragged || scene == Scene::Hidden ? 0.05 : 0.02;
    QVERIFY2(error <= tolerance, qPrintable(QString::number(error, 'f', 5)));
    QVERIFY2(error <= answer.fit->plusMinusDegrees,
             qPrintable(QStringLiteral("error %1 beyond the bound %2")
                            .arg(error)
                            .arg(answer.fit->plusMinusDegrees)));
    QCOMPARE(answer.fit->shape == EdgeShape::Bent, scene == Scene::Bent);
    const double length = std::hypot(rough.b.x - rough.a.x, rough.b.y - rough.a.y);
    for (const auto& [end, start] : {std::pair{fitted.a, rough.a}, {fitted.b, rough.b}}) {
        // On the edge, moved straight across: no farther than the band, and not along the line.
        const double edgeTolerance = scene == Scene::Soft || ragged ? 1.5 : 0.05;
        const double side = scene == Scene::Stripe ? -6.0 : 0.0;
        QVERIFY(std::fabs(edgeAt(end.x, end.y) - side) < edgeTolerance);
        const double alongShift = ((end.x - start.x) * (rough.b.x - rough.a.x) +
                                   (end.y - start.y) * (rough.b.y - rough.a.y)) /
                                  length;
        QVERIFY(std::fabs(alongShift) < 0.1);
        // A soft edge's ramp (its blur of 15 pixels, twice) counts as on it.
        const double mostMove = scene == Scene::Soft ? std::max(halfWidth, 2.0 * 15.0) : halfWidth;
        QVERIFY(std::hypot(end.x - start.x, end.y - start.y) <= mostMove);
    }
}

// A hand's end on a soft edge's ramp is on the edge; the detector's candidate, already placed on
// its feature, is not when its fit lands that far off it.
void EdgeFitTest::candidateStaysOnItsFeature()
{
    const Picture soft(
        [](double x, double y) {
            const double d = across(x, y, 0.0, false);
            return grey(Dark + (Light - Dark) * 0.5 * std::erfc(-d / (15.0 * std::sqrt(2.0))));
        },
        4, false, true);
    const PictureSegment offAtOneEnd{{40.0, Height / 2.0 + 3.0}, {440.0, Height / 2.0 - 14.0}};
    QVERIFY(fitEdge(soft, offAtOneEnd, 8.0).fit.has_value());
    QVERIFY(!fitEdge(soft, offAtOneEnd, 8.0, RoughLine::Detected).fit.has_value());
    const PictureSegment near{{40.0, Height / 2.0 + 3.0}, {440.0, Height / 2.0 - 2.5}};
    QVERIFY(fitEdge(soft, near, 8.0, RoughLine::Detected).fit.has_value());
    // A detector's straight segment through a bent edge's middle has its ends off the edge by
    // two thirds of the bow, more than the reach here.
    const Picture bent(
        [](double x, double y) {
            return grey(across(x, y, 0.0, false) - bow(x - Width / 2.0) > 0.0 ? Light : Dark);
        },
        0, false, false);
    const PictureSegment through{{40.0, Height / 2.0 + 4.0}, {440.0, Height / 2.0 + 4.0}};
    const EdgeFitAnswer chord = fitEdge(bent, through, 3.0, RoughLine::Detected);
    QVERIFY(chord.fit && chord.fit->shape == EdgeShape::Bent);
    QVERIFY(std::fabs(degreesOf(chord.fit->ends, false)) < 0.01);
}

// A hazy horizon's gradient, averaged along the edge, is a low plateau some 50 pixels wide that
// still ripples: its width is the whole ramp's, not the stretch to the first dip below half the
// highest ripple, or the step model's window, and with it the reading, would change from one
// rough line to the next.
void EdgeFitTest::softWidthThroughRipples()
{
    for (const std::uint32_t seed : {1U, 2U, 3U, 4U, 5U}) {
        std::mt19937 random(seed);
        edgefit::MeanProfile profile;
        profile.from = -70;
        for (int d = profile.from; d <= 70; ++d) {
            // A ramp 50 pixels wide, softened by a blur of 4.
            const auto rampAt = [](double x) {
                const double s = 4.0;
                auto part = [&](double t) {
                    return t * 0.5 * std::erfc(-t / (s * std::sqrt(2.0))) +
                           s * std::exp(-0.5 * t * t / (s * s)) / std::sqrt(2.0 * Pi);
                };
                return 100.0 * (part(x + 25.0) - part(x - 25.0)) / 50.0;
            };
            const double ripple = (static_cast<double>(random()) / 4294967296.0 - 0.5) * 1.5;
            profile.level.push_back(rampAt(d) + ripple);
        }
        const edgefit::Width width = edgefit::widthOf(profile, edgefit::Feature{}, 1.0);
        // 50 / sqrt(12) and the blur.
        QVERIFY2(std::fabs(width.spread - 15.0) < 2.0, qPrintable(QString::number(width.spread)));
    }
}

// Pebbles on the light side of a soft step, in every other stretch of its left half, too small
// for a cross-section to be set aside: their pixels are, so that they do not pull the step's
// place in those sections and tilt the reading.
void EdgeFitTest::pebblesBesideAStep()
{
    struct Pebbles {
        double at;     // across, from the step's middle
        double height; // half of it
        double depth;  // below the light side's level
    };
    for (const Pebbles pebbles : {Pebbles{12.0, 1.0, 30.0}, Pebbles{14.0, 0.5, 60.0}}) {
        const Picture picture(
            [&](double x, double y) {
                const double d = across(x, y, 0.4, false);
                if (x < Width / 2.0 && std::fabs(d - pebbles.at) < pebbles.height &&
                    std::fmod(x, 14.0) < 7.0) {
                    return grey(Light - pebbles.depth);
                }
                return grey(Dark + (Light - Dark) * 0.5 * std::erfc(-d / (6.0 * std::sqrt(2.0))));
            },
            4, false, false);
        const double t = std::tan(0.4 * Pi / 180.0);
        const PictureSegment rough{{40.0, Height / 2.0 + 200.0 * t + 3.0},
                                   {440.0, Height / 2.0 - 200.0 * t - 2.5}};
        const EdgeFitAnswer answer = fitEdge(picture, rough, 8.0);
        QVERIFY(answer.fit.has_value());
        const double error = std::fabs(degreesOf(answer.fit->ends, false) - 0.4);
        QVERIFY2(error < 0.02, qPrintable(QString::number(error)));
    }
}

// A large picture's band is read, searched and modelled on several threads; each thread's part
// is its own, so the title is the same on a machine with one core as on one with many.
void EdgeFitTest::sameOnAnyNumberOfThreads()
{
    if (std::thread::hardware_concurrency() < 2) {
        QSKIP("This machine has one core: a fit cannot be compared with one on several threads");
    }
    // 12000 x 8000, drawn as it is read: a step at 44 degrees blurred by 12 pixels, with a
    // little noise that depends on the pixel alone.
    struct Large : PixelRows {
        [[nodiscard]] std::int64_t width() const override { return 12000; }
        [[nodiscard]] std::int64_t height() const override { return 8000; }
        [[nodiscard]] int channels() const override { return 1; }
        [[nodiscard]] bool readsConcurrently() const override { return true; }
        void readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const override
        {
            for (std::int64_t x = x0; x < x1; ++x) {
                const double d = across(static_cast<double>(x) - 5760.0,
                                        static_cast<double>(y) - 3819.5, 44.0, false);
                const auto h = static_cast<std::uint32_t>(x * 73856093 ^ y * 19349663);
                *out++ = static_cast<float>(std::round(
                    Dark + (Light - Dark) * 0.5 * std::erfc(-d / (12.0 * std::sqrt(2.0))) +
                    static_cast<double>((h * 2654435761U) >> 29U) - 3.5));
            }
        }
    } picture;
    const double t = std::tan(44.0 * Pi / 180.0);
    const PictureSegment rough{{2000.0, 4000.0 + 4000.0 * t + 3.0}, {10000.0, 4000.0 - 4000.0 * t}};
    const EdgeFitAnswer shared = fitEdge(picture, rough, 8.0);
    // Marked as a part already, this thread does all of the work itself.
    edgefit::inSharedPart = true;
    const EdgeFitAnswer alone = fitEdge(picture, rough, 8.0);
    edgefit::inSharedPart = false;
    QVERIFY(shared.fit && alone.fit);
    QVERIFY(std::fabs(degreesOf(shared.fit->ends, false) - 44.0) < 0.01);
    const auto same = [](const PicturePoint& p, const PicturePoint& q) {
        return p.x == q.x && p.y == q.y;
    };
    QVERIFY(same(shared.fit->ends.a, alone.fit->ends.a) &&
            same(shared.fit->ends.b, alone.fit->ends.b));
    QVERIFY(shared.fit->plusMinusDegrees == alone.fit->plusMinusDegrees);
}

void EdgeFitTest::noticeSaysWhatWasFitted()
{
    EdgeFitAnswer answer;
    answer.fit = EdgeFit{{}, EdgeShape::Straight, 1040.4, 0.1, 0.0041};
    QCOMPARE(edgeFitNotice(answer, ",", "."),
             std::string("Fitted to a straight edge 1.040 px long: \u00B10,005\u00B0"));
    answer.fit = EdgeFit{{}, EdgeShape::Bent, 900.0, 2.34, 0.0213};
    QCOMPARE(edgeFitNotice(answer, ".", ","),
             std::string("The edge bends by 2.3 px: the line joins its points under the ends: "
                         "\u00B10.022\u00B0"));
    const std::array<std::pair<MissingEdge, const char*>, 5> refusals = {{
        {MissingEdge::NearLeftEnd, "No edge near the left end of the line"},
        {MissingEdge::NearRightEnd, "No edge near the right end of the line"},
        {MissingEdge::NearTopEnd, "No edge near the top end of the line"},
        {MissingEdge::NearBottomEnd, "No edge near the bottom end of the line"},
        {MissingEdge::AlongLine, "No edge along the line"},
    }};
    for (const auto& [missing, text] : refusals) {
        QCOMPARE(edgeFitNotice(EdgeFitAnswer{std::nullopt, missing}, ".", ","), std::string(text));
    }
    // After F: which of the edges found, and with the bend where there is one.
    QCOMPARE(foundEdgeNotice(1, 6, &*answer.fit, ".", ","),
             std::string("Edge 2 of 6, 900 px long, bends by 2.3 px: \u00B10.022\u00B0"));
    QCOMPARE(foundEdgeNotice(0, 0, nullptr, ".", ","), std::string("No straight edge found"));
}

QTEST_GUILESS_MAIN(EdgeFitTest)
#include "tst_edgefit.moc"
