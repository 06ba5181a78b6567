#include <gtest/gtest.h>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

// A small library with the columns the maintenance statements touch.
class ExecuteTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(
            folder_ / "lib.mdb",
            {"CREATE TABLE genre (genre_id LONG CONSTRAINT PrimaryKey PRIMARY KEY, name TEXT(50))",
             "CREATE TABLE db_all (FID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, Titel TEXT(255),"
             " Interpret TEXT(255), Genre_ID LONG, Path TEXT(255), DEL YESNO, Tempo TEXT(50),"
             " DTSImport DATETIME, DriveName TEXT(50), DriveTyp SHORT)",
             "CREATE INDEX Path ON db_all (Path)",
             "CREATE TABLE tree_genre (Name TEXT(255) CONSTRAINT PrimaryKey PRIMARY KEY, anzahl LONG,"
             " imgkey TEXT(50), tstamp DOUBLE, favorit YESNO DEFAULT False)",
             "CREATE TABLE tree_Tempo (name TEXT(255) CONSTRAINT PrimaryKey PRIMARY KEY, anzahl LONG,"
             " imgkey TEXT(50), tstamp DOUBLE, favorit YESNO DEFAULT False)",
             "CREATE TABLE tree_importdate (name TEXT(255), anzahl LONG, imgkey TEXT(50))",
             "CREATE TABLE pl_name (NID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, name TEXT(100),"
             " isplay YESNO, activ YESNO, grid LONG, anzahl LONG DEFAULT 0, sicherung YESNO DEFAULT False)",
             "CREATE TABLE short (code TEXT(3) CONSTRAINT PrimaryKey PRIMARY KEY)"});
        db_.SetAllowZeroLength("db_all", "Tempo", true);
        for (const char* g : {"1, 'Rock'", "2, 'Pop'", "3, 'Jazz'"})
            db_.Execute(std::string("insert into genre values (") + g + ")");
        const char* titles[] = {
            "'Eins', 'Die Ärzte', 1, 'C:\\Music\\Rock\\', false, 'schnell', #2005-03-03 23:59:59#",
            "'Zwei', 'Guns N'' Roses', 1, 'C:\\Music\\Rock\\', false, 'schnell', #2005-03-04 00:00:00#",
            "'Drei', 'Madonna', 2, 'C:\\Music\\Pop\\', false, '', #2005-03-04 10:00:00#",
            "'Vier', 'Miles', 3, 'C:\\Music_Jazz\\', true, 'langsam', #2005-03-10 09:00:00#",
            "'Fünf', null, 99, 'D:\\', false, null, null",
        };
        for (const char* t : titles) {
            db_.Execute(std::string("insert into db_all (Titel, Interpret, Genre_ID, Path, DEL, Tempo,"
                                    " DTSImport) values (") + t + ")");
        }
    }
    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(ExecuteTest, InsertValuesTakesJetLiteralsAndDefaults) {
    EXPECT_EQ(db_.Execute("insert into pl_name (name,isplay,activ,grid) values ('Jingleliste',true,true,-1)"), 1);
    EXPECT_EQ(Rows(db_, "select name, isplay, activ, grid, anzahl, sicherung from pl_name"),
              "Jingleliste|-1|-1|-1|0|0\n");
    EXPECT_EQ(Rows(db_, "select count(*) as anz from pl_name where isplay=true and sicherung=false"), "1\n");
}

TEST_F(ExecuteTest, GroupedInsertSelectFillsATreeTable) {
    db_.Execute(
        "INSERT INTO tree_Tempo ( name, anzahl, imgkey ) SELECT db_all.Tempo AS name, Count(*) AS anzahl, "
        "'Tree.Tempo' AS imgkey From db_all Where db_all.Tempo <> '' And del = False GROUP BY db_all.Tempo "
        "ORDER BY db_all.Tempo ");
    EXPECT_EQ(Rows(db_, "select name, anzahl, imgkey, favorit from tree_Tempo"), "schnell|2|Tree.Tempo|0\n");
}

TEST_F(ExecuteTest, UpdatesDeletesAndJetComparisons) {
    db_.Execute("insert into tree_genre (Name, anzahl) values ('Rock', 2)");
    db_.Execute("insert into tree_genre (Name, anzahl) values ('Pop', 1)");
    EXPECT_EQ(db_.Execute("update tree_genre set tstamp=730 , favorit=true where name='rock' "), 1);
    EXPECT_EQ(Rows(db_, "select Name, tstamp, favorit from tree_genre where favorit=true"), "Rock|730|-1\n");
    EXPECT_EQ(Rows(db_, "select count(*) as anz from tree_genre where favorit<>true"), "1\n");
    EXPECT_EQ(Rows(db_, "select sum(anzahl) as anz from tree_genre"), "3\n");
    EXPECT_EQ(db_.Execute("delete from tree_genre"), 2);
    EXPECT_EQ(Rows(db_, "select count(*) as anz from tree_genre"), "0\n");
}

