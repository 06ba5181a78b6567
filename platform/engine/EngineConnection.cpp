#include "platform/engine/EngineConnection.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/JetError.h"
#include "platform/engine/BatchedRowInsert.h"
#include "platform/engine/FieldRules.h"
#include "platform/engine/SqliteErrors.h"
#include "platform/engine/WriteScope.h"
#include "platform/jetfile/JetFileReader.h"
#include "platform/jetsql/JetFunctions.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

// A batch is committed after this long or this many changes, whichever comes first, and
// by the background thread once no write came for kIdleCommit (it looks every kIdleLook).
constexpr auto kCommitInterval = std::chrono::milliseconds(250);
constexpr int kCommitEveryWrites = 20000;
constexpr auto kIdleCommit = std::chrono::milliseconds(100);
constexpr auto kIdleLook = std::chrono::milliseconds(50);
// How long a statement or a commit waits for another process's lock before it fails (3260),
// looking again every kBusyStepMs. The batch thread waits only briefly and tries again later,
// so that it never keeps the engine's own calls waiting long.
constexpr int kBusyWaitMs = 5000;
constexpr int kBatchThreadBusyWaitMs = 200;
constexpr int kBusyStepMs = 10;
constexpr auto kBatchThreadRetry = std::chrono::seconds(1);
// The Jet files' tables whose rows are copied in, by schema: in the connection's own temporary
// schema, which no Jet name reaches, and in the same transaction as the rows it marks.
constexpr const char* kLoadedTables = "\"temp\".\"jet_loaded_tables\"";
// How often long work hands control to the caller's progress callback.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);
// SQLite virtual-machine steps between two looks at the clock.
constexpr int kProgressSteps = 4000;

bool inProgressCallback = false;
thread_local bool onBatchThread = false;

enum class FileKind { Missing, Empty, Engine, Jet, Other };

FileKind KindOfFile(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) return FileKind::Missing;
    if (fs::is_directory(path, ec)) return FileKind::Other;
    std::ifstream in(path, std::ios::binary);
    char header[16] = {};
    in.read(header, sizeof header);
    if (in.gcount() == 0) return FileKind::Empty;
    if (in.gcount() == 16 && std::memcmp(header, "SQLite format 3", 16) == 0)
        return FileKind::Engine;
    if (JetFileReader::HasJetHeader(path)) return FileKind::Jet;
    return FileKind::Other;
}

// A file: URI for `path`, so that SQLite opens exactly that file with the given mode.
std::string FileUri(const std::string& path, const char* mode) {
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            uri += buf;
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + "?mode=" + mode;
}

}  // namespace

Attachment::Attachment(EngineConnection& connection, std::string schema, std::string path,
                       bool readOnly, bool jetFile, bool readOnlyByRequest)
    : connection_(connection),
      schema_(std::move(schema)),
      path_(std::move(path)),
      readOnly_(readOnly),
      jetFile_(jetFile),
      readOnlyByRequest_(readOnlyByRequest),
      catalog_(connection, schema_) {
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0) {
        device_ = static_cast<uint64_t>(info.st_dev);
        inode_ = static_cast<uint64_t>(info.st_ino);
    }
}

bool Attachment::IsFileAtPath() const {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) return false;
    return static_cast<uint64_t>(info.st_dev) == device_ &&
           static_cast<uint64_t>(info.st_ino) == inode_;
}

Attachment::~Attachment() {
    try {
        connection_.Detach(schema_);
    } catch (...) {
        // The commit failed: the file stays attached and is let go by DetachReleased later.
    }
}

void Attachment::AddOpenNote(std::string note) {
    if (std::find(openNotes_.begin(), openNotes_.end(), note) == openNotes_.end())
        openNotes_.push_back(std::move(note));
}

std::string Attachment::QuotedSchema() const { return QuoteIdentifier(schema_); }

