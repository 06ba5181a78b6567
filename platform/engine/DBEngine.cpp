#include "platform/DBEngine.h"

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "platform/JetError.h"
#include "platform/engine/JetTextOrder.h"
#include "platform/engine/OpenDatabaseState.h"
#include "platform/engine/SqliteErrors.h"
#include "platform/os/LocalFileSystem.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

constexpr std::string_view kCompactingMark = ".compacting-";

// A compaction that was killed leaves its temporary copy (as large as the library) beside the
// destination, named "<destination>.compacting-<pid>-<n>". Removes those of processes that no
// longer run, so that crashes do not pile copies up in the user's data folder.
void RemoveCopiesOfKilledCompactions(FileSystem& files, const fs::path& destination) {
    const std::string prefix = destination.filename().string() + std::string(kCompactingMark);
    std::error_code ec;
    std::vector<std::string> stale;
    for (const auto& entry : fs::directory_iterator(destination.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix)) continue;
        const std::string rest = name.substr(prefix.size());
        const size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos) continue;
        pid_t pid = 0;
        try {
            pid = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
        } catch (const std::exception&) {
            continue;
        }
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        stale.push_back(entry.path().string());
    }
    for (const std::string& path : stale) files.DeleteFile(path);  // best effort
}

// One private connection on a finished copy: checks it and fixes its counters.
class CopyChecker {
  public:
    CopyChecker(const std::string& path, bool write) {
        const int rc = sqlite3_open_v2(
            path.c_str(), &db_, write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, nullptr);
        if (rc != SQLITE_OK) throw MapSqliteError(db_, rc, path);
        JetTextOrder::Register(db_);  // the integrity check reads indexes in their order
    }
    ~CopyChecker() { sqlite3_close_v2(db_); }
    CopyChecker(const CopyChecker&) = delete;
    CopyChecker& operator=(const CopyChecker&) = delete;

    bool IntegrityOk() {
        Statement s(db_, "PRAGMA integrity_check");
        return s.Step() && s.ColumnText(0) == "ok";
    }
    int64_t RowCount(const std::string& table) {
        Statement s(db_, "SELECT count(*) FROM " + QuoteIdentifier(table));
        s.Step();
        return s.ColumnInteger(0);
    }
    // As in Jet, a compacted table's counter restarts after its highest value.
    void ResetCounters() {
        Statement exists(db_, "SELECT count(*) FROM sqlite_master WHERE name = 'sqlite_sequence'");
        exists.Step();
        if (exists.ColumnInteger(0) == 0) return;
        std::vector<std::string> tables;
        Statement names(db_, "SELECT name FROM sqlite_sequence");
        while (names.Step()) tables.push_back(names.ColumnText(0));
        for (const auto& table : tables) {
            Statement update(
                db_, "UPDATE sqlite_sequence SET seq = (SELECT ifnull(max(rowid), 0) FROM " +
                         QuoteIdentifier(table) + ") WHERE name = ?1");
            update.BindText(1, table);
            update.Step();
        }
    }

  private:
    sqlite3* db_ = nullptr;
};

LocalFileSystem& MachineFileSystem() {
    static LocalFileSystem files;
    return files;
}

}  // namespace

DBEngine::DBEngine() : files_(&MachineFileSystem()) {}

DBEngine::FileSystemScope::FileSystemScope(FileSystem& files)
    : previous_(DBEngine::Instance().files_) {
    DBEngine::Instance().files_ = &files;
}

DBEngine::FileSystemScope::~FileSystemScope() { DBEngine::Instance().files_ = previous_; }

DBEngine& DBEngine::Instance() {
    static DBEngine engine;
    return engine;
}

Workspace& DBEngine::Workspaces(int index) {
    if (index != 0) ThrowJetError(jet::kItemNotFound);
    return workspace_;
}

Database Workspace::OpenDatabase(const std::string& path, bool exclusive, bool readOnly) {
    return DBEngine::Instance().OpenDatabase(path, exclusive, readOnly);
}

void Workspace::BeginTrans() {
    EngineConnection& connection = EngineConnection::Instance();
    connection.RequireNotInProgressCallback();
    DBEngine::Instance().AttachLinkedFiles();
    connection.BeginTransaction();
}

void Workspace::CommitTrans() { EngineConnection::Instance().CommitTransaction(); }

void Workspace::Rollback() { EngineConnection::Instance().RollbackTransaction(); }

