// The line model and the readout, checked number by number without a display.
#include "Line.h"
#include "Measurement.h"
#include "Numbers.h"
#include "Readout.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace measure;

namespace {

constexpr auto IntMax = std::numeric_limits<std::int32_t>::max();
constexpr auto IntMin = std::numeric_limits<std::int32_t>::min();

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

PictureGeometry shown(int pixelWidth, int pixelHeight, double twipsWide, double twipsHigh)
{
    return {himetricFromPixels(pixelWidth), himetricFromPixels(pixelHeight), twipsWide, twipsHigh};
}

} // namespace

class MeasureTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void clngRoundsHalfToEvenAndSaturates_data();
    void clngRoundsHalfToEvenAndSaturates();
    void mousePointIsNeverNoPoint();
    void pointDistanceNeverOverflows_data();
    void pointDistanceNeverOverflows();
    void himetric_data();
    void himetric();
    void nearestEndpointMoves_data();
    void nearestEndpointMoves();
    void pointWithoutClientAreaMovesNothing();
    void placeLineNarrowsToFloat();
    void readout_data();
    void readout();
    void readoutUsesLocaleSeparator();
    void titleForms();
    void resetTitleIgnoresTheOldLine();
    void nudgeMovesTheActiveEnd_data();
    void nudgeMovesTheActiveEnd();
};

void MeasureTest::clngRoundsHalfToEvenAndSaturates_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("0.5 to even 0") << 0.5 << 0;
    QTest::newRow("1.5 to even 2") << 1.5 << 2;
    QTest::newRow("2.5 to even 2") << 2.5 << 2;
    QTest::newRow("-0.5 to even 0") << -0.5 << 0;
    QTest::newRow("-2.5 to even -2") << -2.5 << -2;
    QTest::newRow("just above half") << 2.5000001 << 3;
    QTest::newRow("largest") << 2147483647.0 << IntMax;
    QTest::newRow("beyond largest") << 1e12 << IntMax;
    QTest::newRow("smallest") << -2147483648.0 << IntMin;
    QTest::newRow("beyond smallest") << -1e12 << IntMin;
    QTest::newRow("+infinity") << std::numeric_limits<double>::infinity() << IntMax;
    QTest::newRow("-infinity") << -std::numeric_limits<double>::infinity() << IntMin;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void MeasureTest::clngRoundsHalfToEvenAndSaturates()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(CLng(value), expected);
}

void MeasureTest::mousePointIsNeverNoPoint()
{
    // A drag far off to the left must still be a point, never "no point".
    QCOMPARE(CLngPoint(-1e12), NoPoint + 1);
    QCOMPARE(CLngPoint(-2147483648.0), NoPoint + 1);
    QCOMPARE(CLngPoint(-15.5), -16);
}

void MeasureTest::pointDistanceNeverOverflows_data()
{
    QTest::addColumn<int>("x1");
    QTest::addColumn<int>("y1");
    QTest::addColumn<int>("x2");
    QTest::addColumn<int>("y2");
    QTest::addColumn<double>("expected");
    QTest::newRow("3-4-5") << 0 << 0 << 3 << 4 << 5.0;
    QTest::newRow("reversed") << 3 << 4 << 0 << 0 << 5.0;
    QTest::newRow("same point") << 77 << -5 << 77 << -5 << 0.0;
    QTest::newRow("opposite corners of the 32-bit plane")
        << IntMin << IntMin << IntMax << IntMax << std::sqrt(2.0) * 4294967295.0;
    QTest::newRow("NoPoint against the centre") << IntMin << 0 << 4500 << 0 << 2147488148.0;
}

void MeasureTest::pointDistanceNeverOverflows()
{
    QFETCH(int, x1);
    QFETCH(int, y1);
    QFETCH(int, x2);
    QFETCH(int, y2);
    QFETCH(double, expected);
    QCOMPARE(PointDistance(x1, y1, x2, y2), expected);
}

