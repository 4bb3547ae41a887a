// Finding a picture's straight edges on scenes drawn here, the size of a reduced copy: the first
// candidate is the edge a person would pick, at its true angle and on it; pieces of one edge
// come back as one, twins as one, and a flat or noisy picture gives none.
#include "LineSegments.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

using namespace measure;

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Width = 640;
constexpr int Height = 480;

enum class Scene { Step, ThinLine, Horizon, Clutter, Diagonal, Post, Flat, Noise };

// Smooth value noise on a lattice of `spacing` pixels, -1 to 1.
double texture(double x, double y, double spacing)
{
    auto lattice = [](int i, int j) {
        auto h =
            static_cast<std::uint32_t>(i) * 73856093U ^ static_cast<std::uint32_t>(j) * 19349663U;
        h = (h ^ (h >> 13U)) * 1274126177U;
        return static_cast<double>((h ^ (h >> 16U)) & 0xffffU) / 32767.5 - 1.0;
    };
    const double u = x / spacing;
    const double v = y / spacing;
    const int i = static_cast<int>(std::floor(u));
    const int j = static_cast<int>(std::floor(v));
    const double fu = u - i;
    const double fv = v - j;
    return (1 - fu) * (1 - fv) * lattice(i, j) + fu * (1 - fv) * lattice(i + 1, j) +
           (1 - fu) * fv * lattice(i, j + 1) + fu * fv * lattice(i + 1, j + 1);
}

// Each pixel the mean of 4 x 4 samples of level(x, y) where its corners differ, plus uniform
// noise, in whole levels.
GreyPicture draw(const std::function<double(double, double)>& level, int noise)
{
    GreyPicture picture{std::vector<float>(std::size_t{Width} * Height), Width, Height};
    std::mt19937 random(22);
    std::uniform_int_distribution<int> jitter(-noise, noise);
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const double corner = level(x, y);
            double sum = 16.0 * corner;
            if (level(x + 1.0, y) != corner || level(x, y + 1.0) != corner ||
                level(x + 1.0, y + 1.0) != corner) {
                sum = 0.0;
                for (int i = 0; i < 4; ++i) {
                    for (int j = 0; j < 4; ++j) {
                        sum += level(x + (i + 0.5) / 4.0, y + (j + 0.5) / 4.0);
                    }
                }
            }
            picture.pixels[std::size_t{Width} * y + x] =
                static_cast<float>(std::round(sum / 16.0 + jitter(random)));
        }
    }
    return picture;
}

// The edge a scene is drawn along: through (cx, cy), turned `degrees` anticlockwise from level
// (or plumb), as the title reads it.
struct Edge {
    double degrees = 0.0;
    bool vertical = false;
    double cx = Width / 2.0;
    double cy = Height / 2.0;
    double tangent = std::tan(degrees * Pi / 180.0);
    double cosine = std::cos(degrees * Pi / 180.0);

    // Signed distance from the edge: positive below (or right of) it.
    [[nodiscard]] double across(double x, double y) const
    {
        return (vertical ? (x - cx) - tangent * (y - cy) : (y - cy) + tangent * (x - cx)) * cosine;
    }
    [[nodiscard]] bool holds(const PictureSegment& s, double reach) const
    {
        return std::fabs(across(s.a.x, s.a.y)) <= reach && std::fabs(across(s.b.x, s.b.y)) <= reach;
    }
};

double degreesOf(const PictureSegment& s, bool vertical)
{
    const double dx = s.b.x - s.a.x;
    const double dy = s.b.y - s.a.y;
    return vertical ? std::atan(dx / dy) * 180.0 / Pi : -std::atan(dy / dx) * 180.0 / Pi;
}

// A stroke 2 pixels wide from (x0, y0) to (x1, y1), with round ends.
bool onStroke(double x, double y, double x0, double y0, double x1, double y1)
{
    const double lx = x1 - x0;
    const double ly = y1 - y0;
    const double t = std::clamp(((x - x0) * lx + (y - y0) * ly) / (lx * lx + ly * ly), 0.0, 1.0);
    return std::hypot(x - x0 - t * lx, y - y0 - t * ly) < 1.0;
}

// The Diagonal scene's near-level stroke: 300 pixels from (40, 120).
Edge edgeOf(Scene scene, double degrees, bool vertical)
{
    if (scene == Scene::Diagonal) {
        return {degrees, false, 190.0, 120.0 - 150.0 * std::tan(degrees * Pi / 180.0)};
    }
    return {degrees, vertical};
}

