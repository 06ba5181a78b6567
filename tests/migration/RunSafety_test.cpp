// What the run does when things go wrong: failures reported in the log, databases that cannot
// be opened, an unfinished earlier run, the close button during a run, the compaction's file
// handling. And the run's preconditions.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "MigrationFixture.h"
#include "platform/os/ForwardingFileSystem.h"
#include "tools/LibraryGenerator.h"

namespace migration {
namespace {

namespace fs = std::filesystem;
using testing_support::FileBytes;
using testing_support::MigrationTest;
using testing_support::Number;
using testing_support::Rows;

void Execute(const std::string& path, const std::string& sql) {
    platform::Database db = platform::DBEngine::Instance().OpenDatabase(path);
    db.Execute(sql);
}

// Lines of the log without their "\r\n".
std::vector<std::string> Lines(const std::string& log) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", from)) {
        lines.push_back(log.substr(from, at - from));
        from = at + 2;
    }
    if (from < log.size()) lines.push_back(log.substr(from));
    return lines;
}

// The log line after `line`; "<none>" when there is none.
std::string LineAfter(const std::string& log, const std::string& line) {
    const auto lines = Lines(log);
    const auto at = std::find(lines.begin(), lines.end(), line);
    return at == lines.end() || at + 1 == lines.end() ? "<none>" : *(at + 1);
}

const std::string kUnfinished = "Die letzte Datenübernahme wurde nicht beendet.";

using RunSafety = MigrationTest;

TEST_F(RunSafety, WithoutAChosenDatabaseTheStartButtonAsksAndACancelChangesNothing) {
    Start();
    port.events.clear();
    form->cmdOK_Click();
    EXPECT_EQ(port.events, std::vector<std::string>{"dialog"});
    EXPECT_TRUE(port.startEnabled);
    EXPECT_EQ(port.log, "");
    // Chosen there, the run starts at once.
    port.answers.push_back(OldFixture("library-2.5-nosid.mdb"));
    form->cmdOK_Click();
    EXPECT_EQ(Number(TargetPath(), "select count(*) from db_all"), 10);
}

TEST_F(RunSafety, RowsAlreadyInTheTargetAreReplaced) {
    Start();
    Execute(TargetPath(), "insert into pl_group (name, pos) values ('stale', 9)");
    Execute(TargetPath(), "insert into db_all (Titel) values ('stale')");
    Migrate(OldFixture("library-2.5-nosid.mdb"));
    EXPECT_EQ(Number(TargetPath(), "select count(*) from pl_group where name = 'stale'"), 0);
    EXPECT_EQ(Number(TargetPath(), "select count(*) from db_all where Titel = 'stale'"), 0);
    EXPECT_EQ(Number(TargetPath(), "select count(*) from pl_group"), 2);
}

// Refuses to write the run's marker, as a read-only or full data folder would.
class NoMarkerFileSystem : public platform::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    bool WriteFile(const std::string& path, const std::string& contents) override {
        if (path.ends_with(kRunMarkerName)) return false;
        return ForwardingFileSystem::WriteFile(path, contents);
    }
};

