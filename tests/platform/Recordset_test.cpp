#include "platform/Recordset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

class RecordsetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(
            folder_ / "t.mdb",
            {"CREATE TABLE pl_name (NID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, name TEXT(100),"
             " isplay YESNO, anzahl LONG DEFAULT 0, sicherung YESNO DEFAULT False, UpdateTime "
             "DATETIME)",
             "CREATE TABLE people (id LONG NOT NULL, name TEXT(5) NOT NULL, note MEMO)",
             "CREATE UNIQUE INDEX ux ON people (id)"});
    }
    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(RecordsetTest, AddNewAppliesDefaultsAndCountsUp) {
    {
        Recordset rs = db_.OpenRecordset("pl_name");
        EXPECT_TRUE(rs.Eof());
        for (const char* name : {"Party", "Oldies"}) {
            rs.AddNew();
            EXPECT_EQ(rs["anzahl"].Value().AsInteger(), 0);  // defaults are visible before Update
            EXPECT_TRUE(rs["NID"].Value().IsNull());
            rs["name"].SetValue(Value::FromText(name));
            rs.Update();
        }
        // A key copied from elsewhere keeps its value; the counter goes on after it.
        rs.AddNew();
        rs["NID"].SetValue(Value::FromInteger(10));
        rs["name"].SetValue(Value::FromText("Neu"));
        rs.Update();
        rs.AddNew();
        rs["name"].SetValue(Value::FromText("Danach"));
        rs.Update();
    }
    EXPECT_EQ(Rows(db_, "select NID, name, anzahl, sicherung from pl_name order by NID"),
              "1|Party|0|0\n2|Oldies|0|0\n10|Neu|0|0\n11|Danach|0|0\n");
}

TEST_F(RecordsetTest, WalksRowsWithTypedFieldsInColumnOrder) {
    db_.Execute(
        "insert into pl_name (name, isplay, UpdateTime) values ('A', true, #2005-03-04 10:11:12#)");
    db_.Execute("insert into pl_name (name, isplay) values ('B', false)");
    Recordset rs = db_.OpenRecordset("select * from pl_name order by name");
    auto fields = rs.Fields();
    ASSERT_EQ(fields.Count(), 6u);
    EXPECT_EQ(fields[0].Name(), "NID");
    EXPECT_TRUE(rs["ISPLAY"].Value().AsBoolean());
    EXPECT_EQ(rs["UpdateTime"].Value().ToDisplayText(), "2005-03-04 10:11:12");
    rs.MoveNext();
    EXPECT_EQ(rs["name"].Value().AsText(), "B");
    EXPECT_FALSE(rs["isplay"].Value().AsBoolean());
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(JetErrorOf([&] { rs.MoveNext(); }), jet::kNoCurrentRecord);
    EXPECT_EQ(JetErrorOf([&] { rs["name"].Value(); }), jet::kNoCurrentRecord);
    EXPECT_EQ(JetErrorOf([&] { rs["nope"]; }), jet::kItemNotFound);
}

TEST_F(RecordsetTest, RefusesRowsThatBreakTheTablesRules) {
    Recordset rs = db_.OpenRecordset("people");
    rs.AddNew();
    rs["id"].SetValue(Value::FromInteger(1));
    EXPECT_EQ(JetErrorOf([&] { rs.Update(); }), jet::kRequiredIsNull);
    EXPECT_EQ(JetErrorOf([&] { rs["name"].SetValue(Value::FromText("toolong")); }),
              jet::kFieldTooSmall);
    EXPECT_EQ(JetErrorOf([&] { rs["id"].SetValue(Value::FromText("x")); }), jet::kTypeConversion);
    EXPECT_EQ(JetErrorOf([&] { rs["name"].SetValue(Value::FromText("")); }),
              jet::kZeroLengthString);
    rs["name"].SetValue(Value::FromText("Ann"));
    rs.Update();
    rs.AddNew();
    rs["id"].SetValue(Value::FromInteger(1));
    rs["name"].SetValue(Value::FromText("Bob"));
    EXPECT_EQ(JetErrorOf([&] { rs.Update(); }), jet::kDuplicateKey);
    // The next row starts afresh after a refused one.
    rs.AddNew();
    rs["id"].SetValue(Value::FromInteger(2));
    rs["name"].SetValue(Value::FromText("Bob"));
    rs.Update();
    EXPECT_EQ(JetErrorOf([&] { rs.Update(); }), jet::kUpdateWithoutEdit);
    EXPECT_EQ(JetErrorOf([&] { rs["name"].SetValue(Value::FromText("x")); }),
              jet::kUpdateWithoutEdit);
    rs.Close();
    EXPECT_EQ(Rows(db_, "select id, name from people order by id"), "1|Ann\n2|Bob\n");
}

