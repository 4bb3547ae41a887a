#include "WaitCursor.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QScreen>
#include <QVersionNumber>

#include <algorithm>
#include <cmath>

namespace {

// The drawn hourglass is as large as the usual themes' cursors, in logical pixels.
constexpr qreal Side = 24.0;

// Qt's Wayland client before 6.6.1 (Debian 12 ships 6.4.2) frees the frame callback of an
// animated cursor and then reads it, and most themes animate their busy cursor: with the drop's
// event processing while the converter runs, that ended now and then in a crash. A cursor drawn
// from a pixmap is shown from a buffer of its own, which asks for no frame callbacks. The check
// is made at run time, against the Qt the program runs with.
bool themeCursorIsSafe()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return true;
    }
    return QVersionNumber::fromString(QLatin1String(qVersion())) >= QVersionNumber(6, 6, 1);
}

// An hourglass, dark lines on light glass so it shows on any picture, at a whole number of
// device pixels per logical one (a cursor buffer's scale is whole).
QPixmap hourglass()
{
    qreal ratio = 1.0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        ratio = std::max(ratio, std::ceil(screen->devicePixelRatio()));
    }
    const auto side = static_cast<int>(Side * ratio);
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(ratio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.setBrush(Qt::white);
    painter.drawPolygon(QPolygonF{{7.0, 4.0},
                                  {17.0, 4.0},
                                  {17.0, 7.5},
                                  {13.5, 12.0},
                                  {17.0, 16.5},
                                  {17.0, 20.0},
                                  {7.0, 20.0},
                                  {7.0, 16.5},
                                  {10.5, 12.0},
                                  {7.0, 7.5}});
    painter.setPen(QPen(Qt::white, 1.0));
    painter.setBrush(Qt::black);
    painter.drawRect(QRectF(4.5, 1.5, 15.0, 3.0));
    painter.drawRect(QRectF(4.5, 19.5, 15.0, 3.0));
    // The sand: running out at the top, heaped at the bottom.
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(QPolygonF{{9.0, 8.0}, {15.0, 8.0}, {12.0, 11.5}});
    painter.drawPolygon(QPolygonF{{12.0, 15.0}, {15.5, 19.0}, {8.5, 19.0}});
    painter.end();
    return pixmap;
}

} // namespace

QCursor busyCursor()
{
    if (themeCursorIsSafe()) {
        return {Qt::WaitCursor};
    }
    // The hot spot is the hourglass's middle.
    return QCursor(hourglass());
}

WaitCursor::WaitCursor()
{
    QGuiApplication::setOverrideCursor(busyCursor());
}

WaitCursor::~WaitCursor()
{
    restore();
}

void WaitCursor::restore()
{
    if (m_shown) {
        m_shown = false;
        QGuiApplication::restoreOverrideCursor();
    }
}
