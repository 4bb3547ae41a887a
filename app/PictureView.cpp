#include "PictureView.h"

#include "Numbers.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>
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
// The notice: white on a dark veil, so it reads over any picture; the veil lets the picture
// show through, so the user still sees it is unchanged.
const QColor NoticeVeil(0, 0, 0, 190);
const QColor NoticeText(255, 255, 255);
// A notice longer than this many lines is cut, so the band never hides most of the picture.
constexpr int NoticeLinesAtMost = 3;
// The ring around the active end: its radius in logical pixels, its pen in device pixels.
constexpr qreal RingRadius = 7.0;
constexpr qreal RingWidthDevice = 2.0;
// The loupe is copied in bands of this many logical pixels.
constexpr int LoupeBand = 40;

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

void PictureView::setLine(const measure::LineControl& line, measure::End activeEnd)
{
    if (line == m_line && activeEnd == m_activeEnd) {
        return;
    }
    QRegion dirty = regionOf(m_line, m_activeEnd);
    m_line = line;
    m_activeEnd = activeEnd;
    dirty += regionOf(m_line, m_activeEnd);
    if (!dirty.isEmpty()) {
        update(dirty);
    }
}

void PictureView::setLoupe(const QRect& where, QImage image)
{
    if (image.isNull() && m_loupe.isNull()) {
        return;
    }
    QRegion dirty(m_loupe.isNull() ? QRect() : m_loupeRect);
    m_loupe = std::move(image);
    m_loupeRect = m_loupe.isNull() ? QRect() : where;
    dirty += m_loupeRect;
    update(dirty);
}

namespace {

QPointF activeEndOf(const measure::LineControl& line, measure::End end)
{
    return end == measure::End::One ? QPointF(line.X1, line.Y1) / TwipsPerPixel
                                    : QPointF(line.X2, line.Y2) / TwipsPerPixel;
}

QRectF ringBounds(QPointF centre)
{
    const qreal reach = RingRadius + LinePad;
    return {centre.x() - reach, centre.y() - reach, 2 * reach, 2 * reach};
}

} // namespace

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

QRegion PictureView::regionOf(const measure::LineControl& line, measure::End activeEnd) const
{
    if (!line.Visible) {
        return {};
    }
    QRegion region;
    const QPointF end = activeEndOf(line, activeEnd);
    if (rect().intersects(ringBounds(end).toAlignedRect())) {
        region += ringBounds(end).toAlignedRect() & rect();
    }
    const QRectF margin = QRectF(rect()).adjusted(-LinePad, -LinePad, LinePad, LinePad);
    const auto segment = visibleSegment(line, margin);
    if (segment) {
        region += lineRegion(*segment, rect());
    }
    return region;
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
    // The loupe is opaque: what lies under it is not drawn at all.
    const bool loupeShows = !m_loupe.isNull() && event->region().intersects(m_loupeRect);
    const QRegion under = loupeShows ? event->region() - m_loupeRect : event->region();
    const qreal ratio = m_scaled.devicePixelRatio();
    for (const QRect& area : under) {
        const QRectF source(area.x() * ratio, area.y() * ratio, area.width() * ratio,
                            area.height() * ratio);
        painter.drawImage(QRectF(area), m_scaled, source);
    }
    if (m_line.Visible) {
        paintLine(painter, under);
    }
    if (loupeShows) {
        paintLoupe(painter, event->region());
    }
    paintNotice(painter, event->region());
}

