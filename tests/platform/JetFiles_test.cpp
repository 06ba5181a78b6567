// The engine on real Jet files (our Jet 4 libraries and files that Access itself wrote): read
// through the same API and SQL, never written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Records what the process writes to standard error while it lives, into a file of its own.
class StandardErrorRecorder {
  public:
    StandardErrorRecorder() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~StandardErrorRecorder() { Stop(); }
    std::string Stop() {
        if (!file_) return text_;
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        std::rewind(file_);
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, file_)) > 0;) text_.append(buf, n);
        std::fclose(file_);
        file_ = nullptr;
        return text_;
    }

  private:
    std::FILE* file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};

// A copy of `bytes` with the given bytes overwritten at (page, offset) of a Jet 4 file.
struct Patch {
    size_t page;
    size_t offset;
    std::string bytes;
};
std::string Patched(std::string bytes, const std::vector<Patch>& patches) {
    for (const Patch& p : patches) bytes.replace(p.page * 4096 + p.offset, p.bytes.size(), p.bytes);
    return bytes;
}

std::string IndexFields(const Index& index) {
    std::string text;
    for (const auto& f : index.Fields()) text += (text.empty() ? "" : ";") + f.Name;
    return text;
}

std::string JoinedNotes(const Database& db) {
    std::string text;
    for (const std::string& note : db.OpenNotes()) text += note + "\n";
    return text;
}

const char* const kJetFixtures[] = {
    "library-2.5.mdb",         "library-2.5-nosid.mdb", "no-version-table.mdb", "version-2.0.mdb",
    "version-2.5.1.mdb",       "version-2.mdb",         "version-3.4.mdb",      "version-5.mdb",
    "version-empty-table.mdb", "version-null.mdb",
};

}  // namespace

TEST(JetFiles, EveryFixtureOpensReadOnlyAndStaysByteForByteTheSame) {
    for (const char* name : kJetFixtures) {
        const std::string path = FixturePath(std::string("jet/") + name);
        const std::string before = FileBytes(path);
        const auto modified = fs::last_write_time(path);
        {
            Database db = DBEngine::Instance().OpenDatabase(path);
            EXPECT_TRUE(db.ReadOnly()) << name;
            EXPECT_EQ(Rows(db, "select count(*) as n from genre").empty(), false) << name;
            EXPECT_EQ(JetErrorOf([&] { db.Execute("delete from genre"); }), jet::kReadOnly) << name;
            EXPECT_EQ(JetErrorOf([&] { db.Execute("CREATE TABLE x (a LONG)"); }), jet::kReadOnly)
                << name;
            Recordset rs = db.OpenRecordset("genre");
            EXPECT_EQ(JetErrorOf([&] { rs.AddNew(); }), jet::kReadOnly) << name;
            EXPECT_EQ(JetErrorOf([&] { rs.Edit(); }), jet::kReadOnly) << name;
        }
        EXPECT_EQ(FileBytes(path), before) << name;
        EXPECT_EQ(fs::last_write_time(path), modified) << name;
    }
}

TEST(JetFiles, CompactionConvertsAJetFileIntoAnEngineFile) {
    TempFolder folder;
    const std::string jet = FixturePath("jet/library-2.5.mdb");
    DBEngine::Instance().CompactDatabase(jet, folder / "converted.mdb");
    Database from = DBEngine::Instance().OpenDatabase(jet);
    Database to = DBEngine::Instance().OpenDatabase(folder / "converted.mdb");
    EXPECT_FALSE(to.ReadOnly());
    for (const char* table : {"db_all", "genre", "pl_group", "pl_name", "pl_all", "db_edit",
                              "pl_stat", "PL_MIXSETS", "db_version"}) {
        const std::string all = std::string("select * from ") + table;
        EXPECT_EQ(Rows(from, all), Rows(to, all)) << table;
    }
    TableDef titles = to.TableDefs().Item("db_all");
    EXPECT_EQ(titles.Fields().Item("Titel").Size(), 255);
    // The converted file is an ordinary engine file: it takes writes.
    to.Execute("delete from pl_all");
    EXPECT_EQ(Rows(to, "select count(*) as n from pl_all"), "0\n");
}

