// Path mode, data folder and its preparation, against a machine in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>

#include "support/SettingsFixture.h"

namespace settings {
namespace {

using testing_support::Call;

class Mod_API_DataPath : public testing_support::SettingsTest {
  protected:
    std::string UserDataFolder() const { return temp / "data/Sonavoxa"; }
    std::string ProgramFolder() const { return temp / "Program"; }

    // Every file and folder below `folder`, relative to it.
    std::set<std::string> Tree(const std::string& folder) const {
        std::set<std::string> entries;
        if (!std::filesystem::exists(folder)) return entries;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            entries.insert(std::filesystem::relative(entry.path(), folder).string());
        }
        return entries;
    }

    static std::set<std::string> Prepared() {
        return {"sonavoxa.mdb",
                "sonavoxa.ini",
                "SonavoxaJob.ini",
                "Skin",
                "Skin/blue.skn",
                "Skin/red.skn",
                "Webserver",
                "Webserver/html",
                "Webserver/html/index.html",
                "Webserver/img",
                "Webserver/img/logo.png",
                "Layout",
                "Layout/default.grx",
                "Image"};
    }
};

// A stored mode counts in any case; without one, a program below the programs folder (a plain
// substring test, in any case) keeps its data in the user's folder.
TEST_F(Mod_API_DataPath, PathModeComesFromTheMachineStoreOrTheProgramLocation) {
    struct Case {
        const char *stored, *programs, *program, *expected;
    };
    const Case cases[] = {
        {"USER.Normal", "/opt", "/home/u/Sonavoxa", "user.normal"},
        {"User.Global", "/opt", "/opt/sonavoxa", "user.global"},
        {"Local", "/opt", "/opt/sonavoxa", "local"},
        {"roaming", "/opt", "/home/u/Sonavoxa", "local"},  // unknown: as if none were stored
        {"", "/OPT", "/opt/sonavoxa", "user.normal"},
        {"", "/opt", "/OPT/Sonavoxa/bin", "user.normal"},
        {"", "/opt", "/home/u/Sonavoxa", "local"},
        {"", "/opt", "/srv/x/opt", "user.normal"},
        {"", "", "/home/u/Sonavoxa", "user.normal"},  // no programs folder: contained in anything
    };
    for (const Case& c : cases) {
        SetMachinePathMode(c.stored);
        SetEnv("SONAVOXA_PROGRAMS_DIR", c.programs);
        SetEnv("SONAVOXA_PROGRAM_DIR", c.program);
        EXPECT_EQ(Api().GetAppPathConfig(), c.expected) << c.stored << " " << c.program;
    }
}

TEST_F(Mod_API_DataPath, UserModesPrepareTheirSonavoxaFolder) {
    const std::pair<const char*, std::string> cases[] = {{"user.normal", "data/Sonavoxa"},
                                                         {"user.global", "common/Sonavoxa"}};
    for (const auto& [mode, dataFolder] : cases) {
        Install();
        SetMachinePathMode(mode);
        Mod_API& api = Api();
        EXPECT_EQ(api.DataPath(), temp / dataFolder);
        EXPECT_TRUE(api.Prepared());
        EXPECT_EQ(Tree(temp / dataFolder), Prepared()) << mode;
        EXPECT_EQ(temp.Read(dataFolder + "/Skin/blue.skn"), "blue");
        EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), "3.9");
    }
}

TEST_F(Mod_API_DataPath, ExistingDataFolderKeepsItsDatabase) {
    Install();
    SetMachinePathMode("user.normal");
    temp.Write("data/Sonavoxa/sonavoxa.mdb", "the user's library");
    EXPECT_EQ(Api().DataPath(), UserDataFolder());
    EXPECT_EQ(temp.Read("data/Sonavoxa/sonavoxa.mdb"), "the user's library");
    EXPECT_FALSE(temp.Exists("data/Sonavoxa/sonavoxa.ini"));
}

TEST_F(Mod_API_DataPath, LocalModeFailsOnceForLackOfSkinsThenCompletes) {
    Install();
    std::filesystem::remove_all(temp / "Program/Skin");
    SetMachinePathMode("local");
    Mod_API& api = Api();
    EXPECT_EQ(api.DataPath(), ProgramFolder());
    EXPECT_FALSE(api.Prepared());
    EXPECT_TRUE(temp.Exists("Program/Skin"));
    EXPECT_FALSE(temp.Exists("Program/Image")) << "the call stopped at the skins";
    EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), "null");

    EXPECT_EQ(api.DataPath(), ProgramFolder());
    EXPECT_TRUE(api.Prepared());
    EXPECT_TRUE(temp.Exists("Program/Image"));
    EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), "null")
        << "the data folder is the program folder: skins are never replaced";
}

