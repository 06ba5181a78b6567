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
             " DTSImport DATETIME)",
             "CREATE INDEX Path ON db_all (Path)",
             "CREATE TABLE tree_genre (Name TEXT(255) CONSTRAINT PrimaryKey PRIMARY KEY,"
             " anzahl LONG, imgkey TEXT(50), tstamp DOUBLE, favorit YESNO DEFAULT False)",
             "CREATE TABLE short (code TEXT(3) CONSTRAINT PrimaryKey PRIMARY KEY)"});
        db_.SetAllowZeroLength("db_all", "Tempo", true);
        for (const char* g : {"1, 'Rock'", "2, 'Pop'", "3, 'Jazz'"})
            db_.Execute(std::string("insert into genre values (") + g + ")");
        const char* titles[] = {
            "'Eins', 'Die Ärzte', 1, 'C:\\Music\\Rock\\', false, 'schnell', #2005-03-03 23:59:59#",
            "'Zwei', 'Guns N'' Roses', 1, 'C:\\Music\\Rock\\', false, 'schnell', #2005-03-04 "
            "00:00:00#",
            "'Drei', 'Madonna', 2, 'C:\\Music\\Pop\\', false, '', #2005-03-04 10:00:00#",
            "'Vier', 'Miles', 3, 'C:\\Music_Jazz\\', true, 'langsam', #2005-03-10 09:00:00#",
            "'Fünf', null, 99, 'D:\\', false, null, null",
        };
        for (const char* t : titles) {
            db_.Execute(
                std::string("insert into db_all (Titel, Interpret, Genre_ID, Path, DEL, Tempo,"
                            " DTSImport) values (") +
                t + ")");
        }
    }
    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(ExecuteTest, SkipsOnlyTheRowsThatBreakTheTarget) {
    // Too long for TEXT(3), a duplicate of an earlier row, and a Null key are refused;
    // the other rows arrive and no error is raised.
    db_.Execute("insert into short (code) values ('abc')");
    const long inserted = db_.Execute(
        "insert into short (code) select left(Titel, 3) from db_all union all select 'abc' from "
        "genre "
        "union all select 'toolong' from genre union all select null from genre");
    EXPECT_EQ(inserted, 5);  // Ein, Zwe, Dre, Vie, Fün
    EXPECT_EQ(Rows(db_, "select count(*) as anz from short"), "6\n");
}

TEST_F(ExecuteTest, StatementsThatCannotRunRaiseJetErrors) {
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("delete from nowhere"); }), jet::kInputTableNotFound);
    EXPECT_EQ(JetErrorOf([&] { db_.OpenRecordset("select * from nowhere"); }),
              jet::kInputTableNotFound);
    EXPECT_EQ(JetErrorOf([&] { db_.OpenRecordset("nowhere"); }), jet::kInputTableNotFound);
    EXPECT_EQ(JetErrorOf([&] { db_.OpenRecordset("select nocolumn from db_all"); }),
              jet::kTooFewParameters);
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("update db_all set nocolumn = 1"); }),
              jet::kTooFewParameters);
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("select * from db_all"); }), jet::kCannotExecuteSelect);
    EXPECT_NE(JetErrorOf([&] { db_.Execute("selec * frm db_all"); }), 0);
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("CREATE TABLE genre (x LONG)"); }), jet::kTableExists);
}

// The parser's reading of every type and clause is tested with the translator; here the
// statements reach the catalog.
TEST_F(ExecuteTest, DdlCreatesAltersAndDropsTablesAndIndexes) {
    db_.Execute(
        "CREATE TABLE t (a TEXT(10) NOT NULL, b SHORT DEFAULT 5, c DOUBLE, "
        "CONSTRAINT pk PRIMARY KEY (a, b))");
    db_.Execute("CREATE UNIQUE INDEX ux ON t (c DESC)");
    db_.Execute("ALTER TABLE t ADD COLUMN j LONG");
    TableDef def = db_.TableDefs().Item("T");
    ASSERT_EQ(def.Fields().Count(), 4u);
    EXPECT_EQ(def.Fields()[1].Type(), dbInteger);
    EXPECT_EQ(def.Fields()[3].Type(), dbLong);
    EXPECT_TRUE(def.Fields()[0].Required());
    EXPECT_EQ(def.Fields()[1].DefaultValue(), "5");
    EXPECT_TRUE(def.Indexes().Item("pk").Primary());
    EXPECT_TRUE(def.Indexes().Item("ux").Fields()[0].Descending);
    db_.Execute("DROP INDEX ux ON t");
    EXPECT_EQ(db_.TableDefs().Item("t").Indexes().Count(), 1u);
    db_.Execute("DROP TABLE t");
    EXPECT_EQ(JetErrorOf([&] { db_.TableDefs().Item("t"); }), jet::kItemNotFound);
}

