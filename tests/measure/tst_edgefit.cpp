// The edge fit on pictures drawn here, pixel by pixel: a rough line near an edge comes back on
// the edge at its true angle, and a picture without a straight edge along the line gives nothing.
#include "EdgeFit.h"

#include <QTest>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace measure;

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Width = 480;
constexpr int Height = 360;
constexpr double Dark = 70.0;
constexpr double Light = 180.0;

// A picture in memory that checks every read stays inside it.
class Picture : public PixelRows {
public:
    // Each pixel is the mean of 8 x 8 samples of level(x, y), plus noise of up to `noise` levels,
    // rounded to whole grey levels as a file would hold them.
    Picture(const std::function<double(double, double)>& level, int noise)
        : m_grey(static_cast<std::size_t>(Width) * Height)
    {
        std::mt19937 random(16);
        std::uniform_int_distribution<int> jitter(-noise, noise);
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < Width; ++x) {
                // Supersampled only where the shapes (all larger than a pixel) cross it.
                const double corner = level(x, y);
                double sum = 64.0 * corner;
                if (level(x + 1.0, y) != corner || level(x, y + 1.0) != corner ||
                    level(x + 1.0, y + 1.0) != corner || level(x + 0.5, y + 0.5) != corner) {
                    sum = 0.0;
                    for (int i = 0; i < 8; ++i) {
                        for (int j = 0; j < 8; ++j) {
                            sum += level(x + (i + 0.5) / 8.0, y + (j + 0.5) / 8.0);
                        }
                    }
                }
                m_grey[static_cast<std::size_t>(y) * Width + x] =
                    static_cast<float>(std::round(sum / 64.0 + jitter(random)));
            }
        }
    }
    [[nodiscard]] std::int64_t width() const override { return Width; }
    [[nodiscard]] std::int64_t height() const override { return Height; }
    void readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const override
    {
        QVERIFY(y >= 0 && y < Height && x0 >= 0 && x0 <= x1 && x1 <= Width);
        std::copy_n(m_grey.begin() + y * Width + x0, x1 - x0, out);
    }

private:
    std::vector<float> m_grey;
};

enum class Scene { Step, DarkLine, Birds, Curve, Flat };

// Where a point lies across the edge through the picture's centre, turned `degrees`
// anticlockwise from the horizontal (or vertical): positive on the light side.
double across(double x, double y, double degrees, bool vertical)
{
    const double t = std::tan(degrees * Pi / 180.0);
    const double cx = Width / 2.0;
    const double cy = Height / 2.0;
    return vertical ? (x - cx) - t * (y - cy) : (y - cy) + t * (x - cx);
}

double degreesOf(const PictureSegment& s, bool vertical)
{
    const double dx = s.b.x - s.a.x;
    const double dy = s.b.y - s.a.y;
    return vertical ? std::atan(dx / dy) * 180.0 / Pi : -std::atan(dy / dx) * 180.0 / Pi;
}

} // namespace

Q_DECLARE_METATYPE(Scene)

class EdgeFitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fitsOrRefuses_data();
    void fitsOrRefuses();
};

