// Escape, F1 and Ctrl+V on the real window under the offscreen platform; F1 goes to an opener
// the test provides, so no viewer is ever started.
#include "Numbers.h"
#include "Readout.h"
#include "WindowHarness.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>

#include <QLocale>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

using namespace harness;

namespace {

const QString Base = QStringLiteral("Torvanix by Dalvester");
const QString FromClipboard = QStringLiteral(" [Image from Clipboard]");

// Records what F1 asked to open, answering as a desktop with or without a viewer would.
struct Opener {
    QList<QUrl> opened;
    bool succeeds = true;

    Surroundings surroundings()
    {
        Surroundings s;
        s.openUrl = [this](const QUrl& url) {
            opened.append(url);
            return succeeds;
        };
        return s;
    }
};

void key(frmTorvanix& window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
         bool autoRepeat = false)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(&window, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(&window, &release);
}

// A picture encoded as another program offers it, cut to its first `keep` bytes if asked.
QByteArray encoded(const QImage& image, const char* format, qsizetype keep = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return keep < 0 ? bytes : bytes.left(keep);
}

QImage mono(int width, int height)
{
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(0);
    return image;
}

void drawLine(frmTorvanix& window)
{
    press(window, QPointF(100, 100));
    drag(window, QPointF(90, 120));
    release(window, QPointF(90, 120));
}

} // namespace

class KeysTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QGuiApplication::clipboard()->clear(); }

    void escapeWithNoPicture();
    void escapeAfterMeasuring_data();
    void escapeAfterMeasuring();
    void f1OpensReadMe_data();
    void f1OpensReadMe();
    void f1WithoutViewerChangesNothing();
    void heldF1OpensOnce();
    void pasteNeedsExactlyCtrl_data();
    void pasteNeedsExactlyCtrl();
    void pasteOverCardThenMeasure();
    void pasteKeepsTheLine();
    void pasteWithoutPictureChangesNothing_data();
    void pasteWithoutPictureChangesNothing();
    void pasteOfferedBytes_data();
    void pasteOfferedBytes();
    void pasteHugePicture();
    void refiningFollowsTheRules_data();
    void refiningFollowsTheRules();
    void enterFitsTheLineToTheEdge_data();
    void enterFitsTheLineToTheEdge();
    void pastedPhotoIsUpright_data();
    void pastedPhotoIsUpright();
};

void KeysTest::escapeWithNoPicture()
{
    ShownWindow window;
    key(*window, Qt::Key_Escape);
    QCOMPARE(window->writtenTitle(), Base);
    QVERIFY(!window->measurement().line().Visible);
    // The mouse still does nothing on the card.
    press(*window, QPointF(10, 10));
    QVERIFY(!window->measurement().line().Visible);
}

void KeysTest::escapeAfterMeasuring_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Escape") << Qt::KeyboardModifiers();
    QTest::newRow("Shift+Escape") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl+Alt+Escape") << (Qt::ControlModifier | Qt::AltModifier);
}

void KeysTest::escapeAfterMeasuring()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    ShownWindow window;
    window->showPicture(picture(600, 400), QStringLiteral(" [/tmp/level.png]"));
    drawLine(*window);
    QVERIFY(window->writtenTitle().startsWith(QStringLiteral("Horizontal")));
    const measure::LineControl before = window->measurement().line();
    QCOMPARE(window->grab().toImage().pixel(195, 160), qRgb(0, 0, 0));

    key(*window, Qt::Key_Escape, modifiers);
    QCOMPARE(window->writtenTitle(), Base + QStringLiteral(" [/tmp/level.png]"));
    QVERIFY(!window->measurement().line().Visible);
    QCOMPARE(window->measurement().line().X2, before.X2);
    const auto& rel = window->measurement().fractions();
    QCOMPARE(rel.RelX1, 0.5);
    QCOMPARE(rel.RelY2, 0.5);
    // The line is gone from the screen; the picture and its label stay.
    QTRY_COMPARE(window->grab().toImage().pixel(195, 160), qRgb(255, 255, 255));
    QCOMPARE(pictureSize(*window), QSize(600, 400));

    // The next click draws from the centre.
    press(*window, QPointF(500, 200));
    QVERIFY(window->measurement().line().Visible);
    QCOMPARE(window->measurement().fractions().RelX1, 0.5);
    QCOMPARE(window->measurement().fractions().RelX2, 7500 / 9000.0);
    QCOMPARE(window->writtenTitle(),
             QStringLiteral("Horizontal - Torvanix by Dalvester [/tmp/level.png]"));
}