namespace {

// A table of every field type that converts, and the source rows that SQL copies into it.
class ExecuteConversionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(
            folder_ / "conv.mdb",
            {"CREATE TABLE typed (id LONG NOT NULL, l LONG, i SHORT, bt BYTE, b YESNO, d DATETIME,"
             " c CURRENCY, s SINGLE, t TEXT(5), m MEMO, CONSTRAINT pk PRIMARY KEY (id))",
             "CREATE TABLE source (id LONG, v TEXT(50), x DOUBLE)"});
        db_.SetAllowZeroLength("source", "v", true);
        db_.SetAllowZeroLength("typed", "m", true);
    }
    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(ExecuteConversionTest, WrittenValuesAreConvertedAsAnAssignmentWould) {
    struct Case {
        const char* field;
        const char* value;     // Jet SQL expression
        const char* expected;  // as read back, "<null>" for Null
    };
    const Case cases[] = {
        {"l", "120.5", "120"},  // Jet rounds half to even
        {"l", "121.5", "122"},
        {"l", "'77'", "77"},
        {"l", "'abc'", "<null>"},  // no conversion: Null, the row stays
        {"i", "40000", "<null>"},  // out of the field's range
        {"b", "5", "-1"},
        {"d", "'3/4/2005'", "2005-03-04 00:00:00"},
        {"d", "'no date'", "<null>"},
        {"c", "1.23456", "1.2346"},
        {"t", "12345", "12345"},
        {"m", "1.5", "1.5"},
    };
    int id = 0;
    for (const Case& c : cases) {
        const std::string n = std::to_string(++id);
        // The same value three ways: insert ... values, insert ... select, update.
        EXPECT_EQ(db_.Execute(std::string("insert into typed (id, ") + c.field + ") values (" + n +
                              ", " + c.value + ")"),
                  1)
            << c.field << " = " << c.value;
        EXPECT_EQ(Rows(db_, std::string("select ") + c.field + " from typed where id = " + n),
                  std::string(c.expected) + "\n")
            << "values: " << c.field << " = " << c.value;
        db_.Execute("delete from typed");
        db_.Execute("delete from source");
        db_.Execute("insert into source (id, v) values (" + n + ", " + c.value + ")");
        EXPECT_EQ(db_.Execute(std::string("insert into typed (id, ") + c.field +
                              ") select id, v from source"),
                  1);
        EXPECT_EQ(Rows(db_, std::string("select ") + c.field + " from typed"),
                  std::string(c.expected) + "\n")
            << "select: " << c.field << " = " << c.value;
        db_.Execute("delete from typed");
        db_.Execute("insert into typed (id) values (" + n + ")");
        EXPECT_EQ(db_.Execute(std::string("update typed set ") + c.field + " = " + c.value), 1);
        EXPECT_EQ(Rows(db_, std::string("select ") + c.field + " from typed"),
                  std::string(c.expected) + "\n")
            << "update: " << c.field << " = " << c.value;
        db_.Execute("delete from typed");
    }
}

TEST_F(ExecuteConversionTest, ConvertedValuesAreFoundAsTheirType) {
    db_.Execute("insert into source (id, v, x) values (1, '3/4/2005', 5)");
    db_.Execute("insert into source (id, v, x) values (2, '0.1', 0)");
    db_.Execute("insert into typed (id, d, b, s) select id, v, x, v from source where id = 1");
    db_.Execute("insert into typed (id, s) select id, v from source where id = 2");
    EXPECT_EQ(Rows(db_, "select id from typed where d = #3/4/2005#"), "1\n");
    EXPECT_EQ(Rows(db_, "select id from typed where b = true"), "1\n");
    EXPECT_EQ(
        Rows(db_, "select id from typed where b = -1 and d >= #2005-03-04# and d < #2005-03-05#"),
        "1\n");
    // A Single holds its float: 0.1 stored as a Single is not the Double 0.1.
    EXPECT_EQ(Rows(db_, "select count(*) as n from typed where s = 0.1"), "0\n");
    EXPECT_EQ(Rows(db_, "select count(*) as n from typed where s = csng(0.1)"), "1\n");
    db_.Execute("update typed set b = id - 1, d = '12/31/2006' where id = 2");
    EXPECT_EQ(Rows(db_, "select id from typed where b = true and d = #12/31/2006# order by id"),
              "2\n");
}

TEST_F(ExecuteConversionTest, ANullThatBreaksARequiredFieldOrKeyLeavesTheRowOut) {
    db_.Execute("insert into source (id, v) values (1, 'one')");
    db_.Execute("insert into source (id, v) values (2, '2')");
    db_.Execute("insert into source (id, v) values (3, '3')");
    // 'one' cannot become the Long key: Null breaks the required key, that row is left out.
    EXPECT_EQ(db_.Execute("insert into typed (id, t) select v, v from source"), 2);
    EXPECT_EQ(Rows(db_, "select id, t from typed order by id"), "2|2\n3|3\n");
    EXPECT_EQ(db_.LastExecuteRefusals().count, 1);
    EXPECT_EQ(db_.LastExecuteRefusals().firstErrorNumber, jet::kRequiredIsNull);
}

