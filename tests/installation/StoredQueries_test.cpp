// The shipped sonavoxa.mdb's folder queries on a small library whose answers are known.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;

namespace {

// A copy of the shipped database with ten titles. (The tree appends run end to end in the
// maintenance and migration tests.)
class StoredQueries : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = DBEngine::Instance().OpenDatabase(CopyOfShippedDatabase(folder_ / "s.mdb"));
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