double sceneLevel(Scene scene, const Edge& edge, double x, double y)
{
    const double d = edge.across(x, y);
    switch (scene) {
    case Scene::Step:
        return d > 0.0 ? 170.0 : 60.0;
    case Scene::ThinLine:
        return std::fabs(d) < 0.75 ? 70.0 : 180.0;
    case Scene::Horizon: // a sky brightening upwards over textured ground
        return d > 0.0 ? 95.0 + 25.0 * texture(x, y, 4.0) : 200.0 - 0.05 * d;
    case Scene::Clutter:
        // Short boxes, a disc and a textured patch beside a long step.
        if (std::hypot(x - 480.0, y - 110.0) < 60.0) {
            return 30.0;
        }
        if ((x > 60.0 && x < 150.0 && y > 60.0 && y < 130.0) ||
            (x > 230.0 && x < 300.0 && y > 330.0 && y < 420.0)) {
            return 230.0;
        }
        if (x > 380.0 && y > 320.0) {
            return 120.0 + 60.0 * texture(x, y, 6.0);
        }
        return d > 0.0 ? 150.0 : 80.0;
    case Scene::Diagonal: // a third longer than the near-level stroke, at 45 degrees
        return (std::fabs(d) < 1.0 && std::fabs(x - 190.0) < 150.0) ||
                       onStroke(x, y, 350.0, 80.0, 633.0, 363.0)
                   ? 60.0
                   : 190.0;
    case Scene::Post:
        if (std::fabs(x - 300.0) < 7.0 && y < 380.0) {
            return 40.0;
        }
        return d > 0.0 ? 90.0 : 190.0;
    case Scene::Flat:
    case Scene::Noise:
        break;
    }
    return 128.0;
}

} // namespace

Q_DECLARE_METATYPE(Scene)

class LineSegmentsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstCandidate_data();
    void firstCandidate();
    void reducesByBlocks_data();
    void reducesByBlocks();
};

void LineSegmentsTest::firstCandidate_data()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<double>("degrees"); // the edge a person picks, as the title reads it
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("noise");
    QTest::addColumn<double>("visible"); // the edge's length in the picture
    QTest::addColumn<int>("fewest");     // candidates
    QTest::addColumn<int>("most");
    QTest::addColumn<double>("stretch"); // picture pixels per pixel of the copy, across
    QTest::newRow("step") << Scene::Step << 1.7 << false << 3 << 640.0 << 1 << 1 << 1.0;
    QTest::newRow("step, clockwise")
        << Scene::Step << -12.0 << false << 3 << 654.0 << 1 << 1 << 1.0;
    QTest::newRow("thin dark line")
        << Scene::ThinLine << -0.8 << false << 3 << 640.0 << 1 << 1 << 1.0;
    QTest::newRow("textured horizon")
        << Scene::Horizon << 2.3 << false << 2 << 640.0 << 1 << 1 << 1.0;
    QTest::newRow("near-vertical edge")
        << Scene::Step << -4.0 << true << 3 << 481.0 << 1 << 1 << 1.0;
    QTest::newRow("plumb, turned 25 degrees")
        << Scene::Step << 25.0 << true << 3 << 530.0 << 1 << 1 << 1.0;
    QTest::newRow("edge among clutter")
        << Scene::Clutter << 3.0 << false << 3 << 641.0 << 5 << 16 << 1.0;
    QTest::newRow("level before 45 degrees")
        << Scene::Diagonal << 1.0 << false << 2 << 300.0 << 2 << 2 << 1.0;
    QTest::newRow("level, in a copy squeezed to half its width")
        << Scene::Step << 15.0 << false << 3 << 1325.0 << 1 << 1 << 2.0;
    // The horizon, and each side of the post from its top to its foot.
    QTest::newRow("horizon behind a post")
        << Scene::Post << 0.5 << false << 3 << 640.0 << 3 << 3 << 1.0;
    QTest::newRow("flat picture") << Scene::Flat << 0.0 << false << 0 << 0.0 << 0 << 0 << 1.0;
    QTest::newRow("pure noise") << Scene::Noise << 0.0 << false << 40 << 0.0 << 0 << 0 << 1.0;
}

