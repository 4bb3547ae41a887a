#include "frmTorvanix.h"

#include "ClipboardPicture.h"
#include "DropImport.h"
#include "EdgeNotice.h"
#include "Loupe.h"
#include "Numbers.h"
#include "PictureView.h"
#include "ReadFailure.h"
#include "WaitCursor.h"
#include "WorkingFiles.h"

#include <QAccessible>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr auto TwipsPerPixel = static_cast<float>(measure::TwipsPerPixel);
// Where no screen is known yet, what a picture is kept at for display is judged for this one.
constexpr QSize UsualDesktop(1920, 1080);
// The client area the window was laid out with, 8760 x 5430 twips; below the minimum, so the
// window opens at exactly the minimum.
constexpr QSize LaidOutClient(584, 362);

// How long the loupe stays up after a nudge, so the user sees where the end went.
constexpr int LoupeAfterNudgeMs = 1500;
// A nudge moves the end this many pixels of the picture, or ShiftSteps with Shift held.
constexpr int NudgeSteps = 1;
constexpr int ShiftSteps = 10;
// The edge fit needs a line at least this long on screen (device pixels), and looks first this
// far to either side of it (logical pixels of the window, or picture pixels, whichever is wider).
constexpr double ShortestFittedLine = 20.0;
constexpr double ReachWindowPixels = 10.0;
constexpr double ReachPicturePixels = 3.0;
const QString LineTooShort =
    QStringLiteral("The line is too short to fit: draw it at least 20 pixels long");

const QString ClipboardLabel = QStringLiteral(" [Image from Clipboard]");
const QString ReadMeName = QStringLiteral("ReadMe.txt");
// The icon as drawn for each size; the 16 x 16 one is drawn pixel by pixel, the others from
// shapes.
constexpr std::array IconSizes{22, 24, 32, 48, 64, 128, 256};

const QString ErrorTitle = QStringLiteral("Torvanix Error!");
const QString ConverterMissing =
    QStringLiteral("Torvanix is not able to locate vconvert.exe and/or\n"
                   "vcomp100.dll (ImageMagick).\n"
                   "Restore them from the official distribution of Torvanix.");
const QString NoWorkingFolder =
    QStringLiteral("Torvanix is not able to create a working folder in:");

// Twips of a mouse event that reached the window itself, from its exact position: the picture
// covers the window from its origin, and the scene position keeps the fractions that position()
// rounds away.
QPointF twipsOnWindow(const QMouseEvent* event)
{
    return event->scenePosition() * measure::TwipsPerPixel;
}

int pixelsOf(float twips)
{
    return measure::CLng(static_cast<double>(twips) / TwipsPerPixel);
}

QList<intake::WorkingPlace> workingPlacesOf(const Surroundings& surroundings)
{
    return surroundings.workingPlaces.isEmpty() ? intake::defaultWorkingPlaces()
                                                : surroundings.workingPlaces;
}

} // namespace

frmTorvanix::frmTorvanix(Surroundings surroundings, QWidget* parent)
    : QWidget(parent)
    , m_surroundings(std::move(surroundings))
    , m_runner(m_surroundings.clock != nullptr ? *m_surroundings.clock : m_systemClock)
    , m_img(new PictureView(this))
{
    if (!m_surroundings.openUrl) {
        m_surroundings.openUrl = [](const QUrl& url) {
            return QDesktopServices::openUrl(url);
        };
    }
    showMeasurement();
    QIcon icon(QStringLiteral(":/torvanix.png"));
    for (const int iconSize : IconSizes) {
        icon.addFile(QStringLiteral(":/icons/torvanix-%1.png").arg(iconSize));
    }
    setWindowIcon(icon);
    resize(LaidOutClient);
    m_img->setGeometry(0, 0, pixelsOf(MinClientWidth), pixelsOf(MinClientHeight));
    // The instruction card is the first picture, with no label, so the line does not respond.
    QImage card(QStringLiteral(":/card.bmp"));
    m_measure.setPicture(card.width(), card.height(), {});
    m_img->setPicture(std::move(card));

    connect(m_img, &PictureView::mouseDown, this, &frmTorvanix::imgTorvanix_MouseDown);
    connect(m_img, &PictureView::mouseMove, this, &frmTorvanix::imgTorvanix_MouseMove);
    connect(m_img, &PictureView::mouseUp, this, &frmTorvanix::imgTorvanix_MouseUp);
    // The import runs once the drop is over, so the program the file came from is not kept
    // waiting for the conversion.
    connect(m_img, &PictureView::filesDropped, this, &frmTorvanix::imgTorvanix_OLEDragDrop,
            Qt::QueuedConnection);
    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(m_surroundings.noticeTime);
    connect(&m_noticeTimer, &QTimer::timeout, this, &frmTorvanix::hideNotice);
    m_loupeAfterNudge.setSingleShot(true);
    m_loupeAfterNudge.setInterval(LoupeAfterNudgeMs);
    connect(&m_loupeAfterNudge, &QTimer::timeout, this, &frmTorvanix::refreshLoupe);

    Form_Load();
    // Window managers that honour size hints keep the window from shrinking in the first place;
    // Form_Resize snaps it back where none does.
    setMinimumSize(pixelsOf(MinClientWidth), pixelsOf(MinClientHeight));
}

