#include "CloseOnSignal.h"
#include "PictureFile.h"
#include "frmTorvanix.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

// The exit status for a command line the program does not understand.
constexpr int UsageError = 2;

bool haveDisplay()
{
    return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
           std::getenv("QT_QPA_PLATFORM") != nullptr;
}

// What the command line asks for: a file to open (none when empty), or to stop at once with
// an exit status.
struct Request {
    QByteArray file; // the exact bytes of its absolute path
    std::optional<int> exitStatus;
};

// A name as the user gave it, byte for byte, made absolute against the current folder. "." and
// ".." are taken out only where that still names the same file, as it may not through a linked
// folder, and only where the name reads back exactly as text; otherwise its bytes stay as they
// are, so that it never turns into another file's name.
QByteArray absoluteName(const QByteArray& given)
{
    const QString name = QFile::decodeName(given);
    if (QFile::encodeName(name) != given) {
        return given.startsWith('/') ? given : QFile::encodeName(QDir::currentPath()) + '/' + given;
    }
    const QString absolute = QDir::current().absoluteFilePath(name);
    const QString cleaned = QDir::cleanPath(absolute);
    const QString target = QFileInfo(absolute).canonicalFilePath();
    return QFile::encodeName(
        !target.isEmpty() && QFileInfo(cleaned).canonicalFilePath() == target ? cleaned : absolute);
}

// The argument the parser took as the first file, as given. Before it come only "--" and
// options, and an option never reads like it (an option would have ended the program or been
// refused), so the first argument that reads like it is it.
QByteArray givenBytes(int argc, char** argv, const QString& file)
{
    for (int i = 1; i < argc; ++i) {
        if (QFile::decodeName(argv[i]) == file && qstrcmp(argv[i], "--") != 0) {
            return argv[i];
        }
    }
    return QFile::encodeName(file);
}

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Read before the application object is made, which needs a display: --help and --version
// work without one.
Request parseArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QFile::decodeName(argv[i]));
    }
    if (arguments.isEmpty()) {
        // Started with no name at all; the parser takes the first argument as the program's.
        arguments.append(QStringLiteral("torvanix"));
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Measures how far a picture is tilted along a line drawn on it."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("The picture to open, as if dropped on the window; \"--\" before it "
                       "when its name starts with \"-\"."),
        QStringLiteral("[file]"));
    const bool understood = parser.parse(arguments);
    if (understood && !parser.isSet(help) && !parser.isSet(version)) {
        // Of several files only the first is used, as with a drop.
        const QStringList files = parser.positionalArguments();
        return Request{files.isEmpty() ? QByteArray()
                                       : absoluteName(givenBytes(argc, argv, files.first())),
                       std::nullopt};
    }

    // The usage names the program as it was started; an application object without a
    // display is enough for that.
    QCoreApplication named(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Torvanix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TORVANIX_VERSION));
    if (!understood) {
        print(stderr,
              QStringLiteral("torvanix: %1\n\n%2").arg(parser.errorText(), parser.helpText()));
        return Request{QByteArray(), UsageError};
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
    } else {
        print(stdout, QStringLiteral("Torvanix %1\n").arg(QStringLiteral(TORVANIX_VERSION)));
    }
    return Request{QByteArray(), EXIT_SUCCESS};
}

} // namespace

int main(int argc, char* argv[])
{
    const Request request = parseArguments(argc, argv);
    if (request.exitStatus) {
        return *request.exitStatus;
    }
    if (!haveDisplay()) {
        std::fputs("torvanix: no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start it from a desktop session, or try it in a virtual X server:\n"
                   "    xvfb-run -a -s '-screen 0 1280x1024x24' torvanix\n",
                   stderr);
        return EXIT_FAILURE;
    }
    // Qt sees none of the user's arguments, so a file named like one of its own options
    // ("-platform" ...) is still opened as a file.
    std::array<char, sizeof("torvanix")> fallbackName{"torvanix"};
    std::array<char*, 2> qtArguments{argc > 0 ? argv[0] : fallbackName.data(), nullptr};
    int qtArgumentCount = 1;
    QApplication app(qtArgumentCount, qtArguments.data());
    QCoreApplication::setApplicationName(QStringLiteral("Torvanix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TORVANIX_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(TORVANIX_APP_ID));
    // Qt refuses to decode pictures over 128 MiB by default, which is an ordinary 48-megapixel
    // photo; the program's own limit bounds the largest paste instead.
    QImageReader::setAllocationLimit(intake::DecodeLimitMiB);

    const CloseOnSignal closeOnSignal;
    frmTorvanix window(Surroundings{QCoreApplication::applicationDirPath()});
    window.show();
    if (!request.file.isEmpty()) {
        window.openFile(request.file);
    }
    return QApplication::exec();
}
