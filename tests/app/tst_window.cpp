// The window under the offscreen platform: start state, layout, the measuring line driven by the
// mouse, the title, and the working files.
#include "WindowHarness.h"

#include "Numbers.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QScreen>
#include <QSignalSpy>

using namespace harness;

namespace {

constexpr double Twips = 15.0;

void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

Qt::MouseButton buttonOf(QStringView letter)
{
    if (letter == u"L") {
        return Qt::LeftButton;
    }
    if (letter == u"R") {
        return Qt::RightButton;
    }
    if (letter == u"M") {
        return Qt::MiddleButton;
    }
    return Qt::NoButton;
}

// Plays "press L 50 200; drag L 40 150; move - 10 10; release L 40 150" on the picture.
void play(frmTorvanix& window, const QString& script)
{
    for (const QString& step : script.split(u';', Qt::SkipEmptyParts)) {
        const QStringList word = step.split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(word.size(), 4);
        const Qt::MouseButton button = buttonOf(word[1]);
        const QPointF at(word[2].toDouble(), word[3].toDouble());
        if (word[0] == u"press") {
            press(window, at, button);
        } else if (word[0] == u"drag" || word[0] == u"move") {
            drag(window, at, button);
        } else if (word[0] == u"release") {
            release(window, at, button);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale::c()); }

    void startState();
    void appFolderEndsInOneSlash_data();
    void appFolderEndsInOneSlash();
    void mouseDoesNothingWithoutLabel();
    void mouseSequences_data();
    void mouseSequences();
    void pictureChangeKeepsFractions();
    void resizeKeepsFractionsAndReading_data();
    void resizeKeepsFractionsAndReading();
    void tooSmallSnapsBack_data();
    void tooSmallSnapsBack();
    void pictureWithoutSizeShowsBaseTitle();
    void dragFarOutsideIsSafe();
    void titleShowsStrangeLabelsAsWritten_data();
    void titleShowsStrangeLabelsAsWritten();
    void readoutUsesLocaleSeparator();
    void lineInvertsAndMovesCleanly();
    void lineRepaintStaysNearTheLine();
    void onlyWorkingFilesAreDeleted();
    void loupeShowsThePicturesOwnPixels();
};

void WindowTest::startState()
{
    ShownWindow window;
    QCOMPARE(window->size(), QSize(600, 400));
    QCOMPARE(window->writtenTitle(), QStringLiteral("Torvanix by Dalvester"));
    QCOMPARE(shownTitle(*window), QStringLiteral("Torvanix by Dalvester"));
    QVERIFY(!window->measurement().line().Visible);
    const auto& rel = window->measurement().fractions();
    QCOMPARE(rel.RelX1, 0.5);
    QCOMPARE(rel.RelY1, 0.5);
    QCOMPARE(rel.RelX2, 0.5);
    QCOMPARE(rel.RelY2, 0.5);
    QCOMPARE(window->imgTorvanix()->geometry(), QRect(0, 0, 600, 400));
    QVERIFY(label(*window).isEmpty());

    // The instruction card: 600 x 400, 8-bit grey, black text on white.
    const QImage& card = window->imgTorvanix()->picture();
    QCOMPARE(card.size(), QSize(600, 400));
    QCOMPARE(card.format(), QImage::Format_Indexed8);
    QVERIFY(card.allGray());
    QCOMPARE(card.pixel(0, 0), qRgb(255, 255, 255));
    bool hasInk = false;
    for (int y = 0; y < card.height() && !hasInk; ++y) {
        for (int x = 0; x < card.width() && !hasInk; ++x) {
            hasInk = qGray(card.pixel(x, y)) < 64;
        }
    }
    QVERIFY(hasInk);

    const QIcon icon = window->windowIcon();
    QVERIFY(!icon.isNull());
    // Every size drawn, so the window manager never scales a small one up.
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QVERIFY2(icon.availableSizes().contains(QSize(side, side)),
                 qPrintable(QString::number(side)));
    }
}

void WindowTest::appFolderEndsInOneSlash_data()
{
    QTest::addColumn<QString>("appPath");
    QTest::addColumn<QString>("appFolder");
    QTest::newRow("ordinary folder") << "/opt/torvanix-test-none"
                                     << "/opt/torvanix-test-none/";
    QTest::newRow("already ends in a slash") << "/opt/torvanix-test-none/"
                                             << "/opt/torvanix-test-none/";
    QTest::newRow("the root") << "/"
                              << "/";
}

