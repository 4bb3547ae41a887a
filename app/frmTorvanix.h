// The program's one window: the picture with the measuring line over it, the tilt readout in the
// title, and the handlers that tie mouse, keyboard and drops to them.
#pragma once

#include "Clock.h"
#include "Line.h"
#include "PictureFile.h"
#include "ShellAndWait.h"
#include "WorkingFolder.h"
#include "modTorvanix.h"

#include <QImage>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class PictureView;

// What the window takes from its surroundings; tests give their own.
struct Surroundings {
    // The folder holding the program, as the system reports it (no trailing "/" except at "/").
    QString AppPath{};
    // Opens a document with the desktop's default handler without waiting; false when no
    // handler could be started. The desktop's own when left empty.
    std::function<bool(const QUrl&)> OpenUrl{};
    // The time of day for the converter's time limit; the system's when null. Must outlive
    // the window.
    const intake::Clock* Clock = nullptr;
    // Where the window may make its private working folder, in order; the usual places (the
    // user's cache, then the temporary folder) when empty.
    QList<intake::WorkingPlace> WorkingPlaces{};
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
    // runs, so the window is up before the converter is waited for. path is absolute.
    void OpenFile(const QString& path);

    // Makes a picture and its label current together and redraws the line and the title over
    // it; used by paste and drop.
    void ShowPicture(const QImage& picture, const QString& label);
    void ShowPicture(intake::LoadedPicture picture, const QString& label);
    // The most a picture is kept at for display: twice the desktop, in device pixels.
    [[nodiscard]] QSize DisplayFit() const;

    [[nodiscard]] const modTorvanix& state() const { return m_mod; }
    [[nodiscard]] PictureView* imgTorvanix() const { return m_img; }
    [[nodiscard]] const measure::LineControl& linTorvanix() const { return m_lin; }
    // The title as written, before the platform's placeholder handling.
    [[nodiscard]] const QString& Caption() const { return m_caption; }
    // Whether a dropped file is being converted.
    [[nodiscard]] bool Converting() const { return m_runner.IsWaiting(); }
    // The window's own folder for the converter's pictures, with a trailing "/"; empty when none
    // could be made or the window has closed.
    [[nodiscard]] QString WorkingFolder() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_KeyDown(int KeyCode, Qt::KeyboardModifiers Shift, bool repeated);
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void DeleteStaleWorkingFiles() const;
    void UpdateLine(std::int32_t X, std::int32_t Y);
    void RefreshReadout();
    void PasteFromClipboard();

    void imgTorvanix_MouseDown(Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X,
                               float Y);
    void imgTorvanix_MouseMove(Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X,
                               float Y);
    void imgTorvanix_MouseUp(Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, float X,
                             float Y);
    void imgTorvanix_OLEDragDrop(const QStringList& Files);
    // Converts the file and loads the result into picture, left null when no new picture
    // came. False only when the converter could not be started.
    bool ConvertDroppedFile(const QString& file, intake::LoadedPicture& picture);

    // Client size in twips.
    [[nodiscard]] float ScaleWidth() const;
    [[nodiscard]] float ScaleHeight() const;
    // Outer size in twips; writing it resizes the window as the frame sizes taken at load say.
    void SetWidth(float twips);
    void SetHeight(float twips);
    void SetCaption(const QString& caption);

    Surroundings m_surroundings;
    intake::SystemClock m_systemClock;
    // Declared before the runner, so a converter still running is ended before its folder goes.
    std::unique_ptr<intake::WorkingFolder> m_work;
    intake::CommandRunner m_runner;
    modTorvanix m_mod;
    measure::LineControl m_lin;
    PictureView* m_img = nullptr;
    QString m_caption;
    bool m_unloaded = false;
    // Set by a paste while a dropped file converts.
    bool m_pastedDuringConversion = false;
};
