// Turning a dropped file into the picture: the converter's command line, and loading what it
// wrote into the window's working folder.
#pragma once

#include "PictureFile.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>

namespace intake {

// A file the user named, by the exact bytes of its path, which are what the system knows it by,
// and by the name to show. A name that is not valid UTF-8 shows replacement characters, which
// may well spell another file's name, so only the bytes ever lead to a file.
struct NamedFile {
    QByteArray path;
    QString shown;
    NamedFile() = default;
    explicit NamedFile(QByteArray exactPath);
    // Whether the shown name leads to this same file, so that it may be handed on as text.
    [[nodiscard]] bool isExact() const;
};

// Seconds the converter may take before the drop is given up.
inline constexpr std::int32_t ConversionTimeLimit = 6;

// "<AppFolder>vconvert.exe" "<file>" -auto-orient BMP3:"<WorkFolder>Torvanix.bmp", with each
// path in double quotes. A double quote inside a path is written as three, which the command-line
// splitter reads back as one, so whatever a name holds the converter gets it as exactly one
// argument.
QString converterCommandLine(const QString& AppFolder, const QString& WorkFolder,
                             const QString& droppedFile);

// Whether a dropped path names something the converter may be given: an existing, readable
// regular file (not a folder, device or pipe), by an absolute path, so that it can never be
// taken for an option or for the converter's own "format:" or "[frames]" syntax.
bool isConvertibleFile(const NamedFile& file);

// The name to give the converter for a dropped file: the file's own path, unless it holds a
// character the converter reads as syntax in a name (wildcards, "[frames]", "%d" scenes,
// "@lists", "format:" prefixes); then a link to the file under a plain name in the working
// folder, keeping a plain extension, which the converter may need to tell the format. The same
// link for a name that is not valid UTF-8, made from its exact bytes. Empty when no such link
// can be made.
QString converterInput(const QString& WorkFolder, const NamedFile& droppedFile);

// Removes the link converterInput may have made.
void removeConverterInput(const QString& WorkFolder);

// The picture the conversion wrote: "Torvanix.bmp", or else the first page of a multi-page
// file, "Torvanix-0.bmp", kept at most fit pixels each way for display, with its full pixels
// mapped from the same file. Null when there is none, it does not load, or it is a link.
LoadedPicture loadWorkingPicture(const QString& WorkFolder, QSize fit);

// The image label for a dropped file: " [" + path + "]".
QString dropLabel(const QString& droppedFile);

} // namespace intake
