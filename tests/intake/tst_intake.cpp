// The command runner with a fast clock and real processes, and the converter's command line.
#include "BmpLayout.h"
#include "DropImport.h"
#include "FakeClock.h"
#include "FullPicture.h"
#include "PictureFile.h"
#include "ReadFailure.h"
#include "ShellAndWait.h"
#include "WorkingFiles.h"
#include "WorkingFolder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>
#include <vector>

#include <sys/resource.h>

using intake::CommandRunner;

namespace {

// Runs at ten times real time, so a 6-second limit passes in 0.6 s.
constexpr double Fast = 10.0;

double cpuSecondsOfThisProcess()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class IntakeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void missingProgramIsFalseAtOnce_data();
    void missingProgramIsFalseAtOnce();
    void quickProgramIsTrueOnceEnded();
    void noLimitWaitsForTheProgram();
    void programOutlastingTheLimitIsLeftRunning();
    void negativeLimitEndsAfterFirstPoll();
    void limitWrapsPastMidnight();
    void startRoundedUpBeforeMidnightStillWaits();
    void windowEventsRunDuringTheWait();
    void waitDoesNotSpin();
    void secondWaitDuringAWaitIsRefused();
    void errorOutputIsKeptWithoutStallingTheProgram();
    void conversionFailuresAreToldApart_data();
    void conversionFailuresAreToldApart();
    void commandLineIsSplitWithoutShell_data();
    void commandLineIsSplitWithoutShell();
    void converterLineGivesTheNameBackWhole_data();
    void converterLineGivesTheNameBackWhole();
    void onlyPlainReadableFilesAreConverted();
    void workingPictureNeverThroughALink();
    void bmpReadsWholeOrFitted_data();
    void bmpReadsWholeOrFitted();
    void badBmpIsNull_data();
    void badBmpIsNull();
    void fullPictureReadsEveryKindOfBmp_data();
    void fullPictureReadsEveryKindOfBmp();
    void pasteKeepsItsFullPixels_data();
    void pasteKeepsItsFullPixels();
    void workingFolderIsMadeWherePossible_data();
    void workingFolderIsMadeWherePossible();
    void runningWindowsFolderIsSpared();
};

void IntakeTest::missingProgramIsFalseAtOnce_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("no such file") << R"("/nonexistent/vconvert.exe" "a" BMP3:"b")";
    QTest::newRow("not executable") << "\"/etc/hostname\"";
    QTest::newRow("a folder") << "\"/tmp\"";
    QTest::newRow("empty line") << "";
    QTest::newRow("only blanks") << "   ";
}

void IntakeTest::missingProgramIsFalseAtOnce()
{
    QFETCH(QString, commandLine);
    FakeClock clock(1000, Fast);
    CommandRunner runner(clock);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!runner.ShellAndWait(commandLine, 6));
    QVERIFY(timer.elapsed() < 1000);
    QVERIFY(!runner.isRunning());
}

void IntakeTest::quickProgramIsTrueOnceEnded()
{
    FakeClock clock(1000, 1.0);
    CommandRunner runner(clock);
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/true"), 6));
    QVERIFY(!runner.isRunning());
    QVERIFY(!runner.crashed());
    // A program that fails still counts as started.
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/false"), 6));
    QVERIFY(!runner.isRunning());
}

void IntakeTest::noLimitWaitsForTheProgram()
{
    FakeClock clock(1000, Fast);
    CommandRunner runner(clock);
    QElapsedTimer timer;
    timer.start();
    // Twelve clock seconds pass, twice a 6-second limit; with no limit the wait goes on.
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/sleep 1.2"), 0));
    QVERIFY(timer.elapsed() >= 1100);
    QVERIFY(!runner.isRunning());
}

void IntakeTest::programOutlastingTheLimitIsLeftRunning()
{
    FakeClock clock(1000.25, Fast);
    CommandRunner runner(clock);
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/sleep 30"), 6));
    // Started at 1000 (rounded), the wait ends in the first poll after the clock passes 1006.
    const double stoppedAt = clock.secondsSinceMidnight();
    QVERIFY2(stoppedAt > 1006.0 && stoppedAt < 1008.5, qPrintable(QString::number(stoppedAt)));
    QVERIFY(runner.isRunning());
    runner.endProgram();
    QVERIFY(!runner.isRunning());
}