void Attachment::RequireWritable() const {
    if (readOnly_) ThrowJetError(jet::kReadOnly);
}

EngineConnection& EngineConnection::Instance() {
    static EngineConnection connection;
    return connection;
}

EngineConnection::EngineConnection() {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    const int rc = sqlite3_open_v2(
        ":memory:", &db_,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        ThrowJetError(jet::kEngineFailure, "cannot start SQLite");
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_limit(db_, SQLITE_LIMIT_WORKER_THREADS, 2);
    sqlite3_busy_handler(db_, &EngineConnection::OnBusy, this);
    RegisterJetFunctions(db_);
    sqlite3_set_authorizer(db_, &EngineConnection::Authorize, this);
    batchThread_ = std::thread([this] { CommitIdleBatches(); });
}

void EngineConnection::CommitIdleBatches() {
    onBatchThread = true;
    std::unique_lock<std::mutex> wait(wakeMutex_);
    while (!stopping_) {
        wake_.wait_for(wait, kIdleLook);
        if (stopping_) break;
        std::unique_lock<std::recursive_mutex> batch(batchMutex_, std::try_to_lock);
        if (!batch.owns_lock()) continue;  // the engine is busy writing: it commits itself
        if (!batchOpen_ || writeDepth_ > 0 || transactionDepth_ > 0) continue;
        if (sqlite3_get_autocommit(db_)) {
            batchOpen_ = false;  // SQLite ended it itself (a failed statement rolled it back)
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastWrite_ < kIdleCommit || now < retryAfter_) continue;
        const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            pendingWrites_ = 0;
            batchOpen_ = false;
            failedBatch_.reset();
        } else {
            // Reported at the engine's next write or commit, which tries once more first.
            failedBatch_ = MapSqliteError(db_, rc, "COMMIT");
            retryAfter_ = now + kBatchThreadRetry;
        }
    }
}

void EngineConnection::SettleFailedBatch() {
    if (!failedBatch_) return;
    if (sqlite3_get_autocommit(db_)) {
        // SQLite gave the batch up (an I/O error): its changes are lost, which the caller
        // must learn.
        const JetError failure = *failedBatch_;
        failedBatch_.reset();
        throw failure;
    }
    if (transactionDepth_ == 0) Commit();
}

bool EngineConnection::InProgressCallback() { return inProgressCallback; }

void EngineConnection::RequireNotInProgressCallback() {
    if (inProgressCallback)
        ThrowJetError(jet::kEngineFailure,
                      "the engine cannot be used from inside its own progress callback");
}

void EngineConnection::SetProgressCallback(std::function<bool()> callback) {
    RequireNotInProgressCallback();
    progress_ = std::move(callback);
    lastProgress_ = std::chrono::steady_clock::now();
    if (progress_)
        sqlite3_progress_handler(db_, kProgressSteps, &EngineConnection::OnSqliteProgress, this);
    else
        sqlite3_progress_handler(db_, 0, nullptr, nullptr);
}

bool EngineConnection::CallProgressCallback() {
    lastProgress_ = std::chrono::steady_clock::now();
    inProgressCallback = true;
    bool goOn = false;
    try {
        goOn = progress_();
    } catch (...) {
        goOn = false;  // a callback that fails cannot let the work go on safely
    }
    inProgressCallback = false;
    return goOn;
}

int EngineConnection::OnBusy(void*, int attempts) {
    const int limit = onBatchThread ? kBatchThreadBusyWaitMs : kBusyWaitMs;
    if (attempts * kBusyStepMs >= limit) return 0;
    sqlite3_sleep(kBusyStepMs);
    return 1;
}