void WindowTest::appFolderEndsInOneSlash()
{
    QFETCH(QString, appPath);
    QFETCH(QString, appFolder);
    const frmTorvanix window(Surroundings{appPath});
    QCOMPARE(window.appFolder(), appFolder);
}

void WindowTest::mouseDoesNothingWithoutLabel()
{
    ShownWindow window;
    window->showPicture(picture(600, 400), QString());
    play(*window, QStringLiteral("press L 10 10; drag L 200 20; release L 200 20"));
    QCOMPARE(window->measurement().fractions().RelX2, 0.5);
    QCOMPARE(window->measurement().fractions().RelY2, 0.5);
    QVERIFY(!window->measurement().line().Visible);
    QCOMPARE(window->writtenTitle(), QStringLiteral("Torvanix by Dalvester"));
}

void WindowTest::mouseSequences_data()
{
    QTest::addColumn<QString>("script");
    // Where the two endpoints end up, in logical pixels of the 600 x 400 client.
    QTest::addColumn<QPointF>("end1");
    QTest::addColumn<QPointF>("end2");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("title");

    const QString credit = QStringLiteral(" - Torvanix by Dalvester [t]");
    const QPointF centre(300, 200);
    // A 2:1 slope is 26.565 degrees; the picture's height in whole HIMETRIC units (10583 for
    // 400 pixels) takes it just below the half.
    QTest::newRow("first click draws from the centre")
        << "press L 100 100" << centre << QPointF(100, 100) << true
        << QStringLiteral("Horizontal-26.56°") + credit;
    QTest::newRow("press and release on the centre: zero length")
        << "press L 300 200; release L 300 200" << centre << centre << true
        << QStringLiteral("Torvanix by Dalvester [t]");
    QTest::newRow("drag follows the nearer endpoint")
        << "press L 50 200; drag L 45 180; drag L 40 150; release L 40 150" << centre
        << QPointF(40, 150) << true << QStringLiteral("Horizontal-10.89°") + credit;
    QTest::newRow("press near endpoint 1 grabs it")
        << "press L 50 200; release L 50 200; press L 290 195; drag L 550 100; release L 550 100"
        << QPointF(550, 100) << QPointF(50, 200) << true
        << QStringLiteral("Horizontal+11.31°") + credit;
    QTest::newRow("right button drags")
        << "press R 50 200; drag R 40 150; release R 40 150" << centre << QPointF(40, 150) << true
        << QStringLiteral("Horizontal-10.89°") + credit;
    QTest::newRow("middle button drags")
        << "press M 50 200; drag M 40 150; release M 40 150" << centre << QPointF(40, 150) << true
        << QStringLiteral("Horizontal-10.89°") + credit;
    QTest::newRow("moves without a button do nothing")
        << "press L 50 200; release L 50 200; move - 500 300; move - 10 10" << centre
        << QPointF(50, 200) << true << QStringLiteral("Horizontal") + credit;
    QTest::newRow("plumb line") << "press L 300 20; press L 300 380" << QPointF(300, 380)
                                << QPointF(300, 20) << true << QStringLiteral("Vertical") + credit;
    // Fractions of a logical pixel (on a scaled screen) reach the line as whole twips.
    QTest::newRow("fractional positions")
        << "press L 100.2 100.6" << centre << QPointF(100.2, 100.6) << true
        << QStringLiteral("Horizontal-26.45°") + credit;
}

void WindowTest::mouseSequences()
{
    QFETCH(QString, script);
    QFETCH(QPointF, end1);
    QFETCH(QPointF, end2);
    QFETCH(bool, visible);
    QFETCH(QString, title);

    ShownWindow window;
    window->showPicture(picture(600, 400), QStringLiteral(" [t]"));
    play(*window, script);

    const auto& rel = window->measurement().fractions();
    auto twips = [](double pixels) {
        return measure::CLngPoint(pixels * Twips);
    };
    QCOMPARE(rel.RelX1, twips(end1.x()) / 9000.0);
    QCOMPARE(rel.RelY1, twips(end1.y()) / 6000.0);
    QCOMPARE(rel.RelX2, twips(end2.x()) / 9000.0);
    QCOMPARE(rel.RelY2, twips(end2.y()) / 6000.0);
    QCOMPARE(window->measurement().line().Visible, visible);
    QCOMPARE(window->writtenTitle(), title);
    QCOMPARE(shownTitle(*window), title);
}

