// UpdateDB: rebuilds the library's navigation-tree tables and recounts the playlists.
//
// Every operation opens the database named by SetDbName itself and closes it before it
// returns, so no handle lives between operations. The tree rebuilds keep the user's
// favourite entries across the rebuild through the favourites file "~tree.tmp" in the data
// folder of the Mod_API passed in, which must outlive the object. Each rebuild of one table
// (empty, refill, restore) is one transaction: a failure that ends the operation rolls the
// table back to its old rows and favourites. Operations report what they did and their first
// failure; most of them never throw (see each). Single-threaded.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Database.h"

namespace settings {
class Mod_API;
}

namespace maintenance {

// What one maintenance operation did. `completed` is false when a failure ended the
// operation early; steps that are skipped one by one (a refused row, a failing count, a
// favourite that cannot be restored) leave it true but are counted in `skippedSteps` and
// reported as the first failure when nothing ended the operation.
struct MaintenanceOutcome {
    bool completed = true;
    long rowsWritten = 0;  // tree rows stored by the refills, or playlists whose count changed
    long skippedSteps = 0;
    int errorNumber = 0;    // Jet number of the first failure; 0 when there was none
    std::string errorText;  // its text

    bool Failed() const { return errorNumber != 0; }

    // A step skipped on its own: counted, and kept as the failure when it is the first.
    void NoteSkipped(int number, const std::string& text) {
        ++skippedSteps;
        if (errorNumber == 0) {
            errorNumber = number;
            errorText = text;
        }
    }
    // A failure that ended the operation: it is the one reported.
    void NoteEnded(int number, const std::string& text) {
        completed = false;
        errorNumber = number;
        errorText = text;
    }
};

class UpdateDB {
  public:
    explicit UpdateDB(settings::Mod_API& api);

    // Called once by every tree rebuild right after it opened its database, so that a window
    // can repaint. A no-op by default.
    void SetYield(std::function<void()> yield);

    void SetDbName(const std::string& DBName);

    // Never throw: a failure ends the operation, its table keeps its old rows.
    MaintenanceOutcome UpdatePlnameCount();
    MaintenanceOutcome UpdateTreeGenre();
    MaintenanceOutcome UpdateTreeAlbum();
    MaintenanceOutcome UpdateTreeInterpret();
    MaintenanceOutcome UpdataTreeDir();

    // Throw platform::JetError to the caller (3001 for an sTable that is not a plain column
    // name); the handle is released and the favourites file deleted all the same.
    MaintenanceOutcome UpdateTreeTable(const std::string& sTable);
    MaintenanceOutcome UpdateTreeTableImportDate();

    // The four-character sound code of `strIn`; throws platform::JetError 6 (overflow) for a
    // text longer than 32767 characters.
    std::string Soundex(const std::string& strIn) const;

  private:
    friend class UpdateDBInternals;  // the tests' access to MaskQuote

    struct TreeCycle;

    void OpenDb();
    void CloseDb() noexcept;
    // The text with every apostrophe replaced by an asterisk. The statements no longer use it:
    // they quote their values, so that names with apostrophes find their rows.
    static std::string MaskQuote(const std::string& text);
    // Marks every tree_dir row of `path` as a favourite with the saved time stamp.
    void RestoreDirFavorit(const std::string& path, const std::string& tstamp);

    // Runs `body` (which opens the database), then the closing steps: the handle is closed and
    // the favourites file deleted, whatever happened. Failures end up in the outcome, and also
    // reach the caller when `rethrow` is set.
    MaintenanceOutcome Run(bool rethrow, const std::function<void(MaintenanceOutcome&)>& body);
    void RebuildWithFavourites(const TreeCycle& cycle, MaintenanceOutcome& outcome);
    void RestoreFavourites(const TreeCycle& cycle, MaintenanceOutcome& outcome);
    void RebuildDirectoryTree(MaintenanceOutcome& outcome);

    settings::Mod_API& api_;
    std::function<void()> yield_;
    std::string DbName;
    platform::Database Db;
    std::string favouritesPath_;  // the data folder's "~tree.tmp", fixed when an operation starts
};

}  // namespace maintenance