// A run that cannot begin says why in one message and changes nothing: no log line, no marker,
// the target's bytes as they were.
TEST_F(RunSafety, RunThatCannotBeginSaysWhyAndChangesNothing) {
    NoMarkerFileSystem noMarker(local);
    const std::string old = temp / "old/library-2.5-nosid.mdb";
    struct Case {
        const char* what;
        platform::FileSystem* files;
        std::function<void()> fault;
        std::vector<std::string> parts;  // of the message
    };
    const Case cases[] = {
        {"data folder refuses the marker",
         &noMarker,
         [] {},
         {"Die Datenübernahme kann nicht beginnen: im Ordner " + DataFolder() +
          " kann nicht geschrieben werden.\r\n\r\nEs wurde nichts verändert."}},
        {"old database gone", &local, [&] { fs::remove(old); }, {"Fehler 3024: ", old}},
        // last: the target stays damaged
        {"target damaged",
         &local,
         [&] { temp.Write("data/Sonavoxa/sonavoxa.mdb", "damaged"); },
         {"Fehler 3343: ", TargetPath()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OldFixture("library-2.5-nosid.mdb");
        Start(c.files);
        port.answers.push_back(old);
        form->cmdGetOldDB_Click();
        c.fault();
        const std::string targetBefore = FileBytes(TargetPath());
        port.events.clear();
        port.messages.clear();
        form->cmdOK_Click();
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].icon, MessageIcon::Critical);
        for (const std::string& part : c.parts)
            EXPECT_NE(port.messages[0].text.find(part), std::string::npos) << port.messages[0].text;
        EXPECT_EQ(port.events, std::vector<std::string>{"message"});
        EXPECT_EQ(FileBytes(TargetPath()), targetBefore);
        EXPECT_FALSE(fs::exists(DataFolder() + "/" + kRunMarkerName));
    }
}

TEST_F(RunSafety, RefusedRowsAreCountedAndNamedInTheLog) {
    const std::string old = GeneratedLibrary(30);
    Execute(old, "update pl_group set name = 'Doppelt'");
    const long groups = Number(old, "select count(*) from pl_group");
    ASSERT_GT(groups, 1);
    Start();
    Execute(TargetPath(), "create unique index UniqueName on pl_group (name)");
    Migrate(old);
    const std::string line =
        LineAfter(port.log, "Übernehme Gruppennamen " + std::to_string(groups));
    EXPECT_EQ(line.rfind("Fehler in pl_group: " + std::to_string(groups - 1) + " von " +
                             std::to_string(groups) +
                             " Datensätzen nicht übernommen; erster Fehler 3022: ",
                         0),
              0u)
        << port.log;
    // The refused groups are named by their keys: every one but the group that was kept.
    const long kept = Number(TargetPath(), "select GRID from pl_group");
    std::string refused;
    for (long grid = 1; grid <= groups; ++grid)
        if (grid != kept) refused += (refused.empty() ? "" : ", ") + std::to_string(grid);
    EXPECT_EQ(line.substr(line.rfind(". Nicht")),
              ". Nicht übernommen: Datensätze mit GRID " + refused + ".");
    EXPECT_EQ(Lines(port.log).back(), "Datenübername komplett.");
    EXPECT_EQ(Number(TargetPath(), "select count(*) from pl_group"), 1);
    // A new run would refuse them again: the next start does not call this run unfinished.
    EXPECT_TRUE(form->LastRun().Failed());
    EXPECT_FALSE(fs::exists(DataFolder() + "/" + kRunMarkerName));
    Start();
    EXPECT_EQ(port.log.find(kUnfinished), std::string::npos) << port.log;
}