frmTorvanix::~frmTorvanix() = default;

void frmTorvanix::Form_Load()
{
    m_mod.AppFolder = m_surroundings.appPath;
    if (!m_mod.AppFolder.endsWith(QLatin1Char('/'))) {
        m_mod.AppFolder += QLatin1Char('/');
    }
    Form_Resize();
    // Working files used to live beside the program; clear any an older version left there,
    // where this user may. The converter now writes into a folder of this window's own.
    deleteStaleWorkingFiles();
    // Raw camera files go to libraw through the delegate table beside the program.
    m_runner.setConfigureFolder(m_mod.AppFolder);
    // The folders of windows that were killed go once the event loop runs, not before the first
    // frame; this window makes its own when a conversion first needs it (workingFolder).
    QTimer::singleShot(0, this, [this] {
        intake::removeAbandonedWorkingFolders(workingPlacesOf(m_surroundings));
    });
}

void frmTorvanix::deleteStaleWorkingFiles() const
{
    if (QFileInfo(m_mod.AppFolder).isWritable()) {
        intake::deleteWorkingFiles(m_mod.AppFolder);
    }
}

QString frmTorvanix::workingFolder()
{
    // Made on first need, as its lock file is synced to disk, a wait no start-up should have;
    // one that could not be made is tried again at the next need, never after unloading.
    if (!m_unloaded && (m_work == nullptr || !m_work->isValid())) {
        m_work = std::make_unique<intake::WorkingFolder>(workingPlacesOf(m_surroundings));
        m_runner.setTemporaryFolder(m_work->path());
    }
    return m_work != nullptr ? m_work->path() : QString();
}

void frmTorvanix::Form_Resize()
{
    if (isMinimized()) {
        return;
    }
    // Where a window manager ignores the minimum size, the window snaps back, one side at a
    // time: the resize comes back here for the other.
    if (clientWidth() < MinClientWidth) {
        resizeClient(pixelsOf(MinClientWidth), height());
        return;
    }
    if (clientHeight() < MinClientHeight) {
        resizeClient(width(), pixelsOf(MinClientHeight));
        return;
    }
    // The picture always covers the client area exactly, from the top left corner.
    if (m_img->size() != size()) {
        m_img->resize(size());
    }
    UpdateLine(measure::NoPoint, measure::NoPoint);
}

void frmTorvanix::Form_Unload()
{
    // A conversion still running is ended first, so that it writes no file after this.
    m_unloaded = true;
    m_runner.endProgram();
    if (m_work != nullptr) {
        m_work->remove();
    }
    deleteStaleWorkingFiles();
}

void frmTorvanix::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmTorvanix::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmTorvanix::keyPressEvent(QKeyEvent* event)
{
    hideNotice();
    Form_KeyDown(event->key(), event->modifiers(), event->isAutoRepeat());
    QWidget::keyPressEvent(event);
}

