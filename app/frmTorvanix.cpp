#include "frmTorvanix.h"

#include "ClipboardPicture.h"
#include "DropImport.h"
#include "Numbers.h"
#include "PictureView.h"
#include "Readout.h"
#include "WorkingFiles.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>

#include <array>

namespace {

constexpr auto TwipsPerPixel = static_cast<float>(measure::TwipsPerPixel);
// Where no screen is known yet, what a picture is kept at for display is judged for this one.
constexpr QSize UsualDesktop(1920, 1080);
// The client area the window was laid out with, 8760 x 5430 twips; below the minimum, so the
// window opens at exactly the minimum.
constexpr QSize LaidOutClient(584, 362);

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

// Shows the hourglass for as long as it lives, whichever way the drop handler returns.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void restore()
    {
        if (m_shown) {
            m_shown = false;
            QGuiApplication::restoreOverrideCursor();
        }
    }

private:
    bool m_shown = true;
};

int pixelsOf(float twips)
{
    return measure::CLng(static_cast<double>(twips) / TwipsPerPixel);
}

} // namespace

frmTorvanix::frmTorvanix(Surroundings surroundings, QWidget* parent)
    : QWidget(parent)
    , m_surroundings(std::move(surroundings))
    , m_runner(m_surroundings.Clock != nullptr ? *m_surroundings.Clock : m_systemClock)
    , m_img(new PictureView(this))
{
    if (!m_surroundings.OpenUrl) {
        m_surroundings.OpenUrl = [](const QUrl& url) {
            return QDesktopServices::openUrl(url);
        };
    }
    SetCaption(
        QString::fromUtf8(measure::Credit.data(), static_cast<qsizetype>(measure::Credit.size())));
    QIcon icon(QStringLiteral(":/torvanix.png"));
    for (const int iconSize : IconSizes) {
        icon.addFile(QStringLiteral(":/icons/torvanix-%1.png").arg(iconSize));
    }
    setWindowIcon(icon);
    resize(LaidOutClient);
    m_img->setGeometry(0, 0, pixelsOf(MinClientWidth), pixelsOf(MinClientHeight));
    const QImage card(QStringLiteral(":/card.bmp"));
    m_img->setPicture(card, card.size());

    connect(m_img, &PictureView::mouseDown, this, &frmTorvanix::imgTorvanix_MouseDown);
    connect(m_img, &PictureView::mouseMove, this, &frmTorvanix::imgTorvanix_MouseMove);
    connect(m_img, &PictureView::mouseUp, this, &frmTorvanix::imgTorvanix_MouseUp);
    // The import runs once the drop is over, so the program the file came from is not kept
    // waiting for the conversion.
    connect(m_img, &PictureView::filesDropped, this, &frmTorvanix::imgTorvanix_OLEDragDrop,
            Qt::QueuedConnection);

    Form_Load();
    // Window managers that honour size hints keep the window from shrinking in the first place;
    // Form_Resize snaps it back where none does.
    setMinimumSize(pixelsOf(MinClientWidth), pixelsOf(MinClientHeight));
}

frmTorvanix::~frmTorvanix() = default;

void frmTorvanix::Form_Load()
{
    m_mod.FrameExtraWidth =
        measure::CLng((frameGeometry().width() - width()) * static_cast<double>(TwipsPerPixel));
    m_mod.FrameExtraHeight =
        measure::CLng((frameGeometry().height() - height()) * static_cast<double>(TwipsPerPixel));
    m_mod.AppFolder = m_surroundings.AppPath;
    if (!m_mod.AppFolder.endsWith(QLatin1Char('/'))) {
        m_mod.AppFolder += QLatin1Char('/');
    }
    m_mod.Rel = measure::LineFractions{};
    Form_Resize();
    // Working files used to live beside the program; clear any an older version left there,
    // where this user may. The converter now writes into a folder of this window's own.
    DeleteStaleWorkingFiles();
    m_work = std::make_unique<intake::WorkingFolder>(m_surroundings.WorkingPlaces.isEmpty()
                                                         ? intake::DefaultWorkingPlaces()
                                                         : m_surroundings.WorkingPlaces);
    m_runner.SetTemporaryFolder(m_work->path());
}

void frmTorvanix::DeleteStaleWorkingFiles() const
{
    if (QFileInfo(m_mod.AppFolder).isWritable()) {
        intake::DeleteWorkingFiles(m_mod.AppFolder);
    }
}

QString frmTorvanix::WorkingFolder() const
{
    return m_work != nullptr ? m_work->path() : QString();
}