void PictureView::paintLoupe(QPainter& painter, const QRegion& region) const
{
    // In bands, as the line: each short enough to be drawn on this thread.
    const qreal ratio = m_loupe.devicePixelRatio();
    for (int top = 0; top < m_loupeRect.height(); top += LoupeBand) {
        const QRect band(m_loupeRect.left(), m_loupeRect.top() + top, m_loupeRect.width(),
                         std::min(LoupeBand, m_loupeRect.height() - top));
        for (const QRect& area : region.intersected(band)) {
            const QRectF source((area.left() - m_loupeRect.left()) * ratio,
                                (area.top() - m_loupeRect.top()) * ratio, area.width() * ratio,
                                area.height() * ratio);
            painter.drawImage(QRectF(area), m_loupe, source);
        }
    }
    // A one-pixel frame sets it off from the picture around it.
    const QColor frame = palette().color(QPalette::WindowText);
    const QRect& r = m_loupeRect;
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), frame);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), frame);
    for (int top = r.top(); top <= r.bottom(); top += LoupeBand) {
        const int height = std::min(LoupeBand, r.bottom() + 1 - top);
        painter.fillRect(QRect(r.left(), top, 1, height), frame);
        painter.fillRect(QRect(r.right(), top, 1, height), frame);
    }
}

void PictureView::paintLine(QPainter& painter, const QRegion& region) const
{
    const QRectF margin = QRectF(rect()).adjusted(-LinePad, -LinePad, LinePad, LinePad);
    const auto segment = visibleSegment(m_line, margin);
    const QPointF end = activeEndOf(m_line, m_activeEnd);
    const QRect ring = ringBounds(end).toAlignedRect();
    painter.save();
    // Difference with white inverts the pixels under the line and keeps them opaque.
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    const QPen linePen(Qt::white, LineWidth, Qt::SolidLine, Qt::RoundCap);
    QPen ringPen(Qt::white, RingWidthDevice / painter.device()->devicePixelRatioF());
    // Drawn strip by strip, each short enough to be filled on this thread.
    for (const QRect& area : region) {
        painter.setClipRect(area);
        if (segment) {
            painter.setPen(linePen);
            painter.drawLine(*segment);
        }
        // Stroking the ring costs far more than clipping it away: only where it lies.
        if (area.intersects(ring)) {
            painter.setPen(ringPen);
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(end, RingRadius, RingRadius);
        }
    }
    painter.restore();
}

void PictureView::setNotice(const QString& text)
{
    if (text == m_notice) {
        return;
    }
    const QRect before = noticeBand();
    m_notice = text;
    update(QRegion(before) + noticeBand());
}

QStringList PictureView::noticeLines() const
{
    QStringList lines;
    if (m_notice.isEmpty()) {
        return lines;
    }
    const QFontMetrics metrics = fontMetrics();
    const int pad = metrics.height() / 2;
    const int width = std::max(1, this->width() - 2 * pad);
    // Words wrap; a long file name with no blank in it breaks where it must.
    QTextLayout layout(m_notice, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == NoticeLinesAtMost - 1) {
            lines.append(metrics.elidedText(m_notice.mid(line.textStart()), Qt::ElideRight, width));
            break;
        }
        lines.append(m_notice.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

QRect PictureView::noticeBand() const
{
    const qsizetype lines = noticeLines().size();
    if (lines == 0) {
        return {};
    }
    const QFontMetrics metrics = fontMetrics();
    const int bandHeight = static_cast<int>(lines) * metrics.lineSpacing() + metrics.height();
    return {0, height() - bandHeight, width(), bandHeight};
}

void PictureView::paintNotice(QPainter& painter, const QRegion& region)
{
    const QRect band = noticeBand();
    if (band.isEmpty() || !region.intersects(band)) {
        return;
    }
    painter.save();
    painter.setClipRegion(region);
    painter.fillRect(band, NoticeVeil);
    painter.setPen(NoticeText);
    painter.setFont(font());
    const QFontMetrics metrics = fontMetrics();
    int top = band.top() + metrics.height() / 2;
    for (const QString& line : noticeLines()) {
        painter.drawText(QRect(band.left(), top, band.width(), metrics.lineSpacing()),
                         Qt::AlignCenter, line);
        top += metrics.lineSpacing();
    }
    painter.restore();
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
