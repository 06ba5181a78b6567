#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateDatabaseWith(
            side_, {"CREATE TABLE TREE_DIR (Path TEXT(255) CONSTRAINT PrimaryKey PRIMARY KEY,"
                    " anzahl LONG, favorit YESNO DEFAULT False)",
                    "insert into TREE_DIR (Path, anzahl) values ('C:\\', 0)"})
            .Close();
        main_ = CreateDatabaseWith(folder_ / "main.mdb",
                                   {"CREATE TABLE db_all (FID LONG, Path TEXT(255))",
                                    "insert into db_all values (1, 'C:\\')"});
        Link("tree_dir", side_, "TREE_DIR");
    }
    void Link(const std::string& name, const std::string& file, const std::string& source) {
        TableDef link = main_.CreateTableDef(name);
        link.SetConnect(";Database=" + file);
        link.SetSourceTableName(source);
        main_.TableDefs().Append(link);
    }
    TempFolder folder_;
    std::string side_ = folder_ / "side.mdb";
    Database main_;
};

}  // namespace

// Writing through links (recordsets, inserts from local tables, updates, deletes) runs in every
// tree rebuild of the maintenance tests; here what only a link shows.
TEST_F(LinkTest, JoinsWithLocalTablesAndKeepsTheOtherFilesKeys) {
    EXPECT_EQ(main_.TableDefs().Item("TREE_DIR").Attributes() & dbAttachedTable, dbAttachedTable);
    EXPECT_EQ(Rows(main_,
                   "select db_all.FID, tree_dir.anzahl from db_all, tree_dir where db_all.Path = "
                   "tree_dir.Path"),
              "1|0\n");
    EXPECT_EQ(main_.Execute("insert into tree_dir (Path) values ('C:\\')"), 0);
    main_.Execute("insert into tree_dir (Path, anzahl) values ('D:\\', 2)");
    Database side = DBEngine::Instance().OpenDatabase(side_);
    EXPECT_EQ(Rows(side, "select count(*) as n from TREE_DIR"), "2\n");
}

TEST_F(LinkTest, AnotherHandleOnTheLinkedFileSeesWritesAtOnce) {
    Database side = DBEngine::Instance().OpenDatabase(side_);
    main_.Execute("update tree_dir set anzahl = 5");
    EXPECT_EQ(Rows(side, "select anzahl from TREE_DIR"), "5\n");
    side.Execute("update TREE_DIR set anzahl = 6");
    EXPECT_EQ(Rows(main_, "select anzahl from tree_dir"), "6\n");
}

TEST_F(LinkTest, MissingFileAndMissingSourceTableAreReportedOnUse) {
    Link("gone", folder_ / "nowhere.mdb", "gone");
    Link("lost", side_, "NO_SUCH_TABLE");  // appending checks nothing
    EXPECT_EQ(JetErrorOf([&] { main_.OpenRecordset("gone"); }), jet::kFileNotFound);
    EXPECT_EQ(JetErrorOf([&] { main_.Execute("delete from gone"); }), jet::kFileNotFound);
    EXPECT_EQ(JetErrorOf([&] { main_.OpenRecordset("select * from lost"); }),
              jet::kInputTableNotFound);
    EXPECT_EQ(JetErrorOf([&] { main_.OpenRecordset("lost"); }), jet::kInputTableNotFound);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "nowhere.mdb"));  // never created by a probe
    try {
        main_.OpenRecordset("gone");
    } catch (const JetError& e) {
        EXPECT_NE(std::string(e.what()).find("nowhere.mdb"), std::string::npos) << e.what();
    }
}

TEST_F(LinkTest, DeletingTheLinkLeavesTheOtherFileAlone) {
    main_.TableDefs().Delete("tree_dir");
    EXPECT_EQ(JetErrorOf([&] { main_.TableDefs().Item("tree_dir"); }), jet::kItemNotFound);
    Database side = DBEngine::Instance().OpenDatabase(side_);
    EXPECT_EQ(Rows(side, "select Path from TREE_DIR"), "C:\\\n");
    // A new link can take the name, and a local table can too.
    main_.Execute("CREATE TABLE tree_dir (x LONG)");
    EXPECT_EQ(main_.TableDefs().Item("tree_dir").Attributes(), 0);
}

TEST_F(LinkTest, LinkedTablesCanBeReadOnlyThroughAReadOnlyFile) {
    main_.Close();
    std::filesystem::permissions(
        side_, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    Database db = DBEngine::Instance().OpenDatabase(folder_ / "main.mdb");
    EXPECT_EQ(Rows(db, "select Path from tree_dir"), "C:\\\n");
    if (::geteuid() != 0) {  // root writes anyway
        EXPECT_EQ(JetErrorOf([&] { db.Execute("delete from tree_dir"); }), jet::kReadOnly);
    }
}