void EdgeFitTest::fitsOrRefuses_data()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<double>("edgeDegrees");
    QTest::addColumn<double>("roughDegrees");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<double>("halfWidth");
    QTest::addColumn<bool>("fits");
    // A line drawn at the edge's own angle but 3 and 2.5 pixels off it at its ends.
    QTest::newRow("step, barely turned") << Scene::Step << 0.3 << 0.3 << false << 8.0 << true;
    QTest::newRow("step, turned clockwise") << Scene::Step << -7.0 << -7.0 << false << 8.0 << true;
    QTest::newRow("step, near vertical") << Scene::Step << 2.5 << 2.5 << true << 8.0 << true;
    QTest::newRow("step, near vertical, clockwise")
        << Scene::Step << -30.0 << -30.0 << true << 8.0 << true;
    QTest::newRow("thin dark line") << Scene::DarkLine << 1.2 << 1.2 << false << 8.0 << true;
    QTest::newRow("step with blobs across it")
        << Scene::Birds << 0.8 << 0.8 << false << 8.0 << true;
    QTest::newRow("curved edge") << Scene::Curve << 0.0 << 0.0 << false << 8.0 << false;
    QTest::newRow("flat picture") << Scene::Flat << 0.0 << 0.0 << false << 8.0 << false;
    // 4 degrees away from the line: another feature where it leaves the band, the hand's
    // rough placing where it stays inside it from end to end.
    QTest::newRow("edge turned from the line")
        << Scene::Step << 4.0 << 0.0 << false << 8.0 << false;
    QTest::newRow("edge turned within the band")
        << Scene::Step << 4.0 << 0.0 << false << 30.0 << true;
}

void EdgeFitTest::fitsOrRefuses()
{
    QFETCH(Scene, scene);
    QFETCH(double, edgeDegrees);
    QFETCH(double, roughDegrees);
    QFETCH(bool, vertical);
    QFETCH(double, halfWidth);
    QFETCH(bool, fits);

    const auto level = [&](double x, double y) {
        const double d = across(x, y, edgeDegrees, vertical);
        switch (scene) {
        case Scene::Step:
            return d > 0.0 ? Light : Dark;
        case Scene::DarkLine:
            return std::fabs(d) < 0.75 ? Dark : Light;
        case Scene::Birds:
            // Dark blobs of 5 pixels' radius sitting on the edge.
            for (const double bx : {120.0, 250.0, 330.0}) {
                if (std::hypot(x - bx, d + 2.0) < 5.0) {
                    return Dark;
                }
            }
            return d > 0.0 ? Light : Dark;
        case Scene::Curve:
            // A bow of 10 pixels between the line's ends.
            return d - 10.0 * (1.0 - std::pow((x - Width / 2.0) / 200.0, 2)) > -5.0 ? Light : Dark;
        case Scene::Flat:
            break;
        }
        return Light;
    };
    const Picture picture(level, scene == Scene::Step ? 4 : 0);

    // The rough line along the picture's longer stretch through its centre.
    const double t = std::tan(roughDegrees * Pi / 180.0);
    const double reach = vertical ? 160.0 : 200.0;
    auto onLine = [&](double along, double off) {
        return vertical ? PicturePoint{Width / 2.0 + t * along + off, Height / 2.0 + along}
                        : PicturePoint{Width / 2.0 + along, Height / 2.0 - t * along + off};
    };
    const PictureSegment rough{onLine(-reach, 3.0), onLine(reach, -2.5)};

    const auto fitted = fitEdge(picture, rough, halfWidth);
    QCOMPARE(fitted.has_value(), fits);
    if (!fitted) {
        return;
    }
    QVERIFY2(std::fabs(degreesOf(*fitted, vertical) - edgeDegrees) <= 0.01,
             qPrintable(QString::number(degreesOf(*fitted, vertical), 'f', 5)));
    const double length = std::hypot(rough.b.x - rough.a.x, rough.b.y - rough.a.y);
    for (const auto& [end, start] : {std::pair{fitted->a, rough.a}, {fitted->b, rough.b}}) {
        // On the edge, moved straight across: no farther than the band, and not along the line.
        QVERIFY(std::fabs(across(end.x, end.y, edgeDegrees, vertical)) < 0.05);
        const double alongShift = ((end.x - start.x) * (rough.b.x - rough.a.x) +
                                   (end.y - start.y) * (rough.b.y - rough.a.y)) /
                                  length;
        QVERIFY(std::fabs(alongShift) < 0.1);
        QVERIFY(std::hypot(end.x - start.x, end.y - start.y) <= halfWidth);
    }
}

QTEST_GUILESS_MAIN(EdgeFitTest)
#include "tst_edgefit.moc"
