// make-library's generator: deterministic, valid format 2.5, and varied where the migration
// has to be careful.
#include "tools/LibraryGenerator.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"
#include "support/Formats.h"

using namespace platform;
using namespace testing_support;
using tools::LibraryGenerator;
using tools::LibraryOptions;

namespace {

// Every row of every table of format 2.5, in key order.
std::string Dump(const std::string& path) {
    Database db = DBEngine::Instance().OpenDatabase(path);
    std::string out;
    for (const auto& t : installation_test::Format25Tables(true)) {
        const std::string order = t.indexes.empty() ? "" : " order by " + t.indexes[0].fields[0];
        out += t.name + "\n" + Rows(db, "select * from [" + t.name + "]" + order);
    }
    return out;
}

}  // namespace

TEST(LibraryGenerator, SameOptionsGiveTheSameRowsAndAnotherSeedOthers) {
    TempFolder folder;
    LibraryGenerator({300, 7, true}).Write(folder / "a.mdb");
    LibraryGenerator({300, 7, true}).Write(folder / "b.mdb");
    LibraryGenerator({300, 8, true}).Write(folder / "c.mdb");
    const std::string a = Dump(folder / "a.mdb");
    EXPECT_EQ(a, Dump(folder / "b.mdb"));
    EXPECT_NE(a, Dump(folder / "c.mdb"));
    EXPECT_EQ(JetErrorOf([&] {
                  LibraryGenerator({10, 1, true}).Write(folder / "a.mdb");
              }),
              jet::kDatabaseExists);
}

// Benchmarks ask for playlist entries in proportion to the titles; the titles stay as asked.
TEST(LibraryGenerator, EntriesOptionFillsMorePlaylistsOfTheUsualLengths) {
    TempFolder folder;
    const tools::LibrarySummary usual = LibraryGenerator({6000, 3, true}).Write(folder / "a.mdb");
    const tools::LibrarySummary many =
        LibraryGenerator({6000, 3, true, 9000}).Write(folder / "b.mdb");
    EXPECT_EQ(many.titles, usual.titles);
    EXPECT_LT(usual.entries, 1000);
    EXPECT_GT(many.entries, 9000 * 8 / 10);
    EXPECT_LT(many.entries, 9000 * 12 / 10);
    EXPECT_GT(many.playlists, usual.playlists);
    Database db = DBEngine::Instance().OpenDatabase(folder / "b.mdb");
    EXPECT_EQ(Rows(db, "select count(*) from pl_all"), std::to_string(many.entries) + "\n");
    EXPECT_EQ(
        Rows(db, "select max(c) <= 120 from (select count(*) as c from pl_all group by pnid)"),
        "-1\n");
}

TEST(LibraryGenerator, WritesTheTablesOfFormat25WithOrWithoutSid) {
    for (bool withSid : {true, false}) {
        SCOPED_TRACE(withSid ? "with sid" : "without sid");
        TempFolder folder;
        LibraryGenerator({50, 1, withSid}).Write(folder / "old.mdb");
        Database db = DBEngine::Instance().OpenDatabase(folder / "old.mdb");
        installation_test::ExpectTables(db, installation_test::Format25Tables(withSid));
        EXPECT_EQ(Rows(db, "select Version from db_version"), "2.5\n");
    }
}

// What real libraries hold and the migration and tree rebuilds must carry: each of these
// selects finds at least one row.
TEST(LibraryGenerator, HoldsTheCasesTheMigrationMustCarry) {
    TempFolder folder;
    LibraryGenerator({2000, 1, true}).Write(folder / "old.mdb");
    Database db = DBEngine::Instance().OpenDatabase(folder / "old.mdb");
    const char* present[] = {
        "select FID from db_all where Path like 'C:\\Music\\*\\*\\*\\' and DriveTyp = 3",
        "select FID from db_all where Path like '\\\\srv\\*' and DriveTyp = 4 and DriveName = "
        "'MIX01'",
        "select FID from db_all where Path like 'E:\\Hits\\*' and DriveTyp = 4 and DriveName = "
        "'MIX02'",
        "select FID from db_all where Path like 'D:\\*'",
        "select FID from db_all where Kommentar = ''",
        "select FID from db_all where Kommentar is null",
        "select FID from db_all where Interpret is null and Album is null",
        "select FID from db_all where Interpret like '*ä*' or Interpret like '*ö*' or Interpret "
        "like '*ü*'",
        "select FID from db_all where Interpret like '*''*'",
        "select FID from db_all where Titel like '*''*'",
        "select FID from db_all where DEL = true",
        "select FID from db_all where Genre_ID not in (select genre_id from genre)",
        "select FID from db_all where MixIn = '-1'",
        "select max(FID) from db_all having max(FID) > count(*)",  // gaps in the numbering
        "select max(FID) from db_all having cdbl(max(DTSImport)) - cdbl(min(DTSImport)) > 3",
        "select genre_id from genre where genre_id not in (select genre_id from genre where "
        "genre_id <= 5)",
        "select GRID from pl_group where GRID not in (select grid from pl_name)",  // an empty group
        "select NID from pl_name where grid = -1",
        "select NID from pl_name where anzahl is null",
        "select NID from pl_name where sid is null",
        "select PID from pl_all where mixin = '-1,5,,,,'",
        "select PID from pl_all where mixin = ',,,,,,' or mixout = ',,,,,,'",
        "select PID from pl_all where mixin = '-12' or mixout = '-12'",
        "select PID from pl_all where mixin is null",
        "select PID from pl_all where FID not in (select FID from db_all)",
        "select EID from db_edit",
        "select STID from pl_stat",
        "select MSID from PL_MIXSETS where mixin = ',,,,,,'",
    };
    for (const char* select : present) EXPECT_NE(Rows(db, select), "") << select;
}

TEST(LibraryGenerator, CommandLineWritesTheFileOrRefusesBadArguments) {
    TempFolder folder;
    const std::string tool = std::string(SONAVOXA_BIN_DIR) + "/make-library";
    const std::string out = folder / "old.mdb";
    EXPECT_EQ(
        std::system((tool + " '" + out + "' --titles 40 --seed 3 --no-sid > /dev/null").c_str()),
        0);
    Database db = DBEngine::Instance().OpenDatabase(out);
    EXPECT_EQ(Rows(db, "select count(*) from db_all"), "40\n");
    EXPECT_EQ(db.TableDefs().Item("pl_name").Fields().Find("sid"), nullptr);
    EXPECT_NE(std::system((tool + " 2> /dev/null").c_str()), 0);  // no file named
    for (const char* bad : {" --titles x", " --titles -1", " --seed", " --frobnicate"}) {
        const std::string command =
            tool + " '" + (folder / "other.mdb") + "'" + bad + " 2> /dev/null";
        EXPECT_NE(std::system(command.c_str()), 0) << bad;
    }
    EXPECT_NE(std::system((tool + " '" + out + "' 2> /dev/null").c_str()), 0);  // exists
}
