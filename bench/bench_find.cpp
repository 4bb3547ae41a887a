// Finding the picture's strongest straight edge, as one key will: synthetic scenes of 24 and 100
// megapixels with one dominant edge (a horizon over textured ground, or a wall's edge) at a known
// angle among clutter (boxes at any angle, a disc, texture everywhere). The window's display
// copy is made as the window makes it (nearest pixels, at most 3840 x 2160, stretched to fit);
// then timed: its reduction to the detector's copy and the detection. The first candidate is
// checked against the dominant edge, then fitted at full resolution by the Enter fit, and its
// reading compared with the true angle. Prints one line per scene and a summary per size.
#include "EdgeFit.h"
#include "GreyRows.h"
#include "LineSegments.h"
#include "Reduce.h"

#include <QImage>

#include <ctime>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
// Twice a 1920 x 1080 desktop: what the window keeps for display.
constexpr int DisplayWidth = 3840;
constexpr int DisplayHeight = 2160;
// The detector's copy: the display copy reduced to at most this on its longer side.
constexpr std::int64_t DefaultLongest = 2000;
constexpr int Runs = 5;

double lattice(int i, int j)
{
    auto h = static_cast<std::uint32_t>(i) * 73856093U ^ static_cast<std::uint32_t>(j) * 19349663U;
    h = (h ^ (h >> 13U)) * 1274126177U;
    return static_cast<double>((h ^ (h >> 16U)) & 0xffffU) / 32767.5 - 1.0;
}

// Smooth value noise, -1 to 1, on a lattice of `spacing` pixels.
double texture(int x, int y, int spacing)
{
    const int i = x / spacing;
    const int j = y / spacing;
    const double fu = static_cast<double>(x % spacing) / spacing;
    const double fv = static_cast<double>(y % spacing) / spacing;
    return (1 - fu) * (1 - fv) * lattice(i, j) + fu * (1 - fv) * lattice(i + 1, j) +
           (1 - fu) * fv * lattice(i, j + 1) + fu * fv * lattice(i + 1, j + 1);
}

struct Scene {
    int width = 0;
    int height = 0;
    double degrees = 0.0; // as the title reads it
    bool vertical = false;
};

// Signed distance from the dominant edge through the picture's centre: positive below (right).
struct Dominant {
    double cx;
    double cy;
    double nx; // unit normal
    double ny;
    [[nodiscard]] double across(double x, double y) const { return (x - cx) * nx + (y - cy) * ny; }
};

Dominant dominantOf(const Scene& s)
{
    const double a = s.degrees * Pi / 180.0;
    // A horizontal edge turned anticlockwise rises to the right: normal (sin a, cos a).
    return s.vertical ? Dominant{0.5 * s.width, 0.53 * s.height, std::cos(a), -std::sin(a)}
                      : Dominant{0.5 * s.width, 0.55 * s.height, std::sin(a), std::cos(a)};
}

struct Box {
    double cx, cy, half1, half2, c, s, level;
};

QImage drawScene(const Scene& scene, std::mt19937& random)
{
    QImage image(scene.width, scene.height, QImage::Format_Grayscale8);
    const Dominant edge = dominantOf(scene);
    const double unit = scene.width / 1000.0; // clutter scales with the picture
    std::uniform_real_distribution<double> ux(0.0, scene.width);
    std::uniform_real_distribution<double> uy(0.0, scene.height);
    std::uniform_real_distribution<double> side(15.0 * unit, 120.0 * unit);
    std::uniform_real_distribution<double> turn(0.0, Pi);
    std::uniform_real_distribution<double> level(20.0, 235.0);
    std::vector<Box> boxes;
    while (boxes.size() < 14) {
        const Box b{ux(random), uy(random), side(random), side(random) * 0.5, 0, 0, level(random)};
        if (std::fabs(edge.across(b.cx, b.cy)) > 1.2 * std::hypot(b.half1, b.half2)) {
            const double t = turn(random);
            boxes.push_back({b.cx, b.cy, b.half1, b.half2, std::cos(t), std::sin(t), b.level});
        }
    }
    // A disc on the light side, its rim a curve as long as the edge is.
    const double discX = scene.vertical ? 0.78 * scene.width : 0.25 * scene.width;
    const double discY = scene.vertical ? 0.3 * scene.height : 0.22 * scene.height;
    const double discR = 0.13 * std::min(scene.width, scene.height);
    std::uint32_t noise = 12345U;
    for (int y = 0; y < scene.height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < scene.width; ++x) {
            const double px = x + 0.5;
            const double py = y + 0.5;
            // A ramp 1.5 pixels wide across the edge, like a camera's blur.
            const double past = std::clamp(edge.across(px, py) / 1.5 + 0.5, 0.0, 1.0);
            const double light = 205.0 - 20.0 * py / scene.height;
            const double dark = 90.0 + 22.0 * texture(x, y, 8);
            double v = light * (1.0 - past) + dark * past;
            if (std::hypot(px - discX, py - discY) < discR) {
                v = 150.0;
            }
            for (const Box& b : boxes) {
                const double dx = px - b.cx;
                const double dy = py - b.cy;
                if (std::fabs(dx * b.c + dy * b.s) < b.half1 &&
                    std::fabs(-dx * b.s + dy * b.c) < b.half2) {
                    v = b.level;
                }
            }
            noise = noise * 1664525U + 1013904223U;
            v += 4.0 * texture(x, y, 3) + static_cast<double>(noise >> 29U) - 3.5;
            row[x] = static_cast<uchar>(std::clamp(std::lround(v), 0L, 255L));
        }
    }
    return image;
}

