// Telling the user why a file or a paste brought no picture: the reason, in plain words, with
// the converter's own first error line where it gave one.
#pragma once

#include <QByteArray>
#include <QString>

namespace intake {

// Why a dropped or opened file brought no picture; each reason has its own wording.
enum class ReadFailure {
    CannotOpen,  // gone, a folder, a device, or no permission
    NotAPicture, // nothing ImageMagick reads as a picture
    Refused,     // ImageMagick's security policy refuses its format
    TooLarge,    // beyond ImageMagick's size limits
    TimedOut,    // converting took longer than the time limit
};

// Why a paste brought no picture.
enum class PasteFailure {
    NoPicture, // nothing on the clipboard is a picture the program takes
    TooLarge,  // more pixels than a paste may have
    CutShort,  // a picture whose data ends early
};

// Why the file of this exact path cannot be handed to the converter, in a few plain words
// ("there is no such file", "it is a folder", "permission denied" ...); empty when it can.
QString whyUnopenable(const QByteArray& path);

// The first line of the converter's error output that says why it failed, without the
// program's name before it or the source location after it; a path in it given as input is
// shown as fileName, any other path by its last part. Empty when it gave none.
QString converterErrorLine(const QByteArray& errorOutput, const QString& input,
                           const QString& fileName);

// The reason a converter error line names; fileName as the line shows the file.
ReadFailure classifyConverterError(const QString& line, const QString& fileName);

// The notice for a file that brought no picture, naming it by its file name: detail after a
// colon, or the reason's own words when detail is empty.
QString readFailureNotice(ReadFailure why, const QString& path, const QString& detail = {});

// The notice for a conversion that brought no picture: over the limit when timedOut, otherwise
// what the converter's error output tells.
QString conversionFailureNotice(const QString& path, const QString& input, bool timedOut,
                                const QByteArray& errorOutput);

QString pasteFailureNotice(PasteFailure why);

} // namespace intake
