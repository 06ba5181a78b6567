// frmRivivuviRU: the migration window's logic, from loading to the end of the one run.
//
// Form_Load prepares the data folder, checks the side databases and registers the plan;
// Form_Activate (first call only) checks the target database; cmdGetOldDB_Click chooses and
// version-checks the old database; cmdOK_Click runs the transfer, the tree rebuilds, the
// recount and the compaction. Everything the user sees goes through the WindowPort. The old
// database is only ever opened read-only; the target is replaced only by a checked compacted
// copy, by an atomic rename; a marker file in the data folder lives from a run's start to its
// end, so that the next start can say that a run did not finish. Failures that the run skips
// are reported as extra log lines (RunReport), never hidden.
//
// Borrows the port, the Mod_API and the file system, which must outlive it; owns the plan and
// the state of the run. No database handle lives between calls. While it lives it asks the
// engine to call WindowPort::Repaint during long work. Single-threaded (the window's thread).
#pragma once

#include <string>

#include "dbadmin/CheckDatabase.h"
#include "migration/RivivuviRU.h"
#include "migration/RunReport.h"
#include "migration/WindowPort.h"

namespace platform {
class Database;
class FileSystem;
}  // namespace platform

namespace settings {
class Mod_API;
}

namespace migration {

// The marker of a run in progress, in the data folder.
inline constexpr char kRunMarkerName[] = "~migration.run";

class frmRivivuviRU {
  public:
    frmRivivuviRU(WindowPort& port, settings::Mod_API& api, platform::FileSystem& fileSystem);
    ~frmRivivuviRU();
    frmRivivuviRU(const frmRivivuviRU&) = delete;
    frmRivivuviRU& operator=(const frmRivivuviRU&) = delete;

    void Form_Load();
    // Runs the target check the first time only: later activations (after a dialog, or on a
    // return from another program) change nothing.
    void Form_Activate();
    void cmdGetOldDB_Click();
    void cmdOK_Click();
    // False while a run is in progress: the window refuses to close then.
    bool QueryUnload() const { return !running_; }

    RivivuviRU& MigPlan() { return plan_; }
    bool TargetFound() const { return targetFound_; }
    bool Running() const { return running_; }
    // The target database path set while loading.
    const std::string& TargetDatabasePath() const { return targetPath_; }
    // Text1 as the window shows it.
    const std::string& LogText() const { return log_; }
    const RunReport& LastRun() const { return report_; }
    const dbadmin::SideDatabaseCheckOutcome& TempCheck() const { return tempCheck_; }
    const dbadmin::SideDatabaseCheckOutcome& TreeCheck() const { return treeCheck_; }

  private:
    void ReplaceLog(const std::string& text);
    void AppendLog(const std::string& text);
    void SetProgressMaximum(double maximum);
    void SetProgressValue(double value);

    TableReport TransferTable(const MigriereTable& entry, platform::Database& oldDb,
                              platform::Database& target);
    void CompleteRun();
    void CompactTarget();

    WindowPort& port_;
    settings::Mod_API& api_;
    platform::FileSystem& fileSystem_;

    RivivuviRU plan_;
    std::string targetPath_;
    bool targetFound_ = false;
    bool activated_ = false;
    bool running_ = false;
    std::string log_;
    float progressMaximum_ = 100;
    float progressValue_ = 0;
    RunReport report_;
    dbadmin::SideDatabaseCheckOutcome tempCheck_;
    dbadmin::SideDatabaseCheckOutcome treeCheck_;
};

}  // namespace migration
