// An 8-bit grey picture in memory, read row by row as the edge fit reads the window's full
// picture: what the benchmarks hand the fit.
#pragma once

#include "EdgeFit.h"

#include <QImage>

#include <cstdint>
#include <utility>

class GreyRows : public measure::PixelRows {
public:
    // image: Format_Grayscale8 (it is shared, not copied).
    explicit GreyRows(QImage image)
        : m_image(std::move(image))
    {
    }
    [[nodiscard]] std::int64_t width() const override { return m_image.width(); }
    [[nodiscard]] std::int64_t height() const override { return m_image.height(); }
    void readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const override
    {
        const uchar* line = m_image.constScanLine(static_cast<int>(y));
        for (std::int64_t x = x0; x < x1; ++x) {
            *out++ = static_cast<float>(line[x]);
        }
    }
    // Like the window's picture, read from several threads at once.
    [[nodiscard]] bool readsConcurrently() const override { return true; }

private:
    QImage m_image;
};
