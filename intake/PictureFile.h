// Reading pictures for display: a picture keeps its own pixel size for the readout, but only a
// copy sampled down to what a screen can show is kept in memory.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace intake {

struct LoadedPicture {
    QImage display;  // at most the fit size each way; the whole picture otherwise
    QSize pixelSize; // the picture's own size
    [[nodiscard]] bool isNull() const { return display.isNull(); }
};

// The picture sampled down to fit within fit (each axis on its own), or as it is when it fits.
QImage FitForDisplay(const QImage& picture, QSize fit);

// Reads a BMP file. Uncompressed 24-bit files, the kind the converter writes for photos, are
// read row by row, only the rows and columns the fitted copy needs, so a 100-megapixel picture
// never has to be held whole; other kinds go through Qt's reader. Null when the file is not a
// readable BMP, is cut short, or claims more than it holds.
LoadedPicture ReadBmp(const QString& path, QSize fit);

} // namespace intake
