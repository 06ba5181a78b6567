#include "platform/os/LocalFileSystem.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempFolder.h"

namespace platform {
namespace {

using testing_support::TempFolder;

class LocalFileSystemTest : public ::testing::Test {
  protected:
    TempFolder temp;
    LocalFileSystem fs;
};

TEST_F(LocalFileSystemTest, CreateFolderMakesOneLevelOnlyAndExistenceTellsFilesFromFolders) {
    EXPECT_TRUE(fs.CreateFolder(temp / "a"));
    EXPECT_TRUE(fs.FolderExists(temp / "a"));
    EXPECT_FALSE(fs.FileExists(temp / "a"));
    const std::string file = temp.Write("file", "x");
    EXPECT_TRUE(fs.FileExists(file));
    EXPECT_FALSE(fs.FolderExists(file));
    EXPECT_FALSE(fs.CreateFolder(temp / "a")) << "an existing folder is a failure";
    EXPECT_FALSE(fs.CreateFolder(temp / "missing/b")) << "a missing parent is a failure";
    EXPECT_FALSE(fs.FolderExists(temp / "missing"));
}

TEST_F(LocalFileSystemTest, SyncsFilesAndFoldersEachByItsOwnCall) {
    const std::string file = temp.Write("f.txt", "x");
    EXPECT_TRUE(fs.SyncFile(file));
    EXPECT_TRUE(fs.SyncFolder(temp.Path()));
    EXPECT_FALSE(fs.SyncFile(temp.Path())) << "a folder is no file";
    EXPECT_FALSE(fs.SyncFolder(file)) << "a file is no folder";
    EXPECT_FALSE(fs.SyncFile(temp / "missing"));
    EXPECT_FALSE(fs.SyncFolder(temp / "missing"));
}

TEST_F(LocalFileSystemTest, CopyFilesCopiesWhatTheWildcardMatchesAndOverwritesOnlyWhenAsked) {
    temp.Write("src/a.skn", "A");
    temp.Write("src/b.skn", "B");
    temp.Write("src/c.txt", "C");
    temp.Write("src/upper.SKN", "U");
    temp.MakeFolder("src/dir.skn");
    temp.Write("dst/a.skn", "old");
    EXPECT_FALSE(fs.CopyFiles(temp / "src/a.skn", temp / "dst", false));
    EXPECT_EQ(temp.Read("dst/a.skn"), "old");
    ASSERT_TRUE(fs.CopyFiles(temp / "src/*.skn", temp / "dst", true));
    EXPECT_EQ(temp.Read("dst/a.skn"), "A");
    EXPECT_EQ(temp.Read("dst/b.skn"), "B");
    EXPECT_FALSE(temp.Exists("dst/c.txt"));
    EXPECT_FALSE(temp.Exists("dst/upper.SKN")) << "matching keeps letter case";
    EXPECT_FALSE(temp.Exists("dst/dir.skn")) << "folders never match a file copy";
    EXPECT_FALSE(fs.CopyFiles(temp / "src/*.ini", temp / "dst", true)) << "no match";
    EXPECT_FALSE(fs.CopyFiles(temp / "src/x.txt", temp / "dst", true)) << "missing file";
    EXPECT_FALSE(fs.CopyFiles(temp / "nosrc/*", temp / "dst", true)) << "missing folder";
    EXPECT_FALSE(fs.CopyFiles(temp / "src/*", temp / "nodst", true)) << "missing destination";
    for (const auto& [pattern, copiesC] : {std::pair{"?.txt", true},
                                           {"*t", true},
                                           {"c*x*t", true},
                                           {"??", false},
                                           {"[c].txt", false}}) {
        std::filesystem::remove(temp / "dst/c.txt");
        EXPECT_EQ(fs.CopyFiles(temp / ("src/" + std::string(pattern)), temp / "dst", true), copiesC)
            << pattern;
        EXPECT_EQ(temp.Exists("dst/c.txt"), copiesC) << pattern;
    }
}

TEST_F(LocalFileSystemTest, CopyFoldersCopiesSubFoldersWithContentsButNoLooseFiles) {
    temp.Write("Webserver/readme.txt", "loose");
    temp.Write("Webserver/html/index.html", "<html>");
    temp.Write("Webserver/img/logo.png", "png");
    temp.Write("Webserver/img/icons/deep.ico", "ico");
    temp.Write("dst/html/index.html", "stale");
    ASSERT_TRUE(fs.CopyFolders(temp / "Webserver/*", temp / "dst", true));
    EXPECT_EQ(temp.Read("dst/html/index.html"), "<html>");
    EXPECT_EQ(temp.Read("dst/img/logo.png"), "png");
    EXPECT_EQ(temp.Read("dst/img/icons/deep.ico"), "ico");
    EXPECT_FALSE(temp.Exists("dst/readme.txt"));
    temp.MakeFolder("empty");
    temp.MakeFolder("nothing");
    for (const char* without : {"Webserver/readme*", "empty/*", "missing/*"})
        EXPECT_FALSE(fs.CopyFolders(temp / without, temp / "nothing", true)) << without;
    EXPECT_TRUE(std::filesystem::is_empty(temp / "nothing"));
}

TEST_F(LocalFileSystemTest, DeleteFileSparesReadOnlyFilesAndFolders) {
    const std::string file = temp.Write("a", "x");
    const std::string readOnly = temp.Write("ro", "x");
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
    temp.MakeFolder("folder");
    EXPECT_TRUE(fs.DeleteFile(file));
    EXPECT_FALSE(temp.Exists("a"));
    EXPECT_FALSE(fs.DeleteFile(file)) << "already gone";
    EXPECT_FALSE(fs.DeleteFile(readOnly));
    EXPECT_TRUE(temp.Exists("ro"));
    EXPECT_FALSE(fs.DeleteFile(temp / "folder"));
    EXPECT_TRUE(temp.Exists("folder"));
}

TEST_F(LocalFileSystemTest, RenameRefusesToReplaceButReplaceFileDoes) {
    temp.Write("temp.mdb", "compacted");
    temp.Write("sonavoxa.mdb", "original");
    EXPECT_FALSE(fs.RenameFile(temp / "temp.mdb", temp / "sonavoxa.mdb"));
    EXPECT_EQ(temp.Read("sonavoxa.mdb"), "original");
    EXPECT_TRUE(fs.RenameFile(temp / "temp.mdb", temp / "other.mdb"));
    EXPECT_FALSE(temp.Exists("temp.mdb"));
    EXPECT_TRUE(fs.ReplaceFile(temp / "other.mdb", temp / "sonavoxa.mdb"));
    EXPECT_EQ(temp.Read("sonavoxa.mdb"), "compacted");
    EXPECT_FALSE(fs.RenameFile(temp / "none", temp / "x"));
}

TEST_F(LocalFileSystemTest, WriteFileReplacesContentsAndReadFileReturnsThemByteForByte) {
    const std::string contents("line 1\nNUL\0here\r\n", 17);
    ASSERT_TRUE(fs.WriteFile(temp / "f", "a much longer old content"));
    ASSERT_TRUE(fs.WriteFile(temp / "f", contents));
    std::string read;
    ASSERT_TRUE(fs.ReadFile(temp / "f", read));
    EXPECT_EQ(read, contents);
    EXPECT_FALSE(fs.ReadFile(temp / "none", read));
    EXPECT_FALSE(fs.ReadFile(temp.Path(), read));
    EXPECT_FALSE(fs.WriteFile(temp / "missing/f", "x"));
}

}  // namespace
}  // namespace platform