void KeysTest::f1OpensReadMe_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("F1") << Qt::KeyboardModifiers();
    QTest::newRow("Shift+F1") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl+F1") << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Alt+F1") << Qt::KeyboardModifiers(Qt::AltModifier);
}

void KeysTest::f1OpensReadMe()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    Opener opener;
    ShownWindow window(opener.surroundings());
    key(*window, Qt::Key_F1, modifiers);
    QCOMPARE(opener.opened.size(), 1);
    const QUrl url = opener.opened.first();
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), window.folder.path() + QStringLiteral("/ReadMe.txt"));
    QCOMPARE(window->writtenTitle(), Base);
}

void KeysTest::f1WithoutViewerChangesNothing()
{
    Opener opener;
    opener.succeeds = false;
    ShownWindow window(opener.surroundings());
    window->showPicture(picture(600, 400), QStringLiteral(" [a]"));
    drawLine(*window);
    const QString title = window->writtenTitle();
    key(*window, Qt::Key_F1);
    QCOMPARE(opener.opened.size(), 1);
    QVERIFY(window->isVisible());
    QCOMPARE(window->writtenTitle(), title);
    QVERIFY(window->measurement().line().Visible);
    // And the window goes on working.
    key(*window, Qt::Key_Escape);
    QCOMPARE(window->writtenTitle(), Base + QStringLiteral(" [a]"));
}

void KeysTest::heldF1OpensOnce()
{
    Opener opener;
    ShownWindow window(opener.surroundings());
    key(*window, Qt::Key_F1);
    key(*window, Qt::Key_F1, Qt::NoModifier, true);
    key(*window, Qt::Key_F1, Qt::NoModifier, true);
    QCOMPARE(opener.opened.size(), 1);
}

void KeysTest::pasteNeedsExactlyCtrl_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("pastes");
    QTest::newRow("Ctrl+V") << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
    QTest::newRow("Ctrl+V from the keypad's side")
        << (Qt::ControlModifier | Qt::KeypadModifier) << true;
    QTest::newRow("V") << Qt::KeyboardModifiers() << false;
    QTest::newRow("Shift+V") << Qt::KeyboardModifiers(Qt::ShiftModifier) << false;
    QTest::newRow("Ctrl+Shift+V") << (Qt::ControlModifier | Qt::ShiftModifier) << false;
    QTest::newRow("Ctrl+Alt+V") << (Qt::ControlModifier | Qt::AltModifier) << false;
    QTest::newRow("Ctrl+Meta+V") << (Qt::ControlModifier | Qt::MetaModifier) << false;
    QTest::newRow("Alt+V") << Qt::KeyboardModifiers(Qt::AltModifier) << false;
}

void KeysTest::pasteNeedsExactlyCtrl()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, pastes);
    ShownWindow window;
    QGuiApplication::clipboard()->setImage(picture(320, 200, Qt::red));
    key(*window, Qt::Key_V, modifiers);
    QCOMPARE(label(*window), pastes ? FromClipboard : QString());
    QCOMPARE(pictureSize(*window), pastes ? QSize(320, 200) : QSize(600, 400));
    QCOMPARE(window->writtenTitle(), pastes ? Base + FromClipboard : Base);
}

