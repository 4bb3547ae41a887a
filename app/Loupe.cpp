#include "Loupe.h"

#include "FullPicture.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace {

// The loupe is a third of the view's shorter side, within these bounds (logical pixels), and
// keeps this distance from the view's edges.
constexpr int SmallestSide = 120;
constexpr int LargestSide = 240;
constexpr int Margin = 12;
// Each picture pixel is at least this many device pixels wide, and this many times as large as
// in the window.
constexpr double SmallestPixel = 8.0;
constexpr double Magnification = 4.0;
constexpr qreal PenWidth = 2.0;
// Drawn in bands of fewer scanlines than Qt hands to its thread pool, whose hand-offs cost more
// than the few pixels of a loupe.
constexpr int BandHeight = 64;

// The part of a -> b within bounds grown by a pen's width, if any: the far end of a long line
// can lie tens of thousands of pixels away, more than the rasteriser should be handed.
std::optional<QLineF> within(QPointF a, QPointF b, const QRectF& bounds)
{
    double t0 = 0.0;
    double t1 = 1.0;
    const std::array<double, 2> d{b.x() - a.x(), b.y() - a.y()};
    const std::array<double, 2> low{bounds.left() - a.x(), bounds.top() - a.y()};
    const std::array<double, 2> high{bounds.right() - a.x(), bounds.bottom() - a.y()};
    for (std::size_t axis = 0; axis < d.size(); ++axis) {
        if (d.at(axis) == 0.0) {
            if (low.at(axis) > 0.0 || high.at(axis) < 0.0) {
                return std::nullopt;
            }
            continue;
        }
        double enter = low.at(axis) / d.at(axis);
        double leave = high.at(axis) / d.at(axis);
        if (enter > leave) {
            std::swap(enter, leave);
        }
        t0 = std::max(t0, enter);
        t1 = std::min(t1, leave);
        if (t0 > t1) {
            return std::nullopt;
        }
    }
    return QLineF(a + t0 * (b - a), a + t1 * (b - a));
}

} // namespace

Loupe makeLoupe(const intake::FullPicture& pixels, QSize pictureSize, measure::PictureSegment line,
                measure::PicturePoint end, QSize viewSize, qreal devicePixelRatio)
{
    const QSize picture = pixels.size();
    if (picture.isEmpty() || pictureSize.isEmpty() || viewSize.isEmpty() || !std::isfinite(end.x) ||
        !std::isfinite(end.y)) {
        return {};
    }
    // Into the pixels' own geometry, where a copy stands in for the picture.
    const double toX = static_cast<double>(picture.width()) / pictureSize.width();
    const double toY = static_cast<double>(picture.height()) / pictureSize.height();
    for (measure::PicturePoint* point : {&line.a, &line.b, &end}) {
        *point = {point->x * toX, point->y * toY};
    }
    const int side =
        std::clamp(std::min(viewSize.width(), viewSize.height()) / 3, SmallestSide, LargestSide);
    // The corner across from the end: the loupe never hides what it magnifies.
    const double endX = end.x / picture.width() * viewSize.width();
    const double endY = end.y / picture.height() * viewSize.height();
    const int left = endX < viewSize.width() / 2.0 ? viewSize.width() - Margin - side : Margin;
    const int top = endY < viewSize.height() / 2.0 ? viewSize.height() - Margin - side : Margin;

    const qreal ratio = devicePixelRatio > 0.0 ? devicePixelRatio : 1.0;
    const int device = static_cast<int>(std::lround(side * ratio));
    // Device pixels per picture pixel: a whole number, so every pixel is the same sharp square.
    const double inWindow = std::max(viewSize.width() * ratio / picture.width(),
                                     viewSize.height() * ratio / picture.height());
    const double zoom = std::ceil(std::max(SmallestPixel, Magnification * inWindow));
    // The picture area shown, with the end at the loupe's centre.
    const double across = device / zoom;
    const double originX = end.x - across / 2.0;
    const double originY = end.y - across / 2.0;
    const auto count = static_cast<int>(std::ceil(across)) + 2;
    const QRect area(static_cast<int>(std::floor(std::clamp(originX, -1e9, 1e9))),
                     static_cast<int>(std::floor(std::clamp(originY, -1e9, 1e9))), count, count);
    const QImage shown = pixels.region(area);

    QImage image(device, device, QImage::Format_RGB32);
    const auto place = [&](double x, double y) {
        return QPointF((x - originX) * zoom, (y - originY) * zoom);
    };
    // Each picture pixel a sharp square: every loupe pixel takes the picture pixel it lies in.
    const QPointF corner = place(area.left(), area.top());
    std::vector<int> columns(static_cast<std::size_t>(device));
    for (int x = 0; x < device; ++x) {
        columns[static_cast<std::size_t>(x)] = std::clamp(
            static_cast<int>(std::floor((x + 0.5 - corner.x()) / zoom)), 0, shown.width() - 1);
    }
    for (int y = 0; y < device; ++y) {
        const int row = std::clamp(static_cast<int>(std::floor((y + 0.5 - corner.y()) / zoom)), 0,
                                   shown.height() - 1);
        const auto* in = reinterpret_cast<const QRgb*>(shown.constScanLine(row));
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < device; ++x) {
            out[x] = in[columns[static_cast<std::size_t>(x)]];
        }
    }
    // The line and the end as they really lie, inverting what is under them so they show on
    // any picture.
    // A device pixel is at most an eighth of a picture pixel here, so the line needs no
    // smoothing to show where it lies between pixel centres; unsmoothed, it is cheap to draw.
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.setPen(QPen(Qt::white, PenWidth, Qt::SolidLine, Qt::FlatCap));
    painter.setBrush(Qt::NoBrush);
    const QPointF from = place(line.a.x, line.a.y);
    const QPointF to = place(line.b.x, line.b.y);
    const double ring = std::max(2.0 * SmallestPixel, zoom);
    for (int top = 0; top < device; top += BandHeight) {
        painter.setClipRect(0, top, device, BandHeight);
        // Only the piece of the line in this band goes to the rasteriser.
        const QRectF band =
            QRectF(0, top, device, BandHeight).adjusted(-PenWidth, -PenWidth, PenWidth, PenWidth);
        if (const auto piece = within(from, to, band)) {
            painter.drawLine(*piece);
        }
        const QPointF centre = place(end.x, end.y);
        if (centre.y() + ring + PenWidth >= top &&
            centre.y() - ring - PenWidth < top + BandHeight) {
            painter.drawEllipse(centre, ring, ring);
        }
    }
    painter.end();
    image.setDevicePixelRatio(ratio);
    return {QRect(left, top, side, side), std::move(image)};
}
