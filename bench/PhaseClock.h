// PhaseClock: the phases of one migration run, timed from what the window is told.
//
// The run announces itself through the window only: "Übernehme <description>" opens a table,
// the line " <count>" closes its copy, "Aktualisiere Datenbank" starts the maintenance, whose
// five calls are announced by the progress values 1 to 5, and "Datenübername komplett." comes
// just before the compaction. A benchmark window forwards its log and progress calls here and
// gets one time per phase, without any hook inside the migration code. Time that the benchmark
// spends itself inside a phase (copying a file for comparison) is excluded with Exclude.
// Holds only names and times; the clock is a function given at construction.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct Phase {
    std::string name;
    double seconds = 0;
};

class PhaseClock {
  public:
    // `now` gives seconds on a steady clock; `tables` maps each table's log description to
    // the table's name, the name its phase gets.
    PhaseClock(std::function<double()> now, std::map<std::string, std::string> tables);

    // Opens a phase by name, closing the one open before. A run starts with Begin("transfer"):
    // each table's count line then gives the time since the previous one its table's name.
    void Begin(const std::string& name);
    // Closes the open phase.
    void End();
    // Leaves `seconds` spent by the benchmark itself out of the open phase.
    void Exclude(double seconds);

    void OnAppendLog(const std::string& text);
    void OnProgressValue(int value);

    const std::vector<Phase>& Phases() const { return phases_; }
    // The open phase's name, empty when none is open.
    const std::string& Current() const { return current_; }

  private:
    enum class Stage { Outside, Tables, Maintenance, Compaction };

    std::function<double()> now_;
    std::map<std::string, std::string> tables_;
    std::vector<Phase> phases_;
    std::string current_;
    double start_ = 0;
    Stage stage_ = Stage::Outside;
    std::string table_;  // the table whose copy the log announced, until its count line
};

// The phase names the maintenance calls get, in the order of their progress values 1 to 5.
const std::vector<std::string>& MaintenancePhases();

}  // namespace bench
