// Text comparison in Jet's general sort order: case never counts, accents count for equality
// and place a letter next to its base letter in sorting.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <utility>

#include "platform/DBEngine.h"
#include "platform/engine/JetTextOrder.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

class TextComparison : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(
            folder_ / "lib.mdb",
            {"CREATE TABLE db_all (FID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY,"
             " Interpret TEXT(255), Titel TEXT(255))",
             "CREATE INDEX Interpret ON db_all (Interpret)",
             "CREATE TABLE tree_interpret (Name TEXT(255) CONSTRAINT PrimaryKey PRIMARY KEY,"
             " anzahl LONG)"});
        for (const char* row : {"'Die Ärzte', 'Schrei nach Liebe'", "'DIE ÄRZTE', 'Westerland'",
                                "'Björk', 'Army of Me'", "'Bjork', 'Fake'", "'Bach', 'Air'",
                                "'Zappa', 'Peaches'", "'ДДТ', 'Осень'", "'ддт', 'Дождь'"}) {
            db_.Execute(std::string("insert into db_all (Interpret, Titel) values (") + row + ")");
        }
    }

    std::string Titles(const std::string& where) {
        return Rows(db_, "select Titel from db_all where " + where + " order by FID");
    }

    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST(JetTextOrder, ComparesEveryLetterWithoutCaseAndAccentsAfterBaseLetters) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        // Case is ignored in every script the table covers.
        {"Björk", "BJÖRK", 0},
        {"Ŝtěpán Łukasz", "ŜTĚPÁN ŁUKASZ", 0},  // Latin Extended-A
        {"ǅemal Ǝ", "ǆemal ǝ", 0},              // Latin Extended-B
        {"Ελλάδα σοφός", "ΕΛΛΆΔΑ ΣΟΦΌΣ", 0},    // Greek, final sigma too
        {"Ёлка Київ", "ЁЛКА КИЇВ", 0},          // Cyrillic
        // Accents count for equality...
        {"Bjork", "Björk", -1},
        {"Strasse", "Straße", -1},
        // ...but sort a letter next to its base letter, not after z.
        {"Ärzte", "Bach", -1},
        {"Zappa", "Ärzte", 1},
        {"Øystein", "Pär", -1},
        {"Straße", "Strasz", -1},
        // Й is a letter of its own, after И.
        {"Йога", "Иб", 1},
        // ASCII text as SQLite's NOCASE compares it.
        {"ab", "AB ", -1},
        // Bytes that are not UTF-8 are Latin-1 letters.
        {"X\xC4Y", "x\xE4y", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(JetTextOrder::Compare(c.a, c.b)), c.expected) << c.a << " / " << c.b;
        EXPECT_EQ(Sign(JetTextOrder::Compare(c.b, c.a)), -c.expected) << c.b << " / " << c.a;
    }
}

TEST(JetTextOrder, UpperCaseIsTheCapitalOfTheSameLetter) {
    const std::pair<char32_t, char32_t> cases[] = {
        {U'ä', U'Ä'}, {U'ÿ', U'Ÿ'}, {U'ǆ', U'Ǆ'}, {U'ǅ', U'Ǆ'}, {U'ς', U'Σ'}, {U'ё', U'Ё'},
        {U'ß', U'ß'}, {U'Ⱥ', U'Ⱥ'}, {U'ⱥ', U'ⱥ'}, {U'ṡ', U'Ṡ'}, {U'7', U'7'},
    };
    for (const auto& [small, capital] : cases)
        EXPECT_EQ(JetTextOrder::UpperCase(small), capital) << static_cast<uint32_t>(small);
}

TEST_F(TextComparison, ComparisonsIgnoreTheCaseOfEveryLetterButNotAccents) {
    EXPECT_EQ(Titles("Interpret = 'BJÖRK'"), "Army of Me\n");
    EXPECT_EQ(Titles("Interpret = 'bjork'"), "Fake\n");
    EXPECT_EQ(Titles("Interpret = 'die ärzte'"), "Schrei nach Liebe\nWesterland\n");
    EXPECT_EQ(Titles("Interpret = 'Ддт'"), "Осень\nДождь\n");
    EXPECT_EQ(Titles("Interpret < 'B' or Interpret > 'Zz'"), "Осень\nДождь\n");
    EXPECT_EQ(Titles("Interpret > 'Bjork' and Interpret < 'C'"), "Army of Me\n");
    EXPECT_EQ(Titles("Interpret like 'dIE ä*'"), "Schrei nach Liebe\nWesterland\n");
    EXPECT_EQ(Titles("Interpret like 'BJÖ?K'"), "Army of Me\n");
    EXPECT_EQ(Titles("Interpret like 'д*'"), "Осень\nДождь\n");
    EXPECT_EQ(Titles("Interpret not like 'b*' and Interpret not like 'д*'"),
              "Schrei nach Liebe\nWesterland\nPeaches\n");
}

