#include "RealPhotos.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cmath>

namespace realphotos {
namespace {

constexpr double Pi = 3.14159265358979323846;
// Columns of a table line: package | path | kinds | x1 y1 x2 y2 | what it is.
constexpr qsizetype TableColumns = 5;
constexpr qsizetype EndCoordinates = 4;
// The converter's time for one turned photo of up to 11 megapixels on this machine is a few
// seconds; this only stops a converter that hangs.
constexpr int ConvertMilliseconds = 300000;

// ImageMagick turns clockwise for a positive SRT angle (its y axis points down, like the
// picture's), about the canvas centre, pixel centres at i + 0.5; "+" readings are anticlockwise.
// Edge repeats the border pixels beyond the photo, so the turned copy's corners hold smears
// rather than a sharp black border that could pass for an edge; the measured lines stay clear
// of them anyway. PNG, 8 bits, fast compression: the copies are read back whole.
QStringList turnArguments(const QString& from, const QString& to, double degrees)
{
    return {from,
            QStringLiteral("-virtual-pixel"),
            QStringLiteral("Edge"),
            QStringLiteral("-distort"),
            QStringLiteral("SRT"),
            QString::number(-degrees, 'f', 6),
            QStringLiteral("-depth"),
            QStringLiteral("8"),
            QStringLiteral("-define"),
            QStringLiteral("png:compression-level=1"),
            QStringLiteral("PNG24:") + to};
}

bool runConverter(const QStringList& arguments, QString* error)
{
    QProcess converter;
    converter.setProcessChannelMode(QProcess::MergedChannels);
    converter.start(QStringLiteral(TORVANIX_CONVERTER), arguments);
    if (!converter.waitForFinished(ConvertMilliseconds) ||
        converter.exitStatus() != QProcess::NormalExit || converter.exitCode() != 0) {
        if (error != nullptr) {
            *error = QStringLiteral("%1 failed: %2")
                         .arg(QStringLiteral(TORVANIX_CONVERTER),
                              QString::fromLocal8Bit(converter.readAll().trimmed()));
        }
        return false;
    }
    return true;
}

// A bright Gaussian spot centred at the given point, in a black grey picture.
void drawSpot(QImage& image, measure::PicturePoint centre)
{
    constexpr double sigma = 1.2;
    constexpr int reach = 6;
    const int x0 = static_cast<int>(centre.x);
    const int y0 = static_cast<int>(centre.y);
    for (int y = y0 - reach; y <= y0 + reach; ++y) {
        for (int x = x0 - reach; x <= x0 + reach; ++x) {
            const double dx = x + 0.5 - centre.x;
            const double dy = y + 0.5 - centre.y;
            const double level = 250.0 * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
            image.scanLine(y)[x] = static_cast<uchar>(std::lround(level));
        }
    }
}

// The spot's centroid in a window around where it should be.
measure::PicturePoint centroid(const QImage& image, measure::PicturePoint near)
{
    constexpr int reach = 7;
    double sum = 0.0;
    double sumX = 0.0;
    double sumY = 0.0;
    const int x0 = static_cast<int>(near.x);
    const int y0 = static_cast<int>(near.y);
    for (int y = std::max(0, y0 - reach); y <= std::min(image.height() - 1, y0 + reach); ++y) {
        for (int x = std::max(0, x0 - reach); x <= std::min(image.width() - 1, x0 + reach); ++x) {
            const double level = qGray(image.pixel(x, y));
            sum += level;
            sumX += level * (x + 0.5);
            sumY += level * (y + 0.5);
        }
    }
    return sum > 0.0 ? measure::PicturePoint{sumX / sum, sumY / sum}
                     : measure::PicturePoint{NAN, NAN};
}

} // namespace

bool RealEdge::is(const std::string& kind) const
{
    const QStringList words = QString::fromStdString(kinds).split(u' ', Qt::SkipEmptyParts);
    return words.contains(QString::fromStdString(kind));
}

std::vector<RealEdge> readEdgeTable(const QString& file, QString* error)
{
    QFile table(file);
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1").arg(file);
        return {};
    }
    std::vector<RealEdge> edges;
    QTextStream in(&table);
    for (int number = 1; !in.atEnd(); ++number) {
        const QString line = in.readLine().section(u'#', 0, 0).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const QStringList columns = line.split(u'|');
        const QStringList ends = columns.size() == TableColumns
                                     ? columns[3].split(u' ', Qt::SkipEmptyParts)
                                     : QStringList();
        std::array<double, EndCoordinates> values{};
        bool good = ends.size() == EndCoordinates;
        for (qsizetype i = 0; good && i < EndCoordinates; ++i) {
            values.at(static_cast<std::size_t>(i)) = ends[i].toDouble(&good);
        }
        if (!good) {
            *error = QStringLiteral("%1:%2: not \"package | path | kinds | x1 y1 x2 y2 | what\"")
                         .arg(file)
                         .arg(number);
            return {};
        }
        edges.push_back({columns[0].trimmed().toStdString(),
                         columns[1].trimmed().toStdString(),
                         columns[2].trimmed().toStdString(),
                         {{values[0], values[1]}, {values[2], values[3]}},
                         columns[4].trimmed().toStdString()});
    }
    return edges;
}