void KeysTest::pasteOverCardThenMeasure()
{
    ShownWindow window;
    QGuiApplication::clipboard()->setImage(picture(1200, 400, Qt::blue));
    key(*window, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(window->writtenTitle(), Base + FromClipboard);
    QVERIFY(!window->measurement().line().Visible);
    QCOMPARE(window->imgTorvanix()->picture().pixel(0, 0), qRgb(0, 0, 255));
    // The mouse now moves the line; zero length keeps the base title.
    press(*window, QPointF(300, 200));
    QVERIFY(window->measurement().line().Visible);
    QCOMPARE(window->writtenTitle(), Base + FromClipboard);
    // A 1200 x 400 picture in a 600 x 400 window is squeezed to half its width: the screen's
    // 45 degrees is the picture's 26.56 (a 2:1 slope, its height in whole HIMETRIC units), and
    // the line rising to the right reads "+".
    drag(*window, QPointF(400, 100));
    QCOMPARE(window->writtenTitle(),
             QStringLiteral("Horizontal+26.56° - Torvanix by Dalvester") + FromClipboard);
}

void KeysTest::pasteKeepsTheLine()
{
    ShownWindow window;
    window->showPicture(picture(600, 400), QStringLiteral(" [/tmp/first.png]"));
    drawLine(*window);
    const measure::LineFractions rel = window->measurement().fractions();
    QGuiApplication::clipboard()->setImage(picture(600, 400, Qt::black));
    key(*window, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(window->measurement().fractions().RelX2, rel.RelX2);
    QCOMPARE(window->measurement().fractions().RelY1, rel.RelY1);
    QVERIFY(window->measurement().line().Visible);
    QVERIFY(window->writtenTitle().endsWith(QStringLiteral(" - Torvanix by Dalvester") +
                                            FromClipboard));
    // On black the inverted line is white.
    QTRY_COMPARE(window->grab().toImage().pixel(195, 160), qRgb(255, 255, 255));
}

void KeysTest::pasteWithoutPictureChangesNothing_data()
{
    QTest::addColumn<QString>("offer");
    QTest::addColumn<QByteArray>("bytes"); // for an offer of an image type
    QTest::addColumn<QString>("notice");
    const QString none = QStringLiteral("The clipboard holds no picture Torvanix can paste");
    const QString cut = QStringLiteral("The pasted picture is cut short");
    QTest::newRow("text only") << "text" << QByteArray() << none;
    QTest::newRow("an image that does not decode") << "broken image" << QByteArray() << none;
    QTest::newRow("empty clipboard") << "nothing" << QByteArray() << none;
    QTest::newRow("PPM offered as PNG") << "image/png" << encoded(picture(20, 20), "ppm") << none;
    // Complete and small, but over 256 megapixels by its header.
    QTest::newRow("header over 256 megapixels")
        << "image/png" << encoded(mono(16001, 16000), "png")
        << "The pasted picture is too large: Torvanix takes at most 256 megapixels";
    QTest::newRow("BMP of 400 x 300 in 100 bytes")
        << "image/bmp" << encoded(harness::picture(400, 300), "bmp", 100) << cut;
    QImage indexed(400, 300, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < indexed.height(); ++y) {
        std::memset(indexed.scanLine(y), y % 2, static_cast<std::size_t>(indexed.width()));
    }
    QTest::newRow("8-bit BMP cut short") << "image/bmp" << encoded(indexed, "bmp", 60000) << cut;
    // Cut inside the picture's data, after its header.
    const QImage photo = indexed.convertToFormat(QImage::Format_RGB32);
    const QByteArray jpeg = encoded(photo, "jpeg");
    QTest::newRow("JPEG cut short") << "image/jpeg" << jpeg.left(jpeg.size() / 2) << cut;
}

void KeysTest::pasteWithoutPictureChangesNothing()
{
    QFETCH(QString, offer);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, notice);
    ShownWindow window;
    window->showPicture(picture(300, 300, Qt::green), QStringLiteral(" [/tmp/kept.png]"));
    drawLine(*window);
    const QString title = window->writtenTitle();
    const measure::LineControl line = window->measurement().line();

    auto* data = new QMimeData;
    if (offer == u"text") {
        data->setText(QStringLiteral("just words"));
    } else if (offer == u"broken image") {
        data->setImageData(QImage());
    } else if (offer != u"nothing") {
        data->setData(offer, bytes);
    }
    QGuiApplication::clipboard()->setMimeData(data);
    QElapsedTimer timer;
    timer.start();
    key(*window, Qt::Key_V, Qt::ControlModifier);
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));

    QCOMPARE(label(*window), QStringLiteral(" [/tmp/kept.png]"));
    QCOMPARE(pictureSize(*window), QSize(300, 300));
    QCOMPARE(window->writtenTitle(), title);
    QCOMPARE(window->measurement().line(), line);
    QCOMPARE(window->imgTorvanix()->notice(), notice);
}

