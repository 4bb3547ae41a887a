// What a user feels: one drag step of the measuring line (UpdateLine, the title, and the repaint
// it causes) on a 1500 x 950 client, with a 1- and a 100-megapixel picture; and start-up to the
// first painted frame.
#include "PaintCounter.h"
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

// One window being dragged in; each step moves the line and waits for its repaint.
class DragWindow {
public:
    DragWindow(const QString& folder, const QImage& picture)
        : m_window(Surroundings{folder})
    {
        m_window.resize(1500, 950);
        m_window.show();
        m_window.showPicture(picture, QStringLiteral(" [bench]"));
        m_window.imgTorvanix()->installEventFilter(&m_counter);
        // The first full paint (and the one scaling of the picture) happen before timing.
        while (m_counter.paints == 0) {
            QCoreApplication::processEvents();
        }
        // The press puts endpoint 2 near the top left corner, the other stays at the centre.
        send(m_window.imgTorvanix(), QEvent::MouseButtonPress, QPointF(40, 40), Qt::LeftButton,
             Qt::LeftButton);
    }

    [[nodiscard]] bool ready() const { return m_window.size() == QSize(1500, 950); }

    // Endpoint 2 sweeps back and forth along the top edge in 10-pixel steps, so every step
    // moves a line 450 to 900 pixels long, most of them diagonal. Returns nanoseconds.
    qint64 step()
    {
        constexpr int Steps = 142;
        const int along = m_step % (2 * Steps);
        const int x = 40 + 10 * (along < Steps ? along : 2 * Steps - along);
        ++m_step;
        const int before = m_counter.paints;
        const measure::LineControl was = m_window.measurement().line();
        QElapsedTimer clock;
        clock.start();
        send(m_window.imgTorvanix(), QEvent::MouseMove, QPointF(x, 40), Qt::NoButton,
             Qt::LeftButton);
        if (m_window.measurement().line() != was) {
            m_counter.waitForPaintAfter(before);
        }
        return clock.nsecsElapsed();
    }

private:
    frmTorvanix m_window;
    PaintCounter m_counter;
    int m_step = 1; // step 0 would be the press's own point
};

double medianMs(std::vector<qint64>& nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return static_cast<double>(nanoseconds[nanoseconds.size() / 2]) / 1e6;
}

double p90Ms(std::vector<qint64>& nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return static_cast<double>(nanoseconds[nanoseconds.size() * 9 / 10]) / 1e6;
}

// A 1-megapixel and a 100-megapixel picture in two windows, stepped in turn so that the
// machine's drift touches both alike. The figures are the medians of single steps.
void BM_DragStep(benchmark::State& state)
{
    QTemporaryDir folder;
    DragWindow small(folder.path(), makePicture(1000, 1000));
    DragWindow huge(folder.path(), makePicture(12000, 8400));
    if (!small.ready() || !huge.ready()) {
        state.SkipWithError("the windows did not take their size");
        return;
    }
    std::vector<qint64> smallSteps;
    std::vector<qint64> hugeSteps;
    for (auto _ : state) {
        smallSteps.push_back(small.step());
        hugeSteps.push_back(huge.step());
    }
    const double smallMedian = medianMs(smallSteps);
    const double hugeMedian = medianMs(hugeSteps);
    state.counters["1MP_median_ms"] = smallMedian;
    state.counters["1MP_p90_ms"] = p90Ms(smallSteps);
    state.counters["100MP_median_ms"] = hugeMedian;
    state.counters["100MP_p90_ms"] = p90Ms(hugeSteps);
    state.counters["ratio"] = hugeMedian / smallMedian;
}

void BM_StartToFirstPaint(benchmark::State& state)
{
    QTemporaryDir folder;
    for (auto _ : state) {
        auto window = std::make_unique<frmTorvanix>(Surroundings{folder.path()});
        PaintCounter counter;
        window->imgTorvanix()->installEventFilter(&counter);
        window->show();
        counter.waitForPaintAfter(0);
        state.PauseTiming();
        window.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_DragStep)->Unit(benchmark::kMillisecond)->Iterations(4000);
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
        counter.waitForPaintAfter(0);
        std::printf("Cold start to first painted frame: %.2f ms\n",
                    static_cast<double>(sinceStart.nsecsElapsed()) / 1e6);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
