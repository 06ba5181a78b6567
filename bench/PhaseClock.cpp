#include "bench/PhaseClock.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace bench {
namespace {

const std::string kTableLine = "Übernehme ";
const std::string kMaintenanceLine = "Aktualisiere Datenbank";
const std::string kCompleteLine = "Datenübername komplett.";

// " 12345\r\n": the count that ends a table's copy.
bool IsCountLine(const std::string& text) {
    if (text.size() < 4 || text[0] != ' ' || !text.ends_with("\r\n")) return false;
    return std::all_of(text.begin() + 1, text.end() - 2,
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

const std::vector<std::string>& MaintenancePhases() {
    static const std::vector<std::string> names = {"tree: folders", "tree: albums", "tree: genres",
                                                   "tree: artists", "recount"};
    return names;
}

PhaseClock::PhaseClock(std::function<double()> now, std::map<std::string, std::string> tables)
    : now_(std::move(now)), tables_(std::move(tables)) {}

void PhaseClock::Begin(const std::string& name) {
    const double t = now_();
    if (!current_.empty()) phases_.push_back({current_, t - start_});
    current_ = name;
    start_ = t;
    stage_ = Stage::Outside;
}

void PhaseClock::End() {
    if (current_.empty()) return;
    phases_.push_back({current_, now_() - start_});
    current_.clear();
    stage_ = Stage::Outside;
}

void PhaseClock::Exclude(double seconds) { start_ += seconds; }

void PhaseClock::OnAppendLog(const std::string& text) {
    if (current_.empty()) return;
    if (text.starts_with(kTableLine)) {
        const auto known = tables_.find(text.substr(kTableLine.size()));
        table_ = known != tables_.end() ? known->second : text.substr(kTableLine.size());
        stage_ = Stage::Tables;
    } else if (stage_ == Stage::Tables && !table_.empty() && IsCountLine(text)) {
        // Counting and emptying the target table come before the announcement; they belong
        // to this table, as does everything since the previous table's count.
        current_ = table_;
        Begin("transfer");
        stage_ = Stage::Tables;
        table_.clear();
    } else if (text.starts_with(kMaintenanceLine) && stage_ == Stage::Tables) {
        // What lies between the last count and this line is closing the target.
        current_ = "close target";
        stage_ = Stage::Maintenance;
    } else if (text.find(kCompleteLine) != std::string::npos && stage_ == Stage::Maintenance) {
        Begin("compaction");
        stage_ = Stage::Compaction;
    }
}

void PhaseClock::OnProgressValue(int value) {
    if (stage_ != Stage::Maintenance || value < 1 ||
        value > static_cast<int>(MaintenancePhases().size())) {
        return;
    }
    Begin(MaintenancePhases()[static_cast<size_t>(value - 1)]);
    stage_ = Stage::Maintenance;
}

}  // namespace bench