void IntakeTest::negativeLimitEndsAfterFirstPoll()
{
    FakeClock clock(1000, 1.0);
    CommandRunner runner(clock);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/sleep 30"), -1));
    QVERIFY(timer.elapsed() < 500);
    QVERIFY(runner.isRunning());
}

void IntakeTest::limitWrapsPastMidnight()
{
    // Three whole seconds before midnight with a 6-second limit: the end is 3 s past midnight,
    // and the wait goes on across midnight until the clock reads more than that.
    FakeClock clock(86397.0, Fast);
    CommandRunner runner(clock);
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/sleep 30"), 6));
    const double passed = clock.elapsed();
    const double now = clock.secondsSinceMidnight();
    QVERIFY2(passed > 6.0 && passed < 8.5, qPrintable(QString::number(passed)));
    QVERIFY2(now > 3.0 && now < 5.5, qPrintable(QString::number(now)));
    QVERIFY(runner.isRunning());
}

void IntakeTest::startRoundedUpBeforeMidnightStillWaits()
{
    // 86399.6 rounds to the whole second 86400. The wait must still last its 2 seconds: the
    // clock, already "below" that rounded start, has not passed midnight yet.
    FakeClock clock(86399.6, Fast);
    CommandRunner runner(clock);
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/sleep 30"), 2));
    const double passed = clock.elapsed();
    QVERIFY2(passed > 2.0 && passed < 4.5, qPrintable(QString::number(passed)));
}

void IntakeTest::windowEventsRunDuringTheWait()
{
    FakeClock clock(1000, 1.0);
    CommandRunner runner(clock);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(50);
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/sleep 0.6"), 6));
    QVERIFY2(ticks >= 8, qPrintable(QString::number(ticks)));
}

void IntakeTest::waitDoesNotSpin()
{
    // A busy poll would burn a whole core; blocking on the event loop costs next to nothing.
    // The exact figure is in the benchmark; this only catches a spinning loop.
    FakeClock clock(1000, 1.0);
    CommandRunner runner(clock);
    const double cpuBefore = cpuSecondsOfThisProcess();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/sleep 1"), 6));
    const double cpu = cpuSecondsOfThisProcess() - cpuBefore;
    const double wall = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    QVERIFY2(cpu < 0.25 * wall, qPrintable(QStringLiteral("%1 s CPU in %2 s").arg(cpu).arg(wall)));
}

void IntakeTest::secondWaitDuringAWaitIsRefused()
{
    FakeClock clock(1000, 1.0);
    CommandRunner runner(clock);
    bool nested = true;
    bool waiting = false;
    QTimer::singleShot(100, this, [&] {
        waiting = runner.isWaiting();
        nested = runner.ShellAndWait(QStringLiteral("/bin/true"), 6);
    });
    QVERIFY(runner.ShellAndWait(QStringLiteral("/bin/sleep 0.4"), 6));
    QVERIFY(waiting);
    QVERIFY(!nested);
    QVERIFY(!runner.isWaiting());
}

void IntakeTest::errorOutputIsKeptWithoutStallingTheProgram()
{
    FakeClock clock(1000, Fast);
    CommandRunner runner(clock);
    // Far more than a pipe holds: a program whose error output were not drained would stall
    // until the limit.
    QVERIFY(runner.ShellAndWait(
        R"("/bin/sh" "-c" "echo first words >&2; head -c 1000000 /dev/zero | tr '\0' x >&2")", 6));
    QVERIFY(!runner.isRunning());
    QCOMPARE(runner.errorOutput().size(), CommandRunner::ErrorOutputLimit);
    QVERIFY(runner.errorOutput().startsWith("first words\nxxx"));
}

