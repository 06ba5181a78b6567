// The stored queries of the shipped sonavoxa.mdb on a small library whose answers are known.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

// A copy of the shipped database with the tree tables that the side-database check would
// link in, made here as local tables from their templates, and ten titles.
class StoredQueries : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(SONAVOXA_PROGRAM_DIR) + "/sonavoxa.mdb",
                                   folder_ / "s.mdb");
        db_ = DBEngine::Instance().OpenDatabase(folder_ / "s.mdb");
        CloneTemplate("x_TREE_GENRE", "TREE_GENRE");
        CloneTemplate("x_TREE_GENRE_INTERPRET", "TREE_GENRE_INTERPRET");
        CloneTemplate("x_tree_album", "TREE_ALBUM");
        CloneTemplate("x_TREE_INTERPRET", "TREE_INTERPRET");
        // FID, Titel, Interpret, Album, Genre, Path, DriveTyp, DriveName, DEL
        const char* titles[] = {
            "1, 'Eins', 'Die Ärzte', 'Album A', 'Rock', 'C:\\Music\\Rock\\', 3, 'SYSTEM', false",
            "2, 'Zwei', 'Die Ärzte', 'Album A', 'Rock', 'C:\\Music\\Rock\\', 3, 'SYSTEM', false",
            "3, 'Drei', 'Guns N'' Roses', 'Use Your Illusion', 'Rock', 'C:\\Music\\Rock\\Guns\\', "
            "3, 'SYSTEM', false",
            "4, 'Vier', 'Madonna', '', 'Pop', 'C:\\Music\\Pop\\', 3, 'SYSTEM', false",
            "5, 'Fünf', 'Madonna', null, 'Pop', 'C:\\Music_Pop\\', 3, 'SYSTEM', false",
            "6, 'Sechs', '', 'Album B', '', 'E:\\Hits\\', 4, 'MIX02', false",
            "7, 'Sieben', null, 'Album B', null, 'E:\\Hits\\', 4, 'MIX03', false",
            "8, 'Acht', 'Queen', 'Jazz', 'Rock', '\\\\srv\\share\\Hits\\', 4, 'MIX01', false",
            "9, 'Neun', 'Queen', 'Jazz', 'Rock', 'C:\\Music\\Rock\\', 3, 'SYSTEM', true",
            "10, 'Zehn', 'Nena', '99 Luftballons', 'Pop', 'D:\\', 3, 'DATEN', true",
        };
        for (const char* t : titles) {
            ASSERT_EQ(
                db_.Execute(
                    std::string("insert into db_all (FID, Titel, Interpret, Album, Genre, Path,"
                                " DriveTyp, DriveName, DEL) values (") +
                    t + ")"),
                1)
                << t;
        }
    }

    void CloneTemplate(const std::string& from, const std::string& to) {
        TableDef source = db_.TableDefs().Item(from);
        TableDef copy = db_.CreateTableDef(to);
        for (const Field& f : source.Fields()) {
            Field field = copy.CreateField(f.Name(), f.Type(), f.Size());
            field.SetDefaultValue(f.DefaultValue());
            field.SetAllowZeroLength(f.AllowZeroLength());
            copy.Fields().Append(field);
        }
        for (const Index& i : source.Indexes()) copy.Indexes().Append(i);
        db_.TableDefs().Append(copy);
    }

    TempFolder folder_;
    Database db_;
};

}  // namespace

TEST_F(StoredQueries, TreeDirGivesOneRowPerFolderAndVolumeOfTitlesNotDeleted) {
    // D:\ holds only a deleted title; E:\Hits\ lies on two volumes. The engine orders text
    // without regard to case, so the server path (backslash) comes before the drive letters.
    EXPECT_EQ(Rows(db_, "v_tree_dir"),
              "\\\\srv\\share\\Hits\\|MIX01|4|1\n"
              "C:\\Music\\Pop\\|SYSTEM|3|1\n"
              "C:\\Music\\Rock\\|SYSTEM|3|2\n"
              "C:\\Music\\Rock\\Guns\\|SYSTEM|3|1\n"
              "C:\\Music_Pop\\|SYSTEM|3|1\n"
              "E:\\Hits\\|MIX02|4|1\n"
              "E:\\Hits\\|MIX03|4|1\n");
    Recordset rs = db_.OpenRecordset("v_tree_dir");
    std::vector<std::string> names;
    for (Field& f : rs.Fields()) names.push_back(f.Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Path", "DriveName", "DriveTyp", "anzahl"}));
}

TEST_F(StoredQueries, DirCountTakesAJetPatternAndSkipsDeletedTitles) {
    struct Case {
        const char* pattern;
        long count;
    };
    const Case cases[] = {
        {"C:\\*", 5},
        {"C:\\Music\\*", 4},  // not C:\Music_Pop\: '_' is no wildcard in Jet
        {"C:\\Music\\Rock\\*", 3},
        {"C:\\Music\\Rock\\", 2},  // without a star: that folder alone
        {"D:\\*", 0},              // deleted titles only
        {"E:\\Hits\\*", 2},        // both volumes
        {"\\\\srv\\*", 1},
    };
    QueryDef q = db_.QueryDefs().Item("QU_UpadateTreeDirAnzahl");
    for (const Case& c : cases) {
        q.Parameters().Item("sPath").SetValue(Value::FromText(c.pattern));
        Recordset rs = q.OpenRecordset(dbOpenSnapshot);
        ASSERT_FALSE(rs.Eof()) << c.pattern;
        EXPECT_EQ(rs["anz"].Value().ToInteger(), c.count) << c.pattern;
        rs.MoveNext();
        EXPECT_TRUE(rs.Eof());
    }
}

TEST_F(StoredQueries, TreeAppendsFillOneRowPerNonEmptyValueOfTitlesNotDeleted) {
    struct Case {
        const char* query;
        const char* select;
        long added;
        const char* rows;
    };
    const Case cases[] = {
        {"UPDATE_TREE_GENRE", "select Name, anzahl, imgkey, favorit from tree_genre order by Name",
         2, "Pop|2|Tree.Genre|0\nRock|4|Tree.Genre|0\n"},
        {"UPDATE_TREE_GENRE_interpret",
         "select Genre, Name, anzahl, imgkey, favorit from tree_genre_interpret order by Genre, "
         "Name",
         4,
         "Pop|Madonna|2|Tree.Interpret|0\nRock|Die Ärzte|2|Tree.Interpret|0\n"
         "Rock|Guns N' Roses|1|Tree.Interpret|0\nRock|Queen|1|Tree.Interpret|0\n"},
        {"UPDATE_TREE_ALBUM", "select Name, anzahl, imgkey, favorit from tree_album order by Name",
         4,
         "Album A|2|Tree.Album|0\nAlbum B|2|Tree.Album|0\nJazz|1|Tree.Album|0\n"
         "Use Your Illusion|1|Tree.Album|0\n"},
        {"UPDATE_TREE_interpret",
         "select Name, anzahl, imgkey, favorit from tree_interpret order by Name", 4,
         "Die Ärzte|2|Tree.Interpret|0\nGuns N' "
         "Roses|1|Tree.Interpret|0\nMadonna|2|Tree.Interpret|0\n"
         "Queen|1|Tree.Interpret|0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(db_.Execute(c.query), c.added);
        EXPECT_EQ(Rows(db_, c.select), c.rows);
    }
}