void frmTorvanix::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers, bool repeated)
{
    // Three independent tests, in this order.
    if (key == Qt::Key_Escape) {
        // The line's own coordinates stay; they follow the fractions at the next UpdateLine.
        cancelFinding();
        m_measure.reset();
        showMeasurement();
    }
    // A held key repeats; one read-me window and one paste are what the user asked for.
    if (key == Qt::Key_F1 && !repeated) {
        // Whether a viewer could be started or not, the program carries on as it was.
        (void)m_surroundings.openUrl(QUrl::fromLocalFile(m_mod.AppFolder + ReadMeName));
    }
    const Qt::KeyboardModifiers pressed = modifiers & ~Qt::KeypadModifier;
    if (key == Qt::Key_V && pressed == Qt::ControlModifier && !repeated) {
        pasteFromClipboard();
    }
    // The keys that refine the line; they mean nothing until it shows.
    if (key == Qt::Key_C && pressed == Qt::ControlModifier) {
        copyReading();
    }
    // F finds an edge with or without a line; it means nothing until a picture is in.
    if (key == Qt::Key_F && (pressed == Qt::NoModifier || pressed == Qt::ShiftModifier) &&
        !repeated && m_measure.responds()) {
        findEdge(pressed == Qt::ShiftModifier ? -1 : 1);
    }
    if (!m_measure.shows()) {
        return;
    }
    if (pressed == Qt::NoModifier || pressed == Qt::ShiftModifier) {
        nudgeActiveEnd(key, pressed);
    }
    if ((key == Qt::Key_Tab && pressed == Qt::NoModifier) || key == Qt::Key_Backtab) {
        switchActiveEnd();
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && pressed == Qt::NoModifier && !repeated) {
        fitLineToEdge();
    }
}

// On Wayland the pointer lies between pixels, and Qt 6.4 picks the widget under it from the
// position rounded to whole pixels: a press at x >= width - 0.5 (or y) lands on the window, not
// on the picture that fills it, and so do the drag and release that follow (at scale 2, the whole
// last column and row of device pixels). They count exactly as on the picture.
void frmTorvanix::mousePressEvent(QMouseEvent* event)
{
    const QPointF at = twipsOnWindow(event);
    imgTorvanix_MouseDown(event->button(), event->modifiers(), static_cast<float>(at.x()),
                          static_cast<float>(at.y()));
}

void frmTorvanix::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = twipsOnWindow(event);
    imgTorvanix_MouseMove(event->buttons(), event->modifiers(), static_cast<float>(at.x()),
                          static_cast<float>(at.y()));
}

void frmTorvanix::mouseReleaseEvent(QMouseEvent* event)
{
    const QPointF at = twipsOnWindow(event);
    imgTorvanix_MouseUp(event->button(), event->modifiers(), static_cast<float>(at.x()),
                        static_cast<float>(at.y()));
}

bool frmTorvanix::focusNextPrevChild(bool /*next*/)
{
    return false;
}

void frmTorvanix::nudgeActiveEnd(int key, Qt::KeyboardModifiers modifiers)
{
    const int steps = modifiers == Qt::ShiftModifier ? ShiftSteps : NudgeSteps;
    int x = 0;
    int y = 0;
    switch (key) {
    case Qt::Key_Left:
        x = -steps;
        break;
    case Qt::Key_Right:
        x = steps;
        break;
    case Qt::Key_Up:
        y = -steps;
        break;
    case Qt::Key_Down:
        y = steps;
        break;
    default:
        return;
    }
    m_measure.nudge(x, y);
    m_loupeAfterNudge.start();
    UpdateLine(measure::NoPoint, measure::NoPoint);
}

void frmTorvanix::switchActiveEnd()
{
    m_measure.switchActiveEnd();
    showMeasurement();
}

void frmTorvanix::copyReading() const
{
    const std::string& reading = m_measure.readout();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (reading.empty() || clipboard == nullptr) {
        return;
    }
    clipboard->setText(QString::fromStdString(reading));
}

void frmTorvanix::refreshLoupe()
{
    const bool wanted = m_measure.shows() && (m_buttonHeld || m_loupeAfterNudge.isActive());
    if (!wanted) {
        m_img->setLoupe({}, {});
        return;
    }
    const intake::FullPicture* shown = pixels();
    if (shown == nullptr) {
        m_img->setLoupe({}, {});
        return;
    }
    const QSize picture(static_cast<int>(m_measure.pictureWidth()),
                        static_cast<int>(m_measure.pictureHeight()));
    Loupe loupe = makeLoupe(*shown, picture, m_measure.ends(), m_measure.activeEndPoint(),
                            m_img->size(), m_img->devicePixelRatioF());
    m_img->setLoupe(loupe.where, std::move(loupe.image));
}

const intake::FullPicture* frmTorvanix::pixels()
{
    if (m_pixels == nullptr) {
        m_pixels = intake::FullPicture::fromImage(m_img->picture());
    }
    return m_pixels.get();
}