TEST_F(RecordsetTest, ComputedColumnsAndGroupedSelectsAreReadOnly) {
    db_.Execute("insert into people (id, name) values (1, 'Ann')");
    Recordset computed = db_.OpenRecordset("select id, name & '!' as shout from people");
    EXPECT_EQ(computed["shout"].Value().AsText(), "Ann!");
    computed.Edit();
    EXPECT_EQ(JetErrorOf([&] { computed["shout"].SetValue(Value::FromText("x")); }),
              jet::kFieldNotUpdatable);
    Recordset grouped = db_.OpenRecordset("select count(*) as anz from people");
    EXPECT_EQ(grouped["anz"].Value().AsInteger(), 1);
    EXPECT_FALSE(grouped.Updatable());
    EXPECT_EQ(JetErrorOf([&] { grouped.AddNew(); }), jet::kReadOnly);
}

TEST_F(RecordsetTest, ClosingTheDatabaseClosesItsRecordsets) {
    db_.Execute("insert into pl_name (name) values ('A')");
    Recordset own = db_.OpenRecordset("pl_name");
    Field& kept = own["name"];
    own.Close();
    EXPECT_EQ(JetErrorOf([&] { kept.Value(); }), jet::kObjectInvalid);  // not a dangling field
    Recordset rs = db_.OpenRecordset("pl_name");
    db_.Close();
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_EQ(JetErrorOf([&] { rs.Eof(); }), jet::kObjectInvalid);
    EXPECT_EQ(JetErrorOf([&] { db_.Execute("delete from pl_name"); }), jet::kObjectInvalid);
}

// --- The rows a recordset walks are fixed when it opens ------------------------------------

namespace {

class KeysetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = CreateDatabaseWith(folder_ / "k.mdb",
                                 {"CREATE TABLE t (id COUNTER CONSTRAINT PrimaryKey PRIMARY KEY,"
                                  " pos LONG, name TEXT(20))",
                                  "CREATE INDEX bypos ON t (pos)"});
        for (int pos = 10; pos <= 150; pos += 10)
            db_.Execute("insert into t (pos, name) values (" + std::to_string(pos) + ", 'n" +
                        std::to_string(pos) + "')");
    }
    // The ids a forward walk visits, stopping after `limit` rows so that a walk that
    // never ends fails instead of hanging.
    static std::vector<int64_t> Walk(Recordset& rs, const std::function<void()>& perRow,
                                     size_t limit = 100) {
        std::vector<int64_t> seen;
        while (!rs.Eof() && seen.size() < limit) {
            seen.push_back(rs["id"].Value().AsInteger());
            perRow();
            rs.MoveNext();
        }
        return seen;
    }
    TempFolder folder_;
    Database db_;
};

std::vector<int64_t> Sorted(std::vector<int64_t> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

const std::vector<int64_t> kBelow100 = {1, 2, 3, 4, 5, 6, 7, 8, 9};
const std::vector<int64_t> kAll = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

}  // namespace

TEST_F(KeysetTest, EditingTheWalkedRowsVisitsEachRowOnce) {
    // Moving a row forward in the sort order or the index must not bring it round again.
    for (const char* source :
         {"select * from t where pos < 100 order by pos", "select * from t where pos < 100",
          "select * from t order by pos desc", "t"}) {
        SCOPED_TRACE(source);
        db_.Execute("update t set pos = id * 10");
        Recordset rs = db_.OpenRecordset(source);
        const std::vector<int64_t> seen = Walk(rs, [&] {
            rs.Edit();
            rs["pos"].SetValue(Value::FromInteger(rs["pos"].Value().AsInteger() + 10));
            rs.Update();
        });
        rs.Close();
        const std::string text = source;
        if (text.ends_with("order by pos")) {
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        }
        if (text.ends_with("desc")) {
            EXPECT_TRUE(std::is_sorted(seen.rbegin(), seen.rend()));
        }
        const bool all = text.find("pos < 100") == std::string::npos;
        EXPECT_EQ(Sorted(seen), all ? kAll : kBelow100);
        EXPECT_EQ(Rows(db_, "select count(*) as n from t where pos <> id * 10 + 10"),
                  all ? "0\n" : "6\n");
    }
}