void IntakeTest::conversionFailuresAreToldApart_data()
{
    // What Debian 12's ImageMagick 6.9.11 writes for each kind of file, as run by the program
    // (the converter reached through the vconvert.exe link names itself convert-im6.q16).
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("input"); // what the converter was given
    QTest::addColumn<bool>("timedOut");
    QTest::addColumn<QByteArray>("errorOutput");
    QTest::addColumn<QString>("notice");
    const QByteArray nothing =
        "convert-im6.q16: no images defined `BMP3:/home/u/.cache/torvanix/window-x/Torvanix.bmp'"
        " @ error/convert.c/ConvertImageCommand/3234.\n";
    QTest::newRow("text named .png, given through a link")
        << "/home/u/a[1].png"
        << "/home/u/.cache/torvanix/window-x/Torvanix-source.png" << false
        << "convert-im6.q16: improper image header "
           "`/home/u/.cache/torvanix/window-x/Torvanix-source.png' @ "
           "error/png.c/ReadPNGImage/4115.\n" +
               nothing
        << "Torvanix cannot read a[1].png: improper image header `a[1].png'";
    QTest::newRow("a warning before the error")
        << "/p/t300.jpg"
        << "/p/t300.jpg" << false
        << "convert-im6.q16: Premature end of JPEG file `/p/t300.jpg' @ "
           "warning/jpeg.c/JPEGWarningHandler/389.\n"
           "convert-im6.q16: Invalid JPEG file structure: missing SOS marker `/p/t300.jpg' @ "
           "error/jpeg.c/JPEGErrorHandler/338.\n" +
               nothing
        << "Torvanix cannot read t300.jpg: Invalid JPEG file structure: missing SOS marker "
           "`t300.jpg'";
    QTest::newRow("more pixels than the limit")
        << "/p/area.pgm"
        << "/p/area.pgm" << false
        << "convert-im6.q16: cache resources exhausted `/p/area.pgm' @ "
           "error/cache.c/OpenPixelCache/4246.\n" +
               nothing
        << "area.pgm is too large for Torvanix: cache resources exhausted `area.pgm'";
    QTest::newRow("gone before the converter read it")
        << "/p/gone.png"
        << "/p/gone.png" << false
        << "convert-im6.q16: unable to open image `/p/gone.png': No such file or directory @ "
           "error/blob.c/OpenBlob/3014.\n" +
               nothing
        << "Torvanix cannot open gone.png: unable to open image `gone.png': No such file or "
           "directory";
    QTest::newRow("raw file without its decoder")
        << "/p/x.dng"
        << "/p/x.dng" << false
        << "convert-im6.q16: delegate failed `'ufraw-batch' --silent --create-id=also "
           "--out-type=png --out-depth=16 --output='%u.png' '%i'' @ "
           "error/delegate.c/InvokeDelegate/1978.\n"
           "convert-im6.q16: unable to open image "
           "`/home/u/.cache/torvanix/window-x/magick-WsR1psNlRQfppCgGB_9A-n7y-JxZ6Moe.ppm': No "
           "such file or directory @ error/blob.c/OpenBlob/3014.\n" +
               nothing
        << "Torvanix cannot read x.dng: delegate failed `'ufraw-batch' --silent --create-id=also "
           "--out-type=png --out-depth=16 --output='%u.png' '%i''";
    QTest::newRow("raw file its decoder cannot read")
        << "/p/bad.dng"
        << "/p/bad.dng" << false
        << "Cannot open /tmp/w/magick-sNSlBRrKfG2mXsK_eGn69h4-dQbHmFnz: Unsupported file format "
           "or not RAW file\n"
           "convert-im6.q16: unable to open image "
           "`/tmp/w/magick-Id4vx0fhwCB5v1MsrP6Jojexj2HYlrvK.ppm': No such file or directory @ "
           "error/blob.c/OpenBlob/3014.\n" +
               nothing
        << "Torvanix cannot read bad.dng: the camera raw decoder cannot read it (Unsupported "
           "file format or not RAW file)";
    QTest::newRow("a temporary copy cannot be opened")
        << "/p/x.svg"
        << "/p/x.svg" << false
        << "convert-im6.q16: unable to open image "
           "`/home/u/.cache/torvanix/window-x/magick-xHk-NCAeF6s5iD7kbL6ii9i11XjAXdCf': No "
           "such file or directory @ error/blob.c/OpenBlob/3014.\n" +
               nothing
        << "Torvanix cannot read x.svg: unable to open image "
           "`magick-xHk-NCAeF6s5iD7kbL6ii9i11XjAXdCf': No such file or directory";
    QTest::newRow("PNG wider than libpng takes: nothing said")
        << "/p/wide.png"
        << "/p/wide.png" << false << nothing
        << "Torvanix cannot read wide.png: ImageMagick finds no picture in it";
    QTest::newRow("over the time limit")
        << "/p/big.tif"
        << "/p/big.tif" << true << QByteArray()
        << "Torvanix gave up on big.tif: converting took longer than 6 seconds";
}

void IntakeTest::conversionFailuresAreToldApart()
{
    QFETCH(QString, path);
    QFETCH(QString, input);
    QFETCH(bool, timedOut);
    QFETCH(QByteArray, errorOutput);
    QFETCH(QString, notice);
    QCOMPARE(intake::conversionFailureNotice(path, input, timedOut, errorOutput), notice);
}

