#include "WorkingFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>

#include <unistd.h>

namespace intake {
namespace {

const QString LockName = QStringLiteral("window.lock");
constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

// A lock counts as stale only when its process is gone, never by age: a window may run for days.
std::unique_ptr<QLockFile> lockIn(const QString& folder)
{
    auto lock = std::make_unique<QLockFile>(folder + LockName);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        return nullptr;
    }
    return lock;
}

bool ensureParent(const WorkingPlace& place)
{
    const QFileInfo parent(place.parent);
    if (parent.isDir()) {
        return true;
    }
    if (!place.makeParent || parent.exists() || parent.isSymLink()) {
        return false;
    }
    // Only the last step is ours to make private; the folders above it belong to the desktop.
    return QDir().mkpath(parent.absolutePath()) && QDir().mkdir(place.parent, OwnerOnly);
}

// Whether the converter can use a folder: plain for it, and kept as it is in the commands of
// its delegates (the raw decoder's), which turn every character but printable ASCII, and the
// single quote, into "_": a picture there would be looked for in another folder.
bool usableForConverter(const QString& folder)
{
    return plainForConverter(folder) && std::all_of(folder.cbegin(), folder.cend(), [](QChar c) {
               return c.unicode() >= u' ' && c.unicode() <= u'~' && c != QLatin1Char('\'');
           });
}

// A new private folder in place, locked; empty when it cannot be made there.
QString makeIn(const WorkingPlace& place, std::unique_ptr<QLockFile>& lock)
{
    if (!ensureParent(place)) {
        return {};
    }
    // The converter sees the real path, so that is the one that must be plain.
    const QString parent = QFileInfo(place.parent).canonicalFilePath();
    if (parent.isEmpty() || !usableForConverter(parent)) {
        return {};
    }
    QTemporaryDir made(parent + QLatin1Char('/') + place.prefix + QStringLiteral("XXXXXX"));
    if (!made.isValid()) {
        return {};
    }
    made.setAutoRemove(false);
    QString folder = made.path() + QLatin1Char('/');
    if (!usableForConverter(folder)) {
        QDir(folder).removeRecursively();
        return {};
    }
    lock = lockIn(folder);
    if (lock == nullptr) {
        QDir(folder).removeRecursively();
        return {};
    }
    return folder;
}

} // namespace

QList<WorkingPlace> defaultWorkingPlaces()
{
    // The cache base must be absolute; a relative XDG_CACHE_HOME is ignored, as the desktop's
    // base-directory rules say.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache)) {
        cache = QDir::homePath() + QStringLiteral("/.cache");
    }
    QList<WorkingPlace> places{
        {QDir::cleanPath(cache + QStringLiteral("/torvanix")), QStringLiteral("window-"), true},
        {QDir::tempPath(), QStringLiteral("torvanix-"), false},
    };
    const QString tmp = QStringLiteral("/tmp");
    if (QDir::cleanPath(QDir::tempPath()) != tmp) {
        places.append({tmp, QStringLiteral("torvanix-"), false});
    }
    return places;
}

bool plainForConverter(const QString& path)
{
    static const QString syntax = QStringLiteral("*?[]{}%@:\\");
    return std::none_of(path.cbegin(), path.cend(), [](QChar c) { return syntax.contains(c); });
}

WorkingFolder::WorkingFolder(const QList<WorkingPlace>& places)
{
    removeAbandonedWorkingFolders(places);
    for (const WorkingPlace& place : places) {
        m_tried.append(place.parent);
        m_path = makeIn(place, m_lock);
        if (!m_path.isEmpty()) {
            return;
        }
    }
}

WorkingFolder::~WorkingFolder()
{
    remove();
}

void WorkingFolder::clear() const
{
    if (!isValid()) {
        return;
    }
    const QFileInfoList entries = QDir(m_path).entryInfoList(QDir::AllEntries | QDir::System |
                                                             QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.fileName() == LockName) {
            continue;
        }
        if (entry.isDir() && !entry.isSymLink()) {
            QDir(entry.filePath()).removeRecursively();
        } else {
            QFile::remove(entry.filePath());
        }
    }
}

void WorkingFolder::remove()
{
    if (!isValid()) {
        return;
    }
    // The folder goes first and the lock last, so no other window ever finds an unlocked folder
    // that is still in use.
    clear();
    m_lock->unlock();
    m_lock.reset();
    QDir().rmdir(m_path);
    m_path.clear();
}

void removeAbandonedWorkingFolders(const QList<WorkingPlace>& places)
{
    const uint me = ::geteuid();
    for (const WorkingPlace& place : places) {
        const QFileInfoList folders =
            QDir(place.parent)
                .entryInfoList({place.prefix + QLatin1Char('*')},
                               QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QFileInfo& folder : folders) {
            // A folder without a lock may be one another window is just making: left alone.
            const QString path = folder.filePath() + QLatin1Char('/');
            if (folder.isSymLink() || folder.ownerId() != me ||
                !QFileInfo::exists(path + LockName)) {
                continue;
            }
            if (const auto lock = lockIn(path)) {
                // Ours now; nobody else uses or makes a folder of this name again.
                lock->unlock();
                QDir(path).removeRecursively();
            }
        }
    }
}

} // namespace intake
