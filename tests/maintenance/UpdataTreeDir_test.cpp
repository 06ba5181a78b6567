// The directory tree rebuild on a copy of the shipped database.
#include <filesystem>

#include "TreeLibrary.h"
#include "tools/LibraryGenerator.h"

using namespace maintenance::testing_support;

namespace {

class DirectoryTree : public TreeLibrary {
  protected:
    // rlevel|bname|Name|Path|vName|Drive|anzahl|imgkey|BAnzahl of every row, by Path and vName.
    std::string Tree() {
        return Rows(db,
                    "select rlevel, bname, Name, Path, vName, Drive, anzahl, imgkey, BAnzahl "
                    "from tree_dir order by Path, vName");
    }
    std::string Favourites() {
        return Rows(db,
                    "select Path, vName, tstamp from tree_dir where favorit order by Path, vName");
    }
};

TEST_F(DirectoryTree, WorkedExampleGivesOneRowPerLevel) {
    Add({.path = "C:\\Music\\Rock\\", .driveTyp = 2, .driveName = "DATA"}, 12);
    const auto outcome = maintenance->UpdataTreeDir();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.Failed()) << outcome.errorText;
    EXPECT_EQ(outcome.rowsWritten, 3);
    EXPECT_EQ(Tree(),
              "0|C:|C:|C:\\|DATA|2|0|DRIVE_2|12\n"
              "1|Music|Music|C:\\Music\\|DATA|2|0|DIR|12\n"
              "2|Rock|Rock|C:\\Music\\Rock\\|DATA|2|12|Audio|12\n");
    EXPECT_FALSE(FavouritesFileLeft());
}

TEST_F(DirectoryTree, SplitsDrivesNetworkPathsAndNamesNetworkVolumes) {
    Add({.path = "D:\\", .driveTyp = 5, .driveName = "CD"});
    Add({.path = "\\\\srv\\share\\", .driveTyp = 3, .driveName = "NET"});
    Add({.path = "E:\\Hits\\", .driveTyp = 4, .driveName = "MIX01"}, 2);
    Add({.path = "F:\\What?\\", .driveTyp = 3, .driveName = "Q"});
    Add({.path = "G:\\Cut", .driveTyp = 3, .driveName = "CUT"});  // no closing backslash
    Add({.path = "", .driveTyp = 3, .driveName = "EMPTY"});
    db.Execute("insert into db_all (Titel, Path, DriveTyp, DEL) values ('n', Null, 3, false)");
    const auto outcome = maintenance->UpdataTreeDir();
    EXPECT_FALSE(outcome.Failed()) << outcome.errorText;
    EXPECT_EQ(Tree(),
              "0|\\\\srv|\\\\srv|\\\\srv\\|NET|3|0|DRIVE_3|1\n"
              "1|share|share|\\\\srv\\share\\|NET|3|1|Audio|1\n"
              "0|D:|D:|D:\\|CD|5|1|DRIVE_5|1\n"
              "0|E:|E: MIX01|E:\\|MIX01|4|0|DRIVE_4|2\n"
              "1|Hits|Hits MIX01|E:\\Hits\\|MIX01|4|2|Audio|<null>\n"
              "0|F:|F:|F:\\|Q|3|0|DRIVE_3|1\n"
              "1|What?|What?|F:\\What?\\|Q|3|1|Audio|1\n"
              "0|G:|G:|G:\\|CUT|3|0|DRIVE_3|1\n"
              "1|Cu|Cu|G:\\Cut|CUT|3|1|Audio|1\n");
}

TEST_F(DirectoryTree, StoresRepeatedLevelsOnceWithoutReportingThem) {
    Add({.path = "C:\\Music\\Rock\\"}, 2);
    Add({.path = "C:\\Music\\Pop\\"}, 3);
    Add({.path = "c:\\MUSIC\\Jazz\\"});  // the same folders in other letter case, read first
    Add({.path = "C:\\Music\\Pop\\", .deleted = true});
    const auto outcome = maintenance->UpdataTreeDir();
    EXPECT_FALSE(outcome.Failed()) << outcome.errorText;
    EXPECT_EQ(outcome.rowsWritten, 5);
    EXPECT_EQ(Rows(db, "select Path, BAnzahl from tree_dir order by rlevel, Path"),
              "c:\\|6\nc:\\MUSIC\\|6\nc:\\MUSIC\\Jazz\\|1\nC:\\Music\\Pop\\|3\n"
              "C:\\Music\\Rock\\|2\n");
}

