// The picture's full-resolution pixels read from the converter's BMP: the time a loupe's region
// takes as a drag moves it, and the peak resident memory while the loupe and the edge fit read
// all over a large picture.
// Usage: bench_full_picture BMP... [benchmark options]   times region() on each file
//        bench_full_picture walk BMP                      peak memory over a long walk
//        bench_full_picture grey W H FILE.jpg             writes a grainy grey photo
#include "FullPicture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRect>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The loupe shows this many picture pixels each way around the active end.
constexpr int LoupeSide = 40;
// Between two mouse events of a drag, the end moves this far in picture pixels (a few screen
// pixels, on a picture shown at a fifth of its size).
constexpr int StepX = 13;
constexpr int StepY = 7;

long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray name(field);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name)) {
            return line.mid(name.size()).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

// A drag that sweeps the whole picture: the end runs diagonally and wraps at the edges.
QRect loupeAt(std::int64_t event, QSize size)
{
    const int x = static_cast<int>(event * StepX % size.width());
    const int y =
        static_cast<int>((event * StepY + event / size.width() * LoupeSide) % size.height());
    return {x - LoupeSide / 2, y - LoupeSide / 2, LoupeSide, LoupeSide};
}

void regionAlongADrag(benchmark::State& state, const QString& path)
{
    const auto full = intake::FullPicture::fromBmp(path);
    if (!full) {
        state.SkipWithError("not a BMP the reader maps");
        return;
    }
    std::int64_t event = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(full->region(loupeAt(event++, full->size())));
    }
    state.counters["megapixels"] = static_cast<double>(full->width() * full->height()) / 1e6;
}

// The loupe moved over the whole picture many times, with an edge fit's band of grey rows
// read at every hundredth step; prints the peak resident memory before and after.
int walk(const QString& path)
{
    const long before = statusKb("VmHWM:");
    QElapsedTimer opening;
    opening.start();
    const auto full = intake::FullPicture::fromBmp(path);
    const double openMs = static_cast<double>(opening.nsecsElapsed()) / 1e6;
    if (!full) {
        std::fprintf(stderr, "not a BMP the reader maps: %s\n", qPrintable(path));
        return 1;
    }
    const long mapped = statusKb("VmHWM:");
    constexpr std::int64_t Events = 200'000;
    constexpr std::int64_t BandRows = 400; // an edge fit along a long line
    constexpr std::int64_t BandWidth = 2000;
    std::vector<float> colour(static_cast<std::size_t>(3 * BandWidth));
    double sum = 0.0;
    for (std::int64_t event = 0; event < Events; ++event) {
        const QRect area = loupeAt(event, full->size());
        sum += full->region(area).pixel(LoupeSide / 2, LoupeSide / 2) & 0xFF;
        if (event % 100 == 0) {
            const std::int64_t x0 = std::max(0, area.left()) % (full->width() - BandWidth);
            for (std::int64_t y = 0; y < BandRows; ++y) {
                full->readRow((area.top() + y + full->height()) % full->height(), x0,
                              x0 + BandWidth, colour.data());
                sum += colour[0];
            }
        }
    }
    std::printf("%s: %lld x %lld, %lld MB file, opened in %.1f ms; %lld loupe regions, %lld "
                "grey rows of %lld\n"
                "peak resident (VmHWM): %ld MB at start, %ld MB once mapped, %ld MB after "
                "(now resident %ld MB; checksum %.0f)\n",
                qPrintable(QFileInfo(path).fileName()), static_cast<long long>(full->width()),
                static_cast<long long>(full->height()),
                static_cast<long long>(QFileInfo(path).size() / 1'000'000), openMs,
                static_cast<long long>(Events), static_cast<long long>(Events / 100) * BandRows,
                static_cast<long long>(BandWidth), before / 1000, mapped / 1000,
                statusKb("VmHWM:") / 1000, statusKb("VmRSS:") / 1000, sum);
    return 0;
}

// A grey photo with fine grain, so that the converter's 8-bit runs are mostly short, as a
// scanned page's or a photo's are.
int writeGreyPhoto(int width, int height, const QString& path)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    quint32 seed = 12345;
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525U + 1013904223U;
            const int grain = static_cast<int>(seed >> 28) - 8;
            line[x] = static_cast<uchar>(qBound(0, (x + y) * 255 / (width + height) + grain, 255));
        }
    }
    return image.save(path) ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "walk") == 0) {
        return walk(QFile::decodeName(argv[2]));
    }
    if (argc == 5 && std::strcmp(argv[1], "grey") == 0) {
        return writeGreyPhoto(std::atoi(argv[2]), std::atoi(argv[3]), QFile::decodeName(argv[4]));
    }
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        benchmark::RegisterBenchmark(
            ("region/" + QFileInfo(path).fileName().toStdString()).c_str(),
            [path](benchmark::State& state) { regionAlongADrag(state, path); });
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
