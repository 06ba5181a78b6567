// The side-database checks at the tool's start, on a data folder prepared from the shipped
// target database.
#include "dbadmin/CheckDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "dbadmin/ADMCreateDB.h"
#include "dbadmin/DataFolderTest.h"

using namespace platform;
using namespace dbadmin::testing_support;
using dbadmin::CheckDatabase;
using dbadmin::SideDatabaseCheckOutcome;
using settings::testing_support::Call;
using ::testing_support::Rows;

namespace {

using Tables = std::vector<CheckDatabase::SideTable>;

class CheckDatabaseTest : public DataFolderTest {
  protected:
    // Each link names `sidePath` and reaches an empty table with its template's fields; the
    // side database holds exactly these tables.
    void ExpectLinkedAndEmpty(const Tables& tables, const std::string& sidePath) {
        Database target = OpenDb(Target());
        std::set<std::string> expected;
        for (const auto& row : tables) {
            SCOPED_TRACE(row.sideTable);
            expected.insert(row.sideTable);
            const TableDef link = target.TableDefs().Item(row.sideTable);
            EXPECT_EQ(link.Connect(), ";Database=" + sidePath);
            EXPECT_EQ(Rows(target, std::string("select count(*) from ") + row.sideTable), "0\n");
            const TableDef templ = target.TableDefs().Item(row.templateTable);
            ASSERT_EQ(link.Fields().Count(), templ.Fields().Count());
            EXPECT_EQ(link.Fields()[0].Name(), templ.Fields()[0].Name());
            EXPECT_EQ(link.Indexes().Count(), templ.Indexes().Count());
        }
        const std::vector<std::string> side = UserTables(sidePath);
        EXPECT_EQ(std::set<std::string>(side.begin(), side.end()), expected);
    }
    void AddFavourite() {
        OpenDb(Target()).Execute(
            "insert into TREE_ALBUM (Name, anzahl, favorit) values ('Kind of Blue', 3, true)");
    }
    std::string Favourites() {
        return RowsOf(Target(), "select Name from TREE_ALBUM where favorit");
    }
    void DropTable(const std::string& path, const std::string& name) {
        OpenDb(path).TableDefs().Delete(name);
    }
    std::vector<FileSnapshot> AllFiles() {
        return {Snapshot(Target()), Snapshot(TempDb()), Snapshot(TreeDb())};
    }
};

void ExpectUntouched(const SideDatabaseCheckOutcome& outcome) {
    EXPECT_TRUE(outcome.sound);
    EXPECT_FALSE(outcome.rebuilt);
    EXPECT_EQ(outcome.lastError, 0);
    EXPECT_EQ(outcome.errorNumber, 0) << outcome.errorText;
}

}  // namespace

TEST_F(CheckDatabaseTest, FirstStartBuildsBothSideDatabasesAndASecondChangesNoFile) {
    const auto first = Start();
    for (const auto& o : {first.temp, first.tree}) {
        EXPECT_TRUE(o.rebuilt);
        EXPECT_TRUE(o.sound);
        EXPECT_EQ(o.lastError, jet::kFileNotFound);
        EXPECT_EQ(o.errorNumber, jet::kItemNotFound) << "no probe link yet";
    }
    ExpectLinkedAndEmpty(CheckDatabase::TempTables(), TempDb());
    ExpectLinkedAndEmpty(CheckDatabase::TreeTables(), TreeDb());
    EXPECT_TRUE(LeftOvers().empty());

    AddFavourite();
    const auto before = AllFiles();
    const auto second = Start();
    ExpectUntouched(second.temp);
    ExpectUntouched(second.tree);
    EXPECT_TRUE(AllFiles() == before);
}

// Each damage rebuilds the side database it concerns, and only that one.
TEST_F(CheckDatabaseTest, DamageRebuildsOnlyTheSideDatabaseItConcerns) {
    struct Case {
        const char* what;
        std::function<void()> damage;
        bool tempRebuilt;
        int lastError;
    };
    const Case cases[] = {
        {"temp file missing", [&] { std::filesystem::remove(TempDb()); }, true, jet::kFileNotFound},
        {"target without the temp probe", [&] { DropTable(Target(), "TEMP_MP3Edit"); }, true,
         jet::kFileNotFound},
        {"tree database without TREE_DIR", [&] { DropTable(TreeDb(), "TREE_DIR"); }, false,
         jet::kInputTableNotFound},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AddFavourite();
        c.damage();
        const auto kept = Snapshot(c.tempRebuilt ? TreeDb() : TempDb());
        const auto outcome = Start();
        const auto& rebuilt = c.tempRebuilt ? outcome.temp : outcome.tree;
        EXPECT_TRUE(rebuilt.rebuilt);
        EXPECT_EQ(rebuilt.lastError, c.lastError);
        ExpectUntouched(c.tempRebuilt ? outcome.tree : outcome.temp);
        EXPECT_TRUE(Snapshot(c.tempRebuilt ? TreeDb() : TempDb()) == kept);
        EXPECT_EQ(Favourites(), c.tempRebuilt ? "Kind of Blue\n" : "");
        if (c.tempRebuilt)
            ExpectLinkedAndEmpty(CheckDatabase::TempTables(), TempDb());
        else
            ExpectLinkedAndEmpty(CheckDatabase::TreeTables(), TreeDb());
        OpenDb(Target()).Execute("delete from TREE_ALBUM");
    }
}

