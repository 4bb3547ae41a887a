// The program's one window: the picture with the measuring line over it, the tilt readout in the
// title, and the handlers that tie mouse, keyboard and drops to them.
#pragma once

#include "Clock.h"
#include "DropImport.h"
#include "EdgeFinder.h"
#include "FullPicture.h"
#include "Measurement.h"
#include "PictureFile.h"
#include "ShellAndWait.h"
#include "WorkingFolder.h"
#include "modTorvanix.h"

#include <QImage>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PictureView;

// What the window takes from its surroundings; tests give their own.
struct Surroundings {
    // The folder holding the program, as the system reports it (no trailing "/" except at "/").
    QString appPath{};
    // Opens a document with the desktop's default handler without waiting; false when no
    // handler could be started. The desktop's own when left empty.
    std::function<bool(const QUrl&)> openUrl{};
    // The time of day for the converter's time limit; the system's when null. Must outlive
    // the window.
    const intake::Clock* clock = nullptr;
    // Where the window may make its private working folder, in order; the usual places (the
    // user's cache, then the temporary folder) when empty.
    QList<intake::WorkingPlace> workingPlaces{};
    // How long a notice stays unless something the user does sends it away first.
    std::chrono::milliseconds noticeTime{5000};
};

class frmTorvanix : public QWidget {
    Q_OBJECT

public:
    explicit frmTorvanix(Surroundings surroundings, QWidget* parent = nullptr);
    ~frmTorvanix() override;

    frmTorvanix(const frmTorvanix&) = delete;
    frmTorvanix& operator=(const frmTorvanix&) = delete;

    // Starts a program from a command line and waits for it, at most TimeOutValue seconds
    // (0: no limit), while the window goes on handling events. False when it cannot start.
    bool ShellAndWait(const QString& ExeFullPath, std::int32_t TimeOutValue);

    // Imports a file given on the command line exactly as a drop of it, once the event loop
    // runs, so the window is up before the converter is waited for. path is absolute, the exact
    // bytes the system knows the file by.
    void openFile(const QByteArray& path);

    // Says something over the lower edge of the picture for a while, without touching the
    // picture, the line or the title; it goes after the notice time, or at the next mouse
    // press, key press, drop or paste. Screen readers hear it as the window's description.
    void showNotice(const QString& text);
    void hideNotice();

    // Makes a picture and its label current together and redraws the line and the title over
    // it; used by paste and drop.
    void showPicture(const QImage& picture, const QString& label);
    void showPicture(intake::LoadedPicture picture, const QString& label);
    // The most a picture is kept at for display: twice the desktop, in device pixels.
    [[nodiscard]] QSize displayFit() const;

    // The line, the picture's own size, its label and the title.
    [[nodiscard]] const measure::Measurement& measurement() const { return m_measure; }
    // The program's folder, always ending in "/".
    [[nodiscard]] const QString& appFolder() const { return m_mod.AppFolder; }
    [[nodiscard]] PictureView* imgTorvanix() const { return m_img; }
    // The title as written, before the platform's placeholder handling.
    [[nodiscard]] QString writtenTitle() const;
    // Whether a dropped file is being converted.
    [[nodiscard]] bool isConverting() const { return m_runner.isWaiting(); }
    // The window's own folder for the converter's pictures, with a trailing "/", made on the first
    // call; empty when none could be made or the window has closed.
    [[nodiscard]] QString workingFolder();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The mouse on the window itself, outside the picture as Qt rounds it; see the handlers.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Tab belongs to the measuring line (it switches its active end), not to focus changes.
    bool focusNextPrevChild(bool next) override;

private:
    void Form_KeyDown(int key, Qt::KeyboardModifiers modifiers, bool repeated);
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void UpdateLine(std::int32_t X, std::int32_t Y);

    void imgTorvanix_MouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, float X,
                               float Y);
    void imgTorvanix_MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, float X,
                               float Y);
    void imgTorvanix_MouseUp(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, float X,
                             float Y);
    void imgTorvanix_OLEDragDrop(const QList<QByteArray>& files);

    void pasteFromClipboard();
    // The keys that refine the line once it shows: arrows nudge its active end by one pixel of
    // the picture (ten with Shift), Tab makes the other end active.
    void nudgeActiveEnd(int key, Qt::KeyboardModifiers modifiers);
    void switchActiveEnd();
    // Puts the reading (the title's part before the credit) on the clipboard as plain text.
    void copyReading() const;
    // Shows or hides the loupe over the active end as the button and the nudge timer say.
    void refreshLoupe();
    // Enter: fits the line to the straight edge it lies along, or says there is none.
    void fitLineToEdge();
    // F (step 1) and Shift+F (step -1): puts the line on the picture's strongest straight edge,
    // found off the window's thread the first time, then on the next (or the one before).
    void findEdge(int step);
    // Shows the found edge at m_foundAt: the line on it, and a notice counting the edges.
    void showFoundEdge();
    // A press, a drop, a paste or Escape wins over a search still under way.
    void cancelFinding();
    // The pixels the loupe and the edge fit look at: the picture's own, or, where only the
    // display copy is kept (a very large paste), that copy, made to stand in once.
    const intake::FullPicture* pixels();
    // Converts the file and loads the result into picture, left null when no new picture
    // came. False only when the converter could not be started.
    bool convertDroppedFile(const intake::NamedFile& file, intake::LoadedPicture& picture);
    void deleteStaleWorkingFiles() const;

    // Client size in twips.
    [[nodiscard]] float clientWidth() const;
    [[nodiscard]] float clientHeight() const;
    // Resizes the client area, applying the size rules at once when the window is not shown.
    void resizeClient(int width, int height);
    // Shows the measurement's line and title.
    void showMeasurement();

    Surroundings m_surroundings;
    intake::SystemClock m_systemClock;
    // Declared before the runner, so a converter still running is ended before its folder goes.
    std::unique_ptr<intake::WorkingFolder> m_work;
    intake::CommandRunner m_runner;
    modTorvanix m_mod;
    measure::Measurement m_measure;
    PictureView* m_img = nullptr;
    // The picture's own pixels for the loupe and the edge fit, as the picture came; see pixels().
    std::shared_ptr<const intake::FullPicture> m_pixels;
    bool m_unloaded = false;
    QTimer m_noticeTimer;
    // Why the drop under way brought no picture; empty while it may still bring one.
    QString m_dropNotice;
    // Set by a paste while a dropped file converts.
    bool m_pastedDuringConversion = false;
    // Whether a mouse button is held on the picture, which keeps the loupe up.
    bool m_buttonHeld = false;
    // Keeps the loupe up for a moment after each nudge.
    QTimer m_loupeAfterNudge;
    // The picture's straight edges, once F has found them: kept until another picture comes.
    EdgeFinder m_finder;
    std::optional<std::vector<measure::FoundEdge>> m_foundEdges;
    std::size_t m_foundAt = 0;
};