void MeasureTest::himetric_data()
{
    QTest::addColumn<qint64>("pixels");
    QTest::addColumn<int>("expected");
    QTest::newRow("96 px is one inch") << qint64(96) << 2540;
    QTest::newRow("600 px") << qint64(600) << 15875;
    QTest::newRow("400 px rounds down") << qint64(400) << 10583;
    QTest::newRow("12000 px") << qint64(12000) << 317500;
    QTest::newRow("none") << qint64(0) << 0;
    QTest::newRow("one pixel") << qint64(1) << 26; // 26.458 rounds to 26
    QTest::newRow("beyond 32 bits saturates") << (qint64(1) << 40) << IntMax;
}

void MeasureTest::himetric()
{
    QFETCH(qint64, pixels);
    QFETCH(int, expected);
    QCOMPARE(himetricFromPixels(pixels), expected);
}

void MeasureTest::nearestEndpointMoves_data()
{
    QTest::addColumn<double>("relX1");
    QTest::addColumn<double>("relY1");
    QTest::addColumn<double>("relX2");
    QTest::addColumn<double>("relY2");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("endpoint2Moves");

    // Both endpoints at the centre: the first click draws from the centre, moving endpoint 2.
    QTest::newRow("first click after reset") << 0.5 << 0.5 << 0.5 << 0.5 << 1000 << 800 << true;
    // Endpoint 1 at (900, 3000), endpoint 2 at (8100, 3000) in a 9000 x 6000 client.
    QTest::newRow("near endpoint 1") << 0.1 << 0.5 << 0.9 << 0.5 << 1000 << 3000 << false;
    QTest::newRow("near endpoint 2") << 0.1 << 0.5 << 0.9 << 0.5 << 8000 << 3000 << true;
    QTest::newRow("exactly between: endpoint 2") << 0.1 << 0.5 << 0.9 << 0.5 << 4500 << 100 << true;
    QTest::newRow("far outside, nearer endpoint 1")
        << 0.1 << 0.5 << 0.9 << 0.5 << -2000000000 << 3000 << false;
    QTest::newRow("far outside, nearer endpoint 2")
        << 0.1 << 0.5 << 0.9 << 0.5 << IntMax << IntMax << true;
    // Endpoints compared in whole twips: 0.50001 x 9000 = 4500.09 rounds onto endpoint 1's 4500,
    // so the two are equally far and endpoint 2 moves.
    QTest::newRow("tie after rounding") << 0.5 << 0.5 << 0.50001 << 0.5 << 100 << 3000 << true;
}

void MeasureTest::nearestEndpointMoves()
{
    QFETCH(double, relX1);
    QFETCH(double, relY1);
    QFETCH(double, relX2);
    QFETCH(double, relY2);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, endpoint2Moves);

    constexpr float W = 9000.0F;
    constexpr float H = 6000.0F;
    LineFractions line{relX1, relY1, relX2, relY2};
    QVERIFY(moveNearestEndpoint(line, x, y, W, H));
    const double fx = x / static_cast<double>(W);
    const double fy = y / static_cast<double>(H);
    if (endpoint2Moves) {
        QCOMPARE(line.RelX2, fx);
        QCOMPARE(line.RelY2, fy);
        QCOMPARE(line.RelX1, relX1);
        QCOMPARE(line.RelY1, relY1);
    } else {
        QCOMPARE(line.RelX1, fx);
        QCOMPARE(line.RelY1, fy);
        QCOMPARE(line.RelX2, relX2);
        QCOMPARE(line.RelY2, relY2);
    }
}

void MeasureTest::pointWithoutClientAreaMovesNothing()
{
    LineFractions line;
    QVERIFY(!moveNearestEndpoint(line, 100, 100, 0.0F, 6000.0F));
    QVERIFY(!moveNearestEndpoint(line, 100, 100, 9000.0F, 0.0F));
    QVERIFY(!moveNearestEndpoint(line, 100, 100, std::numeric_limits<float>::quiet_NaN(), 1.0F));
    QCOMPARE(line.RelX2, 0.5);
    QCOMPARE(line.RelY2, 0.5);
}

