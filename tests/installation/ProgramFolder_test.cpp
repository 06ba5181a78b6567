// The program folder that a build leaves in <build>/Sonavoxa, and its installation.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "support/EngineTestSupport.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const fs::path kProgram = SONAVOXA_PROGRAM_DIR;

bool Executable(const fs::path& file) {
    const auto p = fs::status(file).permissions();
    return (p & fs::perms::owner_exec) != fs::perms::none &&
           (p & fs::perms::others_exec) != fs::perms::none;
}

// Every file below `folder`, as paths relative to it.
std::set<std::string> FilesBelow(const fs::path& folder) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) files.insert(fs::relative(e.path(), folder).string());
    return files;
}

}  // namespace

TEST(ProgramFolder, HoldsTheToolAndEverythingTheDataFolderIsPreparedFrom) {
    EXPECT_TRUE(Executable(kProgram / "RodividuZIDU"));
    for (const char* file :
         {"sonavoxa.mdb", "sonavoxa.ini", "SonavoxaJob.ini", "Layout/default.grx"})
        EXPECT_TRUE(fs::is_regular_file(kProgram / file)) << file;
    int skins = 0, webFolders = 0, looseWebFiles = 0;
    for (const auto& e : fs::directory_iterator(kProgram / "Skin"))
        skins += e.path().extension() == ".skn" ? 1 : 0;
    for (const auto& e : fs::directory_iterator(kProgram / "Webserver")) {
        if (e.is_directory() && !fs::is_empty(e.path())) ++webFolders;
        if (e.is_regular_file()) ++looseWebFiles;
    }
    EXPECT_GE(skins, 2);
    EXPECT_GE(webFolders, 1);
    EXPECT_GE(looseWebFiles, 1);
    for (const std::string& f : FilesBelow(kProgram))
        EXPECT_FALSE(f.ends_with(".building") || f.ends_with("-journal") || f.ends_with("-wal"))
            << f;
}

// cmake --install copies the program folder into the prefix and writes a desktop entry that
// starts the installed tool. Staged (DESTDIR) installs to the default prefix put the entry where
// menus look, under /usr/local/share/applications.
TEST(Installation, InstallsTheProgramFolderAndADesktopEntry) {
    TempFolder folder;
    struct Case {
        std::string destdir;
        std::string prefix;
        std::string desktopEntry;  // where it lands, DESTDIR included
    };
    const Case cases[] = {
        {"", folder / "prefix", folder / "prefix/share/applications/RodividuZIDU.desktop"},
        {folder / "stage", "/opt/Sonavoxa",
         folder / "stage/usr/local/share/applications/RodividuZIDU.desktop"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        const std::string command = (c.destdir.empty() ? "" : "DESTDIR='" + c.destdir + "' ") +
                                    "'" + SONAVOXA_CMAKE + "' --install '" + SONAVOXA_BUILD_DIR +
                                    "' --prefix '" + c.prefix + "' > '" + (folder / "install.log") +
                                    "' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << folder.Read("install.log");
        const fs::path installed = c.destdir + c.prefix;

        std::set<std::string> files = FilesBelow(installed);
        files.erase("share/applications/RodividuZIDU.desktop");
        EXPECT_EQ(files, FilesBelow(kProgram));
        EXPECT_TRUE(Executable(installed / "RodividuZIDU"));
        EXPECT_EQ(FileBytes(installed / "sonavoxa.mdb"), FileBytes(kProgram / "sonavoxa.mdb"));

        const std::string entry = FileBytes(c.desktopEntry);
        EXPECT_TRUE(entry.starts_with("[Desktop Entry]\n")) << entry;
        EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
        EXPECT_NE(entry.find("\nExec=\"" + c.prefix + "/RodividuZIDU\"\n"), std::string::npos)
            << entry;
        EXPECT_EQ(entry.find('@'), std::string::npos) << "unreplaced placeholder:\n" << entry;
    }
}
