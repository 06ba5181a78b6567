// RunReport: what one transfer run did, table by table, and the log lines for its failures.
//
// The run fills one TableReport per plan entry, one StepReport per maintenance call and one
// for the compaction, and times its phases. Whatever failed becomes one extra log line (in
// German, as the window speaks) naming the table or step, how many rows or values were refused
// and the engine's number and text of the first refusal; a clean step gives no line. Owned by
// the window; a new run starts a new report.
#pragma once

#include <string>
#include <vector>

namespace platform {
class JetError;
}

namespace migration {

struct TableReport {
    std::string tableName;
    long rowsRead = 0;    // source rows read; the count the log line shows
    long rowsStored = 0;  // rows the target accepted
    long valuesRefused = 0;
    std::vector<std::string> failedSteps;  // German step names, in order
    int firstErrorNumber = 0;
    std::string firstErrorText;
    // Some error came from the disk or a lock rather than from the data: a new run can do
    // better, so the run does not count as finished.
    bool diskOrLockFailure = false;

    // Keeps the first error's number and text.
    void Note(const platform::JetError& error);
    void Note(int number, const std::string& text);
    void FailStep(const std::string& step, const platform::JetError& error);
    bool Failed() const;
    // "Fehler in <table>: ..." or empty text.
    std::string FailureLine() const;
};

// A step after the copy (a tree rebuild, the recount, the compaction).
struct StepReport {
    std::string step;
    bool completed = true;
    long skipped = 0;
    int errorNumber = 0;  // 0 for a failure outside the engine, which errorText describes
    std::string errorText;

    bool Failed() const { return !completed || skipped != 0 || errorNumber != 0; }
    std::string FailureLine() const;
};

struct RunReport {
    std::vector<TableReport> tables;
    std::vector<StepReport> completion;  // closing the target, then the five maintenance calls
    StepReport compaction{"Komprimieren", true, 0, 0, {}};
    bool compacted = false;  // the target was replaced by its compacted copy

    double transferSeconds = 0;
    double treeSeconds = 0;
    double recountSeconds = 0;
    double compactionSeconds = 0;

    bool Failed() const;
    // The disk or a lock refused the copy into some table.
    bool CopyCutShort() const;
    // Failed for a reason a new run may not meet again: a disk or lock failure while copying,
    // or any failure after the copy (the trees, the recount, the compaction).
    bool Unfinished() const;
};

// True for the engine's errors that come from the disk, the file system or another process's
// lock, not from the data.
bool IsDiskOrLockFailure(int number);

}  // namespace migration
