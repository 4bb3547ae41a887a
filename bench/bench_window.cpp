// What a user feels: one drag step of the measuring line (UpdateLine, the title, the loupe and
// the repaint they cause) on a 1500 x 950 client, with a 1- and a 100-megapixel picture; and
// start-up to the first painted frame.
#include "DropImport.h"
#include "PaintCounter.h"
#include "PictureView.h"
#include "frmTorvanix.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
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

// The processor time this process has used, in nanoseconds.
qint64 cpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct StepTime {
    qint64 wall = 0;
    qint64 cpu = 0;
};

// One window being dragged in; each step moves the line and waits for its repaint.
class DragWindow {
public:
    DragWindow(const QString& folder, const QImage& picture)
        : m_window(Surroundings{folder})
    {
        m_window.resize(1500, 950);
        m_window.show();
        m_window.showPicture(picture, QStringLiteral(" [bench]"));
        start();
    }
    // A picture as a drop brings it: the display copy read from the converter's BMP, whose
    // full-resolution pixels the loupe reads on demand.
    DragWindow(const QString& folder, intake::LoadedPicture picture)
        : m_window(Surroundings{folder})
    {
        m_window.resize(1500, 950);
        m_window.show();
        m_window.showPicture(std::move(picture), QStringLiteral(" [bench]"));
        start();
    }

    [[nodiscard]] bool ready() const { return m_window.size() == QSize(1500, 950); }
    [[nodiscard]] bool loupeShows() const { return !m_window.imgTorvanix()->loupe().isNull(); }

    // Endpoint 2 sweeps back and forth along the top edge in 10-pixel steps, so every step
    // moves a line 450 to 900 pixels long, most of them diagonal, and the loupe with it.
    StepTime step()
    {
        constexpr int Steps = 142;
        const int along = m_step % (2 * Steps);
        const int x = 40 + 10 * (along < Steps ? along : 2 * Steps - along);
        ++m_step;
        const int before = m_counter.paints;
        const measure::LineControl was = m_window.measurement().line();
        QElapsedTimer clock;
        const qint64 cpu = cpuNanoseconds();
        clock.start();
        send(m_window.imgTorvanix(), QEvent::MouseMove, QPointF(x, 40), Qt::NoButton,
             Qt::LeftButton);
        if (m_window.measurement().line() != was) {
            m_counter.waitForPaintAfter(before);
        }
        return {clock.nsecsElapsed(), cpuNanoseconds() - cpu};
    }

private:
    void start()
    {
        m_window.imgTorvanix()->installEventFilter(&m_counter);
        // The first full paint (and the one scaling of the picture) happen before timing.
        while (m_counter.paints == 0) {
            QCoreApplication::processEvents();
        }
        // The press puts endpoint 2 near the top left corner, the other stays at the centre;
        // the button stays held, so the loupe shows throughout.
        send(m_window.imgTorvanix(), QEvent::MouseButtonPress, QPointF(40, 40), Qt::LeftButton,
             Qt::LeftButton);
    }

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

// The 100-megapixel picture as a drop leaves it: the converter's BMP in the working folder.
intake::LoadedPicture droppedPicture(const QString& folder, const QSize& fit)
{
    if (!makePicture(12000, 8400).save(folder + QStringLiteral("/Torvanix.bmp"), "BMP")) {
        return {};
    }
    return intake::loadWorkingPicture(folder + QLatin1Char('/'), fit);
}

// A 1-megapixel and a 100-megapixel picture in two windows, stepped in turn so that the
// machine's drift touches both alike. The figures are the medians of single steps.
void BM_DragStep(benchmark::State& state)
{
    QTemporaryDir folder;
    QTemporaryDir dropped;
    DragWindow small(folder.path(), makePicture(1000, 1000));
    intake::LoadedPicture picture = droppedPicture(dropped.path(), QSize(3840, 2160));
    if (picture.isNull()) {
        state.SkipWithError("the 100-megapixel BMP could not be written and read");
        return;
    }
    DragWindow huge(folder.path(), std::move(picture));
    if (!small.ready() || !huge.ready() || !small.loupeShows() || !huge.loupeShows()) {
        state.SkipWithError("the windows did not take their size or show the loupe");
        return;
    }
    std::vector<qint64> smallSteps;
    std::vector<qint64> hugeSteps;
    std::vector<qint64> smallCpu;
    std::vector<qint64> hugeCpu;
    for (auto _ : state) {
        const StepTime smallStep = small.step();
        const StepTime hugeStep = huge.step();
        smallSteps.push_back(smallStep.wall);
        smallCpu.push_back(smallStep.cpu);
        hugeSteps.push_back(hugeStep.wall);
        hugeCpu.push_back(hugeStep.cpu);
    }
    const double smallMedian = medianMs(smallSteps);
    const double hugeMedian = medianMs(hugeSteps);
    state.counters["1MP_median_ms"] = smallMedian;
    state.counters["1MP_p90_ms"] = p90Ms(smallSteps);
    state.counters["1MP_cpu_median_ms"] = medianMs(smallCpu);
    state.counters["100MP_median_ms"] = hugeMedian;
    state.counters["100MP_p90_ms"] = p90Ms(hugeSteps);
    state.counters["100MP_cpu_median_ms"] = medianMs(hugeCpu);
    state.counters["ratio"] = hugeMedian / smallMedian;
}

// A 12000 x 8400 picture, light above and dark below a straight edge through its centre turned
// by the given angle, each pixel its share of either side down its column; with a blur, a soft
// edge (a Gaussian of that many pixels across it, sampled at each pixel's centre).
QImage makeEdgePicture(double degrees, int Width = 12000, int Height = 8400, double blur = 0.0)
{
    QImage image(Width, Height, QImage::Format_RGB32);
    const double slope = std::tan(degrees * M_PI / 180.0);
    const double across = std::cos(degrees * M_PI / 180.0);
    for (int y = 0; y < Height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < Width; ++x) {
            const double edge = Height / 2.0 - slope * (x + 0.5 - Width / 2.0);
            const double dark =
                blur > 0.0 ? 0.5 * std::erfc(-(y + 0.5 - edge) * across / (blur * std::sqrt(2.0)))
                           : std::clamp(y + 1.0 - edge, 0.0, 1.0);
            const int grey = static_cast<int>(std::lround(180.0 - 110.0 * dark));
            line[x] = qRgb(grey, grey, grey);
        }
    }
    return image;
}

