// Compaction under faults injected through the engine's file system: whatever goes wrong
// between the copy and its final name, the destination either does not exist or is complete.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "platform/DBEngine.h"
#include "platform/os/ForwardingFileSystem.h"
#include "platform/os/LocalFileSystem.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Passes everything on, but lets a test meddle with or fail the sync and rename calls.
class MeddlingFileSystem : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    std::function<bool(const std::string&)> onSyncFile = [](const std::string&) { return true; };
    bool failRename = false;
    bool failSyncFolder = false;
    int syncs = 0;

    bool SyncFile(const std::string& path) override {
        ++syncs;
        return onSyncFile(path) && ForwardingFileSystem::SyncFile(path);
    }
    bool SyncFolder(const std::string& path) override {
        return !failSyncFolder && ForwardingFileSystem::SyncFolder(path);
    }
    bool RenameFile(const std::string& from, const std::string& to) override {
        return !failRename && ForwardingFileSystem::RenameFile(from, to);
    }
};

// Another program's write to the copy behind the engine's back.
bool DeleteOneRow(const std::string& path) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "DELETE FROM t WHERE rowid = (SELECT max(rowid) FROM t)", nullptr,
                           nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    return ok;
}

size_t FilesIn(const std::string& folder) {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(folder)) n += entry.is_regular_file() ? 1 : 0;
    return n;
}

}  // namespace

TEST(Compaction, AFaultBeforeTheFinalNameLeavesNoDestinationAndNoTemporaryCopy) {
    struct Case {
        const char* name;
        std::function<void(MeddlingFileSystem&)> arrange;
        int error;
    };
    const std::vector<Case> cases = {
        {"copy loses a row before it is checked",
         [](MeddlingFileSystem& f) { f.onSyncFile = DeleteOneRow; }, jet::kCannotOpenDatabase},
        {"sync of the copy fails",
         [](MeddlingFileSystem& f) { f.onSyncFile = [](const std::string&) { return false; }; },
         jet::kResourcesExceeded},
        {"rename fails", [](MeddlingFileSystem& f) { f.failRename = true; },
         jet::kResourcesExceeded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        CreateDatabaseWith(folder / "src.mdb", {"CREATE TABLE t (id COUNTER, name TEXT(20))",
                                                "insert into t (name) values ('a')",
                                                "insert into t (name) values ('b')"})
            .Close();
        LocalFileSystem local;
        MeddlingFileSystem files(local);
        c.arrange(files);
        {
            DBEngine::FileSystemScope scope(files);
            EXPECT_EQ(JetErrorOf([&] {
                          DBEngine::Instance().CompactDatabase(folder / "src.mdb",
                                                               folder / "dst.mdb");
                      }),
                      c.error);
        }
        EXPECT_FALSE(folder.Exists("dst.mdb"));
        EXPECT_EQ(FilesIn(folder.Path()), 1u);  // the temporary copy is gone too
    }
}

TEST(Compaction, GoesThroughTheGivenFileSystemOnlyWhileItsScopeLives) {
    TempFolder folder;
    CreateDatabaseWith(folder / "src.mdb", {"CREATE TABLE t (a LONG)", "insert into t values (1)"})
        .Close();
    LocalFileSystem local;
    MeddlingFileSystem files(local);
    {
        DBEngine::FileSystemScope scope(files);
        DBEngine::Instance().CompactDatabase(folder / "src.mdb", folder / "one.mdb");
        EXPECT_EQ(files.syncs, 1);
    }
    DBEngine::Instance().CompactDatabase(folder / "src.mdb", folder / "two.mdb");
    EXPECT_EQ(files.syncs, 1);
    Database two = DBEngine::Instance().OpenDatabase(folder / "two.mdb");
    EXPECT_EQ(Rows(two, "select a from t"), "1\n");
}

TEST(Compaction, AFolderSyncThatFailsIsReportedAfterTheCopyTookItsName) {
    TempFolder folder;
    CreateDatabaseWith(folder / "src.mdb", {"CREATE TABLE t (a LONG)", "insert into t values (7)"})
        .Close();
    LocalFileSystem local;
    MeddlingFileSystem files(local);
    files.failSyncFolder = true;
    {
        DBEngine::FileSystemScope scope(files);
        EXPECT_EQ(JetErrorOf([&] {
                      DBEngine::Instance().CompactDatabase(folder / "src.mdb", folder / "dst.mdb");
                  }),
                  jet::kResourcesExceeded);
    }
    // The name may not be durable yet, but what carries it is the complete copy.
    Database dst = DBEngine::Instance().OpenDatabase(folder / "dst.mdb");
    EXPECT_EQ(Rows(dst, "select a from t"), "7\n");
}

// A compaction killed half-way leaves its temporary copy, as large as the library; the next
// compaction to the same destination removes those of processes that no longer run, and
// leaves alone the copy of one that still does.
TEST(Compaction, RemovesTheCopiesKilledCompactionsLeftBehind) {
    TempFolder folder;
    CreateDatabaseWith(folder / "src.mdb", {"CREATE TABLE t (id COUNTER, name TEXT(20))"}).Close();
    const std::string running = "dst.mdb.compacting-" + std::to_string(::getppid()) + "-1";
    for (const std::string name :
         {"dst.mdb.compacting-999999999-1", "dst.mdb.compacting-999999999-1-journal",
          running.c_str(), "other.mdb.compacting-999999999-1"}) {
        folder.Write(name, "left over");
    }
    DBEngine::Instance().CompactDatabase(folder / "src.mdb", folder / "dst.mdb");
    EXPECT_FALSE(folder.Exists("dst.mdb.compacting-999999999-1"));
    EXPECT_FALSE(folder.Exists("dst.mdb.compacting-999999999-1-journal"));
    EXPECT_TRUE(folder.Exists(running));
    EXPECT_TRUE(folder.Exists("other.mdb.compacting-999999999-1"));
    EXPECT_TRUE(folder.Exists("dst.mdb"));
}