void MeasureTest::placeLineNarrowsToFloat()
{
    // The two ends differ by far less than a float can hold at 4500 twips. Narrowed, the line has
    // zero length and the title is the base form; kept in double, it would read "Vertical".
    const LineFractions line{0.5, 0.5, 0.5 + 1e-12, 0.5};
    LineControl control;
    placeLine(control, line, 9015.0F, 6015.0F);
    QCOMPARE(control.X1, control.X2);
    QCOMPARE(control.X1, 4507.5F);
    QCOMPARE(q(titleFor(control, shown(601, 401, 9015, 6015), " [x]", ".")),
             QStringLiteral("Torvanix by Dalvester [x]"));

    // After a resize the products stop being whole numbers; the stored values are floats.
    const LineFractions third{1.0 / 3.0, 2.0 / 3.0, 0.7, 0.1};
    placeLine(control, third, 9015.0F, 6015.0F);
    QCOMPARE(control.X1, 3005.0F);
    QCOMPARE(control.Y1, 4010.0F);
    QCOMPARE(control.X2, 6310.5F);
    QCOMPARE(control.Y2, 601.5F);
}

void MeasureTest::readout_data()
{
    QTest::addColumn<float>("x1");
    QTest::addColumn<float>("y1");
    QTest::addColumn<float>("x2");
    QTest::addColumn<float>("y2");
    QTest::addColumn<int>("pictureWidth");   // pixels
    QTest::addColumn<int>("pictureHeight");  // pixels
    QTest::addColumn<double>("shownWidth");  // twips
    QTest::addColumn<double>("shownHeight"); // twips
    QTest::addColumn<QString>("expected");

    const QString credit = QStringLiteral(" - Torvanix by Dalvester [a.png]");
    // A 600 x 400 picture at 9000 x 6000 twips is shown at its own proportions.
    QTest::newRow("level line reads the bare word")
        << 1000.0F << 3000.0F << 8000.0F << 3000.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal") + credit;
    QTest::newRow("rising to the right is +")
        << 1000.0F << 3000.0F << 8000.0F << 2900.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal+0.82°") + credit;
    QTest::newRow("reversed endpoints read the same")
        << 8000.0F << 2900.0F << 1000.0F << 3000.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal+0.82°") + credit;
    QTest::newRow("falling to the right is -")
        << 1000.0F << 2900.0F << 8000.0F << 3000.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal-0.82°") + credit;
    QTest::newRow("equal stretch at twice the size reads the same")
        << 2000.0F << 6000.0F << 16000.0F << 5800.0F << 600 << 400 << 18000.0 << 12000.0
        << QStringLiteral("Horizontal+0.82°") + credit;
    // The picture's own height-to-width ratio is twice the client's: squeezed vertically on
    // screen, so its true slope is twice what the screen shows.
    QTest::newRow("picture squeezed vertically doubles the slope")
        << 1000.0F << 3000.0F << 8000.0F << 2900.0F << 600 << 800 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal+1.64°") + credit;
    QTest::newRow("picture squeezed horizontally halves it")
        << 1000.0F << 3000.0F << 8000.0F << 2900.0F << 1200 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal+0.41°") + credit;
    // A 300 x 900 picture shown at 600 x 400: a line that looks 45 degrees on screen is, in the
    // picture, 12.53 degrees off the vertical, its lower end to the left.
    QTest::newRow("screen diagonal of a tall picture is vertical")
        << 0.0F << 6000.0F << 6000.0F << 0.0F << 300 << 900 << 9000.0 << 6000.0
        << QStringLiteral("Vertical-12.53°") + credit;
    QTest::newRow("lower end to the right is Vertical +")
        << 1000.0F << 1000.0F << 1100.0F << 5000.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Vertical+1.43°") + credit;
    QTest::newRow("lower end to the left is Vertical -")
        << 1100.0F << 1000.0F << 1000.0F << 5000.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Vertical-1.43°") + credit;
    QTest::newRow("plumb line reads the bare word")
        << 3000.0F << 500.0F << 3000.0F << 5500.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Vertical") + credit;
    // With equal extents the line counts as horizontal; a square picture in a square view.
    QTest::newRow("45 degrees rising is Horizontal+45.00")
        << 1000.0F << 2000.0F << 2000.0F << 1000.0F << 600 << 600 << 9000.0 << 9000.0
        << QStringLiteral("Horizontal+45.00°") + credit;
    QTest::newRow("45 degrees falling is Horizontal-45.00")
        << 1000.0F << 1000.0F << 2000.0F << 2000.0F << 600 << 600 << 9000.0 << 9000.0
        << QStringLiteral("Horizontal-45.00°") + credit;
    QTest::newRow("tiny positive angle keeps its sign")
        << 0.0F << 3000.0F << 8000.0F << 2999.5F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal+0.00°") + credit;
    QTest::newRow("tiny negative angle keeps its sign")
        << 0.0F << 3000.0F << 8000.0F << 3000.5F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal-0.00°") + credit;
    QTest::newRow("rounds at the third decimal")
        << 0.0F << 3000.0F << 9000.0F << 2843.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal+1.00°") + credit;
    QTest::newRow("zero length is the base title")
        << 4500.0F << 3000.0F << 4500.0F << 3000.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Torvanix by Dalvester [a.png]");
    QTest::newRow("picture of zero size is the base title")
        << 1000.0F << 3000.0F << 8000.0F << 2900.0F << 0 << 0 << 9000.0 << 6000.0
        << QStringLiteral("Torvanix by Dalvester [a.png]");
    QTest::newRow("view of zero size is the base title")
        << 1000.0F << 3000.0F << 8000.0F << 2900.0F << 600 << 400 << 0.0 << 0.0
        << QStringLiteral("Torvanix by Dalvester [a.png]");
    QTest::newRow("line far outside the picture still reads")
        << -3.0e8F << 3000.0F << 3.0e8F << 2900.0F << 600 << 400 << 9000.0 << 6000.0
        << QStringLiteral("Horizontal+0.00°") + credit;
}

