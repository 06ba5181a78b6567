// ADMCreateDB between a copy of the shipped target database and a fresh database.
#include "dbadmin/ADMCreateDB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "dbadmin/DataFolderTest.h"

using namespace platform;
using namespace dbadmin::testing_support;
using dbadmin::ADMCreateDB;
using settings::testing_support::Call;
using settings::testing_support::ScriptedFileSystem;
using ::testing_support::CopyOfShippedDatabase;
using ::testing_support::JetErrorOf;
using ::testing_support::TempFolder;

namespace {

class ADMCreateDBTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CopyOfShippedDatabase(source);
        DBEngine::Instance().CreateDatabase(target, dbLangGeneral).Close();
        adm.DBName(target);
        adm.ExternDBName(source);
    }
    std::vector<std::string> QueryNames(const std::string& path) {
        return OpenDb(path).QueryDefs().Names();
    }
    void Execute(const std::string& path, const std::string& sql) { OpenDb(path).Execute(sql); }

    TempFolder folder;
    const std::string source = folder / "sonavoxa.mdb";
    const std::string target = folder / "side.mdb";
    LocalFileSystem local;
    ScriptedFileSystem files{local};
    ADMCreateDB adm{files};
};

}  // namespace

TEST_F(ADMCreateDBTest, CreateDBReplacesAFileButRefusesAnEmptyPathOrAMissingFolder) {
    struct Case {
        std::string path;
        bool created;
    };
    for (const Case& c :
         {Case{source, true}, Case{"", false}, Case{folder / "no/new.mdb", false}}) {
        SCOPED_TRACE(c.path);
        adm.DBName(c.path);
        EXPECT_EQ(adm.CreateDB(), c.created);
        EXPECT_EQ(adm.LastErrorNumber() == 0, c.created);
    }
    EXPECT_TRUE(UserTables(source).empty());
    EXPECT_TRUE(QueryNames(source).empty());
    EXPECT_FALSE(std::filesystem::exists(folder / "no"));
    EXPECT_FALSE(std::filesystem::exists(source + ".creating"));
}

TEST_F(ADMCreateDBTest, CreateDBKeepsTheOldFileWhenTheNewOneCannotTakeItsPlace) {
    const FileSnapshot before = Snapshot(source);
    adm.DBName(source);
    files.FailNth(Call::ReplaceFile, 1);
    EXPECT_FALSE(adm.CreateDB());
    EXPECT_TRUE(Snapshot(source) == before);
    EXPECT_FALSE(std::filesystem::exists(source + ".creating"));
}

// Name, type, size, attributes and default travel; text fields always allow zero-length text
// in the copy; everything else (memo's zero-length, required, index nulls) is the engine's
// default. Rows never travel.
TEST_F(ADMCreateDBTest, CloneCopiesFieldsAndIndexesByTheRulesButNoRows) {
    {
        Database src = ::testing_support::CreateDatabaseWith(
            folder / "notes.mdb",
            {"CREATE TABLE notes (id LONG NOT NULL, title TEXT(20) DEFAULT \"untitled\", body MEMO,"
             " CONSTRAINT PrimaryKey PRIMARY KEY (id))",
             "CREATE UNIQUE INDEX byTitle ON notes (title DESC, id) WITH IGNORE NULL",
             "insert into notes (id, title) values (1, 'first')"});
        src.SetAllowZeroLength("notes", "body", true);
    }
    adm.ExternDBName(folder / "notes.mdb");
    adm.ClonTableStrukt("notes", "notes_copy");
    ASSERT_EQ(adm.LastErrorNumber(), 0) << adm.LastErrorText();

    Database dst = OpenDb(target);
    const TableDef copy = dst.TableDefs().Item("notes_copy");
    // name type size required zero-length default
    std::string fields;
    for (const Field& f : copy.Fields())
        fields += f.Name() + " " + std::to_string(f.Type()) + " " + std::to_string(f.Size()) +
                  (f.Required() ? " R" : " -") + (f.AllowZeroLength() ? " Z " : " - ") +
                  f.DefaultValue() + "\n";
    EXPECT_EQ(fields, "id 4 4 - - \ntitle 10 20 - Z \"untitled\"\nbody 12 0 - - \n");
    // name primary unique ignore-nulls fields
    std::string indexes;
    for (size_t i = 0; i < copy.Indexes().Count(); ++i) {
        const Index& index = copy.Indexes()[i];
        indexes += index.Name() + (index.Primary() ? " P" : " -") + (index.Unique() ? "U" : "-") +
                   (index.IgnoreNulls() ? "I" : "-");
        for (const auto& f : index.Fields()) indexes += " " + f.Name + (f.Descending ? "-" : "+");
        indexes += "\n";
    }
    EXPECT_EQ(indexes, "PrimaryKey PU- id+\nbyTitle -U- title- id+\n");
    EXPECT_EQ(::testing_support::Rows(dst, "select count(*) from notes_copy"), "0\n");
}

