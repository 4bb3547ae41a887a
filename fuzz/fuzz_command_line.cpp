// The converter's command line for any file name: split again, it gives back exactly the
// program, that name, and the output argument.
#include "FuzzInput.h"

#include "DropImport.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    // The application folder from the front of the input, the file name from the rest, read
    // as UTF-16 so that every code unit, lone surrogates included, can turn up.
    const auto folderLength = input.take<std::uint8_t>() % 32U;
    const std::string folderBytes = input.takeBytes(folderLength);
    const std::string nameBytes = input.takeBytes(input.left());
    const QString appFolder =
        QLatin1Char('/') +
        QString::fromUtf8(folderBytes.data(), static_cast<qsizetype>(folderBytes.size())) +
        QLatin1Char('/');
    const QString name = QString(reinterpret_cast<const QChar*>(nameBytes.data()),
                                 static_cast<qsizetype>(nameBytes.size() / 2));
    // A file name is never empty and never holds a NUL.
    if (name.isEmpty() || name.contains(QChar(u'\0')) || appFolder.contains(QChar(u'\0'))) {
        return 0;
    }
    // The working folder is another folder of the same kind.
    const QString workFolder = appFolder + QStringLiteral("work/");
    QString output = workFolder + QStringLiteral("Torvanix.bmp");
    output.replace(QLatin1Char('%'), QStringLiteral("%%"));
    const QStringList expected{appFolder + QStringLiteral("vconvert.exe"), name,
                               QStringLiteral("-auto-orient"), QStringLiteral("BMP3:") + output};
    if (QProcess::splitCommand(intake::converterCommandLine(appFolder, workFolder, name)) !=
        expected) {
        std::abort();
    }
    return 0;
}
