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

struct Loupe {
    QRect where;  // logical pixels of the view
    QImage image; // at the screen's resolution; null when there is nothing to show
};

// The loupe over end (line and end in pixels of a picture of pictureSize), for a view of viewSize
// logical pixels on a screen of the given scale. It shows pixels, which are the picture's own or
// a copy sampled down from it that stands in for them. It sits in the corner of the view
// farthest from end, so it never covers it.
Loupe makeLoupe(const intake::FullPicture& pixels, QSize pictureSize, measure::PictureSegment line,
                measure::PicturePoint end, QSize viewSize, qreal devicePixelRatio);
