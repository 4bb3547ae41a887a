#include "ClipboardPicture.h"

#include <QBuffer>
#include <QImageReader>
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

// Why offered bytes were not taken: told by their header alone, which a picture cut short
// still has when its data ends early.
PasteFailure whyNotPasted(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return PasteFailure::NoPicture;
    }
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (format != "png" && format != "bmp" && format != "jpeg") {
        return PasteFailure::NoPicture;
    }
    const QSize size = reader.size();
    if (!size.isValid()) {
        return PasteFailure::CutShort;
    }
    return pastableSize(size) ? PasteFailure::CutShort : PasteFailure::TooLarge;
}

LoadedPicture refused(PasteFailure* why, PasteFailure reason)
{
    if (why != nullptr) {
        *why = reason;
    }
    return {};
}

} // namespace

LoadedPicture readClipboardPicture(const QMimeData* data, QSize fit, PasteFailure* why)
{
    if (data == nullptr) {
        return refused(why, PasteFailure::NoPicture);
    }
    if (heldInProcess(*data) && data->hasImage()) {
        const auto picture = qvariant_cast<QImage>(data->imageData());
        if (picture.isNull()) {
            return refused(why, PasteFailure::NoPicture);
        }
        if (!pastableSize(picture.size())) {
            return refused(why, PasteFailure::TooLarge);
        }
        return {fitForDisplay(picture, fit), picture.size(), keptFullPicture(picture)};
    }
    // hasImage() and imageData() would each ask again for the types, and then for every image
    // type Qt knows in turn: one timeout after another with an owner that never answers.
    const QString type = choosePictureType(data->formats());
    if (type.isEmpty()) {
        return refused(why, PasteFailure::NoPicture);
    }
    const QByteArray bytes = data->data(type);
    LoadedPicture picture = readPicture(bytes, fit);
    if (picture.isNull()) {
        return refused(why, whyNotPasted(bytes));
    }
    return picture;
}

} // namespace intake
