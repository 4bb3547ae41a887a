// Runs the window's test classes in one program, under the offscreen platform.
#include "PictureFile.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

int runWindowTest(int argc, char** argv);
int runKeysTest(int argc, char** argv);
int runDropTest(int argc, char** argv);

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Windows make their working folders in a cache of the tests' own.
    const QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    QApplication app(argc, argv);
    // As the program does: large pictures must decode.
    QImageReader::setAllocationLimit(intake::DecodeLimitMiB);
    int failures = 0;
    failures += runWindowTest(argc, argv);
    failures += runKeysTest(argc, argv);
    failures += runDropTest(argc, argv);
    return failures == 0 ? 0 : 1;
}
