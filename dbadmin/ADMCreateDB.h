// ADMCreateDB: creates databases, clones table structures and query definitions from one
// database into another, and links tables.
//
// Works between two paths: DBName, the database that is created or changed, and ExternDBName,
// the other one, which supplies structures and holds the tables that links point to. No
// database stays open between calls. Which failures reach the caller and which end an
// operation quietly is said per operation. The file system passed in must outlive the object.
// Single-threaded.
#pragma once

#include <string>

namespace platform {
class FileSystem;
}

namespace dbadmin {

class ADMCreateDB {
public:
    // Uses the local file system.
    ADMCreateDB();
    explicit ADMCreateDB(platform::FileSystem& fileSystem);

    const std::string& DBName() const;
    void DBName(const std::string& vNewValue);
    const std::string& ExternDBName() const;
    void ExternDBName(const std::string& vNewValue);

    // Replaces any file at DBName with a new empty database; false on any failure.
    bool CreateDB();
    // Failing to open either database reaches the caller as the engine's error; any later
    // failure ends the operation quietly.
    void ClonTableStrukt(const std::string& sTableName, const std::string& sNewTableName = "");
    void ClonDBStruktur();
    // Every failure ends these quietly.
    void LinkTable(const std::string& sTableName, const std::string& sNewTableName = "");
    void ClonQuerydef(const std::string& sName);
    void CreateQuerydef(const std::string& sName, const std::string& sSql);
};

}  // namespace dbadmin
