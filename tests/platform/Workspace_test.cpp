#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/DBEngine.h"
#include "platform/engine/EngineConnection.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

class WorkspaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateDatabaseWith(side_,
                           {"CREATE TABLE tree (name TEXT(50) CONSTRAINT pk PRIMARY KEY, n LONG)",
                            "insert into tree values ('Rock', 1)"})
            .Close();
        main_ = CreateDatabaseWith(folder_ / "main.mdb", {"CREATE TABLE t (id LONG, name TEXT(50))",
                                                          "insert into t values (1, 'a')"});
        TableDef link = main_.CreateTableDef("tree");
        link.SetConnect(";Database=" + side_);
        link.SetSourceTableName("tree");
        main_.TableDefs().Append(link);
    }
    void TearDown() override {
        // A failed test must not leave a transaction open for the next one.
        while (JetErrorOf([] { DBEngine::Instance().Workspaces(0).Rollback(); }) == 0) {
        }
    }
    Workspace& ws() { return DBEngine::Instance().Workspaces(0); }

    TempFolder folder_;
    std::string side_ = folder_ / "side.mdb";
    Database main_;
};

}  // namespace

TEST_F(WorkspaceTest, RollbackUndoesRowsStructureAndWritesThroughLinks) {
    ws().BeginTrans();
    main_.Execute("delete from tree");
    main_.Execute("insert into tree values ('Pop', 2)");
    main_.Execute("update t set name = 'changed'");
    {
        Recordset rs = main_.OpenRecordset("t");
        rs.AddNew();
        rs["id"].SetValue(Value::FromInteger(2));
        rs.Update();
    }
    main_.Execute("CREATE TABLE made_inside (x LONG)");
    EXPECT_EQ(Rows(main_, "select name from tree"), "Pop\n");
    ws().Rollback();

    EXPECT_EQ(Rows(main_, "select name, n from tree"), "Rock|1\n");
    EXPECT_EQ(Rows(main_, "select id, name from t"), "1|a\n");
    EXPECT_EQ(JetErrorOf([&] { main_.TableDefs().Item("made_inside"); }), jet::kItemNotFound);
    EXPECT_EQ(JetErrorOf([&] { main_.OpenRecordset("made_inside"); }), jet::kInputTableNotFound);
}

TEST_F(WorkspaceTest, NestedTransactionsCommitOnlyWithTheOutermost) {
    // An outer rollback undoes a committed inner transaction, through a link too.
    ws().BeginTrans();
    ws().BeginTrans();
    main_.Execute("insert into tree values ('Jazz', 3)");
    ws().CommitTrans();
    ws().Rollback();
    EXPECT_EQ(Rows(main_, "select count(*) from tree"), "1\n");

    ws().BeginTrans();
    main_.Execute("insert into t values (2, 'outer')");
    ws().BeginTrans();
    main_.Execute("insert into t values (3, 'inner, undone')");
    ws().Rollback();
    ws().BeginTrans();
    main_.Execute("insert into t values (4, 'inner, kept')");
    ws().CommitTrans();
    ws().CommitTrans();
    main_.Close();

    // Committed means on disk: a fresh handle after close sees it.
    Database again = DBEngine::Instance().OpenDatabase(folder_ / "main.mdb");
    EXPECT_EQ(Rows(again, "select id from t order by id"), "1\n2\n4\n");
}

TEST_F(WorkspaceTest, CommitOrRollbackWithoutBeginRaises3034) {
    EXPECT_EQ(JetErrorOf([&] { ws().CommitTrans(); }), jet::kNoTransaction);
    EXPECT_EQ(JetErrorOf([&] { ws().Rollback(); }), jet::kNoTransaction);
}

TEST(ReadOnlyOpen, EveryWriteRaises3027AndTheFileStaysUnchanged) {
    TempFolder folder;
    const std::string path = folder / "old.mdb";
    CreateDatabaseWith(path, {"CREATE TABLE t (id LONG)", "insert into t values (1)"}).Close();
    const std::string before = FileBytes(path);

    Database db = DBEngine::Instance().OpenDatabase(path, false, true);
    EXPECT_TRUE(db.ReadOnly());
    EXPECT_EQ(Rows(db, "select id from t"), "1\n");
    EXPECT_EQ(JetErrorOf([&] { db.Execute("insert into t values (2)"); }), jet::kReadOnly);
    EXPECT_EQ(JetErrorOf([&] { db.Execute("CREATE TABLE u (x LONG)"); }), jet::kReadOnly);
    EXPECT_EQ(JetErrorOf([&] { db.OpenRecordset("t").AddNew(); }), jet::kReadOnly);
    EXPECT_EQ(JetErrorOf([&] {
                  TableDef def = db.CreateTableDef("v");
                  def.Fields().Append(def.CreateField("x", 4));
                  db.TableDefs().Append(def);
              }),
              jet::kReadOnly);
    // Held read-only on request, the file is not shared with a writer meanwhile.
    EXPECT_EQ(JetErrorOf([&] { DBEngine::Instance().OpenDatabase(path); }), jet::kFileInUse);
    db.Close();
    EXPECT_EQ(FileBytes(path), before);
}