QString benchCache()
{
    if (QString set = qEnvironmentVariable("TORVANIX_BENCH_CACHE"); !set.isEmpty()) {
        return set;
    }
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString base = xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : xdg;
    return base + QStringLiteral("/torvanix-bench");
}

QString shortName(const RealEdge& edge)
{
    const QString path = QString::fromStdString(edge.path);
    const QString base = QFileInfo(path).completeBaseName();
    static const QRegularExpression size(QStringLiteral("^[0-9]+x[0-9]+$"));
    // .../Name/contents/images/2560x1600.jpg
    return size.match(base).hasMatch() ? path.section(u'/', -4, -4) : base;
}

QString photoFile(const QString& cache, const RealEdge& edge)
{
    return QStringLiteral("%1/pkg/%2/%3")
        .arg(cache, QString::fromStdString(edge.package), QString::fromStdString(edge.path));
}

QString turnedPhoto(const QString& cache, const RealEdge& edge, double degrees, QString* error)
{
    const QString folder =
        QStringLiteral("%1/turned/%2/%3")
            .arg(cache, QString::fromStdString(edge.package), QString::fromStdString(edge.path));
    QString turned = QStringLiteral("%1/%2%3.png")
                         .arg(folder, degrees < 0.0 ? u"-"_qs : u"+"_qs,
                              QString::number(std::fabs(degrees), 'f', 2));
    if (QFileInfo::exists(turned)) {
        return turned;
    }
    QDir().mkpath(folder);
    // Written aside and renamed, so a run cut short never leaves half a picture to be read.
    const QString part = turned + QStringLiteral(".part");
    if (!runConverter(turnArguments(photoFile(cache, edge), part, degrees), error) ||
        !QFile::rename(part, turned)) {
        QFile::remove(part);
        return {};
    }
    return turned;
}

measure::PicturePoint turnPoint(measure::PicturePoint point, double degrees, double width,
                                double height)
{
    // Anticlockwise on screen, whose y axis points down: the rotation by -degrees in the
    // picture's own coordinates, about the canvas centre.
    const double angle = -degrees * Pi / 180.0;
    const double cx = 0.5 * width;
    const double cy = 0.5 * height;
    const double dx = point.x - cx;
    const double dy = point.y - cy;
    return {cx + std::cos(angle) * dx - std::sin(angle) * dy,
            cy + std::sin(angle) * dx + std::cos(angle) * dy};
}

double checkTurnConvention(const QString& folder, std::span<const double> angles)
{
    // Spots within the circle every turn keeps inside the canvas, none on a pixel centre.
    constexpr std::array<measure::PicturePoint, 5> offsets = {
        {{150.3, -80.7}, {-120.6, 110.2}, {0.1, 0.9}, {60.5, -170.25}, {-170.8, -20.35}}};
    double worst = 0.0;
    for (const auto& [width, height] : {std::pair{641, 401}, std::pair{640, 400}}) {
        QImage picture(width, height, QImage::Format_Grayscale8);
        picture.fill(0);
        for (const auto offset : offsets) {
            drawSpot(picture, {0.5 * width + offset.x, 0.5 * height + offset.y});
        }
        const QString plain =
            QStringLiteral("%1/spots-%2x%3.png").arg(folder).arg(width).arg(height);
        picture.save(plain);
        for (const double degrees : angles) {
            const QString turned = plain + QStringLiteral(".turned.png");
            if (!runConverter(turnArguments(plain, turned, degrees), nullptr)) {
                return -1.0;
            }
            const QImage back(turned);
            for (const auto offset : offsets) {
                const measure::PicturePoint expected = turnPoint(
                    {0.5 * width + offset.x, 0.5 * height + offset.y}, degrees, width, height);
                const measure::PicturePoint found = centroid(back, expected);
                const double distance = std::hypot(found.x - expected.x, found.y - expected.y);
                // A spot that went missing counts as the worst.
                worst = std::isfinite(distance) ? std::max(worst, distance) : INFINITY;
            }
            QFile::remove(turned);
        }
        QFile::remove(plain);
    }
    return worst;
}

} // namespace realphotos
