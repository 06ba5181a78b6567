// EngineConnection: the one SQLite connection behind every open database (internal).
//
// Every database file that the process opens is ATTACHed to this connection as a schema of
// its own ("db1", "db2", ...); a Jet file is loaded into a private temporary schema. One
// connection means every handle sees every change at once, links are plain references into
// another schema, and one lazily committed transaction makes row-by-row writing fast: writes
// are gathered in a batch that is committed when a call ends after 250 ms of writing, when
// the writer pauses for 100 ms (by a background thread, so an idle process leaves nothing
// pending), and whenever a database handle is closed.
//
// The connection lives as long as the process and is used from one thread only; the batch
// thread touches nothing but the batch, under `batchMutex_`, which every change of the batch's
// state takes too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/JetError.h"
#include "platform/engine/Catalog.h"
#include "platform/engine/Statement.h"

struct sqlite3;

namespace platform {

class EngineConnection;
class Attachment;
class JetFileReader;

// Told before the engine writes to a file; a recordset streaming rows of that file uses it to
// fix the rows it will visit before the write can move them.
class WriteWatcher {
  public:
    virtual void BeforeWrite(const Attachment* file) = 0;

  protected:
    ~WriteWatcher() = default;
};

// One database file attached to the engine connection. Shared by every handle on the file;
// detached when the last one lets go.
class Attachment {
  public:
    Attachment(EngineConnection& connection, std::string schema, std::string path, bool readOnly,
               bool jetFile, bool readOnlyByRequest = false);
    ~Attachment();
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    const std::string& Schema() const { return schema_; }
    const std::string& Path() const { return path_; }
    bool ReadOnly() const { return readOnly_; }
    bool IsJetFile() const { return jetFile_; }
    // Opened read-only because a handle asked for it, not because the file is.
    bool ReadOnlyByRequest() const { return readOnlyByRequest_; }
    // Whether the file now at Path() is still the one attached (not replaced or recreated
    // under the same name since).
    bool IsFileAtPath() const;
    Catalog& GetCatalog() { return catalog_; }
    EngineConnection& Connection() { return connection_; }
    // What was left out when a Jet file was read (indexes, library warnings); empty for
    // engine files.
    const std::vector<std::string>& OpenNotes() const { return openNotes_; }
    void AddOpenNote(std::string note);

    // "db1" quoted for SQL: "\"db1\"".
    std::string QuotedSchema() const;
    // Throws JetError 3027 when the file is read-only.
    void RequireWritable() const;

  private:
    friend class EngineConnection;
    EngineConnection& connection_;
    std::string schema_;
    std::string path_;
    bool readOnly_;
    bool jetFile_;
    bool readOnlyByRequest_;
    // The attached file's identity on disk (device, inode), taken when it was attached.
    uint64_t device_ = 0;
    uint64_t inode_ = 0;
    Catalog catalog_;
    std::vector<std::string> openNotes_;
    // A Jet file: its reader, kept for the rows of tables not used yet, and the tables whose
    // rows are copied for good (committed, beyond any rollback).
    std::unique_ptr<JetFileReader> jetReader_;
    std::set<std::string> loadedForGood_;
};

class EngineConnection {
  public:
    static EngineConnection& Instance();
    ~EngineConnection();

    sqlite3* Db() const { return db_; }

    // The attachment of the database file at `path`, attaching it when no handle holds it.
    // Throws 3024 (missing), 3343 (neither an engine nor a Jet file), 3048 (too many open).
    std::shared_ptr<Attachment> Open(const std::string& path, bool readOnly = false);
    // Creates a new engine file at `path` (which must not exist: 3204) and attaches it.
    std::shared_ptr<Attachment> Create(const std::string& path, const std::string& locale);
    // The live attachment whose schema is `schema`, or null.
    Attachment* FindBySchema(const std::string& schema) const;

    // Runs SQL without results (DDL, catalog writes). Throws mapped JetErrors.
    void Exec(const std::string& sql);
    // A prepared statement kept for reuse; reset and unbound. Do not keep it across calls
    // that may run the same text again.
    Statement& Cached(const std::string& sql);
    // Changes whenever cached statements are finalized. A caller that runs one text row after
    // row may keep its statement while this stays the same, and reset it before each use.
    uint64_t CachedStatementsGeneration() const { return cacheGeneration_; }

    // Write bracketing: BeginWrite before a change (opens the batch transaction), EndWrite
    // after it, also when the change failed (never throws). CommitIfDue, called when an
    // operation has finished, commits the batch once it has run long enough.
    // A batch the background thread could not commit (another process holds the file) stays
    // pending; the next BeginWrite, CommitIfDue or Commit tries again and raises (3260 after
    // the busy wait) when it still cannot.
    // `file` is the one file the change writes to, when the caller knows it (null: any).
    void BeginWrite(const Attachment* file = nullptr);
    void EndWrite() noexcept;
    // How many writes are open now (nested WriteScopes).
    int WriteDepth() const { return writeDepth_; }
    // Watchers are told before every write; each must unwatch before it goes.
    void WatchWrites(WriteWatcher* watcher);
    void UnwatchWrites(WriteWatcher* watcher) noexcept;
    void CommitIfDue();
    // Commits what is pending now; inside a transaction of the caller's, nothing. Raises when
    // the commit fails; the changes then stay pending.
    void Commit();

