#include "dbadmin/CheckDatabase.h"

#include <exception>

#include "dbadmin/ADMCreateDB.h"
#include "platform/DBEngine.h"
#include "platform/Database.h"
#include "platform/JetError.h"
#include "platform/os/LocalFileSystem.h"
#include "settings/Mod_API.h"

namespace dbadmin {
namespace {

using platform::Database;
using platform::JetError;

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void NoteFirst(SideDatabaseCheckOutcome& outcome, int number, const std::string& text) {
    if (outcome.errorNumber != 0) return;
    outcome.errorNumber = number;
    outcome.errorText = text;
}

void NoteFirst(SideDatabaseCheckOutcome& outcome, const JetError& error) {
    NoteFirst(outcome, error.Number(), error.Description());
}

void NoteFirst(SideDatabaseCheckOutcome& outcome, const ADMCreateDB& adm) {
    NoteFirst(outcome, adm.LastErrorNumber(), adm.LastErrorText());
}

Database Open(const std::string& path) { return platform::DBEngine::Instance().OpenDatabase(path); }

// True when the freshly built side database holds every side table as a plain table. The
// clone passes over templates that are no plain tables without a word, so the result is
// checked here rather than trusted.
bool HoldsEveryTable(const std::string& path, const std::vector<CheckDatabase::SideTable>& tables,
                     SideDatabaseCheckOutcome& outcome) {
    Database side = Open(path);
    auto defs = side.TableDefs();
    for (const auto& row : tables) {
        bool plain = false;
        try {
            plain = defs.Item(row.sideTable).Attributes() == 0;
        } catch (const JetError&) {
        }
        if (!plain) {
            NoteFirst(outcome, platform::MakeJetError(platform::jet::kInputTableNotFound,
                                                      row.templateTable));
            return false;
        }
    }
    return true;
}

// Removes a build that did not take its place, on every way out of the rebuild.
class BuildFile {
  public:
    BuildFile(platform::FileSystem& files, std::string path)
        : files_(files), path_(std::move(path)) {}
    ~BuildFile() {
        if (files_.FileExists(path_)) (void)files_.DeleteFile(path_);
    }
    BuildFile(const BuildFile&) = delete;
    BuildFile& operator=(const BuildFile&) = delete;
    const std::string& Path() const { return path_; }

