#include "app/RivivuviRUWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace app {
namespace {

// The window's client area, in twips.
constexpr int kClientWidth = 6930;
constexpr int kClientHeight = 3855;
// Input waits at most this long during a run; painting during engine work is paced too.
constexpr qint64 kYieldIntervalMs = 10;
constexpr qint64 kRepaintIntervalMs = 40;

QString ToQt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

RivivuviRUWindow::RivivuviRUWindow(settings::Mod_API& api, platform::FileSystem& fileSystem)
    : frame1_(new QGroupBox(this)),
      text2_(new QLineEdit(frame1_)),
      cmdGetOldDB_(new QPushButton(QStringLiteral("..."), frame1_)),
      text1_(new QPlainTextEdit(this)),
      progressBar1_(new QProgressBar(this)),
      cmdOK_(new QPushButton(QStringLiteral("Datenübername starten"), this)),
      logic_(std::make_unique<migration::frmRivivuviRU>(*this, api, fileSystem)) {
    frame1_->setObjectName("Frame1");
    text2_->setObjectName("Text2");
    cmdGetOldDB_->setObjectName("cmdGetOldDB");
    text1_->setObjectName("Text1");
    progressBar1_->setObjectName("ProgressBar1");
    cmdOK_->setObjectName("cmdOK");

    setFixedSize(Pixels(kClientWidth), Pixels(kClientHeight));
    Place(frame1_, 75, 75, 6765, 885);
    Place(text2_, 150, 375, 5865, 315);
    Place(cmdGetOldDB_, 6120, 375, 390, 315);
    Place(text1_, 75, 1050, 6765, 2340);
    Place(progressBar1_, 120, 3480, 4335, 255);
    Place(cmdOK_, 4680, 3480, 2190, 315);

    QFont dialogButtonFont(QStringLiteral("Verdana"));
    dialogButtonFont.setPointSizeF(9.75);
    dialogButtonFont.setBold(true);
    cmdGetOldDB_->setFont(dialogButtonFont);

    text2_->setReadOnly(true);
    text1_->setReadOnly(true);
    text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text1_->setLineWrapMode(QPlainTextEdit::NoWrap);
    progressBar1_->setRange(0, 100);
    progressBar1_->setValue(0);
    progressBar1_->setTextVisible(false);

    setTabOrder(cmdOK_, cmdGetOldDB_);
    cmdOK_->setFocus();
    connect(cmdOK_, &QPushButton::clicked, this, [this] { logic_->cmdOK_Click(); });
    connect(cmdGetOldDB_, &QPushButton::clicked, this, [this] { logic_->cmdGetOldDB_Click(); });
    progressFlush_.setSingleShot(true);
    progressFlush_.setInterval(0);
    connect(&progressFlush_, &QTimer::timeout, this, [this] { ShowPendingProgress(); });
    barPaint_.setSingleShot(true);
    connect(&barPaint_, &QTimer::timeout, this, [this] { PaintBar(); });
    sinceBarPaint_.start();
    sinceYield_.start();
    sinceRepaint_.start();
}

RivivuviRUWindow::~RivivuviRUWindow() {
    if (busy_) QApplication::restoreOverrideCursor();
}

void RivivuviRUWindow::Load() { logic_->Form_Load(); }

int RivivuviRUWindow::Pixels(int twips) const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInch() : 96.0;
    return static_cast<int>(std::lround(twips / 15.0 * dpi / 96.0));
}

void RivivuviRUWindow::Place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(Pixels(left), Pixels(top), Pixels(width), Pixels(height));
}

void RivivuviRUWindow::SetCaption(const std::string& text) { setWindowTitle(ToQt(text)); }

void RivivuviRUWindow::SetFrameCaption(const std::string& text) { frame1_->setTitle(ToQt(text)); }

void RivivuviRUWindow::SetOldDatabaseText(const std::string& text) { text2_->setText(ToQt(text)); }

void RivivuviRUWindow::ReplaceLog(const std::string& text) {
    text1_->setPlainText(ToQt(text));
    text1_->moveCursor(QTextCursor::End);
}

void RivivuviRUWindow::AppendLog(const std::string& text) {
    text1_->moveCursor(QTextCursor::End);
    text1_->insertPlainText(ToQt(text));
    text1_->moveCursor(QTextCursor::End);
    text1_->ensureCursorVisible();
}