TEST_F(TextComparison, SortingPlacesAccentedLettersWithTheirBaseLetter) {
    EXPECT_EQ(Rows(db_, "select Interpret from db_all order by Interpret, FID"),
              "Bach\nBjork\nBjörk\nDie Ärzte\nDIE ÄRZTE\nZappa\nДДТ\nддт\n");
    db_.Execute("delete from db_all where Titel = 'Дождь'");
    db_.Execute("update db_all set Interpret = 'Ärzte' where Interpret = 'die ärzte'");
    EXPECT_EQ(Rows(db_, "select distinct Interpret from db_all order by Interpret desc"),
              "ДДТ\nZappa\nBjörk\nBjork\nBach\nÄrzte\n");
}

TEST_F(TextComparison, GroupingAndDistinctMakeOneValueOfCaseVariants) {
    EXPECT_EQ(Rows(db_, "select count(*) from (select distinct Interpret from db_all)"), "6\n");
    db_.Execute(
        "insert into tree_interpret (Name, anzahl) select Interpret, count(*) from db_all"
        " group by Interpret");
    EXPECT_EQ(Rows(db_, "select anzahl from tree_interpret order by Name"), "1\n1\n1\n2\n1\n2\n");
    EXPECT_EQ(Rows(db_, "select count(*) from tree_interpret where Name = 'die ärzte'"), "1\n");
}

TEST_F(TextComparison, UniqueIndexRefusesACaseVariantThroughRecordsetsAndSql) {
    db_.Execute("insert into tree_interpret (Name, anzahl) values ('Björk', 1)");
    EXPECT_EQ(db_.Execute("insert into tree_interpret (Name, anzahl) values ('BJÖRK', 2)"), 0);
    EXPECT_EQ(db_.Execute("insert into tree_interpret (Name, anzahl) values ('Bjork', 3)"), 1);

    Recordset rs = db_.OpenRecordset("tree_interpret");
    rs.AddNew();
    rs["Name"].SetValue(Value::FromText("björk"));
    EXPECT_EQ(JetErrorOf([&] { rs.Update(); }), 3022);
    rs.CancelUpdate();
    rs.Close();
    EXPECT_EQ(Rows(db_, "select Name, anzahl from tree_interpret order by anzahl"),
              "Björk|1\nBjork|3\n");
}

TEST_F(TextComparison, PlainSqliteReadsRowsButNeedsTheCollationToCompare) {
    db_.Close();
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2((folder_ / "lib.mdb").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    auto count = [raw](const char* sql) {
        sqlite3_stmt* s = nullptr;
        int rows = -1;
        if (sqlite3_prepare_v2(raw, sql, -1, &s, nullptr) == SQLITE_OK) {
            rows = 0;
            while (sqlite3_step(s) == SQLITE_ROW) ++rows;
        }
        sqlite3_finalize(s);
        return rows;
    };
    EXPECT_EQ(count("select * from db_all"), 8);
    EXPECT_EQ(count("select * from db_all where Interpret = 'Björk'"), -1);
    EXPECT_NE(std::string(sqlite3_errmsg(raw)).find("JET_GENERAL"), std::string::npos);
    JetTextOrder::Register(raw);
    EXPECT_EQ(count("select * from db_all where Interpret = 'BJÖRK'"), 1);
    sqlite3_close(raw);
}

TEST(TextComparisonOfOlderFiles, NocaseColumnsKeepComparingAsciiLettersWithoutCase) {
    TempFolder folder;
    const std::string path = folder / "older.mdb";
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
        sqlite3_exec(raw,
                     "CREATE TABLE artist (name TEXT COLLATE NOCASE);"
                     "CREATE UNIQUE INDEX artist_name ON artist (name);"
                     "INSERT INTO artist VALUES ('Madonna'), ('Björk'), ('BJÖRK');",
                     nullptr, nullptr, nullptr);
        sqlite3_close(raw);
    }
    Database db = DBEngine::Instance().OpenDatabase(path);
    EXPECT_EQ(Rows(db, "select name from artist where name = 'MADONNA'"), "Madonna\n");
    EXPECT_EQ(Rows(db, "select count(*) from artist where name like 'bjö*'"), "2\n");
    EXPECT_EQ(db.Execute("insert into artist (name) values ('madonna')"), 0);
    EXPECT_EQ(db.Execute("insert into artist (name) values ('Bach')"), 1);
}
