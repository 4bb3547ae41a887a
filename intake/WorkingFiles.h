// The working files the converter writes into the application folder.
#pragma once

#include <QString>

namespace intake {

// Names the converter writes: "Torvanix.bmp", or "Torvanix-0.bmp", "Torvanix-1.bmp" ... for a
// picture file holding several images.
inline constexpr auto WorkingFilePattern = "Torvanix*.bmp";

// Deletes every entry of appFolder whose name matches Torvanix*.bmp (case-sensitive), links
// included but not what they point to; real folders are left alone and each failure is ignored.
// Nothing else is ever deleted.
void DeleteWorkingFiles(const QString& appFolder);

} // namespace intake
