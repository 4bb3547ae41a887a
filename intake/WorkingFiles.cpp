#include "WorkingFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace intake {

void DeleteWorkingFiles(const QString& appFolder)
{
    const QDir folder(appFolder);
    // System lists dangling links too, so a link planted under a working name is removed.
    const QFileInfoList entries = folder.entryInfoList(
        {QString::fromLatin1(WorkingFilePattern)}, QDir::AllEntries | QDir::System | QDir::Hidden |
                                                       QDir::NoDotAndDotDot | QDir::CaseSensitive);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink()) {
            continue;
        }
        QFile::remove(entry.absoluteFilePath());
    }
}

} // namespace intake
