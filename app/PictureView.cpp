#include "PictureView.h"

#include "Numbers.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace {

using measure::TwipsPerPixel;
// The line is 3 pixels wide and inverts what lies under it, so it shows on any picture.
constexpr qreal LineWidth = 3.0;
// Room around a strip of the line for its width and round caps.
constexpr int LinePad = 3;
// A moved line repaints strips of at most this length, not its whole bounding box, so a long
// diagonal costs a few thousand pixels rather than the whole window. Padded, a strip stays
// under 96 scanlines: taller fills Qt hands to its thread pool, whose hand-offs cost more
// than the few pixels drawn.
constexpr qreal StripLength = 64.0;

// Liang-Barsky: the part of a -> b inside bounds, if any.
std::optional<QLineF> clipped(QPointF a, QPointF b, const QRectF& bounds)
{
    qreal t0 = 0.0;
    qreal t1 = 1.0;
    const qreal dx = b.x() - a.x();
    const qreal dy = b.y() - a.y();
    const std::array<std::pair<qreal, qreal>, 4> edges{{{-dx, a.x() - bounds.left()},
                                                        {dx, bounds.right() - a.x()},
                                                        {-dy, a.y() - bounds.top()},
                                                        {dy, bounds.bottom() - a.y()}}};
    for (const auto& [p, q] : edges) {
        if (p == 0.0) {
            if (q < 0.0) {
                return std::nullopt;
            }
            continue;
        }
        const qreal t = q / p;
        if (p < 0.0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) {
            return std::nullopt;
        }
    }
    return QLineF(a.x() + t0 * dx, a.y() + t0 * dy, a.x() + t1 * dx, a.y() + t1 * dy);
}

// The exact bytes of the local file a dropped URL names, from its percent-encoding: Qt's own
// reading decodes a name that is not valid UTF-8 with replacement characters, which may name
// another file. A URL with a host names no file here.
std::optional<QByteArray> exactLocalFile(const QUrl& url)
{
    if (!url.isLocalFile() || !url.host().isEmpty()) {
        return std::nullopt;
    }
    QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path;
}

QList<QByteArray> localFiles(const QMimeData* data)
{
    QList<QByteArray> files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (auto file = exactLocalFile(url)) {
            files.append(std::move(*file));
        }
    }
    return files;
}

