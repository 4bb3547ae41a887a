// How true the title reads after the edge fit: straight edges at known angles, drawn exactly
// (each pixel's share of the blurred half-plane, integrated), with noise, saved as PNG and as
// JPEG at quality 85 and read back; a rough line within 4 device pixels of the edge; the fit;
// and the title's angle from the fitted ends through the same readout the window uses. Prints
// the largest error per case and over the whole table, the hand's error for comparison, the
// fit's time, and its time on a 100-megapixel picture.
#include "EdgeFit.h"
#include "GreyRows.h"
#include "Line.h"
#include "Numbers.h"
#include "Readout.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <ctime>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
// The window shows the picture in about 1500 x 1125 logical pixels.
constexpr double ShownWidth = 1500.0;
constexpr double ShownHeight = 1125.0;
// The window's first search reaches 10 of its pixels either side of the line.
constexpr double ReachWindowPixels = 10.0;
constexpr double DarkLevel = 70.0;
constexpr double LightLevel = 180.0;
// Pixels farther than this from the edge are plain plateau: drawn flat, never read by the fit.
constexpr double DrawnReach = 64.0;

double normalCdf(double t)
{
    return 0.5 * std::erfc(-t / std::sqrt(2.0));
}

double normalPdf(double t)
{
    return std::exp(-0.5 * t * t) / std::sqrt(2.0 * Pi);
}

// First antiderivative of the normal CDF.
double cdfIntegral(double t)
{
    return t * normalCdf(t) + normalPdf(t);
}

// Share of a unit pixel on the light side of the edge v = v0 + m u, blurred by a Gaussian of
// sigma pixels; z = pixel's low v minus the edge at the pixel's low u. Exact for a sharp edge;
// 16-point Gauss-Legendre along u otherwise (the integrand is smooth then).
double coverage(double z, double m, double sigma, double cosine)
{
    if (sigma <= 0.0) {
        // Integral over s in [0, 1] of clamp(z + 1 - m s, 0, 1).
        auto ramp = [](double t) {
            if (t <= 0.0) {
                return 0.0;
            }
            return t < 1.0 ? 0.5 * t * t : t - 0.5;
        };
        if (std::fabs(m) < 1e-12) {
            return std::clamp(z + 1.0, 0.0, 1.0);
        }
        return (ramp(z + 1.0) - ramp(z + 1.0 - m)) / m;
    }
    static constexpr std::array<double, 8> nodes = {
        0.0950125098376374, 0.2816035507792589, 0.4580167776572274, 0.6178762444026438,
        0.7554044083550030, 0.8656312023878318, 0.9445750230732326, 0.9894009349916499};
    static constexpr std::array<double, 8> weights = {
        0.1894506104550685, 0.1826034150449236, 0.1691565193950025, 0.1495959888165767,
        0.1246289712555339, 0.0951585116824928, 0.0622535239386479, 0.0271524594117541};
    const double k = cosine / sigma;
    double sum = 0.0;
    for (int i = 0; i < 8; ++i) {
        for (const double side : {-1.0, 1.0}) {
            const double s = 0.5 + 0.5 * side * nodes[i];
            const double zz = z - m * s;
            // Integral over t in [0, 1] of Phi(k (zz + t)).
            sum += 0.5 * weights[i] * (cdfIntegral(k * (zz + 1.0)) - cdfIntegral(k * zz)) / k;
        }
    }
    return sum;
}

// What is drawn along the edge: a plain step, a thin dark line (a wire), a photo-like horizon
// (a sky with a gradient over textured ground) and a faint step of 40 grey levels.
enum class Scene { Step, ThinLine, Horizon, Faint };

const char* sceneName(Scene scene)
{
    switch (scene) {
    case Scene::ThinLine:
        return "thin line";
    case Scene::Horizon:
        return "horizon";
    case Scene::Faint:
        return "faint step";
    case Scene::Step:
        break;
    }
    return "step";
}