int EngineConnection::OnSqliteProgress(void* self) {
    auto* connection = static_cast<EngineConnection*>(self);
    // The batch thread's commit is no work of the caller's: never call back from there (nor
    // look at the callback, which the caller's thread may be replacing).
    if (onBatchThread) return 0;
    if (!connection->progress_) return 0;
    if (std::chrono::steady_clock::now() - connection->lastProgress_ < kProgressInterval) return 0;
    if (connection->CallProgressCallback()) return 0;
    if (connection->writeDepth_ > 0 && !connection->cancellableWrite_) return 0;
    return 1;  // SQLite stops the statement with SQLITE_INTERRUPT
}

void EngineConnection::BeginCancellableWrite() {
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (!progress_ || transactionDepth_ > 0) return;
    Commit();
    cancellableWrite_ = true;
}

void EngineConnection::ReportProgress() {
    if (!progress_) return;
    if (std::chrono::steady_clock::now() - lastProgress_ < kProgressInterval) return;
    if (!CallProgressCallback()) ThrowJetError(jet::kCancelled);
}

void EngineConnection::Pin(std::shared_ptr<Attachment> attachment) {
    if (transactionDepth_ > 0) pinned_.push_back(std::move(attachment));
}

bool EngineConnection::TransactionLost() const {
    // Every open transaction level is a savepoint inside an open SQLite transaction, so SQLite
    // in autocommit mode means it undid them all (a write failed on a full disk or an I/O
    // error).
    return transactionDepth_ > 0 && sqlite3_get_autocommit(db_);
}

void EngineConnection::RequireTransactionAlive() {
    if (TransactionLost())
        ThrowJetError(jet::kResourcesExceeded,
                      "a failed write undid the open transaction; commit or roll it back");
}

void EngineConnection::ForgetTransactions() {
    transactionDepth_ = 0;
    ForgetUndoneStructure();
    pinned_.clear();
    DetachReleased();
}

void EngineConnection::ForgetUndoneStructure() {
    // Structure changes were undone with the rows: forget what the catalogs remembered.
    for (auto& [schema, attachment] : bySchema_) attachment->GetCatalog().Invalidate();
    ClearStatementCache();
}

void EngineConnection::BeginTransaction() {
    RequireNotInProgressCallback();
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    RequireTransactionAlive();
    SettleFailedBatch();
    // The batch so far is committed first: when SQLite undoes a transaction after a failed
    // write, it undoes the whole SQLite transaction, and that must not take the writes made
    // before BeginTrans with it.
    if (transactionDepth_ == 0) Commit();
    OpenBatch();
    Exec("SAVEPOINT jet_transaction_" + std::to_string(transactionDepth_));
    ++transactionDepth_;
}

void EngineConnection::CommitTransaction() {
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (transactionDepth_ == 0) ThrowJetError(jet::kNoTransaction);
    if (TransactionLost()) {
        // Nothing of the transaction is left to commit: its changes are gone, which the
        // caller must learn rather than count them as stored.
        ForgetTransactions();
        ThrowJetError(jet::kResourcesExceeded, "a failed write undid the transaction");
    }
    Exec("RELEASE jet_transaction_" + std::to_string(transactionDepth_ - 1));
    --transactionDepth_;
    if (transactionDepth_ == 0) {
        Commit();
        pinned_.clear();
        DetachReleased();
    }
}

void EngineConnection::RollbackTransaction() {
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (transactionDepth_ == 0) ThrowJetError(jet::kNoTransaction);
    if (TransactionLost()) {
        ForgetTransactions();  // SQLite has already undone what the rollback asks for
        return;
    }
    const std::string name = "jet_transaction_" + std::to_string(transactionDepth_ - 1);
    Exec("ROLLBACK TO " + name);
    Exec("RELEASE " + name);
    --transactionDepth_;
    ForgetUndoneStructure();
    if (transactionDepth_ == 0) {
        Commit();
        pinned_.clear();
        DetachReleased();
    }
}

