// The favourite-preserving rebuilds of the genre, artist, album, column and import-date trees.
#include "TreeLibrary.h"

using namespace maintenance::testing_support;
using maintenance::MaintenanceOutcome;

namespace {

class FlatTrees : public TreeLibrary {
  protected:
    void SetUp() override {
        Add({.interpret = "Queen", .album = "Jazz", .genre = "Rock"}, 2);
        Add({.interpret = "Madonna", .album = "Erotica", .genre = "Pop"});
        Add({.interpret = "Queen", .album = "Hits", .genre = "Pop"});
        Add({.interpret = "Nena", .album = "Nena", .genre = "Pop", .deleted = true});
    }
    std::string Favourites(const std::string& table) {
        return Rows(db, "select * from " + table + " where favorit order by 1, 2");
    }
};

TEST_F(FlatTrees, RebuildsFromTheLibraryAndKeepsFavourites) {
    maintenance->UpdateTreeGenre();
    MarkFavourite("tree_genre", "Name='Rock'", "730");
    db.Execute(
        "insert into tree_genre (Name, anzahl, favorit, tstamp) values ('Gone', 1, true, 9)");
    Add({.genre = "Rock"});
    int yields = 0;
    maintenance->SetYield([&] { ++yields; });

    const MaintenanceOutcome outcome = maintenance->UpdateTreeGenre();
    EXPECT_TRUE(outcome.completed);
    EXPECT_FALSE(outcome.Failed()) << outcome.errorText;
    EXPECT_EQ(yields, 1);
    EXPECT_EQ(Rows(db, "select * from tree_genre order by Name"),
              "Pop|2|Tree.Genre|<null>|0\nRock|3|Tree.Genre|730|-1\n");
    EXPECT_FALSE(FavouritesFileLeft());
}

// Every text comes back from the favourites file as it was saved, and the restore matches it
// with '=' whatever characters it holds.
TEST_F(FlatTrees, RestoresFavouritesWhateverTheirNamesHold) {
    const std::string names[] = {"Guns N' Roses", "Say \"Hi\"",        "Tab\there",
                                 "Two\nLines",    "Back\\slash,comma", "Ærøskøbing 東京 🎵",
                                 "table"};
    for (const std::string& name : names) Add({.interpret = name, .genre = "X"});
    maintenance->UpdateTreeInterpret();
    maintenance->UpdateTreeGenre();
    for (const std::string& name : names) {
        MarkFavourite("tree_interpret", "Name=" + Text(name), "1");
        MarkFavourite("tree_genre_interpret", "Name=" + Text(name), "2");
    }
    EXPECT_FALSE(maintenance->UpdateTreeInterpret().Failed());
    EXPECT_FALSE(maintenance->UpdateTreeGenre().Failed());
    for (const std::string& name : names) {
        EXPECT_EQ(Rows(db, "select favorit, tstamp from tree_interpret where Name=" + Text(name)),
                  "-1|1\n")
            << name;
        EXPECT_EQ(Rows(db, "select favorit from tree_genre_interpret where Name=" + Text(name)),
                  "-1\n")
            << name;
    }
}

// Old libraries hold names with NUL characters; a statement's text cannot carry one as it is.
TEST_F(FlatTrees, RestoresAFavouriteWhoseNameHoldsANul) {
    const std::string name("Nul\0Byte", 8);
    {
        platform::Recordset rs = db.OpenRecordset("db_all");
        rs.AddNew();
        rs["Titel"].SetValue(platform::Value::FromText("t"));
        rs["Interpret"].SetValue(platform::Value::FromText(name));
        rs["DEL"].SetValue(platform::Value::FromBoolean(false));
        rs.Update();
    }
    maintenance->UpdateTreeInterpret();
    {
        platform::Recordset rs = db.OpenRecordset("tree_interpret");
        for (; !rs.Eof(); rs.MoveNext()) {
            if (rs["Name"].Value().ToText() != name) continue;
            rs.Edit();
            rs["favorit"].SetValue(platform::Value::FromBoolean(true));
            rs.Update();
        }
    }
    ASSERT_EQ(Favourites("tree_interpret"), name + "|1|Tree.Interpret|<null>|-1\n");
    const MaintenanceOutcome outcome = maintenance->UpdateTreeInterpret();
    EXPECT_FALSE(outcome.Failed()) << outcome.errorNumber << " " << outcome.errorText;
    EXPECT_EQ(Favourites("tree_interpret"), name + "|1|Tree.Interpret|<null>|-1\n");
}

TEST_F(FlatTrees, MatchesGenreAndArtistFavouritesOnBothColumns) {
    maintenance->UpdateTreeGenre();
    maintenance->UpdateTreeAlbum();
    MarkFavourite("tree_genre_interpret", "Genre='Rock' and Name='Queen'", "7");
    MarkFavourite("tree_album", "1=1", "1");  // another table's marks stay where they are
    EXPECT_FALSE(maintenance->UpdateTreeGenre().Failed());
    EXPECT_EQ(Favourites("tree_genre_interpret"), "Rock|Queen|2|Tree.Interpret|7|-1\n");
}

TEST_F(FlatTrees, FailingRefillKeepsTheOldRowsAndFavourites) {
    maintenance->UpdateTreeAlbum();
    MarkFavourite("tree_album", "Name='Jazz'", "3");
    db.QueryDefs().Delete("UPDATE_TREE_ALBUM");  // the refill fails after the table was emptied

    const MaintenanceOutcome outcome = maintenance->UpdateTreeAlbum();
    EXPECT_FALSE(outcome.completed);
    EXPECT_NE(outcome.errorNumber, 0);
    EXPECT_EQ(Rows(db, "select Name, favorit, tstamp from tree_album order by Name"),
              "Erotica|0|<null>\nHits|0|<null>\nJazz|-1|3\n");
    EXPECT_FALSE(FavouritesFileLeft());
}

TEST_F(FlatTrees, ColumnTreeTouchesOnlyItsTable) {
    Add({.user1 = "Party"}, 2);
    Add({.user1 = "Party table"});
    db.Execute("insert into tree_Situation (name, anzahl) values ('keep', 1)");
    maintenance->UpdateTreeTable("User1");
    MarkFavourite("tree_User1", "name='Party table'", "4");
    const MaintenanceOutcome outcome = maintenance->UpdateTreeTable("User1");
    EXPECT_FALSE(outcome.Failed()) << outcome.errorText;
    EXPECT_EQ(Rows(db, "select * from tree_User1 order by name"),
              "Party|2|Tree.User1|<null>|0\nParty table|1|Tree.User1|4|-1\n");
    EXPECT_EQ(Rows(db, "select name from tree_Situation"), "keep\n");
}

TEST_F(FlatTrees, ColumnTreeRefusesANameThatIsNoPlainColumn) {
    for (const std::string bad : {"", "User1 where 1=1 --", "User1'", "db_all.User1"}) {
        EXPECT_EQ(JetErrorOf([&] { maintenance->UpdateTreeTable(bad); }),
                  platform::jet::kInvalidArgument)
            << bad;
    }
}

// A tree table without a library column of that name: the refill fails after the delete and
// the failure reaches the caller, with the table as it was.
TEST_F(FlatTrees, FailingColumnTreeReachesTheCallerAndKeepsTheTable) {
    db.Execute(
        "insert into tree_importdate (name, anzahl, favorit, tstamp) "
        "values ('01.01.2005', 1, true, 8)");
    EXPECT_EQ(JetErrorOf([&] { maintenance->UpdateTreeTable("importdate"); }),
              platform::jet::kTooFewParameters);
    EXPECT_FALSE(FavouritesFileLeft());
    EXPECT_EQ(Rows(db, "select name, favorit, tstamp from tree_importdate"), "01.01.2005|-1|8\n");
}

TEST_F(FlatTrees, ImportDateTreeHasOneRowPerDayInDayOrder) {
    db.Execute("delete from db_all");
    Add({.imported = "#2005-01-01 10:00#"}, 2);
    Add({.imported = "#2004-12-31 23:59#"});
    Add({.deleted = true, .imported = "#2005-03-03#"});
    Add({.imported = "Null"});
    const MaintenanceOutcome outcome = maintenance->UpdateTreeTableImportDate();
    EXPECT_EQ(outcome.rowsWritten, 2);
    EXPECT_EQ(Rows(db, "tree_importdate"),
              "31.12.2004|1|Tree.Imprtdate|<null>|0\n01.01.2005|2|Tree.Imprtdate|<null>|0\n");
    EXPECT_FALSE(FavouritesFileLeft());
}

TEST_F(FlatTrees, UnopenableDatabaseIsReportedAndLeavesNoFile) {
    maintenance->SetDbName(dataPath + "/missing.mdb");
    for (auto op :
         {&maintenance::UpdateDB::UpdateTreeGenre, &maintenance::UpdateDB::UpdateTreeAlbum,
          &maintenance::UpdateDB::UpdateTreeInterpret, &maintenance::UpdateDB::UpdatePlnameCount}) {
        const MaintenanceOutcome outcome = (maintenance.get()->*op)();
        EXPECT_FALSE(outcome.completed);
        EXPECT_EQ(outcome.errorNumber, platform::jet::kFileNotFound);
    }
    EXPECT_EQ(JetErrorOf([&] { maintenance->UpdateTreeTable("User1"); }),
              platform::jet::kFileNotFound);
    EXPECT_EQ(JetErrorOf([&] { maintenance->UpdateTreeTableImportDate(); }),
              platform::jet::kFileNotFound);
    EXPECT_FALSE(FavouritesFileLeft());
}

}  // namespace
