#include "ShellAndWait.h"

#include "Numbers.h"

#include <QCoreApplication>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>

#include <sys/prctl.h>
#include <unistd.h>

namespace intake {
namespace {

constexpr std::int64_t SecondsPerDay = 86400;
// While waiting, wake at least this often even without events, so that a clock which jumps
// (a time adjustment, a resume from suspend, a test's fast clock) is noticed promptly.
constexpr double LongestSleepSeconds = 0.25;
// Wake just after the limit's second has passed, not on it: the test is "later than".
constexpr double PastTheSecond = 0.002;
// How long a program asked to end may take to remove its temporary files before it is killed:
// short enough that closing the window still feels immediate.
constexpr int GraceMs = 500;
// A killed program ends at once; the bound only guards against a kernel that cannot deliver
// the signal (a process stuck on a dead network drive).
constexpr int ReapWithinMs = 5000;

} // namespace

double SystemClock::secondsSinceMidnight() const
{
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

bool launchProcess(QProcess& process)
{
    process.start();
    return process.waitForStarted(-1);
}

CommandRunner::CommandRunner(const Clock& clock, Launch launch)
    : m_clock(clock)
    , m_launch(std::move(launch))
{
}

CommandRunner::~CommandRunner()
{
    endProgram();
}

bool CommandRunner::ShellAndWait(const QString& ExeFullPath, std::int32_t TimeOutValue)
{
    // One wait at a time: a second would replace the process the first is watching.
    if (m_waiting) {
        return false;
    }
    const double startClock = m_clock.secondsSinceMidnight();
    const std::int64_t start = measure::CLng(startClock);
    std::int64_t end = 0;
    bool wrapsMidnight = false;
    if (TimeOutValue > 0) {
        end = start + TimeOutValue;
        if (end >= SecondsPerDay) {
            end -= SecondsPerDay;
            wrapsMidnight = true;
        }
    }

    QStringList words = QProcess::splitCommand(ExeFullPath);
    if (words.isEmpty()) {
        return false;
    }
    auto process = std::make_unique<QProcess>();
    process->setProgram(words.takeFirst());
    process->setArguments(words);
    // The program runs hidden: no terminal input, and its output goes nowhere (an unread pipe
    // would fill up and stall it). Its error output is drained as it comes, and only its start
    // kept, so however much it writes it never waits on the pipe.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    m_errorOutput.clear();
    QProcess* started = process.get();
    QObject::connect(started, &QProcess::readyReadStandardError, started,
                     [this, started] { collectErrorOutput(*started); });
    if (!m_temporaryFolder.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), m_temporaryFolder);
        environment.insert(QStringLiteral("MAGICK_TEMPORARY_PATH"), m_temporaryFolder);
        // Ahead of any folders the user named there, which still count after it.
        if (!m_configureFolder.isEmpty()) {
            const QString userFolders = environment.value(QStringLiteral("MAGICK_CONFIGURE_PATH"));
            environment.insert(QStringLiteral("MAGICK_CONFIGURE_PATH"),
                               userFolders.isEmpty()
                                   ? m_configureFolder
                                   : m_configureFolder + QLatin1Char(':') + userFolders);
        }
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(m_temporaryFolder);
    }
    const pid_t parent = ::getpid();
    // Runs in the child between fork and exec, so only async-signal-safe calls. Its own group
    // lets it be ended with all it starts; the death signal ends it should this program be
    // killed, even before the call took effect (then the parent has already changed).
    process->setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(EXIT_FAILURE);
        }
    });
    endProgram();
    if (!m_launch(*process)) {
        return false;
    }
    m_process = std::move(process);
    m_group = m_process->processId();

    m_waiting = true;
    bool stillActive = false;
    do {
        stillActive = m_process->state() == QProcess::Running;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        double secondsLeft = LongestSleepSeconds;
        if (TimeOutValue != 0) {
            const double now = m_clock.secondsSinceMidnight();
            if (now > static_cast<double>(end)) {
                if (!wrapsMidnight) {
                    break;
                }
                // Past midnight once the clock reads less than it did at the start. Compared
                // with the start's rounded whole second instead, a start rounded up would count
                // as "past midnight" at once and end the wait before the limit.
                if (now < startClock) {
                    break;
                }
            }
            const bool endIsTomorrow = wrapsMidnight && now >= startClock;
            secondsLeft = endIsTomorrow
                              ? static_cast<double>(SecondsPerDay) - now + static_cast<double>(end)
                              : static_cast<double>(end) - now;
        }
        if (stillActive && m_process->state() == QProcess::Running) {
            waitForNextEvent(secondsLeft);
        }
    } while (stillActive);
    m_waiting = false;
    collectErrorOutput(*m_process);
    return true;
}

void CommandRunner::collectErrorOutput(QProcess& process)
{
    const QByteArray chunk = process.readAllStandardError();
    m_errorOutput += chunk.first(std::min(chunk.size(), ErrorOutputLimit - m_errorOutput.size()));
}

void CommandRunner::waitForNextEvent(double secondsLeft)
{
    // Block until something happens: window input, the program's exit (a notifier on its
    // process), or this timer at the limit. Nothing spins.
    const double seconds = std::clamp(secondsLeft + PastTheSecond, 0.0, LongestSleepSeconds);
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(std::ceil(seconds * 1000.0)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool CommandRunner::isRunning() const
{
    return m_process != nullptr && m_process->state() != QProcess::NotRunning;
}

bool CommandRunner::crashed() const
{
    return m_process != nullptr && m_process->state() == QProcess::NotRunning &&
           m_process->exitStatus() == QProcess::CrashExit;
}

void CommandRunner::endProgram()
{
    if (m_process == nullptr || m_process->state() == QProcess::NotRunning || m_group <= 0) {
        return;
    }
    const auto group = static_cast<pid_t>(m_group);
    // Asked first: ImageMagick removes its pixel cache files when it ends on SIGTERM, which it
    // cannot do on SIGKILL.
    ::kill(-group, SIGTERM);
    m_process->waitForFinished(GraceMs);
    // Whatever is left of the group, helpers it started included, goes now. The group still
    // has members or the program was reaped just now, so its number cannot have been reused.
    ::kill(-group, SIGKILL);
    m_process->waitForFinished(ReapWithinMs);
    m_group = 0;
}

} // namespace intake