// Enter on a 100-megapixel drop: the rough line lies 4 device pixels off an edge across the
// picture (range(0): tenths of a degree; range(1): the edge's blur in pixels, 0 for a crisp
// one, whose band then grows around the ramp); timed from the key to the title written, then
// one drag step right after.
void BM_EdgeFitOnDrop(benchmark::State& state)
{
    const double degrees = static_cast<double>(state.range(0)) / 10.0;
    const auto blur = static_cast<double>(state.range(1));
    QTemporaryDir folder;
    QTemporaryDir dropped;
    if (!makeEdgePicture(degrees, 12000, 8400, blur)
             .save(dropped.path() + QStringLiteral("/Torvanix.bmp"), "BMP")) {
        state.SkipWithError("the picture could not be written");
        return;
    }
    frmTorvanix window(Surroundings{folder.path()});
    window.resize(1500, 950);
    window.show();
    window.showPicture(
        intake::loadWorkingPicture(dropped.path() + QLatin1Char('/'), QSize(3840, 2160)),
        QStringLiteral(" [bench]"));
    QCoreApplication::processEvents();
    PictureView* view = window.imgTorvanix();
    const double slope = std::tan(degrees * M_PI / 180.0);
    // Window pixels of a point on the edge at picture column x, moved by off device pixels.
    const auto onEdge = [&](double x, double off) {
        const double y = 4200.0 - slope * (x - 6000.0);
        return QPointF(x / 8.0, y * 950.0 / 8400.0 + off);
    };
    std::vector<qint64> fits;
    std::vector<qint64> fitCpu;
    std::vector<qint64> dragsAfter;
    bool exact = true;
    for (auto _ : state) {
        const QPointF a = onEdge(600.0, 4.0);
        const QPointF b = onEdge(11400.0, -4.0);
        send(view, QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonRelease, a, Qt::LeftButton, Qt::NoButton);
        send(view, QEvent::MouseButtonPress, b, Qt::LeftButton, Qt::LeftButton);
        send(view, QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton);
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        const qint64 cpu = cpuNanoseconds();
        clock.start();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        fits.push_back(clock.nsecsElapsed());
        fitCpu.push_back(cpuNanoseconds() - cpu);
        exact = exact && window.writtenTitle().startsWith(
                             QStringLiteral("Horizontal+%1°").arg(degrees, 0, 'f', 2));
        clock.restart();
        send(view, QEvent::MouseButtonPress, b, Qt::LeftButton, Qt::LeftButton);
        QCoreApplication::processEvents();
        dragsAfter.push_back(clock.nsecsElapsed());
        send(view, QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton);
    }
    if (!exact) {
        state.SkipWithError(qPrintable(QStringLiteral("the fit read ") + window.writtenTitle()));
        return;
    }
    state.counters["fit_median_ms"] = medianMs(fits);
    state.counters["fit_max_ms"] =
        static_cast<double>(*std::max_element(fits.begin(), fits.end())) / 1e6;
    state.counters["fit_cpu_median_ms"] = medianMs(fitCpu);
    state.counters["press_after_ms"] = medianMs(dragsAfter);
}

