// The picture control: paints the picture stretched over its whole size and the measuring line
// over it, and forwards mouse and drop events. It never reaches up to its window; the window
// tells it what to show.
#pragma once

#include "Line.h"

#include <QByteArray>
#include <QImage>
#include <QLineF>
#include <QList>
#include <QRegion>
#include <QWidget>

#include <optional>

class QPainter;

class PictureView : public QWidget {
    Q_OBJECT

public:
    explicit PictureView(QWidget* parent = nullptr);

    // The picture is replaced whole by the copy to show (sampled down to what a screen can
    // show), which the view paints scaled to its size.
    void setPicture(QImage display);
    [[nodiscard]] const QImage& picture() const { return m_picture; }

    // Shows the line as given, with a ring marking its active end, repainting only the strips
    // the old and the new line cover; the view keeps what it last painted, to know what to
    // repaint.
    void setLine(const measure::LineControl& line, measure::End activeEnd = measure::End::Two);
    [[nodiscard]] const measure::LineControl& line() const { return m_line; }
    [[nodiscard]] measure::End activeEnd() const { return m_activeEnd; }

    // Shows the loupe, a finished image at the screen's resolution, at where (logical pixels);
    // a null image hides it.
    void setLoupe(const QRect& where, QImage image);
    [[nodiscard]] const QImage& loupe() const { return m_loupe; }
    [[nodiscard]] const QRect& loupeRect() const { return m_loupeRect; }

    // Shows a short notice in a band across the bottom, over the picture and the line, or none
    // when empty; only the band is repainted. Long texts wrap, and what does not fit is elided.
    void setNotice(const QString& text);
    [[nodiscard]] const QString& notice() const { return m_notice; }
    // Where the notice is painted, in logical pixels; empty when there is none.
    [[nodiscard]] QRect noticeBand() const;

    // While refused, drags over the view show that they cannot drop.
    void setRefuseDrops(bool refuse) { m_refuseDrops = refuse; }

    // The strips a line of the given width covers, in logical pixels, clipped near the view.
    [[nodiscard]] static QRegion lineRegion(const QLineF& line, const QRect& bounds);
    // The line control's twips as a segment in logical pixels, clipped to bounds (empty when
    // it lies wholly outside); the rasteriser cannot take the huge coordinates a far drag makes.
    [[nodiscard]] static std::optional<QLineF> visibleSegment(const measure::LineControl& line,
                                                              const QRectF& bounds);

signals:
    // buttons as the platform reports them: the button that changed on press and release, the
    // buttons held on a move. X and Y are twips from the view's top left corner.
    void mouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, float X, float Y);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, float X, float Y);
    void mouseUp(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, float X, float Y);
    // The local files of a drop, in order, by the exact bytes of their paths; empty for a drop
    // that carries none.
    void filesDropped(const QList<QByteArray>& files);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    [[nodiscard]] QPointF twipsOf(const QMouseEvent* event) const;
    [[nodiscard]] QRegion regionOf(const measure::LineControl& line, measure::End activeEnd) const;
    void ensureScaled();
    void paintLine(QPainter& painter, const QRegion& region) const;
    void paintLoupe(QPainter& painter, const QRegion& region) const;
    // The notice's lines as wrapped for the view's width, and the band they fill.
    [[nodiscard]] QStringList noticeLines() const;
    void paintNotice(QPainter& painter, const QRegion& region);

    QImage m_picture;
    QImage m_scaled; // m_picture at the view's size in device pixels; remade per size change
    measure::LineControl m_line;
    QString m_notice;
    measure::End m_activeEnd = measure::End::Two;
    QImage m_loupe;
    QRect m_loupeRect;
    bool m_refuseDrops = false;
};