void IntakeTest::commandLineIsSplitWithoutShell_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("the converter's line")
        << R"("/opt/t v/vconvert.exe" "/home/a b/x.jpg" -auto-orient BMP3:"/opt/t v/Torvanix.bmp")"
        << QStringList{"/opt/t v/vconvert.exe", "/home/a b/x.jpg", "-auto-orient",
                       "BMP3:/opt/t v/Torvanix.bmp"};
    QTest::newRow("three quotes are one")
        << R"("/bin/p" "say """hi"""")" << QStringList{"/bin/p", R"(say "hi")"};
    QTest::newRow("shell characters stay plain")
        << R"(/bin/p "$(rm -rf x); `id` | > <")"
        << QStringList{"/bin/p", "$(rm -rf x); `id` | > <"};
    QTest::newRow("unquoted words") << "/bin/p a  b" << QStringList{"/bin/p", "a", "b"};
}

void IntakeTest::commandLineIsSplitWithoutShell()
{
    QFETCH(QString, commandLine);
    QFETCH(QStringList, words);
    FakeClock clock(1000, 1.0);
    QStringList seen;
    CommandRunner runner(clock, [&seen](QProcess& process) {
        seen = QStringList{process.program()} + process.arguments();
        return false;
    });
    QVERIFY(!runner.ShellAndWait(commandLine, 6));
    QCOMPARE(seen, words);
}

void IntakeTest::converterLineGivesTheNameBackWhole_data()
{
    QTest::addColumn<QString>("appFolder");
    QTest::addColumn<QString>("file");
    const QString app = QStringLiteral("/opt/torvanix/");
    QTest::newRow("plain") << app << "/home/ana/scan.jpg";
    QTest::newRow("blanks") << app << "/home/ana/my  photos/scan 1.jpg";
    QTest::newRow("a quote") << app << R"(/tmp/say "cheese".png)";
    QTest::newRow("quote first") << app << R"(/tmp/"x)";
    QTest::newRow("quote last") << app << R"(/tmp/x")";
    QTest::newRow("two quotes") << app << R"(/tmp/"")";
    QTest::newRow("three quotes") << app << R"(/tmp/""")";
    QTest::newRow("quote and blank") << app << R"(/tmp/" x)";
    QTest::newRow("leading dash") << app << "/tmp/-density 9999 x.png";
    QTest::newRow("shell") << app << "/tmp/$(touch pwned); `id`; rm -rf ~ &.png";
    QTest::newRow("newline and tab") << app << "/tmp/line\nbreak\tand tab.png";
    QTest::newRow("frames syntax") << app << "/tmp/photo.png[0]";
    QTest::newRow("format prefix") << app << "/tmp/png:evil";
    QTest::newRow("glob") << app << "/tmp/*.png";
    QTest::newRow("percent") << app << "/tmp/100%d.png";
    QTest::newRow("non-ASCII") << app << "/tmp/çà ñ 写真 🙂.png";
    QTest::newRow("backslashes") << app << R"(/tmp/a\"b\\.png)";
    QTest::newRow("folder with quote and percent") << R"(/opt/"t%v"/)"
                                                   << "/tmp/x.png";
}

void IntakeTest::converterLineGivesTheNameBackWhole()
{
    QFETCH(QString, appFolder);
    QFETCH(QString, file);
    const QString workFolder = QStringLiteral("/home/u/.cache/torvanix/window-Ab12Cd/");
    const QStringList words =
        QProcess::splitCommand(intake::converterCommandLine(appFolder, workFolder, file));
    QString output = workFolder + QStringLiteral("Torvanix.bmp");
    output.replace(QLatin1Char('%'), QStringLiteral("%%"));
    QCOMPARE(words,
             (QStringList{appFolder + QStringLiteral("vconvert.exe"), file,
                          QStringLiteral("-auto-orient"), QStringLiteral("BMP3:") + output}));
}

