// CheckDatabase: keeps the two side databases (temp and tree) of the target database in order.
//
// At every start of the tool, each check probes the link of its side database's first table
// in the target database and rebuilds the whole side database from the target's template
// tables when the link is wrong or the side database unusable. The target database's path is
// set by whoever owns the object (the window, while it loads; tests directly). Borrows the
// Mod_API, which must outlive it. Single-threaded.
#pragma once

#include <string>

namespace settings {
class Mod_API;
}

namespace dbadmin {

// What one check did: whether it rebuilt the side database, the last error number that
// decided it, and the first failure of the check or rebuild (0 and empty when none).
struct SideDatabaseCheckOutcome {
    bool rebuilt = false;
    int lastError = 0;
    int errorNumber = 0;
    std::string errorText;
};

class CheckDatabase {
public:
    explicit CheckDatabase(settings::Mod_API& api);

    void SetTargetDatabasePath(const std::string& path);
    const std::string& TargetDatabasePath() const;

    // Never throw.
    SideDatabaseCheckOutcome CheckTempDatabase();
    SideDatabaseCheckOutcome CheckTreeDatabase();
};

}  // namespace dbadmin
