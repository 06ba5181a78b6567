// ADMCreateDB on copies of the shipped target database and on fresh databases.
#include "dbadmin/ADMCreateDB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "dbadmin/DataFolderTest.h"

using namespace platform;
using dbadmin::ADMCreateDB;
using dbadmin::testing_support::ConnectOf;
using dbadmin::testing_support::kShippedDatabase;
using dbadmin::testing_support::OpenDb;
using dbadmin::testing_support::RawSql;
using dbadmin::testing_support::RowsOf;
using dbadmin::testing_support::Snapshot;
using dbadmin::testing_support::UserTables;
using settings::testing_support::Call;
using settings::testing_support::ScriptedFileSystem;
using ::testing_support::JetErrorOf;
using ::testing_support::TempFolder;

namespace {

// `source` is a copy of the shipped database, `target` a fresh empty one; the tool under test
// goes through a file system that a test can make fail.
class ADMCreateDBTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kShippedDatabase)) << kShippedDatabase;
        std::filesystem::copy_file(kShippedDatabase, source);
        DBEngine::Instance().CreateDatabase(target, dbLangGeneral).Close();
        adm.DBName(target);
        adm.ExternDBName(source);
    }

    std::vector<std::string> QueryNames(const std::string& path) {
        Database db = OpenDb(path);
        return db.QueryDefs().Names();
    }

    TempFolder folder;
    const std::string source = folder / "sonavoxa.mdb";
    const std::string target = folder / "side.mdb";
    LocalFileSystem local;
    ScriptedFileSystem files{local};
    ADMCreateDB adm{files};
};

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

// --- CreateDB --------------------------------------------------------------------------

TEST_F(ADMCreateDBTest, CreateDBReplacesAnExistingDatabaseWithAnEmptyOne) {
    adm.DBName(source);
    EXPECT_TRUE(adm.CreateDB());
    EXPECT_TRUE(UserTables(source).empty());
    EXPECT_TRUE(QueryNames(source).empty());
    EXPECT_FALSE(std::filesystem::exists(source + ".creating"));
}

TEST_F(ADMCreateDBTest, CreateDBRefusesAnEmptyPathOrAMissingFolderAndCreatesNothing) {
    for (const std::string& path : {std::string(), folder / "missing/new.mdb"}) {
        SCOPED_TRACE(path);
        adm.DBName(path);
        EXPECT_FALSE(adm.CreateDB());
        EXPECT_NE(adm.LastErrorNumber(), 0);
        EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
    }
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(folder.Path()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"side.mdb", "sonavoxa.mdb"}));
}

TEST_F(ADMCreateDBTest, CreateDBKeepsTheOldFileWhenTheNewOneCannotTakeItsPlace) {
    const auto before = Snapshot(source);
    adm.DBName(source);
    files.FailNth(Call::ReplaceFile, 1);
    EXPECT_FALSE(adm.CreateDB());
    EXPECT_TRUE(Snapshot(source) == before);
    EXPECT_FALSE(std::filesystem::exists(source + ".creating"));
}

// --- ClonTableStrukt -------------------------------------------------------------------

TEST_F(ADMCreateDBTest, ClonedTemplateHasItsFieldsAndKeyButNoRows) {
    {
        Database src = OpenDb(source);
        src.Execute(
            "insert into x_tree_dir (Path, vName, anzahl) values ('C:\\Music\\', 'Disk', 3)");
    }
    adm.ClonTableStrukt("x_tree_dir");
    EXPECT_EQ(adm.LastErrorNumber(), 0) << adm.LastErrorText();

    Database src = OpenDb(source);
    Database dst = OpenDb(target);
    const TableDef original = src.TableDefs().Item("x_tree_dir");
    const TableDef copy = dst.TableDefs().Item("x_tree_dir");
    EXPECT_EQ(copy.Name(), "x_tree_dir");
    ASSERT_EQ(copy.Fields().Count(), original.Fields().Count());
    for (size_t i = 0; i < original.Fields().Count(); ++i) {
        const Field& a = original.Fields()[i];
        const Field& b = copy.Fields()[i];
        SCOPED_TRACE(a.Name());
        EXPECT_EQ(b.Name(), a.Name());
        EXPECT_EQ(b.Type(), a.Type());
        EXPECT_EQ(b.Size(), a.Size());
        EXPECT_EQ(b.Attributes(), a.Attributes());
        EXPECT_EQ(b.DefaultValue(), a.DefaultValue());
    }
    ASSERT_EQ(copy.Indexes().Count(), 1u);
    const Index& key = copy.Indexes()[0];
    EXPECT_EQ(key.Name(), "PrimaryKey");
    EXPECT_TRUE(key.Primary());
    ASSERT_EQ(key.Fields().size(), 2u);
    EXPECT_EQ(key.Fields()[0].Name, "Path");
    EXPECT_EQ(key.Fields()[1].Name, "vName");
    EXPECT_EQ(::testing_support::Rows(dst, "select count(*) from x_tree_dir"), "0\n");
}

