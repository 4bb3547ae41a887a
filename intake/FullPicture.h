// The picture's own pixels at full resolution, read on demand: the loupe and the edge fit look
// at them, while the window shows only a copy sampled down for the screen.
#pragma once

#include "EdgeFit.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

namespace intake {

class FullPicture : public measure::PixelRows {
public:
    // The converter's BMP, mapped rather than read: only the rows asked for are ever brought
    // into memory, so a 100-megapixel picture costs what the loupe and the fit look at. Null
    // when the file is not a BMP this can map. The mapping stays valid when the file is
    // deleted afterwards.
    static std::shared_ptr<const FullPicture> fromBmp(const QString& path);
    // A decoded picture kept whole (a paste).
    static std::shared_ptr<const FullPicture> fromImage(QImage picture);

    [[nodiscard]] QSize size() const;
    // The pixels of area (picture pixels), as an opaque RGB32 image of area's size; whatever of
    // area lies outside the picture is black.
    [[nodiscard]] QImage region(const QRect& area) const;

    // measure::PixelRows: red, green and blue for the edge fit, which finds the combination
    // that shows an edge best.
    [[nodiscard]] std::int64_t width() const override;
    [[nodiscard]] std::int64_t height() const override;
    [[nodiscard]] int channels() const override;
    void readRow(std::int64_t y, std::int64_t x0, std::int64_t x1, float* out) const override;
    void readPixels(std::int64_t y, std::int64_t x0, std::int64_t count, std::int64_t step,
                    float* out) const override;
    [[nodiscard]] bool readsConcurrently() const override;

    FullPicture(const FullPicture&) = delete;
    FullPicture& operator=(const FullPicture&) = delete;
    FullPicture(FullPicture&&) = delete;
    FullPicture& operator=(FullPicture&&) = delete;
    ~FullPicture() override;

private:
    struct Source;
    explicit FullPicture(std::unique_ptr<Source> source);
    std::unique_ptr<Source> m_source;
};

} // namespace intake
