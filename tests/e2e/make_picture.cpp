// Writes a test picture of any size quickly: a smooth gradient, so it compresses well.
// Usage: make_picture WIDTH HEIGHT FILE   (the format follows FILE's extension)
#include <QImage>
#include <QImageWriter>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fputs("usage: make_picture WIDTH HEIGHT FILE\n", stderr);
        return 2;
    }
    QImage image(QString::fromLocal8Bit(argv[1]).toInt(), QString::fromLocal8Bit(argv[2]).toInt(),
                 QImage::Format_RGB888);
    if (image.isNull()) {
        std::fputs("make_picture: cannot make an image that size\n", stderr);
        return 1;
    }
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        const auto green = static_cast<uchar>(y * 255 / image.height());
        for (int x = 0; x < image.width(); ++x) {
            const auto grey = static_cast<uchar>(x * 255 / image.width());
            const qsizetype at = 3 * static_cast<qsizetype>(x);
            line[at] = grey;
            line[at + 1] = green;
            line[at + 2] = grey;
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