// Only name, type, size, attributes and default travel; text fields always take zero-length
// text in the copy, other fields (memo included) and indexes keep the engine's defaults.
TEST_F(ADMCreateDBTest, CloneAppliesTheFieldAndIndexCopyRules) {
    {
        Database src = OpenDb(source);
        TableDef def = src.CreateTableDef("notes");
        Field id = def.CreateField("id", dbLong);
        id.SetRequired(true);
        def.Fields().Append(id);
        Field title = def.CreateField("title", dbText, 20);
        title.SetAllowZeroLength(false);
        title.SetRequired(true);
        title.SetDefaultValue("\"untitled\"");
        def.Fields().Append(title);
        Field body = def.CreateField("body", dbMemo);
        body.SetAllowZeroLength(true);
        def.Fields().Append(body);
        Index byTitle = def.CreateIndex("byTitle");
        byTitle.SetFields("-title;+id");
        byTitle.SetUnique(true);
        byTitle.SetIgnoreNulls(true);
        def.Indexes().Append(byTitle);
        src.TableDefs().Append(def);
    }
    adm.ClonTableStrukt("notes", "notes_copy");

    Database dst = OpenDb(target);
    const TableDef copy = dst.TableDefs().Item("notes_copy");
    ASSERT_EQ(copy.Fields().Count(), 3u);
    const Field& id = copy.Fields()[0];
    const Field& title = copy.Fields()[1];
    const Field& body = copy.Fields()[2];
    EXPECT_FALSE(id.Required());
    EXPECT_FALSE(title.Required());
    EXPECT_TRUE(title.AllowZeroLength());
    EXPECT_EQ(title.Size(), 20);
    EXPECT_EQ(title.DefaultValue(), "\"untitled\"");
    EXPECT_FALSE(body.AllowZeroLength()) << "memo fields keep the engine's default";
    ASSERT_EQ(copy.Indexes().Count(), 1u);
    const Index& byTitle = copy.Indexes()[0];
    EXPECT_EQ(byTitle.Name(), "byTitle");
    EXPECT_TRUE(byTitle.Unique());
    EXPECT_FALSE(byTitle.Primary());
    EXPECT_FALSE(byTitle.IgnoreNulls());
    ASSERT_EQ(byTitle.Fields().size(), 2u);
    EXPECT_EQ(byTitle.Fields()[0].Name, "title");
    EXPECT_TRUE(byTitle.Fields()[0].Descending);
    EXPECT_EQ(byTitle.Fields()[1].Name, "id");
    EXPECT_FALSE(byTitle.Fields()[1].Descending);
}

TEST_F(ADMCreateDBTest, LinkedHiddenAndSystemTablesAreNeverCloned) {
    {
        Database src = OpenDb(source);
        TableDef link = src.CreateTableDef("linked_album");
        link.SetConnect(";Database=" + source);
        link.SetSourceTableName("x_tree_album");
        src.TableDefs().Append(link);
    }
    // Hidden tables come from other tools; the engine only keeps the flag in its catalog.
    RawSql(source, "UPDATE MSysObjects SET Attributes = 1 WHERE Name = 'genre'");
    {
        Database src = OpenDb(source);
        ASSERT_EQ(src.TableDefs().Item("genre").Attributes(), dbHiddenObject);
    }
    for (const char* name : {"linked_album", "genre", "MSysObjects"}) {
        SCOPED_TRACE(name);
        adm.ClonTableStrukt(name, std::string("copy_of_") + name);
        EXPECT_EQ(adm.LastErrorNumber(), 0);
        EXPECT_TRUE(UserTables(target).empty());
    }
}

