// Row-by-row writing through one recordset: every row gets its own fields, defaults and
// checks although the recordset prepares its writing once, and a refused row undoes only
// itself.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/DBEngine.h"
#include "platform/DateConversion.h"
#include "platform/Recordset.h"
#include "platform/engine/JetTextOrder.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

class RecordsetWriting : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(
            folder_ / "w.mdb",
            {"CREATE TABLE songs (id COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, title TEXT(20) "
             "NOT NULL, artist TEXT(20) DEFAULT \"unbekannt\", plays LONG DEFAULT 0, note MEMO)",
             "CREATE UNIQUE INDEX ux ON songs (title)"});
    }
    void Rollback() {
        while (JetErrorOf([] { DBEngine::Instance().Workspaces(0).Rollback(); }) == 0) {
        }
    }
    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(RecordsetWriting, EachRowStoresTheFieldsAssignedToItAndDefaultsForTheRest) {
    struct Row {
        const char* title;
        std::optional<const char*> artist;  // nothing: not assigned
        std::optional<int> plays;
    };
    // The set of assigned fields changes from row to row and comes back.
    const Row rows[] = {
        {"A", "Kraftwerk", 3},      {"B", std::nullopt, std::nullopt},
        {"C", "Can", std::nullopt}, {"D", std::nullopt, 7},
        {"E", "Neu!", 1},
    };
    Recordset rs = db_.OpenRecordset("songs");
    for (const Row& row : rows) {
        rs.AddNew();
        rs["title"].SetValue(Value::FromText(row.title));
        if (row.artist) rs["artist"].SetValue(Value::FromText(*row.artist));
        if (row.plays) rs["plays"].SetValue(Value::FromInteger(*row.plays));
        rs.Update();
    }
    rs.Close();
    EXPECT_EQ(Rows(db_, "select id, title, artist, plays from songs order by id"),
              "1|A|Kraftwerk|3\n2|B|unbekannt|0\n3|C|Can|0\n4|D|unbekannt|7\n5|E|Neu!|1\n");
}

// Both write through the same prepared statement, which each keeps between its rows.
TEST_F(RecordsetWriting, TwoRecordsetsAddingInTurnEachWriteTheirOwnRows) {
    Recordset first = db_.OpenRecordset("songs");
    Recordset second = db_.OpenRecordset("songs");
    for (const char* title : {"1", "2"}) {
        for (Recordset* rs : {&first, &second}) {
            rs->AddNew();
            rs->Fields().Item("title").SetValue(
                Value::FromText((rs == &first ? "a" : "b") + std::string(title)));
            rs->Fields().Item("plays").SetValue(Value::FromInteger(rs == &first ? 1 : 2));
            rs->Update();
        }
    }
    first.Close();
    second.Close();
    EXPECT_EQ(Rows(db_, "select title, plays from songs order by id"), "a1|1\nb1|2\na2|1\nb2|2\n");
}

TEST_F(RecordsetWriting, EditsBetweenNewRowsChangeOnlyTheirOwnFields) {
    db_.Execute("insert into songs (title, artist, plays) values ('A', 'X', 1)");
    db_.Execute("insert into songs (title, artist, plays) values ('B', 'Y', 2)");
    Recordset rs = db_.OpenRecordset("select * from songs order by id");
    rs.Edit();
    rs["plays"].SetValue(Value::FromInteger(10));
    rs.Update();
    rs.AddNew();
    rs["title"].SetValue(Value::FromText("C"));
    rs.Update();
    rs.MoveNext();
    rs.Edit();
    rs["artist"].SetValue(Value::FromText("Z"));
    rs.Update();
    rs.Edit();
    rs.Update();  // nothing assigned: nothing written
    rs.Close();
    EXPECT_EQ(Rows(db_, "select title, artist, plays from songs order by id"),
              "A|X|10\nB|Z|2\nC|unbekannt|0\n");
}

TEST_F(RecordsetWriting, ARefusedRowInATransactionKeepsTheRowsBeforeItAndRollbackUndoesAll) {
    Workspace& ws = DBEngine::Instance().Workspaces(0);
    for (const bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        db_.Execute("delete from songs");
        ws.BeginTrans();
        Recordset rs = db_.OpenRecordset("songs");
        for (const char* title : {"A", "B", "A", "C"}) {
            rs.AddNew();
            rs["title"].SetValue(Value::FromText(title));
            (void)JetErrorOf([&] { rs.Update(); });
        }
        EXPECT_EQ(Rows(db_, "select title from songs order by id"), "A\nB\nC\n");
        rs.Close();
        if (commit) {
            ws.CommitTrans();
        } else {
            ws.Rollback();
        }
        EXPECT_EQ(Rows(db_, "select title from songs order by id"), commit ? "A\nB\nC\n" : "");
    }
    Rollback();
}

