// Test scaffolding for the structure administration: a machine whose installation carries the
// shipped target database, its prepared data folder, and helpers that look at database files
// from outside (links, tables, rows, bytes and modification times).
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dbadmin/CheckDatabase.h"
#include "platform/DBEngine.h"
#include "support/EngineTestSupport.h"
#include "support/SettingsFixture.h"

namespace dbadmin::testing_support {

// Bytes and modification time: equal snapshots mean the file was not touched.
struct FileSnapshot {
    bool exists = false;
    std::string contents;
    std::filesystem::file_time_type modified{};
    bool operator==(const FileSnapshot&) const = default;
};

inline FileSnapshot Snapshot(const std::string& path) {
    FileSnapshot s;
    std::error_code ec;
    if (!(s.exists = std::filesystem::exists(path, ec))) return s;
    s.modified = std::filesystem::last_write_time(path, ec);
    s.contents = ::testing_support::FileBytes(path);
    return s;
}

// SQL through SQLite alone, behind the engine's back: how a test plants a fault (a trigger
// that refuses a catalog row) that the engine would never make itself.
inline void RawSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
}

inline platform::Database OpenDb(const std::string& path) {
    return platform::DBEngine::Instance().OpenDatabase(path);
}

// The Connect text of `name`; "<none>" when the database has no table of that name.
inline std::string ConnectOf(const std::string& path, const std::string& name) {
    platform::Database db = OpenDb(path);
    try {
        return db.TableDefs().Item(name).Connect();
    } catch (const platform::JetError&) {
        return "<none>";
    }
}

// Plain and linked tables, system tables left out, in collection order.
inline std::vector<std::string> UserTables(const std::string& path) {
    platform::Database db = OpenDb(path);
    std::vector<std::string> names;
    auto defs = db.TableDefs();
    for (size_t i = 0; i < defs.Count(); ++i)
        if (defs[i].Attributes() != platform::dbSystemObject) names.push_back(defs.Names()[i]);
    return names;
}

inline std::string RowsOf(const std::string& path, const std::string& select) {
    platform::Database db = OpenDb(path);
    return ::testing_support::Rows(db, select);
}

// The installation holds the shipped target database; the user's data folder is prepared as
// at the tool's first start.
class DataFolderTest : public settings::testing_support::SettingsTest {
  protected:
    void SetUp() override {
        Install();
        ::testing_support::CopyOfShippedDatabase(temp / "Program/sonavoxa.mdb");
        SetMachinePathMode("user.normal");
        dataFolder_ = Api().DataPath();
        ASSERT_TRUE(std::filesystem::exists(Target())) << dataFolder_;
    }

    std::string DataFile(const std::string& name) const { return dataFolder_ + "/" + name; }
    std::string Target() const { return DataFile("sonavoxa.mdb"); }
    std::string TempDb() const { return DataFile("sonavoxa.temp.mdb"); }
    std::string TreeDb() const { return DataFile("sonavoxa.tree.mdb"); }

    // A checker as the window makes one at a start: a fresh Mod_API, the target path set.
    CheckDatabase& NewChecker() {
        checker_.reset();
        settings::Mod_API& api = Api();
        checker_ = std::make_unique<CheckDatabase>(api, scripted);
        checker_->SetTargetDatabasePath(api.DataPath() + "/sonavoxa.mdb");
        return *checker_;
    }
    struct StartOutcome {
        SideDatabaseCheckOutcome temp, tree;
    };
    // Both checks in the window's order.
    StartOutcome Start() {
        CheckDatabase& checker = NewChecker();
        StartOutcome outcome;
        outcome.temp = checker.CheckTempDatabase();
        outcome.tree = checker.CheckTreeDatabase();
        return outcome;
    }

    // Names in the data folder that a build left behind.
    std::vector<std::string> LeftOvers() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(dataFolder_)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".building" || ext == ".creating") found.push_back(entry.path());
        }
        return found;
    }

    std::string dataFolder_;

  private:
    std::unique_ptr<CheckDatabase> checker_;
};

}  // namespace dbadmin::testing_support
