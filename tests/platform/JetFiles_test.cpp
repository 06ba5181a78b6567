// The engine on real Jet 4 files: read through the same API and SQL, never written.
#include <gtest/gtest.h>

#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"

using namespace platform;
using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Padded(const std::string& piece, size_t blanks) { return piece + std::string(blanks, ' '); }

// The migration's title query: nine pieces of 124 characters each.
std::string TitleQuery() {
    return Padded("select db_all.[FID],db_all.[Titel],db_all.[Interpret],db_all.[Kommentar],db_all.[Album],db_all.[Jahr], genre.name as Genre ,", 0) +
           Padded("db_all.[Path],db_all.[DName],db_all.[DTimeMsec],db_all.[DTime],db_all.[DLen],db_all.[DTSDatei],db_all.[DTSImport],", 10) +
           Padded("db_all.[DKhz],db_all.[DBit],db_all.[BPM],db_all.[DEL],db_all.[Play],db_all.[PlayCountDay],db_all.[PlayCountAll],", 12) +
           Padded("db_all.[Note],db_all.[Track],db_all.[FrameStart],db_all.[FrameStop],db_all.[Normalize],db_all.[Volume],", 21) +
           Padded("db_all.[Pitch],db_all.[DriveTyp],db_all.[DriveName],db_all.[MixTime],db_all.[MixIn],db_all.[MixOut],", 24) +
           Padded("db_all.[EQ], null as Favorit,null as Image, null as Situation, null as Tempo, null as Stimmung,", 29) +
           Padded("null as Kategorie, null as User1, null as User2, null as User3, null as User4, null as User5", 32) +
           Padded("from db_all , genre", 105) + Padded("where db_all.Genre_ID=genre.genre_id", 88);
}

const char* const kJetFixtures[] = {
    "library-2.5.mdb", "library-2.5-nosid.mdb", "no-version-table.mdb", "version-2.0.mdb",
    "version-2.5.1.mdb", "version-2.mdb", "version-3.4.mdb", "version-5.mdb",
    "version-empty-table.mdb", "version-null.mdb",
};

}  // namespace

TEST(JetFiles, TitleQueryReadsTheOldLibraryWithItsGenres) {
    const std::string query = TitleQuery();
    ASSERT_EQ(query.size(), 1116u);
    Database db = DBEngine::Instance().OpenDatabase(FixturePath("jet/library-2.5.mdb"));
    Recordset rs = db.OpenRecordset(query);
    ASSERT_EQ(rs.Fields().Count(), 45u);
    EXPECT_EQ(rs.Fields()[6].Name(), "Genre");
    EXPECT_EQ(rs.Fields()[44].Name(), "User5");
    std::vector<int64_t> fids;
    while (!rs.Eof()) {
        fids.push_back(rs["FID"].Value().AsInteger());
        const int64_t fid = fids.back();
        EXPECT_EQ(rs["DEL"].Value().Kind(), ValueKind::Boolean);
        EXPECT_EQ(rs["DTSImport"].Value().Kind(), ValueKind::Date);
        EXPECT_TRUE(rs["Favorit"].Value().IsNull());
        if (fid == 45) {
            EXPECT_TRUE(rs["Interpret"].Value().IsNull());
        }
        if (fid == 46) {
            EXPECT_EQ(rs["Interpret"].Value().Kind(), ValueKind::Text);
            EXPECT_EQ(rs["Interpret"].Value().AsText(), "");
        }
        EXPECT_EQ(rs["DEL"].Value().AsBoolean(), fid == 11 || fid == 36 || fid == 43) << fid;
        rs.MoveNext();
    }
    // 44 titles, of which FID 42 has no genre row.
    EXPECT_EQ(fids.size(), 43u);
    EXPECT_EQ(std::count(fids.begin(), fids.end(), 42), 0);
    EXPECT_EQ(Rows(db, "select count(*) as n from db_all where Interpret like '*Ärzte*'"), "4\n");
    EXPECT_EQ(Rows(db, "select count(*) as n from db_all where Path like 'C:\\Music\\*'"), "30\n");
    EXPECT_EQ(Rows(db, "select count(*) as n from db_all where Path like '\\\\srv\\*'"), "4\n");
    EXPECT_EQ(Rows(db, "select count(*) as n from db_all where format(DTSImport, 'yyyymmdd') = '20050303'"), "21\n");
    EXPECT_EQ(Rows(db, "select name, anzahl from pl_name order by NID"),
              "Party Hits|10\nRock Klassiker|12\nChillout|<null>\nOhne Gruppe|0\n");
}

