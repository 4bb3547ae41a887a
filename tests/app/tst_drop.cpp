// Dropping files on the real window, converted by the real ImageMagick, on pictures the tests
// make. The drop is delivered as the platform would deliver it, and the import then runs to
// its end before each check.
#include "WindowHarness.h"

#include "FakeClock.h"

#include <QBuffer>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <optional>

#include <unistd.h>

using namespace harness;

namespace {

const QString Converter = QStringLiteral(TORVANIX_CONVERTER);
const QString Base = QStringLiteral("Torvanix by Dalvester");

// Runs ImageMagick to make a test picture; the target is given in ImageMagick's own syntax.
void make(const QStringList& arguments)
{
    QProcess convert;
    convert.start(Converter, arguments);
    QVERIFY(convert.waitForFinished(30000));
    QCOMPARE(convert.exitCode(), 0);
}

// A picture of the given size at a plain path, then renamed to whatever name the test needs,
// so ImageMagick never sees the strange name while making it.
QString picture(const QTemporaryDir& dir, const QString& name, QSize size,
                const QString& source = QStringLiteral("xc:orange"))
{
    const QString plain = dir.filePath(QStringLiteral("making.png"));
    make({QStringLiteral("-size"), QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
          source, QStringLiteral("PNG:") + plain});
    QString path = dir.filePath(name);
    QFile::remove(path);
    if (!QFile::rename(plain, path)) {
        qWarning("cannot name the picture %s", qPrintable(path));
    }
    return path;
}

QMimeData* filesData(const QStringList& files)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& file : files) {
        urls.append(QUrl::fromLocalFile(file));
    }
    data->setUrls(urls);
    return data;
}

// Whether the view would take this drag now.
bool acceptsDrag(frmTorvanix& window, const QMimeData* data)
{
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(window.imgTorvanix(), &enter);
    return enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
}

// Drags the data onto the picture and drops it there, as the platform does (a drop only reaches
// a widget that took the drag), then lets the import run to its end.
void dropData(frmTorvanix& window, const QMimeData* data)
{
    acceptsDrag(window, data);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(window.imgTorvanix(), &drop);
    QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
}

void drop(frmTorvanix& window, const QStringList& files)
{
    const std::unique_ptr<QMimeData> data(filesData(files));
    dropData(window, data.get());
}

// Closes any message box that comes up, recording what it said.
struct MessageWatch {
    QTimer timer;
    QStringList seen;
    bool cursorWasBusy = false;

    MessageWatch()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            seen << box->windowTitle() << box->text()
                 << (box->icon() == QMessageBox::Warning ? QStringLiteral("warning")
                                                         : QStringLiteral("other icon"));
            cursorWasBusy = QGuiApplication::overrideCursor() != nullptr;
            box->accept();
        });
        timer.start();
    }
};

// The application folder of a test: the converter link where the program expects it.
struct AppFolder {
    QTemporaryDir dir;
    [[nodiscard]] QString path() const { return dir.path() + QLatin1Char('/'); }
    explicit AppFolder(const QString& converter = Converter)
    {
        if (!converter.isEmpty()) {
            QFile::link(converter, path() + QStringLiteral("vconvert.exe"));
        }
    }
};

// A converter that writes the start of a file, then keeps running; it leaves its process id.
QString writeSlowConverter(const QTemporaryDir& dir)
{
    QString script = dir.filePath(QStringLiteral("slow-converter"));
    QFile file(script);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("#!/bin/sh\n"
                   "echo $$ > \"$(dirname \"$0\")/converter.pid\"\n"
                   "for last; do :; done\n"
                   "printf 'BM half a picture' > \"${last#BMP3:}\"\n"
                   "exec sleep 60\n");
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return script;
}

std::optional<qint64> pidIn(const QTemporaryDir& dir)
{
    QFile file(dir.filePath(QStringLiteral("converter.pid")));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll().trimmed().toLongLong();
}

bool alive(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0;
}

struct Snapshot {
    QSize picture;
    QString tag;
    QString caption;
    measure::LineControl line;

    explicit Snapshot(const frmTorvanix& window)
        : picture(pictureSize(window))
        , tag(label(window))
        , caption(window.writtenTitle())
        , line(window.measurement().line())
    {
    }
    bool operator==(const Snapshot&) const = default;
};

} // namespace

class DropTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void formatsShowTheirPicture_data();
    void formatsShowTheirPicture();
    void photosShowUpright_data();
    void photosShowUpright();
    void lineKeepsItsPlaceOnANewPicture();
    void badDropsChangeNothing_data();
    void badDropsChangeNothing();
    void noticeGoesAtTheNextPressOrKeyOrInTime();
    void onlyTheFirstFileIsUsed();
    void strangeNamesReachTheConverterWhole_data();
    void strangeNamesReachTheConverterWhole();
    void converterGetsTheFileAsOneArgument_data();
    void converterGetsTheFileAsOneArgument();
    void linkKeepsAPlainExtension();
    void multiPageAfterSingleShowsTheNewPicture();
    void applicationFolderWithConverterSyntax();
    void plantedLinkIsNeverWrittenThrough();
    void missingConverterSaysSo();
    void noWorkingFolderSaysWhere();
    void slowConverterIsEndedAtTheLimit();
    void closingDuringConversionEndsIt();
    void workingFolderOnlyForAConversion();
};

void DropTest::formatsShowTheirPicture_data()
{
    QTest::addColumn<QStringList>("makeArguments"); // the target's name is appended
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("PNG") << QStringList{"-size", "320x200", "xc:red"} << "pic.png"
                         << QSize(320, 200);
    QTest::newRow("JPEG") << QStringList{"-size", "300x150", "gradient:red-blue"} << "pic.jpg"
                          << QSize(300, 150);
    QTest::newRow("GIF") << QStringList{"-size", "64x48", "xc:green"} << "pic.gif" << QSize(64, 48);
    QTest::newRow("BMP") << QStringList{"-size", "50x40", "xc:blue"} << "pic.bmp" << QSize(50, 40);
    QTest::newRow("WebP") << QStringList{"-size", "90x70", "xc:navy"} << "pic.webp"
                          << QSize(90, 70);
    QTest::newRow("TIFF of three pages shows the first")
        << QStringList{"-size",    "30x20", "xc:red", "-size",  "40x30",
                       "xc:green", "-size", "50x40",  "xc:blue"}
        << "three.tiff" << QSize(30, 20);
    QTest::newRow("PNG named .jpg")
        << QStringList{"-size", "77x33", "xc:pink", "PNG:"} << "really-png.jpg" << QSize(77, 33);
}

void DropTest::formatsShowTheirPicture()
{
    QFETCH(QStringList, makeArguments);
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QTemporaryDir pictures;
    const QString path = pictures.filePath(name);
    QStringList arguments = makeArguments;
    if (arguments.last().endsWith(QLatin1Char(':'))) {
        arguments.last() += path;
    } else {
        arguments << path;
    }
    make(arguments);

    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    const std::unique_ptr<QMimeData> data(filesData({path}));
    QVERIFY(acceptsDrag(*window, data.get()));
    dropData(*window, data.get());
    QCOMPARE(pictureSize(*window), size);
    QCOMPARE(label(*window), " [" + path + "]");
    QCOMPARE(window->writtenTitle(), Base + " [" + path + "]");
    QCOMPARE(shownTitle(*window), Base + " [" + path + "]");
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QVERIFY(!window->isConverting());
}

void DropTest::photosShowUpright_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QString>("corners"); // upright: top left, top right, bottom left, bottom right
    QTest::addColumn<QString>("format");
    // Stored as red, green / blue, white; each orientation tag says how to turn it upright.
    const QStringList upright{"RGBW", "GRWB", "WBGR", "BWRG", "RBGW", "BRWG", "WGBR", "GWRB"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        QTest::addRow("JPEG, orientation %d", orientation)
            << orientation << upright[orientation - 1] << "jpg";
    }
    QTest::newRow("TIFF, orientation 6") << 6 << upright[5] << "tif";
}

