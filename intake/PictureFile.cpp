#include "PictureFile.h"

#include <QFile>
#include <QImageReader>

#include <array>
#include <cstring>
#include <vector>

namespace intake {
namespace {

constexpr qsizetype FileHeaderSize = 14;
constexpr qsizetype InfoHeaderSize = 40;
// Larger than any picture a converter writes; beyond it the header is not believed.
constexpr qint64 LargestSide = qint64(1) << 20;

using Header = std::array<char, FileHeaderSize + InfoHeaderSize>;

template <typename T> T field(const Header& header, std::size_t at)
{
    T value{};
    std::memcpy(&value, header.data() + at, sizeof(T));
    return value; // BMP is little-endian, as is every machine this runs on
}

// Centre sampling: which of `from` source positions output position `i` of `to` shows.
qint64 sampleAt(qint64 i, qint64 from, qint64 to)
{
    return (2 * i + 1) * from / (2 * to);
}

LoadedPicture readWithQt(const QString& path, QSize fit)
{
    QImageReader reader(path, "bmp");
    const QImage picture = reader.read();
    if (picture.isNull()) {
        return {};
    }
    return {FitForDisplay(picture, fit), picture.size()};
}

} // namespace

QImage FitForDisplay(const QImage& picture, QSize fit)
{
    const QSize fitted = picture.size().boundedTo(fit.expandedTo(QSize(1, 1)));
    if (fitted == picture.size()) {
        return picture;
    }
    return picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

LoadedPicture ReadBmp(const QString& path, QSize fit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return {};
    }
    Header header{};
    if (file.read(header.data(), header.size()) != static_cast<qint64>(header.size()) ||
        header[0] != 'B' || header[1] != 'M') {
        return {};
    }
    const auto dataOffset = field<quint32>(header, 10);
    const auto infoSize = field<quint32>(header, 14);
    const auto width = static_cast<qint64>(field<qint32>(header, 18));
    const auto storedHeight = static_cast<qint64>(field<qint32>(header, 22));
    const auto bitCount = field<quint16>(header, 28);
    const auto compression = field<quint32>(header, 30);
    if (bitCount != 24 || compression != 0 || infoSize < InfoHeaderSize) {
        file.close();
        return readWithQt(path, fit);
    }
    // Rows run bottom-up unless the height is negative.
    const bool bottomUp = storedHeight > 0;
    const qint64 height = bottomUp ? storedHeight : -storedHeight;
    const qint64 rowBytes = width * 3;
    const qint64 stride = (rowBytes + 3) / 4 * 4;
    if (width <= 0 || height <= 0 || width > LargestSide || height > LargestSide ||
        dataOffset < FileHeaderSize + InfoHeaderSize ||
        dataOffset + stride * height > file.size()) {
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
    return {std::move(display), pixelSize};
}

} // namespace intake
