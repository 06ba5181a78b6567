// RunReport: what one transfer run did, table by table, and the log lines for its failures.
//
// The run fills one TableReport per plan entry, one StepReport per maintenance call and one
// for the compaction, and times its phases. Whatever failed becomes one extra log line (in
// German, as the window speaks) naming the table or step, how many rows or values were refused,
// the engine's number and text of the first refusal, and the first few refused rows and values
// by the row's key, so that the user can find them in the old library; a clean step gives no
// line. Owned by the window; a new run starts a new report.
#pragma once

#include <string>
#include <vector>

namespace platform {
class JetError;
}

namespace migration {

// How many refused rows and values a log line names; the rest it only counts.
inline constexpr size_t kNamedRefusals = 10;

struct TableReport {
    std::string tableName;
    std::string keyName;  // the source's first column, whose value names a row in the log
    long rowsRead = 0;    // source rows read; the count the log line shows
    long rowsStored = 0;  // rows the target accepted
    long valuesRefused = 0;
    std::vector<std::string> failedSteps;  // German step names, in order
    int firstErrorNumber = 0;
    std::string firstErrorText;
    // Some error came from the disk or a lock rather than from the data: a new run can do
    // better, so the run does not count as finished.
    bool diskOrLockFailure = false;
    std::vector<std::string> refusedRows;     // keys, at most kNamedRefusals
    std::vector<std::string> refusedValues;   // "column bei key value", at most kNamedRefusals
    std::vector<std::string> missingColumns;  // what the old table lacks for the read to run

    // Keeps the first error's number and text.
    void Note(const platform::JetError& error);
    void Note(int number, const std::string& text);
    void FailStep(const std::string& step, const platform::JetError& error);
    // A row that the target did not store, by its key's display text.
    void RefuseRow(const std::string& key);
    // A value that the target column refused; the row itself may still be stored.
    void RefuseValue(const std::string& column, const std::string& key,
                     const platform::JetError& error);
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