double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// The Enter fit on a candidate at full resolution: the one call to change when the fit's
// interface does.
std::optional<measure::PictureSegment> fitOnFullPicture(const measure::PixelRows& pixels,
                                                        const measure::PictureSegment& rough,
                                                        double halfWidth)
{
    const measure::EdgeFitAnswer answer =
        measure::fitEdge(pixels, rough, halfWidth, measure::RoughLine::Detected);
    if (!answer.fit) {
        return std::nullopt;
    }
    return answer.fit->ends;
}

double readingOf(const measure::PictureSegment& s, bool vertical)
{
    const double dx = s.b.x - s.a.x;
    const double dy = s.b.y - s.a.y;
    return vertical ? std::atan(dx / dy) * 180.0 / Pi : -std::atan(dy / dx) * 180.0 / Pi;
}

struct Timing {
    double reduce = 0.0;
    double detect = 0.0;
    double fitFirst = 0.0;
    double fitAll = 0.0;
};

struct Summary {
    int scenes = 0;
    int firstIsDominant = 0;
    int fitted = 0;
    double worstError = 0.0;
    std::vector<double> total; // reduce + detect + the first fit, processor time
    std::vector<double> withAllFits;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// What one key press does, timed: the display copy reduced, the edges found, and the
// candidates fitted at full resolution (the first, and all of them).
struct Found {
    std::vector<measure::EdgeCandidate> candidates;
    double scaleX = 1.0; // full-resolution pixels per pixel of the detector's copy
    double scaleY = 1.0;
    [[nodiscard]] measure::PictureSegment onFull(std::size_t i) const
    {
        const measure::PictureSegment& s = candidates[i].segment;
        return {{s.a.x * scaleX, s.a.y * scaleY}, {s.b.x * scaleX, s.b.y * scaleY}};
    }
    // A few of the detector's pixels at most, in full-resolution pixels.
    [[nodiscard]] double halfWidth() const { return std::max(3.0, 1.5 * std::max(scaleX, scaleY)); }
};

Found findOnce(const QImage& display, const measure::PixelRows& pixels, std::int64_t longest,
               Timing& t)
{
    Found found;
    double start = threadMilliseconds();
    const measure::GreyBytesView view{display.constBits(), display.width(), display.height(),
                                      display.bytesPerLine()};
    const measure::GreyPicture reduced = measure::reduceBy(
        view, measure::reductionFactor(display.width(), display.height(), longest));
    t.reduce = threadMilliseconds() - start;
    found.scaleX = static_cast<double>(pixels.width()) / static_cast<double>(reduced.width);
    found.scaleY = static_cast<double>(pixels.height()) / static_cast<double>(reduced.height);
    measure::FindOptions options;
    options.scaleX = found.scaleX;
    options.scaleY = found.scaleY;
    start = threadMilliseconds();
    found.candidates = measure::findStraightEdges(reduced.view(), options);
    t.detect = threadMilliseconds() - start;
    start = threadMilliseconds();
    for (std::size_t i = 0; i < found.candidates.size(); ++i) {
        (void)fitOnFullPicture(pixels, found.onFull(i), found.halfWidth());
        if (i == 0) {
            t.fitFirst = threadMilliseconds() - start;
        }
    }
    t.fitAll = threadMilliseconds() - start;
    return found;
}

void runScene(const Scene& scene, std::int64_t longest, Summary& summary)
{
    std::mt19937 random(static_cast<std::uint32_t>(scene.width + 1000 * scene.degrees));
    const QImage full = drawScene(scene, random);
    // As the window's display copy: nearest pixels, stretched to the fit.
    const QImage display =
        full.scaled(std::min(scene.width, DisplayWidth), std::min(scene.height, DisplayHeight),
                    Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const GreyRows pixels(full);
    const Dominant edge = dominantOf(scene);

    std::vector<Timing> timings(Runs);
    Found found;
    for (Timing& t : timings) {
        found = findOnce(display, pixels, longest, t);
    }

    ++summary.scenes;
    bool dominant = false;
    double error = NAN;
    if (!found.candidates.empty()) {
        const measure::PictureSegment rough = found.onFull(0);
        // The dominant edge: both ends on it within two of the detector's pixels, and at least
        // half as long as the edge.
        const double near = 2.0 * std::max(found.scaleX, found.scaleY);
        const double length = std::hypot(rough.b.x - rough.a.x, rough.b.y - rough.a.y);
        const double span = scene.vertical ? scene.height : scene.width;
        dominant = std::fabs(edge.across(rough.a.x, rough.a.y)) < near &&
                   std::fabs(edge.across(rough.b.x, rough.b.y)) < near && length > 0.5 * span;
        const auto fitted = fitOnFullPicture(pixels, rough, found.halfWidth());
        if (fitted) {
            error = readingOf(*fitted, scene.vertical) - scene.degrees;
        }
    }
    summary.firstIsDominant += dominant ? 1 : 0;
    if (dominant && std::isfinite(error)) {
        ++summary.fitted;
        summary.worstError = std::max(summary.worstError, std::fabs(error));
    }
    std::vector<double> reduce;
    std::vector<double> detect;
    std::vector<double> fitFirst;
    std::vector<double> fitAll;
    for (const Timing& t : timings) {
        reduce.push_back(t.reduce);
        detect.push_back(t.detect);
        fitFirst.push_back(t.fitFirst);
        fitAll.push_back(t.fitAll);
        summary.total.push_back(t.reduce + t.detect + t.fitFirst);
        summary.withAllFits.push_back(t.reduce + t.detect + t.fitAll);
    }
    std::printf("%dx%d %-5s %+6.2f deg: %2zu candidates, first %s, error after the fit %+.4f "
                "deg; ms: reduce %.1f, detect %.1f, fit first %.1f, fit all %.1f\n",
                scene.width, scene.height, scene.vertical ? "plumb" : "level", scene.degrees,
                found.candidates.size(), dominant ? "dominant" : "OTHER", error, median(reduce),
                median(detect), median(fitFirst), median(fitAll));
}

void summarise(const char* name, const Summary& s)
{
    std::printf("%s: first candidate the dominant edge in %d of %d scenes; fitted %d, largest "
                "error %.4f deg; reduce + detect + first fit, processor time: median %.1f ms, "
                "largest %.1f ms; with every candidate fitted: median %.1f ms, largest %.1f ms\n",
                name, s.firstIsDominant, s.scenes, s.fitted, s.worstError, median(s.total),
                *std::max_element(s.total.begin(), s.total.end()), median(s.withAllFits),
                *std::max_element(s.withAllFits.begin(), s.withAllFits.end()));
}

} // namespace

int main(int argc, char** argv)
{
    std::int64_t longest = DefaultLongest;
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true; // the 24-megapixel scenes only
        } else if (std::strcmp(argv[i], "--longest") == 0 && i + 1 < argc) {
            longest = std::atoll(argv[++i]);
        }
    }
    const std::vector<std::pair<double, bool>> angles = {{0.4, false},  {-1.5, false}, {3.0, false},
                                                         {-7.0, false}, {12.0, false}, {0.8, true},
                                                         {-2.5, true},  {6.0, true}};
    Summary mp24;
    for (const auto& [degrees, vertical] : angles) {
        runScene({6000, 4000, degrees, vertical}, longest, mp24);
    }
    summarise("24 MP (6000 x 4000)", mp24);
    if (quick) {
        return 0;
    }
    Summary mp100;
    for (const auto& [degrees, vertical] : std::vector<std::pair<double, bool>>{
             {0.4, false}, {-3.0, false}, {-1.2, true}, {5.0, true}}) {
        runScene({12240, 8160, degrees, vertical}, longest, mp100);
    }
    summarise("100 MP (12240 x 8160)", mp100);
    return 0;
}
