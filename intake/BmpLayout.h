// A BMP file's layout as its headers tell it, for the readers of the converter's BMPs: the
// display copy's and the full-resolution pixels'.
#pragma once

#include <QtGlobal>

#include <cstring>
#include <optional>
#include <span>

namespace intake::bmp {

inline constexpr qsizetype FileHeaderSize = 14;
inline constexpr qsizetype InfoHeaderSize = 40;
inline constexpr qsizetype HeaderSize = FileHeaderSize + InfoHeaderSize;
// Larger than any picture a converter writes; beyond it the header is not believed. Also the
// longest side a paste may have, whose size in HIMETRIC still fits the readout's 32 bits.
inline constexpr qint64 LargestSide = qint64(1) << 20;

// Compression kinds.
inline constexpr quint32 Uncompressed = 0;
inline constexpr quint32 RunLength8 = 1;
inline constexpr quint32 RunLength4 = 2;
inline constexpr quint32 BitFields = 3;
inline constexpr quint32 AlphaBitFields = 6;

// BMP is little-endian, as is every machine this runs on.
template <typename T> T field(const char* at)
{
    T value{};
    std::memcpy(&value, at, sizeof(T));
    return value;
}

struct Layout {
    qint64 dataOffset = 0; // where the pixel data starts in the file
    qint64 infoSize = 0;   // the info header's size; a palette follows it
    qint64 width = 0;
    qint64 height = 0; // positive; bottomUp says which way the rows run
    bool bottomUp = true;
    int bitCount = 0;
    quint32 compression = Uncompressed;
    qint64 coloursUsed = 0; // palette entries; 0 for all that bitCount allows
    // Bytes of one stored row of uncompressed data, padded to 4 bytes.
    [[nodiscard]] qint64 stride() const { return (width * bitCount + 31) / 32 * 4; }
};

// The layout the file's first HeaderSize bytes tell; nothing when they are not a BMP header
// worth believing: no signature, a side empty or beyond LargestSide, or pixel data said to
// start inside the headers.
inline std::optional<Layout> readLayout(std::span<const char, HeaderSize> header)
{
    const char* at = header.data();
    if (at[0] != 'B' || at[1] != 'M') {
        return std::nullopt;
    }
    Layout layout;
    layout.dataOffset = field<quint32>(at + 10);
    layout.infoSize = field<quint32>(at + 14);
    layout.width = field<qint32>(at + 18);
    const auto storedHeight = static_cast<qint64>(field<qint32>(at + 22));
    // Rows run bottom-up unless the height is negative.
    layout.bottomUp = storedHeight > 0;
    layout.height = layout.bottomUp ? storedHeight : -storedHeight;
    layout.bitCount = field<quint16>(at + 28);
    layout.compression = field<quint32>(at + 30);
    layout.coloursUsed = field<quint32>(at + 46);
    if (layout.infoSize < InfoHeaderSize || layout.width <= 0 || layout.height <= 0 ||
        layout.width > LargestSide || layout.height > LargestSide ||
        layout.dataOffset < HeaderSize) {
        return std::nullopt;
    }
    return layout;
}

} // namespace intake::bmp
