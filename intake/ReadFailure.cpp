#include "ReadFailure.h"

#include "DropImport.h"
#include "PictureFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace intake {
namespace {

// ImageMagick begins each message with its program's name and ends it with where in its
// source the message came from: "convert-im6.q16: ... @ error/constitute.c/ReadImage/594."
const QRegularExpression ProgramName(QStringLiteral(R"(^[^\s:]+: )"));
const QRegularExpression SourceLocation(QStringLiteral(R"(\s+@ \w+/\S+$)"));
// A name ImageMagick quotes, `like this', when it is a full path.
const QRegularExpression QuotedPath(QStringLiteral(R"(`(/[^`']*)')"));
// libraw's decoder, which ImageMagick runs for camera raw files, says why it failed in its own
// words ("Cannot open /tmp/magick-...: Unsupported file format or not RAW file"); ImageMagick
// then only says that the decoder's output is missing.
const QRegularExpression RawDecoderError(QStringLiteral(R"(^Cannot \w+ /\S+: (.+)$)"));
// The converter's closing complaint once its input failed, which says nothing about why.
const QString NothingRead = QStringLiteral("no images defined");

QString shownName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

QString cleaned(QString line, const QString& input, const QString& fileName)
{
    line.remove(ProgramName);
    line.remove(SourceLocation);
    if (!input.isEmpty()) {
        line.replace(QLatin1Char('`') + input + QLatin1Char('\''),
                     QLatin1Char('`') + fileName + QLatin1Char('\''));
    }
    // Other paths (ImageMagick's own temporary copies) by their last part: the folder is noise.
    QString shortened;
    qsizetype from = 0;
    for (const QRegularExpressionMatch& match : QuotedPath.globalMatch(line)) {
        shortened += QStringView(line).sliced(from, match.capturedStart() - from);
        shortened += QLatin1Char('`') + shownName(match.captured(1)) + QLatin1Char('\'');
        from = match.capturedEnd();
    }
    shortened += QStringView(line).sliced(from);
    return shortened.trimmed();
}

} // namespace

QString whyUnopenable(const QByteArray& path)
{
    QString gone = QStringLiteral("there is no such file");
    // The exact bytes the system knows the file by: a name that is not valid UTF-8 must not be
    // judged by the look-alike its decoded text would name.
    struct stat info {};
    if (!path.startsWith('/') || path.contains('\0')) {
        return gone;
    }
    if (::stat(path.constData(), &info) != 0) {
        return errno == EACCES ? QStringLiteral("permission denied") : gone;
    }
    if (S_ISDIR(info.st_mode)) {
        return QStringLiteral("it is a folder");
    }
    if (!S_ISREG(info.st_mode)) {
        return QStringLiteral("it is not a plain file");
    }
    // A plain file: opening it cannot block, and the system says why it cannot be read.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    switch (errno) {
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    case ENOENT:
        return gone;
    default:
        return QString::fromLocal8Bit(std::strerror(errno)).toLower();
    }
}

QString converterErrorLine(const QByteArray& errorOutput, const QString& input,
                           const QString& fileName)
{
    const QStringList lines =
        QString::fromUtf8(errorOutput).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (const auto raw = RawDecoderError.match(line.trimmed()); raw.hasMatch()) {
            return QStringLiteral("the camera raw decoder cannot read it (%1)")
                .arg(raw.captured(1));
        }
    }
    QString firstOther;
    for (const QString& line : lines) {
        QString text = cleaned(line, input, fileName);
        if (text.isEmpty() || text.startsWith(NothingRead) ||
            line.contains(QStringLiteral(" @ warning/"))) {
            continue;
        }
        // ImageMagick's own errors first: a delegate's shell may have complained before them.
        if (line.contains(QStringLiteral(" @ error/")) ||
            line.contains(QStringLiteral(" @ fatal"))) {
            return text;
        }
        if (firstOther.isEmpty()) {
            firstOther = text;
        }
    }
    return firstOther;
}

ReadFailure classifyConverterError(const QString& line, const QString& fileName)
{
    if (line.contains(QStringLiteral("security policy"))) {
        return ReadFailure::Refused;
    }
    static const QStringList sizeWords{QStringLiteral("exceeds limit"),
                                       QStringLiteral("resources exhausted"),
                                       QStringLiteral("memory allocation failed")};
    for (const QString& words : sizeWords) {
        if (line.contains(words)) {
            return ReadFailure::TooLarge;
        }
    }
    // The file itself, not a temporary copy ImageMagick made of it, could not be opened.
    if (line.startsWith(QStringLiteral("unable to open image `") + fileName + QLatin1Char('\''))) {
        return ReadFailure::CannotOpen;
    }
    return ReadFailure::NotAPicture;
}

QString readFailureNotice(ReadFailure why, const QString& path, const QString& detail)
{
    QString form;
    QString ownWords;
    switch (why) {
    case ReadFailure::CannotOpen:
        form = QStringLiteral("Torvanix cannot open %1: %2");
        ownWords = QStringLiteral("it cannot be read");
        break;
    case ReadFailure::NotAPicture:
        form = QStringLiteral("Torvanix cannot read %1: %2");
        ownWords = QStringLiteral("ImageMagick finds no picture in it");
        break;
    case ReadFailure::Refused:
        form = QStringLiteral("Torvanix may not read %1: %2");
        ownWords = QStringLiteral("ImageMagick's security policy refuses it");
        break;
    case ReadFailure::TooLarge:
        form = QStringLiteral("%1 is too large for Torvanix: %2");
        ownWords = QStringLiteral("it is beyond ImageMagick's size limits");
        break;
    case ReadFailure::TimedOut:
        form = QStringLiteral("Torvanix gave up on %1: %2");
        ownWords =
            QStringLiteral("converting took longer than %1 seconds").arg(ConversionTimeLimit);
        break;
    }
    return form.arg(shownName(path), detail.isEmpty() ? ownWords : detail);
}

QString conversionFailureNotice(const QString& path, const QString& input, bool timedOut,
                                const QByteArray& errorOutput)
{
    if (timedOut) {
        return readFailureNotice(ReadFailure::TimedOut, path);
    }
    const QString name = shownName(path);
    const QString line = converterErrorLine(errorOutput, input, name);
    if (line.isEmpty()) {
        return readFailureNotice(ReadFailure::NotAPicture, path);
    }
    return readFailureNotice(classifyConverterError(line, name), path, line);
}

QString pasteFailureNotice(PasteFailure why)
{
    switch (why) {
    case PasteFailure::TooLarge:
        return QStringLiteral("The pasted picture is too large: Torvanix takes at most %1 "
                              "megapixels")
            .arg(LargestPastedPixels / 1'000'000);
    case PasteFailure::CutShort:
        return QStringLiteral("The pasted picture is cut short");
    case PasteFailure::NoPicture:
        break;
    }
    return QStringLiteral("The clipboard holds no picture Torvanix can paste");
}

} // namespace intake
