// What a user feels: one drag step of the measuring line (UpdateLine, the title, and the repaint
// it causes) on a 1500 x 950 client, with a 1- and a 100-megapixel picture; and start-up to the
// first painted frame.
#include "PictureView.h"
#include "frmTorvanix.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Counts the paints of a widget, so a step ends when its repaint has happened.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

QImage makePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff);
        }
    }
    return image;
}

void send(QWidget* view, QEvent::Type type, QPointF at, Qt::MouseButton button,
          Qt::MouseButtons held)
{
    QMouseEvent event(type, at, at, view->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

void waitForPaint(const PaintCounter& counter, int before)
{
    while (counter.paints == before) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void BM_DragStep(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    QTemporaryDir folder;
    frmTorvanix window(Surroundings{folder.path()});
    window.resize(1500, 950);
    window.show();
    window.ShowPicture(makePicture(width, height), QStringLiteral(" [bench]"));
    PaintCounter counter;
    PictureView* view = window.imgTorvanix();
    view->installEventFilter(&counter);
    // Let the first full paint (and the one scaling of the picture) happen before timing.
    while (counter.paints == 0) {
        QCoreApplication::processEvents();
    }
    if (window.size() != QSize(1500, 950)) {
        state.SkipWithError("the window did not take its size");
        return;
    }
    // The press puts endpoint 2 near the top left corner, the other stays at the centre; the
    // drag then sweeps endpoint 2 back and forth along the top edge in 10-pixel steps, so every
    // step moves a line 450 to 900 pixels long, most of them diagonal.
    send(view, QEvent::MouseButtonPress, QPointF(40, 40), Qt::LeftButton, Qt::LeftButton);
    constexpr int Steps = 142;
    int step = 0;
    std::vector<qint64> nanoseconds;
    nanoseconds.reserve(1 << 16);
    QElapsedTimer clock;
    for (auto _ : state) {
        const int along = step % (2 * Steps);
        const int x = 40 + 10 * (along < Steps ? along : 2 * Steps - along);
        ++step;
        const QPointF at(x, 40);
        const int before = counter.paints;
        clock.start();
        send(view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        waitForPaint(counter, before);
        nanoseconds.push_back(clock.nsecsElapsed());
    }
    send(view, QEvent::MouseButtonRelease, QPointF(40, 40), Qt::LeftButton, Qt::NoButton);
    // The figure that matters is the typical single event, so report the median and the 90th
    // percentile of the steps, not only the mean of the batch.
    std::sort(nanoseconds.begin(), nanoseconds.end());
    auto percentile = [&](double p) {
        return nanoseconds[static_cast<std::size_t>(p * static_cast<double>(nanoseconds.size() - 1))] / 1e6;
    };
    state.counters["median_ms"] = percentile(0.5);
    state.counters["p90_ms"] = percentile(0.9);
}

void BM_StartToFirstPaint(benchmark::State& state)
{
    QTemporaryDir folder;
    for (auto _ : state) {
        auto window = std::make_unique<frmTorvanix>(Surroundings{folder.path()});
        PaintCounter counter;
        window->imgTorvanix()->installEventFilter(&counter);
        window->show();
        waitForPaint(counter, 0);
        state.PauseTiming();
        window.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_DragStep)
    ->Args({1000, 1000})
    ->Args({12000, 8400})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end());
    });
BENCHMARK(BM_StartToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char** argv)
{
    // Offscreen unless told otherwise; QT_QPA_PLATFORM=xcb under xvfb-run measures a real X server.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Cold start: from before the application object exists to the first painted frame.
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    {
        QTemporaryDir folder;
        frmTorvanix window(Surroundings{folder.path()});
        PaintCounter counter;
        window.imgTorvanix()->installEventFilter(&counter);
        window.show();
        waitForPaint(counter, 0);
        std::printf("Cold start to first painted frame: %.2f ms\n", sinceStart.nsecsElapsed() / 1e6);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