void WindowTest::pictureChangeKeepsFractions()
{
    ShownWindow window;
    window->showPicture(picture(600, 400), QStringLiteral(" [first]"));
    play(*window, QStringLiteral("press L 100 100"));
    const measure::LineFractions before = window->measurement().fractions();
    // The same line over a picture of other proportions reads in that picture's geometry.
    window->showPicture(picture(600, 1200), QStringLiteral(" [second]"));
    QCOMPARE(window->measurement().fractions().RelX2, before.RelX2);
    QCOMPARE(window->measurement().fractions().RelY2, before.RelY2);
    QCOMPARE(window->writtenTitle(),
             QStringLiteral("Vertical+33.69° - Torvanix by Dalvester [second]"));
}

void WindowTest::resizeKeepsFractionsAndReading_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger, same proportions") << QSize(900, 600);
    QTest::newRow("wider only: stretched unevenly") << QSize(1400, 400);
    QTest::newRow("taller only: stretched unevenly") << QSize(600, 1000);
    QTest::newRow("odd sizes") << QSize(757, 613);
}

void WindowTest::resizeKeepsFractionsAndReading()
{
    QFETCH(QSize, size);
    ShownWindow window;
    window->showPicture(picture(1000, 700), QStringLiteral(" [r]"));
    play(*window, QStringLiteral("press L 37 91; press L 523 301"));
    const measure::LineFractions rel = window->measurement().fractions();
    const QString reading = window->writtenTitle();
    QVERIFY(reading.startsWith(QStringLiteral("Horizontal-")));

    window->resize(size);
    QTRY_COMPARE(window->size(), size);
    QCOMPARE(window->imgTorvanix()->geometry(), QRect(QPoint(0, 0), size));
    const auto& now = window->measurement().fractions();
    QCOMPARE(now.RelX1, rel.RelX1);
    QCOMPARE(now.RelY1, rel.RelY1);
    QCOMPARE(now.RelX2, rel.RelX2);
    QCOMPARE(now.RelY2, rel.RelY2);
    const auto& line = window->measurement().line();
    QCOMPARE(line.X1, static_cast<float>(size.width() * Twips * rel.RelX1));
    QCOMPARE(line.Y2, static_cast<float>(size.height() * Twips * rel.RelY2));
    // The reading is the picture's own, whatever the window does to it.
    QCOMPARE(window->writtenTitle(), reading);
}

void WindowTest::tooSmallSnapsBack_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("narrower") << QSize(500, 450) << QSize(600, 450);
    QTest::newRow("shorter") << QSize(700, 300) << QSize(700, 400);
    QTest::newRow("both") << QSize(100, 100) << QSize(600, 400);
    QTest::newRow("exactly the minimum") << QSize(600, 400) << QSize(600, 400);
}

void WindowTest::tooSmallSnapsBack()
{
    QFETCH(QSize, asked);
    QFETCH(QSize, expected);
    ShownWindow window;
    window->resize(800, 800);
    QTRY_COMPARE(window->size(), QSize(800, 800));
    // Asked of the window system directly, past Qt's own size hints, as a window manager that
    // ignores them would.
    window->windowHandle()->resize(asked);
    QTRY_COMPARE(window->size(), expected);
    QCOMPARE(window->imgTorvanix()->size(), expected);
}

void WindowTest::pictureWithoutSizeShowsBaseTitle()
{
    ShownWindow window;
    window->showPicture(QImage(), QStringLiteral(" [empty]"));
    play(*window, QStringLiteral("press L 10 10; drag L 500 300"));
    QVERIFY(window->measurement().line().Visible);
    QCOMPARE(window->writtenTitle(), QStringLiteral("Torvanix by Dalvester [empty]"));
}

void WindowTest::dragFarOutsideIsSafe()
{
    ShownWindow window;
    window->showPicture(picture(600, 400), QStringLiteral(" [far]"));
    play(*window, QStringLiteral("press L 10 200; drag L -200000000 210; drag L 1e12 -1e12"));
    const auto& rel = window->measurement().fractions();
    // The points saturate at the 32-bit limits: endpoint 2 went far left, then the centre
    // endpoint, nearer to the last point, followed it far off to the top right.
    QCOMPARE(rel.RelX2, -2147483647 / 9000.0);
    QCOMPARE(rel.RelY2, 3150 / 6000.0);
    QCOMPARE(rel.RelX1, 2147483647 / 9000.0);
    QCOMPARE(rel.RelY1, -2147483647 / 6000.0);
    QVERIFY(window->writtenTitle().endsWith(QStringLiteral(" - Torvanix by Dalvester [far]")));
    QVERIFY(!window->writtenTitle().contains(QStringLiteral("nan")));
    // It paints without trouble.
    const QImage shot = window->grab().toImage();
    QCOMPARE(shot.size(), QSize(600, 400));
}