void RivivuviRUWindow::SetProgressMaximum(int maximum) {
    progressMaximum_ = maximum;
    progressBar1_->setMaximum(maximum);
    // Qt clamps the bar's value to the new range; what the logic holds is shown in any case.
    ShowPendingProgress();
}

// Called once per row of a run: QProgressBar::setValue costs several times as much as a yield,
// so the widget only hears of values that change what it draws.
void RivivuviRUWindow::SetProgressValue(int value) {
    progressValue_ = value;
    if (ProgressDrawing(value) != ProgressDrawing(progressBar1_->value())) {
        ShowOnBar(value);
        progressFlush_.stop();
    } else if (value != progressBar1_->value() && !progressFlush_.isActive()) {
        progressFlush_.start();
    }
}

std::pair<qint64, qint64> RivivuviRUWindow::ProgressDrawing(int value) const {
    const qint64 steps = progressMaximum_ > 0 ? progressMaximum_ : 1;
    return {qint64{value} * 2 * progressBar1_->width() / steps, qint64{value} * 100 / steps};
}

void RivivuviRUWindow::ShowPendingProgress() {
    progressFlush_.stop();
    if (progressBar1_->value() != progressValue_) ShowOnBar(progressValue_);
}

// QProgressBar::setValue paints the bar there and then whenever its drawing changes visibly:
// some thirty times per table however short the table, each paint costing as much as a few
// hundred rows (0.25 to 0.4 ms). The bar takes its value at once, but its painting is left to
// the event loop, at most every 40 ms: the bar still moves smoothly, for a bounded cost.
void RivivuviRUWindow::ShowOnBar(int value) {
    if (progressBar1_->updatesEnabled()) progressBar1_->setUpdatesEnabled(false);
    progressBar1_->setValue(value);
    if (!barPaint_.isActive()) {
        barPaint_.start(
            static_cast<int>(std::max<qint64>(0, kRepaintIntervalMs - sinceBarPaint_.elapsed())));
    }
}

void RivivuviRUWindow::PaintBar() {
    barPaint_.stop();
    if (!progressBar1_->updatesEnabled()) progressBar1_->setUpdatesEnabled(true);  // paints it
    sinceBarPaint_.restart();
}

void RivivuviRUWindow::SetStartEnabled(bool enabled) { cmdOK_->setEnabled(enabled); }

void RivivuviRUWindow::SetBusyPointer(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void RivivuviRUWindow::Yield() {
    if (sinceYield_.elapsed() < kYieldIntervalMs) return;
    QCoreApplication::processEvents();
    sinceYield_.restart();
}

void RivivuviRUWindow::Repaint() {
    // Called from inside the engine: paint only. Processing events here could start engine
    // work from a click, which the engine refuses at this point.
    if (sinceRepaint_.elapsed() < kRepaintIntervalMs) return;
    PaintBar();  // the bar's timer cannot fire before the engine returns
    if (isVisible()) repaint();
    sinceRepaint_.restart();
}

void RivivuviRUWindow::ShowMessage(migration::MessageIcon icon, const std::string& text) {
    QMessageBox box(icon == migration::MessageIcon::Information ? QMessageBox::Information
                                                                : QMessageBox::Critical,
                    QStringLiteral("Sonavoxa"), ToQt(text), QMessageBox::Ok, this);
    box.exec();
}

std::optional<std::string> RivivuviRUWindow::ChooseFile(
    const migration::FileDialogRequest& request) {
    QFileDialog dialog(this, ToQt(request.title));
    // Qt's own dialog everywhere: a path can always be typed into its file name box.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(ToQt(request.filterDescription) + QStringLiteral(" (") +
                         ToQt(request.filterPattern).trimmed() + QStringLiteral(")"));
    dialog.selectFile(ToQt(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first().toStdString();
}

void RivivuviRUWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // After the window is on the screen, as an activation comes; the logic acts on the first.
    QTimer::singleShot(0, this, [this] { logic_->Form_Activate(); });
}

void RivivuviRUWindow::closeEvent(QCloseEvent* event) {
    // A run is never cut off half-way: the window stays until it has finished.
    if (!logic_->QueryUnload()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace app