void KeysTest::pasteOfferedBytes_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRgb>("topLeft");
    // Larger than the display copy: the reader scales while decoding.
    QTest::newRow("PNG") << "image/png" << encoded(picture(5000, 3000, Qt::red), "png")
                         << QSize(5000, 3000) << qRgb(255, 0, 0);
    QTest::newRow("exactly 256 megapixels") << "image/png" << encoded(mono(16000, 16000), "png")
                                            << QSize(16000, 16000) << qRgb(0, 0, 0);
}

void KeysTest::pasteOfferedBytes()
{
    QFETCH(QString, type);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QRgb, topLeft);
    ShownWindow window;
    auto* data = new QMimeData;
    data->setData(type, bytes);
    QGuiApplication::clipboard()->setMimeData(data);
    key(*window, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(label(*window), FromClipboard);
    QCOMPARE(pictureSize(*window), size);
    QCOMPARE(window->imgTorvanix()->picture().pixel(0, 0), topLeft);
}

void KeysTest::pasteHugePicture()
{
    // 100 megapixels: pastes, shows and measures like any other.
    ShownWindow window;
    QGuiApplication::clipboard()->setImage(picture(12000, 8400, Qt::white));
    key(*window, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(pictureSize(*window), QSize(12000, 8400));
    // Shown at 600 x 400 it is squeezed a little more across than down: the screen's 2:1 slope
    // is the picture's 2.1:4.
    press(*window, QPointF(100, 300));
    QCOMPARE(window->writtenTitle(),
             QStringLiteral("Horizontal+27.70° - Torvanix by Dalvester") + FromClipboard);
    QCOMPARE(window->grab().toImage().pixel(200, 250), qRgb(0, 0, 0));
    QGuiApplication::clipboard()->clear();
}

void KeysTest::pastedPhotoIsUpright_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QString>("corners"); // upright: top left, top right, bottom left, bottom right
    // Stored as red, green / blue, white; each Exif orientation says how to turn it upright.
    const QStringList upright{"RGBW", "GRWB", "WBGR", "BWRG", "RBGW", "BRWG", "WGBR", "GWRB"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        QTest::addRow("orientation %d", orientation) << orientation << upright[orientation - 1];
    }
}

void KeysTest::pastedPhotoIsUpright()
{
    QFETCH(int, orientation);
    QFETCH(QString, corners);
    // Larger than the display copy, so the reader scales while decoding.
    const QSize stored(3200, 1000);
    ShownWindow window;
    const QSize fit = window->displayFit();
    QVERIFY(stored.width() > fit.width() || stored.height() > fit.height());
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/jpeg"),
                  withOrientation(encoded(quadrantPicture(stored.width(), stored.height()), "jpg"),
                                  orientation));
    QGuiApplication::clipboard()->setMimeData(data);
    key(*window, Qt::Key_V, Qt::ControlModifier);
    const QSize upright = orientation >= 5 ? stored.transposed() : stored;
    QCOMPARE(pictureSize(*window), upright);
    const QImage& shown = window->imgTorvanix()->picture();
    QCOMPARE(shown.size(), upright.boundedTo(fit));
    QCOMPARE(quadrants(shown), corners);
}

