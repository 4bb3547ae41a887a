#include "CloseOnSignal.h"

#include <QApplication>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array Signals{SIGTERM, SIGHUP, SIGINT};
// The handler only writes a byte here; the event loop reads it and closes the windows, where
// anything may be done.
std::array<int, 2> wakeUp{-1, -1};

extern "C" void onSignal(int /*signal*/)
{
    const int saved = errno;
    const char byte = 1;
    (void)!::write(wakeUp[1], &byte, 1);
    errno = saved;
}

} // namespace

CloseOnSignal::CloseOnSignal(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(wakeUp.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_notifier = new QSocketNotifier(wakeUp[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CloseOnSignal::closeWindows);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals) {
        ::sigaction(signal, &action, nullptr);
    }
}

CloseOnSignal::~CloseOnSignal()
{
    for (const int signal : Signals) {
        ::signal(signal, SIG_DFL);
    }
    for (int& end : wakeUp) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
}

void CloseOnSignal::closeWindows()
{
    std::array<char, 16> bytes{};
    while (::read(wakeUp[0], bytes.data(), bytes.size()) > 0) {
    }
    // As the window manager's close: each window ends its converter and removes its folder.
    QApplication::closeAllWindows();
}
