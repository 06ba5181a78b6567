// Whole runs from the real Jet fixtures: every table's rows and values in the target, the log,
// the progress bar, the playlist counts, the compaction. (The tree rebuilds have their own tests
// in maintenance.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>

#include "FixtureJson.h"
#include "MigrationFixture.h"

namespace migration {
namespace {

namespace fs = std::filesystem;
using platform::Value;
using testing_support::FileBytes;
using testing_support::Json;
using testing_support::JsonParser;
using testing_support::MigrationTest;
using testing_support::Mismatch;

// Every row of a target table in key order, each as column name → value.
std::vector<std::map<std::string, Value>> TargetRows(const std::string& path,
                                                     const std::string& select) {
    platform::Database db = platform::DBEngine::Instance().OpenDatabase(path);
    platform::Recordset rs = db.OpenRecordset(select);
    std::vector<std::map<std::string, Value>> rows;
    for (; !rs.Eof(); rs.MoveNext()) {
        std::map<std::string, Value> row;
        for (platform::Field& f : rs.Fields()) row[f.Name()] = f.Value();
        rows.push_back(std::move(row));
    }
    return rows;
}

struct LibraryCase {
    const char* name;
    bool hasSid;
    long titles, playlists, groups, edits, stats, mixsets, entries;
};

class FixtureRun : public MigrationTest, public ::testing::WithParamInterface<LibraryCase> {
  protected:
    void SetUp() override {
        json = JsonParser::Load(std::string(SONAVOXA_FIXTURES) + "/jet/" + GetParam().name +
                                ".json")["tables"];
        oldPath = OldFixture(std::string(GetParam().name) + ".mdb");
        oldBytes = FileBytes(oldPath);
        Start();
        struct stat st {};
        ::stat(TargetPath().c_str(), &st);
        targetInodeBefore = st.st_ino;
        Migrate(oldPath);
    }

    // Compares every JSON row of `table` with the target's row at the same position; columns
    // listed in `skip` are left to the caller.
    void ExpectRowsAsInTheOldFile(const std::string& table, const std::string& key,
                                  const std::set<std::string>& skip = {}) {
        SCOPED_TRACE(table);
        const Json& want = json[table]["rows"];
        const auto got = TargetRows(TargetPath(), "select * from " + table + " order by " + key);
        ASSERT_GE(got.size(), want.items.size());
        for (size_t r = 0; r < want.items.size(); ++r) {
            for (const auto& [column, value] : want.items[r].members) {
                if (skip.count(column)) continue;
                const auto it = got[r].find(column);
                ASSERT_NE(it, got[r].end()) << column;
                const std::string why = Mismatch(it->second, value);
                EXPECT_TRUE(why.empty()) << key << " row " << r << " " << column << ": " << why;
            }
        }
    }

