// RivivuviRUWindow: the tool's one window, Qt widgets around the frmRivivuviRU logic.
//
// Lays the controls out at their twip positions (15 twips to a pixel at 96 dpi, scaled by the
// screen's logical dpi) and implements WindowPort for the logic it owns: message boxes, the
// file dialog (Qt's own, so a path can be typed), the hourglass, yielding and repainting.
// Yields are cheap: events are processed at most every few milliseconds, and a repaint during
// engine work paints the window without taking any input. The progress bar is touched only when
// its drawing changes (a step of its filled width or of the percentage); a value that would not
// change the drawing reaches the bar once the event loop runs again, so the bar always ends on
// the last value. The bar is painted by the event loop, at most every 40 ms, never by setting
// its value. The window refuses to close while a run is in progress. Borrows the Mod_API and
// the file system, which must outlive it.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <utility>

#include "migration/WindowPort.h"
#include "migration/frmRivivuviRU.h"

class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace platform {
class FileSystem;
}
namespace settings {
class Mod_API;
}

namespace app {

class RivivuviRUWindow : public QWidget, public migration::WindowPort {
  public:
    RivivuviRUWindow(settings::Mod_API& api, platform::FileSystem& fileSystem);
    ~RivivuviRUWindow() override;

    // Runs the logic's Form_Load; call once before showing the window.
    void Load();
    migration::frmRivivuviRU& Logic() { return *logic_; }

    // Pixels for a length in twips on this window's screen.
    int Pixels(int twips) const;

    void SetCaption(const std::string& text) override;
    void SetFrameCaption(const std::string& text) override;
    void SetOldDatabaseText(const std::string& text) override;
    void ReplaceLog(const std::string& text) override;
    void AppendLog(const std::string& text) override;
    void SetProgressMaximum(int maximum) override;
    void SetProgressValue(int value) override;
    void SetStartEnabled(bool enabled) override;
    void SetBusyPointer(bool busy) override;
    void Yield() override;
    void Repaint() override;
    void ShowMessage(migration::MessageIcon icon, const std::string& text) override;
    std::optional<std::string> ChooseFile(const migration::FileDialogRequest& request) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Place(QWidget* widget, int left, int top, int width, int height);
    // What the bar draws for a value: its filled width (at twice the pixel resolution, so that
    // rounding in the style never hides a step) and its percentage.
    std::pair<qint64, qint64> ProgressDrawing(int value) const;
    void ShowPendingProgress();
    void ShowOnBar(int value);
    void PaintBar();

    QGroupBox* frame1_;
    QLineEdit* text2_;
    QPushButton* cmdGetOldDB_;
    QPlainTextEdit* text1_;
    QProgressBar* progressBar1_;
    QPushButton* cmdOK_;
    std::unique_ptr<migration::frmRivivuviRU> logic_;
    bool busy_ = false;
    QElapsedTimer sinceYield_;
    QElapsedTimer sinceRepaint_;
    int progressMaximum_ = 100;
    int progressValue_ = 0;
    QTimer progressFlush_;
    QTimer barPaint_;
    QElapsedTimer sinceBarPaint_;
};

}  // namespace app