TEST_F(ADMCreateDBTest, ASecondCloneLeavesTheFirstCopyAndItsRowsAlone) {
    adm.ClonTableStrukt("x_TREE_default", "TREE_USER1");
    {
        Database dst = OpenDb(target);
        dst.Execute("insert into TREE_USER1 (name, anzahl) values ('Party', 4)");
    }
    adm.ClonTableStrukt("x_TREE_default", "TREE_USER1");
    EXPECT_EQ(adm.LastErrorNumber(), jet::kTableExists);
    EXPECT_EQ(RowsOf(target, "select name, anzahl from TREE_USER1"), "Party|4\n");
    EXPECT_EQ(UserTables(target), std::vector<std::string>{"TREE_USER1"});
}

TEST_F(ADMCreateDBTest, CloneOfAMissingTableLeavesTheTargetUnchanged) {
    adm.ClonTableStrukt("no_such_table", "copy");
    EXPECT_EQ(adm.LastErrorNumber(), jet::kItemNotFound);
    EXPECT_TRUE(UserTables(target).empty());
}

TEST_F(ADMCreateDBTest, CloneHandsAFailureToOpenEitherDatabaseToTheCaller) {
    adm.ExternDBName(folder / "missing.mdb");
    EXPECT_EQ(JetErrorOf([&] { adm.ClonTableStrukt("x_tree_album"); }), jet::kFileNotFound);
    adm.ExternDBName(source);
    adm.DBName(folder / "missing.mdb");
    EXPECT_EQ(JetErrorOf([&] { adm.ClonTableStrukt("x_tree_album"); }), jet::kFileNotFound);
    EXPECT_EQ(JetErrorOf([&] { adm.ClonDBStruktur(); }), jet::kFileNotFound);
}

// --- LinkTable -------------------------------------------------------------------------

TEST_F(ADMCreateDBTest, LinkWithTwoNamesUsesTheSecondForLinkAndSource) {
    adm.LinkTable("ignored", "x_tree_album");
    EXPECT_EQ(adm.LastErrorNumber(), 0) << adm.LastErrorText();
    EXPECT_EQ(UserTables(target), std::vector<std::string>{"x_tree_album"});
    Database dst = OpenDb(target);
    const TableDef link = dst.TableDefs().Item("x_tree_album");
    EXPECT_EQ(link.Connect(), ";Database=" + source);
    EXPECT_EQ(link.SourceTableName(), "x_tree_album");
    EXPECT_EQ(::testing_support::Rows(dst, "select count(*) from x_tree_album"), "0\n");
}

TEST_F(ADMCreateDBTest, LinkReplacesALocalTableOrAnEarlierLink) {
    {
        Database dst = OpenDb(target);
        dst.Execute("CREATE TABLE x_tree_album (Name TEXT(255))");
        dst.Execute("insert into x_tree_album values ('local row')");
    }
    adm.LinkTable("x_tree_album");
    EXPECT_EQ(ConnectOf(target, "x_tree_album"), ";Database=" + source);
    EXPECT_EQ(RowsOf(target, "select count(*) from x_tree_album"), "0\n");

    const std::string other = folder / "other.mdb";
    std::filesystem::copy_file(kShippedDatabase, other);
    adm.ExternDBName(other);
    adm.LinkTable("x_tree_album");
    EXPECT_EQ(ConnectOf(target, "x_tree_album"), ";Database=" + other);
    EXPECT_EQ(UserTables(target), std::vector<std::string>{"x_tree_album"});
}

TEST_F(ADMCreateDBTest, LinkWhoseAppendFailsKeepsTheOldTableAndItsRows) {
    {
        Database dst = OpenDb(target);
        dst.Execute("CREATE TABLE TREE_ALBUM (Name TEXT(255), favorit YESNO)");
        dst.Execute("insert into TREE_ALBUM values ('Blue Train', true)");
    }
    RawSql(target,
           "CREATE TRIGGER refuse_links BEFORE INSERT ON MSysObjects WHEN NEW.Kind = 6 "
           "BEGIN SELECT RAISE(ABORT, 'no links here'); END");
    adm.LinkTable("TREE_ALBUM");
    EXPECT_NE(adm.LastErrorNumber(), 0);
    EXPECT_EQ(ConnectOf(target, "TREE_ALBUM"), "");
    EXPECT_EQ(RowsOf(target, "select Name, favorit from TREE_ALBUM"), "Blue Train|-1\n");
}

TEST_F(ADMCreateDBTest, LinkIntoADatabaseThatCannotBeOpenedEndsQuietly) {
    adm.DBName(folder / "missing.mdb");
    EXPECT_EQ(JetErrorOf([&] { adm.LinkTable("x_tree_album"); }), 0);
    EXPECT_EQ(adm.LastErrorNumber(), jet::kFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(folder / "missing.mdb"));
}