TEST(JetFiles, EveryFixtureOpensReadOnlyAndStaysByteForByteTheSame) {
    for (const char* name : kJetFixtures) {
        const std::string path = FixturePath(std::string("jet/") + name);
        const std::string before = FileBytes(path);
        {
            Database db = DBEngine::Instance().OpenDatabase(path);
            EXPECT_TRUE(db.ReadOnly()) << name;
            EXPECT_EQ(Rows(db, "select count(*) as n from genre").empty(), false) << name;
            EXPECT_EQ(JetErrorOf([&] { db.Execute("delete from genre"); }), jet::kReadOnly) << name;
            EXPECT_EQ(JetErrorOf([&] { db.Execute("CREATE TABLE x (a LONG)"); }), jet::kReadOnly) << name;
            Recordset rs = db.OpenRecordset("genre");
            EXPECT_EQ(JetErrorOf([&] { rs.AddNew(); }), jet::kReadOnly) << name;
            EXPECT_EQ(JetErrorOf([&] { rs.Edit(); }), jet::kReadOnly) << name;
        }
        EXPECT_EQ(FileBytes(path), before) << name;
    }
}

TEST(JetFiles, StructureShowsTypesSizesAndIndexes) {
    Database db = DBEngine::Instance().OpenDatabase(FixturePath("jet/library-2.5.mdb"));
    TableDef titles = db.TableDefs().Item("db_all");
    ASSERT_EQ(titles.Fields().Count(), 34u);
    EXPECT_EQ(titles.Fields()[0].Name(), "FID");
    EXPECT_EQ(titles.Fields()[0].Type(), dbLong);
    EXPECT_EQ(titles.Fields()[0].Attributes() & dbAutoIncrField, dbAutoIncrField);
    EXPECT_EQ(titles.Fields().Item("Titel").Type(), dbText);
    EXPECT_EQ(titles.Fields().Item("Titel").Size(), 255);
    EXPECT_EQ(titles.Fields().Item("Jahr").Size(), 10);
    EXPECT_EQ(titles.Fields().Item("BPM").Type(), dbSingle);
    EXPECT_EQ(titles.Fields().Item("Note").Type(), dbInteger);
    EXPECT_EQ(titles.Fields().Item("DTSImport").Type(), dbDate);
    EXPECT_EQ(titles.Fields().Item("DEL").Type(), dbBoolean);
    EXPECT_TRUE(titles.Indexes().Item("PrimaryKey").Primary());
    EXPECT_EQ(titles.Indexes().Item("PrimaryKey").Fields()[0].Name, "FID");
    EXPECT_EQ(titles.Indexes().Count(), 3u);
    EXPECT_EQ(db.TableDefs().Item("pl_name").Fields().Count(), 8u);  // with sid
    Database nosid = DBEngine::Instance().OpenDatabase(FixturePath("jet/library-2.5-nosid.mdb"));
    EXPECT_EQ(nosid.TableDefs().Item("pl_name").Fields().Count(), 7u);
}

TEST(JetFiles, CompactionConvertsAJetFileIntoAnEngineFile) {
    TempFolder folder;
    const std::string jet = FixturePath("jet/library-2.5.mdb");
    DBEngine::Instance().CompactDatabase(jet, folder / "converted.mdb");
    Database from = DBEngine::Instance().OpenDatabase(jet);
    Database to = DBEngine::Instance().OpenDatabase(folder / "converted.mdb");
    EXPECT_FALSE(to.ReadOnly());
    for (const char* table : {"db_all", "genre", "pl_group", "pl_name", "pl_all", "db_edit", "pl_stat", "PL_MIXSETS", "db_version"}) {
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
    EXPECT_EQ(JetErrorOf([] { DBEngine::Instance().OpenDatabase(FixturePath("jet/not-a-database.mdb")); }),
              jet::kUnrecognizedFormat);
    const fs::path broken = FixturePath("jet-broken");
    ASSERT_TRUE(fs::is_directory(broken));
    for (const auto& entry : fs::directory_iterator(broken)) {
        const std::string path = entry.path().string();
        const std::string before = FileBytes(path);
        EXPECT_NE(JetErrorOf([&] {
                      Database db = DBEngine::Instance().OpenDatabase(path);
                      for (const auto& name : db.TableDefs().Names()) Rows(db, "select * from [" + name + "]");
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
