// Database: an open database handle, and the collections of its table and query definitions.
//
// Made by DBEngine::OpenDatabase or CreateDatabase; the caller owns it until Close or
// destruction, which also closes its recordsets and commits every change to disk. Changes
// reach the disk at most about 300 ms after their call also while the handle stays open. Any number
// of handles may be open on the same file; each sees the others' changes at once. A Jet .mdb
// file opens read-only: every write through such a handle fails with 3027. Movable, not
// copyable; single-threaded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "QueryDef.h"
#include "Recordset.h"
#include "TableDef.h"

namespace platform {

class OpenDatabaseState;

// Execute option: undo the whole statement and raise the first refused row's error.
inline constexpr int dbFailOnError = 128;

// The rows an Execute left out, and why the first of them was refused.
struct ExecuteRefusals {
    long count = 0;
    int firstErrorNumber = 0;  // 3022 duplicate key, 3314 required field, 3315, 3163, ...
    std::string firstErrorText;
};

class TableDefCollection {
  public:
    // Tables, links and system tables, in collection order (by name, letter case ignored).
    size_t Count() const { return names_.size(); }
    TableDef operator[](size_t index) const;
    TableDef Item(std::string_view name) const;  // 3265 when absent
    // Creates the table or link; 3010 when the name is taken.
    void Append(TableDef& tableDef);
    // Removes a table (with its rows) or a link (the linked file is untouched); 3265 when absent.
    void Delete(std::string_view name);
    std::vector<std::string> Names() const { return names_; }

  private:
    friend class Database;
    explicit TableDefCollection(std::shared_ptr<OpenDatabaseState> db);
    void Refresh();
    std::shared_ptr<OpenDatabaseState> db_;
    std::vector<std::string> names_;
};

class QueryDefCollection {
  public:
    size_t Count() const { return names_.size(); }
    QueryDef operator[](size_t index) const;
    QueryDef Item(std::string_view name) const;  // 3265 when absent
    void Delete(std::string_view name);          // 3265 when absent
    std::vector<std::string> Names() const { return names_; }

  private:
    friend class Database;
    explicit QueryDefCollection(std::shared_ptr<OpenDatabaseState> db);
    std::shared_ptr<OpenDatabaseState> db_;
    std::vector<std::string> names_;
};

class Database {
  public:
    Database() = default;
    ~Database();
    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // The path the database was opened with.
    const std::string& Name() const;
    bool IsOpen() const;
    bool ReadOnly() const;
    // What could not be carried over when a Jet file was opened (an index whose fields are
    // gone, one its rows do not fit) and what the Jet library reported about the file, a
    // sentence each. The file opens whenever its tables can be read; empty for engine files.
    std::vector<std::string> OpenNotes() const;

    // Runs an action statement (delete, insert ... values, insert ... select, update, Jet DDL)
    // or a stored action query by name. Every value written into a field is converted as an
    // assignment through a recordset converts it; a value that cannot be converted becomes
    // Null. Rows that would then break a key or a required field, or hold text too long or
    // empty where the field refuses it, are left out: without options the rest are applied
    // and LastExecuteRefusals() tells how many were left out and why; with dbFailOnError the
    // whole statement is undone and the first refused row's error raised. A statement that
    // cannot run at all raises (3078 missing table, 3061 unknown name, 3065 a select, syntax
    // errors). Returns the number of rows changed, as RecordsAffected() does afterwards.
    long Execute(const std::string& sql, int options = 0);
    // Rows the last Execute through this handle changed, added or deleted.
    long RecordsAffected() const { return recordsAffected_; }
    // The rows the last Execute through this handle left out.
    const ExecuteRefusals& LastExecuteRefusals() const { return refusals_; }

    // A SELECT text, a table or link name, or a stored select query name.
    Recordset OpenRecordset(const std::string& source);

    TableDefCollection TableDefs();
    QueryDefCollection QueryDefs();
    TableDef CreateTableDef(const std::string& name = {});
    // Stores the query at once; 3012 when the name is taken.
    QueryDef CreateQueryDef(const std::string& name, const std::string& sql);

    // Changes AllowZeroLength of an existing text or memo field (DAO sets it through the
    // field of a stored table definition).
    void SetAllowZeroLength(const std::string& table, const std::string& field, bool allow);

    // Closes the handle and its recordsets; harmless when already closed. Raises 3260 when
    // another process keeps the changes from being committed (after a 5 s wait); the handle is
    // closed all the same and the changes are committed once the file is free. The destructor
    // cannot raise: call Close where that must be known.
    void Close();

  private:
    friend class DBEngine;
    explicit Database(std::shared_ptr<OpenDatabaseState> state) : state_(std::move(state)) {}
    OpenDatabaseState& State() const;
    std::shared_ptr<OpenDatabaseState> state_;
    long recordsAffected_ = 0;
    ExecuteRefusals refusals_;
};

}  // namespace platform