namespace {

// An independent model of how presses, drags, nudges and Tab move the ends: fractions of the
// picture, the active end, and whether the line shows.
struct LineModel {
    std::array<double, 2> x{0.5, 0.5};
    std::array<double, 2> y{0.5, 0.5};
    std::size_t active = 1;
    bool shows = false;

    void point(QPointF at, QSizeF client)
    {
        const double W = static_cast<float>(client.width() * 15.0);
        const double H = static_cast<float>(client.height() * 15.0);
        const auto X = measure::CLngPoint(static_cast<float>(at.x() * 15.0));
        const auto Y = measure::CLngPoint(static_cast<float>(at.y() * 15.0));
        const auto distance = [&](std::size_t end) {
            return std::hypot(double(X) - measure::CLng(W * x.at(end)),
                              double(Y) - measure::CLng(H * y.at(end)));
        };
        active = distance(0) >= distance(1) ? 1 : 0;
        x.at(active) = X / W;
        y.at(active) = Y / H;
        shows = true;
    }
    void nudge(int dx, int dy, QSize picture)
    {
        const auto step = [](double& value, int steps, int pixels) {
            if (steps != 0) {
                value = std::clamp(value + double(steps) / pixels, std::min(value, 0.0),
                                   std::max(value, 1.0));
            }
        };
        step(x.at(active), dx, picture.width());
        step(y.at(active), dy, picture.height());
    }
    [[nodiscard]] QString title(QSizeF client, QSize picture, const std::string& label) const
    {
        const auto W = static_cast<float>(client.width() * 15.0);
        const auto H = static_cast<float>(client.height() * 15.0);
        measure::LineControl line;
        measure::placeLine(line, {x[0], y[0], x[1], y[1]}, W, H);
        const measure::PictureGeometry geometry{measure::himetricFromPixels(picture.width()),
                                                measure::himetricFromPixels(picture.height()), W,
                                                H};
        return QString::fromStdString(
            measure::titleFor(line, geometry, label, QLocale().decimalPoint().toStdString()));
    }
};

} // namespace

void KeysTest::refiningFollowsTheRules_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QSize>("windowSize");
    QTest::newRow("photo in a small window") << QSize(6000, 4000) << QSize(600, 400);
    QTest::newRow("stretched unevenly") << QSize(4000, 3000) << QSize(1500, 700);
    QTest::newRow("small picture enlarged") << QSize(31, 17) << QSize(903, 611);
}

void KeysTest::refiningFollowsTheRules()
{
    QFETCH(QSize, pictureSize);
    QFETCH(QSize, windowSize);
    ShownWindow window;
    window->resize(windowSize);
    window->showPicture(picture(pictureSize.width(), pictureSize.height()),
                        QStringLiteral(" [/tmp/p.png]"));
    const QSizeF client = window->size();
    QRandomGenerator random(static_cast<quint32>(pictureSize.width()));
    LineModel model;
    const auto somewhere = [&] {
        // Now and then a little outside the picture, as a drag may end.
        return QPointF((random.generateDouble() * 1.2 - 0.1) * client.width(),
                       (random.generateDouble() * 1.2 - 0.1) * client.height());
    };
    constexpr std::array arrows{Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down};
    for (int step = 0; step < 400; ++step) {
        const int what = static_cast<int>(random.bounded(10));
        if (what < 2) {
            const QPointF at = somewhere();
            press(*window, at);
            model.point(at, client);
            const QPointF to = somewhere();
            drag(*window, to);
            model.point(to, client);
            release(*window, to);
            model.point(to, client);
        } else if (what < 3) {
            key(*window, Qt::Key_Tab);
            if (model.shows) {
                model.active = 1U - model.active;
            }
        } else {
            const Qt::Key arrow = arrows.at(random.bounded(4U));
            const bool shift = random.bounded(3) == 0;
            key(*window, arrow, shift ? Qt::ShiftModifier : Qt::NoModifier, random.bounded(2) == 0);
            const int steps = shift ? 10 : 1;
            if (model.shows) {
                model.nudge(arrow == Qt::Key_Left    ? -steps
                            : arrow == Qt::Key_Right ? steps
                                                     : 0,
                            arrow == Qt::Key_Up     ? -steps
                            : arrow == Qt::Key_Down ? steps
                                                    : 0,
                            pictureSize);
            }
        }
        const QString title = window->writtenTitle();
        QCOMPARE(title, model.title(client, pictureSize, " [/tmp/p.png]"));
        // Ctrl+C copies exactly the reading, and nothing when there is none.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        key(*window, Qt::Key_C, Qt::ControlModifier);
        const qsizetype credit = title.indexOf(QStringLiteral(" - ") + Base);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 credit < 0 ? QStringLiteral("before") : title.left(credit));
    }
}