void frmTorvanix::fitLineToEdge()
{
    const measure::PictureSegment ends = m_measure.ends();
    const auto pictureWidth = static_cast<double>(m_measure.pictureWidth());
    const auto pictureHeight = static_cast<double>(m_measure.pictureHeight());
    // Logical pixels of the window per picture pixel, each way: the view may stretch the
    // picture unevenly.
    const double scaleX = m_img->width() / pictureWidth;
    const double scaleY = m_img->height() / pictureHeight;
    const double dx = ends.b.x - ends.a.x;
    const double dy = ends.b.y - ends.a.y;
    const double ratio = m_img->devicePixelRatioF();
    if (!(std::hypot(dx * scaleX, dy * scaleY) * ratio >= ShortestFittedLine)) {
        // Every Enter says something: here, what the fit needs first.
        showNotice(LineTooShort);
        return;
    }
    // Across the line, one picture pixel covers this many logical pixels; the first search
    // reaches as far in the window whatever the screen's scale.
    const double length = std::hypot(dx, dy);
    const double across = std::hypot(dy / length * scaleX, dx / length * scaleY);
    const double reach = std::max(ReachPicturePixels, ReachWindowPixels / across);
    const intake::FullPicture* band = pixels();
    if (band == nullptr) {
        showNotice(QString::fromStdString(measure::edgeFitNotice({}, ".", ",")));
        return;
    }
    const measure::EdgeFitAnswer answer = m_measure.fitToEdge(*band, reach);
    const QLocale locale;
    const bool grouped = !(locale.numberOptions() & QLocale::OmitGroupSeparator);
    showNotice(QString::fromStdString(
        measure::edgeFitNotice(answer, locale.decimalPoint().toStdString(),
                               grouped ? locale.groupSeparator().toStdString() : std::string())));
    if (answer.fit) {
        UpdateLine(measure::NoPoint, measure::NoPoint);
    }
}

void frmTorvanix::findEdge(int step)
{
    if (m_foundEdges) {
        const std::size_t count = m_foundEdges->size();
        if (count > 0) {
            m_foundAt = (m_foundAt + (step > 0 ? 1 : count - 1)) % count;
        }
        showFoundEdge();
        return;
    }
    // One search at a time: its first edge shows when it ends.
    if (m_finder.searching()) {
        return;
    }
    const intake::FullPicture* shown = pixels();
    const QSize picture(static_cast<int>(m_measure.pictureWidth()),
                        static_cast<int>(m_measure.pictureHeight()));
    m_finder.start(m_img->picture(), shown != nullptr ? m_pixels : nullptr, picture,
                   [this](std::vector<measure::FoundEdge> edges) {
                       m_foundEdges = std::move(edges);
                       m_foundAt = 0;
                       showFoundEdge();
                   });
}

void frmTorvanix::showFoundEdge()
{
    const QLocale locale;
    const bool grouped = !(locale.numberOptions() & QLocale::OmitGroupSeparator);
    const std::size_t count = m_foundEdges ? m_foundEdges->size() : 0;
    const measure::EdgeFit* fit = count > 0 ? &(*m_foundEdges)[m_foundAt].fit : nullptr;
    if (fit != nullptr) {
        m_measure.setEnds(fit->ends);
        UpdateLine(measure::NoPoint, measure::NoPoint);
    }
    showNotice(QString::fromStdString(
        measure::foundEdgeNotice(m_foundAt, count, fit, locale.decimalPoint().toStdString(),
                                 grouped ? locale.groupSeparator().toStdString() : std::string())));
}

void frmTorvanix::cancelFinding()
{
    m_finder.cancel();
}

void frmTorvanix::pasteFromClipboard()
{
    cancelFinding();
    const QClipboard* clipboard = QGuiApplication::clipboard();
    // Picture and label change together, only when a whole picture really came: a clipboard
    // that fails changes nothing.
    intake::PasteFailure why = intake::PasteFailure::NoPicture;
    intake::LoadedPicture picture = intake::readClipboardPicture(
        clipboard != nullptr ? clipboard->mimeData() : nullptr, displayFit(), &why);
    if (picture.isNull()) {
        showNotice(intake::pasteFailureNotice(why));
        return;
    }
    // The later action wins: a conversion still running for a drop is ended, and its result
    // never replaces the pasted picture.
    if (m_runner.isWaiting()) {
        m_pastedDuringConversion = true;
        m_runner.endProgram();
    }
    showPicture(std::move(picture), ClipboardLabel);
}

