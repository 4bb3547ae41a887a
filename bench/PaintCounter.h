// Counts the paints a widget receives, so a benchmark step can end when its repaint is done.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

class PaintCounter : public QObject {
public:
    int paints = 0;

    // Runs the event loop until a paint after the `before`th one has happened.
    void waitForPaintAfter(int before,
                           QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents) const
    {
        while (paints == before) {
            QCoreApplication::processEvents(flags);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};
