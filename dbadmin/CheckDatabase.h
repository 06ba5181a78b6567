// CheckDatabase: keeps the two side databases (temp and tree) of the target database in order.
//
// At every start of the tool, each check probes the link of its side database's first table
// in the target database and rebuilds the whole side database from the target's template
// tables when the link is wrong or the side database unusable. A rebuild is made under a
// temporary name in the data folder and takes the side database's place only when all its
// tables are there; the probe table's link is made last, so a probe that passes means every
// link is in place. When the target database cannot be opened, nothing is changed. The
// target database's path is set by whoever owns the object (the window, while it loads; tests
// directly). Borrows the Mod_API and the file system, which must outlive it. Single-threaded.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {
class FileSystem;
}

namespace settings {
class Mod_API;
}

namespace dbadmin {

// What one check did: whether it rebuilt the side database, the last error number that
// decided it, and the first failure of the check or rebuild (0 and empty when none).
struct SideDatabaseCheckOutcome {
    // True when the side database is in order afterwards: found sound, or rebuilt with every
    // link. A failure of the probe that the rebuild then mended leaves errorNumber set.
    bool sound = false;
    bool rebuilt = false;
    int lastError = 0;
    int errorNumber = 0;
    std::string errorText;
};

class CheckDatabase {
  public:
    // Uses the local file system.
    explicit CheckDatabase(settings::Mod_API& api);
    CheckDatabase(settings::Mod_API& api, platform::FileSystem& fileSystem);
    ~CheckDatabase();
    CheckDatabase(const CheckDatabase&) = delete;
    CheckDatabase& operator=(const CheckDatabase&) = delete;

    void SetTargetDatabasePath(const std::string& path);
    const std::string& TargetDatabasePath() const;

    // Never throw.
    SideDatabaseCheckOutcome CheckTempDatabase();
    SideDatabaseCheckOutcome CheckTreeDatabase();

    // One row of a check's table list: the side table (also the link's name) and the
    // template in the target database it is built from. The first row is the probe table.
    struct SideTable {
        const char* sideTable;
        const char* templateTable;
    };
    static const std::vector<SideTable>& TempTables();
    static const std::vector<SideTable>& TreeTables();

  private:
    SideDatabaseCheckOutcome Check(const std::string& fileName,
                                   const std::vector<SideTable>& tables);
    bool Rebuild(const std::string& sidePath, const std::vector<SideTable>& tables,
                 SideDatabaseCheckOutcome& outcome);

    settings::Mod_API& api_;
    platform::FileSystem* fileSystem_;  // borrowed, or ownFileSystem_
    std::unique_ptr<platform::FileSystem> ownFileSystem_;
    std::string targetPath_;
};

}  // namespace dbadmin