TEST_F(RunSafety, OldLibraryOnReadOnlyMediaMigrates) {
    const std::string old = GeneratedLibrary(30);
    fs::permissions(old, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Start();
    Migrate(old);
    EXPECT_FALSE(form->LastRun().Failed()) << port.log;
    EXPECT_EQ(Number(TargetPath(), "select count(*) from db_all"), 30);
}

TEST_F(RunSafety, MissingTablesOnEitherSideAreReportedAndTheRunGoesOn) {
    const std::string old = GeneratedLibrary(30);
    Execute(old, "drop table pl_stat");
    const std::string mixsets = std::to_string(Number(old, "select count(*) from PL_MIXSETS"));
    Start();
    Execute(TargetPath(), "drop table PL_MIXSETS");
    Migrate(old);
    const auto lines = Lines(port.log);
    ASSERT_EQ(lines.size(), 11u) << port.log;
    EXPECT_EQ(lines[4], "Übernehme Statistikdaten 0");
    EXPECT_EQ(lines[5].rfind("Fehler in pl_stat: Zählen fehlgeschlagen, Lesen der alten Tabelle "
                             "fehlgeschlagen; erster Fehler 3078: ",
                             0),
              0u)
        << lines[5];
    EXPECT_EQ(lines[6], "Übernehme Mixstyles " + mixsets);
    EXPECT_EQ(lines[7].rfind("Fehler in PL_MIXSETS: " + mixsets + " von " + mixsets +
                                 " Datensätzen nicht übernommen, Leeren der Zieltabelle "
                                 "fehlgeschlagen, Öffnen der Zieltabelle fehlgeschlagen; erster "
                                 "Fehler 3078: ",
                             0),
              0u)
        << lines[7];
    EXPECT_GT(Number(TargetPath(), "select count(*) from pl_all"), 0);
    EXPECT_EQ(lines[10], "Datenübername komplett.");
}

TEST_F(RunSafety, AnEmptyTableLeavesTheBarAloneAndLogsZero) {
    const std::string old = GeneratedLibrary(30);
    Execute(old, "delete from db_edit");
    Start();
    Migrate(old);
    EXPECT_NE(port.log.find("\r\nÜbernehme Vor kurzem bearbeitet 0\r\nÜbernehme Statistikdaten"),
              std::string::npos);
    EXPECT_FALSE(form->LastRun().Failed()) << port.log;
    EXPECT_EQ(std::count(port.events.begin(), port.events.end(), "max 0"), 0);
}

TEST_F(RunSafety, UnfinishedRunIsNamedAtTheNextStartAndTheMarkerLivesOnlyDuringARun) {
    const std::string old = OldFixture("library-2.5-nosid.mdb");
    Start();
    const std::string marker = DataFolder() + "/" + kRunMarkerName;
    bool markerSeen = false;
    bool closeRefused = true;
    port.onYield = [&] {
        markerSeen = markerSeen || fs::exists(marker);
        closeRefused = closeRefused && !form->QueryUnload();
    };
    Migrate(old);
    port.onYield = nullptr;
    EXPECT_TRUE(markerSeen);
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(form->QueryUnload());
    EXPECT_FALSE(fs::exists(marker));

    // As if the machine had stopped during a run.
    temp.Write("data/Sonavoxa/" + std::string(kRunMarkerName), "x");
    Start();
    EXPECT_EQ(port.log,
              "Achtung !!!!\r\n\r\nIn Ihrer Datenbank befinden sich noch Datensätze.\r\nWenn Sie "
              "die Datenübernahme starten, werden diese Datensätze\r\nunwiederruflich gelöscht."
              "\r\n\r\nDie letzte Datenübernahme wurde nicht beendet. Starten Sie sie erneut, um "
              "alle Daten zu übernehmen.");
    Migrate(old);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_FALSE(form->LastRun().Failed());
}

TEST_F(RunSafety, LeftoverCompactionFileIsReplacedByAFreshCopy) {
    Start();
    temp.Write("data/Sonavoxa/temp.mdb", "left over from a crash");
    Migrate(OldFixture("library-2.5-nosid.mdb"));
    EXPECT_TRUE(form->LastRun().compacted);
    EXPECT_FALSE(fs::exists(DataFolder() + "/temp.mdb"));
    EXPECT_EQ(Number(TargetPath(), "select count(*) from db_all"), 10);
}

TEST_F(RunSafety, ReadOnlyLeftoverKeepsTheUncompactedTargetAndSaysSo) {
    Start();
    const std::string leftover = temp.Write("data/Sonavoxa/temp.mdb", "read-only leftover");
    fs::permissions(leftover, fs::perms::owner_read | fs::perms::group_read);
    Migrate(OldFixture("library-2.5-nosid.mdb"));
    EXPECT_FALSE(form->LastRun().compacted);
    const auto lines = Lines(port.log);
    EXPECT_EQ(lines[lines.size() - 2], "Datenübername komplett.");
    EXPECT_EQ(lines.back().rfind("Fehler in Komprimieren: abgebrochen; " + leftover, 0), 0u)
        << lines.back();
    EXPECT_EQ(temp.Read("data/Sonavoxa/temp.mdb"), "read-only leftover");
    EXPECT_EQ(Number(TargetPath(), "select count(*) from db_all"), 10);
}

// Fails every atomic replacement, as a full disk or a foreign lock would.
class NoReplaceFileSystem : public platform::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    bool ReplaceFile(const std::string&, const std::string&) override { return false; }
};

