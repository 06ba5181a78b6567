#include "platform/os/StandardFolders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/os/ProgramLocation.h"
#include "support/TempFolder.h"

namespace platform {
namespace {

using Table = std::map<std::string, std::string>;

TEST(StandardFolders, FollowsXdgDefaultsAndOverrides) {
    struct Case {
        Table env;
        int32_t csidl;
        std::string expected;
    };
    const Case cases[] = {
        {{{"HOME", "/home/u"}, {"XDG_DATA_HOME", "/x/data/"}}, 26, "/x/data"},
        {{{"HOME", "/home/u"}, {"XDG_DATA_HOME", "relative"}}, 26, "/home/u/.local/share"},
        {{}, 26, ""},
        {{}, 35, "/var/lib"},
        {{{"SONAVOXA_COMMON_DATA_DIR", "/srv/shared"}}, 35, "/srv/shared"},
        {{{"SONAVOXA_PROGRAMS_DIR", "/usr/local/lib/"}}, 38, "/usr/local/lib"},
        {{{"HOME", "/home/u"}}, 5, ""},
    };
    for (const Case& c : cases) {
        // UserDataFolder() names the folder without creating it under a made-up home.
        StandardFolders folders(Environment::FromTable(c.env));
        const std::string path = c.csidl == 26 ? folders.UserDataFolder() : folders.Path(c.csidl);
        EXPECT_EQ(path, c.expected) << "csidl " << c.csidl;
    }
}

TEST(StandardFolders, CreatesTheMissingUserDataFolder) {
    testing_support::TempFolder temp;
    StandardFolders folders(Environment::FromTable({{"HOME", temp.Path()}}));
    EXPECT_EQ(folders.Path(26), temp / ".local/share");
    EXPECT_TRUE(std::filesystem::is_directory(temp / ".local/share"));
}

TEST(StandardFolders, NamesConfigurationFolders) {
    StandardFolders defaults(Environment::FromTable({{"HOME", "/home/u"}}));
    EXPECT_EQ(defaults.UserConfigFolder(), "/home/u/.config");
    EXPECT_EQ(defaults.SystemConfigFolders(), std::vector<std::string>{"/etc/xdg"});

    StandardFolders custom(Environment::FromTable(
        {{"XDG_CONFIG_HOME", "/c/home"}, {"XDG_CONFIG_DIRS", "/a:rel::/b/"}}));
    EXPECT_EQ(custom.UserConfigFolder(), "/c/home");
    EXPECT_EQ(custom.SystemConfigFolders(), (std::vector<std::string>{"/a", "/b"}));
}

TEST(ProgramLocation, IsTheRunningExecutableUnlessOverridden) {
    ProgramLocation real(Environment::FromTable({}));
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(real.Folder(), self.parent_path().string());
    EXPECT_EQ(real.BaseName(), self.stem().string());

    ProgramLocation pretended(Environment::FromTable(
        {{"SONAVOXA_PROGRAM_DIR", "/opt/Sonavoxa/"}, {"SONAVOXA_PROGRAM_NAME", "RodividuZIDU"}}));
    EXPECT_EQ(pretended.Folder(), "/opt/Sonavoxa");
    EXPECT_EQ(pretended.BaseName(), "RodividuZIDU");
}

}  // namespace
}  // namespace platform