TEST_F(ADMCreateDBTest, LinkedHiddenSystemAndMissingTablesAreNeverCloned) {
    {
        Database src = OpenDb(source);
        TableDef link = src.CreateTableDef("linked_album");
        link.SetConnect(";Database=" + source);
        link.SetSourceTableName("x_tree_album");
        src.TableDefs().Append(link);
    }
    // Hidden tables come from other tools; the engine keeps the flag in its catalog.
    RawSql(source, "UPDATE MSysObjects SET Attributes = 1 WHERE Name = 'genre'");
    ASSERT_EQ(OpenDb(source).TableDefs().Item("genre").Attributes(), dbHiddenObject);
    for (const char* name : {"linked_album", "genre", "MSysObjects", "no_such_table"}) {
        SCOPED_TRACE(name);
        adm.ClonTableStrukt(name, "copy");
        EXPECT_TRUE(UserTables(target).empty());
    }
    EXPECT_EQ(adm.LastErrorNumber(), jet::kItemNotFound);
}

TEST_F(ADMCreateDBTest, ASecondCloneLeavesTheFirstCopyAndItsRowsAlone) {
    adm.ClonTableStrukt("x_TREE_default", "TREE_USER1");
    Execute(target, "insert into TREE_USER1 (name, anzahl) values ('Party', 4)");
    adm.ClonTableStrukt("x_TREE_default", "TREE_USER1");
    EXPECT_EQ(adm.LastErrorNumber(), jet::kTableExists);
    EXPECT_EQ(RowsOf(target, "select name, anzahl from TREE_USER1"), "Party|4\n");
}

TEST_F(ADMCreateDBTest, CloneHandsAFailedOpenToTheCallerButLinkEndsQuietly) {
    adm.ExternDBName(folder / "missing.mdb");
    EXPECT_EQ(JetErrorOf([&] { adm.ClonTableStrukt("x_tree_album"); }), jet::kFileNotFound);
    EXPECT_EQ(JetErrorOf([&] { adm.ClonDBStruktur(); }), jet::kFileNotFound);
    adm.ExternDBName(source);
    adm.DBName(folder / "missing.mdb");
    EXPECT_EQ(JetErrorOf([&] { adm.ClonTableStrukt("x_tree_album"); }), jet::kFileNotFound);
    EXPECT_EQ(JetErrorOf([&] { adm.LinkTable("x_tree_album"); }), 0);
    EXPECT_EQ(adm.LastErrorNumber(), jet::kFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(folder / "missing.mdb"));
}

TEST_F(ADMCreateDBTest, LinkReplacesALocalTableOrAnEarlierLinkUnderTheSecondName) {
    Execute(target, "CREATE TABLE x_tree_album (Name TEXT(255))");
    Execute(target, "insert into x_tree_album values ('local row')");
    adm.LinkTable("ignored", "x_tree_album");
    Database dst = OpenDb(target);
    const TableDef link = dst.TableDefs().Item("x_tree_album");
    EXPECT_EQ(link.Connect(), ";Database=" + source);
    EXPECT_EQ(link.SourceTableName(), "x_tree_album");
    EXPECT_EQ(::testing_support::Rows(dst, "select count(*) from x_tree_album"), "0\n");
    dst.Close();

    const std::string other = folder / "other.mdb";
    CopyOfShippedDatabase(other);
    adm.ExternDBName(other);
    adm.LinkTable("x_tree_album");
    EXPECT_EQ(ConnectOf(target, "x_tree_album"), ";Database=" + other);
    EXPECT_EQ(UserTables(target), std::vector<std::string>{"x_tree_album"});
}

