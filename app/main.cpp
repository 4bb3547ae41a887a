#include "PictureFile.h"
#include "frmTorvanix.h"

#include <QApplication>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>

namespace {

bool haveDisplay()
{
    return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
           std::getenv("QT_QPA_PLATFORM") != nullptr;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!haveDisplay()) {
        std::fputs("torvanix: no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start it from a desktop session, or try it in a virtual X server:\n"
                   "    xvfb-run -a -s '-screen 0 1280x1024x24' torvanix\n",
                   stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Torvanix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TORVANIX_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("torvanix"));
    // Qt refuses to decode pictures over 128 MiB by default, which is an ordinary 48-megapixel
    // photo; the program's own limit bounds the largest paste instead.
    QImageReader::setAllocationLimit(intake::DecodeLimitMiB);

    frmTorvanix window(Surroundings{QCoreApplication::applicationDirPath()});
    window.show();
    return QApplication::exec();
}