void DropTest::photosShowUpright()
{
    QFETCH(int, orientation);
    QFETCH(QString, corners);
    QFETCH(QString, format);
    const QSize stored(64, 48);
    QTemporaryDir pictures;
    const QString path = pictures.filePath(QStringLiteral("photo.") + format);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    quadrantPicture(stored.width(), stored.height()).save(&buffer, "jpg", 95);
    QFile file(pictures.filePath(QStringLiteral("photo.jpg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(withOrientation(jpeg, orientation));
    file.close();
    if (format == QStringLiteral("tif")) {
        make({file.fileName(), QStringLiteral("-orient"), QStringLiteral("RightTop"), path});
    }
    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    drop(*window, {path});
    QCOMPARE(pictureSize(*window), orientation >= 5 ? stored.transposed() : stored);
    QCOMPARE(quadrants(window->imgTorvanix()->picture()), corners);
}

void DropTest::lineKeepsItsPlaceOnANewPicture()
{
    QTemporaryDir pictures;
    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    drop(*window, {picture(pictures, "wide.png", {600, 400})});
    press(*window, QPointF(100, 300));
    const measure::LineFractions rel = window->measurement().fractions();
    const QString tall = picture(pictures, "tall.png", {300, 600});
    drop(*window, {tall});
    QCOMPARE(window->measurement().fractions().RelX2, rel.RelX2);
    QCOMPARE(window->measurement().fractions().RelY2, rel.RelY2);
    QVERIFY(window->measurement().line().Visible);
    // The same line on screen now lies over a picture four times taller for its width: steep,
    // its lower end to the left.
    QCOMPARE(window->writtenTitle(), "Vertical-33.69° - Torvanix by Dalvester [" + tall + "]");
}

void DropTest::badDropsChangeNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("notice"); // what the window says instead
    const QString header = "Torvanix cannot read bad.png: improper image header `bad.png'";
    QTest::newRow("zero bytes") << "zero" << header;
    QTest::newRow("truncated PNG")
        << "truncated"
        << "Torvanix cannot read bad.png: insufficient image data in file `bad.png'";
    QTest::newRow("text named .png") << "text" << header;
    QTest::newRow("unknown format")
        << "unknown"
        << "Torvanix cannot read holiday.xyz: no decode delegate for this image format `XYZ'";
    QTest::newRow("PostScript, refused by the policy")
        << "postscript"
        << "Torvanix may not read doc.pdf: attempt to perform an operation not allowed by the "
           "security policy `PS'";
    QTest::newRow("wider than the converter's limit")
        << "wide"
        << "wide.pgm is too large for Torvanix: width or height exceeds limit `wide.pgm'";
    QTest::newRow("a folder") << "folder"
                              << "Torvanix cannot open folder.png: it is a folder";
    QTest::newRow("a file that is gone") << "gone"
                                         << "Torvanix cannot open bad.png: there is no such file";
    QTest::newRow("no permission") << "unreadable"
                                   << "Torvanix cannot open %1: permission denied";
    QTest::newRow("dragged text, no file") << "no file"
                                           << "";
    QTest::newRow("a device") << "device"
                              << "Torvanix cannot open zero: it is not a plain file";
}

void DropTest::badDropsChangeNothing()
{
    QFETCH(QString, kind);
    QFETCH(QString, notice);
    QTemporaryDir pictures;
    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    drop(*window, {picture(pictures, "good.png", {320, 200})});
    press(*window, QPointF(100, 100));
    const Snapshot before(*window);
    QVERIFY(before.line.Visible);

    MessageWatch messages;
    if (kind == u"no file") {
        QMimeData text;
        text.setText(QStringLiteral("/etc/passwd"));
        QVERIFY(!acceptsDrag(*window, &text));
        dropData(*window, &text);
        // Should one arrive all the same, a drop without a file does nothing.
        emit window->imgTorvanix()->filesDropped({});
        QCoreApplication::sendPostedEvents(window.window.get(), QEvent::MetaCall);
    } else {
        QString path = pictures.filePath(QStringLiteral("bad.png"));
        if (kind == u"zero") {
            QFile(path).open(QIODevice::WriteOnly);
        } else if (kind == u"truncated") {
            const QString whole = picture(pictures, "whole.png", {400, 300}, "plasma:");
            QFile source(whole);
            QVERIFY(source.open(QIODevice::ReadOnly));
            QFile target(path);
            QVERIFY(target.open(QIODevice::WriteOnly));
            target.write(source.read(60));
        } else if (kind == u"text") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("this is not a picture\n");
        } else if (kind == u"folder") {
            path = pictures.filePath(QStringLiteral("folder.png"));
            QVERIFY(QDir().mkdir(path));
        } else if (kind == u"device") {
            path = QStringLiteral("/dev/zero");
        } else if (kind == u"unknown" || kind == u"postscript") {
            path = pictures.filePath(kind == u"unknown" ? "holiday.xyz" : "doc.pdf");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(kind == u"unknown" ? "hello\n" : "%!PS-Adobe-3.0\nshowpage\n");
        } else if (kind == u"wide") {
            path = pictures.filePath(QStringLiteral("wide.pgm"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("P5\n20000 10\n255\n" + QByteArray(200000, '\0'));
        } else if (kind == u"unreadable") {
            // Root reads any file but one whose kernel side has no reading at all.
            if (::geteuid() == 0) {
                path = QStringLiteral("/sys/bus/pci/rescan");
            } else {
                QFile(path).open(QIODevice::WriteOnly);
                QFile::setPermissions(path, QFileDevice::WriteOwner);
            }
            if (!QFileInfo(path).isFile()) {
                QSKIP("no file here that this user cannot read");
            }
            notice = notice.arg(QFileInfo(path).fileName());
        }
        drop(*window, {path});
    }
    QCOMPARE(Snapshot(*window), before);
    QVERIFY(messages.seen.isEmpty());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(window->imgTorvanix()->notice(), notice);
    QCOMPARE(window->accessibleDescription(), notice);
}

void DropTest::noticeGoesAtTheNextPressOrKeyOrInTime()
{
    QTemporaryDir pictures;
    AppFolder app;
    Surroundings surroundings{app.dir.path()};
    surroundings.noticeTime = std::chrono::milliseconds(300);
    ShownWindow window(std::move(surroundings));
    drop(*window, {picture(pictures, "good.png", {320, 200}, "xc:white")});
    const QString unknown = pictures.filePath(QStringLiteral("photo.xyz"));
    QFile(unknown).open(QIODevice::WriteOnly);
    PictureView& view = *window->imgTorvanix();
    const auto bottomLeft = [&view] {
        return QColor(view.grab().toImage().pixel(2, view.height() - 2)).lightness();
    };
    QCOMPARE(bottomLeft(), 255);

    drop(*window, {unknown});
    QVERIFY(!view.notice().isEmpty());
    // A dark band across the bottom carries it, and only the bottom.
    QVERIFY(view.noticeBand().bottom() == view.height() - 1 && view.noticeBand().top() > 300);
    QVERIFY(bottomLeft() < 100);
    QCOMPARE(QColor(view.grab().toImage().pixel(2, 2)).lightness(), 255);
    QTest::keyClick(window.window.get(), Qt::Key_Shift);
    QCOMPARE(view.notice(), QString());
    QCOMPARE(bottomLeft(), 255);

    drop(*window, {unknown});
    press(*window, QPointF(10, 10));
    QCOMPARE(view.notice(), QString());

    drop(*window, {unknown});
    QVERIFY(!view.notice().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(view.notice(), QString(), 2000);
    QCOMPARE(window->accessibleDescription(), QString());
}

void DropTest::onlyTheFirstFileIsUsed()
{
    QTemporaryDir pictures;
    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    const QString first = picture(pictures, "first.png", {111, 55});
    drop(*window, {first, picture(pictures, "second.png", {222, 66})});
    QCOMPARE(pictureSize(*window), QSize(111, 55));
    QCOMPARE(label(*window), " [" + first + "]");
}

void DropTest::strangeNamesReachTheConverterWhole_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("decoy"); // a file the converter could be fooled into reading
    QTest::newRow("double quotes") << R"(say "cheese".png)"
                                   << "say ";
    QTest::newRow("only quotes") << R"("")"
                                 << "";
    QTest::newRow("blanks") << "my  holiday photo .png"
                            << "my";
    QTest::newRow("leading dash") << "-resize 1x1 -.png"
                                  << "";
    QTest::newRow("command substitution") << "$(touch pwned).png"
                                          << "";
    QTest::newRow("backticks and semicolons") << "`touch pwned`; x;.png"
                                              << "";
    QTest::newRow("newline") << "line\nbreak.png"
                             << "line";
    QTest::newRow("frames syntax") << "photo.png[1]"
                                   << "photo.png";
    QTest::newRow("format prefix") << "gif:photo"
                                   << "photo";
    QTest::newRow("glob") << "a*.png"
                          << "ab.png";
    QTest::newRow("percent") << "%d%s.png"
                             << "0.png";
    QTest::newRow("brackets and braces") << "{a,b}[x].png"
                                         << "a.png";
    QTest::newRow("non-ASCII") << "çà ñ 写真 🙂.png"
                               << "";
    QTest::newRow("at sign") << "@list.png"
                             << "list.png";
}

void DropTest::strangeNamesReachTheConverterWhole()
{
    QFETCH(QString, name);
    QFETCH(QString, decoy);
    QTemporaryDir pictures;
    const QString path = picture(pictures, name, {123, 45});
    QVERIFY(QFileInfo::exists(path));
    if (!decoy.isEmpty()) {
        picture(pictures, decoy, {9, 9}, QStringLiteral("xc:black"));
    }
    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    drop(*window, {path});
    QCOMPARE(pictureSize(*window), QSize(123, 45));
    QCOMPARE(label(*window), " [" + path + "]");
    QCOMPARE(shownTitle(*window), Base + " [" + path + "]");
    QVERIFY(!QFileInfo::exists(pictures.filePath(QStringLiteral("pwned"))));
    QVERIFY(!QFileInfo::exists(QStringLiteral("pwned")));
    // Any link made for the converter is gone again.
    QCOMPARE(
        QDir(window->workingFolder()).entryList({QStringLiteral("Torvanix-source*")}, QDir::System),
        QStringList());
}

void DropTest::converterGetsTheFileAsOneArgument_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("asItself"); // or through a link under a plain name
    QTest::newRow("plain") << "scan.png" << true;
    QTest::newRow("quotes and blanks") << R"( say "cheese" .png)" << true;
    QTest::newRow("shell syntax") << "$(id) `id` ; & | > x.png" << true;
    QTest::newRow("leading dash") << "-write x.png" << true;
    QTest::newRow("newline") << "a\nb.png" << true;
    QTest::newRow("wildcard") << "*.png" << false;
    QTest::newRow("frames") << "x.png[0]" << false;
    QTest::newRow("scene number") << "x%03d.png" << false;
}

void DropTest::converterGetsTheFileAsOneArgument()
{
    QFETCH(QString, name);
    QFETCH(bool, asItself);
    QTemporaryDir pictures;
    const QString path = picture(pictures, name, {12, 34});
    // A converter that records the arguments it gets, NUL-separated, then does the real work.
    const QString record = pictures.filePath(QStringLiteral("arguments"));
    const QString script = pictures.filePath(QStringLiteral("recording-converter"));
    {
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\nprintf '%s\\0' \"$@\" > '%1'\nexec '%2' \"$@\"\n")
                       .arg(record, Converter)
                       .toUtf8());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    AppFolder app(script);
    ShownWindow window(Surroundings{app.dir.path()});
    drop(*window, {path});

    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> arguments = file.readAll().split('\0');
    arguments.removeLast();
    QCOMPARE(arguments.size(), 3);
    const QString input = QString::fromUtf8(arguments[0]);
    if (asItself) {
        QCOMPARE(input, path);
    } else {
        QVERIFY(input.startsWith(window->workingFolder() + QStringLiteral("Torvanix-source")));
        QVERIFY(!input.contains(QLatin1Char('[')) && !input.contains(QLatin1Char('*')));
    }
    QCOMPARE(arguments[1], "-auto-orient");
    QCOMPARE(QString::fromUtf8(arguments[2]), "BMP3:" + window->workingFolder() + "Torvanix.bmp");
    QCOMPARE(pictureSize(*window), QSize(12, 34));
    QCOMPARE(label(*window), " [" + path + "]");
}

void DropTest::linkKeepsAPlainExtension()
{
    // Targa files carry no signature: the converter knows them by their extension alone.
    QTemporaryDir pictures;
    const QString path = pictures.filePath(QStringLiteral("scan[2].tga"));
    const QString plain = pictures.filePath(QStringLiteral("scan.tga"));
    make({"-size", "40x20", "xc:purple", "TGA:" + plain});
    QVERIFY(QFile::rename(plain, path));
    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    drop(*window, {path});
    QCOMPARE(pictureSize(*window), QSize(40, 20));
}

void DropTest::multiPageAfterSingleShowsTheNewPicture()
{
    QTemporaryDir pictures;
    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    drop(*window, {picture(pictures, "single.png", {200, 100})});
    QVERIFY(QFileInfo::exists(window->workingFolder() + QStringLiteral("Torvanix.bmp")));
    const QString pages = pictures.filePath(QStringLiteral("pages.tiff"));
    make({"-size", "30x20", "xc:red", "-size", "40x30", "xc:green", pages});
    drop(*window, {pages});
    // The first page of the new file, not the earlier drop's picture.
    QCOMPARE(pictureSize(*window), QSize(30, 20));
    QCOMPARE(label(*window), " [" + pages + "]");
}

void DropTest::applicationFolderWithConverterSyntax()
{
    // ImageMagick reads ":", "%d" and "[...]" in a path as syntax; the program's own folder may
    // hold them all, as nothing the converter reads or writes is in it.
    QTemporaryDir pictures;
    QTemporaryDir root;
    const QString odd = root.filePath(QStringLiteral("tvx:shots[1]%d"));
    QVERIFY(QDir().mkdir(odd));
    QVERIFY(QFile::link(Converter, odd + QStringLiteral("/vconvert.exe")));
    ShownWindow window(Surroundings{odd});
    const QString pages = pictures.filePath(QStringLiteral("pages.tiff"));
    make({"-size", "30x20", "xc:red", "-size", "40x30", "xc:green", pages});
    drop(*window, {pages});
    QCOMPARE(pictureSize(*window), QSize(30, 20));
    drop(*window, {picture(pictures, "scan[2].png", {12, 34})});
    QCOMPARE(pictureSize(*window), QSize(12, 34));
    QCOMPARE(QDir(odd).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("vconvert.exe")});
    QVERIFY(!QFileInfo::exists(QStringLiteral("shots")));
}

