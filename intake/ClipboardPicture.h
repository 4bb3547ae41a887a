// Taking a picture from the clipboard with as few requests to its owner as can be: on X11 each
// request the owner leaves unanswered holds the window for Qt's whole clipboard timeout.
#pragma once

#include "PictureFile.h"
#include "ReadFailure.h"

class QMimeData;

namespace intake {

// The picture on the clipboard, kept at most fit pixels each way for display; null when there
// is none, it is not pastable, or it does not decode completely. Data another program holds is
// asked for twice at most: the types it offers, then one of them. When null, why (if given)
// says why, from what was already fetched.
LoadedPicture readClipboardPicture(const QMimeData* data, QSize fit, PasteFailure* why = nullptr);

} // namespace intake