// A failure of the disk or a lock, or of a step after the copy, leaves the run marked
// unfinished: a new run can do better.
TEST_F(RunSafety, FailedReplacementLeavesTheCompleteUncompactedTargetAndTheRunUnfinished) {
    const std::string marker = DataFolder() + "/" + kRunMarkerName;
    NoReplaceFileSystem failing(local);
    Start(&failing);
    Migrate(OldFixture("library-2.5-nosid.mdb"));
    EXPECT_FALSE(form->LastRun().compacted);
    EXPECT_FALSE(fs::exists(DataFolder() + "/temp.mdb"));
    EXPECT_NE(Lines(port.log).back().find("Fehler in Komprimieren: abgebrochen"),
              std::string::npos);
    EXPECT_EQ(Number(TargetPath(), "select count(*) from db_all"), 10);
    EXPECT_EQ(Number(TargetPath(), "select count(*) from pl_name"), 4);
    EXPECT_TRUE(fs::exists(marker));
    Start();
    EXPECT_NE(port.log.find(kUnfinished), std::string::npos) << port.log;
    Migrate(OldFixture("library-2.5-nosid.mdb"));
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(form->LastRun().compacted);
}

TEST_F(RunSafety, FailedTreeRebuildIsNamedAndTheRunStillCompletes) {
    Start();
    Execute(TargetPath(), "drop table TREE_ALBUM");
    Migrate(OldFixture("library-2.5-nosid.mdb"));
    const auto lines = Lines(port.log);
    ASSERT_EQ(lines.size(), 10u) << port.log;
    EXPECT_EQ(lines[7], "Aktualisiere Datenbank");
    EXPECT_EQ(lines[8].rfind("Fehler in UpdateTreeAlbum: ", 0), 0u) << lines[8];
    EXPECT_EQ(lines[9], "Datenübername komplett.");
    EXPECT_TRUE(form->LastRun().compacted);
}

// A larger library than the fixtures, with the awkward rows the generator plants; the fixture
// runs cover a library without sid. Its titles are enough for their table's plain indexes to
// be built after the rows.
TEST_F(RunSafety, GeneratedLibraryArrivesWhole) {
    const std::string old = temp / "old/generated.mdb";
    tools::LibraryOptions options;
    options.titles = 6000;
    const tools::LibrarySummary summary = tools::LibraryGenerator(options).Write(old);
    const std::string oldBytes = FileBytes(old);
    Start();
    const std::string target = TargetPath();
    const std::string indexes = "select * from MSysIndexes order by TableName, Position";
    const std::string indexesBefore = Rows(target, indexes);
    Migrate(old);
    EXPECT_EQ(Rows(target, indexes), indexesBefore);
    EXPECT_FALSE(form->LastRun().Failed()) << port.log;
    EXPECT_EQ(Number(target, "select count(*) from db_all"), summary.titles);
    EXPECT_EQ(Number(target, "select count(*) from db_all where Genre is null"),
              summary.withoutGenre);
    EXPECT_EQ(Number(target, "select count(*) from db_all where DEL"), summary.deleted);
    EXPECT_EQ(Number(target, "select count(*) from pl_all"), summary.entries);
    EXPECT_EQ(Number(target, "select count(*) from pl_name where sicherung"), summary.playlists);
    EXPECT_EQ(Number(target,
                     "select count(*) from pl_all where mixin like '*-1*' or mixout "
                     "like '*-1*' or mixin like '*,,,,*' or mixout like '*,,,,*'"),
              0);
    EXPECT_EQ(Number(target,
                     "select count(*) from pl_name p where anzahl <> (select count(*) "
                     "from pl_all a where a.pnid = p.NID)"),
              0);
    EXPECT_EQ(FileBytes(old), oldBytes);
}

}  // namespace
}  // namespace migration