TEST_F(Mod_API_DataPath, SkinsOfTheDataFolderAreReplacedUnlessVersionIsCurrent) {
    struct Case {
        std::optional<std::string> storedVersion;
        bool copied;
    };
    const Case cases[] = {{std::nullopt, true}, {"3.9", false}, {"3.8", true}, {"", true}};
    for (const Case& c : cases) {
        temp.MakeFolder("data/Sonavoxa/Skin");
        Install();
        SetMachinePathMode("user.normal");
        for (const char* folder : {"Webserver", "Layout", "Image"}) {
            temp.MakeFolder(std::string("data/Sonavoxa/") + folder);
        }
        ForgetUserSettings();
        Mod_API& api = Api();
        if (c.storedVersion) api.SaveAppSetting("SkinVersion", *c.storedVersion);

        EXPECT_EQ(api.DataPath(), UserDataFolder());
        EXPECT_EQ(temp.Exists("data/Sonavoxa/Skin/red.skn"), c.copied)
            << c.storedVersion.value_or("(none)");
        EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), c.copied ? "3.9" : *c.storedVersion);
        std::filesystem::remove_all(temp / "data/Sonavoxa");
    }
}

// The mode is read once; a second call after the preparation reads and writes nothing.
TEST_F(Mod_API_DataPath, SecondCallAfterPreparationTouchesNothing) {
    Install();
    SetMachinePathMode("user.normal");
    Mod_API& api = Api();
    ASSERT_EQ(api.DataPath(), UserDataFolder());
    const std::string store = UserStoreText();
    SetMachinePathMode("local");
    scripted.ResetCounts();
    EXPECT_EQ(api.GetAppPathConfig(), "user.normal");
    EXPECT_EQ(api.DataPath(), UserDataFolder());
    EXPECT_EQ(scripted.Total(), 0);
    EXPECT_EQ(UserStoreText(), store);
}

// A step that fails (a full disk, or a piece missing from the installation: the job file, the
// web server's folders) fails the call; the next call completes what is left.
TEST_F(Mod_API_DataPath, PreparationFailingHalfWayCompletesOnTheNextCall) {
    struct Case {
        Call call;
        int k;
        std::set<std::string> neverCopied;  // steps skipped later because their folder exists
    };
    const Case cases[] = {
        {Call::CreateFolder, 1, {}},  // the folder the data folder is prepared in
        // The data folder takes its name only with its database: never without one.
        {Call::CopyFiles, 1, {}},
        {Call::RenameFile, 1, {}},
        {Call::CopyFiles, 3, {"SonavoxaJob.ini"}},
        {Call::CreateFolder, 2, {}},  // Skin
        {Call::CopyFiles, 4, {}},     // the skins: copied again because SkinVersion is unset
        {Call::CreateFolder, 3, {}},  // Webserver
        {Call::CopyFolders,
         1,
         {"Webserver/html", "Webserver/html/index.html", "Webserver/img",
          "Webserver/img/logo.png"}},
        {Call::CopyFiles, 5, {"Layout/default.grx"}},
        {Call::CreateFolder, 4, {}},  // Layout
        {Call::CreateFolder, 5, {}},  // Image
    };
    for (const Case& c : cases) {
        Install();
        SetMachinePathMode("user.normal");
        ForgetUserSettings();
        Mod_API& api = Api();
        scripted.FailNth(c.call, c.k);
        EXPECT_EQ(api.DataPath(), ProgramFolder()) << int(c.call) << "#" << c.k;
        EXPECT_FALSE(api.Prepared());

        EXPECT_EQ(api.DataPath(), UserDataFolder()) << int(c.call) << "#" << c.k;
        EXPECT_TRUE(api.Prepared());
        std::set<std::string> expected = Prepared();
        for (const std::string& missing : c.neverCopied) expected.erase(missing);
        EXPECT_EQ(Tree(UserDataFolder()), expected) << int(c.call) << "#" << c.k;
        EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), "3.9");
        std::filesystem::remove_all(UserDataFolder());
    }
}

// What a full disk or a crash leaves of the first copy: half a database in the folder being
// prepared. The next call copies it whole; the data folder never shows the half one.
TEST_F(Mod_API_DataPath, HalfCopiedDatabaseIsCopiedWholeOnTheNextCall) {
    Install();
    SetMachinePathMode("user.normal");
    ForgetUserSettings();
    const std::string shipped = temp.Read("Program/sonavoxa.mdb");
    temp.Write("data/Sonavoxa.preparing/sonavoxa.mdb", shipped.substr(0, shipped.size() / 2));
    Mod_API& api = Api();
    EXPECT_EQ(api.DataPath(), UserDataFolder());
    EXPECT_EQ(temp.Read("data/Sonavoxa/sonavoxa.mdb"), shipped);
    EXPECT_FALSE(std::filesystem::exists(UserDataFolder() + ".preparing"));
    EXPECT_EQ(Tree(UserDataFolder()), Prepared());
}

TEST_F(Mod_API_DataPath, NoSpecialFolderMeansTheProgramFolder) {
    Install();
    SetMachinePathMode("user.normal");
    UnsetEnv("XDG_DATA_HOME");
    UnsetEnv("HOME");
    Mod_API& api = Api();
    EXPECT_EQ(api.GetSpecialFolder(26), "");
    EXPECT_EQ(api.DataPath(), ProgramFolder());
    EXPECT_EQ(scripted.Count(Call::CreateFolder), 0);
    EXPECT_FALSE(std::filesystem::exists("/Sonavoxa"));
}

}  // namespace
}  // namespace settings