float frmTorvanix::clientWidth() const
{
    return static_cast<float>(width()) * TwipsPerPixel;
}

float frmTorvanix::clientHeight() const
{
    return static_cast<float>(height()) * TwipsPerPixel;
}

void frmTorvanix::resizeClient(int width, int height)
{
    resize(width, height);
    // A shown window hears of its new size at once; a hidden one only when shown, so apply the
    // rules to it now.
    if (!isVisible()) {
        Form_Resize();
    }
}

QString frmTorvanix::writtenTitle() const
{
    return QString::fromStdString(m_measure.title());
}

void frmTorvanix::showMeasurement()
{
    m_img->setLine(m_measure.line(), m_measure.activeEnd());
    refreshLoupe();
    // Qt reads "[*]" in a title as the unsaved-changes mark and drops it; doubled, it shows as
    // written, so a file named "a[*].png" keeps its name in the title.
    QString shown = writtenTitle();
    shown.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(shown);
}

bool frmTorvanix::ShellAndWait(const QString& ExeFullPath, std::int32_t TimeOutValue)
{
    return m_runner.ShellAndWait(ExeFullPath, TimeOutValue);
}

void frmTorvanix::openFile(const QByteArray& path)
{
    QMetaObject::invokeMethod(
        this, [this, path] { imgTorvanix_OLEDragDrop({path}); }, Qt::QueuedConnection);
}

void frmTorvanix::imgTorvanix_OLEDragDrop(const QList<QByteArray>& files)
{
    hideNotice();
    cancelFinding();
    // One conversion at a time (the view refuses drags meanwhile), and only the first file.
    if (m_runner.isWaiting() || m_unloaded || files.isEmpty()) {
        return;
    }
    if (workingFolder().isEmpty()) {
        QMessageBox::warning(this, ErrorTitle,
                             (QStringList{NoWorkingFolder} + m_work->tried()).join('\n'));
        return;
    }
    const intake::NamedFile file(files.first());
    intake::LoadedPicture picture;
    WaitCursor hourglass;
    m_img->setRefuseDrops(true);
    const bool started = convertDroppedFile(file, picture);
    m_img->setRefuseDrops(false);
    hourglass.restore();
    if (m_unloaded) {
        return;
    }
    if (!started) {
        QMessageBox::warning(this, ErrorTitle, ConverterMissing);
        return;
    }
    // Picture, label, line and title change together, and only when a new picture came;
    // otherwise they stay as they were and the notice says why.
    if (!picture.isNull()) {
        showPicture(std::move(picture), intake::dropLabel(file.shown));
    } else if (!m_dropNotice.isEmpty()) {
        showNotice(m_dropNotice);
    }
}

bool frmTorvanix::convertDroppedFile(const intake::NamedFile& file, intake::LoadedPicture& picture)
{
    m_dropNotice.clear();
    // Opened first, so the system's own refusal is told rather than the converter's guess.
    const QString unopenable = intake::whyUnopenable(file.path);
    if (!unopenable.isEmpty()) {
        m_dropNotice =
            intake::readFailureNotice(intake::ReadFailure::CannotOpen, file.shown, unopenable);
        return true;
    }
    // Whatever an earlier drop left is gone, so only this conversion's output can load.
    const QString& work = m_work->path();
    intake::deleteWorkingFiles(work);
    m_pastedDuringConversion = false;
    const QString input = intake::converterInput(work, file);
    if (input.isEmpty()) {
        m_dropNotice = intake::readFailureNotice(intake::ReadFailure::CannotOpen, file.shown,
                                                 QStringLiteral("no link to it can be made"));
        return true;
    }
    const bool started = ShellAndWait(intake::converterCommandLine(m_mod.AppFolder, work, input),
                                      intake::ConversionTimeLimit);
    if (m_unloaded) {
        // Closing ended the converter and removed the folder already.
        return true;
    }
    intake::removeConverterInput(work);
    if (!started) {
        return false;
    }
    // A converter still at work when the time is up would go on writing the file: end it and
    // give the drop up. One that crashed may have left half a file, and either may have left
    // temporary files of its own. A paste meanwhile replaced what this drop was for.
    const bool overTime = m_runner.isRunning();
    if (m_pastedDuringConversion || overTime || m_runner.crashed()) {
        m_runner.endProgram();
        m_work->clear();
        if (!m_pastedDuringConversion) {
            m_dropNotice = intake::conversionFailureNotice(file.shown, input, overTime,
                                                           m_runner.errorOutput());
        }
        return true;
    }
    picture = intake::loadWorkingPicture(work, displayFit());
    if (picture.isNull()) {
        // What the converter wrote and the loader still refuses is beyond what it can hold.
        const bool written = QFileInfo::exists(work + QLatin1String(intake::SingleWorkingFile)) ||
                             QFileInfo::exists(work + QLatin1String(intake::FirstPageWorkingFile));
        m_dropNotice =
            written
                ? intake::readFailureNotice(intake::ReadFailure::TooLarge, file.shown,
                                            QStringLiteral("the converted picture does not load"))
                : intake::conversionFailureNotice(file.shown, input, false, m_runner.errorOutput());
    }
    return true;
}

