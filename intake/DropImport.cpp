#include "DropImport.h"

#include "ReadFailure.h"
#include "WorkingFiles.h"
#include "WorkingFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

namespace intake {
namespace {

const QLatin1Char Quote('"');

// One argument in double quotes; a quote inside is tripled, which reads back as one.
QString quoted(QString text)
{
    text.replace(Quote, QStringLiteral("\"\"\""));
    return Quote + text + Quote;
}

const QString InputLinkBase = QStringLiteral("Torvanix-source");
const QString AutoOrient = QStringLiteral("-auto-orient");

} // namespace

NamedFile::NamedFile(QByteArray exactPath)
    : path(std::move(exactPath))
    , shown(QFile::decodeName(path))
{
}

bool NamedFile::isExact() const
{
    return QFile::encodeName(shown) == path;
}

QString converterInput(const QString& WorkFolder, const NamedFile& droppedFile)
{
    if (droppedFile.isExact() && plainForConverter(droppedFile.shown)) {
        return droppedFile.shown;
    }
    removeConverterInput(WorkFolder);
    static const QRegularExpression plainSuffix(QStringLiteral("^[A-Za-z0-9]{1,10}$"));
    const QString suffix = QFileInfo(droppedFile.shown).suffix();
    QString link = WorkFolder + InputLinkBase;
    if (plainSuffix.match(suffix).hasMatch()) {
        link += QLatin1Char('.') + suffix;
    }
    // The link leads to the exact bytes named, never to a file whose name merely reads the same.
    if (!plainForConverter(link) ||
        ::symlink(droppedFile.path.constData(), QFile::encodeName(link).constData()) != 0) {
        return {};
    }
    return link;
}

void removeConverterInput(const QString& WorkFolder)
{
    deleteMatching(WorkFolder, {InputLinkBase, InputLinkBase + QStringLiteral(".*")},
                   Entries::LinksOnly);
}

QString converterCommandLine(const QString& AppFolder, const QString& WorkFolder,
                             const QString& droppedFile)
{
    // The converter expands %d-style escapes in the name it writes to; "%%" is a plain "%", so
    // even a working folder with a "%" in its name would still get its own working file.
    QString output = WorkFolder + QLatin1String(SingleWorkingFile);
    output.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // Photos stored on their side with an orientation tag are turned upright, so the readout
    // measures the picture as its owner sees it.
    return quoted(AppFolder + QStringLiteral("vconvert.exe")) + QLatin1Char(' ') +
           quoted(droppedFile) + QLatin1Char(' ') + AutoOrient + QStringLiteral(" BMP3:") +
           quoted(output);
}

bool isConvertibleFile(const NamedFile& file)
{
    return whyUnopenable(file.path).isEmpty();
}

LoadedPicture loadWorkingPicture(const QString& WorkFolder, QSize fit)
{
    const QFileInfo single(WorkFolder + QLatin1String(SingleWorkingFile));
    const QFileInfo first(WorkFolder + QLatin1String(FirstPageWorkingFile));
    const QFileInfo& written = single.exists() ? single : first;
    // The converter only ever writes plain files; a link here was planted, not written.
    if (written.isSymLink() || !written.isFile()) {
        return {};
    }
    LoadedPicture loaded = readBmp(written.filePath(), fit);
    if (!loaded.isNull()) {
        loaded.full = FullPicture::fromBmp(written.filePath());
    }
    return loaded;
}

QString dropLabel(const QString& droppedFile)
{
    return QStringLiteral(" [") + droppedFile + QLatin1Char(']');
}

} // namespace intake
