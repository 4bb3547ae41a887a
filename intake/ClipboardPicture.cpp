#include "ClipboardPicture.h"

#include <QMimeData>
#include <QString>
#include <QStringList>

#include <array>

namespace intake {
namespace {

// Lossless types first, and only those whose completeness readPicture can tell.
constexpr std::array PreferredTypes{"image/png", "image/bmp", "image/x-bmp", "image/x-ms-bmp",
                                    "image/jpeg"};

// A plain QMimeData holds its contents already (this program's own clipboard, or a test's);
// only a platform's own kind fetches from another program on each question.
bool heldInProcess(const QMimeData& data)
{
    return data.metaObject() == &QMimeData::staticMetaObject;
}

// The picture type to ask the owner for; empty when it offers none.
QString choosePictureType(const QStringList& offered)
{
    for (const char* type : PreferredTypes) {
        if (offered.contains(QLatin1String(type))) {
            return QLatin1String(type);
        }
    }
    return {};
}

} // namespace

LoadedPicture readClipboardPicture(const QMimeData* data, QSize fit)
{
    if (data == nullptr) {
        return {};
    }
    if (heldInProcess(*data) && data->hasImage()) {
        const auto picture = qvariant_cast<QImage>(data->imageData());
        if (picture.isNull() || !pastableSize(picture.size())) {
            return {};
        }
        return {fitForDisplay(picture, fit), picture.size(), keptFullPicture(picture)};
    }
    // hasImage() and imageData() would each ask again for the types, and then for every image
    // type Qt knows in turn: one timeout after another with an owner that never answers.
    const QString type = choosePictureType(data->formats());
    if (type.isEmpty()) {
        return {};
    }
    return readPicture(data->data(type), fit);
}

} // namespace intake
