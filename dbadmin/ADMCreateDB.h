// ADMCreateDB: creates databases, clones table structures and query definitions from one
// database into another, and links tables.
//
// Works between two paths: DBName, the database that is created or changed, and ExternDBName,
// the other one, which supplies structures and holds the tables that links point to. No
// database stays open between calls. Which failures reach the caller and which end an
// operation quietly is said per operation; the failure that ended the last operation quietly
// can be read back for a log. The file system passed in must outlive the object.
// Single-threaded.
#pragma once

#include <memory>
#include <string>

namespace platform {
class Database;
class FileSystem;
}  // namespace platform

namespace dbadmin {

class ADMCreateDB {
  public:
    // Uses the local file system.
    ADMCreateDB();
    explicit ADMCreateDB(platform::FileSystem& fileSystem);
    ~ADMCreateDB();
    ADMCreateDB(const ADMCreateDB&) = delete;
    ADMCreateDB& operator=(const ADMCreateDB&) = delete;

    const std::string& DBName() const;
    void DBName(const std::string& vNewValue);
    const std::string& ExternDBName() const;
    void ExternDBName(const std::string& vNewValue);

    // Replaces any file at DBName with a new empty database; false on any failure. The new
    // database is made under a temporary name beside DBName and takes DBName's place only
    // when it is complete, so a failure leaves an existing file as it was.
    bool CreateDB();
    // Failing to open either database reaches the caller as the engine's error; any later
    // failure ends the operation quietly.
    void ClonTableStrukt(const std::string& sTableName, const std::string& sNewTableName = "");
    void ClonDBStruktur();
    // Every failure ends these quietly. The removal of the old table or query and the creation
    // of the new one happen in one transaction: a failing creation keeps the old one.
    void LinkTable(const std::string& sTableName, const std::string& sNewTableName = "");
    void ClonQuerydef(const std::string& sName);
    void CreateQuerydef(const std::string& sName, const std::string& sSql);

    // The engine error that ended the last operation (or made CreateDB return false); 0 and
    // empty after an operation that ran to its end. Set afresh by every operation.
    int LastErrorNumber() const { return lastErrorNumber_; }
    const std::string& LastErrorText() const { return lastErrorText_; }

  private:
    platform::FileSystem& Files();
    void ClearLastError();
    void NoteError(int number, const std::string& text);
    platform::Database OpenForCaller(const std::string& path);
    static void DeleteTableDef(platform::Database& db, const std::string& name);
    static void DeleteQueryDef(platform::Database& db, const std::string& name);

    std::string dbName_;
    std::string externDbName_;
    platform::FileSystem* fileSystem_ = nullptr;           // borrowed, or ownFileSystem_
    std::unique_ptr<platform::FileSystem> ownFileSystem_;  // created on first use
    int lastErrorNumber_ = 0;
    std::string lastErrorText_;
};

}  // namespace dbadmin