// F on a drop of range(0) megapixels (3:2): a horizon at 0.8 degrees across the picture among
// shorter edges and a curve; timed from the key to the title written with the horizon's
// reading, the search running off the window's thread.
void BM_FindOnDrop(benchmark::State& state)
{
    const auto megapixels = static_cast<double>(state.range(0));
    const int height = static_cast<int>(std::lround(std::sqrt(megapixels * 1e6 / 1.5)));
    const int width = height * 3 / 2;
    QImage picture = makeEdgePicture(0.8, width, height);
    {
        QPainter painter(&picture);
        painter.setPen(QPen(QColor(120, 120, 120), height / 400.0));
        painter.setBrush(QColor(140, 140, 140));
        painter.drawRect(QRectF(width * 0.1, height * 0.1, width * 0.15, height * 0.04));
        painter.drawEllipse(QPointF(width * 0.75, height * 0.2), height * 0.08, height * 0.08);
        painter.drawLine(QPointF(width * 0.4, height * 0.05), QPointF(width * 0.5, height * 0.3));
    }
    QTemporaryDir folder;
    QTemporaryDir dropped;
    if (!picture.save(dropped.path() + QStringLiteral("/Torvanix.bmp"), "BMP")) {
        state.SkipWithError("the picture could not be written");
        return;
    }
    picture = QImage();
    frmTorvanix window(Surroundings{folder.path()});
    window.resize(1500, 950);
    window.show();
    std::vector<qint64> finds;
    bool exact = true;
    for (auto _ : state) {
        state.PauseTiming();
        window.showPicture(
            intake::loadWorkingPicture(dropped.path() + QLatin1Char('/'), QSize(3840, 2160)),
            QStringLiteral(" [bench]"));
        // No line yet: the title changes when F has put one on the horizon.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&window, &escape);
        QCoreApplication::processEvents();
        const QString before = window.writtenTitle();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        QKeyEvent f(QEvent::KeyPress, Qt::Key_F, Qt::NoModifier);
        QApplication::sendEvent(&window, &f);
        while (window.writtenTitle() == before && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        finds.push_back(clock.nsecsElapsed());
        exact = exact && window.writtenTitle().startsWith(QStringLiteral("Horizontal+0.80°"));
    }
    if (!exact) {
        state.SkipWithError(qPrintable(QStringLiteral("F read ") + window.writtenTitle() +
                                       QStringLiteral(", saying ") +
                                       window.imgTorvanix()->notice()));
        return;
    }
    state.counters["find_median_ms"] = medianMs(finds);
    state.counters["find_max_ms"] =
        static_cast<double>(*std::max_element(finds.begin(), finds.end())) / 1e6;
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
BENCHMARK(BM_EdgeFitOnDrop)
    ->Args({3, 0})
    ->Args({440, 0})
    ->Args({3, 15})
    ->Args({440, 15})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(9);
BENCHMARK(BM_FindOnDrop)->Arg(24)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(5);
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