void IntakeTest::onlyPlainReadableFilesAreConverted()
{
    const auto convertible = [](const QByteArray& path) {
        return intake::isConvertibleFile(intake::NamedFile(path));
    };
    QTemporaryDir dir;
    const QByteArray file = QFile::encodeName(dir.filePath(QStringLiteral("a.png")));
    QFile(QFile::decodeName(file)).open(QIODevice::WriteOnly);
    QVERIFY(convertible(file));
    QVERIFY(!convertible(QFile::encodeName(dir.path())));
    QVERIFY(!convertible(QFile::encodeName(dir.filePath(QStringLiteral("missing.png")))));
    QVERIFY(!convertible("/dev/zero"));
    QVERIFY(!convertible("relative.png"));
    QVERIFY(!convertible(QByteArray()));
    // A NUL would end the name at that of the existing file.
    QVERIFY(!convertible(file + QByteArray("\0.jpg", 5)));
}

void IntakeTest::workingPictureNeverThroughALink()
{
    QTemporaryDir app;
    QTemporaryDir elsewhere;
    QImage image(7, 5, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString outside = elsewhere.filePath(QStringLiteral("outside.bmp"));
    QVERIFY(image.save(outside, "BMP"));
    const QString folder = app.path() + QLatin1Char('/');
    const QSize fit(100, 100);
    QVERIFY(QFile::link(outside, folder + QStringLiteral("Torvanix.bmp")));
    QVERIFY(intake::loadWorkingPicture(folder, fit).isNull());

    // A plain file loads; the single picture wins over a first page.
    QFile::remove(folder + QStringLiteral("Torvanix.bmp"));
    QVERIFY(image.save(folder + QStringLiteral("Torvanix-0.bmp"), "BMP"));
    QCOMPARE(intake::loadWorkingPicture(folder, fit).pixelSize, QSize(7, 5));
    QVERIFY(image.scaled(3, 2).save(folder + QStringLiteral("Torvanix.bmp"), "BMP"));
    QCOMPARE(intake::loadWorkingPicture(folder, fit).pixelSize, QSize(3, 2));
    QCOMPARE(intake::loadWorkingPicture(folder, fit).full->size(), QSize(3, 2));
    intake::deleteWorkingFiles(folder);
    QVERIFY(intake::loadWorkingPicture(folder, fit).isNull());
}

namespace {

// A 24-bit BMP as the converter writes it, every pixel telling its own position.
QByteArray bmp24(int width, int height, bool topDown)
{
    const int stride = (width * 3 + 3) / 4 * 4;
    QByteArray data;
    auto put32 = [&data](quint32 v) {
        data.append(reinterpret_cast<const char*>(&v), 4);
    };
    auto put16 = [&data](quint16 v) {
        data.append(reinterpret_cast<const char*>(&v), 2);
    };
    data.append("BM");
    put32(static_cast<quint32>(54 + stride * height));
    put32(0);
    put32(54);
    put32(40);
    put32(static_cast<quint32>(width));
    put32(static_cast<quint32>(topDown ? -height : height));
    put16(1);
    put16(24);
    put32(0);
    put32(static_cast<quint32>(stride * height));
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const int y = topDown ? fileRow : height - 1 - fileRow;
        QByteArray row(stride, '\0');
        for (int x = 0; x < width; ++x) {
            const qsizetype at = 3 * static_cast<qsizetype>(x);
            row[at] = static_cast<char>(y);     // blue
            row[at + 1] = static_cast<char>(x); // green
            row[at + 2] = 7;                    // red
        }
        data.append(row);
    }
    return data;
}

QString written(const QTemporaryDir& dir, const QByteArray& bytes)
{
    QString path = dir.filePath(QStringLiteral("picture.bmp"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
    return path;
}

} // namespace

void IntakeTest::bmpReadsWholeOrFitted_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("topDown");
    QTest::addColumn<QSize>("fit");
    QTest::addColumn<QSize>("shown");
    QTest::newRow("whole, bottom-up") << QSize(13, 7) << false << QSize(100, 100) << QSize(13, 7);
    QTest::newRow("whole, top-down") << QSize(13, 7) << true << QSize(100, 100) << QSize(13, 7);
    QTest::newRow("fitted across") << QSize(200, 9) << false << QSize(50, 50) << QSize(50, 9);
    QTest::newRow("fitted both ways") << QSize(201, 150) << true << QSize(40, 30) << QSize(40, 30);
    QTest::newRow("row padding") << QSize(5, 3) << false << QSize(5, 3) << QSize(5, 3);
}

void IntakeTest::bmpReadsWholeOrFitted()
{
    QFETCH(QSize, size);
    QFETCH(bool, topDown);
    QFETCH(QSize, fit);
    QFETCH(QSize, shown);
    QTemporaryDir dir;
    const auto picture =
        intake::readBmp(written(dir, bmp24(size.width(), size.height(), topDown)), fit);
    QCOMPARE(picture.pixelSize, size);
    QCOMPARE(picture.display.size(), shown);
    // Each shown pixel is the source pixel at the centre of the area it stands for.
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const int sx = (2 * x + 1) * size.width() / (2 * shown.width());
            const int sy = (2 * y + 1) * size.height() / (2 * shown.height());
            QCOMPARE(picture.display.pixel(x, y), qRgb(7, sx & 0xff, sy & 0xff));
        }
    }
}