TEST_F(RecordsetWriting, WritingGoesOnAfterTheTableGainsAFieldAndANewRecordsetWritesIt) {
    Recordset before = db_.OpenRecordset("songs");
    before.AddNew();
    before["title"].SetValue(Value::FromText("A"));
    before.Update();

    db_.Execute("ALTER TABLE songs ADD COLUMN rating LONG");
    before.AddNew();
    before["title"].SetValue(Value::FromText("B"));
    before.Update();
    before.Close();

    Recordset after = db_.OpenRecordset("songs");
    after.AddNew();
    after["title"].SetValue(Value::FromText("C"));
    after["rating"].SetValue(Value::FromInteger(5));
    after.Update();
    after.Close();
    EXPECT_EQ(Rows(db_, "select title, rating from songs order by id"),
              "A|<null>\nB|<null>\nC|5\n");
}

TEST(StoredDates, TheStoredFormReadsAsEveryOtherFormAndRefusesImpossibleDates) {
    struct Case {
        const char* stored;
        const char* other;  // the same moment written another way; null: refused
    };
    const Case cases[] = {
        {"2005-03-04 08:09:10", "04.03.2005 08:09:10"},
        {"1899-12-29 06:00:00", "1899-12-29T06:00:00"},
        {"0100-01-01 00:00:00", "1/1/0100"},
        {"9999-12-31 23:59:59", "31.12.9999 23:59:59"},
        {"2004-02-29 00:00:00", "2004-02-29"},
        {"2005-03-04 12:30:00", "3/4/2005 12:30"},
        {"1899-12-30 12:30:00", "12:30"},
        {"2005-02-29 00:00:00", nullptr},
        {"0099-12-31 00:00:00", nullptr},
        {"2005-03-04 24:00:00", nullptr},
        {"2005-03-04 10:60:00", nullptr},
        {"2005-13-04 10:00:00", nullptr},
        {"2005-03-04 1O:00:00", nullptr},
    };
    for (const char* nonsense : {"", "hello", "12", "31.13.2005"})
        EXPECT_FALSE(ParseDateText(nonsense)) << nonsense;
    for (const Case& c : cases) {
        const std::optional<double> stored = ParseDateText(c.stored);
        if (!c.other) {
            EXPECT_FALSE(stored) << c.stored;
            continue;
        }
        const std::optional<double> other = ParseDateText(c.other);
        ASSERT_TRUE(stored && other) << c.stored;
        EXPECT_DOUBLE_EQ(*stored, *other) << c.stored;
        EXPECT_EQ(FormatStoredDate(*stored), c.stored);
    }
    // The last half second of 9999 stays in 9999 instead of rounding into a year that reads
    // back as nothing.
    EXPECT_EQ(FormatStoredDate(2958465.9999999), "9999-12-31 23:59:59");
    EXPECT_TRUE(ParseDateText(FormatStoredDate(2958465.9999999)));
}

TEST(JetTextOrder, ASharedAsciiStartNeverChangesTheOrderOfWhatFollows) {
    // Each pair is compared alone and behind ASCII starts that match with and without case.
    const std::vector<std::string> letters = {"a",  "A", "e", "é", "É", "ß",    "s",
                                              "ss", "z", " ", "Ä", "b", "\xE4", ""};
    std::mt19937 random(19);
    std::uniform_int_distribution<size_t> pick(0, letters.size() - 1);
    std::uniform_int_distribution<int> length(0, 4);
    const auto text = [&] {
        std::string s;
        for (int n = length(random); n > 0; --n) s += letters[pick(random)];
        return s;
    };
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (int i = 0; i < 3000; ++i) {
        const std::string a = text(), b = text();
        const int alone = sign(JetTextOrder::Compare(a, b));
        EXPECT_EQ(sign(JetTextOrder::Compare(b, a)), -alone) << a << " / " << b;
        EXPECT_EQ(sign(JetTextOrder::Compare("Die " + a, "DIE " + b)), alone) << a << " / " << b;
        EXPECT_EQ(sign(JetTextOrder::Compare("x" + a, "X" + b)), alone) << a << " / " << b;
    }
    // Where the ASCII start differs, it decides alone; where one text ends, it comes first.
    EXPECT_EQ(sign(JetTextOrder::Compare("Abba Ö", "abbz A")), -1);
    EXPECT_EQ(sign(JetTextOrder::Compare("Die Arzt", "die Ärzte")), -1);
    EXPECT_EQ(sign(JetTextOrder::Compare("ABC", "abc")), 0);
    EXPECT_EQ(sign(JetTextOrder::Compare("ab", "ab\x01")), -1);
}
