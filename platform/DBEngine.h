// DBEngine: the database engine, created on first use and shared by the whole process.
//
// Opens, creates and compacts databases. Database files of this engine are SQLite files
// (whatever their name); Jet 3/4 .mdb files are recognised by their header and opened
// read-only. Single-threaded: use it from one thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Database.h"

namespace platform {

class FileSystem;

// DAO's general sort order with code page 1252: the locale CreateDatabase is given.
inline constexpr const char* dbLangGeneral = ";LANGID=0x0409;CP=1252;COUNTRY=0";

// Workspace 0, the only one: opens databases and holds the transactions. A transaction
// covers every open database and every file reached through their links; BeginTrans may nest.
// Files must be open before BeginTrans: opening or creating one inside a transaction raises.
// Closing a database does not end a transaction.
class Workspace {
  public:
    Database OpenDatabase(const std::string& path, bool exclusive = false, bool readOnly = false);
    Database CreateDatabase(const std::string& path, const std::string& locale);

    void BeginTrans();
    // 3034 when no transaction is open. Committing the outermost transaction makes its changes
    // durable before it returns.
    void CommitTrans();
    // Undoes everything written since the matching BeginTrans, structure changes included.
    void Rollback();
};

class DBEngine {
  public:
    static DBEngine& Instance();

    // 3024 when the file does not exist, 3343 when it is no database. `readOnly` opens the
    // file read-only at the operating-system level (when no other handle has it open for
    // writing; then this handle alone refuses writes): every write through the handle raises
    // 3027. A file held read-only on request cannot be opened for writing meanwhile (3045).
    // `exclusive` is accepted for DAO's sake; the engine shares files within the process.
    Database OpenDatabase(const std::string& path, bool exclusive = false, bool readOnly = false);
    // A new, empty database; 3204 when the file exists, 3044 when its folder does not.
    Database CreateDatabase(const std::string& path, const std::string& locale);
    // Writes a compacted copy of `source` to `destination`, which must not exist (3204). The
    // copy is written under a temporary name, checked (integrity, every table's row count)
    // and synced to disk before it takes the destination's name, so the destination either
    // does not exist or is complete. A Jet source gives an engine file with the same tables
    // and rows. Auto-increment counters restart after the highest value kept, as in Jet.
    void CompactDatabase(const std::string& source, const std::string& destination);

    Workspace& Workspaces(int index);

    // Called at least every 50 ms while the engine works long (reading a Jet file's tables,
    // compacting, a long statement), so that a window can repaint. Returning false cancels
    // the work: it raises 3059 and changes nothing. The callback must not use the engine;
    // any engine call from inside it raises. An empty function removes the callback.
    void SetProgressCallback(std::function<bool()> callback);

    // The engine's own file work (the compaction's existence checks, syncs, rename and
    // temporary copy) goes through the machine's file system, or through the one a
    // FileSystemScope puts in its place while it lives (tests use this to inject faults).
    // Scopes nest; each restores the file system before it. The engine does not own it.
    class FileSystemScope {
      public:
        explicit FileSystemScope(FileSystem& files);
        ~FileSystemScope();
        FileSystemScope(const FileSystemScope&) = delete;
        FileSystemScope& operator=(const FileSystemScope&) = delete;

      private:
        FileSystem* previous_;
    };

  private:
    friend class Workspace;
    DBEngine();
    // Attaches every file that the open databases link to, so a transaction can reach them.
    void AttachLinkedFiles();
    Workspace workspace_;
    FileSystem* files_;
    std::vector<std::weak_ptr<OpenDatabaseState>> open_;
};

}  // namespace platform
