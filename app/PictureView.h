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

class PictureView : public QWidget {
    Q_OBJECT

public:
    explicit PictureView(QWidget* parent = nullptr);

    // The picture is replaced whole by the copy to show (sampled down to what a screen can
    // show), which the view paints scaled to its size.
    void setPicture(QImage display);
    [[nodiscard]] const QImage& picture() const { return m_picture; }

    // Shows the line as given, repainting only the strips the old and the new line cover; the
    // view keeps what it last painted, to know what to repaint.
    void setLine(const measure::LineControl& line);
    [[nodiscard]] const measure::LineControl& line() const { return m_line; }

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
    [[nodiscard]] QRegion regionOf(const measure::LineControl& line) const;
    void ensureScaled();

    QImage m_picture;
    QImage m_scaled; // m_picture at the view's size in device pixels; remade per size change
    measure::LineControl m_line;
    bool m_refuseDrops = false;
};