void DBEngine::AttachLinkedFiles() {
    std::erase_if(open_, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : open_) {
        auto state = weak.lock();
        if (!state || !state->attachment) continue;
        for (const std::string& name : state->OwnCatalog().TableNames()) {
            try {
                auto info = state->OwnCatalog().FindTable(name);
                if (info && info->kind == ObjectKind::Link) state->FindBaseTable(name);
            } catch (const JetError&) {
                // A link that cannot be followed fails later, where it is used.
            }
        }
    }
}

void DBEngine::SetProgressCallback(std::function<bool()> callback) {
    EngineConnection::Instance().SetProgressCallback(std::move(callback));
}

Database Workspace::CreateDatabase(const std::string& path, const std::string& locale) {
    return DBEngine::Instance().CreateDatabase(path, locale);
}

Database DBEngine::OpenDatabase(const std::string& path, bool /*exclusive*/, bool readOnly) {
    auto state = std::make_shared<OpenDatabaseState>();
    state->name = path;
    state->readOnly = readOnly;
    state->attachment = EngineConnection::Instance().Open(path, readOnly);
    std::erase_if(open_, [](const auto& weak) { return weak.expired(); });
    open_.push_back(state);
    return Database(std::move(state));
}

Database DBEngine::CreateDatabase(const std::string& path, const std::string& locale) {
    auto state = std::make_shared<OpenDatabaseState>();
    state->name = path;
    state->attachment = EngineConnection::Instance().Create(path, locale);
    std::erase_if(open_, [](const auto& weak) { return weak.expired(); });
    open_.push_back(state);
    return Database(std::move(state));
}

void DBEngine::CompactDatabase(const std::string& source, const std::string& destination) {
    EngineConnection::RequireNotInProgressCallback();
    FileSystem& files = *files_;
    if (files.FileExists(destination) || files.FolderExists(destination))
        ThrowJetError(jet::kDatabaseExists);
    std::error_code ec;
    const fs::path destinationPath = fs::absolute(destination, ec);
    const std::string folder = destinationPath.parent_path().string();
    if (destination.empty() || !files.FolderExists(folder))
        ThrowJetError(jet::kInvalidPath, destination);

    EngineConnection& connection = EngineConnection::Instance();
    std::shared_ptr<Attachment> attachment = connection.Open(source, true);
    if (attachment->IsJetFile()) {
        for (const std::string& table : attachment->GetCatalog().TableNames())
            connection.LoadJetTable(*attachment, table);
    }
    connection.Commit();

    static std::atomic<int> counter{0};
    RemoveCopiesOfKilledCompactions(files, destinationPath);
    const std::string temporary = destinationPath.string() + std::string(kCompactingMark) +
                                  std::to_string(::getpid()) + "-" + std::to_string(++counter);
    // The temporary copy goes in every case: it either failed or now has the destination's name.
    struct RemoveTemporary {
        FileSystem& files;
        std::string path;
        ~RemoveTemporary() {
            if (files.FileExists(path)) files.DeleteFile(path);
        }
    } removeTemporary{files, temporary};

    connection.Exec("VACUUM " + attachment->QuotedSchema() + " INTO " + QuoteLiteral(temporary));

    std::vector<std::pair<std::string, int64_t>> counts;
    {
        Statement tables(connection.Db(), "SELECT name FROM " + attachment->QuotedSchema() +
                                              ".sqlite_master WHERE type = 'table'");
        std::vector<std::string> names;
        while (tables.Step()) names.push_back(tables.ColumnText(0));
        for (const auto& name : names) {
            Statement count(connection.Db(), "SELECT count(*) FROM " + attachment->QuotedSchema() +
                                                 "." + QuoteIdentifier(name));
            count.Step();
            counts.emplace_back(name, count.ColumnInteger(0));
        }
    }
    CopyChecker(temporary, true).ResetCounters();
    if (!files.SyncFile(temporary)) ThrowJetError(jet::kResourcesExceeded, temporary);
    // The copy is compared with its source as it lies on the disk, after the sync, before it
    // may take the destination's name.
    {
        CopyChecker copy(temporary, false);
        if (!copy.IntegrityOk()) ThrowJetError(jet::kCannotOpenDatabase, destination);
        for (const auto& [name, rows] : counts)
            if (copy.RowCount(name) != rows) ThrowJetError(jet::kCannotOpenDatabase, destination);
    }
    // The rename never replaces: a destination that appeared meanwhile is not overwritten.
    if (!files.RenameFile(temporary, destinationPath.string())) {
        if (files.FileExists(destinationPath.string()) ||
            files.FolderExists(destinationPath.string()))
            ThrowJetError(jet::kDatabaseExists);
        ThrowJetError(jet::kResourcesExceeded, destination);
    }
    if (!files.SyncFolder(folder)) ThrowJetError(jet::kResourcesExceeded, folder);
}

}  // namespace platform
