// Each window's private working folder: the converter writes its pictures and its own temporary
// files there, so several windows never see each other's pictures and a read-only installation
// works for every user.
#pragma once

#include <QList>
#include <QLockFile>
#include <QString>

#include <memory>

namespace intake {

// A folder under which a working folder may be made, and how its name begins.
struct WorkingPlace {
    QString parent;
    QString prefix;
    // Whether the parent may be created (the cache folder may not exist yet; the temporary folder
    // must).
    bool makeParent = false;
};

// Where a window makes its working folder, in order: the user's cache ($XDG_CACHE_HOME/torvanix,
// by default ~/.cache/torvanix: big pictures need disk, not the memory-backed runtime folder),
// then the system's temporary folder, then /tmp.
QList<WorkingPlace> defaultWorkingPlaces();

// Whether the converter would read a character of this path as syntax rather than as part of a
// name (wildcards, "[frames]", "%d" scenes, "@lists", "format:" prefixes, escapes).
bool plainForConverter(const QString& path);

class WorkingFolder {
public:
    // Removes what windows that are no longer running left in these places, then makes a private
    // folder (mode 0700) in the first place where that works and whose real path is plain for the
    // converter. A lock file inside marks it as in use for as long as this object lives.
    explicit WorkingFolder(const QList<WorkingPlace>& places);
    // Removes the folder with everything in it.
    ~WorkingFolder();

    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    [[nodiscard]] bool isValid() const { return !m_path.isEmpty(); }
    // The folder with a trailing "/"; empty when none could be made.
    [[nodiscard]] const QString& path() const { return m_path; }
    // The places tried, for telling the user where a folder could not be made.
    [[nodiscard]] const QStringList& tried() const { return m_tried; }

    // Removes everything in the folder but its lock: what a conversion that was given up wrote.
    void clear() const;
    // Removes the folder now; the object is then no longer valid.
    void remove();

private:
    QString m_path;
    QStringList m_tried;
    std::unique_ptr<QLockFile> m_lock;
};

// Removes the working folders in these places whose window is no longer running: their lock is
// stale (its process is gone). A running window's folder, or anything not owned by this user,
// is never touched.
void removeAbandonedWorkingFolders(const QList<WorkingPlace>& places);

} // namespace intake