void DropTest::plantedLinkIsNeverWrittenThrough()
{
    QTemporaryDir pictures;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("precious.txt"));
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    AppFolder app;
    ShownWindow window(Surroundings{app.dir.path()});
    QVERIFY(QFile::link(victim, window->workingFolder() + QStringLiteral("Torvanix.bmp")));
    QVERIFY(QFile::link(victim, window->workingFolder() + QStringLiteral("Torvanix-0.bmp")));
    drop(*window, {picture(pictures, "pic.png", {64, 32})});
    QFile file(victim);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
    QCOMPARE(pictureSize(*window), QSize(64, 32));
}

void DropTest::missingConverterSaysSo()
{
    QTemporaryDir pictures;
    AppFolder app(QString{});
    ShownWindow window(Surroundings{app.dir.path()});
    const Snapshot before(*window);
    MessageWatch messages;
    drop(*window, {picture(pictures, "pic.png", {64, 32})});
    QCOMPARE(messages.seen, (QStringList{"Torvanix Error!",
                                         "Torvanix is not able to locate vconvert.exe and/or\n"
                                         "vcomp100.dll (ImageMagick).\n"
                                         "Restore them from the official distribution of Torvanix.",
                                         "warning"}));
    QVERIFY(!messages.cursorWasBusy);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(Snapshot(*window), before);
}