void IntakeTest::badBmpIsNull_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = bmp24(20, 10, false);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a BMP") << QByteArray(
        "\x89PNG\r\n\x1a\n and more bytes to fill a header......");
    QTest::newRow("header only") << good.left(54);
    QTest::newRow("cut short") << good.left(good.size() - 1);
    QByteArray huge = good;
    const qint32 wide = 1 << 30;
    huge.replace(18, 4, reinterpret_cast<const char*>(&wide), 4);
    QTest::newRow("claims a huge width") << huge;
    QByteArray negative = good;
    const qint32 minus = -20;
    negative.replace(18, 4, reinterpret_cast<const char*>(&minus), 4);
    QTest::newRow("negative width") << negative;
    QByteArray offset = good;
    const quint32 far = 0x7fffffff;
    offset.replace(10, 4, reinterpret_cast<const char*>(&far), 4);
    QTest::newRow("data beyond the end") << offset;
}

void IntakeTest::badBmpIsNull()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QVERIFY(intake::readBmp(written(dir, bytes), QSize(100, 100)).isNull());
    QVERIFY(!intake::FullPicture::fromBmp(written(dir, bytes)));
}

namespace {

// Colours that tell each pixel's place, in the format that makes the converter write each
// kind of BMP: a palette for a grey picture or one of few colours.
QImage testPicture(const QString& kind)
{
    // Rows padded in every depth, and long enough for run-length data to be marked along them.
    constexpr QSize size(2101, 23);
    const bool grey = kind == QLatin1String("grey");
    const bool alpha = kind == QLatin1String("alpha");
    const int colours = kind == QLatin1String("two colours") ? 2 : 9;
    const bool indexed = !grey && !alpha && kind != QLatin1String("colour");
    QImage picture(size, indexed ? (colours == 2 ? QImage::Format_Mono : QImage::Format_Indexed8)
                                 : QImage::Format_ARGB32);
    if (indexed) {
        QList<QRgb> table;
        for (int c = 0; c < colours; ++c) {
            table.append(qRgb(c * 28, 200 - c * 20, c * c));
        }
        picture.setColorTable(table);
    }
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            // Flat on the left, so that run-length data has runs of both kinds.
            const int level = x < 12 ? y * 16 % 256 : (x * 5 + y * 11) % 256;
            if (indexed) {
                picture.setPixel(x, y, static_cast<uint>((x / 3 + y) % colours));
            } else {
                picture.setPixel(x, y,
                                 grey    ? qRgb(level, level, level)
                                 : alpha ? qRgba(x * 7, y * 11, 90, (x * 13 + y * 3) % 256)
                                         : qRgb(x * 7, y * 11, (x * y) % 256));
            }
        }
    }
    return grey    ? picture.convertToFormat(QImage::Format_Grayscale8)
           : alpha ? picture
                   : picture.convertToFormat(indexed ? picture.format() : QImage::Format_RGB32);
}

// The same uncompressed BMP with its rows stored top-down.
QByteArray topDown(const QByteArray& bottomUp)
{
    const auto* header = bottomUp.constData();
    const auto dataOffset = intake::bmp::field<quint32>(header + 10);
    const qsizetype width = intake::bmp::field<qint32>(header + 18);
    const auto height = intake::bmp::field<qint32>(header + 22);
    const auto bits = intake::bmp::field<quint16>(header + 28);
    const qsizetype stride = (width * bits + 31) / 32 * 4;
    QByteArray flipped = bottomUp.left(dataOffset);
    const qint32 negative = -height;
    flipped.replace(22, 4, reinterpret_cast<const char*>(&negative), 4);
    for (qint32 row = height - 1; row >= 0; --row) {
        flipped.append(bottomUp.mid(dataOffset + row * stride, stride));
    }
    return flipped;
}

} // namespace