TEST_F(KeysetTest, StatementsRunDuringTheWalkChangeValuesButNotWhichRowsAreVisited) {
    Recordset rs = db_.OpenRecordset("select * from t where pos < 100 order by pos");
    int step = 0;
    std::vector<std::string> names;
    const std::vector<int64_t> seen = Walk(rs, [&] {
        names.push_back(rs["name"].Value().AsText());
        if (++step != 2) return;
        db_.Execute("update t set pos = pos + 5, name = 'x' & name");  // every row moves
        db_.Execute("insert into t (pos, name) values (1, 'late')");   // not in the keyset
        db_.Execute("delete from t where id in (5, 6)");               // passed over
    });
    EXPECT_EQ(seen, (std::vector<int64_t>{1, 2, 3, 4, 7, 8, 9}));
    EXPECT_EQ(names[1], "n20");
    EXPECT_EQ(names[2], "xn30");  // a row shows what was written after the recordset opened
}

TEST_F(KeysetTest, ARowDeletedWhileBeingEditedIsNotReportedAsUpdated) {
    Recordset rs = db_.OpenRecordset("select * from t order by pos");
    rs.Edit();
    rs["name"].SetValue(Value::FromText("changed"));
    db_.Execute("delete from t where id = 1");
    EXPECT_EQ(JetErrorOf([&] { rs.Update(); }), jet::kRecordDeleted);
    EXPECT_EQ(JetErrorOf([&] { rs.Edit(); }), jet::kRecordDeleted);  // the current row is gone
    rs.MoveNext();
    EXPECT_EQ(rs["id"].Value().AsInteger(), 2);
    rs.Edit();
    rs["name"].SetValue(Value::FromText("kept"));
    rs.Update();
    EXPECT_EQ(Rows(db_, "select name from t where id <= 2"), "kept\n");
}

TEST_F(KeysetTest, ComputedColumnsKeepTheirValueBesideFreshTableColumns) {
    Recordset rs = db_.OpenRecordset("select id, pos, pos * 2 as twice from t where id = 1");
    db_.Execute("update t set pos = 99 where id = 1");
    EXPECT_EQ(rs["pos"].Value().AsInteger(), 10);  // read when the cursor arrived
    rs.Edit();
    EXPECT_EQ(rs["pos"].Value().AsInteger(), 99);  // Edit reads the row afresh
    EXPECT_EQ(rs["twice"].Value().AsInteger(), 20);
    rs.CancelUpdate();
}

// --- Rules checked at Update, and counters ---------------------------------------------------

TEST_F(RecordsetTest, UpdateNamesTheRequiredFieldLeftNullWithItsTable) {
    db_.Execute("insert into people (id, name) values (1, 'Ann')");
    struct Case {
        const char* name;
        const char* source;
        std::function<void(Recordset&)> arrange;
    };
    const std::vector<Case> cases = {
        {"new row without it", "people",
         [](Recordset& rs) {
             rs.AddNew();
             rs["id"].SetValue(Value::FromInteger(2));
         }},
        {"edited to Null", "people",
         [](Recordset& rs) {
             rs.Edit();
             rs["name"].SetValue(Value());
         }},
        {"not among the recordset's fields", "select id, note from people",
         [](Recordset& rs) {
             rs.AddNew();
             rs["id"].SetValue(Value::FromInteger(2));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recordset rs = db_.OpenRecordset(c.source);
        c.arrange(rs);
        try {
            rs.Update();
            ADD_FAILURE() << "Update accepted a Null name";
        } catch (const JetError& e) {
            EXPECT_EQ(e.Number(), jet::kRequiredIsNull);
            EXPECT_NE(std::string(e.what()).find("'people.name'"), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(Rows(db_, "select id, name from people"), "1|Ann\n");
}

TEST_F(RecordsetTest, ACounterNeverGivesADeletedNumberAgain) {
    struct Case {
        const char* name;
        std::function<void()> add;
    };
    const std::vector<Case> cases = {
        {"AddNew",
         [&] {
             Recordset rs = db_.OpenRecordset("pl_name");
             rs.AddNew();
             rs["name"].SetValue(Value::FromText("x"));
             rs.Update();
         }},
        {"Execute", [&] { db_.Execute("insert into pl_name (name) values ('x')"); }},
    };
    int64_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 3; ++i) c.add();
        expected += 3;
        // The last row goes, also across a reopening of the file: its number stays used.
        db_.Execute("delete from pl_name where NID = " + std::to_string(expected));
        db_.Close();
        db_ = DBEngine::Instance().OpenDatabase(folder_ / "t.mdb");
        c.add();
        ++expected;
        EXPECT_EQ(Rows(db_, "select max(NID) as m from pl_name"), std::to_string(expected) + "\n");
    }
}
