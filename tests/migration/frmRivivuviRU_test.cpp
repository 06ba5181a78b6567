// The window before any data moves: loading, the target check, the old-database choice.
#include "migration/frmRivivuviRU.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "MigrationFixture.h"

namespace migration {
namespace {

namespace fs = std::filesystem;
using testing_support::FileBytes;
using testing_support::MigrationTest;
using testing_support::Number;

const char kWarning[] =
    "Achtung !!!!\r\n\r\nIn Ihrer Datenbank befinden sich noch Datensätze.\r\n"
    "Wenn Sie die Datenübernahme starten, werden diese Datensätze\r\nunwiederruflich gelöscht.";

class Window : public MigrationTest {
  protected:
    void Choose(const std::optional<std::string>& answer) {
        port.answers.push_back(answer);
        form->cmdGetOldDB_Click();
    }
};

TEST_F(Window, LoadPreparesTheDataFolderChecksSideDatabasesAndSetsCaptions) {
    NewForm().Form_Load();
    EXPECT_EQ(form->TargetDatabasePath(), TargetPath());
    EXPECT_TRUE(fs::exists(TargetPath()));
    EXPECT_TRUE(form->TempCheck().rebuilt);
    EXPECT_TRUE(form->TreeCheck().rebuilt);
    EXPECT_EQ(Number(TargetPath(), "select count(*) from TREE_DIR"), 0);  // linked and usable
    EXPECT_FALSE(form->TargetFound());
    EXPECT_EQ(port.caption, "Daten aus alter Datenbank in neue Version 3.4 übernehmen");
    EXPECT_EQ(port.frameCaption, " Alte Datenbank auswählen Version ( 2.5 ) ");
    EXPECT_TRUE(port.log.empty());

    // The next start finds everything in order and rebuilds nothing.
    NewForm().Form_Load();
    EXPECT_FALSE(form->TempCheck().rebuilt);
    EXPECT_FALSE(form->TreeCheck().rebuilt);
}

TEST_F(Window, TargetCheckWarnsAboutTitlesInTheTarget) {
    Start();
    EXPECT_TRUE(form->TargetFound());
    EXPECT_EQ(port.log, "");
    {
        platform::Database db = platform::DBEngine::Instance().OpenDatabase(TargetPath());
        db.Execute("insert into db_all (Titel) values ('left from before')");
    }
    Start();
    EXPECT_TRUE(form->TargetFound());
    EXPECT_EQ(port.log, kWarning);
}

TEST_F(Window, TargetCheckWithoutAUsableTargetNamesTheDataFolder) {
    for (const bool present : {false, true}) {
        SCOPED_TRACE(present ? "not a database" : "missing");
        NewForm().Form_Load();
        fs::remove(TargetPath());
        if (present) temp.Write("data/Sonavoxa/sonavoxa.mdb", "no database");
        form->Form_Activate();
        EXPECT_FALSE(form->TargetFound());
        EXPECT_EQ(port.log, "Keine Sonavoxa Datenbank in " + DataFolder() +
                                " gefunden !!\r\nKopieren Sie das Programm in das neue Sonavoxa "
                                "Verzeichnis.");
        // Without a target the start button does nothing at all.
        port.events.clear();
        form->MigPlan().OldDBName(OldFixture("library-2.5.mdb"));
        form->cmdOK_Click();
        EXPECT_TRUE(port.events.empty());
        fs::remove(TargetPath());
    }
}

TEST_F(Window, ActivatesOnlyOnce) {
    Start();
    port.log = "kept";
    fs::remove(TargetPath());
    form->Form_Activate();  // as after every dialog: nothing happens
    EXPECT_EQ(port.log, "kept");
    EXPECT_TRUE(form->TargetFound());
}

TEST_F(Window, VersionCheckAcceptsOrExplainsEachStoredVersion) {
    const std::string other =
        " ist keine Sonavoxa 2.5 Datenbank. Die gewählte Datenbank hat die "
        "Version ( ";
    const std::string rest = " ) und kann daher nicht übernommen werden.";
    const std::string none = " ist keine Sonavoxa Datenbank";
    struct Case {
        const char* file;
        MessageIcon icon;
        std::string message;  // after the path; "" when the choice is accepted
    };
    const Case cases[] = {
        {"library-2.5.mdb", MessageIcon::Critical, ""},
        {"library-2.5-nosid.mdb", MessageIcon::Critical, ""},
        {"version-2.mdb", MessageIcon::Critical, ""},
        {"version-5.mdb", MessageIcon::Critical, ""},
        {"version-null.mdb", MessageIcon::Critical, ""},
        {"version-3.4.mdb", MessageIcon::Information,
         " ist eine aktuelle Sonavoxa 3.4 Datenbank, die Daten müssen nicht konvertiert werden."},
        {"version-2.0.mdb", MessageIcon::Critical, other + "2.0" + rest},
        {"version-2.5.1.mdb", MessageIcon::Critical, other + "2.5.1" + rest},
        {"version-empty-table.mdb", MessageIcon::Critical, none},
        {"no-version-table.mdb", MessageIcon::Critical, none},
        {"not-a-database.mdb", MessageIcon::Critical, none},
    };
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = OldFixture(c.file);
        port.messages.clear();
        port.oldDatabaseText = "before";
        Choose(path);
        const bool accepted = c.message.empty();
        EXPECT_EQ(form->MigPlan().OldDBName(), accepted ? path : "");
        EXPECT_EQ(port.oldDatabaseText, accepted ? path : "before");
        ASSERT_EQ(port.messages.size(), accepted ? 0u : 1u);
        if (accepted) continue;
        EXPECT_EQ(port.messages[0].icon, c.icon);
        EXPECT_EQ(port.messages[0].text, path + c.message);
    }
}

TEST_F(Window, MissingFileIsNoDatabaseAndCancelKeepsTheChoice) {
    Start();
    const std::string accepted = OldFixture("library-2.5.mdb");
    Choose(accepted);
    Choose(std::nullopt);
    ASSERT_EQ(port.requests.size(), 2u);
    EXPECT_EQ(port.requests[1].fileName, "Sonavoxa.mdb");
    EXPECT_EQ(port.requests[1].title, "Sonavoxa Datenbank Version 2.5 auswählen.");
    EXPECT_EQ(port.requests[1].filterDescription, "Sonavoxa-Datenbank *.mdb ");
    EXPECT_EQ(port.requests[1].filterPattern, " *.mdb");
    EXPECT_EQ(form->MigPlan().OldDBName(), accepted);
    EXPECT_EQ(port.oldDatabaseText, accepted);

    const std::string missing = temp / "old/nowhere.mdb";
    Choose(missing);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].text, missing + " ist keine Sonavoxa Datenbank");
    EXPECT_EQ(form->MigPlan().OldDBName(), "");
    EXPECT_EQ(port.oldDatabaseText, accepted);  // the box keeps the earlier path
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(Window, ChoosingNeverChangesTheOldFile) {
    Start();
    const std::string jet = OldFixture("library-2.5.mdb");
    const std::string engineFile = GeneratedLibrary(20);
    for (const std::string& path : {jet, engineFile}) {
        const std::string before = FileBytes(path);
        const auto time = fs::last_write_time(path);
        Choose(path);
        EXPECT_EQ(form->MigPlan().OldDBName(), path);
        EXPECT_EQ(FileBytes(path), before);
        EXPECT_EQ(fs::last_write_time(path), time);
    }
}

}  // namespace
}  // namespace migration
