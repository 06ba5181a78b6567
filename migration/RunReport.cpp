#include "migration/RunReport.h"

#include "platform/JetError.h"

namespace migration {
namespace {

std::string FirstError(int number, const std::string& text) {
    if (number == 0) return text.empty() ? std::string() : "; " + text;
    return "; erster Fehler " + std::to_string(number) + ": " + text;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
    return out;
}

// ", und 3 weitere" when `total` exceeds what was named.
std::string More(long total, size_t named) {
    const long rest = total - static_cast<long>(named);
    return rest > 0 ? ", und " + std::to_string(rest) + " weitere" : std::string();
}

}  // namespace

void TableReport::RefuseRow(const std::string& key) {
    if (refusedRows.size() < kNamedRefusals) refusedRows.push_back(key);
}

void TableReport::RefuseValue(const std::string& column, const std::string& key,
                              const platform::JetError& error) {
    ++valuesRefused;
    Note(error);
    if (refusedValues.size() < kNamedRefusals) {
        refusedValues.push_back(column + " bei " + keyName + " " + key);
    }
}

void TableReport::Note(const platform::JetError& error) { Note(error.Number(), error.what()); }

bool IsDiskOrLockFailure(int number) {
    using namespace platform::jet;
    // Not 3049: a damaged old database says that too, and a new run would meet it again.
    for (const int n : {kReadOnly, kResourcesExceeded, kFileInUse, kCannotOpenFile, kLocked}) {
        if (number == n) return true;
    }
    return false;
}

void TableReport::Note(int number, const std::string& text) {
    diskOrLockFailure = diskOrLockFailure || IsDiskOrLockFailure(number);
    if (firstErrorNumber != 0 || number == 0) return;
    firstErrorNumber = number;
    firstErrorText = text;
}

void TableReport::FailStep(const std::string& step, const platform::JetError& error) {
    failedSteps.push_back(step);
    Note(error);
}

bool TableReport::Failed() const {
    return rowsStored != rowsRead || valuesRefused != 0 || !failedSteps.empty();
}

std::string TableReport::FailureLine() const {
    if (!Failed()) return {};
    std::vector<std::string> parts;
    if (rowsStored != rowsRead) {
        parts.push_back(std::to_string(rowsRead - rowsStored) + " von " + std::to_string(rowsRead) +
                        " Datensätzen nicht übernommen");
    }
    if (valuesRefused != 0) {
        parts.push_back(std::to_string(valuesRefused) + " Werte nicht übernommen");
    }
    for (const std::string& step : failedSteps) parts.push_back(step + " fehlgeschlagen");
    std::vector<std::string> named;
    if (!refusedRows.empty()) {
        named.push_back("Datensätze mit " + keyName + " " + Join(refusedRows) +
                        More(rowsRead - rowsStored, refusedRows.size()));
    }
    if (!refusedValues.empty()) {
        named.push_back("Werte " + Join(refusedValues) + More(valuesRefused, refusedValues.size()));
    }
    std::string line = "Fehler in " + tableName + ": " + Join(parts) +
                       FirstError(firstErrorNumber, firstErrorText);
    if (!missingColumns.empty()) {
        line += " Der alten Tabelle fehlen die Spalten " + Join(missingColumns) + ".";
    }
    if (!named.empty()) {
        line +=
            " Nicht übernommen: " + named.front() + (named.size() > 1 ? "; " + named[1] : "") + ".";
    }
    return line;
}

std::string StepReport::FailureLine() const {
    if (!Failed()) return {};
    std::vector<std::string> parts;
    if (!completed) parts.push_back("abgebrochen");
    if (skipped != 0) parts.push_back(std::to_string(skipped) + " Schritte übersprungen");
    if (parts.empty()) parts.push_back("fehlgeschlagen");
    return "Fehler in " + step + ": " + Join(parts) + FirstError(errorNumber, errorText);
}

bool RunReport::Failed() const {
    for (const TableReport& t : tables) {
        if (t.Failed()) return true;
    }
    for (const StepReport& s : completion) {
        if (s.Failed()) return true;
    }
    return compaction.Failed();
}

bool RunReport::CopyCutShort() const {
    for (const TableReport& t : tables) {
        if (t.diskOrLockFailure) return true;
    }
    return false;
}

bool RunReport::Unfinished() const {
    if (CopyCutShort()) return true;
    for (const StepReport& s : completion) {
        if (s.Failed()) return true;
    }
    return compaction.Failed();
}

}  // namespace migration
