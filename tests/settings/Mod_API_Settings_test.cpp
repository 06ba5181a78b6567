// Registry operations of Mod_API against real store files.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/SettingsFixture.h"

namespace settings {
namespace {

using testing_support::Call;

class Mod_API_Settings : public testing_support::SettingsTest {
  protected:
    // Writes the user store by hand, as another writer (an installer, a person) might.
    void WriteUserStore(const std::string& lines) {
        temp.Write("config/sonavoxa/registry.ini", "[Software\\Sonavoxa\\RodividuZIDU]\n" + lines);
    }
};

TEST_F(Mod_API_Settings, TextsKeepTheirCaseNamesDoNotAndEmptyTextIsStoredAsOneBlank) {
    Mod_API& api = Api();
    EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), "null") << "no store file at all";
    api.SaveAppSetting("Other", "x");
    EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), "null") << "key without the value";
    EXPECT_EQ(api.GetRegValue(HKEY_CURRENT_USER, "Software\\Nobody", "Other"), "");
    api.SaveAppSetting("SkinVersion", "Beta-3.9 Ä");
    EXPECT_EQ(api.GetRegValue(HKEY_CURRENT_USER, "software\\SONAVOXA\\rodividuzidu", "skinversion"),
              "Beta-3.9 Ä");
    api.SaveAppSetting("SkinVersion", "");
    EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), " ");
    EXPECT_NE(UserStoreText().find("[Software\\Sonavoxa\\RodividuZIDU]"), std::string::npos);
}

TEST_F(Mod_API_Settings, ValuesLongerThanTheBufferReadAsEmpty) {
    struct Case {
        size_t letters;
        bool storedNul;
        std::string expected;
    };
    const Case cases[] = {
        {1024, false, std::string(1024, 'a')},
        {1023, true, std::string(1023, 'a')},
        {1024, true, ""},
        {1025, false, ""},
    };
    for (const Case& c : cases) {
        WriteUserStore("Long=sz:" + std::string(c.letters, 'a') + (c.storedNul ? "\\0" : "") +
                       "\n");
        EXPECT_EQ(Api().GetAppSetting("Long", "default"),
                  c.expected.empty() ? "default" : c.expected)
            << c.letters << (c.storedNul ? " + NUL" : "");
    }
    // The tool's own writes store no NUL: 1024 letters fit, 1025 do not.
    Mod_API& api = Api();
    EXPECT_TRUE(api.SetRegValue(HKEY_CURRENT_USER, "Software\\T", "v", std::string(1024, 'b')));
    EXPECT_EQ(api.GetRegValue(HKEY_CURRENT_USER, "Software\\T", "v"), std::string(1024, 'b'));
    EXPECT_TRUE(api.SetRegValue(HKEY_CURRENT_USER, "Software\\T", "v", std::string(1025, 'b')));
    EXPECT_EQ(api.GetRegValue(HKEY_CURRENT_USER, "Software\\T", "v"), "");
}

TEST_F(Mod_API_Settings, ReadsTextKindsAndNumbersAndNothingElse) {
    const std::pair<std::string, const char*> cases[] = {
        {"V=sz:ab\\0cd", "ab"},      {"V=sz:\\0hidden", ""},
        {"V=expand_sz:a\\0b", "a"},  {"V=dword:0000002a", "&h2A"},
        {"V=dword:00000000", "&h0"}, {"V=dword:deadbeef", "&hDEADBEEF"},
        {"V=hex(3):41,42", ""},      {"V=hex(7):41,00,00", ""},
    };
    for (const auto& [line, expected] : cases) {
        WriteUserStore(line + "\n");
        EXPECT_EQ(Api().GetRegValue(HKEY_CURRENT_USER, "Software\\Sonavoxa\\RodividuZIDU", "V"),
                  expected)
            << line;
    }
}

TEST_F(Mod_API_Settings, ToolKeyFollowsTheExecutableName) {
    SetEnv("SONAVOXA_PROGRAM_NAME", "Other");
    Api().SaveAppSetting("SkinVersion", "3.9");
    EXPECT_EQ(Api().GetRegValue(HKEY_CURRENT_USER, "Software\\Sonavoxa\\Other", "SkinVersion"),
              "3.9");
    SetEnv("SONAVOXA_PROGRAM_NAME", "RodividuZIDU");
    EXPECT_EQ(Api().GetAppSetting("SkinVersion", "null"), "null");
}

TEST_F(Mod_API_Settings, MachineStoreIsReadFromTheFirstConfigFolderThatHasOne) {
    SetMachinePathMode("user.global");
    EXPECT_EQ(Api().GetRegValue(HKEY_LOCAL_MACHINE, "Software\\Sonavoxa", "AppPathConfig"),
              "user.global");
    temp.Write("etc1/sonavoxa/registry.ini", "[Software\\Sonavoxa]\nAppPathConfig=sz:local\n");
    EXPECT_EQ(Api().GetRegValue(HKEY_LOCAL_MACHINE, "Software\\Sonavoxa", "AppPathConfig"),
              "local");
    EXPECT_EQ(Api().GetRegValue(HKEY_CURRENT_USER, "Software\\Sonavoxa", "AppPathConfig"), "")
        << "the roots are separate stores";
}

TEST_F(Mod_API_Settings, MachineStoreAndUnknownRootsAreNotWritten) {
    SetMachinePathMode("local");
    const std::string before = temp.Read("etc2/sonavoxa/registry.ini");
    Mod_API& api = Api();
    EXPECT_FALSE(api.SetRegValue(HKEY_LOCAL_MACHINE, "Software\\Sonavoxa", "AppPathConfig", "x"));
    EXPECT_FALSE(api.SetRegValue(0x80000003u, "Software\\Sonavoxa", "V", "x"));
    EXPECT_EQ(api.GetRegValue(0x80000003u, "Software\\Sonavoxa", "V"), "");
    EXPECT_EQ(temp.Read("etc2/sonavoxa/registry.ini"), before);
    EXPECT_FALSE(temp.Exists("config/sonavoxa/registry.ini"));
}

TEST_F(Mod_API_Settings, FirstWriteCreatesTheConfigFolders) {
    SetEnv("XDG_CONFIG_HOME", temp / "fresh/config");
    EXPECT_TRUE(Api().SetRegValue(HKEY_CURRENT_USER, "Software\\T", "v", "1"));
    EXPECT_TRUE(temp.Exists("fresh/config/sonavoxa/registry.ini"));
}

TEST_F(Mod_API_Settings, FailedWriteLeavesTheOldStoreIntact) {
    Mod_API& api = Api();
    api.SaveAppSetting("SkinVersion", "3.8");
    const std::string before = UserStoreText();
    for (Call failing : {Call::WriteFile, Call::ReplaceFile, Call::ReadFile}) {
        scripted.FailNth(failing, 1);
        EXPECT_FALSE(api.SetRegValue(HKEY_CURRENT_USER, "Software\\Sonavoxa\\RodividuZIDU",
                                     "SkinVersion", "3.9"));
        EXPECT_EQ(UserStoreText(), before);
        EXPECT_EQ(api.GetAppSetting("SkinVersion", "null"), "3.8");
        for (const auto& entry : std::filesystem::directory_iterator(temp / "config/sonavoxa")) {
            EXPECT_EQ(entry.path().filename(), "registry.ini") << "temporary file left behind";
        }
    }
}

}  // namespace
}  // namespace settings