TEST(JetFiles, ForeignAndDamagedFilesRaiseErrorsWithoutHarm) {
    const fs::path broken = FixturePath("jet-broken");
    ASSERT_TRUE(fs::is_directory(broken));
    for (const auto& entry : fs::directory_iterator(broken)) {
        const std::string path = entry.path().string();
        const std::string before = FileBytes(path);
        EXPECT_NE(JetErrorOf([&] {
                      Database db = DBEngine::Instance().OpenDatabase(path);
                      for (const auto& name : db.TableDefs().Names())
                          Rows(db, "select * from [" + name + "]");
                  }),
                  0)
            << path;
        EXPECT_EQ(FileBytes(path), before) << path;
    }
}

TEST(JetFiles, OpeningHoldsNoMoreThanASmallMultipleOfTheFile) {
    const std::string path = FixturePath("jet/library-2.5.mdb");  // the largest fixture
    const size_t fileSize = fs::file_size(path);
    const size_t before = mallinfo2().uordblks;
    Database db = DBEngine::Instance().OpenDatabase(path);
    Rows(db, "select * from db_all");
    const size_t held = mallinfo2().uordblks - std::min(before, mallinfo2().uordblks);
    EXPECT_LT(held, 4 * fileSize) << "held " << held << " bytes for a file of " << fileSize;
}

TEST(JetFiles, FilesWrittenByAccessOpenWithTheirIndexesOnTheRightFields) {
    struct Expected {
        std::string file, table, index, fields;
        bool primary, unique, ignoreNulls;
        int rows;
    };
    const std::vector<Expected> cases = {
        // Indexes made before other fields were deleted: field numbers have gaps.
        {"deleted-columns-jet4.mdb", "Table1", "id", "id", false, false, false, 2},
        {"deleted-columns-jet4.mdb", "Table1", "id2", "id2", false, false, false, 2},
        // Logical and physical indexes in different orders.
        {"index-properties-jet4.mdb", "TableIgnoreNulls1", "DataIndex", "data", false, false, true,
         10},
        {"index-properties-jet4.mdb", "TableIgnoreNulls2", "DataIndex", "data1;data2", false, false,
         true, 11},
        {"index-properties-jet4.mdb", "TableUnique1_temp", "DataIndex", "data", false, true, false,
         10},
        {"index-properties-jet4.mdb", "TableUnique2_temp", "DataIndex", "data1;data2", false, true,
         false, 11},
        {"index-properties-jet4.mdb", "TableIgnoreNulls2", "PrimaryKey", "row", true, true, false,
         11},
        {"northwind-jet3.mdb", "Order Details", "PrimaryKey", "OrderID;ProductID", true, true,
         false, 2155},
        {"northwind-jet3.mdb", "Customers", "City", "City", false, false, false, 91},
        {"northwind-jet3.mdb", "Umsätze", "PrimaryKey", "OrderID", true, true, false, 830},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.file + " " + c.table + " " + c.index);
        Database db = DBEngine::Instance().OpenDatabase(FixturePath("jet/" + c.file));
        EXPECT_EQ(JoinedNotes(db), "");
        TableDef table = db.TableDefs().Item(c.table);
        const Index index = table.Indexes().Item(c.index);
        EXPECT_EQ(IndexFields(index), c.fields);
        EXPECT_EQ(index.Primary(), c.primary);
        EXPECT_EQ(index.Unique(), c.unique);
        EXPECT_EQ(index.IgnoreNulls(), c.ignoreNulls);
        EXPECT_EQ(index.Required(), c.primary);
        EXPECT_EQ(Rows(db, "select count(*) as n from [" + c.table + "]"),
                  std::to_string(c.rows) + "\n");
    }
    Database properties =
        DBEngine::Instance().OpenDatabase(FixturePath("jet/index-properties-jet4.mdb"));
    size_t userTables = 0;
    for (const std::string& name : properties.TableDefs().Names())
        userTables += properties.TableDefs().Item(name).Attributes() == 0;
    EXPECT_EQ(userTables, 6u);
}

