// The working files the converter writes into a window's working folder.
#pragma once

#include <QString>
#include <QStringList>

namespace intake {

// Names the converter writes: "Torvanix.bmp", or "Torvanix-0.bmp", "Torvanix-1.bmp" ... for a
// picture file holding several images.
inline constexpr auto WorkingFilePattern = "Torvanix*.bmp";
inline constexpr auto SingleWorkingFile = "Torvanix.bmp";
inline constexpr auto FirstPageWorkingFile = "Torvanix-0.bmp";

// Deletes every entry of folder whose name matches Torvanix*.bmp (case-sensitive), links
// included but not what they point to; real folders are left alone and each failure is ignored.
// Nothing else is ever deleted.
void deleteWorkingFiles(const QString& folder);

enum class Entries { FilesAndLinks, LinksOnly };

// Deletes the entries of folder whose names match one of the patterns (case-sensitive): plain
// files and links, or links only; never a real folder, never what a link points to. Each
// failure is ignored.
void deleteMatching(const QString& folder, const QStringList& patterns, Entries which);

} // namespace intake
