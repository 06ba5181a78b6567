// Test scaffolding for the settings subsystem: a machine laid out in a temporary folder (an
// installation, XDG folders, store files) and a file system that counts calls and fails the
// k-th call of one kind.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/os/ForwardingFileSystem.h"
#include "platform/os/LocalFileSystem.h"
#include "support/MachineApi.h"
#include "support/TempFolder.h"

namespace settings::testing_support {

enum class Call {
    FolderExists,
    FileExists,
    CreateFolder,
    CopyFiles,
    CopyFolders,
    DeleteFile,
    RenameFile,
    ReplaceFile,
    ReadFile,
    WriteFile,
    Count
};

class ScriptedFileSystem : public platform::ForwardingFileSystem {
  public:
    explicit ScriptedFileSystem(platform::FileSystem& target) : ForwardingFileSystem(target) {}

    // The `k`-th (1-based, counted from now) call of `call` fails; a failing WriteFile first
    // writes half of its contents, as a crash would leave them.
    void FailNth(Call call, int k) {
        failCall_ = call;
        failAt_ = Count(call) + k;
    }
    void ResetCounts() { counts_.fill(0); }
    int Count(Call call) const { return counts_[static_cast<size_t>(call)]; }
    int Total() const {
        int total = 0;
        for (int c : counts_) total += c;
        return total;
    }

    bool FolderExists(const std::string& p) override {
        return Pass(Call::FolderExists) && ForwardingFileSystem::FolderExists(p);
    }
    bool FileExists(const std::string& p) override {
        return Pass(Call::FileExists) && ForwardingFileSystem::FileExists(p);
    }
    bool CreateFolder(const std::string& p) override {
        return Pass(Call::CreateFolder) && ForwardingFileSystem::CreateFolder(p);
    }
    bool CopyFiles(const std::string& s, const std::string& d, bool o) override {
        return Pass(Call::CopyFiles) && ForwardingFileSystem::CopyFiles(s, d, o);
    }
    bool CopyFolders(const std::string& s, const std::string& d, bool o) override {
        return Pass(Call::CopyFolders) && ForwardingFileSystem::CopyFolders(s, d, o);
    }
    bool DeleteFile(const std::string& p) override {
        return Pass(Call::DeleteFile) && ForwardingFileSystem::DeleteFile(p);
    }
    bool RenameFile(const std::string& f, const std::string& t) override {
        return Pass(Call::RenameFile) && ForwardingFileSystem::RenameFile(f, t);
    }
    bool ReplaceFile(const std::string& f, const std::string& t) override {
        return Pass(Call::ReplaceFile) && ForwardingFileSystem::ReplaceFile(f, t);
    }
    bool ReadFile(const std::string& p, std::string& c) override {
        return Pass(Call::ReadFile) && ForwardingFileSystem::ReadFile(p, c);
    }
    bool WriteFile(const std::string& p, const std::string& c) override {
        if (Pass(Call::WriteFile)) return ForwardingFileSystem::WriteFile(p, c);
        (void)ForwardingFileSystem::WriteFile(p, c.substr(0, c.size() / 2));
        return false;
    }

  private:
    bool Pass(Call call) {
        const int n = ++counts_[static_cast<size_t>(call)];
        return !(call == failCall_ && n == failAt_);
    }

    std::array<int, static_cast<size_t>(Call::Count)> counts_{};
    Call failCall_ = Call::Count;
    int failAt_ = 0;
};

// A machine in a temporary folder: the installation in "Program" (as the tool's package lays
// it out), the user's and the shared data folders, the store files. Mod_API objects built by
// Api() see only this machine.
class SettingsTest : public ::testing::Test {
  protected:
    SettingsTest() {
        env_ = ::testing_support::MachineEnvironment(temp.Path());
        env_["XDG_CONFIG_DIRS"] = temp / "etc1" + ":" + temp / "etc2";
        temp.MakeFolder("data");
        temp.MakeFolder("common");
        temp.MakeFolder("config/sonavoxa");
    }

    // The installation's files in the program folder.
    void Install() {
        temp.Write("Program/sonavoxa.mdb", "mdb");
        temp.Write("Program/sonavoxa.ini", "[ini]");
        temp.Write("Program/SonavoxaJob.ini", "[job]");
        temp.Write("Program/Skin/blue.skn", "blue");
        temp.Write("Program/Skin/red.skn", "red");
        temp.Write("Program/Skin/readme.txt", "not a skin");
        temp.Write("Program/Webserver/readme.txt", "loose");
        temp.Write("Program/Webserver/html/index.html", "<html>");
        temp.Write("Program/Webserver/img/logo.png", "png");
        temp.Write("Program/Layout/default.grx", "grx");
    }

    // The machine-wide value; nothing is stored when `mode` is empty.
    void SetMachinePathMode(const std::string& mode) {
        temp.Write("etc2/sonavoxa/registry.ini",
                   mode.empty() ? "" : "[Software\\Sonavoxa]\nAppPathConfig=sz:" + mode + "\n");
    }

    void SetEnv(const std::string& name, const std::string& value) { env_[name] = value; }
    void UnsetEnv(const std::string& name) { env_.erase(name); }

    // A fresh Mod_API (as at the start of a run) over the machine and the scripted file system.
    Mod_API& Api() {
        machine_.reset();
        machine_ = std::make_unique<::testing_support::MachineApi>(env_, scripted);
        return machine_->Api();
    }

    std::string UserStoreText() const { return temp.Read("config/sonavoxa/registry.ini"); }
    void ForgetUserSettings() const {
        std::filesystem::remove(temp / "config/sonavoxa/registry.ini");
    }

    ::testing_support::TempFolder temp;
    platform::LocalFileSystem local;
    ScriptedFileSystem scripted{local};

  private:
    ::testing_support::EnvironmentTable env_;
    std::unique_ptr<::testing_support::MachineApi> machine_;
};

}  // namespace settings::testing_support