TEST(JetFiles, AnIndexThatCannotBeCarriedOverIsLeftOutAndNotedWhileTheFileOpens) {
    struct Case {
        std::string name, file;
        std::vector<Patch> patches;
        std::string table, keptIndexes, note;
        int rows;
    };
    // Offsets inside the table definitions of Table1 (page 24) and TableIgnoreNulls2 (page 37).
    const std::vector<Case> cases = {
        {"key on a deleted field",
         "deleted-columns-jet4.mdb",
         {{24, 279, std::string("\x01\x00", 2)}},
         "Table1",
         "id",
         "index \"id2\" left out: field number 1 of its key no longer exists",
         2},
        {"index data missing",
         "deleted-columns-jet4.mdb",
         {{24, 363, "\x07"}},
         "Table1",
         "id",
         "index \"id2\" left out: its index data is missing",
         2},
        {"index list cut short",
         "deleted-columns-jet4.mdb",
         {{24, 47, "\xc8"}},
         "Table1",
         "",
         "Table \"Table1\": its indexes could not be read",
         2},
        // DataIndex made unique on data2, which holds 0 twice.
        {"unique index the rows break",
         "index-properties-jet4.mdb",
         {{37, 250, std::string("\x02\x00\x01\xff\xff\x00", 6)}, {37, 292, "\x81"}},
         "TableIgnoreNulls2",
         "PrimaryKey",
         "Table \"TableIgnoreNulls2\": index \"DataIndex\" left out: ",
         11},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.Write(
            c.name + ".mdb", Patched(FileBytes(FixturePath("jet/" + c.file)), c.patches));
        StandardErrorRecorder stderrText;
        Database db = DBEngine::Instance().OpenDatabase(path);
        EXPECT_EQ(stderrText.Stop(), "");
        std::string kept;
        for (size_t i = 0; i < db.TableDefs().Item(c.table).Indexes().Count(); ++i)
            kept += (kept.empty() ? "" : ";") + db.TableDefs().Item(c.table).Indexes()[i].Name();
        EXPECT_EQ(kept, c.keptIndexes);
        EXPECT_NE(JoinedNotes(db).find(c.note), std::string::npos) << JoinedNotes(db);
        EXPECT_EQ(Rows(db, "select count(*) as n from [" + c.table + "]"),
                  std::to_string(c.rows) + "\n");
    }
}

TEST(JetFiles, AConvertedJet3FileFillsInOnlyTheDefaultsTheFileHolds) {
    TempFolder folder;
    DBEngine::Instance().CompactDatabase(FixturePath("jet/northwind-jet3.mdb"),
                                         folder / "northwind.mdb");
    Database db = DBEngine::Instance().OpenDatabase(folder / "northwind.mdb");
    Recordset customers = db.OpenRecordset("Customers");
    customers.AddNew();
    customers["CustomerID"].SetValue(Value::FromText("ZZZZZ"));
    customers["CompanyName"].SetValue(Value::FromText("Neu GmbH"));
    customers.Update();
    customers.Close();
    EXPECT_EQ(
        Rows(db,
             "select Country, Phone, Fax, ContactName from Customers where CustomerID = 'ZZZZZ'"),
        "<null>|<null>|<null>|<null>\n");
    db.Execute("insert into [Order Details] (OrderID, ProductID) values (10248, 1)");
    EXPECT_EQ(Rows(db,
                   "select Quantity, UnitPrice, Discount from [Order Details] where OrderID = "
                   "10248 and ProductID = 1"),
              "1|0|0\n");
    TableDef suppliers = db.TableDefs().Item("Suppliers");
    for (const Field& f : suppliers.Fields()) EXPECT_EQ(f.DefaultValue(), "") << f.Name();
}