void WindowTest::titleShowsStrangeLabelsAsWritten_data()
{
    QTest::addColumn<QString>("label");
    QTest::newRow("unsaved mark") << QStringLiteral(" [/tmp/a[*]b.png]");
    QTest::newRow("two marks") << QStringLiteral(" [/tmp/[*][*].png]");
    QTest::newRow("three marks") << QStringLiteral(" [/tmp/[*][*][*]]");
    QTest::newRow("non-ASCII") << QStringLiteral(" [/home/ana/çà ñ 写真.jpg]");
}

void WindowTest::titleShowsStrangeLabelsAsWritten()
{
    QFETCH(QString, label);
    ShownWindow window;
    window->showPicture(picture(600, 400), label);
    QCOMPARE(shownTitle(*window), QStringLiteral("Torvanix by Dalvester") + label);
    play(*window, QStringLiteral("press L 10 200"));
    QCOMPARE(shownTitle(*window), QStringLiteral("Horizontal - Torvanix by Dalvester") + label);
}

void WindowTest::readoutUsesLocaleSeparator()
{
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    ShownWindow window;
    window->showPicture(picture(600, 400), QStringLiteral(" [Image from Clipboard]"));
    play(*window, QStringLiteral("press L 100 100"));
    QCOMPARE(window->writtenTitle(),
             QStringLiteral("Horizontal-26,56° - Torvanix by Dalvester [Image from Clipboard]"));
}

void WindowTest::lineInvertsAndMovesCleanly()
{
    ShownWindow window;
    window->showPicture(picture(600, 400, Qt::white), QStringLiteral(" [w]"));
    play(*window, QStringLiteral("press L 100 200"));
    QImage shot = window->grab().toImage();
    // On white the inverted line is black; off the line the picture is untouched.
    QCOMPARE(shot.pixel(200, 200), qRgb(0, 0, 0));
    QCOMPARE(shot.pixel(200, 190), qRgb(255, 255, 255));

    // Moving the line restores what the old one covered, with nothing left behind.
    play(*window, QStringLiteral("drag L 100 50"));
    QTRY_VERIFY(window->grab().toImage().pixel(200, 200) == qRgb(255, 255, 255));
    shot = window->grab().toImage();
    QCOMPARE(shot.pixel(200, 125), qRgb(0, 0, 0));
    int dark = 0;
    const QRect loupe = window->imgTorvanix()->loupeRect();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            dark += qGray(shot.pixel(x, y)) < 128 && !loupe.contains(x, y) ? 1 : 0;
        }
    }
    // A 3-pixel line of about 250 pixels and the ring at its end, nothing more.
    QVERIFY2(dark > 600 && dark < 1100, qPrintable(QString::number(dark)));
}

void WindowTest::lineRepaintStaysNearTheLine()
{
    // A long diagonal repaints a strip along itself, a small part of its bounding box.
    const QRect bounds(0, 0, 1500, 950);
    const QRegion region = PictureView::lineRegion(QLineF(0, 0, 1500, 950), bounds);
    qint64 area = 0;
    for (const QRect& r : region) {
        area += qint64(r.width()) * r.height();
    }
    QVERIFY2(area < qint64(bounds.width()) * bounds.height() / 10,
             qPrintable(QString::number(area)));
    // ... and covers every pixel the 3-pixel line touches.
    for (int i = 0; i <= 100; ++i) {
        const QPointF p = QLineF(0, 0, 1500, 950).pointAt(i / 100.0);
        for (int dx = -2; dx <= 2; ++dx) {
            const QPoint at = p.toPoint() + QPoint(dx, 0);
            if (bounds.contains(at)) {
                QVERIFY(region.contains(at));
            }
        }
    }
}