// Ground texture: smooth value noise on a 4-pixel lattice, -1 to 1.
double texture(int u, int v)
{
    auto lattice = [](int i, int j) {
        auto h =
            static_cast<std::uint32_t>(i) * 73856093U ^ static_cast<std::uint32_t>(j) * 19349663U;
        h = (h ^ (h >> 13U)) * 1274126177U;
        h ^= h >> 16U;
        return static_cast<double>(h & 0xffffU) / 32767.5 - 1.0;
    };
    constexpr int spacing = 4;
    const int i = u / spacing;
    const int j = v / spacing;
    const double fu = static_cast<double>(u % spacing) / spacing;
    const double fv = static_cast<double>(v % spacing) / spacing;
    return (1 - fu) * (1 - fv) * lattice(i, j) + fu * (1 - fv) * lattice(i + 1, j) +
           (1 - fu) * fv * lattice(i, j + 1) + fu * fv * lattice(i + 1, j + 1);
}

struct Edge {
    Scene scene = Scene::Step;
    bool alongY = false; // near vertical
    double degrees = 0.0;
    double sigma = 0.0;
    double noise = 0.0; // largest deviation, grey levels
};

// The edge through the picture's centre at the given angle (positive: turned anticlockwise).
// In the frame whose u axis runs along the edge: v = vc + slope (u - uc).
double frameSlope(const Edge& edge)
{
    const double t = std::tan(edge.degrees * Pi / 180.0);
    return edge.alongY ? t : -t;
}

QImage drawEdge(int width, int height, const Edge& edge, std::mt19937& random)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    const int sizeU = edge.alongY ? height : width;
    const int sizeV = edge.alongY ? width : height;
    const double uc = 0.5 * sizeU;
    const double vc = 0.5 * sizeV;
    const double m = frameSlope(edge);
    const double cosine = 1.0 / std::sqrt(1.0 + m * m);
    std::uniform_int_distribution<int> noise(-static_cast<int>(edge.noise),
                                             static_cast<int>(edge.noise));
    auto put = [&](int u, int v, double level) {
        const int x = edge.alongY ? v : u;
        const int y = edge.alongY ? u : v;
        image.scanLine(y)[x] = static_cast<uchar>(std::clamp(std::lround(level), 0L, 255L));
    };
    const double plain = 2.0 + std::fabs(m) + 8.0 * edge.sigma;
    auto share = [&](double z) {
        return z < -plain ? 0.0 : (z > plain ? 1.0 : coverage(z, m, edge.sigma, cosine));
    };
    // A thin line 1.5 pixels wide across, its half-width along v.
    const double lineHalf = 0.75 / cosine;
    for (int u = 0; u < sizeU; ++u) {
        const double lowEdge = vc + m * (u - uc); // the edge at the pixel's low u
        for (int v = 0; v < sizeV; ++v) {
            const double z = v - lowEdge;
            const bool near = std::fabs(z) <= DrawnReach;
            const double past = near ? share(z) : (z > 0.0 ? 1.0 : 0.0);
            double level = 0.0;
            switch (edge.scene) {
            case Scene::Step:
                level = DarkLevel + (LightLevel - DarkLevel) * past;
                break;
            case Scene::Faint:
                level = 120.0 + 40.0 * past;
                break;
            case Scene::ThinLine:
                level = LightLevel - (LightLevel - DarkLevel) *
                                         (near ? share(z + lineHalf) - share(z - lineHalf) : 0.0);
                break;
            case Scene::Horizon: {
                const double sky = 200.0 + 0.05 * (vc - v);
                const double ground = 95.0 + (near ? 25.0 * texture(u, v) : 0.0);
                level = sky * (1.0 - past) + ground * past;
                break;
            }
            }
            if (near) {
                level += noise(random);
            }
            put(u, v, level);
        }
    }
    return image;
}

QImage roundTrip(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (std::strcmp(format, "jpeg") == 0) {
        writer.setQuality(85);
    }
    writer.write(image);
    buffer.close();
    QImage back;
    back.loadFromData(bytes, format);
    return back.convertToFormat(QImage::Format_Grayscale8);
}