void DropTest::noWorkingFolderSaysWhere()
{
    QTemporaryDir pictures;
    AppFolder app;
    // A file where the cache folder should be, and a temporary folder that does not exist.
    const QString blocked = pictures.filePath(QStringLiteral("not-a-folder"));
    QVERIFY(QFile(blocked).open(QIODevice::WriteOnly));
    const QString missing = pictures.filePath(QStringLiteral("missing"));
    Surroundings surroundings{app.dir.path()};
    surroundings.workingPlaces = {{blocked + "/torvanix", "window-", true}, {missing, "t-", false}};
    ShownWindow window(std::move(surroundings));
    QVERIFY(window->workingFolder().isEmpty());
    const Snapshot before(*window);
    MessageWatch messages;
    drop(*window, {picture(pictures, "pic.png", {64, 32})});
    QCOMPARE(messages.seen, (QStringList{"Torvanix Error!",
                                         "Torvanix is not able to create a working folder in:\n" +
                                             blocked + "/torvanix\n" + missing,
                                         "warning"}));
    QCOMPARE(Snapshot(*window), before);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void DropTest::slowConverterIsEndedAtTheLimit()
{
    QTemporaryDir pictures;
    AppFolder app(writeSlowConverter(pictures));
    FakeClock clock(50000, 10.0);
    Surroundings surroundings{app.dir.path()};
    surroundings.clock = &clock;
    ShownWindow window(std::move(surroundings));
    const QString first = picture(pictures, "first.png", {80, 60});
    // The first picture comes through the real converter, then the slow one takes its place.
    QFile::remove(app.path() + QStringLiteral("vconvert.exe"));
    QFile::link(Converter, app.path() + QStringLiteral("vconvert.exe"));
    drop(*window, {first});
    QFile::remove(app.path() + QStringLiteral("vconvert.exe"));
    QFile::link(pictures.filePath(QStringLiteral("slow-converter")),
                app.path() + QStringLiteral("vconvert.exe"));
    const Snapshot before(*window);

    bool busyCursor = false;
    bool refusedDrag = false;
    bool stillConverting = false;
    const QString other = picture(pictures, "other.png", {10, 10});
    QTimer::singleShot(200, window.window.get(), [&] {
        busyCursor = QGuiApplication::overrideCursor() != nullptr &&
                     QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        const std::unique_ptr<QMimeData> data(filesData({other}));
        refusedDrag = !acceptsDrag(*window, data.get());
        // A second drop that slips through is ignored.
        emit window->imgTorvanix()->filesDropped({QFile::encodeName(other)});
        stillConverting = window->isConverting();
    });
    const QString slow = picture(pictures, "slow.png", {33, 22});
    QElapsedTimer timer;
    timer.start();
    drop(*window, {slow});
    QVERIFY(busyCursor);
    QVERIFY(refusedDrag);
    QVERIFY(stillConverting);
    // Six clock seconds at ten times real time.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    const auto pid = pidIn(app.dir);
    QVERIFY(pid.has_value());
    QVERIFY(!alive(*pid));
    // Its half-written file is gone and was never shown; nothing but the lock is left.
    QCOMPARE(QDir(window->workingFolder())
                 .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("window.lock")});
    QCOMPARE(Snapshot(*window), before);
    QCOMPARE(window->imgTorvanix()->notice(),
             "Torvanix gave up on slow.png: converting took longer than 6 seconds");
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    const std::unique_ptr<QMimeData> data(filesData({other}));
    QVERIFY(acceptsDrag(*window, data.get()));
}