// libmdb prints its complaints about a file with fprintf(stderr); they must come back as the
// file's notes (or its error), never on the process's standard error.
TEST(JetFiles, WhatLibmdbSaysAboutAFileBecomesNotesNotOutput) {
    TempFolder folder;
    const std::string original = FileBytes(FixturePath("jet/library-2.5.mdb"));
    const size_t pages = original.size() / 4096;
    int opened = 0;
    int libraryNotes = 0;
    StandardErrorRecorder stderrText;
    for (size_t page = 1; page < pages; ++page) {
        const std::string path =
            folder.Write("page-" + std::to_string(page) + ".mdb",
                         Patched(original, {{page, 0, std::string(4096, '\xab')}}));
        const int error = JetErrorOf([&] {
            Database db = DBEngine::Instance().OpenDatabase(path);
            for (const std::string& name : db.TableDefs().Names())
                Rows(db, "select * from [" + name + "]");
            ++opened;
            libraryNotes += JoinedNotes(db).find("libmdb: warning: page " + std::to_string(page) +
                                                 " from map doesn't match") != std::string::npos;
        });
        EXPECT_TRUE(error == 0 || error == jet::kCannotOpenDatabase) << page << ": " << error;
    }
    EXPECT_EQ(stderrText.Stop(), "");
    EXPECT_GT(opened, 0);
    EXPECT_GT(libraryNotes, 0);
}

// A table's rows are read when the table is first used, so a file whose title pages are
// damaged still answers the version check, and the damage is reported where it lies.
TEST(JetFiles, RowsAreReadWhenATableIsFirstUsed) {
    TempFolder folder;
    // Page 38 holds rows of db_all; its row count is made impossible.
    const std::string path =
        folder.Write("damaged-titles.mdb", Patched(FileBytes(FixturePath("jet/library-2.5.mdb")),
                                                   {{38, 12, std::string("\xff\x7f", 2)}}));
    Database db = DBEngine::Instance().OpenDatabase(path, false, true);
    EXPECT_EQ(Rows(db, "select Version from db_version"), "2.5\n");
    EXPECT_EQ(JetErrorOf([&] { Rows(db, "select count(*) from db_all"); }),
              jet::kCannotOpenDatabase);
    // The failed table is tried again on its next use, and the others stay readable.
    EXPECT_EQ(JetErrorOf([&] { db.OpenRecordset("db_all"); }), jet::kCannotOpenDatabase);
    EXPECT_EQ(Rows(db, "select count(*) from genre"), "5\n");
}

// A table first used inside a transaction that is rolled back is read again afterwards: the
// rollback must not leave it looking read but empty.
TEST(JetFiles, ATableFirstReadInsideARolledBackTransactionKeepsItsRows) {
    Database db =
        DBEngine::Instance().OpenDatabase(FixturePath("jet/library-2.5.mdb"), false, true);
    Workspace& ws = DBEngine::Instance().Workspaces(0);
    ws.BeginTrans();
    EXPECT_EQ(Rows(db, "select count(*) from db_all"), "44\n");
    ws.Rollback();
    EXPECT_EQ(Rows(db, "select count(*) from db_all"), "44\n");
    EXPECT_EQ(Rows(db, "select count(*) from db_all where Path like 'C:\\Music\\Rock\\*'"), "6\n");

    ws.BeginTrans();
    ws.BeginTrans();
    EXPECT_EQ(Rows(db, "select count(*) from pl_all"), "30\n");
    ws.CommitTrans();
    ws.Rollback();
    EXPECT_EQ(Rows(db, "select count(*) from pl_all"), "30\n");
}