    // The workspace's transactions (BeginTrans, CommitTrans, Rollback), nested as savepoints
    // inside the batch. While one is open no batch commit happens; committing the outermost
    // one commits everything at once. Files must be attached before a transaction begins
    // (SQLite cannot attach inside one): `Pin` keeps an attachment until the outermost ends.
    void BeginTransaction();
    void CommitTransaction();
    void RollbackTransaction();
    int TransactionDepth() const { return transactionDepth_; }
    void Pin(std::shared_ptr<Attachment> attachment);

    // Long work reports here; the callback runs at most every 50 ms. Throws 3059 when the
    // callback asks to cancel. `SetProgressCallback({})` removes it.
    void SetProgressCallback(std::function<bool()> callback);
    void ReportProgress();
    // SQLite undoes the whole open transaction when it stops a write, so a cancel is only
    // obeyed while reading, or in a write bracketed by these two: outside the caller's
    // transactions, the batch is committed first so the cancel undoes this statement alone.
    // Elsewhere a cancel waits for the callback's next call.
    void BeginCancellableWrite();
    void EndCancellableWrite() noexcept { cancellableWrite_ = false; }
    // True while the caller's progress callback runs: the engine then refuses every call.
    static bool InProgressCallback();
    static void RequireNotInProgressCallback();

    // Marks the schema read-only for the authorizer.
    void SetSchemaReadOnly(const std::string& schema, bool readOnly);

    // A Jet file's table is copied into its schema when it is first used: call before the
    // table's rows are read (any statement or recordset on it). Does nothing for engine files
    // and for tables already copied. The copy is part of the open transaction, so a rollback
    // undoes it as a whole and the next use copies again; outside the caller's transactions it
    // is committed at once. Raises 3049 when the file's rows cannot be read.
    void LoadJetTable(Attachment& file, const std::string& table);

    // Detaches files whose last handle closed while a statement elsewhere kept SQLite from
    // letting them go. Cheap when there are none; called whenever a statement ends.
    void DetachReleased() noexcept;

    // Canonical form of a path, the key under which files are attached.
    static std::string CanonicalPath(const std::string& path);

  private:
    friend class Attachment;
    EngineConnection();
    std::string NextSchemaName() const;
    void Detach(const std::string& schema);
    void ClearStatementCache();
    static int Authorize(void* self, int action, const char* a, const char* b, const char* schema,
                         const char* trigger);
    static int OnSqliteProgress(void* self);
    static int OnBusy(void* self, int attempts);
    // Runs the caller's callback; false when it asks to cancel (or fails).
    bool CallProgressCallback();
    // The background thread: commits a batch whose writer has paused.
    void CommitIdleBatches();
    // Before new writes: retries a batch the background thread failed to commit.
    void SettleFailedBatch();
    // Begins the batch transaction unless one is open.
    void OpenBatch();
    // SQLite undid the caller's open transactions itself (a write failed on a full disk or
    // an I/O error); writes raise 3035 until the caller commits (3035) or rolls back.
    bool TransactionLost() const;
    void RequireTransactionAlive();
    // After such a loss: no transaction level is open any more.
    void ForgetTransactions();
    // After a rollback: the catalogs and prepared statements may describe undone structure.
    void ForgetUndoneStructure();

    sqlite3* db_ = nullptr;
    std::map<std::string, std::weak_ptr<Attachment>> byPath_;
    std::map<std::string, Attachment*> bySchema_;
    std::set<std::string> readOnlySchemas_;
    std::string loadingSchema_;  // a Jet file's schema while a table's rows are copied in
    // Schemas whose DETACH SQLite refused for the moment; their names stay taken.
    std::set<std::string> released_;
    std::unordered_map<std::string, std::unique_ptr<Statement>> cache_;
    uint64_t cacheGeneration_ = 0;
    // The batch: guarded by batchMutex_ (recursive: engine calls nest).
    std::recursive_mutex batchMutex_;
    std::chrono::steady_clock::time_point transactionStart_;
    std::chrono::steady_clock::time_point lastWrite_;
    std::chrono::steady_clock::time_point retryAfter_;  // of the batch thread, after a failure
    bool batchOpen_ = false;                            // a BEGIN of ours awaits its COMMIT
    int pendingWrites_ = 0;
    int writeDepth_ = 0;
    int transactionDepth_ = 0;
    std::optional<JetError> failedBatch_;
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread batchThread_;  // last: started when everything else is in place
    std::vector<std::shared_ptr<Attachment>> pinned_;
    std::vector<WriteWatcher*> watchers_;
    std::function<bool()> progress_;
    std::chrono::steady_clock::time_point lastProgress_;
    bool cancellableWrite_ = false;
};

}  // namespace platform
