// Writes a test picture of any size quickly: a smooth gradient, so it compresses well.
// Usage: make_picture WIDTH HEIGHT FILE [alpha|checks]   (the format follows FILE's extension;
// with "alpha", the picture also fades from opaque at the top to half transparent at the
// bottom; with "checks", it is black and white one-pixel checks instead, grey when shown whole)
#include <QImage>
#include <QImageWriter>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    const bool alpha = argc == 5 && std::strcmp(argv[4], "alpha") == 0;
    const bool checks = argc == 5 && std::strcmp(argv[4], "checks") == 0;
    if (argc != 4 && !alpha && !checks) {
        std::fputs("usage: make_picture WIDTH HEIGHT FILE [alpha|checks]\n", stderr);
        return 2;
    }
    const qsizetype channels = alpha ? 4 : 3;
    QImage image(QString::fromLocal8Bit(argv[1]).toInt(), QString::fromLocal8Bit(argv[2]).toInt(),
                 alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (image.isNull()) {
        std::fputs("make_picture: cannot make an image that size\n", stderr);
        return 1;
    }
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        const auto green = static_cast<uchar>(y * 255 / image.height());
        for (int x = 0; x < image.width(); ++x) {
            const auto grey = static_cast<uchar>(x * 255 / image.width());
            const qsizetype at = channels * static_cast<qsizetype>(x);
            const auto check = static_cast<uchar>(((x + y) & 1) * 255);
            line[at] = checks ? check : grey;
            line[at + 1] = checks ? check : green;
            line[at + 2] = checks ? check : grey;
            if (alpha) {
                line[at + 3] = static_cast<uchar>(255 - green / 2);
            }
        }
    }
    QImageWriter writer(QString::fromLocal8Bit(argv[3]));
    writer.setQuality(80); // for PNG: light, fast compression (zlib level 1)
    if (!writer.write(image)) {
        std::fprintf(stderr, "make_picture: %s\n", qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