void WindowTest::onlyWorkingFilesAreDeleted()
{
    QTemporaryDir folder;
    QTemporaryDir elsewhere;
    const QDir dir(folder.path());
    const QStringList working = {"Torvanix.bmp", "Torvanix-0.bmp", "Torvanix-3.bmp",
                                 "Torvanix .bmp"};
    const QStringList others = {"torvanix.bmp",  "Torvanix.BMP",     "Torvanix.png", "keep.bmp",
                                "XTorvanix.bmp", "Torvanix.bmp.txt", "ReadMe.txt"};
    for (const QString& name : working + others) {
        touch(dir.filePath(name));
    }
    QVERIFY(dir.mkdir(QStringLiteral("Torvanix-dir.bmp")));
    touch(dir.filePath(QStringLiteral("Torvanix-dir.bmp/inside")));
    // A link under a working name goes; what it points to stays.
    const QString target = QDir(elsewhere.path()).filePath(QStringLiteral("precious"));
    touch(target);
    QVERIFY(QFile::link(target, dir.filePath(QStringLiteral("Torvanix-link.bmp"))));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/x"),
                        dir.filePath(QStringLiteral("Torvanix-9.bmp"))));

    auto window = std::make_unique<frmTorvanix>(Surroundings{folder.path()});
    for (const QString& name : working + QStringList{"Torvanix-link.bmp", "Torvanix-9.bmp"}) {
        QVERIFY2(!QFileInfo(dir.filePath(name)).exists() &&
                     !QFileInfo(dir.filePath(name)).isSymLink(),
                 qPrintable(name));
    }
    for (const QString& name : others) {
        QVERIFY2(QFileInfo::exists(dir.filePath(name)), qPrintable(name));
    }
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("Torvanix-dir.bmp/inside"))));
    QVERIFY(QFileInfo::exists(target));

    // Closing removes what a session left.
    window->show();
    touch(dir.filePath(QStringLiteral("Torvanix-1.bmp")));
    window->close();
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("Torvanix-1.bmp"))));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("keep.bmp"))));
}

namespace {

// Runs of one colour along row y of image, between x0 and x1: how many are pure black or white
// and at least `least` pixels long, and how many are anything else.
std::pair<int, int> blocks(const QImage& image, int y, int x0, int x1, int least)
{
    int sharp = 0;
    int other = 0;
    int x = x0;
    while (x < x1) {
        const QRgb colour = image.pixel(x, y);
        int end = x + 1;
        while (end < x1 && image.pixel(end, y) == colour) {
            ++end;
        }
        const bool pure = colour == qRgb(0, 0, 0) || colour == qRgb(255, 255, 255);
        // Runs cut by the row's ends are not judged by their length.
        if (pure && (end - x >= least || x == x0 || end == x1)) {
            ++sharp;
        } else {
            ++other;
        }
        x = end;
    }
    return {sharp, other};
}

} // namespace

// One-pixel checks look grey in the window; the loupe shows them as sharp squares while the
// button is held and after a nudge, never over the end it magnifies.
void WindowTest::loupeShowsThePicturesOwnPixels()
{
    QImage checks(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < checks.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(checks.scanLine(y));
        for (int x = 0; x < checks.width(); ++x) {
            row[x] = ((x + y) & 1) != 0 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        }
    }
    ShownWindow window;
    window->showPicture(checks, QStringLiteral(" [/tmp/checks.png]"));
    PictureView* view = window->imgTorvanix();
    const QImage before = view->grab().toImage();
    const QPointF end(150.3, 100.6);
    press(*window, QPointF(170, 120));
    drag(*window, end);
    const QRect loupe = view->loupeRect();
    QVERIFY(!view->loupe().isNull());
    QVERIFY(!loupe.contains(end.toPoint()));
    QImage shown = view->grab().toImage();
    const qreal ratio = shown.devicePixelRatio();
    const QRect inside((QRectF(loupe).adjusted(2, 2, -2, -2).topLeft() * ratio).toPoint(),
                       (QRectF(loupe).adjusted(2, 2, -2, -2).bottomRight() * ratio).toPoint());
    // Away from the line through its middle, the loupe's rows are black and white squares.
    const auto [sharp, other] = blocks(shown, inside.top() + 3, inside.left(), inside.right(), 8);
    QVERIFY2(sharp >= 8 && other == 0, qPrintable(QStringLiteral("%1 %2").arg(sharp).arg(other)));

    release(*window, end);
    QVERIFY(view->loupe().isNull());
    shown = view->grab().toImage();
    // Where it was, the window shows the picture as before the press.
    QCOMPARE(shown.copy(inside), before.copy(inside));

    // A nudge shows it for a moment.
    QTest::keyClick(window.window.get(), Qt::Key_Left);
    QVERIFY(!view->loupe().isNull());
    QTRY_VERIFY_WITH_TIMEOUT(view->loupe().isNull(), 3000);
}

TORVANIX_WINDOW_TEST_MAIN(WindowTest)

#include "tst_window.moc"