void frmTorvanix::showNotice(const QString& text)
{
    if (text.isEmpty()) {
        hideNotice();
        return;
    }
    m_img->setNotice(text);
    setAccessibleDescription(text);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
    m_noticeTimer.start();
}

void frmTorvanix::hideNotice()
{
    m_noticeTimer.stop();
    if (m_img->notice().isEmpty()) {
        return;
    }
    m_img->setNotice({});
    setAccessibleDescription({});
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

QSize frmTorvanix::displayFit() const
{
    const QScreen* shown = screen();
    const QSize desktop = shown != nullptr ? shown->virtualSize() : UsualDesktop;
    return (QSizeF(desktop) * devicePixelRatioF() * 2.0).toSize();
}

void frmTorvanix::showPicture(const QImage& picture, const QString& label)
{
    showPicture(intake::LoadedPicture{intake::fitForDisplay(picture, displayFit()), picture.size(),
                                      intake::keptFullPicture(picture)},
                label);
}

void frmTorvanix::showPicture(intake::LoadedPicture picture, const QString& label)
{
    // Edges found on the picture before are no edges of this one.
    cancelFinding();
    m_foundEdges.reset();
    m_pixels = std::move(picture.full);
    m_img->setPicture(std::move(picture.display));
    m_measure.setPicture(picture.pixelSize.width(), picture.pixelSize.height(),
                         label.toStdString());
    UpdateLine(measure::NoPoint, measure::NoPoint);
}

void frmTorvanix::UpdateLine(std::int32_t X, std::int32_t Y)
{
    // Until a paste or a drop has given the picture a label, the mouse has no effect.
    if (!m_measure.responds()) {
        return;
    }
    if (X != measure::NoPoint && Y != measure::NoPoint) {
        m_measure.moveNearestEndpoint(X, Y, clientWidth(), clientHeight());
    }
    // The readout measures against the picture control's size, which the size rules keep equal
    // to the client area.
    m_measure.place(clientWidth(), clientHeight(), m_img->width() * measure::TwipsPerPixel,
                    m_img->height() * measure::TwipsPerPixel,
                    QLocale().decimalPoint().toStdString());
    showMeasurement();
}

void frmTorvanix::imgTorvanix_MouseDown(Qt::MouseButtons /*buttons*/,
                                        Qt::KeyboardModifiers /*modifiers*/, float X, float Y)
{
    hideNotice();
    cancelFinding();
    m_buttonHeld = true;
    UpdateLine(measure::CLngPoint(X), measure::CLngPoint(Y));
}

void frmTorvanix::imgTorvanix_MouseMove(Qt::MouseButtons buttons,
                                        Qt::KeyboardModifiers /*modifiers*/, float X, float Y)
{
    // Only a drag moves the line; any button will do.
    if (buttons == Qt::NoButton) {
        return;
    }
    UpdateLine(measure::CLngPoint(X), measure::CLngPoint(Y));
}

void frmTorvanix::imgTorvanix_MouseUp(Qt::MouseButtons /*buttons*/,
                                      Qt::KeyboardModifiers /*modifiers*/, float X, float Y)
{
    // The loupe goes as soon as the button is released; a nudge's moment ends with it too.
    m_buttonHeld = false;
    m_loupeAfterNudge.stop();
    UpdateLine(measure::CLngPoint(X), measure::CLngPoint(Y));
}