EngineConnection::~EngineConnection() {
    {
        std::lock_guard<std::mutex> wait(wakeMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (batchThread_.joinable()) batchThread_.join();
    try {
        Commit();
    } catch (...) {
        // Nobody is left to tell; the pending changes are lost as in a killed process.
    }
    ClearStatementCache();
    sqlite3_close_v2(db_);
}

int EngineConnection::Authorize(void* self, int action, const char*, const char*,
                                const char* schema, const char*) {
    auto* connection = static_cast<EngineConnection*>(self);
    if (!schema || connection->readOnlySchemas_.empty()) return SQLITE_OK;
    switch (action) {
        case SQLITE_INSERT:
        case SQLITE_UPDATE:
        case SQLITE_DELETE:
        case SQLITE_CREATE_TABLE:
        case SQLITE_CREATE_INDEX:
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_INDEX:
        case SQLITE_ALTER_TABLE:
            if (schema == connection->loadingSchema_) return SQLITE_OK;
            return connection->readOnlySchemas_.count(schema) ? SQLITE_DENY : SQLITE_OK;
        default:
            return SQLITE_OK;
    }
}

void EngineConnection::SetSchemaReadOnly(const std::string& schema, bool readOnly) {
    if (readOnly)
        readOnlySchemas_.insert(schema);
    else
        readOnlySchemas_.erase(schema);
    ClearStatementCache();  // the authorizer's verdict is taken when a statement is prepared
}

std::string EngineConnection::CanonicalPath(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? path : p.string();
}

std::string EngineConnection::NextSchemaName() const {
    for (int i = 1;; ++i) {
        std::string name = "db" + std::to_string(i);
        if (!bySchema_.count(name) && !released_.count(name)) return name;
    }
}

Attachment* EngineConnection::FindBySchema(const std::string& schema) const {
    auto it = bySchema_.find(schema);
    return it == bySchema_.end() ? nullptr : it->second;
}

void EngineConnection::Exec(const std::string& sql) {
    RequireNotInProgressCallback();
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) throw MapSqliteError(db_, rc, sql);
}

Statement& EngineConnection::Cached(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) {
        if (cache_.size() > 200) ClearStatementCache();
        it = cache_.emplace(sql, std::make_unique<Statement>(db_, sql)).first;
    } else {
        it->second->Reset();
    }
    return *it->second;
}

void EngineConnection::ClearStatementCache() {
    cache_.clear();
    ++cacheGeneration_;
}

void EngineConnection::WatchWrites(WriteWatcher* watcher) { watchers_.push_back(watcher); }

void EngineConnection::UnwatchWrites(WriteWatcher* watcher) noexcept {
    std::erase(watchers_, watcher);
}

void EngineConnection::OpenBatch() {
    if (!sqlite3_get_autocommit(db_)) return;
    Exec("BEGIN");
    batchOpen_ = true;
    transactionStart_ = std::chrono::steady_clock::now();
    pendingWrites_ = 0;
}

void EngineConnection::BeginWrite(const Attachment* file) {
    RequireNotInProgressCallback();
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (!watchers_.empty()) {
        const std::vector<WriteWatcher*> watchers = watchers_;  // they unwatch as they go
        for (WriteWatcher* watcher : watchers) watcher->BeforeWrite(file);
    }
    // A write after the loss would land outside the caller's transaction, in a batch of its own.
    RequireTransactionAlive();
    if (writeDepth_ == 0) SettleFailedBatch();
    OpenBatch();
    ++writeDepth_;
}

void EngineConnection::EndWrite() noexcept {
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (writeDepth_ > 0) --writeDepth_;
    ++pendingWrites_;
    lastWrite_ = std::chrono::steady_clock::now();
}

void EngineConnection::CommitIfDue() {
    RequireNotInProgressCallback();
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (writeDepth_ > 0 || transactionDepth_ > 0) return;
    SettleFailedBatch();
    if (sqlite3_get_autocommit(db_)) return;
    if (pendingWrites_ >= kCommitEveryWrites ||
        std::chrono::steady_clock::now() - transactionStart_ >= kCommitInterval) {
        Commit();
    }
}

