// Test scaffolding for the migration window: a machine in a temporary folder with the real
// program folder installed, a recording WindowPort that pre-answers dialogs, and helpers that
// read databases and the old-library fixtures.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "migration/WindowPort.h"
#include "migration/frmRivivuviRU.h"
#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "support/EngineTestSupport.h"
#include "support/SettingsFixture.h"

namespace migration::testing_support {

// Remembers everything the logic shows; answers file dialogs from a queue (an empty queue
// cancels). `onYield` runs inside every Yield, as user input would.
class RecordingPort : public WindowPort {
  public:
    void SetCaption(const std::string& text) override { caption = text; }
    void SetFrameCaption(const std::string& text) override { frameCaption = text; }
    void SetOldDatabaseText(const std::string& text) override { oldDatabaseText = text; }
    void ReplaceLog(const std::string& text) override {
        log = text;
        events.push_back("log=");
    }
    void AppendLog(const std::string& text) override {
        log += text;
        events.push_back("log+");
    }
    void SetProgressMaximum(int maximum) override {
        events.push_back("max " + std::to_string(maximum));
    }
    void SetProgressValue(int value) override {
        progressValue = value;
        events.push_back("value " + std::to_string(value));
    }
    void SetStartEnabled(bool enabled) override {
        startEnabled = enabled;
        events.push_back(enabled ? "start on" : "start off");
    }
    void SetBusyPointer(bool isBusy) override {
        busy = isBusy;
        events.push_back(isBusy ? "busy" : "normal");
    }
    void Yield() override {
        ++yields;
        events.push_back("yield");
        if (onYield) onYield();
    }
    void Repaint() override {}
    void ShowMessage(MessageIcon icon, const std::string& text) override {
        messages.push_back({icon, text});
        events.push_back("message");
    }
    std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
        requests.push_back(request);
        events.push_back("dialog");
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // The progress values and maxima in the order they were set.
    std::vector<std::string> ProgressEvents() const {
        std::vector<std::string> out;
        for (const std::string& e : events)
            if (e.starts_with("max ") || e.starts_with("value ")) out.push_back(e);
        return out;
    }

    struct Message {
        MessageIcon icon;
        std::string text;
    };

    std::string caption, frameCaption, oldDatabaseText, log;
    int progressValue = 0;
    bool startEnabled = true;
    bool busy = false;
    int yields = 0;
    std::vector<Message> messages;
    std::vector<FileDialogRequest> requests;
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> events;
    std::function<void()> onYield;
};

// A machine in a temporary folder: the built program folder copied to "Program", the path
// mode "user.normal", so that the data folder is "data/Sonavoxa" and loading prepares it.
class MigrationTest : public settings::testing_support::SettingsTest {
  protected:
    // `dataHome`: the folder under the temporary folder that holds the user's data folders.
    explicit MigrationTest(const std::string& dataHome = "data");
    ~MigrationTest() override;

    // A fresh Mod_API over this machine (as at a start of the tool); the window logic is gone.
    settings::Mod_API& NewApi();
    // A fresh Mod_API and window logic over this machine.
    frmRivivuviRU& NewForm(platform::FileSystem* fileSystem = nullptr);
    // NewForm, Form_Load and Form_Activate.
    frmRivivuviRU& Start(platform::FileSystem* fileSystem = nullptr);

    std::string DataFolder() const { return temp / (dataHome_ + "/Sonavoxa"); }
    std::string TargetPath() const { return DataFolder() + "/sonavoxa.mdb"; }
    // A copy of a fixture of tests/fixtures/jet in the user's documents.
    std::string OldFixture(const std::string& name) const;
    // A library of `titles` titles written by make-library's generator.
    std::string GeneratedLibrary(long titles) const;
    // Chooses `path` through the dialog and runs the transfer.
    void Migrate(const std::string& path);

    RecordingPort port;
    std::unique_ptr<frmRivivuviRU> form;

  private:
    std::string dataHome_;
};

using ::testing_support::JetErrorOf;
// Every row of a SELECT as display texts joined by '|' (Null as <null>), rows by '\n'.
std::string Rows(const std::string& databasePath, const std::string& select);
// One number from a SELECT's first row and column.
long Number(const std::string& databasePath, const std::string& select);
using ::testing_support::FileBytes;

}  // namespace migration::testing_support
