// Starts an outside program from a command line and waits for it, with a time limit, while the
// window keeps handling its events.
#pragma once

#include "Clock.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

namespace intake {

// Starts the prepared process; true once it runs. Tests may replace it. The program runs in a
// process group of its own and is ended when this program dies, however it dies.
using Launch = std::function<bool(QProcess& process)>;

// The default: start, and learn at once whether the program could be executed.
bool launchProcess(QProcess& process);

class CommandRunner {
public:
    explicit CommandRunner(const Clock& clock, Launch launch = launchProcess);
    ~CommandRunner();

    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    // Starts the program of ExeFullPath, a whole command line split without any shell (double
    // quotes group, and """ inside quotes is one literal quote), and waits until it ends or,
    // when TimeOutValue > 0, until the clock passes the whole second TimeOutValue seconds after
    // the start, across midnight. Window events are processed throughout. True when the
    // program was started, whether it then ended or the limit passed (it is then left
    // running); false when it could not be started, or while another wait is under way.
    bool ShellAndWait(const QString& ExeFullPath, std::int32_t TimeOutValue);

    // Whether the program last started still runs.
    [[nodiscard]] bool isRunning() const;
    // Whether it ended by a crash rather than by exiting.
    [[nodiscard]] bool crashed() const;
    // The start of what it wrote to its error output, at most ErrorOutputLimit bytes: the
    // converter says there why it failed.
    [[nodiscard]] const QByteArray& errorOutput() const { return m_errorOutput; }
    static constexpr qsizetype ErrorOutputLimit = 4096;
    // Whether a wait is under way (the caller is inside ShellAndWait further down the stack).
    [[nodiscard]] bool isWaiting() const { return m_waiting; }
    // Ends the program last started, if it still runs, with everything it started: asked to end
    // first, so it can remove its own temporary files, then killed after a short grace. Reaps it.
    void endProgram();

    // The folder programs started from now on run in and keep their temporary files in (TMPDIR
    // and MAGICK_TEMPORARY_PATH); empty, the caller's.
    void setTemporaryFolder(const QString& folder) { m_temporaryFolder = folder; }
    // A folder ImageMagick reads configuration from ahead of the system's (MAGICK_CONFIGURE_PATH):
    // the application folder, whose delegate table sends camera raw files to libraw's decoder.
    void setConfigureFolder(const QString& folder) { m_configureFolder = folder; }

private:
    void waitForNextEvent(double secondsLeft);
    void collectErrorOutput(QProcess& process);

    const Clock& m_clock;
    Launch m_launch;
    std::unique_ptr<QProcess> m_process;
    // The started program's process group, which it leads: what it starts in turn is in it too.
    qint64 m_group = 0;
    QString m_temporaryFolder;
    QByteArray m_errorOutput;
    QString m_configureFolder;
    bool m_waiting = false;
};

} // namespace intake