void EngineConnection::Commit() {
    RequireNotInProgressCallback();
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (!db_ || transactionDepth_ > 0) return;
    if (sqlite3_get_autocommit(db_)) {
        SettleFailedBatch();
        return;
    }
    // On failure (3260 when another process holds the file past the busy wait) the batch
    // stays pending and the background thread keeps trying.
    try {
        Exec("COMMIT");
    } catch (const JetError& e) {
        failedBatch_ = e;
        throw;
    }
    pendingWrites_ = 0;
    batchOpen_ = false;
    failedBatch_.reset();
}

std::shared_ptr<Attachment> EngineConnection::Open(const std::string& path, bool readOnly) {
    RequireNotInProgressCallback();
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    const std::string canonical = CanonicalPath(path);
    if (auto it = byPath_.find(canonical); it != byPath_.end()) {
        auto existing = it->second.lock();
        // A file replaced under the same name since it was attached (a side database rebuilt
        // and renamed into place) is attached anew; handles on the old one keep theirs.
        if (existing && existing->IsFileAtPath()) {
            // A file another handle opened read-only on request stays so while that handle
            // lives; a writer cannot share it.
            if (!readOnly && existing->ReadOnlyByRequest()) ThrowJetError(jet::kFileInUse, path);
            return existing;
        }
    }
    const FileKind kind = KindOfFile(path);
    if (kind == FileKind::Missing) ThrowJetError(jet::kFileNotFound, path);
    if (kind == FileKind::Empty || kind == FileKind::Other)
        ThrowJetError(jet::kUnrecognizedFormat, path);
    if (bySchema_.size() >= static_cast<size_t>(sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, -1))) {
        ThrowJetError(jet::kTooManyDatabases);
    }
    if (transactionDepth_ > 0)
        ThrowJetError(jet::kEngineFailure, "a file cannot be opened inside a transaction: " + path);

    Commit();
    DetachReleased();
    const std::string schema = NextSchemaName();
    if (kind == FileKind::Engine) {
        std::error_code ec;
        const auto perms = fs::status(path, ec).permissions();
        const bool writable = !readOnly && (perms & fs::perms::owner_write) != fs::perms::none &&
                              ::access(path.c_str(), W_OK) == 0;
        Exec("ATTACH DATABASE " + QuoteLiteral(FileUri(canonical, writable ? "rw" : "ro")) +
             " AS " + QuoteIdentifier(schema));
        try {
            Exec("SELECT count(*) FROM " + QuoteIdentifier(schema) + ".sqlite_master");
        } catch (const JetError&) {
            Exec("DETACH DATABASE " + QuoteIdentifier(schema));
            ThrowJetError(jet::kUnrecognizedFormat, path);
        }
        // Row-by-row writing into large indexed tables keeps their pages at hand between
        // commits; SQLite's default cache of 2 MB spilled and reread them.
        if (writable) Exec("PRAGMA " + QuoteIdentifier(schema) + ".cache_size = -32768");
        auto attachment =
            std::make_shared<Attachment>(*this, schema, canonical, !writable, false, readOnly);
        bySchema_[schema] = attachment.get();
        byPath_[canonical] = attachment;
        if (!writable) SetSchemaReadOnly(schema, true);
        return attachment;
    }

    // A Jet file: its structure now, each table's rows when the table is first used
    // (LoadJetTable), into a private temporary schema that then serves every handle on the
    // file. The file itself is only read.
    auto reader = std::make_unique<JetFileReader>(path);
    Exec(std::string("CREATE TABLE IF NOT EXISTS ") + kLoadedTables +
         " (schema TEXT, name TEXT, PRIMARY KEY (schema, name))");
    Exec(std::string("DELETE FROM ") + kLoadedTables + " WHERE schema = " + QuoteLiteral(schema));
    Exec("ATTACH DATABASE '' AS " + QuoteIdentifier(schema));
    auto attachment = std::make_shared<Attachment>(*this, schema, canonical, true, true, readOnly);
    bySchema_[schema] = attachment.get();
    try {
        Catalog& catalog = attachment->GetCatalog();
        catalog.CreateCatalogTables(";LANGID=0x0409;CP=1252;COUNTRY=0");
        WriteScope structure(*this);
        for (const TableDescription& table : reader->Tables()) {
            TableDescription withKey = table;
            std::erase_if(withKey.Indexes, [](const IndexDescription& i) { return !i.Primary; });
            try {
                catalog.CreateTable(withKey);
            } catch (const JetError& e) {
                if (withKey.Indexes.empty()) throw;
                attachment->AddOpenNote("Table \"" + table.Name +
                                        "\": primary key left out: " + e.what());
                withKey.Indexes.clear();
                catalog.CreateTable(withKey);
            }
            for (const IndexDescription& index : table.Indexes) {
                if (index.Primary) continue;
                try {
                    catalog.CreateIndex(table.Name, index);
                } catch (const JetError& e) {
                    attachment->AddOpenNote("Table \"" + table.Name + "\": index \"" + index.Name +
                                            "\" left out: " + e.what());
                }
            }
        }
        for (const std::string& note : reader->Notes()) attachment->AddOpenNote(note);
        structure.Release();
        Commit();
    } catch (...) {
        batchOpen_ = false;
        try {
            Exec("ROLLBACK");
        } catch (...) {
        }
        throw;
    }
    attachment->jetReader_ = std::move(reader);
    SetSchemaReadOnly(schema, true);
    byPath_[canonical] = attachment;
    return attachment;
}

