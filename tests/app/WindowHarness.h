// Helpers for driving the real window under the offscreen platform.
#pragma once

#include "PictureFile.h"
#include "PictureView.h"
#include "frmTorvanix.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

namespace harness {

// Sends a mouse event to the picture as the platform would, at a position in logical pixels.
inline void mouse(frmTorvanix& window, QEvent::Type type, QPointF at, Qt::MouseButton button,
                  Qt::MouseButtons held, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    PictureView* view = window.imgTorvanix();
    QMouseEvent event(type, at, at, view->mapToGlobal(at), button, held, modifiers);
    QApplication::sendEvent(view, &event);
}

inline void press(frmTorvanix& window, QPointF at, Qt::MouseButton button = Qt::LeftButton)
{
    mouse(window, QEvent::MouseButtonPress, at, button, button);
}

inline void drag(frmTorvanix& window, QPointF at, Qt::MouseButtons held = Qt::LeftButton)
{
    mouse(window, QEvent::MouseMove, at, Qt::NoButton, held);
}

inline void release(frmTorvanix& window, QPointF at, Qt::MouseButton button = Qt::LeftButton)
{
    mouse(window, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
}

// A plain picture of the given size, one colour.
inline QImage picture(int width, int height, QColor colour = Qt::white)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The picture's own size and its label, as the window's measurement holds them.
inline QSize pictureSize(const frmTorvanix& window)
{
    const measure::Measurement& measurement = window.measurement();
    return {static_cast<int>(measurement.pictureWidth()),
            static_cast<int>(measurement.pictureHeight())};
}

inline QString label(const frmTorvanix& window)
{
    return QString::fromStdString(window.measurement().label());
}

// The title as the window system shows it, after Qt's own placeholder handling.
inline QString shownTitle(const frmTorvanix& window)
{
    return window.windowHandle() != nullptr ? window.windowHandle()->title() : window.windowTitle();
}

// A window shown on screen, in an application folder of its own.
struct ShownWindow {
    QTemporaryDir folder;
    std::unique_ptr<frmTorvanix> window;

    explicit ShownWindow(Surroundings surroundings = {})
    {
        if (surroundings.appPath.isEmpty()) {
            surroundings.appPath = folder.path();
        }
        window = std::make_unique<frmTorvanix>(std::move(surroundings));
        window->show();
        (void)QTest::qWaitForWindowExposed(window.get());
    }
    frmTorvanix& operator*() const { return *window; }
    frmTorvanix* operator->() const { return window.get(); }
};

// Runs one test class on the real window under the offscreen platform, set up as the program
// sets itself up.
template <typename Test> int runWindowTest(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Windows make their working folders in a cache of the tests' own.
    const QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    QApplication app(argc, argv);
    // As the program does: large pictures must decode.
    QImageReader::setAllocationLimit(intake::DecodeLimitMiB);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace harness

// The test program's main for one test class.
#define TORVANIX_WINDOW_TEST_MAIN(TestClass)                                                       \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        return harness::runWindowTest<TestClass>(argc, argv);                                      \
    }