TEST_F(CheckDatabaseTest, MovedDataFolderGetsSideDatabasesBuiltAndLinkedThere) {
    Start();
    const std::string oldTree = TreeDb();
    const FileSnapshot oldTreeFile = Snapshot(oldTree);
    std::filesystem::copy(dataFolder_, temp / "common/Sonavoxa",
                          std::filesystem::copy_options::recursive);
    SetMachinePathMode("user.global");
    dataFolder_ = Api().DataPath();
    ASSERT_EQ(dataFolder_, temp / "common/Sonavoxa");
    ASSERT_EQ(ConnectOf(Target(), "TREE_DIR"), ";Database=" + oldTree);

    const auto outcome = Start();
    EXPECT_TRUE(outcome.temp.rebuilt && outcome.tree.rebuilt);
    ExpectLinkedAndEmpty(CheckDatabase::TempTables(), TempDb());
    ExpectLinkedAndEmpty(CheckDatabase::TreeTables(), TreeDb());
    EXPECT_TRUE(Snapshot(oldTree) == oldTreeFile);
}

// The whole connect text is compared without regard to letter case; the file behind it is then
// opened, and on this file system a path in other letters names another file.
TEST_F(CheckDatabaseTest, ProbeLinkTextIsComparedWithoutRegardToLetterCase) {
    Start();
    std::string upperPath = TempDb();
    for (char& c : upperPath) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::pair<std::string, bool> cases[] = {{";DATABASE=" + TempDb(), false},
                                                  {";database=" + TempDb(), false},
                                                  {";Database=" + upperPath, true},
                                                  {";Database=" + TempDb() + ".old", true}};
    for (const auto& [connect, rebuilt] : cases) {
        SCOPED_TRACE(connect);
        {
            Database target = OpenDb(Target());
            target.TableDefs().Delete("TEMP_MP3Edit");
            TableDef link = target.CreateTableDef("TEMP_MP3Edit");
            link.SetConnect(connect);
            link.SetSourceTableName("TEMP_MP3Edit");
            target.TableDefs().Append(link);
        }
        EXPECT_EQ(NewChecker().CheckTempDatabase().rebuilt, rebuilt);
        EXPECT_EQ(ConnectOf(Target(), "TEMP_MP3Edit"), rebuilt ? ";Database=" + TempDb() : connect);
    }
}

TEST_F(CheckDatabaseTest, LocalTableOfASideTablesNameIsReplacedByALink) {
    OpenDb(Target()).Execute("CREATE TABLE TREE_GENRE (Name TEXT(255), anzahl LONG)");
    OpenDb(Target()).Execute("insert into TREE_GENRE values ('Jazz', 12)");
    Start();
    EXPECT_EQ(ConnectOf(Target(), "TREE_GENRE"), ";Database=" + TreeDb());
    EXPECT_EQ(RowsOf(Target(), "select count(*) from TREE_GENRE"), "0\n");
}

TEST_F(CheckDatabaseTest, TargetThatCannotBeOpenedChangesNothing) {
    Start();
    AddFavourite();
    const auto before = AllFiles();
    const std::string broken = temp.Write("broken.mdb", "this is no database at all");
    const std::pair<std::string, int> cases[] = {{DataFile("nothing.mdb"), jet::kFileNotFound},
                                                 {broken, jet::kUnrecognizedFormat},
                                                 {"", jet::kFileNotFound}};
    for (const auto& [path, error] : cases) {
        SCOPED_TRACE(path);
        CheckDatabase& checker = NewChecker();
        checker.SetTargetDatabasePath(path);
        for (const auto& outcome : {checker.CheckTempDatabase(), checker.CheckTreeDatabase()}) {
            EXPECT_FALSE(outcome.rebuilt);
            EXPECT_FALSE(outcome.sound);
            EXPECT_EQ(outcome.errorNumber, error) << outcome.errorText;
        }
        EXPECT_TRUE(AllFiles() == before);
    }
}