void IntakeTest::fullPictureReadsEveryKindOfBmp_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("writer"); // the converter's output format, or Qt
    QTest::addColumn<bool>("flip");
    const auto row = [](const char* name, const char* kind, const char* writer, bool flip) {
        QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(writer) << flip;
    };
    row("converter, colour: 24 bits", "colour", "BMP3", false);
    row("converter, colour, top-down", "colour", "BMP3", true);
    row("converter, grey: 8-bit runs", "grey", "BMP3", false);
    row("converter, alpha dropped: 24 bits", "alpha", "BMP3", false);
    row("converter, few colours: 4 bits", "few colours", "BMP3", false);
    row("converter, two colours: 1 bit", "two colours", "BMP3", false);
    row("converter, alpha: 32-bit fields", "alpha", "BMP", false);
    row("converter, alpha, top-down", "alpha", "BMP", true);
    row("Qt, colour: 24 bits", "colour", "Qt", false);
    row("Qt, grey: 8 bits", "grey", "Qt", false);
    row("Qt, grey, top-down", "grey", "Qt", true);
    row("Qt, few colours, top-down: 4 bits", "few colours", "Qt", true);
    row("Qt, two colours, top-down: 1 bit", "two colours", "Qt", true);
}

void IntakeTest::fullPictureReadsEveryKindOfBmp()
{
    QFETCH(QString, kind);
    QFETCH(QString, writer);
    QFETCH(bool, flip);
    QTemporaryDir dir;
    const QString bmp = dir.filePath(QStringLiteral("picture.bmp"));
    const QImage picture = testPicture(kind);
    if (writer == QLatin1String("Qt")) {
        QVERIFY(picture.save(bmp, "BMP"));
    } else {
        const QString png = dir.filePath(QStringLiteral("picture.png"));
        QVERIFY(picture.save(png));
        QCOMPARE(QProcess::execute(QStringLiteral(TORVANIX_CONVERTER),
                                   {png, writer + QLatin1Char(':') + bmp}),
                 0);
    }
    // What Qt's own reader makes of the file, its colours as stored whatever their alpha.
    const QImage expected = QImage(bmp).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!expected.isNull());
    QFile file(bmp);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    // Half the pixel data is not a picture.
    const auto dataOffset = intake::bmp::field<quint32>(bytes.constData() + 10);
    QVERIFY(!intake::FullPicture::fromBmp(
        written(dir, bytes.left(dataOffset + (bytes.size() - dataOffset) / 2))));

    const QString path = written(dir, flip ? topDown(bytes) : bytes);
    const auto full = intake::FullPicture::fromBmp(path);
    QVERIFY(full);
    QVERIFY(QFile::remove(path)); // the mapping keeps what it maps
    QCOMPARE(full->size(), expected.size());
    const int w = expected.width();
    const int h = expected.height();
    for (const QRect& area : {QRect(3, 2, 10, 7), QRect(w - 4, h - 3, 9, 8), QRect(-2, -3, 6, 6),
                              QRect(w + 5, 0, 4, 4), QRect(0, 0, w, h)}) {
        const QImage region = full->region(area);
        QCOMPARE(region.size(), area.size());
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb want = expected.rect().contains(x, y) ? expected.pixel(x, y) : 0;
                QCOMPARE(region.pixel(x - area.left(), y - area.top()), want | 0xFF000000);
            }
        }
    }
    QCOMPARE(full->channels(), 3);
    std::vector<float> colour(static_cast<std::size_t>(3 * w));
    for (int y = 0; y < h; ++y) {
        full->readRow(y, 5, w - 3, colour.data());
        for (int x = 5; x < w - 3; ++x) {
            const QRgb c = expected.pixel(x, y);
            const float* got = colour.data() + static_cast<std::ptrdiff_t>(3 * (x - 5));
            QCOMPARE(
                qRgb(static_cast<int>(got[0]), static_cast<int>(got[1]), static_cast<int>(got[2])),
                c | 0xFF000000);
        }
    }
    // Several threads at once, as a large band and the loupe read it: each sees its own pixels.
    const QImage whole = full->region(QRect(0, 0, w, h)); // as compared above
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    readers.reserve(4);
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            std::vector<float> got(static_cast<std::size_t>(3 * w));
            for (int y = 0; y < h; ++y) {
                const int step = 1 + (y + t) % 4;
                const int count = (w - 1) / step + 1;
                full->readPixels(y, 0, count, step, got.data());
                for (int k = 0; k < count; ++k) {
                    const float* c = got.data() + static_cast<std::ptrdiff_t>(3 * k);
                    const QRgb want = expected.pixel(k * step, y) | 0xFF000000;
                    wrong += qRgb(static_cast<int>(c[0]), static_cast<int>(c[1]),
                                  static_cast<int>(c[2])) != want;
                }
            }
            wrong += full->region(QRect(0, 0, w, h)) != whole;
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    QCOMPARE(wrong.load(), 0);
}