void MeasureTest::readout()
{
    QFETCH(float, x1);
    QFETCH(float, y1);
    QFETCH(float, x2);
    QFETCH(float, y2);
    QFETCH(int, pictureWidth);
    QFETCH(int, pictureHeight);
    QFETCH(double, shownWidth);
    QFETCH(double, shownHeight);
    QFETCH(QString, expected);

    const LineControl line{x1, y1, x2, y2, true};
    const auto geometry = shown(pictureWidth, pictureHeight, shownWidth, shownHeight);
    QCOMPARE(q(titleFor(line, geometry, " [a.png]", ".")), expected);
    if (const auto tilt = measureTilt(line, geometry)) {
        QVERIFY(std::fabs(tilt->degrees) <= 45.0 + 1e-9);
    }
}

void MeasureTest::readoutUsesLocaleSeparator()
{
    const LineControl line{1000.0F, 3000.0F, 8000.0F, 2900.0F, true};
    QCOMPARE(q(titleFor(line, shown(600, 400, 9000, 6000), " [Image from Clipboard]", ",")),
             QStringLiteral("Horizontal+0,82° - Torvanix by Dalvester [Image from Clipboard]"));
    // A separator of more than one byte (Arabic) goes in whole.
    QCOMPARE(q(readoutText(Tilt{Axis::Vertical, -0.5}, "\u066B")),
             QStringLiteral("Vertical-0\u066B50°"));
}