// --- ClonDBStruktur --------------------------------------------------------------------

class ClonDBStrukturTest : public ADMCreateDBTest {
  protected:
    void SetUp() override {
        ADMCreateDBTest::SetUp();
        std::filesystem::copy_file(kShippedDatabase, folder / "other.mdb");
        Database src = OpenDb(source);
        src.CreateQueryDef("q_forget_stats", "delete from pl_stat");
        src.CreateQueryDef("q_reset_counts", "update pl_name set anzahl = 0");
        TableDef link = src.CreateTableDef("linked_genre");
        link.SetConnect(";Database=" + folder / "other.mdb");
        link.SetSourceTableName("genre");
        src.TableDefs().Append(link);
    }
    std::vector<std::string> PlainTablesOfSource() {
        Database src = OpenDb(source);
        std::vector<std::string> names;
        auto defs = src.TableDefs();
        for (size_t i = 0; i < defs.Count(); ++i)
            if (defs[i].Attributes() == 0) names.push_back(defs.Names()[i]);
        return names;
    }
};

TEST_F(ClonDBStrukturTest, CopiesEveryPlainTableAndEveryQueryButUpdateQueries) {
    adm.ClonDBStruktur();
    EXPECT_EQ(adm.LastErrorNumber(), 0) << adm.LastErrorText();
    EXPECT_EQ(UserTables(target), PlainTablesOfSource());
    EXPECT_FALSE(Contains(UserTables(target), "linked_genre"));

    std::vector<std::string> expected = QueryNames(source);
    expected.erase(std::find(expected.begin(), expected.end(), "q_reset_counts"));
    EXPECT_EQ(QueryNames(target), expected);
    EXPECT_TRUE(Contains(QueryNames(target), "q_forget_stats"));
    EXPECT_TRUE(Contains(QueryNames(target), "v_tree_dir"));
    EXPECT_EQ(RowsOf(target, "select count(*) from db_version"), "0\n");
}

TEST_F(ClonDBStrukturTest, TheFirstFailingTableEndsTheRun) {
    {
        Database dst = OpenDb(target);
        dst.Execute("CREATE TABLE pl_all (mine LONG)");
    }
    adm.ClonDBStruktur();
    EXPECT_EQ(adm.LastErrorNumber(), jet::kTableExists);

    const std::vector<std::string> all = PlainTablesOfSource();
    const auto failing = std::find(all.begin(), all.end(), "pl_all");
    ASSERT_NE(failing, all.end());
    std::vector<std::string> expected(all.begin(), failing + 1);
    EXPECT_EQ(UserTables(target), expected);
    EXPECT_TRUE(QueryNames(target).empty());
    Database dst = OpenDb(target);
    EXPECT_EQ(dst.TableDefs().Item("pl_all").Fields().Count(), 1u) << "its own table stays";
}

// --- Query definitions -----------------------------------------------------------------

TEST_F(ADMCreateDBTest, CreateQuerydefReplacesButClonQuerydefKeepsAnExistingQuery) {
    adm.CreateQuerydef("recent", "select * from db_edit");
    adm.CreateQuerydef("recent", "select FID from db_edit");
    EXPECT_EQ(adm.LastErrorNumber(), 0) << adm.LastErrorText();
    {
        Database dst = OpenDb(target);
        EXPECT_EQ(dst.QueryDefs().Item("recent").SQL(), "select FID from db_edit");
        dst.CreateQueryDef("v_tree_dir", "select 1");
    }
    adm.ClonQuerydef("v_tree_dir");
    EXPECT_EQ(adm.LastErrorNumber(), jet::kObjectExists);
    Database dst = OpenDb(target);
    EXPECT_EQ(dst.QueryDefs().Item("v_tree_dir").SQL(), "select 1");
    EXPECT_EQ(dst.QueryDefs().Count(), 2u);
}

TEST_F(ADMCreateDBTest, ClonQuerydefCopiesUpdateQueriesToo) {
    {
        Database src = OpenDb(source);
        src.CreateQueryDef("q_reset_counts", "update pl_name set anzahl = 0");
    }
    adm.ClonQuerydef("q_reset_counts");
    EXPECT_EQ(adm.LastErrorNumber(), 0) << adm.LastErrorText();
    Database dst = OpenDb(target);
    const QueryDef copy = dst.QueryDefs().Item("q_reset_counts");
    EXPECT_EQ(copy.SQL(), "update pl_name set anzahl = 0");
    EXPECT_EQ(copy.Type(), dbQUpdate);
}