void frmTorvanix::Form_Resize()
{
    if (isMinimized()) {
        return;
    }
    if (ScaleWidth() < MinClientWidth) {
        SetWidth(static_cast<float>(m_mod.FrameExtraWidth) + MinClientWidth);
        return;
    }
    if (ScaleHeight() < MinClientHeight) {
        SetHeight(static_cast<float>(m_mod.FrameExtraHeight) + MinClientHeight);
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
    m_runner.EndProgram();
    m_work->remove();
    DeleteStaleWorkingFiles();
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
    Form_KeyDown(event->key(), event->modifiers(), event->isAutoRepeat());
    QWidget::keyPressEvent(event);
}

void frmTorvanix::Form_KeyDown(int KeyCode, Qt::KeyboardModifiers Shift, bool repeated)
{
    // Three independent tests, in this order.
    if (KeyCode == Qt::Key_Escape) {
        m_lin.Visible = false;
        m_img->setLine(m_lin);
        // The line's own coordinates stay; they follow the fractions at the next UpdateLine.
        m_mod.Rel = measure::LineFractions{};
        SetCaption(QString::fromStdString(measure::BaseTitle(m_img->tag().toStdString())));
    }
    // A held key repeats; one read-me window and one paste are what the user asked for.
    if (KeyCode == Qt::Key_F1 && !repeated) {
        // Whether a viewer could be started or not, the program carries on as it was.
        (void)m_surroundings.OpenUrl(QUrl::fromLocalFile(m_mod.AppFolder + ReadMeName));
    }
    if (KeyCode == Qt::Key_V && (Shift & ~Qt::KeypadModifier) == Qt::ControlModifier && !repeated) {
        PasteFromClipboard();
    }
}

void frmTorvanix::PasteFromClipboard()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    // Picture and label change together, only when a whole picture really came: a clipboard
    // that fails changes nothing.
    intake::LoadedPicture picture = intake::ReadClipboardPicture(
        clipboard != nullptr ? clipboard->mimeData() : nullptr, DisplayFit());
    if (picture.isNull()) {
        return;
    }
    // The later action wins: a conversion still running for a drop is ended, and its result
    // never replaces the pasted picture.
    if (m_runner.IsWaiting()) {
        m_pastedDuringConversion = true;
        m_runner.EndProgram();
    }
    ShowPicture(std::move(picture), ClipboardLabel);
}

float frmTorvanix::ScaleWidth() const
{
    return static_cast<float>(width()) * TwipsPerPixel;
}

float frmTorvanix::ScaleHeight() const
{
    return static_cast<float>(height()) * TwipsPerPixel;
}

void frmTorvanix::SetWidth(float twips)
{
    resize(pixelsOf(twips - static_cast<float>(m_mod.FrameExtraWidth)), height());
    // A shown window hears of its new size at once; a hidden one only when shown, so apply the
    // rules to it now.
    if (!isVisible()) {
        Form_Resize();
    }
}

void frmTorvanix::SetHeight(float twips)
{
    resize(width(), pixelsOf(twips - static_cast<float>(m_mod.FrameExtraHeight)));
    if (!isVisible()) {
        Form_Resize();
    }
}

void frmTorvanix::SetCaption(const QString& caption)
{
    m_caption = caption;
    // Qt reads "[*]" in a title as the unsaved-changes mark and drops it; doubled, it shows as
    // written, so a file named "a[*].png" keeps its name in the title.
    QString shown = caption;
    shown.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(shown);
}

bool frmTorvanix::ShellAndWait(const QString& ExeFullPath, std::int32_t TimeOutValue)
{
    return m_runner.ShellAndWait(ExeFullPath, TimeOutValue);
}

void frmTorvanix::OpenFile(const QString& path)
{
    QMetaObject::invokeMethod(
        this, [this, path] { imgTorvanix_OLEDragDrop({path}); }, Qt::QueuedConnection);
}

void frmTorvanix::imgTorvanix_OLEDragDrop(const QStringList& Files)
{
    // One conversion at a time (the view refuses drags meanwhile), and only the first file.
    if (m_runner.IsWaiting() || m_unloaded || Files.isEmpty()) {
        return;
    }
    if (!m_work->isValid()) {
        QMessageBox::warning(this, ErrorTitle,
                             (QStringList{NoWorkingFolder} + m_work->tried()).join('\n'));
        return;
    }
    const QString& file = Files.first();
    intake::LoadedPicture picture;
    WaitCursor hourglass;
    m_img->setRefuseDrops(true);
    const bool started = ConvertDroppedFile(file, picture);
    m_img->setRefuseDrops(false);
    hourglass.restore();
    if (m_unloaded) {
        return;
    }
    if (!started) {
        QMessageBox::warning(this, ErrorTitle, ConverterMissing);
        return;
    }
    // Picture, label, line and title change together, and only when a new picture came.
    if (!picture.isNull()) {
        ShowPicture(std::move(picture), intake::DropLabel(file));
    }
}