void MeasureTest::titleForms()
{
    QCOMPARE(q(baseTitle("")), QStringLiteral("Torvanix by Dalvester"));
    QCOMPARE(q(baseTitle(" [/home/ana/scan.jpg]")),
             QStringLiteral("Torvanix by Dalvester [/home/ana/scan.jpg]"));
    QCOMPARE(q(readoutTitle("Horizontal+1.23°", " [/home/ana/scan.jpg]")),
             QStringLiteral("Horizontal+1.23° - Torvanix by Dalvester [/home/ana/scan.jpg]"));
}

void MeasureTest::resetTitleIgnoresTheOldLine()
{
    measure::Measurement measurement;
    measurement.setPicture(600, 400, " [x]");
    measurement.moveNearestEndpoint(1000, 800, 9000.0F, 6000.0F);
    measurement.place(9000.0F, 6000.0F, 9000.0, 6000.0, ".");
    QVERIFY(measurement.title().starts_with("Horizontal"));
    // The line's coordinates still describe the old line; the title does not read them.
    measurement.reset();
    QCOMPARE(measurement.title(), std::string("Torvanix by Dalvester [x]"));
    QVERIFY(!measurement.line().Visible);
    QCOMPARE(measurement.fractions().RelX2, 0.5);
    // A new picture keeps the fractions and the next placing follows them.
    measurement.setPicture(300, 200, " [y]");
    measurement.place(9000.0F, 6000.0F, 9000.0, 6000.0, ".");
    QCOMPARE(measurement.line().X2, 4500.0F);
    QCOMPARE(measurement.title(), std::string("Torvanix by Dalvester [y]"));
}

void MeasureTest::nudgeMovesTheActiveEnd_data()
{
    QTest::addColumn<int>("pressX"); // twips in a 9000 x 6000 client: where endpoint 2 goes
    QTest::addColumn<bool>("tab");   // whether Tab made endpoint 1 active first
    QTest::addColumn<int>("steps");  // pixels right (and down) of a 600 x 400 picture
    QTest::addColumn<double>("relX");
    QTest::addColumn<double>("relY");

    // One step is 1/600 of the width and 1/400 of the height, added in double.
    QTest::newRow("endpoint 2 right") << 900 << false << 1 << 0.1 + 1.0 / 600 << 0.5 + 1.0 / 400;
    QTest::newRow("Tab: endpoint 1") << 900 << true << -10 << 0.5 - 10.0 / 600 << 0.5 - 10.0 / 400;
    QTest::newRow("stops at the edge") << 8990 << false << 10 << 1.0 << 0.5 + 10.0 / 400;
    // A drag left the end outside; a key only brings it back toward the picture.
    QTest::newRow("outside moves back")
        << 9600 << false << -1 << 9600.0 / 9000 - 1.0 / 600 << 0.5 - 1.0 / 400;
    QTest::newRow("outside stays") << 9600 << false << 1 << 9600.0 / 9000 << 0.5 + 1.0 / 400;
}

void MeasureTest::nudgeMovesTheActiveEnd()
{
    QFETCH(int, pressX);
    QFETCH(bool, tab);
    QFETCH(int, steps);
    QFETCH(double, relX);
    QFETCH(double, relY);

    measure::Measurement measurement;
    measurement.setPicture(600, 400, " [x]");
    measurement.moveNearestEndpoint(pressX, 3000, 9000.0F, 6000.0F);
    QVERIFY(measurement.activeEnd() == End::Two);
    if (tab) {
        measurement.switchActiveEnd();
    }
    measurement.nudge(steps, steps);
    const LineFractions& rel = measurement.fractions();
    QCOMPARE(tab ? rel.RelX1 : rel.RelX2, relX);
    QCOMPARE(tab ? rel.RelY1 : rel.RelY2, relY);
    // The other end stays where it was.
    QCOMPARE(tab ? rel.RelX2 : rel.RelX1, tab ? pressX / 9000.0 : 0.5);
}

QTEST_GUILESS_MAIN(MeasureTest)
#include "tst_measure.moc"
