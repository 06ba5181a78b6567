// Old databases that are damaged or awkward (tests/fixtures/jet-bad, real Jet files): each is
// migrated as far as it can be or refused with a message, the log names what was refused, the
// old file keeps every byte, and the run always ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "MigrationFixture.h"

namespace migration {
namespace {

namespace fs = std::filesystem;
using testing_support::FileBytes;
using testing_support::MigrationTest;
using testing_support::Number;
using testing_support::Rows;

const std::string kBad = std::string(SONAVOXA_FIXTURES) + "/jet-bad/";
const std::string kComplete = "\r\nDatenübername komplett.\r\n";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// How a table of the plan ends up: rows stored in the target, and a part of its log line.
struct TableOutcome {
    const char* table;
    long stored;
    const char* logPart;  // "" when the table's lines must carry no "Fehler in"
};

struct BadCase {
    const char* name;  // the test's name
    const char* file;  // in jet-bad/, or "jet3-flipped-*" made from the Jet 3 sample
    bool accepted;     // false: the choice is refused with "ist keine Sonavoxa Datenbank"
    std::vector<TableOutcome> tables;
    // Where the copy lies under the temporary folder, given the length of that folder's path;
    // by default old/<file>.
    std::string (*where)(size_t prefixLength) = nullptr;
};

// A flipped copy of the Jet 3 sample database, as listed in jet-bad/jet3-flips.txt.
void WriteFlippedJet3(const std::string& name, const std::string& to) {
    std::ifstream list(kBad + "jet3-flips.txt");
    std::string line;
    while (std::getline(list, line)) {
        std::istringstream in(line);
        std::string listed;
        in >> listed;
        if (listed != name) continue;
        std::string bytes = FileBytes(std::string(SONAVOXA_FIXTURES) + "/jet/northwind-jet3.mdb");
        for (size_t offset = 0; in >> offset;) bytes.at(offset) ^= '\xFF';
        std::ofstream(to, std::ios::binary) << bytes;
        return;
    }
    FAIL() << name << " is not in jet3-flips.txt";
}

class BadOldDatabase : public MigrationTest, public ::testing::WithParamInterface<BadCase> {
  protected:
    std::string CopyIn(const std::string& file, std::string (*where)(size_t) = nullptr) {
        const std::string to = temp / (where ? where(temp.Path().size() + 1) : "old/" + file);
        fs::create_directories(fs::path(to).parent_path());
        if (file.rfind("jet3-flipped", 0) == 0) {
            WriteFlippedJet3(file.substr(0, file.size() - 4), to);
        } else {
            fs::copy_file(kBad + file, to);
        }
        return to;
    }
};

TEST_P(BadOldDatabase, IsMigratedAsFarAsItCanBeOrRefusedAndNeverChanged) {
    const BadCase& c = GetParam();
    const std::string old = CopyIn(c.file, c.where);
    const std::string oldBytes = FileBytes(old);
    Start();
    const std::string targetBefore = FileBytes(TargetPath());
    Migrate(old);
    EXPECT_EQ(FileBytes(old), oldBytes) << "the old database was changed";
    EXPECT_FALSE(form->Running());

    if (!c.accepted) {
        ASSERT_EQ(port.messages.size(), 1u) << port.log;
        EXPECT_EQ(port.messages[0].icon, MessageIcon::Critical);
        EXPECT_EQ(port.messages[0].text, old + " ist keine Sonavoxa Datenbank");
        EXPECT_EQ(form->MigPlan().OldDBName(), "");
        EXPECT_EQ(FileBytes(TargetPath()), targetBefore) << "a refused database changed the target";
        return;
    }
    EXPECT_TRUE(port.messages.empty()) << port.messages[0].text;
    EXPECT_EQ(port.oldDatabaseText, old);
    ASSERT_GE(port.log.size(), kComplete.size());
    EXPECT_EQ(port.log.substr(port.log.size() - kComplete.size()), kComplete) << port.log;
    EXPECT_TRUE(form->LastRun().compacted) << port.log;
    for (const TableOutcome& t : c.tables) {
        SCOPED_TRACE(t.table);
        long expected = t.stored;
        if (std::string(t.table) == "pl_name") ++expected;  // the added Jingleliste
        EXPECT_EQ(Number(TargetPath(), std::string("select count(*) from ") + t.table), expected);
        const std::string failure = std::string("Fehler in ") + t.table + ": ";
        if (*t.logPart == '\0') {
            EXPECT_FALSE(Contains(port.log, failure)) << port.log;
        } else {
            EXPECT_TRUE(Contains(port.log, failure)) << port.log;
            EXPECT_TRUE(Contains(port.log, t.logPart)) << port.log;
        }
    }
}

// The generated libraries of jet-bad hold 6 titles, 3 groups, 4 playlists, 3 edits, 5 play
// statistics and 4 mix styles; the playlist entries vary with the seed.
const BadCase kCases[] = {
    {"MissingTables",
     "missing-tables.mdb",
     true,
     {{"db_all", 0, "Lesen der alten Tabelle fehlgeschlagen; erster Fehler 3078"},
      {"pl_name", 0, "Lesen der alten Tabelle fehlgeschlagen"},
      {"pl_group", 0, "Lesen der alten Tabelle fehlgeschlagen"},
      {"pl_all", 0, "Lesen der alten Tabelle fehlgeschlagen"},
      {"db_edit", 3, ""},
      {"pl_stat", 5, ""},
      {"PL_MIXSETS", 4, ""}}},
    {"MissingColumns",
     "missing-columns.mdb",
     true,
     {{"db_all", 6, ""},
      {"pl_name", 4, ""},
      {"pl_group", 3, ""},
      {"db_edit", 3, ""},
      {"pl_stat", 5, ""},
      {"PL_MIXSETS", 4, ""}}},
    {"MissingTitleColumn",
     "missing-title-column.mdb",
     true,
     {{"db_all", 0,
       "Lesen der alten Tabelle fehlgeschlagen; erster Fehler 3061: Too few parameters. "
       "Expected 1. Der alten Tabelle fehlen die Spalten EQ."},
      {"pl_name", 4, ""},
      {"pl_group", 3, ""}}},
    {"TextInNumericColumns",
     "text-in-numbers.mdb",
     true,
     {{"db_all", 6, " Werte nicht übernommen"},
      {"pl_name", 4, " Werte nicht übernommen"},
      {"pl_all", 57, " Werte nicht übernommen"}}},
    {"TextsLongerThanTheTarget",
     "long-texts.mdb",
     true,
     {{"db_all", 6, " Werte nicht übernommen; erster Fehler 3163"},
      {"pl_name", 4, " Werte nicht übernommen; erster Fehler 3163"},
      {"PL_MIXSETS", 4, " Werte nicht übernommen; erster Fehler 3163"},
      {"pl_group", 3, ""}}},
    {"NulRightToLeftAndCombiningTexts",
     "odd-texts.mdb",
     true,
     {{"db_all", 6, ""}, {"pl_name", 4, ""}}},
    {"QuotesAndWildcardsInNames",
     "awkward-names.mdb",
     true,
     {{"db_all", 6, ""}, {"pl_name", 4, ""}, {"pl_group", 3, ""}, {"PL_MIXSETS", 4, ""}}},
    {"Jet4TruncatedAtAPage", "jet4-truncated-at-page.mdb", false, {}},
    {"Jet4TruncatedInsideAPage", "jet4-truncated-inside-page.mdb", false, {}},
    {"Jet4TruncatedAfterTheCatalog", "jet4-truncated-after-catalog.mdb", false, {}},
    {"Jet4FlippedHeader", "jet4-flipped-header.mdb", false, {}},
    {"Jet4FlippedFirstTableDefinition", "jet4-flipped-first-tdef.mdb", true, {}},
    {"Jet4FlippedLastTableDefinition", "jet4-flipped-last-tdef.mdb", true, {}},
    {"Jet4FlippedFirstDataPage", "jet4-flipped-first-data.mdb", true, {}},
    {"Jet4FlippedLastDataPage",
     "jet4-flipped-last-data.mdb",
     true,
     {{"PL_MIXSETS", 0, "Lesen der alten Tabelle fehlgeschlagen; erster Fehler 3049"},
      {"db_all", 6, ""},
      {"pl_stat", 5, ""}}},
    {"Jet4FlippedIndexPage", "jet4-flipped-index.mdb", true, {}},
    {"Jet3TruncatedAtAPage", "jet3-truncated-at-page.mdb", false, {}},
    {"Jet3TruncatedInsideAPage", "jet3-truncated-inside-page.mdb", false, {}},
    {"Jet3TruncatedAfterTheCatalog", "jet3-truncated-after-catalog.mdb", false, {}},
    {"Jet3FlippedHeader", "jet3-flipped-header.mdb", false, {}},
    {"Jet3FlippedFirstTableDefinition", "jet3-flipped-first-tdef.mdb", false, {}},
    {"Jet3FlippedLastTableDefinition", "jet3-flipped-last-tdef.mdb", false, {}},
    {"Jet3FlippedFirstDataPage", "jet3-flipped-first-data.mdb", false, {}},
    {"Jet3FlippedLastDataPage", "jet3-flipped-last-data.mdb", false, {}},
    {"Jet3FlippedIndexPage", "jet3-flipped-index.mdb", false, {}},
    // File and folder names are the user's, whatever they hold.
    {"QuotesAndWildcardsInThePath",
     "library-jet4.mdb",
     true,
     {{"db_all", 6, ""}},
     [](size_t) { return std::string("old/It's \"alt\" *?#[%_;/Sonavoxa 'alt' [1] #2 %_*?.mdb"); }},
    {"PathOfTwoHundredFiftyFiveCharacters",
     "library-jet4.mdb",
     true,
     {{"db_all", 6, ""}},
     [](size_t prefixLength) {  // the whole path is 255 characters long
         const std::string folder = "old/" + std::string(100, 'o') + "/";
         return folder + std::string(255 - prefixLength - folder.size() - 4, 'n') + ".mdb";
     }},
    {"FileNameOfTwoHundredFiftyFiveCharacters",
     "library-jet4.mdb",
     true,
     {{"db_all", 6, ""}},
     [](size_t) { return "old/" + std::string(251, 'n') + ".mdb"; }},
};

INSTANTIATE_TEST_SUITE_P(JetBad, BadOldDatabase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BadCase>& param) {
                             return std::string(param.param.name);
                         });

// What arrives of the awkward values, value by value.
class BadOldValues : public BadOldDatabase {
  protected:
    void MigrateFixture(const std::string& file) {
        const std::string old = CopyIn(file);
        Start();
        Migrate(old);
        ASSERT_TRUE(port.messages.empty());
    }
    // The value of `column` in the one target row `where` selects; "<null>" for Null.
    std::string Value(const std::string& table, const std::string& column,
                      const std::string& where) {
        platform::Database db = platform::DBEngine::Instance().OpenDatabase(TargetPath());
        platform::Recordset rs =
            db.OpenRecordset("select " + column + " from " + table + " where " + where);
        if (rs.Eof()) return "<no row>";
        const platform::Value v = rs.Fields()[0].Value();
        return v.IsNull() ? "<null>" : v.ToText();
    }
    // The log line that starts with `prefix`.
    std::string LogLine(const std::string& prefix) const {
        const size_t at = port.log.find(prefix);
        if (at == std::string::npos) return "<no line>";
        return port.log.substr(at, port.log.find("\r\n", at) - at);
    }
};

TEST_F(BadOldValues, NumbersWrittenAsTextAreConvertedAndOtherTextIsRefusedByName) {
    MigrateFixture("text-in-numbers.mdb");
    // The rows of refused values are kept with their other columns.
    EXPECT_EQ(Rows(TargetPath(),
                   "select FID, Titel, Track, DLen, BPM from db_all where FID <= 4 order by FID"),
              "1|Ein Sommer|<null>|<null>|<null>\n2|Meer und Regen|<null>|4096|120\n"
              "3|Ich will Spaß|7|4691838|0\n4|Broken Dreams|<null>|10014167|0\n");
    EXPECT_EQ(Rows(TargetPath(), "select NID, grid from pl_name where NID <= 2 order by NID"),
              "1|<null>\n2|1\n");
    EXPECT_EQ(Rows(TargetPath(), "select PID, pos from pl_all where PID <= 2 order by PID"),
              "1|<null>\n2|2\n");
    EXPECT_EQ(LogLine("Fehler in db_all: "),
              "Fehler in db_all: 5 Werte nicht übernommen; erster Fehler 3421: Data type "
              "conversion error. Nicht übernommen: Werte DLen bei FID 1, BPM bei FID 1, Track bei "
              "FID 1, Track bei FID 2, Track bei FID 4.");
    EXPECT_EQ(LogLine("Fehler in pl_name: ").substr(LogLine("Fehler in pl_name: ").rfind(". ")),
              ". Nicht übernommen: Werte grid bei NID 1.");
}

TEST_F(BadOldValues, TextsLongerThanTheTargetAreRefusedByNameAndAFullLengthTextStaysWhole) {
    MigrateFixture("long-texts.mdb");
    EXPECT_EQ(Value("db_all", "Titel", "FID = 2"), "Genau " + std::string(249, 'y'));
    EXPECT_EQ(Value("db_all", "Titel", "FID = 1"), "<null>");
    EXPECT_EQ(Value("db_all", "DriveName", "FID = 3"), "<null>");
    EXPECT_EQ(Value("db_all", "Genre", "FID = 1"), "<null>");
    EXPECT_EQ(Value("pl_name", "name", "NID = 1"), "<null>");
    EXPECT_EQ(Value("PL_MIXSETS", "name", "MSID = 1"), "<null>");
    const std::string line = LogLine("Fehler in db_all: ");
    EXPECT_EQ(line.rfind("Fehler in db_all: 4 Werte nicht übernommen; erster Fehler 3163", 0), 0u)
        << line;
    EXPECT_EQ(line.substr(line.rfind(". Nicht")),
              ". Nicht übernommen: Werte Titel bei FID 1, Genre bei FID 1, DriveName bei FID 3, "
              "Genre bei FID 5.");
    // A title without a volume name cannot have a folder entry; the tree rebuild says so.
    EXPECT_EQ(LogLine("Fehler in UpdataTreeDir: ")
                  .rfind("Fehler in UpdataTreeDir: 1 Schritte übersprungen; erster Fehler 3314", 0),
              0u);
}

TEST_F(BadOldValues, RightToLeftCombiningAndNulCharactersArriveByteForByte) {
    using namespace std::string_literals;
    MigrateFixture("odd-texts.mdb");
    const std::vector<std::pair<const char*, std::vector<std::string>>> columns = {
        {"Titel", {"שלום עולם", "e\u0301te\u0301 a\u0308", "vor\0nach"s, "مرحبا بالعالم"}},
        {"Interpret", {"\u202eRTL override\u202c", "Zoe\u0308", "Null\0Byte"s, "فيروز"}},
        {"Album", {"אלבום", "Ame\u0301lie", "A\0"s, "\u05d0\u05b8"}},
        {"Path",
         {"C:\\Music\\שירים\\", "C:\\Music\\Cafe\u0301\\", "C:\\Music\\Nul\0l\\"s,
          "C:\\Music\\موسيقى\\"}},
    };
    for (const auto& [column, values] : columns) {
        for (size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(Value("db_all", column, "FID = " + std::to_string(i + 1)), values[i])
                << column << " of FID " << i + 1;
        }
    }
    EXPECT_EQ(Value("pl_name", "name", "NID = 1"), "רשימה");
    EXPECT_EQ(Value("pl_name", "name", "NID = 2"), "Lie\u0301der\0"s);
    // The album tree holds the albums of the titles not marked deleted (FID 2 is), NUL included.
    const std::string albums = Rows(TargetPath(), "select Name from tree_album");
    EXPECT_TRUE(Contains(albums, "אלבום\n")) << albums;
    EXPECT_TRUE(Contains(albums, "\nA\0\n"s) || albums.rfind("A\0\n"s, 0) == 0) << albums;
}

TEST_F(BadOldValues, QuotesAndWildcardsInNamesArriveAndTheTreesCountThem) {
    MigrateFixture("awkward-names.mdb");
    const std::string longFolder = "C:\\Music\\" + std::string(245, 'L') + "\\";
    ASSERT_EQ(longFolder.size(), 255u);
    const std::string folders[] = {
        "C:\\Music\\It's \"Quoted\"\\",      "C:\\Music\\Stars * and ? Marks\\",
        "C:\\Music\\#1 Hits [Remastered]\\", "C:\\Music\\100% _Under_Score_\\",
        "C:\\Music\\Semi;colon [x\\",        longFolder};
    const std::string titles[] = {"Don't \"Stop\"", "Why? *Really*", "#1 [Live]",
                                  "100% Pure_Pop",  "a;b",           "Long"};
    const std::string genres[] = {"R&B's \"Best\"", "[Rock]", "50% Jazz_", "*?#"};
    for (int fid = 1; fid <= 6; ++fid) {
        SCOPED_TRACE(fid);
        const std::string where = "FID = " + std::to_string(fid);
        EXPECT_EQ(Value("db_all", "Path", where), folders[fid - 1]);
        EXPECT_EQ(Value("db_all", "Titel", where), titles[fid - 1]);
        if (fid <= 4) {
            EXPECT_EQ(Value("db_all", "Genre", where), genres[fid - 1]);
        }
        // Each folder holds one title; a wildcard in its name must not count its neighbours.
        std::string quoted = folders[fid - 1];
        for (size_t at = 0; (at = quoted.find('\'', at)) != std::string::npos; at += 2)
            quoted.insert(at, 1, '\'');
        EXPECT_EQ(Rows(TargetPath(), "select anzahl from tree_dir where Path = '" + quoted + "'"),
                  "1\n");
    }
    EXPECT_EQ(Value("db_all", "Album", "FID = 6"), std::string(255, 'L'));
    EXPECT_EQ(Rows(TargetPath(),
                   "select Name from tree_genre where Name like '*[[]*' or Name "
                   "like '*[*]*' order by Name"),
              "*?#\n[Rock]\n");
    EXPECT_EQ(Rows(TargetPath(), "select name from pl_name order by NID"),
              "It's \"my\" list\n[Party]*?\n100%_Hits;\n" +
                  Rows(TargetPath(), "select name from pl_name where NID = 4") + "Jingleliste\n");
    EXPECT_EQ(Value("pl_group", "name", "GRID = 2"), "#[%_");
    EXPECT_EQ(Value("PL_MIXSETS", "name", "MSID = 1"), "Fade 'n' \"Mix\" [*]");
    EXPECT_FALSE(form->LastRun().Failed()) << port.log;
}

// The data folder, too, lies where the user's home is, whatever its name holds. A link's
// ";Database=<path>" used to end at the first ';' of the path, so every tree rebuild failed
// with 3024.
class DataFolderNamed : public MigrationTest, public ::testing::WithParamInterface<const char*> {
  protected:
    DataFolderNamed() : MigrationTest(GetParam()) {}
};

TEST_P(DataFolderNamed, SideDatabasesLinkAndTheRunCompletes) {
    const std::string old = temp / "old/library.mdb";
    fs::copy_file(kBad + "library-jet4.mdb", old);
    Start();
    Migrate(old);
    EXPECT_FALSE(form->LastRun().Failed()) << port.log;
    EXPECT_EQ(Number(TargetPath(), "select count(*) from tree_album"),
              Number(TargetPath(),
                     "select count(*) from (select distinct Album from db_all where "
                     "del = false and Album <> '')"));
}

INSTANTIATE_TEST_SUITE_P(Awkward, DataFolderNamed,
                         ::testing::Values("da ta 'x' \"y\" #[%_*?", "da;ta"));

}  // namespace
}  // namespace migration
