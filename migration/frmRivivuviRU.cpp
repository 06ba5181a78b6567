#include "migration/frmRivivuviRU.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "maintenance/UpdateDB.h"
#include "migration/ColumnRules.h"
#include "migration/DeferredIndexes.h"
#include "migration/LikePattern.h"
#include "migration/PlanEntries.h"
#include "platform/DBEngine.h"
#include "platform/JetError.h"
#include "platform/TableDef.h"
#include "platform/Transaction.h"
#include "platform/os/FileSystem.h"
#include "settings/Mod_API.h"

namespace migration {
namespace {

using platform::Database;
using platform::JetError;
using platform::Recordset;
using platform::Value;

constexpr char kCrLf[] = "\r\n";
constexpr char kTargetName[] = "/sonavoxa.mdb";
constexpr char kCompactionName[] = "/temp.mdb";
// From this many rows on, a table's plain indexes are built after its rows. Below it there
// are only milliseconds to gain, not worth changing the table's structure for.
constexpr double kDeferIndexesFromRows = 5000;

const std::string kTargetWarning =
    "Achtung !!!!\r\n"
    "\r\n"
    "In Ihrer Datenbank befinden sich noch Datensätze.\r\n"
    "Wenn Sie die Datenübernahme starten, werden diese Datensätze\r\n"
    "unwiederruflich gelöscht.";

const std::string kUnfinishedRun =
    "Die letzte Datenübernahme wurde nicht beendet. Starten Sie sie erneut, um alle Daten zu "
    "übernehmen.";

std::string TargetNotFound(const std::string& dataFolder) {
    return "Keine Sonavoxa Datenbank in " + dataFolder + " gefunden !!\r\n" +
           "Kopieren Sie das Programm in das neue Sonavoxa Verzeichnis.";
}

std::string TargetInUse(const std::string& path, const JetError& error) {
    return "Die Sonavoxa Datenbank " + path +
           " wird von einem anderen Programm benutzt. Beenden Sie es und starten Sie die "
           "Datenübernahme neu.\r\n\r\nFehler " +
           std::to_string(error.Number()) + ": " + error.what();
}

std::string OpenFailure(const std::string& path, const JetError& error) {
    return "Die Datenbank " + path + " kann nicht geöffnet werden.\r\n\r\nFehler " +
           std::to_string(error.Number()) + ": " + error.what() +
           "\r\n\r\nEs wurde nichts verändert.";
}

std::string NotWritable(const std::string& dataFolder) {
    return "Die Datenübernahme kann nicht beginnen: im Ordner " + dataFolder +
           " kann nicht geschrieben werden.\r\n\r\nEs wurde nichts verändert.";
}

Database OpenDatabase(const std::string& path) {
    return platform::DBEngine::Instance().OpenDatabase(path);
}

// The user's old database is never written, whatever kind of file it is.
Database OpenReadOnly(const std::string& path) {
    return platform::DBEngine::Instance().OpenDatabase(path, false, true);
}

long CountRows(Database& db, const std::string& table) {
    Recordset count = db.OpenRecordset("select count(*) as anz from " + table);
    return static_cast<long>(count["anz"].Value().ToInteger());
}

// The rename that replaced the target is only durable once its folder is on the disk.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    (void)::close(fd);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

StepReport Report(const std::string& step, const maintenance::MaintenanceOutcome& outcome) {
    StepReport r;
    r.step = step;
    r.completed = outcome.completed;
    r.skipped = outcome.skippedSteps;
    r.errorNumber = outcome.errorNumber;
    r.errorText = outcome.errorText;
    return r;
}

// How one source column reaches the target row, resolved once per table.
struct ColumnCopy {
    enum Rule { SameName, PlaylistSid, MixText } rule = SameName;
    platform::Field* source = nullptr;
    platform::Field* target = nullptr;  // null: the target has no column of that name
};

platform::Field* FindField(Recordset& rs, const std::string& name) {
    try {
        return &rs[name];
    } catch (const JetError&) {
        return nullptr;
    }
}

// The columns "<table>.[name]" that `select` names and the old table lacks, so that the log can
// say why the select cannot run ("Too few parameters" alone does not).
std::vector<std::string> MissingColumns(Database& oldDb, const std::string& table,
                                        const std::string& select) {
    std::vector<std::string> missing;
    try {
        platform::TableDef def = oldDb.TableDefs().Item(table);
        const std::string prefix = table + ".[";
        for (size_t at = select.find(prefix); at != std::string::npos;
             at = select.find(prefix, at)) {
            at += prefix.size();
            const size_t end = select.find(']', at);
            if (end == std::string::npos) break;
            const std::string name = select.substr(at, end - at);
            if (def.Fields().Find(name) == nullptr) missing.push_back(name);
        }
    } catch (const JetError&) {
        // a table that is not there at all: its own error says so
    }
    return missing;
}

}  // namespace

frmRivivuviRU::frmRivivuviRU(WindowPort& port, settings::Mod_API& api,
                             platform::FileSystem& fileSystem)
    : port_(port), api_(api), fileSystem_(fileSystem) {
    // Reading a large old database or compacting can take seconds inside one engine call;
    // the window keeps painting then, but takes no input until the run yields.
    platform::DBEngine::Instance().SetProgressCallback([this] {
        port_.Repaint();
        return true;
    });
}

frmRivivuviRU::~frmRivivuviRU() {
    platform::DBEngine::Instance().SetProgressCallback(std::function<bool()>());
}

void frmRivivuviRU::Form_Load() {
    targetPath_ = api_.DataPath() + kTargetName;
    dbadmin::CheckDatabase check(api_, fileSystem_);
    check.SetTargetDatabasePath(targetPath_);
    tempCheck_ = check.CheckTempDatabase();
    treeCheck_ = check.CheckTreeDatabase();
    targetFound_ = false;
    plan_.OldVersion("2.5");
    plan_.CurrVersion("3.4");
    port_.SetCaption("Daten aus alter Datenbank in neue Version 3.4 übernehmen");
    port_.SetFrameCaption(" Alte Datenbank auswählen Version ( 2.5 ) ");
    RegisterPlanEntries(plan_);
}

void frmRivivuviRU::Form_Activate() {
    if (activated_) return;
    activated_ = true;
    const std::string dataFolder = api_.DataPath();
    const std::string target = dataFolder + kTargetName;
    if (!fileSystem_.FileExists(target)) {
        ReplaceLog(TargetNotFound(dataFolder));
    } else {
        try {
            Database db = OpenDatabase(target);
            const bool hasTitles = CountRows(db, "db_all") > 0;
            if (hasTitles) ReplaceLog(kTargetWarning);
            targetFound_ = true;
        } catch (const JetError& e) {
            // A database that another program holds is there: telling the user to copy the
            // program anew would send them the wrong way.
            const bool inUse =
                e.Number() == platform::jet::kLocked || e.Number() == platform::jet::kFileInUse;
            ReplaceLog(inUse ? TargetInUse(target, e) : TargetNotFound(dataFolder));
        }
    }
    if (fileSystem_.FileExists(dataFolder + "/" + kRunMarkerName)) {
        AppendLog((log_.empty() ? "" : "\r\n\r\n") + kUnfinishedRun);
    }
    // A side database that could not be checked or rebuilt would make the tree rebuilds fail
    // later; say so now rather than let the start look sound.
    const std::pair<const char*, const dbadmin::SideDatabaseCheckOutcome*> checks[] = {
        {"sonavoxa.temp.mdb", &tempCheck_}, {"sonavoxa.tree.mdb", &treeCheck_}};
    for (const auto& [file, outcome] : checks) {
        // Without a usable target the not-found text already says what is wrong.
        if (outcome->sound || !targetFound_) continue;
        AppendLog((log_.empty() ? "" : "\r\n\r\n") + std::string("Fehler bei der Nebendatenbank ") +
                  file + ": Fehler " + std::to_string(outcome->errorNumber) + ": " +
                  outcome->errorText);
    }
}

void frmRivivuviRU::cmdGetOldDB_Click() {
    const FileDialogRequest request{
        "Sonavoxa.mdb", "Sonavoxa Datenbank Version " + plan_.OldVersion() + " auswählen.",
        "Sonavoxa-Datenbank *.mdb ", " *.mdb"};
    const std::optional<std::string> chosen = port_.ChooseFile(request);
    if (!chosen) return;  // cancelled: the earlier choice stands
    plan_.OldDBName(*chosen);
    try {
        std::string stored;
        {
            Database db = OpenReadOnly(plan_.OldDBName());
            Recordset versions = db.OpenRecordset("select * from db_version");
            if (versions.Eof()) platform::ThrowJetError(platform::jet::kNoCurrentRecord);
            const Value version = versions["Version"].Value();
            if (!version.IsNull()) stored = version.ToText();
        }
        // An empty or Null version leaves "**", which accepts anything, as it always did.
        if (Like(plan_.OldVersion(), "*" + stored + "*")) {
            port_.SetOldDatabaseText(plan_.OldDBName());
            return;
        }
        if (stored == plan_.CurrVersion()) {
            port_.ShowMessage(MessageIcon::Information,
                              plan_.OldDBName() + " ist eine aktuelle Sonavoxa " +
                                  plan_.CurrVersion() +
                                  " Datenbank, die Daten müssen nicht konvertiert werden.");
        } else {
            port_.ShowMessage(MessageIcon::Critical,
                              plan_.OldDBName() + " ist keine Sonavoxa " + plan_.OldVersion() +
                                  " Datenbank. Die gewählte Datenbank hat die Version ( " + stored +
                                  " ) und kann daher nicht übernommen werden.");
        }
        plan_.OldDBName("");
    } catch (const JetError&) {
        port_.ShowMessage(MessageIcon::Critical,
                          plan_.OldDBName() + " ist keine Sonavoxa Datenbank");
        plan_.OldDBName("");
    }
}

void frmRivivuviRU::cmdOK_Click() {
    if (!targetFound_ || running_) return;
    if (plan_.OldDBName().empty()) {
        cmdGetOldDB_Click();
        if (plan_.OldDBName().empty()) return;
    }

    // Both databases open before anything changes; a failure leaves the window as it was.
    const std::string oldPath = plan_.OldDBName();
    const std::string dataFolder = api_.DataPath();
    const std::string targetPath = dataFolder + kTargetName;
    Database oldDb;
    Database target;
    try {
        oldDb = OpenReadOnly(oldPath);
    } catch (const JetError& e) {
        port_.ShowMessage(MessageIcon::Critical, OpenFailure(oldPath, e));
        return;
    }
    try {
        target = OpenDatabase(targetPath);
    } catch (const JetError& e) {
        port_.ShowMessage(MessageIcon::Critical, OpenFailure(targetPath, e));
        return;
    }

    // Present from here until the compacted target is in place; a crash leaves it behind. A
    // data folder that cannot take it cannot take the run either: nothing starts then.
    const std::string marker = dataFolder + "/" + kRunMarkerName;
    const bool earlierRunUnfinished = fileSystem_.FileExists(marker);
    if (!fileSystem_.WriteFile(marker, "Datenübernahme aus " + oldPath + "\n")) {
        // What a failed write left must not read as an unfinished run; an earlier one's stays.
        if (!earlierRunUnfinished) (void)fileSystem_.DeleteFile(marker);
        port_.ShowMessage(MessageIcon::Critical, NotWritable(dataFolder));
        return;
    }

    running_ = true;
    report_ = RunReport();
    ReplaceLog("");
    port_.SetStartEnabled(false);
    port_.SetBusyPointer(true);
    port_.Yield();

    const auto transferStart = std::chrono::steady_clock::now();
    // A copy of the list: choosing another old database meanwhile must not disturb the walk.
    const RivivuviRU::EntryList entries = plan_.GetMigTables();
    for (const auto& entry : entries) {
        report_.tables.push_back(TransferTable(*entry, oldDb, target));
    }
    report_.transferSeconds = SecondsSince(transferStart);

    try {
        target.Close();
    } catch (const platform::JetError& e) {
        // The handle is closed all the same; its last changes reach the file once it is free.
        report_.completion.push_back(
            StepReport{"Schließen der Zieldatenbank", false, 0, e.Number(), e.what()});
    }
    CompleteRun();
    CompactTarget();
    try {
        oldDb.Close();
    } catch (const platform::JetError&) {
        // Nothing was written through it, so nothing can be lost here.
    }
    // A run that the disk or a lock cut short stays marked, so the next start says so.
    if (!report_.Unfinished()) (void)fileSystem_.DeleteFile(marker);
    running_ = false;
}

TableReport frmRivivuviRU::TransferTable(const MigriereTable& entry, Database& oldDb,
                                         Database& target) {
    TableReport report;
    report.tableName = entry.TableName;
    const std::string& table = entry.TableName;

    double expectedRows = 0;
    try {
        Recordset count = oldDb.OpenRecordset("select count(*) as anz from " + table);
        expectedRows = count["anz"].Value().ToDouble();
        SetProgressMaximum(expectedRows);
    } catch (const JetError& e) {
        report.FailStep("Zählen", e);
    }

    try {
        target.Execute(entry.WhereSqlByDel.empty()
                           ? "delete from " + table
                           : "delete from " + table + " where " + entry.WhereSqlByDel);
    } catch (const JetError& e) {
        report.FailStep("Leeren der Zieltabelle", e);
    }

    AppendLog("Übernehme " + entry.Beschreibung);
    port_.Yield();

    // A table's rows go into the target in one transaction. Committed every few hundred
    // milliseconds instead, a large library's indexes were written out again at every commit,
    // which made the copy cost more than twice the rows' plain insertion. A run cut short is
    // marked unfinished and empties each table again, so earlier commits would buy nothing.
    std::optional<platform::Transaction> transaction;
    try {
        transaction.emplace();
    } catch (const JetError&) {
        // The rows are then committed as they go, as any write outside a transaction.
    }
    // Only inside the transaction: a table is never committed without its indexes.
    DeferredIndexes deferred(target, table);
    if (transaction && expectedRows >= kDeferIndexesFromRows) {
        try {
            deferred.Drop();
        } catch (const JetError&) {
            // The rows then go in with the indexes that are left.
        }
    }

    Recordset targetRows;
    bool targetOpen = false;
    try {
        targetRows = target.OpenRecordset(table);
        targetOpen = true;
    } catch (const JetError& e) {
        report.FailStep("Öffnen der Zieltabelle", e);
    }

    Recordset sourceRows;
    bool sourceOpen = false;
    try {
        sourceRows = oldDb.OpenRecordset(entry.UpdateSQL.empty() ? table : entry.UpdateSQL);
        sourceOpen = true;
    } catch (const JetError& e) {
        // Nothing is read from a table that cannot be read: its line shows 0.
        report.FailStep("Lesen der alten Tabelle", e);
        if (!entry.UpdateSQL.empty()) {
            report.missingColumns = MissingColumns(oldDb, table, entry.UpdateSQL);
        }
    }

    long counter = 0;
    if (sourceOpen) {
        // The table name is compared exactly, the column names in lower case.
        std::vector<ColumnCopy> columns;
        platform::Field* sicherung = nullptr;
        for (platform::Field& field : sourceRows.Fields()) {
            ColumnCopy column;
            column.source = &field;
            const std::string name = platform::LowerName(field.Name());
            if (table == "pl_name" && name == "sid") {
                column.rule = ColumnCopy::PlaylistSid;
                if (targetOpen) sicherung = FindField(targetRows, "sicherung");
            } else if (table == "pl_all" && (name == "mixin" || name == "mixout")) {
                column.rule = ColumnCopy::MixText;
            }
            if (targetOpen) column.target = FindField(targetRows, field.Name());
            columns.push_back(column);
        }
        if (!columns.empty()) report.keyName = columns.front().source->Name();

        // The first source column is the table's key: it names refused rows and values.
        Value rowKey;
        const auto keyText = [&rowKey] {
            return rowKey.IsNull() ? std::string("Null") : rowKey.ToDisplayText();
        };
        bool more = true;
        while (more) {
            try {
                if (sourceRows.Eof()) break;
            } catch (const JetError& e) {
                report.FailStep("Lesen der alten Tabelle", e);
                break;
            }
            SetProgressValue(static_cast<double>(counter));
            try {
                rowKey = columns.empty() ? Value() : columns.front().source->Value();
            } catch (const JetError&) {
                rowKey = Value();  // the copy below meets and reports the same failure
            }
            bool started = false;
            if (targetOpen) {
                try {
                    targetRows.AddNew();
                    started = true;
                } catch (const JetError& e) {
                    report.Note(e);
                }
            }
            if (!started) report.RefuseRow(keyText());
            for (const ColumnCopy& column : columns) {
                if (!started) break;
                try {
                    Value value = column.source->Value();
                    if (column.rule == ColumnCopy::PlaylistSid) {
                        if (column.target == nullptr) {
                            platform::ThrowJetError(platform::jet::kItemNotFound);
                        }
                        column.target->SetValue(value);
                        if (sicherung == nullptr) {
                            platform::ThrowJetError(platform::jet::kItemNotFound);
                        }
                        sicherung->SetValue(Value::FromBoolean(true));
                    } else if (column.target == nullptr) {
                        continue;  // a column the target does not have is left out
                    } else if (column.rule == ColumnCopy::MixText && !value.IsNull()) {
                        column.target->SetValue(Value::FromText(RewriteMixText(value.ToText())));
                    } else {
                        column.target->SetValue(std::move(value));
                    }
                } catch (const JetError& e) {
                    report.RefuseValue(column.source->Name(), keyText(), e);
                }
            }
            try {
                sourceRows.MoveNext();
            } catch (const JetError& e) {
                // A source that cannot move on would be read forever.
                report.FailStep("Lesen der alten Tabelle", e);
                more = false;
            }
            if (started) {
                try {
                    targetRows.Update();
                    ++report.rowsStored;
                } catch (const JetError& e) {
                    report.Note(e);
                    report.RefuseRow(keyText());
                    try {
                        targetRows.CancelUpdate();
                    } catch (const JetError&) {
                        // the next AddNew starts afresh all the same
                    }
                }
            }
            ++counter;
            port_.Yield();
        }
    }
    report.rowsRead = counter;
    if (transaction) {
        targetRows.Close();  // the table's indexes are built only while nothing reads it
        try {
            deferred.Rebuild();
            transaction->Commit();
        } catch (const JetError& e) {
            // Whatever the commit could not keep is not stored. A failed rebuild is undone
            // with the rows, which brings the dropped indexes back.
            report.FailStep("Speichern", e);
            report.rowsStored = 0;
        }
        transaction.reset();
    }

    targetRows.Close();
    sourceRows.Close();
    AppendLog(" " + std::to_string(counter) + kCrLf);

    if (!entry.InsertSql.empty()) {
        try {
            // Execute leaves refused rows out silently; a statement that added nothing failed.
            if (target.Execute(entry.InsertSql) == 0)
                report.failedSteps.push_back("Nachbearbeitung");
        } catch (const JetError& e) {
            report.FailStep("Nachbearbeitung", e);
        }
    }
    if (report.Failed()) AppendLog(report.FailureLine() + kCrLf);
    return report;
}

void frmRivivuviRU::CompleteRun() {
    SetProgressValue(0);
    AppendLog("Aktualisiere Datenbank");
    maintenance::UpdateDB update(api_);
    update.SetYield([this] { port_.Yield(); });
    update.SetDbName(api_.DataPath() + kTargetName);
    SetProgressValue(0);
    SetProgressMaximum(5);

    const auto treeStart = std::chrono::steady_clock::now();
    SetProgressValue(1);
    report_.completion.push_back(Report("UpdataTreeDir", update.UpdataTreeDir()));
    SetProgressValue(2);
    report_.completion.push_back(Report("UpdateTreeAlbum", update.UpdateTreeAlbum()));
    SetProgressValue(3);
    report_.completion.push_back(Report("UpdateTreeGenre", update.UpdateTreeGenre()));
    SetProgressValue(4);
    report_.completion.push_back(Report("UpdateTreeInterpret", update.UpdateTreeInterpret()));
    report_.treeSeconds = SecondsSince(treeStart);

    const auto recountStart = std::chrono::steady_clock::now();
    SetProgressValue(5);
    report_.completion.push_back(Report("UpdatePlnameCount", update.UpdatePlnameCount()));
    report_.recountSeconds = SecondsSince(recountStart);
    SetProgressValue(0);
    port_.SetBusyPointer(false);

    for (const StepReport& step : report_.completion) {
        if (step.Failed()) AppendLog(kCrLf + step.FailureLine());
    }
    AppendLog("\r\nDatenübername komplett.\r\n");
}

void frmRivivuviRU::CompactTarget() {
    const auto start = std::chrono::steady_clock::now();
    const std::string dataFolder = api_.DataPath();
    const std::string target = dataFolder + kTargetName;
    const std::string compacted = dataFolder + kCompactionName;
    StepReport& step = report_.compaction;

    const auto fail = [&step](int number, const std::string& text) {
        step.completed = false;
        step.errorNumber = number;
        step.errorText = text;
    };
    if (report_.CopyCutShort()) {
        // Its copy would need the room that the disk lacked, and a file that another program
        // holds must not be replaced under it: what that program writes next would be lost.
        fail(0, "die Zieldatenbank konnte nicht beschrieben werden; sie bleibt unkomprimiert");
    } else if (fileSystem_.FileExists(compacted) && !fileSystem_.DeleteFile(compacted)) {
        fail(0, compacted + " kann nicht gelöscht werden; die Datenbank bleibt unkomprimiert");
    } else {
        try {
            long titles = 0;
            {
                Database db = OpenDatabase(target);
                titles = CountRows(db, "db_all");
            }
            // The engine writes the copy completely and checks it before it takes this name,
            // so a file here now is this compaction's; still, count it before trusting it.
            platform::DBEngine::Instance().CompactDatabase(target, compacted);
            long copied = -1;
            {
                Database db = OpenReadOnly(compacted);
                copied = CountRows(db, "db_all");
            }
            if (copied != titles) {
                fail(0,
                     "die komprimierte Kopie ist unvollständig; die Datenbank bleibt "
                     "unkomprimiert");
            } else if (!fileSystem_.ReplaceFile(compacted, target)) {
                fail(0, "die komprimierte Kopie kann nicht an die Stelle von " + target +
                            " treten; die Datenbank bleibt unkomprimiert");
            } else {
                SyncFolder(dataFolder);
                report_.compacted = true;
            }
        } catch (const JetError& e) {
            fail(e.Number(), e.what());
        }
        if (!report_.compacted && fileSystem_.FileExists(compacted)) {
            (void)fileSystem_.DeleteFile(compacted);
        }
    }
    report_.compactionSeconds = SecondsSince(start);
    if (step.Failed()) AppendLog(step.FailureLine() + kCrLf);
}

void frmRivivuviRU::ReplaceLog(const std::string& text) {
    log_ = text;
    port_.ReplaceLog(text);
}

void frmRivivuviRU::AppendLog(const std::string& text) {
    log_ += text;
    port_.AppendLog(text);
}

// A progress bar refuses a maximum of 0 or less (a Qt bar would turn into a busy indicator)
// and a value outside 0..maximum; a refused setting leaves the bar as it was.
void frmRivivuviRU::SetProgressMaximum(double maximum) {
    const auto single = static_cast<float>(maximum);
    if (!(single > 0) || single > static_cast<float>(INT_MAX)) return;
    progressMaximum_ = single;
    port_.SetProgressMaximum(static_cast<int>(std::lround(single)));
    if (progressValue_ > progressMaximum_) {
        progressValue_ = progressMaximum_;
        port_.SetProgressValue(static_cast<int>(std::lround(progressValue_)));
    }
}

void frmRivivuviRU::SetProgressValue(double value) {
    const auto single = static_cast<float>(value);
    if (!(single >= 0) || single > progressMaximum_) return;
    progressValue_ = single;
    port_.SetProgressValue(static_cast<int>(std::lround(single)));
}

}  // namespace migration
