// Reading pictures for display: a picture keeps its own pixel size for the readout, and a copy
// sampled down to what a screen can show; its full-resolution pixels stay in the converter's
// file, or are kept whole only for a paste of at most LargestKeptPixels.
#pragma once

#include "FullPicture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class QIODevice;

namespace intake {

// Qt's decoders refuse to allocate more than this for one picture (a process-wide setting): a
// 256-megapixel picture at 4 bytes a pixel, the largest paste, fits; the converter's 128
// megapixels for drops fit twice over.
inline constexpr int DecodeLimitMiB = 1024;
// The most pixels a pasted picture may have, read from its header before anything is decoded.
inline constexpr qint64 LargestPastedPixels = 256'000'000;
// The most pixels a pasted picture may have for its full-resolution pixels to be kept, decoded
// at 4 bytes a pixel (256 MB); a larger one offers only its display copy.
inline constexpr qint64 LargestKeptPixels = 64'000'000;

struct LoadedPicture {
    QImage display;  // at most the fit size each way; the whole picture otherwise
    QSize pixelSize; // the picture's own size
    std::shared_ptr<const FullPicture> full; // its full-resolution pixels; null when not kept
    [[nodiscard]] bool isNull() const { return display.isNull(); }
};

// The picture sampled down to fit within fit (each axis on its own), or as it is when it fits.
QImage fitForDisplay(const QImage& picture, QSize fit);

// The decoded picture, kept for its full-resolution pixels when it has at most
// LargestKeptPixels; null otherwise.
std::shared_ptr<const FullPicture> keptFullPicture(QImage picture);

// Whether a picture of this size may be pasted: not empty, at most LargestPastedPixels, and no
// side longer than the readout can express.
bool pastableSize(QSize size);

// Reads a BMP file. Uncompressed 24-bit files, the kind the converter writes for photos, are
// read row by row, only the rows and columns the fitted copy needs, so a 100-megapixel picture
// never has to be held whole; other kinds go through Qt's reader. Null when the file is not a
// readable BMP, is cut short, or claims more than it holds.
LoadedPicture readBmp(const QString& path, QSize fit);
// The same from an open device that can seek, read from its start.
LoadedPicture readBmp(QIODevice& file, QSize fit);

// Reads a PNG, BMP or JPEG picture held in memory, as another program offers it. Null unless
// it is one of those, its size is pastable (told by its header, before decoding), and its data
// decode completely: a picture cut short is never shown as if it were whole.
LoadedPicture readPicture(const QByteArray& bytes, QSize fit);

} // namespace intake