TEST_F(ExecuteTest, LikeUsesJetWildcardsWithPathsAsTheyAre) {
    // '_' is no wildcard in Jet: C:\Music_Jazz\ must not match C:\Music?Jazz style patterns
    // written for SQLite, and backslashes are plain characters.
    EXPECT_EQ(Rows(db_, "select count(*) as anz from db_all where Path like 'C:\\Music\\*'"), "3\n");
    EXPECT_EQ(Rows(db_, "select count(*) as anz from db_all where Path like 'c:\\music_*'"), "1\n");
    EXPECT_EQ(Rows(db_, "select count(*) as anz from db_all where Path like '?:\\*'"), "5\n");
    EXPECT_EQ(Rows(db_, "select Titel from db_all where Titel like '[DE]*' order by Titel"), "Drei\nEins\n");
    EXPECT_EQ(Rows(db_, "select Titel from db_all where Interpret like '*N'' Roses'"), "Zwei\n");
}

TEST_F(ExecuteTest, SkipsOnlyTheRowsThatBreakTheTarget) {
    // Too long for TEXT(3), a duplicate of an earlier row, and a Null key are refused;
    // the other rows arrive and no error is raised.
    db_.Execute("insert into short (code) values ('abc')");
    const long inserted = db_.Execute(
        "insert into short (code) select left(Titel, 3) from db_all union all select 'abc' from genre "
        "union all select 'toolong' from genre union all select null from genre");
    EXPECT_EQ(inserted, 5);  // Ein, Zwe, Dre, Vie, Fün
    EXPECT_EQ(Rows(db_, "select count(*) as anz from short"), "6\n");
}

TEST_F(ExecuteTest, StatementsThatCannotRunRaiseJetErrors) {
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("delete from nowhere"); }), jet::kInputTableNotFound);
    EXPECT_EQ(JetErrorOf([&] { db_.OpenRecordset("select * from nowhere"); }), jet::kInputTableNotFound);
    EXPECT_EQ(JetErrorOf([&] { db_.OpenRecordset("nowhere"); }), jet::kInputTableNotFound);
    EXPECT_EQ(JetErrorOf([&] { db_.OpenRecordset("select nocolumn from db_all"); }), jet::kTooFewParameters);
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("update db_all set nocolumn = 1"); }), jet::kTooFewParameters);
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("select * from db_all"); }), jet::kCannotExecuteSelect);
    EXPECT_NE(JetErrorOf([&] { db_.Execute("selec * frm db_all"); }), 0);
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("CREATE TABLE genre (x LONG)"); }), jet::kTableExists);
}

TEST_F(ExecuteTest, DdlCreatesTypedTablesAndIndexes) {
    db_.Execute("CREATE TABLE t (a TEXT(10) NOT NULL, b SHORT DEFAULT 5, c DOUBLE, d DATETIME, e MEMO, "
                "f BYTE, g CURRENCY, h SINGLE, i YESNO, CONSTRAINT pk PRIMARY KEY (a, b))");
    db_.Execute("CREATE UNIQUE INDEX ux ON t (c DESC)");
    db_.Execute("ALTER TABLE t ADD COLUMN j LONG");
    TableDef def = db_.TableDefs().Item("T");
    ASSERT_EQ(def.Fields().Count(), 10u);
    const int types[] = {dbText, dbInteger, dbDouble, dbDate, dbMemo, dbByte, dbCurrency, dbSingle, dbBoolean, dbLong};
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(def.Fields()[i].Type(), types[i]) << i;
    EXPECT_EQ(def.Fields()[0].Size(), 10);
    EXPECT_TRUE(def.Fields()[0].Required());
    EXPECT_EQ(def.Fields()[1].DefaultValue(), "5");
    ASSERT_EQ(def.Indexes().Count(), 2u);
    EXPECT_TRUE(def.Indexes().Item("pk").Primary());
    EXPECT_TRUE(def.Indexes().Item("ux").Unique());
    EXPECT_TRUE(def.Indexes().Item("ux").Fields()[0].Descending);
    db_.Execute("DROP INDEX ux ON t");
    EXPECT_EQ(db_.TableDefs().Item("t").Indexes().Count(), 1u);
    db_.Execute("DROP TABLE t");
    EXPECT_EQ(JetErrorOf([&] { db_.TableDefs().Item("t"); }), jet::kItemNotFound);
}
