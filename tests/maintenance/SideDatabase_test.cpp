// The rebuilds on the tree database that the side-database check builds and links.
#include "TreeLibrary.h"
#include "dbadmin/CheckDatabase.h"

using namespace maintenance::testing_support;
using maintenance::MaintenanceOutcome;

namespace {

class SideDatabase : public TreeLibrary {
  protected:
    SideDatabase() : TreeLibrary(/*buildTree=*/false) {}
};

TEST_F(SideDatabase, EveryRebuildWorksOnTheCheckedTreeDatabase) {
    dbadmin::CheckDatabase check(Api());
    check.SetTargetDatabasePath(target);
    ASSERT_TRUE(check.CheckTreeDatabase().rebuilt);
    Add({.path = "C:\\Music\\Rock\\",
         .interpret = "Queen",
         .album = "Jazz",
         .genre = "Rock",
         .imported = "#2005-03-03#",
         .user1 = "Party"});
    Add({.path = "C:\\Music\\Pop\\", .interpret = "Nena", .album = "Nena", .genre = "Pop"});

    const std::pair<const char*, std::function<MaintenanceOutcome()>> operations[] = {
        {"UpdataTreeDir", [&] { return maintenance->UpdataTreeDir(); }},
        {"UpdateTreeAlbum", [&] { return maintenance->UpdateTreeAlbum(); }},
        {"UpdateTreeGenre", [&] { return maintenance->UpdateTreeGenre(); }},
        {"UpdateTreeInterpret", [&] { return maintenance->UpdateTreeInterpret(); }},
        {"UpdateTreeTable", [&] { return maintenance->UpdateTreeTable("User1"); }},
        {"UpdateTreeTableImportDate", [&] { return maintenance->UpdateTreeTableImportDate(); }}};
    for (const auto& [name, operation] : operations) {
        const MaintenanceOutcome outcome = operation();
        EXPECT_TRUE(outcome.completed) << name;
        EXPECT_EQ(outcome.errorNumber, 0) << name << ": " << outcome.errorText;
        EXPECT_GT(outcome.rowsWritten, 0) << name;
    }
    // Repeated levels are recognised by the keys the check gave the table.
    EXPECT_EQ(Rows(db, "select Path, BAnzahl from tree_dir order by Path"),
              "C:\\|2\nC:\\Music\\|2\nC:\\Music\\Pop\\|1\nC:\\Music\\Rock\\|1\n");
    EXPECT_FALSE(FavouritesFileLeft());
}

}  // namespace
