#include "DropImport.h"

#include "WorkingFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace intake {
namespace {

const QLatin1Char Quote('"');

// One argument in double quotes; a quote inside is tripled, which reads back as one.
QString quoted(QString text)
{
    text.replace(Quote, QStringLiteral("\"\"\""));
    return Quote + text + Quote;
}

// Characters ImageMagick reads as syntax in a file name rather than as part of it.
bool plainForConverter(const QString& path)
{
    static const QString syntax = QStringLiteral("*?[]{}%@:\\");
    return std::none_of(path.cbegin(), path.cend(), [](QChar c) { return syntax.contains(c); });
}

const QString InputLinkBase = QStringLiteral("Torvanix-source");

} // namespace

QString ConverterInput(const QString& AppFolder, const QString& droppedFile)
{
    if (plainForConverter(droppedFile)) {
        return droppedFile;
    }
    RemoveConverterInput(AppFolder);
    static const QRegularExpression plainSuffix(QStringLiteral("^[A-Za-z0-9]{1,10}$"));
    const QString suffix = QFileInfo(droppedFile).suffix();
    QString link = AppFolder + InputLinkBase;
    if (plainSuffix.match(suffix).hasMatch()) {
        link += QLatin1Char('.') + suffix;
    }
    if (!plainForConverter(link) || !QFile::link(droppedFile, link)) {
        return {};
    }
    return link;
}

void RemoveConverterInput(const QString& AppFolder)
{
    DeleteMatching(AppFolder, {InputLinkBase, InputLinkBase + QStringLiteral(".*")},
                   Entries::LinksOnly);
}

QString ConverterCommandLine(const QString& AppFolder, const QString& droppedFile)
{
    // The converter expands %d-style escapes in the name it writes to; "%%" is a plain "%",
    // so an application folder with a "%" in its name still gets its own working file.
    QString output = AppFolder + QLatin1String(SingleWorkingFile);
    output.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return quoted(AppFolder + QStringLiteral("vconvert.exe")) + QLatin1Char(' ') +
           quoted(droppedFile) + QStringLiteral(" BMP3:") + quoted(output);
}

bool IsConvertibleFile(const QString& path)
{
    const QFileInfo file(path);
    return file.isAbsolute() && file.isFile() && file.isReadable();
}

LoadedPicture LoadWorkingPicture(const QString& AppFolder, QSize fit)
{
    const QFileInfo single(AppFolder + QLatin1String(SingleWorkingFile));
    const QFileInfo first(AppFolder + QLatin1String(FirstPageWorkingFile));
    const QFileInfo& written = single.exists() ? single : first;
    // The converter only ever writes plain files; a link here was planted, not written.
    if (written.isSymLink() || !written.isFile()) {
        return {};
    }
    return ReadBmp(written.filePath(), fit);
}

QString DropLabel(const QString& droppedFile)
{
    return QStringLiteral(" [") + droppedFile + QLatin1Char(']');
}

} // namespace intake