bool frmTorvanix::ConvertDroppedFile(const QString& file, intake::LoadedPicture& picture)
{
    if (!intake::IsConvertibleFile(file)) {
        return true;
    }
    // Whatever an earlier drop left is gone, so only this conversion's output can load.
    const QString& work = m_work->path();
    intake::DeleteWorkingFiles(work);
    m_pastedDuringConversion = false;
    const QString input = intake::ConverterInput(work, file);
    if (input.isEmpty()) {
        return true;
    }
    const bool started = ShellAndWait(intake::ConverterCommandLine(m_mod.AppFolder, work, input),
                                      intake::ConversionTimeLimit);
    if (m_unloaded) {
        // Closing ended the converter and removed the folder already.
        return true;
    }
    intake::RemoveConverterInput(work);
    if (!started) {
        return false;
    }
    // A converter still at work when the time is up would go on writing the file: end it and
    // give the drop up. One that crashed may have left half a file, and either may have left
    // temporary files of its own. A paste meanwhile replaced what this drop was for.
    if (m_pastedDuringConversion || m_runner.IsRunning() || m_runner.Crashed()) {
        m_runner.EndProgram();
        m_work->clear();
        return true;
    }
    picture = intake::LoadWorkingPicture(work, DisplayFit());
    return true;
}

QSize frmTorvanix::DisplayFit() const
{
    const QScreen* shown = screen();
    const QSize desktop = shown != nullptr ? shown->virtualSize() : UsualDesktop;
    return (QSizeF(desktop) * devicePixelRatioF() * 2.0).toSize();
}

void frmTorvanix::ShowPicture(const QImage& picture, const QString& label)
{
    ShowPicture(intake::LoadedPicture{intake::FitForDisplay(picture, DisplayFit()), picture.size()},
                label);
}

void frmTorvanix::ShowPicture(intake::LoadedPicture picture, const QString& label)
{
    m_img->setPicture(std::move(picture.display), picture.pixelSize);
    m_img->setTag(label);
    UpdateLine(measure::NoPoint, measure::NoPoint);
}

void frmTorvanix::UpdateLine(std::int32_t X, std::int32_t Y)
{
    // Until a paste or a drop has given the picture a label, the mouse has no effect.
    if (m_img->tag().isEmpty()) {
        return;
    }
    if (X != measure::NoPoint && Y != measure::NoPoint) {
        if (measure::MoveNearestEndpoint(m_mod.Rel, X, Y, ScaleWidth(), ScaleHeight())) {
            m_lin.Visible = true;
        }
    }
    measure::PlaceLine(m_lin, m_mod.Rel, ScaleWidth(), ScaleHeight());
    m_img->setLine(m_lin);
    RefreshReadout();
}

void frmTorvanix::RefreshReadout()
{
    const QSize picture = m_img->pictureSize();
    const measure::PictureGeometry geometry{
        measure::HimetricFromPixels(picture.width()),
        measure::HimetricFromPixels(picture.height()),
        m_img->width() * measure::TwipsPerPixel,
        m_img->height() * measure::TwipsPerPixel,
    };
    const std::string title = measure::TitleFor(m_lin, geometry, m_img->tag().toStdString(),
                                                QLocale().decimalPoint().toStdString());
    SetCaption(QString::fromStdString(title));
}

void frmTorvanix::imgTorvanix_MouseDown(Qt::MouseButtons /*Button*/,
                                        Qt::KeyboardModifiers /*Shift*/, float X, float Y)
{
    UpdateLine(measure::CLngPoint(X), measure::CLngPoint(Y));
}

void frmTorvanix::imgTorvanix_MouseMove(Qt::MouseButtons Button, Qt::KeyboardModifiers /*Shift*/,
                                        float X, float Y)
{
    // Only a drag moves the line; any button will do.
    if (Button == Qt::NoButton) {
        return;
    }
    UpdateLine(measure::CLngPoint(X), measure::CLngPoint(Y));
}

void frmTorvanix::imgTorvanix_MouseUp(Qt::MouseButtons /*Button*/, Qt::KeyboardModifiers /*Shift*/,
                                      float X, float Y)
{
    UpdateLine(measure::CLngPoint(X), measure::CLngPoint(Y));
}