    Json json;
    std::string oldPath;
    std::string oldBytes;
    ino_t targetInodeBefore = 0;
};

TEST_P(FixtureRun, LogsEveryTableWithItsCountAndEndsCompactedWithTheWindowAtRest) {
    const LibraryCase& c = GetParam();
    EXPECT_EQ(port.log, "Übernehme MP3 Dateiinformationen " + std::to_string(c.titles) +
                            "\r\nÜbernehme Playlistnamen " + std::to_string(c.playlists) +
                            "\r\nÜbernehme Gruppennamen " + std::to_string(c.groups) +
                            "\r\nÜbernehme Vor kurzem bearbeitet " + std::to_string(c.edits) +
                            "\r\nÜbernehme Statistikdaten " + std::to_string(c.stats) +
                            "\r\nÜbernehme Mixstyles " + std::to_string(c.mixsets) +
                            "\r\nÜbernehme Playlistinformationen " + std::to_string(c.entries) +
                            "\r\nAktualisiere Datenbank\r\nDatenübername komplett.\r\n");
    EXPECT_FALSE(form->LastRun().Failed());
    EXPECT_FALSE(fs::exists(DataFolder() + "/temp.mdb"));
    EXPECT_FALSE(fs::exists(DataFolder() + "/" + kRunMarkerName));
    EXPECT_TRUE(form->LastRun().compacted);
    struct stat st {};
    ASSERT_EQ(::stat(TargetPath().c_str(), &st), 0);
    EXPECT_NE(st.st_ino, targetInodeBefore);  // the compacted copy took the target's place
    EXPECT_FALSE(port.startEnabled);
    EXPECT_FALSE(port.busy);
    EXPECT_EQ(port.progressValue, 0);
    EXPECT_FALSE(form->Running());
    EXPECT_EQ(FileBytes(oldPath), oldBytes);  // the old file is only read
}

TEST_P(FixtureRun, TitlesArriveWithTheirGenreNameAndEmptyNewColumns) {
    ExpectRowsAsInTheOldFile("db_all", "FID", {"Genre_ID"});
    std::map<int64_t, std::string> genres;
    for (const Json& g : json["genre"]["rows"].items) {
        genres[static_cast<int64_t>(g["genre_id"].number)] = g["name"].text;
    }
    const auto got = TargetRows(TargetPath(), "select * from db_all order by FID");
    const Json& want = json["db_all"]["rows"];
    ASSERT_EQ(got.size(), want.items.size());
    int withoutGenre = 0;
    for (size_t r = 0; r < got.size(); ++r) {
        const auto genre = genres.find(static_cast<int64_t>(want.items[r]["Genre_ID"].number));
        if (genre == genres.end()) {
            ++withoutGenre;  // carried across all the same, with no genre
            EXPECT_TRUE(got[r].at("Genre").IsNull()) << r;
        } else {
            EXPECT_EQ(got[r].at("Genre").ToDisplayText(), genre->second);
        }
        for (const char* column : {"Favorit", "Image", "Situation", "Tempo", "Stimmung",
                                   "Kategorie", "User1", "User2", "User3", "User4", "User5"}) {
            EXPECT_TRUE(got[r].at(column).IsNull()) << column;
        }
    }
    EXPECT_EQ(withoutGenre, 1);
}

TEST_P(FixtureRun, SmallTablesArriveUnchanged) {
    ExpectRowsAsInTheOldFile("pl_group", "GRID");
    ExpectRowsAsInTheOldFile("db_edit", "EID");
    ExpectRowsAsInTheOldFile("pl_stat", "STID");
    ExpectRowsAsInTheOldFile("PL_MIXSETS", "MSID");
}

TEST_P(FixtureRun, PlaylistEntriesGetTheirMixTextsRewritten) {
    ExpectRowsAsInTheOldFile("pl_all", "PID", {"mixin", "mixout"});
    const auto got = TargetRows(TargetPath(), "select * from pl_all order by PID");
    const Json& want = json["pl_all"]["rows"];
    ASSERT_EQ(got.size(), want.items.size());
    const std::map<std::string, std::string> rewritten = {
        {"-1,5,,,,", "0,5"}, {"-12", "02"}, {",,,,,,", ",,"}, {"3,4", "3,4"}, {"", ""}};
    for (size_t r = 0; r < got.size(); ++r) {
        for (const char* column : {"mixin", "mixout"}) {
            const Json& old = want.items[r][column];
            if (old.kind == Json::Null) {
                EXPECT_TRUE(got[r].at(column).IsNull());
                continue;
            }
            ASSERT_TRUE(rewritten.count(old.text)) << old.text;
            EXPECT_EQ(got[r].at(column).ToDisplayText(), rewritten.at(old.text)) << r << column;
        }
    }
}

TEST_P(FixtureRun, PlaylistsGetSicherungJinglelisteAndRecountedEntries) {
    ExpectRowsAsInTheOldFile("pl_name", "NID", {"anzahl", "UpdateTime"});
    std::map<int64_t, long> entries;
    for (const Json& e : json["pl_all"]["rows"].items)
        ++entries[static_cast<int64_t>(e["pnid"].number)];
    const auto got = TargetRows(TargetPath(), "select * from pl_name order by NID");
    const Json& want = json["pl_name"]["rows"];
    ASSERT_EQ(got.size(), want.items.size() + 1);
    for (size_t r = 0; r < want.items.size(); ++r) {
        SCOPED_TRACE(want.items[r]["name"].text);
        EXPECT_EQ(got[r].at("sicherung").ToBoolean(), GetParam().hasSid);
        if (want.items[r]["anzahl"].kind == Json::Null) {
            EXPECT_TRUE(got[r].at("anzahl").IsNull());
        } else {
            EXPECT_EQ(got[r].at("anzahl").ToInteger(),
                      entries[static_cast<int64_t>(want.items[r]["NID"].number)]);
        }
    }
    const auto& jingle = got.back();
    EXPECT_EQ(jingle.at("name").ToDisplayText(), "Jingleliste");
    EXPECT_TRUE(jingle.at("isplay").ToBoolean());
    EXPECT_TRUE(jingle.at("activ").ToBoolean());
    EXPECT_EQ(jingle.at("grid").ToInteger(), -1);
    EXPECT_FALSE(jingle.at("sicherung").ToBoolean());
    EXPECT_EQ(jingle.at("anzahl").ToInteger(), 0);
}

TEST_P(FixtureRun, ProgressCountsRowsThenTheMaintenanceStepsAndYieldsOncePerStep) {
    const LibraryCase& c = GetParam();
    std::vector<std::string> expected;
    int value = 0;
    for (long n : {c.titles, c.playlists, c.groups, c.edits, c.stats, c.mixsets, c.entries}) {
        expected.push_back("max " + std::to_string(n));
        if (value > n) expected.push_back("value " + std::to_string(value = static_cast<int>(n)));
        for (long i = 0; i < n; ++i)
            expected.push_back("value " + std::to_string(value = static_cast<int>(i)));
    }
    for (const char* e : {"value 0", "value 0", "max 5", "value 1", "value 2", "value 3", "value 4",
                          "value 5", "value 0"}) {
        expected.push_back(e);
    }
    EXPECT_EQ(port.ProgressEvents(), expected);
    // It yields once at the start, per table, per row and per tree rebuild.
    const long rows = c.titles + c.playlists + c.groups + c.edits + c.stats + c.mixsets + c.entries;
    EXPECT_EQ(port.yields, 1 + 7 + rows + 4);
    // The button is off and the pointer busy before the first yield.
    const auto first = [&](const std::string& e) {
        return std::find(port.events.begin(), port.events.end(), e) - port.events.begin();
    };
    EXPECT_LT(first("start off"), first("yield"));
    EXPECT_LT(first("busy"), first("yield"));
}

INSTANTIATE_TEST_SUITE_P(Migration, FixtureRun,
                         ::testing::Values(LibraryCase{"library-2.5", true, 44, 4, 3, 5, 6, 3, 30},
                                           LibraryCase{"library-2.5-nosid", false, 10, 3, 2, 3, 4,
                                                       2, 12}),
                         [](const ::testing::TestParamInfo<LibraryCase>& param) {
                             return std::string(param.param.hasSid ? "WithSid" : "WithoutSid");
                         });

}  // namespace
}  // namespace migration