  private:
    platform::FileSystem& files_;
    std::string path_;
};

}  // namespace

CheckDatabase::CheckDatabase(settings::Mod_API& api)
    : api_(api),
      fileSystem_(nullptr),
      ownFileSystem_(std::make_unique<platform::LocalFileSystem>()) {
    fileSystem_ = ownFileSystem_.get();
}

CheckDatabase::CheckDatabase(settings::Mod_API& api, platform::FileSystem& fileSystem)
    : api_(api), fileSystem_(&fileSystem) {}

CheckDatabase::~CheckDatabase() = default;

void CheckDatabase::SetTargetDatabasePath(const std::string& path) { targetPath_ = path; }
const std::string& CheckDatabase::TargetDatabasePath() const { return targetPath_; }

const std::vector<CheckDatabase::SideTable>& CheckDatabase::TempTables() {
    static const std::vector<SideTable> tables = {
        {"TEMP_MP3Edit", "X_TEMP_MP3Edit"},   {"TEMP_MP3Import", "X_TEMP_MP3Import"},
        {"TEMP_PLImport", "X_TEMP_PLImport"}, {"TEMP_PLImportM3U", "X_TEMP_PLImportM3U"},
        {"TEMP_PL_UNDO", "X_TEMP_PL_UNDO"},
    };
    return tables;
}

const std::vector<CheckDatabase::SideTable>& CheckDatabase::TreeTables() {
    static const std::vector<SideTable> tables = {
        {"TREE_DIR", "x_tree_dir"},
        {"TREE_ALBUM", "x_tree_album"},
        {"TREE_GENRE", "x_TREE_GENRE"},
        {"TREE_GENRE_INTERPRET", "x_TREE_GENRE_INTERPRET"},
        {"TREE_INTERPRET", "x_TREE_INTERPRET"},
        {"TREE_SITUATION", "x_TREE_default"},
        {"TREE_STIMMUNG", "x_TREE_default"},
        {"TREE_TEMPO", "x_TREE_default"},
        {"TREE_KATEGORIE", "x_TREE_default"},
        {"TREE_USER1", "x_TREE_default"},
        {"TREE_USER2", "x_TREE_default"},
        {"TREE_USER3", "x_TREE_default"},
        {"TREE_USER4", "x_TREE_default"},
        {"TREE_USER5", "x_TREE_default"},
        {"TREE_IMPORTDATE", "x_TREE_default"},
    };
    return tables;
}

SideDatabaseCheckOutcome CheckDatabase::CheckTempDatabase() {
    return Check("sonavoxa.temp.mdb", TempTables());
}

SideDatabaseCheckOutcome CheckDatabase::CheckTreeDatabase() {
    return Check("sonavoxa.tree.mdb", TreeTables());
}

SideDatabaseCheckOutcome CheckDatabase::Check(const std::string& fileName,
                                              const std::vector<SideTable>& tables) {
    SideDatabaseCheckOutcome outcome;
    try {
        const std::string sidePath = api_.DataPath() + "/" + fileName;
        const std::string probe = tables.front().sideTable;
        {
            Database target;
            try {
                target = Open(targetPath_);
            } catch (const JetError& e) {
                // Without the target there are neither templates nor links to make: rebuilding
                // would only throw away the side database's rows.
                outcome.lastError = e.Number();
                NoteFirst(outcome, e);
                return outcome;
            }
            std::string connect;
            bool read = false;
            try {
                connect = target.TableDefs().Item(probe).Connect();
                read = true;
            } catch (const JetError& e) {
                NoteFirst(outcome, e);
            }
            if (!read || AsciiUpper(connect) != ";DATABASE=" + AsciiUpper(sidePath)) {
                outcome.lastError = platform::jet::kFileNotFound;
            } else {
                try {
                    target.OpenRecordset(probe).Close();
                } catch (const JetError& e) {
                    outcome.lastError = e.Number();
                    NoteFirst(outcome, e);
                }
            }
            // The target's handle goes before the rebuild: it holds the old side database
            // open through the probe's link, and the rebuild replaces that file.
        }
        if (outcome.lastError != platform::jet::kFileNotFound &&
            outcome.lastError != platform::jet::kInputTableNotFound) {
            outcome.sound = outcome.lastError == 0;
            return outcome;
        }
        outcome.sound = Rebuild(sidePath, tables, outcome);
    } catch (const JetError& e) {
        NoteFirst(outcome, e);
    } catch (const std::exception& e) {
        NoteFirst(outcome, platform::jet::kEngineFailure, e.what());
    } catch (...) {
        NoteFirst(outcome, platform::jet::kEngineFailure, "unexpected failure");
    }
    return outcome;
}

bool CheckDatabase::Rebuild(const std::string& sidePath, const std::vector<SideTable>& tables,
                            SideDatabaseCheckOutcome& outcome) {
    platform::FileSystem& files = *fileSystem_;
    const BuildFile building(files, sidePath + ".building");
    ADMCreateDB adm(files);

    adm.DBName(building.Path());
    if (!adm.CreateDB()) {
        NoteFirst(outcome, adm);
        return false;
    }
    adm.ExternDBName(targetPath_);
    bool complete = true;
    for (const SideTable& row : tables) {
        try {
            adm.ClonTableStrukt(row.templateTable, row.sideTable);
        } catch (const JetError& e) {
            NoteFirst(outcome, e);
            complete = false;
            break;
        }
        if (adm.LastErrorNumber() != 0) {
            NoteFirst(outcome, adm);
            complete = false;
            break;
        }
    }
    // Otherwise the side database in place, and its rows, stay as they were.
    if (!complete || !HoldsEveryTable(building.Path(), tables, outcome)) return false;

    // Until every link stands, the probe must fail: its old link may already name the path
    // that the new file is about to take.
    const std::string probe = tables.front().sideTable;
    {
        Database target = Open(targetPath_);
        try {
            target.TableDefs().Delete(probe);
        } catch (const JetError& e) {
            if (e.Number() != platform::jet::kItemNotFound) {
                NoteFirst(outcome, e);
                return false;
            }
        }
    }
    if (!files.ReplaceFile(building.Path(), sidePath)) {
        NoteFirst(outcome, platform::MakeJetError(platform::jet::kCannotOpenFile, sidePath));
        return false;
    }
    outcome.rebuilt = true;

    adm.ExternDBName(sidePath);
    adm.DBName(targetPath_);
    bool linked = true;
    for (size_t i = 1; i < tables.size(); ++i) {
        adm.LinkTable(tables[i].sideTable);
        if (adm.LastErrorNumber() != 0) {
            NoteFirst(outcome, adm);
            linked = false;
        }
    }
    if (!linked) return false;  // without its probe link, the next start rebuilds again
    adm.LinkTable(probe);
    if (adm.LastErrorNumber() != 0) {
        NoteFirst(outcome, adm);
        return false;
    }
    return true;
}

}  // namespace dbadmin