// A build that cannot be completed (a template missing, the file not taking its place) keeps
// the side database in place with its rows; the next start tries again.
TEST_F(CheckDatabaseTest, IncompleteBuildKeepsTheOldSideDatabase) {
    Start();
    struct Case {
        const char* what;
        std::function<void()> fault;
        std::function<void()> repair;
    };
    const Case cases[] = {
        {"template missing", [&] { DropTable(Target(), "x_TREE_INTERPRET"); },
         [&] {
             dbadmin::ADMCreateDB adm;
             adm.DBName(Target());
             adm.ExternDBName(::testing_support::CopyOfShippedDatabase(temp / "shipped.mdb"));
             adm.ClonTableStrukt("x_TREE_INTERPRET");
         }},
        {"template no plain table",
         [&] {
             RawSql(Target(), "UPDATE MSysObjects SET Attributes = 1 WHERE Name = 'x_tree_dir'");
         },
         [&] {
             RawSql(Target(), "UPDATE MSysObjects SET Attributes = 0 WHERE Name = 'x_tree_dir'");
         }},
        // The first replace is the one inside CreateDB; the second puts the build in place.
        {"file cannot take its place", [&] { scripted.FailNth(Call::ReplaceFile, 2); }, [] {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AddFavourite();
        DropTable(Target(), "TREE_DIR");
        c.fault();
        const FileSnapshot tree = Snapshot(TreeDb());
        const auto failed = NewChecker().CheckTreeDatabase();
        EXPECT_FALSE(failed.rebuilt);
        EXPECT_NE(failed.errorNumber, 0);
        EXPECT_TRUE(Snapshot(TreeDb()) == tree);
        EXPECT_EQ(Favourites(), "Kind of Blue\n");
        EXPECT_TRUE(LeftOvers().empty());

        c.repair();
        EXPECT_TRUE(NewChecker().CheckTreeDatabase().rebuilt);
        EXPECT_EQ(Favourites(), "");
    }
}

// Links are made probe last: a link that cannot be made leaves the probe failing, so the next
// start builds again instead of taking a half-linked side database for sound.
TEST_F(CheckDatabaseTest, LinkThatCannotBeMadeLeavesTheProbeFailing) {
    Start();
    std::filesystem::remove(TempDb());
    RawSql(Target(),
           "CREATE TRIGGER refuse_link BEFORE INSERT ON MSysObjects "
           "WHEN NEW.Kind = 6 AND NEW.Name = 'TEMP_PLImport' "
           "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    EXPECT_NE(NewChecker().CheckTempDatabase().errorNumber, 0);
    EXPECT_EQ(ConnectOf(Target(), "TEMP_MP3Edit"), "<none>");
    EXPECT_EQ(ConnectOf(Target(), "TEMP_PLImport"), ";Database=" + TempDb()) << "old link kept";

    RawSql(Target(), "DROP TRIGGER refuse_link");
    const auto retried = NewChecker().CheckTempDatabase();
    EXPECT_TRUE(retried.rebuilt);
    EXPECT_EQ(retried.lastError, jet::kFileNotFound);
    ExpectLinkedAndEmpty(CheckDatabase::TempTables(), TempDb());
}

// The tree maintenance works through the new links right after a 3078 rebuild in the same
// process, also while an older handle still holds the replaced file attached.
TEST_F(CheckDatabaseTest, RebuiltTreeIsSeenWhileAnOldHandleStillHoldsTheOldFile) {
    Start();
    DropTable(TreeDb(), "TREE_DIR");
    Database holder = OpenDb(Target());
    EXPECT_EQ(Rows(holder, "select count(*) from TREE_ALBUM"), "0\n");  // attaches the old file
    EXPECT_EQ(::testing_support::JetErrorOf([&] { holder.OpenRecordset("TREE_DIR"); }),
              jet::kInputTableNotFound);
    ASSERT_TRUE(NewChecker().CheckTreeDatabase().rebuilt);

    Database target = OpenDb(Target());
    target.Execute(
        "insert into TREE_DIR (Path, vName, anzahl, favorit) values ('C:\\', 'D', 2, true)");
    target.Close();
    holder.Close();
    EXPECT_EQ(RowsOf(TreeDb(), "select Path, favorit from TREE_DIR"), "C:\\|-1\n");
}

namespace {

// What a crash in the middle of a rebuild leaves: the half-built file with a hot journal (one
// whose transaction never ended). Made by copying a file and its journal while a transaction
// that has spilled changes to the disk is still open.
void PlantInterruptedBuild(const std::string& path) {
    const std::string scratch = path + ".scratch";
    RawSql(scratch,
           "PRAGMA journal_mode=DELETE; CREATE TABLE t(x); WITH RECURSIVE n(i) AS (SELECT 1 "
           "UNION ALL SELECT i + 1 FROM n WHERE i < 400) INSERT INTO t SELECT randomblob(800) "
           "FROM n;");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(scratch.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "PRAGMA cache_size=2; BEGIN; DELETE FROM t;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    ASSERT_TRUE(std::filesystem::exists(scratch + "-journal"));
    std::filesystem::copy_file(scratch, path);
    std::filesystem::copy_file(scratch + "-journal", path + "-journal");
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::filesystem::remove(scratch);
}

TEST_F(CheckDatabaseTest, BuildLeftByACrashDoesNotSpoilTheNextRebuild) {
    Start();
    std::filesystem::remove(TreeDb());
    PlantInterruptedBuild(TreeDb() + ".building");
    const auto next = Start();
    EXPECT_TRUE(next.tree.rebuilt);
    EXPECT_TRUE(next.tree.sound) << next.tree.errorNumber << " " << next.tree.errorText;
    ExpectLinkedAndEmpty(CheckDatabase::TreeTables(), TreeDb());
    EXPECT_TRUE(LeftOvers().empty());
    EXPECT_FALSE(std::filesystem::exists(TreeDb() + ".building-journal"));
}

}  // namespace
