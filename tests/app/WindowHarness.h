// Helpers for driving the real window under the offscreen platform.
#pragma once

#include "PictureView.h"
#include "frmTorvanix.h"

#include <QApplication>
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
        if (surroundings.AppPath.isEmpty()) {
            surroundings.AppPath = folder.path();
        }
        window = std::make_unique<frmTorvanix>(std::move(surroundings));
        window->show();
        (void)QTest::qWaitForWindowExposed(window.get());
    }
    frmTorvanix& operator*() const { return *window; }
    frmTorvanix* operator->() const { return window.get(); }
};

} // namespace harness