TEST_F(ADMCreateDBTest, LinkWhoseAppendFailsKeepsTheOldTableAndItsRows) {
    Execute(target, "CREATE TABLE TREE_ALBUM (Name TEXT(255), favorit YESNO)");
    Execute(target, "insert into TREE_ALBUM values ('Blue Train', true)");
    RawSql(target,
           "CREATE TRIGGER refuse_links BEFORE INSERT ON MSysObjects WHEN NEW.Kind = 6 "
           "BEGIN SELECT RAISE(ABORT, 'no links here'); END");
    adm.LinkTable("TREE_ALBUM");
    EXPECT_NE(adm.LastErrorNumber(), 0);
    EXPECT_EQ(ConnectOf(target, "TREE_ALBUM"), "");
    EXPECT_EQ(RowsOf(target, "select Name, favorit from TREE_ALBUM"), "Blue Train|-1\n");
}

class ClonDBStrukturTest : public ADMCreateDBTest {
  protected:
    void SetUp() override {
        ADMCreateDBTest::SetUp();
        CopyOfShippedDatabase(folder / "other.mdb");
        Database src = OpenDb(source);
        src.CreateQueryDef("q_forget_stats", "delete from pl_stat");
        src.CreateQueryDef("q_reset_counts", "update pl_name set anzahl = 0");
        TableDef link = src.CreateTableDef("linked_genre");
        link.SetConnect(";Database=" + folder / "other.mdb");
        link.SetSourceTableName("genre");
        src.TableDefs().Append(link);
        for (const std::string& name : UserTables(source))
            if (name != "linked_genre") plainTables.push_back(name);
    }
    std::vector<std::string> plainTables;
};

TEST_F(ClonDBStrukturTest, CopiesEveryPlainTableAndEveryQueryButUpdateQueries) {
    adm.ClonDBStruktur();
    EXPECT_EQ(adm.LastErrorNumber(), 0) << adm.LastErrorText();
    EXPECT_EQ(UserTables(target), plainTables);
    std::vector<std::string> expected = QueryNames(source);
    expected.erase(std::find(expected.begin(), expected.end(), "q_reset_counts"));
    EXPECT_EQ(QueryNames(target), expected);
}

TEST_F(ClonDBStrukturTest, TheFirstFailingTableEndsTheRun) {
    Execute(target, "CREATE TABLE pl_all (mine LONG)");
    adm.ClonDBStruktur();
    EXPECT_EQ(adm.LastErrorNumber(), jet::kTableExists);
    const auto failing = std::find(plainTables.begin(), plainTables.end(), "pl_all");
    ASSERT_NE(failing, plainTables.end());
    EXPECT_EQ(UserTables(target), std::vector<std::string>(plainTables.begin(), failing + 1));
    EXPECT_TRUE(QueryNames(target).empty());
    EXPECT_EQ(OpenDb(target).TableDefs().Item("pl_all").Fields().Count(), 1u);
}

TEST_F(ADMCreateDBTest, CreateQuerydefReplacesButClonQuerydefKeepsAnExistingQuery) {
    adm.CreateQuerydef("recent", "select * from db_edit");
    adm.CreateQuerydef("recent", "select FID from db_edit");
    EXPECT_EQ(OpenDb(target).QueryDefs().Item("recent").SQL(), "select FID from db_edit");

    OpenDb(target).CreateQueryDef("v_tree_dir", "select 1");
    adm.ClonQuerydef("v_tree_dir");
    EXPECT_EQ(adm.LastErrorNumber(), jet::kObjectExists);
    EXPECT_EQ(OpenDb(target).QueryDefs().Item("v_tree_dir").SQL(), "select 1");
    // No type filter here, unlike the whole-database clone.
    OpenDb(source).CreateQueryDef("q_reset_counts", "update pl_name set anzahl = 0");
    adm.ClonQuerydef("q_reset_counts");
    EXPECT_EQ(OpenDb(target).QueryDefs().Item("q_reset_counts").Type(), dbQUpdate);
}
