// What another process sees of this one's writes, and what this one learns when another
// process holds the file. The other process is forked and uses SQLite directly.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

// A second process with its own connection to one file. It runs one SQL text per Run and
// answers with the first column of the last row ("" when none) or "error <code>"; it does not
// wait for locks. Its transactions stay open between calls until it is sent COMMIT.
class OtherProcess {
  public:
    explicit OtherProcess(const std::string& path) {
        int toChild[2];
        int fromChild[2];
        if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            Serve(path, toChild[0], fromChild[1]);
            ::_exit(0);  // no destructors of the parent's objects in the child
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        to_ = ::fdopen(toChild[1], "w");
        from_ = ::fdopen(fromChild[0], "r");
    }
    ~OtherProcess() {
        if (to_) std::fclose(to_);
        if (from_) std::fclose(from_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;

    std::string Run(const std::string& sql) {
        std::fprintf(to_, "%s\n", sql.c_str());
        std::fflush(to_);
        char line[256] = {};
        if (!std::fgets(line, sizeof line, from_)) return "no answer";
        std::string answer(line);
        if (!answer.empty() && answer.back() == '\n') answer.pop_back();
        return answer;
    }

  private:
    static void Serve(const std::string& path, int in, int out) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        FILE* requests = ::fdopen(in, "r");
        FILE* answers = ::fdopen(out, "w");
        char sql[1024];
        while (std::fgets(sql, sizeof sql, requests)) {
            std::string result;
            char* message = nullptr;
            const int rc = sqlite3_exec(
                db, sql,
                [](void* into, int, char** values, char**) {
                    *static_cast<std::string*>(into) = values[0] ? values[0] : "";
                    return 0;
                },
                &result, &message);
            sqlite3_free(message);
            if (rc != SQLITE_OK) result = "error " + std::to_string(rc & 0xff);
            std::fprintf(answers, "%s\n", result.c_str());
            std::fflush(answers);
        }
        sqlite3_close_v2(db);
    }

    pid_t pid_ = -1;
    FILE* to_ = nullptr;
    FILE* from_ = nullptr;
};

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
