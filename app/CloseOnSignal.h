// Ends the program as closing its window does when the session, a service manager or the
// terminal asks it to (SIGTERM, SIGHUP, SIGINT): the converter is ended and the working folder
// removed, instead of the program vanishing and leaving them behind.
#pragma once

#include <QObject>

class QSocketNotifier;

class CloseOnSignal : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; one object for the whole program.
    explicit CloseOnSignal(QObject* parent = nullptr);
    ~CloseOnSignal() override;

    CloseOnSignal(const CloseOnSignal&) = delete;
    CloseOnSignal& operator=(const CloseOnSignal&) = delete;

private:
    void closeWindows();

    QSocketNotifier* m_notifier = nullptr;
};