// A drop only ever copies: a source offering to move must never delete the user's file.
bool acceptAsCopy(QDropEvent* event)
{
    if (!(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

} // namespace

PictureView::PictureView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
}

void PictureView::setPicture(QImage display)
{
    m_picture = std::move(display);
    m_scaled = QImage();
    update();
}

void PictureView::setLine(const measure::LineControl& line)
{
    if (line == m_line) {
        return;
    }
    QRegion dirty = regionOf(m_line);
    m_line = line;
    dirty += regionOf(m_line);
    if (!dirty.isEmpty()) {
        update(dirty);
    }
}

std::optional<QLineF> PictureView::visibleSegment(const measure::LineControl& line,
                                                  const QRectF& bounds)
{
    const QPointF a(line.X1 / TwipsPerPixel, line.Y1 / TwipsPerPixel);
    const QPointF b(line.X2 / TwipsPerPixel, line.Y2 / TwipsPerPixel);
    return clipped(a, b, bounds);
}

QRegion PictureView::lineRegion(const QLineF& line, const QRect& bounds)
{
    const int pieces = std::max(1, static_cast<int>(std::ceil(line.length() / StripLength)));
    QRegion region;
    for (int i = 0; i < pieces; ++i) {
        const QPointF from = line.pointAt(static_cast<qreal>(i) / pieces);
        const QPointF to = line.pointAt(static_cast<qreal>(i + 1) / pieces);
        region += QRectF(from, to).normalized().toAlignedRect().adjusted(-LinePad, -LinePad,
                                                                         LinePad, LinePad);
    }
    return region & bounds;
}

QRegion PictureView::regionOf(const measure::LineControl& line) const
{
    if (!line.Visible) {
        return {};
    }
    const QRectF margin = QRectF(rect()).adjusted(-LinePad, -LinePad, LinePad, LinePad);
    const auto segment = visibleSegment(line, margin);
    if (!segment) {
        return {};
    }
    return lineRegion(*segment, rect());
}

void PictureView::ensureScaled()
{
    const qreal ratio = devicePixelRatioF();
    const QSize target = (QSizeF(size()) * ratio).toSize();
    if (m_scaled.size() == target && !m_scaled.isNull()) {
        return;
    }
    if (target.isEmpty() || m_picture.isNull()) {
        m_scaled = QImage(target.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        m_scaled.fill(Qt::white);
        m_scaled.setDevicePixelRatio(ratio);
        return;
    }
    QImage source = m_picture;
    // A huge picture is first sampled down to twice the view, then smoothed: the result looks
    // the same as smoothing the whole picture at a fraction of the cost.
    const QSize twice = target * 2;
    if (source.width() > twice.width() || source.height() > twice.height()) {
        source = source.scaled(source.size().boundedTo(twice), Qt::IgnoreAspectRatio,
                               Qt::FastTransformation);
    }
    // Enlarged pictures keep crisp pixels; reduced ones are smoothed.
    const bool enlarging = target.width() >= source.width() && target.height() >= source.height();
    QImage scaled = source.scaled(target, Qt::IgnoreAspectRatio,
                                  enlarging ? Qt::FastTransformation : Qt::SmoothTransformation);
    if (scaled.hasAlphaChannel()) {
        // Transparent parts show on white, and the cached copy stays opaque for fast blits.
        QImage opaque(target, QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, scaled);
        painter.end();
        scaled = std::move(opaque);
    } else if (scaled.format() != QImage::Format_RGB32) {
        scaled.convertTo(QImage::Format_RGB32);
    }
    scaled.setDevicePixelRatio(ratio);
    m_scaled = std::move(scaled);
}

void PictureView::paintEvent(QPaintEvent* event)
{
    ensureScaled();
    QPainter painter(this);
    const qreal ratio = m_scaled.devicePixelRatio();
    for (const QRect& area : event->region()) {
        const QRectF source(area.x() * ratio, area.y() * ratio, area.width() * ratio,
                            area.height() * ratio);
        painter.drawImage(QRectF(area), m_scaled, source);
    }
    if (!m_line.Visible) {
        return;
    }
    const QRectF margin = QRectF(rect()).adjusted(-LinePad, -LinePad, LinePad, LinePad);
    const auto segment = visibleSegment(m_line, margin);
    if (!segment) {
        return;
    }
    // Difference with white inverts the pixels under the line and keeps them opaque.
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.setPen(QPen(Qt::white, LineWidth, Qt::SolidLine, Qt::RoundCap));
    // Drawn strip by strip, each short enough to be filled on this thread.
    for (const QRect& area : event->region()) {
        painter.setClipRect(area);
        painter.drawLine(*segment);
    }
}

QPointF PictureView::twipsOf(const QMouseEvent* event) const
{
    // The scene position keeps the fractions of a logical pixel that position() rounds away on
    // a scaled screen.
    const QPointF local = event->scenePosition() - mapTo(window(), QPointF(0.0, 0.0));
    return local * TwipsPerPixel;
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    const QPointF at = twipsOf(event);
    emit mouseDown(event->button(), event->modifiers(), static_cast<float>(at.x()),
                   static_cast<float>(at.y()));
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = twipsOf(event);
    emit mouseMove(event->buttons(), event->modifiers(), static_cast<float>(at.x()),
                   static_cast<float>(at.y()));
}

void PictureView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF at = twipsOf(event);
    emit mouseUp(event->button(), event->modifiers(), static_cast<float>(at.x()),
                 static_cast<float>(at.y()));
}

void PictureView::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_refuseDrops || localFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    acceptAsCopy(event);
}

void PictureView::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_refuseDrops || localFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    acceptAsCopy(event);
}

void PictureView::dropEvent(QDropEvent* event)
{
    if (m_refuseDrops || !acceptAsCopy(event)) {
        event->ignore();
        return;
    }
    emit filesDropped(localFiles(event->mimeData()));
}