// Folders whose names hold Like wildcards or apostrophes count only their own titles, also on
// network volumes, where the sum runs over the tree rows of the same volume.
TEST_F(DirectoryTree, CountsFoldersWithWildcardsAndApostrophesExactly) {
    struct Case {
        std::string folder, lookalike;
    };
    const Case cases[] = {{"A*B", "AxyzB"},
                          {"C?D", "CxD"},
                          {"#1 Hits", "11 Hits"},
                          {"Rock [Live]", "Rock L"},
                          {"Guns N' Roses", "Guns N* Roses"}};
    for (const int drive : {3, 4}) {
        for (const Case& c : cases) {
            Add({.path = "X:\\" + c.folder + "\\In\\", .driveTyp = drive, .driveName = "V"}, 2);
            Add({.path = "X:\\" + c.lookalike + "\\In\\", .driveTyp = drive, .driveName = "V"});
        }
        maintenance->UpdataTreeDir();
        for (const Case& c : cases) {
            EXPECT_EQ(Rows(db, "select BAnzahl from tree_dir where Path=" +
                                   Text("X:\\" + c.folder + "\\")),
                      "2\n")
                << c.folder << " on drive type " << drive;
        }
        db.Execute("delete from db_all");
    }
}

// The grouped count must give what the stored count query gives row by row.
TEST_F(DirectoryTree, CountsEqualTheStoredCountQueryOnAGeneratedLibrary) {
    const std::string old = dataPath + "/old.mdb";
    tools::LibraryGenerator({.titles = 600, .seed = 7}).Write(old);
    platform::TableDef link = db.CreateTableDef("old_all");
    link.SetConnect(";Database=" + old);
    link.SetSourceTableName("db_all");
    db.TableDefs().Append(link);
    db.Execute(
        "insert into db_all (Titel, Path, DriveTyp, DriveName, DEL) "
        "select Titel, Path, DriveTyp, DriveName, DEL from old_all");
    db.Execute("update db_all set Path = LCase(Path) where FID mod 7 = 0");
    Add({.path = "C:\\Überall\\", .driveName = "U"});
    Add({.path = "c:\\üBERALL\\Sub\\", .driveName = "U"});

    const auto outcome = maintenance->UpdataTreeDir();
    EXPECT_FALSE(outcome.Failed()) << outcome.errorText;
    platform::QueryDef count = db.QueryDefs().Item("QU_UpadateTreeDirAnzahl");
    auto rows = db.OpenRecordset("select Path, BAnzahl from tree_dir where drive<>4");
    int checked = 0;
    for (; !rows.Eof(); rows.MoveNext(), ++checked) {
        const std::string path = rows["Path"].Value().ToText();
        std::string pattern;
        for (char c : path)
            pattern += c == '[' || c == '*' || c == '?' || c == '#' ? std::string("[") + c + "]"
                                                                    : std::string(1, c);
        count.Parameters().Item("sPath").SetValue(platform::Value::FromText(pattern + "*"));
        auto result = count.OpenRecordset(platform::dbOpenSnapshot);
        EXPECT_EQ(rows["BAnzahl"].Value().ToInteger(), result["anz"].Value().ToInteger()) << path;
    }
    EXPECT_GT(checked, 50);
    // Letter case never makes another folder, beyond A to Z too: the table's keys compare
    // as Jet does.
    EXPECT_EQ(Rows(db, "select count(*) from tree_dir where vName='U' and rlevel=1"), "1\n");
}

TEST_F(DirectoryTree, RestoresFavouriteFoldersWithTheirTimeStamps) {
    Add({.path = "C:\\Guns N' Roses\\", .driveTyp = 4, .driveName = "A"});
    Add({.path = "C:\\Guns N' Roses\\", .driveTyp = 4, .driveName = "B"});
    Add({.path = "C:\\Gone\\"});
    Add({.path = "C:\\Plain\\"});
    maintenance->UpdataTreeDir();
    MarkFavourite("tree_dir", "Path='C:\\Guns N'' Roses\\' and vName='A'", "730.5");
    MarkFavourite("tree_dir", "Path='C:\\Gone\\'", "12");
    MarkFavourite("tree_dir", "Path='C:\\Plain\\'", "Null");
    db.Execute("delete from db_all where Path='C:\\Gone\\'");

    const auto outcome = maintenance->UpdataTreeDir();
    EXPECT_FALSE(outcome.Failed()) << outcome.errorText;
    // A favourite marks the folder on every volume.
    EXPECT_EQ(Favourites(),
              "C:\\Guns N' Roses\\|A|730.5\nC:\\Guns N' Roses\\|B|730.5\n"
              "C:\\Plain\\|SYSTEM|<null>\n");
    EXPECT_FALSE(FavouritesFileLeft());
}

TEST_F(DirectoryTree, FailureBeforeTheRebuildLeavesTreeAndNoFavouritesFile) {
    Add({.path = "C:\\Music\\"});
    maintenance->UpdataTreeDir();
    MarkFavourite("tree_dir", "Path='C:\\'", "5");
    db.QueryDefs().Delete("v_tree_dir");
    const auto outcome = maintenance->UpdataTreeDir();
    EXPECT_FALSE(outcome.completed);
    EXPECT_NE(outcome.errorNumber, 0);
    EXPECT_EQ(Favourites(), "C:\\|SYSTEM|5\n");
    EXPECT_FALSE(FavouritesFileLeft());

    maintenance->SetDbName(dataPath + "/missing.mdb");
    EXPECT_EQ(maintenance->UpdataTreeDir().errorNumber, platform::jet::kFileNotFound);
    EXPECT_FALSE(FavouritesFileLeft());
}

}  // namespace
