// What another process sees of this one's writes, and what this one learns when another
// process holds the file. The other process is forked and uses SQLite directly.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"
#include "support/OtherProcess.h"

using namespace platform;
using namespace testing_support;

namespace {

const std::string kBusy = "error " + std::to_string(SQLITE_BUSY);

std::string CreateTable(const TempFolder& folder) {
    const std::string path = folder / "d.mdb";
    CreateDatabaseWith(
        path, {"CREATE TABLE t (id COUNTER CONSTRAINT PrimaryKey PRIMARY KEY, name TEXT(20))"})
        .Close();
    return path;
}

}  // namespace

TEST(Durability, AWriteReachesTheFileSoonAfterItsCallWhileTheHandleStaysOpenAndIdle) {
    TempFolder folder;
    const std::string path = CreateTable(folder);
    Database db = DBEngine::Instance().OpenDatabase(path);
    OtherProcess other(path);
    struct Write {
        const char* name;
        std::function<void()> run;
    };
    const std::vector<Write> writes = {
        {"Execute", [&] { db.Execute("insert into t (name) values ('a')"); }},
        {"Update",
         [&] {
             Recordset rs = db.OpenRecordset("t");
             rs.AddNew();
             rs["name"].SetValue(Value::FromText("b"));
             rs.Update();
         }},
        {"structure", [&] { db.Execute("CREATE TABLE u (x LONG)"); }},
    };
    int rows = 0;
    for (const Write& write : writes) {
        SCOPED_TRACE(write.name);
        write.run();
        rows += std::string(write.name) == "structure" ? 0 : 1;
        // Soon the idle handle holds no lock (allowing for a loaded machine): the other
        // process can write, and it sees the change.
        std::string locked = kBusy;
        const auto start = std::chrono::steady_clock::now();
        while (locked != "" && std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            locked = other.Run("BEGIN IMMEDIATE; ROLLBACK");
        }
        EXPECT_EQ(locked, "");
        EXPECT_EQ(other.Run("SELECT count(*) FROM t"), std::to_string(rows));
    }
    EXPECT_EQ(other.Run("SELECT count(*) FROM sqlite_master WHERE name = 'u'"), "1");
}

TEST(Durability, ClosingRaisesWhenAnotherProcessKeepsTheChangesFromTheFile) {
    TempFolder folder;
    const std::string path = CreateTable(folder);
    OtherProcess reader(path);
    Database db = DBEngine::Instance().OpenDatabase(path);
    EXPECT_EQ(reader.Run("BEGIN; SELECT count(*) FROM t"), "0");  // holds a read lock
    db.Execute("insert into t (name) values ('pending')");
    EXPECT_EQ(JetErrorOf([&] { db.Close(); }), jet::kLocked);
    EXPECT_FALSE(db.IsOpen());
    // Once the reader lets go, the change is not lost: it reaches the file.
    EXPECT_EQ(reader.Run("COMMIT"), "");
    std::string count;
    for (int i = 0; i < 40 && count != "1"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        count = reader.Run("SELECT count(*) FROM t");
    }
    EXPECT_EQ(count, "1");
}

TEST(Durability, AWriteBlockedByAnotherProcessFailsAtItsCallAndChangesNothing) {
    TempFolder folder;
    const std::string path = CreateTable(folder);
    OtherProcess writer(path);
    Database db = DBEngine::Instance().OpenDatabase(path);
    EXPECT_EQ(writer.Run("BEGIN IMMEDIATE"), "");  // holds the write lock
    EXPECT_EQ(JetErrorOf([&] { db.Execute("insert into t (name) values ('blocked')"); }),
              jet::kLocked);
    EXPECT_EQ(writer.Run("COMMIT"), "");
    db.Execute("insert into t (name) values ('later')");
    db.Close();
    EXPECT_EQ(writer.Run("SELECT group_concat(name) FROM t"), "later");
}

TEST(Durability, ABatchTheBackgroundCouldNotCommitFailsTheNextWriteUntilTheFileIsFree) {
    TempFolder folder;
    const std::string path = CreateTable(folder);
    OtherProcess reader(path);
    Database db = DBEngine::Instance().OpenDatabase(path);
    EXPECT_EQ(reader.Run("BEGIN; SELECT count(*) FROM t"), "0");
    db.Execute("insert into t (name) values ('a')");
    // Long enough for the background commit to give up waiting for the reader.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(JetErrorOf([&] { db.Execute("insert into t (name) values ('b')"); }), jet::kLocked);
    EXPECT_EQ(reader.Run("COMMIT"), "");
    db.Execute("insert into t (name) values ('c')");
    db.Close();
    EXPECT_EQ(reader.Run("SELECT group_concat(name) FROM t"), "a,c");
}
