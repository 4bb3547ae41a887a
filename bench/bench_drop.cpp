// A dropped photo: the converter's own time on it, and the time from the drop to the picture on
// screen in the window (conversion, loading and the first paint), for an 8000 x 6000 JPEG; and
// the CPU the program itself uses while it waits for the converter.
#include "PaintCounter.h"
#include "PictureView.h"
#include "frmTorvanix.h"

#include "DropImport.h"
#include "PictureFile.h"
#include "WorkingFiles.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>

namespace {

QTemporaryDir* folder = nullptr; // the application folder, with the converter link
QString photo;                   // the 8000 x 6000 JPEG
double converterMedian = 0.0;
double dropMedian = 0.0;

QString appFolder()
{
    return folder->path() + QLatin1Char('/');
}

// A photo-like picture: smooth light with fine grain, so the JPEG is of a camera's size.
bool makePhoto(const QString& path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    quint32 seed = 12345;
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525U + 1013904223U;
            const int grain = static_cast<int>(seed >> 28) - 8;
            line[3 * static_cast<qsizetype>(x)] =
                static_cast<uchar>(qBound(0, x * 255 / width + grain, 255));
            line[3 * static_cast<qsizetype>(x) + 1] =
                static_cast<uchar>(qBound(0, y * 255 / height + grain, 255));
            line[3 * static_cast<qsizetype>(x) + 2] =
                static_cast<uchar>(qBound(0, 128 + grain * 4, 255));
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    return writer.write(image);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The converter alone on the photo, with its output removed first as the program does.
double converterAlone(const QStringList& words, const QString& workFolder)
{
    intake::deleteWorkingFiles(workFolder);
    QElapsedTimer clock;
    clock.start();
    QProcess converter;
    // In the same surroundings the window gives it: its temporary files in the working folder.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), workFolder);
    environment.insert(QStringLiteral("MAGICK_TEMPORARY_PATH"), workFolder);
    converter.setProcessEnvironment(environment);
    converter.setWorkingDirectory(workFolder);
    converter.start(words.first(), words.mid(1));
    converter.waitForFinished(-1);
    return converter.exitCode() == 0 ? static_cast<double>(clock.nsecsElapsed()) / 1e9 : -1.0;
}

// The photo dropped on the window, until the view has painted it.
double dropToDisplay(frmTorvanix& window, const PaintCounter& counter, const QMimeData& data)
{
    QCoreApplication::processEvents();
    const int before = counter.paints;
    QElapsedTimer clock;
    clock.start();
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.imgTorvanix(), &enter);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.imgTorvanix(), &drop);
    // The import runs from the event loop once the drop is over, then the repaint.
    QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
    counter.waitForPaintAfter(before, QEventLoop::WaitForMoreEvents);
    return window.measurement().pictureWidth() == 8000 &&
                   window.measurement().pictureHeight() == 6000
               ? static_cast<double>(clock.nsecsElapsed()) / 1e9
               : -1.0;
}

// The two alternate, so that drift in the machine's speed touches both alike; the figure is
// the median of the per-pair ratios.
void BM_DropAgainstConverter(benchmark::State& state)
{
    frmTorvanix window(Surroundings{folder->path()});
    window.resize(1500, 950);
    window.show();
    PaintCounter counter;
    window.imgTorvanix()->installEventFilter(&counter);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(photo)});
    // Both write into the window's working folder, on disk in the user's cache.
    const QStringList words = QProcess::splitCommand(
        intake::converterCommandLine(appFolder(), window.workingFolder(), photo));
    std::vector<double> alone;
    std::vector<double> dropped;
    std::vector<double> ratios;
    double ownCpu = 0.0;
    for (auto _ : state) {
        const double converter = converterAlone(words, window.workingFolder());
        const double cpuBefore = cpuSeconds();
        const double display = dropToDisplay(window, counter, data);
        ownCpu += cpuSeconds() - cpuBefore;
        if (converter < 0.0 || display < 0.0) {
            state.SkipWithError("the photo did not convert");
            return;
        }
        alone.push_back(converter);
        dropped.push_back(display);
        ratios.push_back(display / converter);
        state.SetIterationTime(display);
    }
    converterMedian = medianOf(alone);
    dropMedian = medianOf(dropped);
    state.counters["converter_s"] = converterMedian;
    state.counters["drop_to_display_s"] = dropMedian;
    state.counters["ratio"] = medianOf(ratios);
    // Everything this process did from drop to display: waiting, loading, painting.
    state.counters["own_cpu_s"] = ownCpu / static_cast<double>(ratios.size());
}

void BM_WaitCpu(benchmark::State& state)
{
    // Only the wait itself: the program's CPU while the converter runs.
    frmTorvanix window(Surroundings{folder->path()});
    const QString commandLine =
        intake::converterCommandLine(appFolder(), window.workingFolder(), photo);
    double cpu = 0.0;
    double wall = 0.0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const double before = cpuSeconds();
        window.ShellAndWait(commandLine, 0);
        cpu += cpuSeconds() - before;
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        wall += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["own_cpu_percent"] = 100.0 * cpu / wall;
}

} // namespace

BENCHMARK(BM_DropAgainstConverter)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WaitCpu)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(intake::DecodeLimitMiB);
    QTemporaryDir dir;
    folder = &dir;
    if (!QFile::link(QStringLiteral(TORVANIX_CONVERTER), appFolder() + "vconvert.exe")) {
        std::fputs("cannot link the converter\n", stderr);
        return 1;
    }
    photo = dir.filePath(QStringLiteral("photo 8000x6000.jpg"));
    if (!makePhoto(photo, 8000, 6000)) {
        std::fputs("cannot write the test photo\n", stderr);
        return 1;
    }
    std::printf("Test photo: 8000 x 6000 JPEG, %.1f MB\n",
                static_cast<double>(QFileInfo(photo).size()) / 1e6);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (converterMedian > 0.0 && dropMedian > 0.0) {
        std::printf("Drop to display / converter alone (medians): %.3f s / %.3f s = %.3f\n",
                    dropMedian, converterMedian, dropMedian / converterMedian);
    }
    return 0;
}
