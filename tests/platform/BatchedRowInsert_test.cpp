#include "platform/engine/BatchedRowInsert.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace {

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

class BatchedRowInsertTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
        db_.reset(raw);
        ASSERT_EQ(sqlite3_exec(raw,
                               "CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT,"
                               " added DATETIME, picture BLOB)",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }

    long Count(const char* sql = "SELECT count(*) FROM t") {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db_.get(), sql, -1, &s, nullptr);
        sqlite3_step(s);
        const long n = static_cast<long>(sqlite3_column_int64(s, 0));
        sqlite3_finalize(s);
        return n;
    }

    static std::vector<WireValue> Row(long id, std::string_view name, std::string_view picture) {
        std::vector<WireValue> row(4);
        row[0].kind = ValueKind::Integer;
        row[0].integer = id;
        row[1].kind = ValueKind::Text;
        row[1].bytes = name;
        row[2].kind = ValueKind::Date;
        row[2].number = 38415.5;  // 2005-03-04 12:00:00
        row[3].kind = picture.empty() ? ValueKind::Null : ValueKind::Binary;
        row[3].bytes = picture;
        return row;
    }

    std::unique_ptr<sqlite3, CloseDb> db_;
};

TEST_F(BatchedRowInsertTest, FullBatchesGoInAtOnceAndTheRestAtFinishEachValueIntact) {
    BatchedRowInsert insert(db_.get(), "t", 4);
    for (long id = 1; id <= 64; ++id) {
        // The reader's texts last only for its call: each row's text is gone before the batch runs.
        std::string name = "title " + std::to_string(id);
        insert.Add(Row(id, name, ""));
        name.assign(name.size(), '#');
    }
    EXPECT_EQ(Count(), 64);
    insert.Add(Row(65, "Björk", ""));
    insert.Add(Row(66, std::string_view("a\0b", 3), "\x01\x02"));
    EXPECT_EQ(Count(), 64);
    insert.Finish();
    EXPECT_EQ(Count(), 66);
    insert.Finish();
    EXPECT_EQ(Count(), 66);

    EXPECT_EQ(Count("SELECT count(*) FROM t WHERE name = 'title ' || id"), 64);
    EXPECT_EQ(Count("SELECT count(*) FROM t WHERE id = 65 AND name = 'Björk'"), 1);
    EXPECT_EQ(Count("SELECT length(CAST(name AS BLOB)) FROM t WHERE id = 66"), 3);
    EXPECT_EQ(Count("SELECT count(*) FROM t WHERE picture = x'0102'"), 1);
    EXPECT_EQ(Count("SELECT count(*) FROM t WHERE added = '2005-03-04 12:00:00'"), 66);
    EXPECT_EQ(Count("SELECT seq FROM sqlite_sequence WHERE name = 't'"), 66);
}

TEST_F(BatchedRowInsertTest, LargeRowsGoInBeforeAMegabyteWaits) {
    BatchedRowInsert insert(db_.get(), "t", 4);
    const std::string picture(600 * 1024, 'p');
    insert.Add(Row(1, "one", picture));
    EXPECT_EQ(Count(), 0);
    insert.Add(Row(2, "two", picture));
    EXPECT_EQ(Count(), 2);
    insert.Add(Row(3, "three", ""));
    insert.Finish();
    EXPECT_EQ(Count("SELECT count(*) FROM t WHERE length(picture) = 614400"), 2);
    EXPECT_EQ(Count(), 3);
}

}  // namespace
}  // namespace platform
