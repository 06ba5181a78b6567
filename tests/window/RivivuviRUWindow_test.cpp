// The real Qt window, offscreen: its widgets, captions, fonts and positions, and one run driven
// through its buttons.
#include "app/RivivuviRUWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "migration/MigrationFixture.h"

namespace app {
namespace {

using migration::testing_support::MigrationTest;
using migration::testing_support::Number;

// Answers the file dialog with a path and tries to close the window during the run.
class ScriptedWindow : public RivivuviRUWindow {
  public:
    using RivivuviRUWindow::RivivuviRUWindow;

    std::optional<std::string> ChooseFile(const migration::FileDialogRequest&) override {
        return answer;
    }
    void Yield() override {
        RivivuviRUWindow::Yield();
        if (Logic().Running() && !closeTried) {
            closeTried = true;
            closedDuringRun = close();
        }
    }

    std::optional<std::string> answer;
    bool closeTried = false;
    bool closedDuringRun = false;
};

class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
    int count = 0;
};

class Window : public MigrationTest {
  protected:
    template <typename T>
    T* Child(QWidget& window, const char* name) {
        T* child = window.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    // Runs the event loop a few times, and at least `ms` milliseconds.
    void Settle(int ms = 0) {
        QElapsedTimer since;
        since.start();
        for (int i = 0; i < 5 || since.elapsed() < ms; ++i) QCoreApplication::processEvents();
    }
};

// The layout's numbers are the form's own constants; what the window must show is the logic's
// texts, and it activates the logic once it is on the screen.
TEST_F(Window, ShowsTheCaptionsAndActivatesTheLogicOnceShown) {
    ScriptedWindow window(NewApi(), local);
    window.Load();
    window.show();
    Settle();
    EXPECT_EQ(window.windowTitle().toStdString(),
              "Daten aus alter Datenbank in neue Version 3.4 übernehmen");
    auto* frame = Child<QGroupBox>(window, "Frame1");
    EXPECT_EQ(frame->title().toStdString(), " Alte Datenbank auswählen Version ( 2.5 ) ");
    EXPECT_EQ(Child<QPushButton>(window, "cmdGetOldDB")->parentWidget(), frame);
    auto* start = Child<QPushButton>(window, "cmdOK");
    EXPECT_EQ(start->text().toStdString(), "Datenübername starten");
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(Child<QPlainTextEdit>(window, "Text1")->toPlainText().isEmpty());
    EXPECT_TRUE(window.Logic().TargetFound());
}

TEST_F(Window, RunsTheMigrationFromItsButtonsAndRefusesToCloseMeanwhile) {
    const std::string old = OldFixture("library-2.5-nosid.mdb");
    ScriptedWindow window(NewApi(), local);
    window.Load();
    window.show();
    Settle();
    window.answer = old;
    Child<QPushButton>(window, "cmdGetOldDB")->click();
    EXPECT_EQ(Child<QLineEdit>(window, "Text2")->text().toStdString(), old);
    Child<QPushButton>(window, "cmdOK")->click();

    EXPECT_TRUE(window.closeTried);
    EXPECT_FALSE(window.closedDuringRun);
    EXPECT_EQ(Child<QPlainTextEdit>(window, "Text1")->toPlainText().toStdString(),
              "Übernehme MP3 Dateiinformationen 10\nÜbernehme Playlistnamen 3\n"
              "Übernehme Gruppennamen 2\nÜbernehme Vor kurzem bearbeitet 3\n"
              "Übernehme Statistikdaten 4\nÜbernehme Mixstyles 2\n"
              "Übernehme Playlistinformationen 12\nAktualisiere Datenbank\n"
              "Datenübername komplett.\n");
    EXPECT_FALSE(Child<QPushButton>(window, "cmdOK")->isEnabled());
    EXPECT_EQ(Child<QProgressBar>(window, "ProgressBar1")->value(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Number(TargetPath(), "select count(*) from db_all"), 10);
    EXPECT_TRUE(window.close());
}

// A run sets the bar once per row; the widget hears only of values that change its drawing,
// and still ends on exactly the last value.
TEST_F(Window, TouchesTheProgressBarOnlyWhenItsDrawingChanges) {
    ScriptedWindow window(NewApi(), local);
    window.Load();
    window.show();
    Settle();
    auto* bar = Child<QProgressBar>(window, "ProgressBar1");
    int touches = 0;
    QObject::connect(bar, &QProgressBar::valueChanged, [&touches] { ++touches; });
    PaintCounter paints;
    bar->installEventFilter(&paints);

    constexpr int kRows = 150000;
    window.SetProgressMaximum(kRows);
    for (int row = 0; row < kRows - 1; ++row) {
        window.SetProgressValue(row);
        // Each shown value draws as the row's value would, to the pixel and the percent.
        const int shown = bar->value();
        ASSERT_EQ(qint64{shown} * bar->width() / kRows, qint64{row} * bar->width() / kRows) << row;
        ASSERT_EQ(shown * 100LL / kRows, row * 100LL / kRows) << row;
    }
    EXPECT_GT(touches, 100);
    EXPECT_LE(touches, 2 * bar->width() + 101);
    // Setting values paints nothing: the event loop paints the bar, once for all of them.
    EXPECT_EQ(paints.count, 0);
    // The last value changes no pixel, so it waits for the event loop, then is shown exactly.
    EXPECT_LT(bar->value(), kRows - 2);
    Settle(100);
    EXPECT_EQ(bar->value(), kRows - 2);
    EXPECT_EQ(paints.count, 1);

    // Inside engine work the event loop does not run: a repaint of the window paints the bar.
    window.SetProgressValue(kRows / 2);
    Settle(50);  // the engine's repaints are paced
    paints.count = 0;
    window.SetProgressValue(kRows / 4);
    window.Repaint();
    EXPECT_EQ(paints.count, 1);
    window.SetProgressValue(kRows);
    EXPECT_EQ(bar->value(), kRows);

    // Few steps: each one moves the bar, so each is shown at once.
    window.SetProgressValue(0);
    window.SetProgressMaximum(5);
    for (int step : {1, 2, 3, 4, 5, 0}) {
        window.SetProgressValue(step);
        EXPECT_EQ(bar->value(), step);
    }
    // A value that did not yet reach the bar is not lost when the maximum changes.
    window.SetProgressMaximum(1000000);
    window.SetProgressValue(1);
    window.SetProgressMaximum(1000);
    EXPECT_EQ(bar->value(), 1);
    EXPECT_EQ(bar->maximum(), 1000);
}

}  // namespace
}  // namespace app

// Qt's application object must go before the process's static objects do, so it lives in main.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
