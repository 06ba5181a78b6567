#include "platform/DBEngine.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;

TEST(DBEngine, OpenAndCreateReportMissingForeignAndExistingFiles) {
    TempFolder folder;
    EXPECT_EQ(JetErrorOf([&] { DBEngine::Instance().OpenDatabase(folder / "missing.mdb"); }),
              jet::kFileNotFound);
    folder.Write("text.mdb", "just\ntwo lines\n");
    EXPECT_EQ(JetErrorOf([&] { DBEngine::Instance().OpenDatabase(folder / "text.mdb"); }),
              jet::kUnrecognizedFormat);
    folder.Write("empty.mdb", "");
    EXPECT_EQ(JetErrorOf([&] { DBEngine::Instance().OpenDatabase(folder / "empty.mdb"); }),
              jet::kUnrecognizedFormat);
    try {
        DBEngine::Instance().OpenDatabase(folder / "missing.mdb");
    } catch (const JetError& e) {
        EXPECT_EQ(std::string(e.what()), "Could not find file '" + (folder / "missing.mdb") + "'.");
    }
    DBEngine::Instance().CreateDatabase(folder / "new.mdb", dbLangGeneral).Close();
    EXPECT_EQ(
        JetErrorOf([&] { DBEngine::Instance().CreateDatabase(folder / "new.mdb", dbLangGeneral); }),
        jet::kDatabaseExists);
    EXPECT_EQ(JetErrorOf([&] {
                  DBEngine::Instance().CreateDatabase(folder / "no/such/folder.mdb", dbLangGeneral);
              }),
              jet::kInvalidPath);
    EXPECT_FALSE(fs::exists(folder / "no"));
}

TEST(DBEngine, CompactionWritesAnEqualCheckedCopyAndNeverOverwrites) {
    TempFolder folder;
    {
        Database db = CreateDatabaseWith(
            folder / "src.mdb", {"CREATE TABLE t (id COUNTER CONSTRAINT PrimaryKey PRIMARY KEY,"
                                 " name TEXT(20), d DATETIME)",
                                 "CREATE INDEX byname ON t (name DESC)"});
        db.CreateQueryDef("q", "select name from t where id > 1");
        for (int i = 0; i < 50; ++i)
            db.Execute("insert into t (name, d) values ('n" + std::to_string(i) +
                       "', #2005-03-04#)");
        db.Execute("delete from t where id > 40");
    }
    DBEngine::Instance().CompactDatabase(folder / "src.mdb", folder / "dst.mdb");
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2u);  // no temporary copy left behind

    Database src = DBEngine::Instance().OpenDatabase(folder / "src.mdb");
    Database dst = DBEngine::Instance().OpenDatabase(folder / "dst.mdb");
    const std::string all = "select id, name, d from t order by id";
    EXPECT_EQ(Rows(src, all), Rows(dst, all));
    EXPECT_EQ(Rows(dst, "select count(*) as anz from q"), "39\n");
    TableDef def = dst.TableDefs().Item("t");
    EXPECT_EQ(def.Indexes().Item("byname").Fields()[0].Descending, true);
    // The counter restarts after the highest value kept, as Jet's compaction does.
    dst.Execute("insert into t (name) values ('next')");
    EXPECT_EQ(Rows(dst, "select id from t where name = 'next'"), "41\n");
    dst.Close();

    // An existing destination is refused and left as it is; a missing source makes nothing.
    const std::string before = FileBytes(folder / "dst.mdb");
    EXPECT_EQ(JetErrorOf([&] {
                  DBEngine::Instance().CompactDatabase(folder / "src.mdb", folder / "dst.mdb");
              }),
              jet::kDatabaseExists);
    EXPECT_EQ(FileBytes(folder / "dst.mdb"), before);
    EXPECT_EQ(JetErrorOf([&] {
                  DBEngine::Instance().CompactDatabase(folder / "none.mdb", folder / "x.mdb");
              }),
              jet::kFileNotFound);
    EXPECT_FALSE(folder.Exists("x.mdb"));
}

// Regression: a file closed while another database's recordset was still reading stayed
// attached, so a new file under the same name was never seen.
TEST(DBEngine, AFileClosedWhileAnotherIsReadIsLetGoAndCanBeReplaced) {
    TempFolder folder;
    CreateDatabaseWith(
        folder / "reader.mdb",
        {"CREATE TABLE r (a LONG)", "insert into r values (1)", "insert into r values (2)"})
        .Close();
    CreateDatabaseWith(folder / "target.mdb",
                       {"CREATE TABLE t (a LONG)", "insert into t values (1)"})
        .Close();
    Database reader = DBEngine::Instance().OpenDatabase(folder / "reader.mdb");
    Recordset reading = reader.OpenRecordset("r");  // a statement in the middle of its rows
    {
        Database target = DBEngine::Instance().OpenDatabase(folder / "target.mdb");
        EXPECT_EQ(Rows(target, "select count(*) as n from t"), "1\n");
    }
    fs::remove(folder / "target.mdb");
    CreateDatabaseWith(folder / "target.mdb", {"CREATE TABLE t (a LONG)"}).Close();
    reading.MoveNext();
    Database target = DBEngine::Instance().OpenDatabase(folder / "target.mdb");
    EXPECT_EQ(Rows(target, "select count(*) as n from t"), "0\n");
    reading.Close();
}