TEST(ReadOnlyOpen, AHandleOnAFileAnotherHandleWritesStillRefusesWrites) {
    TempFolder folder;
    const std::string path = folder / "shared.mdb";
    Database writer = CreateDatabaseWith(path, {"CREATE TABLE t (id LONG)"});
    Database reader = DBEngine::Instance().OpenDatabase(path, false, true);
    writer.Execute("insert into t values (1)");
    EXPECT_EQ(Rows(reader, "select id from t"), "1\n");
    EXPECT_EQ(JetErrorOf([&] { reader.Execute("delete from t"); }), jet::kReadOnly);
    EXPECT_FALSE(reader.OpenRecordset("t").Updatable());
}

TEST(ProgressCallback, CancelEndsLongWorkWith3059AndChangesNothing) {
    TempFolder folder;
    Database db = CreateDatabaseWith(folder / "p.mdb",
                                     {"CREATE TABLE t (id LONG)", "CREATE TABLE r (id LONG)"});
    for (int i = 0; i < 300; ++i) db.Execute("insert into t values (" + std::to_string(i) + ")");

    int calls = 0;
    int errorInside = 0;
    DBEngine::Instance().SetProgressCallback([&] {
        ++calls;
        // The engine refuses to be entered from here instead of re-entering SQLite.
        errorInside = JetErrorOf([&] { db.OpenRecordset("select count(*) from t"); });
        return false;
    });
    // 27 million rows: far longer than one callback interval.
    const int error =
        JetErrorOf([&] { db.Execute("insert into r select a.id from t a, t b, t c"); });
    DBEngine::Instance().SetProgressCallback({});

    EXPECT_EQ(error, jet::kCancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(errorInside, 0);
    EXPECT_EQ(Rows(db, "select count(*) from r"), "0\n");
}

TEST(ProgressCallback, ACancelledCompactionLeavesNoDestinationAndNoTemporaryFile) {
    TempFolder folder;
    {
        Database db =
            CreateDatabaseWith(folder / "big.mdb", {"CREATE TABLE t (id LONG, txt TEXT(255))"});
        db.Execute("insert into t values (1, '" + std::string(200, 'x') + "')");
        for (int i = 0; i < 17; ++i) db.Execute("insert into t select id + 1, txt from t");
    }
    DBEngine::Instance().SetProgressCallback([] { return false; });
    // The engine asks at most every 50 ms, and a copy from the page cache can finish sooner:
    // waiting first makes the copy's first question the one that cancels it.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const int error = JetErrorOf(
        [&] { DBEngine::Instance().CompactDatabase(folder / "big.mdb", folder / "copy.mdb"); });
    DBEngine::Instance().SetProgressCallback({});
    EXPECT_EQ(error, jet::kCancelled);
    EXPECT_FALSE(std::filesystem::exists(folder / "copy.mdb"));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(folder.Path()))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
    // Without a callback the same compaction goes through.
    DBEngine::Instance().CompactDatabase(folder / "big.mdb", folder / "copy.mdb");
    Database copy = DBEngine::Instance().OpenDatabase(folder / "copy.mdb");
    EXPECT_EQ(Rows(copy, "select count(*) from t"), "131072\n");
}

// SQLite undoes a whole transaction itself when a write fails on a full disk or an I/O error;
// the engine must neither write on outside the transaction nor report the lost rows as
// committed.
TEST(Transactions, ATransactionSQLiteUndidRefusesWritesAndItsCommitFails) {
    TempFolder folder;
    Database db = CreateDatabaseWith(folder / "t.mdb", {"CREATE TABLE t (id LONG)"});
    db.Execute("insert into t values (1)");
    Workspace& workspace = DBEngine::Instance().Workspaces(0);

    for (const bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        workspace.BeginTrans();
        db.Execute("insert into t values (2)");
        EngineConnection::Instance().Exec("ROLLBACK");  // as SQLite does after such a failure
        EXPECT_EQ(JetErrorOf([&] { db.Execute("insert into t values (3)"); }),
                  jet::kResourcesExceeded);
        EXPECT_EQ(JetErrorOf([&] { workspace.BeginTrans(); }), jet::kResourcesExceeded);
        if (commit) {
            EXPECT_EQ(JetErrorOf([&] { workspace.CommitTrans(); }), jet::kResourcesExceeded);
        } else {
            workspace.Rollback();
        }
        // The engine is whole again: no transaction is open and writes are committed.
        EXPECT_EQ(JetErrorOf([&] { workspace.CommitTrans(); }), jet::kNoTransaction);
        db.Execute("insert into t values (4)");
        EXPECT_EQ(Rows(db, "select id from t order by id"), commit ? "1\n4\n" : "1\n4\n4\n");
    }
    db.Close();
    Database reopened = DBEngine::Instance().OpenDatabase(folder / "t.mdb");
    EXPECT_EQ(Rows(reopened, "select count(*) from t"), "3\n");
}