// The title's angle for a segment in picture pixels, through the window's own readout.
double titleDegrees(const measure::PictureSegment& segment, int width, int height)
{
    const auto clientWidth = static_cast<float>(ShownWidth * measure::TwipsPerPixel);
    const auto clientHeight = static_cast<float>(ShownHeight * measure::TwipsPerPixel);
    measure::LineFractions fractions{segment.a.x / width, segment.a.y / height, segment.b.x / width,
                                     segment.b.y / height};
    measure::LineControl control;
    measure::placeLine(control, fractions, clientWidth, clientHeight);
    const measure::PictureGeometry geometry{measure::himetricFromPixels(width),
                                            measure::himetricFromPixels(height), clientWidth,
                                            clientHeight};
    const auto tilt = measure::measureTilt(control, geometry);
    return tilt ? tilt->degrees : NAN;
}

struct Tally {
    double worstFit = 0.0;
    double worstHand = 0.0;
    double sumHand = 0.0;
    int fits = 0;
    int refused = 0;
    int turnedAway = 0; // refused: the hand's line was more than 3 degrees off the edge
    std::string worstCase;
};

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The processor time this thread has used, in milliseconds: unlike the wall clock, it does not
// count the time other programs on a busy machine take.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

void bigPicture()
{
    // 12000 x 8400: the reach the window passes for it (10 window pixels) is 80 picture pixels.
    constexpr int width = 12000;
    constexpr int height = 8400;
    // A crisp step, and a soft one (a blur of 15 pixels, some 40 across) whose band grows.
    for (const auto& [blur, degrees] :
         {std::pair{0.7, 0.3}, {0.7, 44.0}, {15.0, 0.3}, {15.0, 44.0}}) {
        std::mt19937 random(7);
        const Edge edge{Scene::Step, false, degrees, blur, 4.0};
        const GreyRows pixels(drawEdge(width, height, edge, random));
        const double m = frameSlope(edge);
        // The whole edge across the picture, 3 pixels off at one end and -3 at the other.
        const double uFrom = degrees > 40.0 ? 0.5 * width - 0.5 * height / std::fabs(m) + 2.0 : 2.0;
        const double uTo = width - uFrom;
        auto onEdge = [&](double u, double off) {
            return measure::PicturePoint{u, 0.5 * height + m * (u - 0.5 * width) + off};
        };
        const measure::PictureSegment rough{onEdge(uFrom, 3.0), onEdge(uTo, -3.0)};
        std::vector<double> times;
        std::vector<double> cpu;
        double error = 0.0;
        for (int run = 0; run < 9; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = threadMilliseconds();
            const auto fitted =
                measure::fitEdge(pixels, rough, ReachWindowPixels * width / ShownWidth).fit;
            cpu.push_back(threadMilliseconds() - cpuStart);
            times.push_back(milliseconds(std::chrono::steady_clock::now() - start));
            error = fitted ? std::fabs(titleDegrees(fitted->ends, width, height) - degrees) : NAN;
        }
        std::sort(times.begin(), times.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("100 MP (%d x %d), edge blurred by %.1f px at %.2f deg across the picture, "
                    "reach +-%.0f px: fit %.1f ms median, %.1f ms max (processor time of the "
                    "calling thread %.1f ms median, %.1f ms max); error %.5f deg\n",
                    width, height, blur, degrees, ReachWindowPixels * width / ShownWidth, times[4],
                    times.back(), cpu[4], cpu.back(), error);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // An 8000 x 6000 picture decodes to 192 MB of 32-bit pixels, over Qt's default limit.
    QImageReader::setAllocationLimit(1024);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const char* only = std::getenv("EDGE_ONLY"); // a case name to print fit by fit
    if (argc > 1 && std::strcmp(argv[1], "--100mp") == 0) {
        bigPicture();
        return 0;
    }

    const std::vector<double> angles = {0.05, 0.1, 0.3, 1.0, 2.5, 7.0, 15.0, 30.0, 44.0};
    std::map<std::string, Tally> tallies;
    std::map<std::string, Tally> byScene;
    Tally overall;
    std::vector<double> times;
    std::vector<double> cpuTimes;
    std::mt19937 placing(2026);

    struct Size {
        int width;
        int height;
    };
    std::vector<Size> sizes = {{2000, 1500}};
    if (!quick) {
        sizes.push_back({8000, 6000});
    }
    for (const Size size : sizes) {
        const double devicePixel = size.width / ShownWidth;
        const double halfWidth = std::max(3.0, ReachWindowPixels * devicePixel);
        std::mt19937 drawing(size.width);
        for (const Scene scene : {Scene::Step, Scene::ThinLine, Scene::Horizon, Scene::Faint}) {
            // The other scenes are drawn on the smaller pictures, noisy, at a camera's blur.
            if (scene != Scene::Step && size.width > 4000) {
                continue;
            }
            // One scene alone, when asked for by name.
            if (const char* alone = std::getenv("EDGE_SCENE");
                alone != nullptr && std::strcmp(alone, sceneName(scene)) != 0) {
                continue;
            }
            const std::vector<double> blurs = scene == Scene::Step
                                                  ? std::vector<double>{0.0, 0.7, 1.5}
                                              : scene == Scene::Horizon ? std::vector<double>{1.0}
                                                                        : std::vector<double>{0.7};
            const std::vector<double> noises =
                scene == Scene::Step ? std::vector<double>{0.0, 4.0} : std::vector<double>{4.0};
            for (const bool alongY : {false, true}) {
                for (const double sigma : blurs) {
                    for (const double noise : noises) {
                        for (const double angle : angles) {
                            for (const double sign : {1.0, -1.0}) {
                                const Edge edge{scene, alongY, sign * angle, sigma, noise};
                                const QImage drawn =
                                    drawEdge(size.width, size.height, edge, drawing);
                                for (const char* format : {"png", "jpeg"}) {
                                    const GreyRows pixels(roundTrip(drawn, format));
                                    const int sizeU = alongY ? size.height : size.width;
                                    const int sizeV = alongY ? size.width : size.height;
                                    const double m = frameSlope(edge);
                                    // Longest stretch of edge inside the picture, along u.
                                    const double spanU = std::min<double>(
                                        sizeU, sizeV / std::max(std::fabs(m), 1e-9));
                                    const double most = 0.9 * spanU * std::sqrt(1.0 + m * m);
                                    for (const double length : {300.0, 1000.0, most}) {
                                        const double lengthU = length / std::sqrt(1.0 + m * m);
                                        std::uniform_real_distribution<double> centre(
                                            0.5 * sizeU - 0.5 * (spanU - lengthU) * 0.9,
                                            0.5 * sizeU + 0.5 * (spanU - lengthU) * 0.9);
                                        std::uniform_real_distribution<double> turn(0.0, 2.0 * Pi);
                                        std::uniform_real_distribution<double> unit(0.0, 1.0);
                                        const double uMid = centre(placing);
                                        std::array<measure::PicturePoint, 2> ends;
                                        for (int e = 0; e < 2; ++e) {
                                            const double u = uMid + (e == 0 ? -0.5 : 0.5) * lengthU;
                                            const double v = 0.5 * sizeV + m * (u - 0.5 * sizeU);
                                            // Up to 4 device pixels off, in any direction.
                                            const double r =
                                                4.0 * devicePixel * std::sqrt(unit(placing));
                                            const double phi = turn(placing);
                                            const double pu = u + r * std::cos(phi);
                                            const double pv = v + r * std::sin(phi);
                                            ends[e] = alongY ? measure::PicturePoint{pv, pu}
                                                             : measure::PicturePoint{pu, pv};
                                        }
                                        const measure::PictureSegment rough{ends[0], ends[1]};
                                        const auto start = std::chrono::steady_clock::now();
                                        const double cpuStart = threadMilliseconds();
                                        const auto answer =
                                            measure::fitEdge(pixels, rough, halfWidth);
                                        const auto fitted = answer.fit
                                                                ? std::optional(answer.fit->ends)
                                                                : std::nullopt;
                                        cpuTimes.push_back(threadMilliseconds() - cpuStart);
                                        times.push_back(
                                            milliseconds(std::chrono::steady_clock::now() - start));
                                        // The hand's line against the edge, as directions in the
                                        // picture (a line near 45 degrees may read on the other
                                        // axis).
                                        const double roughTurn = std::atan2(rough.b.y - rough.a.y,
                                                                            rough.b.x - rough.a.x);
                                        const double edgeTurn =
                                            alongY ? std::atan2(1.0, m) : std::atan2(m, 1.0);
                                        double hand = std::fmod(
                                            std::fabs(roughTurn - edgeTurn) * 180.0 / Pi, 180.0);
                                        hand = std::min(hand, 180.0 - hand);
                                        // More than 3 degrees off, the fit refuses by design.
                                        const bool turnedAway = hand > 3.0;
                                        std::array<char, 160> name{};
                                        std::snprintf(name.data(), name.size(),
                                                      "%s %dx%d %-4s %s blur %.1f noise %.0f",
                                                      sceneName(scene), size.width, size.height,
                                                      format, alongY ? "vert" : "horz", sigma,
                                                      noise);
                                        if (only != nullptr &&
                                            std::strstr(name.data(), only) != nullptr) {
                                            std::printf("%s angle %6.2f length %5.0f: %s %.5f\n",
                                                        name.data(), edge.degrees, length,
                                                        fitted ? "error" : "refused",
                                                        fitted ? titleDegrees(*fitted, size.width,
                                                                              size.height) -
                                                                     edge.degrees
                                                               : 0.0);
                                        }
                                        for (Tally* tally :
                                             {&tallies[name.data()], &byScene[sceneName(scene)],
                                              &overall}) {
                                            tally->sumHand += hand;
                                            tally->worstHand = std::max(tally->worstHand, hand);
                                            if (!fitted) {
                                                ++(turnedAway ? tally->turnedAway : tally->refused);
                                                continue;
                                            }
                                            ++tally->fits;
                                            const double error = std::fabs(
                                                titleDegrees(*fitted, size.width, size.height) -
                                                edge.degrees);
                                            if (!(error <= tally->worstFit)) {
                                                tally->worstFit = error;
                                                std::array<char, 200> detail{};
                                                std::snprintf(detail.data(), detail.size(),
                                                              "%s angle %.2f length %.0f",
                                                              name.data(), edge.degrees, length);
                                                tally->worstCase = detail.data();
                                            }
                                        }
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }

    std::printf("| case | fits | refused | hand's line > 3 deg off | largest error after Enter "
                "| hand's error, mean | hand's error, largest |\n|---|---|---|---|---|---|---|\n");
    for (const auto& [name, tally] : tallies) {
        const int count = tally.fits + tally.refused + tally.turnedAway;
        std::printf("| %s | %d | %d | %d | %.4f deg | %.3f deg | %.3f deg |\n", name.c_str(),
                    tally.fits, tally.refused, tally.turnedAway, tally.worstFit,
                    tally.sumHand / count, tally.worstHand);
    }
    std::sort(times.begin(), times.end());
    std::printf("\nwhole table: %d fits, %d refused, %d refused as the hand's line was more than 3 "
                "deg off; largest error %.4f deg (%s); hand's error mean %.3f deg, largest %.3f "
                "deg\n",
                overall.fits, overall.refused, overall.turnedAway, overall.worstFit,
                overall.worstCase.c_str(),
                overall.sumHand / (overall.fits + overall.refused + overall.turnedAway),
                overall.worstHand);
    for (const auto& [scene, tally] : byScene) {
        std::printf("%s: %d fits, %d refused, %d refused as the hand's line was more than 3 deg "
                    "off; largest error %.4f deg (%s)\n",
                    scene.c_str(), tally.fits, tally.refused, tally.turnedAway, tally.worstFit,
                    tally.worstCase.c_str());
    }
    std::sort(cpuTimes.begin(), cpuTimes.end());
    std::printf("fit time: median %.2f ms, largest %.2f ms (processor time: median %.2f ms, "
                "largest %.2f ms)\n",
                times[times.size() / 2], times.back(), cpuTimes[cpuTimes.size() / 2],
                cpuTimes.back());
    bigPicture();
    return overall.refused == 0 && overall.worstFit <= 0.01 ? 0 : 1;
}
