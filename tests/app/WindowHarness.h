// Helpers for driving the real window under the offscreen platform.
#pragma once

#include "PictureFile.h"
#include "PictureView.h"
#include "frmTorvanix.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
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

// Four quadrants in different colours: red, green / blue, white, as stored.
inline QImage quadrantPicture(int width, int height)
{
    QImage image = picture(width, height, Qt::white);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 2, Qt::red);
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::green);
    painter.fillRect(0, height / 2, width / 2, height - height / 2, Qt::blue);
    return image;
}

// The colours at the middles of a picture's quadrants, top left, top right, bottom left, bottom
// right, as letters R, G, B, W ('?' for none of them).
inline QString quadrants(const QImage& image)
{
    QString letters;
    for (const QPoint at : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QRgb c = image.pixel(image.width() * at.x() / 4, image.height() * at.y() / 4);
        const int r = qRed(c) > 160 ? 1 : qRed(c) < 90 ? 0 : -9;
        const int g = qGreen(c) > 160 ? 2 : qGreen(c) < 90 ? 0 : -9;
        const int b = qBlue(c) > 160 ? 4 : qBlue(c) < 90 ? 0 : -9;
        const int code = r + g + b;
        letters += code == 1 ? 'R' : code == 2 ? 'G' : code == 4 ? 'B' : code == 7 ? 'W' : '?';
    }
    return letters;
}

// A JPEG file's bytes with an Exif orientation tag (1 to 8) added after its first segment:
// an APP1 segment holding a little-endian TIFF header and one entry, Orientation (0x0112).
inline QByteArray withOrientation(const QByteArray& jpeg, int orientation)
{
    QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24);
    exif += static_cast<char>(orientation);
    exif += QByteArray(3 + 4, '\0'); // rest of the value, then no next entry list
    const auto length = static_cast<int>(exif.size() + 2);
    const QByteArray segment = QByteArray("\xFF\xE1", 2) + static_cast<char>(length >> 8) +
                               static_cast<char>(length & 0xFF) + exif;
    // After the start marker and the JFIF segment (whose length is in its bytes 4 and 5).
    const qsizetype jfifEnd = 4 + (static_cast<uchar>(jpeg[4]) << 8 | static_cast<uchar>(jpeg[5]));
    return jpeg.left(jfifEnd) + segment + jpeg.mid(jfifEnd);
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