void IntakeTest::workingFolderIsMadeWherePossible_data()
{
    // The cache place to try first; the temporary place after it always works.
    QTest::addColumn<QString>("cache");
    QTest::addColumn<bool>("inCache");
    QTest::newRow("cache made when missing") << "home/.cache/torvanix" << true;
    QTest::newRow("colon in the cache path") << "tvx:shots/torvanix" << false;
    QTest::newRow("percent in the cache path") << "100%/torvanix" << false;
    // The raw decoder's command would get these as "_".
    QTest::newRow("non-ASCII in the cache path") << "José/torvanix" << false;
    QTest::newRow("quote in the cache path") << "o'brien/torvanix" << false;
    QTest::newRow("link to a folder with brackets") << "link/torvanix" << false;
    QTest::newRow("a file in the way") << "file/torvanix" << false;
}

void IntakeTest::workingFolderIsMadeWherePossible()
{
    QFETCH(QString, cache);
    QFETCH(bool, inCache);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("odd[1]")));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("odd[1]")),
                        root.filePath(QStringLiteral("link"))));
    QVERIFY(QFile(root.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("tmp")));
    const QString cacheParent = root.filePath(cache);
    const QString tmp = root.filePath(QStringLiteral("tmp"));

    QString path;
    {
        intake::WorkingFolder folder({{cacheParent, QStringLiteral("window-"), true},
                                      {tmp, QStringLiteral("torvanix-"), false}});
        QVERIFY(folder.isValid());
        path = folder.path();
        const QString expected =
            inCache ? cacheParent + QStringLiteral("/window-") : tmp + QStringLiteral("/torvanix-");
        QVERIFY2(path.startsWith(expected), qPrintable(path));
        QVERIFY(intake::plainForConverter(QFileInfo(path).canonicalFilePath()));
        // Private: the owner may do everything, group and others nothing.
        constexpr QFile::Permissions ownerOnly =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        constexpr QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup |
                                              QFile::ExeGroup | QFile::ReadOther |
                                              QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFileInfo(path).permissions() & (ownerOnly | others), ownerOnly);
        QFile picture(path + QStringLiteral("Torvanix.bmp"));
        QVERIFY(picture.open(QIODevice::WriteOnly));
    }
    // Gone with everything in it once the window is done with it.
    QVERIFY(!QFileInfo::exists(path));

    intake::WorkingFolder nowhere(
        {{root.filePath(QStringLiteral("file/x")), QStringLiteral("w-"), true}});
    QVERIFY(!nowhere.isValid());
    QCOMPARE(nowhere.tried(), QStringList{root.filePath(QStringLiteral("file/x"))});
}

void IntakeTest::runningWindowsFolderIsSpared()
{
    QTemporaryDir root;
    const QList<intake::WorkingPlace> places{{root.path(), QStringLiteral("window-"), false}};
    const intake::WorkingFolder first(places);
    QFile picture(first.path() + QStringLiteral("Torvanix.bmp"));
    QVERIFY(picture.open(QIODevice::WriteOnly));
    // A second window clears what stopped windows left, but this one still runs.
    const intake::WorkingFolder second(places);
    QVERIFY(second.isValid());
    QVERIFY(second.path() != first.path());
    QVERIFY(QFileInfo::exists(first.path() + QStringLiteral("Torvanix.bmp")));
}

void IntakeTest::pasteKeepsItsFullPixels_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("PNG") << QByteArray("PNG");
    QTest::newRow("BMP") << QByteArray("BMP");
}

void IntakeTest::pasteKeepsItsFullPixels()
{
    QFETCH(QByteArray, format);
    const QImage picture = testPicture(QStringLiteral("colour"));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, format.constData()));
    const auto pasted = intake::readPicture(bytes, QSize(10, 10));
    QCOMPARE(pasted.display.size(), QSize(10, 10));
    QVERIFY(pasted.full);
    QCOMPARE(pasted.full->region(picture.rect()), picture);
}

QTEST_GUILESS_MAIN(IntakeTest)
#include "tst_intake.moc"
