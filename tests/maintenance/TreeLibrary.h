// Test scaffolding for the tree maintenance: a machine in a temporary folder whose data folder
// is prepared from the built program folder (so it holds a copy of the shipped sonavoxa.mdb),
// the tree database built and linked by the side-database check (so every rebuild below works
// on the checked tree database), and small verbs to fill and read the library.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "dbadmin/CheckDatabase.h"
#include "maintenance/UpdateDB.h"
#include "platform/DBEngine.h"
#include "platform/os/LocalFileSystem.h"
#include "support/EngineTestSupport.h"
#include "support/MachineApi.h"

namespace maintenance::testing_support {

using ::testing_support::JetErrorOf;
using ::testing_support::Rows;

// One title of db_all; the fields a tree reads.
struct Title {
    std::string path = "C:\\Music\\";
    int driveTyp = 3;
    std::string driveName = "SYSTEM";
    std::string interpret = "";
    std::string album = "";
    std::string genre = "";
    bool deleted = false;
    std::string imported = "Null";  // a Jet date literal such as #2005-03-03#
    std::string user1 = "";
};

class TreeLibrary : public ::testing::Test {
  protected:
    TreeLibrary() {
        temp_.Write("etc/sonavoxa/registry.ini",
                    "[Software\\Sonavoxa]\nAppPathConfig=sz:user.normal\n");
        ::testing_support::EnvironmentTable env =
            ::testing_support::MachineEnvironment(temp_.Path());
        env["SONAVOXA_PROGRAM_DIR"] = SONAVOXA_PROGRAM_DIR;
        machine_ = std::make_unique<::testing_support::MachineApi>(env, files_);
        dataPath = Api().DataPath();
        target = dataPath + "/sonavoxa.mdb";
        dbadmin::CheckDatabase check(Api());
        check.SetTargetDatabasePath(target);
        EXPECT_TRUE(check.CheckTreeDatabase().rebuilt);
        db = platform::DBEngine::Instance().OpenDatabase(target);
        maintenance = std::make_unique<UpdateDB>(Api());
        maintenance->SetDbName(target);
    }

    void Add(const Title& t) {
        db.Execute(
            "insert into db_all (Titel, Path, DriveTyp, DriveName, Interpret, Album, "
            "Genre, DEL, DTSImport, User1) values ('t', " +
            Text(t.path) + ", " + std::to_string(t.driveTyp) + ", " + Text(t.driveName) + ", " +
            Text(t.interpret) + ", " + Text(t.album) + ", " + Text(t.genre) + ", " +
            (t.deleted ? "true" : "false") + ", " + t.imported + ", " + Text(t.user1) + ")");
    }
    void Add(const Title& t, int times) {
        for (int i = 0; i < times; ++i) Add(t);
    }

    // Marks the rows of `table` that `where` selects as favourites.
    void MarkFavourite(const std::string& table, const std::string& where,
                       const std::string& tstamp) {
        ASSERT_GT(db.Execute("update " + table + " set favorit=true, tstamp=" + tstamp + " where " +
                             where),
                  0)
            << where;
    }

    settings::Mod_API& Api() { return machine_->Api(); }

    bool FavouritesFileLeft() const { return std::filesystem::exists(dataPath + "/~tree.tmp"); }

    // `text` as a Jet literal.
    static std::string Text(const std::string& text) {
        std::string out = "'";
        for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
        return out + "'";
    }

    ::testing_support::TempFolder temp_;
    std::string dataPath;
    std::string target;
    platform::Database db;
    std::unique_ptr<UpdateDB> maintenance;

  private:
    platform::LocalFileSystem files_;
    std::unique_ptr<::testing_support::MachineApi> machine_;
};

}  // namespace maintenance::testing_support