void DropTest::closingDuringConversionEndsIt()
{
    QTemporaryDir pictures;
    AppFolder app(writeSlowConverter(pictures));
    ShownWindow window(Surroundings{app.dir.path()});
    const QString work = window->workingFolder();
    MessageWatch messages;
    QTimer::singleShot(300, window.window.get(), [&] { window->close(); });
    drop(*window, {picture(pictures, "pic.png", {33, 22})});
    QVERIFY(!window->isVisible());
    const auto pid = pidIn(app.dir);
    QVERIFY(pid.has_value());
    QVERIFY(!alive(*pid));
    QVERIFY(!QFileInfo::exists(work));
    QVERIFY(messages.seen.isEmpty());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QCOMPARE(window->writtenTitle(), Base);
}

// Start-up makes no folder (its lock file is synced to disk); the first drop makes one, closing
// removes it.
void DropTest::workingFolderOnlyForAConversion()
{
    QTemporaryDir pictures;
    QTemporaryDir places;
    AppFolder app;
    Surroundings surroundings{app.dir.path()};
    surroundings.workingPlaces = {{places.path(), QStringLiteral("window-"), false}};
    ShownWindow window(std::move(surroundings));
    QCoreApplication::processEvents();
    const auto made = [&] {
        return QDir(places.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    };
    QCOMPARE(made(), QStringList());
    drop(*window, {picture(pictures, "pic.png", {64, 32})});
    QCOMPARE(pictureSize(*window), QSize(64, 32));
    QCOMPARE(made().size(), 1);
    window->close();
    QCOMPARE(made(), QStringList());
}

TORVANIX_WINDOW_TEST_MAIN(DropTest)

#include "tst_drop.moc"