void LineSegmentsTest::firstCandidate()
{
    QFETCH(Scene, scene);
    QFETCH(double, degrees);
    QFETCH(bool, vertical);
    QFETCH(int, noise);
    QFETCH(double, visible);
    QFETCH(int, fewest);
    QFETCH(int, most);
    QFETCH(double, stretch);
    // Drawn as the copy shows it; lengths and angles read in the picture's own pixels.
    const double t = std::tan(degrees * Pi / 180.0);
    const double shown = std::atan(vertical ? t / stretch : t * stretch) * 180.0 / Pi;
    const Edge edge = edgeOf(scene, shown, vertical);
    FindOptions options;
    options.scaleX = stretch;
    const GreyPicture picture =
        draw([&](double x, double y) { return sceneLevel(scene, edge, x, y); }, noise);
    const std::vector<EdgeCandidate> found = findStraightEdges(picture.view(), options);
    QVERIFY2(static_cast<int>(found.size()) >= fewest && static_cast<int>(found.size()) <= most,
             qPrintable(QString::number(found.size())));
    for (std::size_t i = 1; i < found.size(); ++i) {
        QVERIFY(found[i - 1].score >= found[i].score);
    }
    if (found.empty()) {
        return;
    }
    // The edge, at its angle, on it (a thin line's middle) from end to end, nearly whole, and
    // found once: its pieces joined, its twin dropped.
    const EdgeCandidate& first = found.front();
    QVERIFY2(std::fabs(degreesOf(first.segment, vertical) - shown) <= 0.3,
             qPrintable(QString::number(degreesOf(first.segment, vertical), 'f', 3)));
    QVERIFY(std::fabs(first.angleFromAxisDegrees - std::fabs(degrees)) <= 0.3);
    QVERIFY(edge.holds(first.segment, 0.25));
    QVERIFY2(first.length >= visible - 6.0, qPrintable(QString::number(first.length)));
    QVERIFY(first.contrast > 40.0);
    QCOMPARE(std::count_if(found.begin(), found.end(),
                           [&](const EdgeCandidate& c) { return edge.holds(c.segment, 3.0); }),
             1);
}

void LineSegmentsTest::reducesByBlocks_data()
{
    QTest::addColumn<bool>("bytes");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("stride");
    QTest::addColumn<int>("factor");
    QTest::addColumn<int>("reducedWidth");
    QTest::addColumn<int>("reducedHeight");
    QTest::newRow("halves") << false << 8 << 6 << 8 << 2 << 4 << 3;
    QTest::newRow("thirds, the rest left out") << false << 10 << 7 << 12 << 3 << 3 << 2;
    QTest::newRow("bytes, rows padded") << true << 9 << 5 << 16 << 2 << 4 << 2;
    QTest::newRow("factor below 1") << false << 5 << 4 << 5 << 0 << 5 << 4;
    QTest::newRow("factor beyond the picture") << false << 5 << 4 << 5 << 6 << 0 << 0;
}

// Each block's mean: on levels x + 4 y, the level at the block's middle. The padding past each
// row is at 255, so a read of it shows.
void LineSegmentsTest::reducesByBlocks()
{
    QFETCH(bool, bytes);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, stride);
    QFETCH(int, factor);
    QFETCH(int, reducedWidth);
    QFETCH(int, reducedHeight);
    std::vector<float> levels(static_cast<std::size_t>(stride) * height, 255.0F);
    std::vector<std::uint8_t> bytesOf(levels.size(), 255);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            levels[static_cast<std::size_t>(y) * stride + x] = static_cast<float>(x + 4 * y);
            bytesOf[static_cast<std::size_t>(y) * stride + x] =
                static_cast<std::uint8_t>(x + 4 * y);
        }
    }
    const GreyPicture reduced =
        bytes ? reduceBy(GreyBytesView{bytesOf.data(), width, height, stride}, factor)
              : reduceBy(GreyView{levels.data(), width, height, stride}, factor);
    QCOMPARE(reduced.width, reducedWidth);
    QCOMPARE(reduced.height, reducedHeight);
    const double f = std::max(factor, 1);
    for (int j = 0; j < reducedHeight; ++j) {
        for (int i = 0; i < reducedWidth; ++i) {
            const double middle = (i * f + (f - 1) / 2) + 4 * (j * f + (f - 1) / 2);
            QCOMPARE(reduced.pixels[static_cast<std::size_t>(j) * reducedWidth + i], middle);
        }
    }
    // Levels that are no grey level are read as the nearest one, NaN as black.
    const std::vector<float> wild = {std::nanf(""), -5.0F, 300.0F, 100.0F};
    QCOMPARE(reduceBy(GreyView{wild.data(), 2, 2, 2}, 2).pixels.front(), 88.75F);
}

QTEST_GUILESS_MAIN(LineSegmentsTest)
#include "tst_linesegments.moc"