void EngineConnection::LoadJetTable(Attachment& file, const std::string& table) {
    if (!file.jetReader_ || file.loadedForGood_.count(table)) return;
    RequireNotInProgressCallback();
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    const std::string schema = file.QuotedSchema();
    {
        Statement loaded(db_, std::string("SELECT 1 FROM ") + kLoadedTables +
                                  " WHERE schema = ?1 AND name = ?2");
        BindValue(loaded, 1, Value::FromText(file.Schema()));
        BindValue(loaded, 2, Value::FromText(table));
        if (loaded.Step()) {
            if (transactionDepth_ == 0 && sqlite3_get_autocommit(db_))
                file.loadedForGood_.insert(table);
            return;
        }
    }
    const auto& tables = file.jetReader_->Tables();
    const auto description = std::find_if(
        tables.begin(), tables.end(), [&](const TableDescription& t) { return t.Name == table; });
    if (description == tables.end()) return;

    if (writeDepth_ == 0) SettleFailedBatch();
    OpenBatch();
    Exec("SAVEPOINT jet_load");
    loadingSchema_ = file.Schema();
    // The copy takes the rows exactly as the file holds them, also where a rule was added to
    // a Jet table after its rows: refusing them would hide part of a library.
    Exec("PRAGMA ignore_check_constraints = ON");
    Catalog& catalog = file.GetCatalog();
    try {
        // The other indexes follow the rows: building each once is faster, and one the rows
        // do not fit is left out alone.
        std::vector<IndexDescription> secondary;
        if (auto info = catalog.FindTable(table)) {
            for (const IndexDescription& index : info->description.Indexes)
                if (!index.Primary) secondary.push_back(index);
        }
        for (const IndexDescription& index : secondary) catalog.DropIndex(table, index.Name);

        BatchedRowInsert insert(db_, schema + "." + QuoteIdentifier(table),
                                description->Fields.size());
        file.jetReader_->ReadRows(table, [&](const std::vector<WireValue>& row) {
            insert.Add(row);
            ReportProgress();
        });
        insert.Finish();
        for (const IndexDescription& index : secondary) {
            try {
                catalog.CreateIndex(table, index);
            } catch (const JetError& e) {
                file.AddOpenNote("Table \"" + table + "\": index \"" + index.Name +
                                 "\" left out: " + e.what());
            }
        }
        for (const std::string& note : file.jetReader_->Notes()) file.AddOpenNote(note);
        Statement mark(db_, std::string("INSERT INTO ") + kLoadedTables + " VALUES (?1, ?2)");
        BindValue(mark, 1, Value::FromText(file.Schema()));
        BindValue(mark, 2, Value::FromText(table));
        mark.Step();
        Exec("RELEASE jet_load");
    } catch (...) {
        loadingSchema_.clear();
        sqlite3_exec(db_, "PRAGMA ignore_check_constraints = OFF", nullptr, nullptr, nullptr);
        // An I/O error may have ended the whole transaction already; then the savepoint is gone.
        sqlite3_exec(db_, "ROLLBACK TO jet_load", nullptr, nullptr, nullptr);
        sqlite3_exec(db_, "RELEASE jet_load", nullptr, nullptr, nullptr);
        if (sqlite3_get_autocommit(db_)) batchOpen_ = false;
        catalog.Invalidate();
        throw;
    }
    loadingSchema_.clear();
    Exec("PRAGMA ignore_check_constraints = OFF");
    if (transactionDepth_ == 0) {
        Commit();
        file.loadedForGood_.insert(table);
    }
}