void KeysTest::enterFitsTheLineToTheEdge_data()
{
    QTest::addColumn<double>("degrees"); // the edge's tilt; NaN: a picture with no edge
    QTest::addColumn<QString>("reading");
    QTest::newRow("edge") << 3.0 << QStringLiteral("Horizontal+3.00°");
    QTest::newRow("no edge") << std::nan("") << QString();
}

// A dark half below a straight edge through the middle of a 2000 x 1500 picture, shown
// squeezed in a 600 x 400 window; the rough line lies a few pixels off the edge.
void KeysTest::enterFitsTheLineToTheEdge()
{
    QFETCH(double, degrees);
    QFETCH(QString, reading);
    QImage image = picture(2000, 1500, QColor(200, 200, 200));
    const double slope = std::tan(degrees * M_PI / 180.0);
    if (!std::isnan(degrees)) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 40, 40));
        painter.drawPolygon(QPolygonF{
            {0, 750 + 1000 * slope}, {2000, 750 - 1000 * slope}, {2000, 1500}, {0, 1500}});
    }
    ShownWindow window;
    window->showPicture(image, QStringLiteral(" [/tmp/edge.png]"));
    // The edge in window pixels: x / 2000 * 600, y / 1500 * 400.
    const auto onEdge = [&](double x, double off) {
        return QPointF(x * 0.3, (750 - (x - 1000) * slope) * 400 / 1500 + off);
    };
    press(*window, onEdge(300, 1.5));
    release(*window, onEdge(300, 1.5));
    press(*window, onEdge(1700, -1.0));
    release(*window, onEdge(1700, -1.0));
    const QString rough = window->writtenTitle();
    key(*window, Qt::Key_Return);
    if (reading.isEmpty()) {
        QCOMPARE(window->writtenTitle(), rough);
        QCOMPARE(window->imgTorvanix()->notice(), QStringLiteral("No edge along the line"));
    } else {
        QVERIFY2(rough !=
                     reading + QStringLiteral(" - ") + Base + QStringLiteral(" [/tmp/edge.png]"),
                 qPrintable(rough));
        QCOMPARE(window->writtenTitle(),
                 reading + QStringLiteral(" - ") + Base + QStringLiteral(" [/tmp/edge.png]"));
        // The edge between the ends is some 1400 pixels long, and exact to the title's rounding.
        const QString notice = window->imgTorvanix()->notice();
        QVERIFY2(QRegularExpression(QStringLiteral("^Fitted to a straight edge 1.?40\\d px long: "
                                                   "\u00B10.00[5-9]\u00B0$"))
                     .match(notice)
                     .hasMatch(),
                 qPrintable(notice));
    }
}

TORVANIX_WINDOW_TEST_MAIN(KeysTest)
#include "tst_keys.moc"
