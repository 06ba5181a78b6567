// The limits the benchmark measures against: the same rows really arrive, and VACUUM INTO
// writes a whole copy. Run on copies of the shipped target database.
#include "bench/PlainSqlite.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/DBEngine.h"
#include "platform/Recordset.h"
#include "support/EngineTestSupport.h"

namespace bench {
namespace {

// One text line of a query's rows, read with plain SQLite.
std::string Query(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                const unsigned char* text = sqlite3_column_text(statement, c);
                out += (text ? reinterpret_cast<const char*>(text) : "NULL") + std::string("|");
            }
        }
    } else {
        out = std::string("error: ") + sqlite3_errmsg(db);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return out;
}

// A filled target: titles written through the engine (their text indexes need its order) and
// more playlist entries than one read chunk holds, written with plain SQLite.
std::string FilledTarget(const testing_support::TempFolder& folder) {
    const std::string filled = testing_support::CopyOfShippedDatabase(folder / "filled.mdb");
    {
        platform::Database db = platform::DBEngine::Instance().OpenDatabase(filled);
        db.Execute(
            "insert into db_all (FID, Titel, Interpret, Path) values "
            "(7, 'Über sieben Brücken', 'Karat', 'C:\\Music\\Deutsch\\')");
        db.Execute(
            "insert into db_all (FID, Titel, Interpret, Path) values "
            "(9, 'Don''t Stop Me Now', 'Queen', 'D:\\')");
        db.Close();
    }
    sqlite3* db = nullptr;
    sqlite3_open(filled.c_str(), &db);
    sqlite3_exec(db,
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 45001) "
                 "INSERT INTO pl_all (PID, pnid, FID, pos, mixin, mixout) "
                 "SELECT i, i % 40, i % 997, i, CASE WHEN i % 3 = 0 THEN NULL ELSE '-1,5,,,,' END, "
                 "CASE WHEN i % 5 = 0 THEN '' ELSE 'x' || i END FROM n",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return filled;
}

const char* kTitles = "select FID, Titel, Interpret, Path from db_all order by FID";
const char* kEntries =
    "select count(*), sum(PID), sum(pnid), sum(FID), sum(pos), count(mixin), "
    "sum(length(mixout)), sum(mixout = '') from pl_all";

// Both limits run on one filled target: the inserts into an emptied copy and VACUUM INTO.
TEST(PlainSqlite, InsertsAndVacuumIntoCopyExactlyTheRowsOfTheFilledTables) {
    testing_support::TempFolder folder;
    const std::string filled = FilledTarget(folder);
    // The work copy starts from a target that already holds rows: they must go first.
    const std::string stale = folder / "stale.mdb";
    std::filesystem::copy_file(filled, stale);

    const InsertTiming timing =
        TimeInserts(filled, stale, folder / "work.mdb", {"db_all", "pl_all"});
    EXPECT_EQ(timing.rows, 2 + 45001);
    EXPECT_GT(timing.seconds, 0);
    const std::string work = folder / "work.mdb";
    EXPECT_EQ(Query(work, kTitles), Query(filled, kTitles));
    EXPECT_EQ(Query(work, kEntries), Query(filled, kEntries));
    EXPECT_EQ(Query(work, "select count(*) from pl_all"), "45001|");
    // Indexes of the shipped schema came along and hold every row.
    EXPECT_EQ(Query(work,
                    "select count(*) from sqlite_master where type = 'index' and "
                    "tbl_name = 'db_all' and sql is not null"),
              "4|");

    const std::string copy = folder / "vacuum.mdb";
    EXPECT_GT(TimeVacuumInto(filled, copy), 0);
    EXPECT_EQ(Query(copy, kTitles), Query(filled, kTitles));
    EXPECT_EQ(Query(copy, kEntries), Query(filled, kEntries));
    // The engine takes the copy as one of its own files.
    platform::Database db = platform::DBEngine::Instance().OpenDatabase(copy);
    platform::Recordset count =
        db.OpenRecordset("select count(*) as n from db_all where Titel like 'Über*'");
    EXPECT_EQ(count["n"].Value().ToInteger(), 1);
    count.Close();
    db.Close();
    EXPECT_THROW(TimeVacuumInto(filled, copy), std::runtime_error);
}

}  // namespace
}  // namespace bench