TEST_F(ExecuteConversionTest, ZeroLengthTextIsLeftOutWhereTheFieldRefusesIt) {
    db_.Execute("insert into typed (id, t, m) values (1, 'a', 'a')");
    EXPECT_EQ(db_.Execute("insert into typed (id, t) values (2, '')"), 0);
    EXPECT_EQ(db_.LastExecuteRefusals().count, 1);
    EXPECT_EQ(db_.LastExecuteRefusals().firstErrorNumber, jet::kZeroLengthString);
    EXPECT_NE(db_.LastExecuteRefusals().firstErrorText.find("'t'"), std::string::npos);
    EXPECT_EQ(db_.Execute("update typed set t = ''"), 0);
    EXPECT_EQ(db_.Execute("insert into typed (id, t) select 3, v from source"), 0);
    EXPECT_EQ(Rows(db_, "select id, t from typed"), "1|a\n");
    // A field that allows zero-length text takes it.
    EXPECT_EQ(db_.Execute("update typed set m = ''"), 1);
    EXPECT_EQ(Rows(db_, "select count(*) as n from typed where m = ''"), "1\n");
    EXPECT_EQ(
        JetErrorOf([&] { db_.Execute("insert into typed (id, t) values (4, '')", dbFailOnError); }),
        jet::kZeroLengthString);
}

TEST_F(ExecuteTest, FailOnErrorUndoesTheWholeStatement) {
    db_.Execute("insert into short (code) values ('Ein')");
    const std::string copy = "insert into short (code) select left(Titel, 3) from db_all";
    EXPECT_EQ(JetErrorOf([&] { db_.Execute(copy, dbFailOnError); }), jet::kDuplicateKey);
    EXPECT_EQ(Rows(db_, "select count(*) as anz from short"), "1\n");
    EXPECT_EQ(db_.RecordsAffected(), 0);

    EXPECT_EQ(JetErrorOf([&] {
                  db_.Execute(
                      "update db_all set Tempo = 'far too long for the field "
                      "that holds fifty characters at most'",
                      dbFailOnError);
              }),
              jet::kFieldTooSmall);
    EXPECT_EQ(Rows(db_, "select count(*) as anz from db_all where Tempo = 'schnell'"), "2\n");

    // Without the option the same statement applies what it can and says what it left out.
    EXPECT_EQ(db_.Execute(copy), 4);
    EXPECT_EQ(db_.RecordsAffected(), 4);
    const ExecuteRefusals& refused = db_.LastExecuteRefusals();
    EXPECT_EQ(refused.count, 1);
    EXPECT_EQ(refused.firstErrorNumber, jet::kDuplicateKey);
    EXPECT_NE(refused.firstErrorText.find("duplicate values"), std::string::npos);
    EXPECT_EQ(Rows(db_, "select count(*) as anz from short"), "5\n");
}

TEST_F(ExecuteTest, RecordsAffectedFollowsEveryExecute) {
    db_.Execute("insert into tree_genre (Name, anzahl) select name, genre_id from genre");
    EXPECT_EQ(db_.RecordsAffected(), 3);
    db_.Execute("update tree_genre set anzahl = anzahl + 1 where anzahl > 1");
    EXPECT_EQ(db_.RecordsAffected(), 2);
    db_.Execute("delete from tree_genre where Name = 'Jazz'");
    EXPECT_EQ(db_.RecordsAffected(), 1);
    EXPECT_EQ(db_.LastExecuteRefusals().count, 0);
    db_.Execute("CREATE INDEX anz ON tree_genre (anzahl)");
    EXPECT_EQ(db_.RecordsAffected(), 0);
    EXPECT_EQ(
        JetErrorOf([&] { db_.Execute("insert into tree_genre (Name) select 'x', 1 from genre"); }),
        jet::kValueCountMismatch);
}

TEST_F(ExecuteTest, InsertSelectFromItsOwnTableCopiesEachRowOnce) {
    db_.Execute("insert into tree_genre (Name, anzahl) select name, genre_id from genre");
    EXPECT_EQ(db_.Execute("insert into tree_genre (Name, anzahl) select Name & ' 2', anzahl + 10 "
                          "from tree_genre"),
              3);
    EXPECT_EQ(Rows(db_, "select count(*) as anz, sum(anzahl) as s from tree_genre"), "6|42\n");
}

// SQLite reads a statement only up to a NUL byte; a text literal holding one used to cut the
// statement short (error 3000) instead of storing the whole text.
TEST_F(ExecuteTest, ATextLiteralWithANulByteIsStoredWhole) {
    const std::string title("A\0B'C", 5);
    EXPECT_EQ(
        db_.Execute("insert into db_all (Titel) values ('" + std::string("A\0B''C", 6) + "')"), 1);
    Recordset rs = db_.OpenRecordset("select Titel from db_all where Titel like 'A*'");
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs["Titel"].Value().AsText(), title);
}
