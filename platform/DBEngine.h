// DBEngine: the database engine, created on first use and shared by the whole process.
//
// Opens, creates and compacts databases. Database files of this engine are SQLite files
// (whatever their name); Jet 3/4 .mdb files are recognised by their header and opened
// read-only. Single-threaded: use it from one thread only.
#pragma once

#include <string>

#include "Database.h"

namespace platform {

// DAO's general sort order with code page 1252: the locale CreateDatabase is given.
inline constexpr const char* dbLangGeneral = ";LANGID=0x0409;CP=1252;COUNTRY=0";

class Workspace {
public:
    Database OpenDatabase(const std::string& path);
    Database CreateDatabase(const std::string& path, const std::string& locale);
};

class DBEngine {
public:
    static DBEngine& Instance();

    // 3024 when the file does not exist, 3343 when it is no database.
    Database OpenDatabase(const std::string& path);
    // A new, empty database; 3204 when the file exists, 3044 when its folder does not.
    Database CreateDatabase(const std::string& path, const std::string& locale);
    // Writes a compacted copy of `source` to `destination`, which must not exist (3204). The
    // copy is written under a temporary name, checked (integrity, every table's row count)
    // and synced to disk before it takes the destination's name, so the destination either
    // does not exist or is complete. A Jet source gives an engine file with the same tables
    // and rows. Auto-increment counters restart after the highest value kept, as in Jet.
    void CompactDatabase(const std::string& source, const std::string& destination);

    Workspace& Workspaces(int index);

private:
    DBEngine() = default;
    Workspace workspace_;
};

}  // namespace platform
