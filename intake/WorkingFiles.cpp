#include "WorkingFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace intake {

void deleteMatching(const QString& folder, const QStringList& patterns, Entries which)
{
    // System lists dangling links too, so a link planted under a matching name is removed.
    const QFileInfoList entries =
        QDir(folder).entryInfoList(patterns, QDir::AllEntries | QDir::System | QDir::Hidden |
                                                 QDir::NoDotAndDotDot | QDir::CaseSensitive);
    for (const QFileInfo& entry : entries) {
        const bool wanted =
            entry.isSymLink() || (which == Entries::FilesAndLinks && !entry.isDir());
        if (wanted) {
            QFile::remove(entry.absoluteFilePath());
        }
    }
}

void deleteWorkingFiles(const QString& folder)
{
    deleteMatching(folder, {QString::fromLatin1(WorkingFilePattern)}, Entries::FilesAndLinks);
}

} // namespace intake
