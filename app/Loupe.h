// The loupe: the picture's own pixels around the active end, each a sharp square several times
// larger than in the window, with the line drawn where it really lies.
#pragma once

#include "EdgeFit.h"

#include <QImage>
#include <QRect>
#include <QSize>

namespace intake {
class FullPicture;
}

struct LoupeSource {
    // The picture's own pixels; null where only the display copy is kept.
    const intake::FullPicture* full = nullptr;
    // The copy shown in the window, sampled down from the picture.
    const QImage* display = nullptr;
    // The picture's own size in pixels.
    QSize pictureSize;
};

struct Loupe {
    QRect where;  // logical pixels of the view
    QImage image; // at the screen's resolution; null when there is nothing to show
};

// The loupe over end, for a view of viewSize logical pixels on a screen of the given scale. It
// sits in the corner of the view farthest from end, so it never covers it.
Loupe makeLoupe(const LoupeSource& source, const measure::PictureSegment& line,
                measure::PicturePoint end, QSize viewSize, qreal devicePixelRatio);
