#include "PictureFile.h"

#include "BmpLayout.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <array>
#include <optional>
#include <vector>

namespace intake {
namespace {

using bmp::AlphaBitFields;
using bmp::BitFields;
using bmp::RunLength4;
using bmp::RunLength8;
using bmp::Uncompressed;

// Run-length data ends with this code; a file cut short has lost it.
const QByteArray EndOfBitmap = QByteArrayLiteral("\x00\x01");

// JPEG markers.
constexpr uchar MarkerPrefix = 0xFF;
constexpr uchar StartOfScan = 0xDA;
const QByteArray EndOfImage = QByteArrayLiteral("\xFF\xD9");

// Where a PNG's header says whether the picture is interlaced: after the signature (8 bytes),
// the header chunk's length and type (8) and its width, height, depth, colour type,
// compression and filter fields (4 + 4 + 1 + 1 + 1 + 1).
constexpr qsizetype PngInterlaceAt = 28;
constexpr qsizetype StartOfImageSize = 2;
constexpr qsizetype SegmentHeaderSize = 4;

using Header = std::array<char, bmp::HeaderSize>;

// Centre sampling: which of `from` source positions output position `i` of `to` shows.
qint64 sampleAt(qint64 i, qint64 from, qint64 to)
{
    return (2 * i + 1) * from / (2 * to);
}

// Whether all the pixel data the header describes is there: Qt's reader fills whatever is
// missing with black and reports success.
bool pixelDataPresent(QIODevice& device, const bmp::Layout& layout)
{
    switch (layout.compression) {
    case Uncompressed:
    case BitFields:
    case AlphaBitFields:
        return layout.bitCount > 0 &&
               layout.dataOffset + layout.stride() * layout.height <= device.size();
    case RunLength8:
    case RunLength4:
        return device.seek(device.size() - EndOfBitmap.size()) &&
               device.read(EndOfBitmap.size()) == EndOfBitmap;
    default:
        return false;
    }
}

LoadedPicture readWithQt(QIODevice& device, QSize fit)
{
    if (!device.seek(0)) {
        return {};
    }
    QImageReader reader(&device, "bmp");
    const QImage picture = reader.read();
    if (picture.isNull()) {
        return {};
    }
    return {fitForDisplay(picture, fit), picture.size(), nullptr};
}

// A scan's coded data holds no marker prefix but before a zero or a restart code, so once the
// first scan starts, the end-of-image marker is found by a plain search. Qt's reader fills the
// rest of a JPEG cut short with grey and reports success.
bool jpegComplete(const QByteArray& bytes)
{
    qsizetype at = StartOfImageSize;
    while (at + SegmentHeaderSize <= bytes.size() &&
           static_cast<uchar>(bytes[at]) == MarkerPrefix) {
        const auto marker = static_cast<uchar>(bytes[at + 1]);
        if (marker == MarkerPrefix) {
            ++at; // fill byte
            continue;
        }
        if (marker == StartOfScan) {
            return bytes.indexOf(EndOfImage, at) >= 0;
        }
        const qsizetype length = static_cast<qsizetype>(static_cast<uchar>(bytes[at + 2])) << 8 |
                                 static_cast<uchar>(bytes[at + 3]);
        at += 2 + length;
    }
    return false;
}

bool keptSize(QSize size)
{
    return static_cast<qint64>(size.width()) * size.height() <= LargestKeptPixels;
}

} // namespace

QImage fitForDisplay(const QImage& picture, QSize fit)
{
    const QSize fitted = picture.size().boundedTo(fit.expandedTo(QSize(1, 1)));
    if (fitted == picture.size()) {
        return picture;
    }
    return picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

std::shared_ptr<const FullPicture> keptFullPicture(QImage picture)
{
    return keptSize(picture.size()) ? FullPicture::fromImage(std::move(picture)) : nullptr;
}

bool pastableSize(QSize size)
{
    return !size.isEmpty() && size.width() <= bmp::LargestSide &&
           size.height() <= bmp::LargestSide &&
           static_cast<qint64>(size.width()) * size.height() <= LargestPastedPixels;
}

LoadedPicture readBmp(const QString& path, QSize fit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return {};
    }
    return readBmp(file, fit);
}

LoadedPicture readBmp(QIODevice& file, QSize fit)
{
    Header header{};
    if (!file.seek(0) ||
        file.read(header.data(), header.size()) != static_cast<qint64>(header.size())) {
        return {};
    }
    const std::optional<bmp::Layout> layout = bmp::readLayout(header);
    if (!layout) {
        return {};
    }
    if (layout->bitCount != 24 || layout->compression != Uncompressed) {
        if (!pixelDataPresent(file, *layout)) {
            return {};
        }
        return readWithQt(file, fit);
    }
    const qint64 width = layout->width;
    const qint64 height = layout->height;
    const qint64 dataOffset = layout->dataOffset;
    const bool bottomUp = layout->bottomUp;
    const qint64 rowBytes = width * 3;
    const qint64 stride = layout->stride();
    if (dataOffset + stride * height > file.size()) {
        return {};
    }

    const QSize pixelSize(static_cast<int>(width), static_cast<int>(height));
    const QSize shown = pixelSize.boundedTo(fit.expandedTo(QSize(1, 1)));
    QImage display(shown, QImage::Format_RGB32);
    if (display.isNull()) {
        return {};
    }
    std::vector<qsizetype> columns(static_cast<std::size_t>(shown.width()));
    for (qsizetype x = 0; x < shown.width(); ++x) {
        columns[static_cast<std::size_t>(x)] = 3 * sampleAt(x, width, shown.width());
    }
    QByteArray row(static_cast<qsizetype>(rowBytes), Qt::Uninitialized);
    const auto* bgr = reinterpret_cast<const uchar*>(row.constData());
    for (int y = 0; y < shown.height(); ++y) {
        const qint64 source = sampleAt(y, height, shown.height());
        const qint64 fileRow = bottomUp ? height - 1 - source : source;
        if (!file.seek(dataOffset + fileRow * stride) ||
            file.read(row.data(), rowBytes) != rowBytes) {
            return {};
        }
        auto* out = reinterpret_cast<QRgb*>(display.scanLine(y));
        for (std::size_t x = 0; x < columns.size(); ++x) {
            const uchar* pixel = bgr + columns[x];
            out[x] = qRgb(pixel[2], pixel[1], pixel[0]);
        }
    }
    return {std::move(display), pixelSize, nullptr};
}

LoadedPicture readPicture(const QByteArray& bytes, QSize fit)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return {};
    }
    // The content tells the format, whatever type the offer was labelled with.
    QImageReader reader(&buffer);
    // A photo stored on its side is turned upright as its orientation tag says. The header
    // tells the stored size, and a scaled decode is asked in stored geometry; the turn comes
    // after, so for a quarter turn both are transposed here.
    reader.setAutoTransform(true);
    const bool quarterTurn =
        reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    const QByteArray format = reader.format();
    const QSize size = quarterTurn ? reader.size().transposed() : reader.size();
    if (!pastableSize(size)) {
        return {};
    }
    const bool keep = keptSize(size);
    if (format == "bmp") {
        LoadedPicture loaded = readBmp(buffer, fit);
        if (keep && !loaded.isNull() && buffer.seek(0)) {
            loaded.full = keptFullPicture(QImageReader(&buffer, "bmp").read());
        }
        return loaded;
    }
    // Only formats whose completeness can be told are taken.
    if (format == "jpeg" ? !jpegComplete(bytes) : format != "png") {
        return {};
    }
    // Qt's PNG and JPEG readers can scale down while decoding, holding a few rows rather than
    // the whole picture: for pictures they decode at 4 bytes a pixel, and for PNG only when not
    // interlaced. Otherwise they would decode whole and convert the whole picture again to
    // scale it, so those are decoded as they are and sampled down here.
    const QSize shown = size.boundedTo(fit.expandedTo(QSize(1, 1)));
    const QImage::Format decoded = reader.imageFormat();
    const bool interlaced =
        format == "png" && bytes.size() > PngInterlaceAt && bytes[PngInterlaceAt] != 0;
    // A picture whose full pixels are kept is decoded whole once, the display copy taken from it.
    if (!keep && shown != size && !interlaced &&
        (decoded == QImage::Format_RGB32 || decoded == QImage::Format_ARGB32)) {
        reader.setScaledSize(quarterTurn ? shown.transposed() : shown);
    }
    QImage picture = reader.read();
    if (picture.isNull()) {
        return {};
    }
    // The kept picture takes over the decoded one, so that turning it opaque needs no copy.
    QImage display = fitForDisplay(picture, fit);
    return {std::move(display), size, keep ? keptFullPicture(std::move(picture)) : nullptr};
}

} // namespace intake