std::shared_ptr<Attachment> EngineConnection::Create(const std::string& path,
                                                     const std::string& locale) {
    RequireNotInProgressCallback();
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (transactionDepth_ > 0)
        ThrowJetError(jet::kEngineFailure,
                      "a file cannot be created inside a transaction: " + path);
    std::error_code ec;
    if (fs::exists(path, ec)) ThrowJetError(jet::kDatabaseExists);
    const fs::path parent = fs::absolute(path, ec).parent_path();
    if (path.empty() || !fs::is_directory(parent, ec)) ThrowJetError(jet::kInvalidPath, path);
    if (bySchema_.size() >= static_cast<size_t>(sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, -1))) {
        ThrowJetError(jet::kTooManyDatabases);
    }
    Commit();
    DetachReleased();
    const std::string canonical = CanonicalPath(path);
    const std::string schema = NextSchemaName();
    Exec("ATTACH DATABASE " + QuoteLiteral(FileUri(canonical, "rwc")) + " AS " +
         QuoteIdentifier(schema));
    auto attachment = std::make_shared<Attachment>(*this, schema, canonical, false, false);
    bySchema_[schema] = attachment.get();
    try {
        attachment->GetCatalog().CreateCatalogTables(locale);
        Commit();
    } catch (...) {
        attachment.reset();
        fs::remove(canonical, ec);
        throw;
    }
    byPath_[canonical] = attachment;
    return attachment;
}

void EngineConnection::Detach(const std::string& schema) {
    bySchema_.erase(schema);
    readOnlySchemas_.erase(schema);
    for (auto it = byPath_.begin(); it != byPath_.end();) {
        if (it->second.expired())
            it = byPath_.erase(it);
        else
            ++it;
    }
    released_.insert(schema);
    // Inside the progress callback, or with a batch that could not be committed, the file
    // stays attached until a later commit lets it go; waiting for a lock again here would
    // only delay the caller.
    if (inProgressCallback) return;
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    if (failedBatch_) return;
    Commit();
    DetachReleased();
}

void EngineConnection::DetachReleased() noexcept {
    if (released_.empty() || !db_ || inProgressCallback) return;
    std::lock_guard<std::recursive_mutex> batch(batchMutex_);
    ClearStatementCache();
    for (auto it = released_.begin(); it != released_.end();) {
        // SQLite refuses while any statement of the connection still reads; the file is
        // then detached when that statement ends.
        const std::string sql = "DETACH DATABASE " + QuoteIdentifier(*it);
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
            it = released_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace platform
