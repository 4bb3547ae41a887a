// BMP files that lie: headers of every kind the readers know, followed by whatever bytes, cut
// anywhere. Neither the display reader nor the full-resolution reader may read past the file
// or crash; a full picture it opens has the size its header claims and gives every region and
// row of colours asked of it.
#include "FuzzInput.h"

#include "BmpLayout.h"
#include "FullPicture.h"
#include "PictureFile.h"

#include <QDir>
#include <QFile>
#include <QRect>

#include <array>
#include <cstdlib>
#include <vector>

namespace {

// Small enough that each input is read quickly all over.
constexpr std::uint32_t LargestFuzzedSide = 300;

void put(QByteArray& file, qsizetype at, std::uint32_t value)
{
    file.replace(at, 4, reinterpret_cast<const char*>(&value), 4);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    constexpr std::array<std::uint16_t, 7> depths{1, 4, 8, 16, 24, 32, 0};
    constexpr std::array<std::uint32_t, 5> kinds{intake::bmp::Uncompressed, intake::bmp::RunLength8,
                                                 intake::bmp::BitFields, intake::bmp::RunLength4,
                                                 9};
    const auto width = input.take<std::uint16_t>() % LargestFuzzedSide;
    auto height = static_cast<std::int32_t>(input.take<std::uint16_t>() % LargestFuzzedSide);
    if (input.take<std::uint8_t>() % 2 == 0) {
        height = -height;
    }
    const auto depth = depths.at(input.take<std::uint8_t>() % depths.size());
    const auto kind = kinds.at(input.take<std::uint8_t>() % kinds.size());
    const auto colours = input.take<std::uint16_t>() % 300U;
    const auto offset = input.take<std::uint16_t>() % 2048U;

    QByteArray file(intake::bmp::HeaderSize, '\0');
    file[0] = 'B';
    file[1] = 'M';
    put(file, 10, offset);
    put(file, 14, intake::bmp::InfoHeaderSize);
    put(file, 18, width);
    put(file, 22, static_cast<std::uint32_t>(height));
    file[28] = static_cast<char>(depth);
    put(file, 30, kind);
    put(file, 46, colours);
    const std::string rest = input.takeBytes(input.left());
    file.append(rest.data(), static_cast<qsizetype>(rest.size()));

    const QString path = QDir::tempPath() + QStringLiteral("/fuzz_bmp.bmp");
    QFile written(path);
    if (!written.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        written.write(file) != file.size()) {
        return 0;
    }
    written.close();

    static_cast<void>(intake::readBmp(path, QSize(64, 64)));
    const auto full = intake::FullPicture::fromBmp(path);
    if (!full) {
        return 0;
    }
    const qint64 rows = height < 0 ? -qint64(height) : height;
    if (full->width() != width || full->height() != rows) {
        std::abort();
    }
    const QRect whole(0, 0, static_cast<int>(width), static_cast<int>(rows));
    for (const QRect& area : {whole, whole.adjusted(-3, -2, 5, 7), QRect(-5, -5, 10, 10)}) {
        if (full->region(area).size() != area.size()) {
            std::abort();
        }
    }
    std::vector<float> colour(static_cast<std::size_t>(width) * 3);
    for (qint64 y = 0; y < rows; ++y) {
        full->readRow(y, 0, width, colour.data());
        for (const float level : colour) {
            if (!(level >= 0.0F && level <= 255.0F)) {
                std::abort();
            }
        }
    }
    return 0;
}
