// ResultTable: the benchmark's one table, a column per library and a row per measure.
//
// Each column holds the measures of one library (seconds per phase, rows, memory), as the
// child process that ran it reported them; the table derives the sums and ratios, the growth
// from the 100,000-title to the 400,000-title engine file, and for every row with a goal
// whether it is met. A value that was not measured stays empty; a goal that cannot be judged
// from the columns present says so instead of passing. Owns copies of everything it shows.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench {

using Measures = std::map<std::string, double>;

struct Column {
    std::string title;
    long titles = 0;
    bool engineFile = true;  // false: the real Jet file
    Measures values;
};

struct TableRow {
    std::string label;
    std::vector<std::string> cells;  // one per column
    std::string growth;              // 400k over 100k, when both were measured
    std::string goal;
    std::string verdict;  // "met", "NOT met" or "-" (not measured at the sizes run)
};

class ResultTable {
  public:
    void Add(Column column);
    std::vector<TableRow> Rows() const;
    void Print(std::FILE* out) const;

    // The measures a column's figures imply: the transfer (the tables' phases together), the
    // whole run, titles per second and the ratios to the limits.
    static void Derive(Measures& values, long titles);

    // Folds one more run of the same library into `best`: the shortest time, the highest
    // memory figure. Interference on a shared machine only ever adds time, so the shortest of
    // a few runs is the figure that repeats; memory is judged by its worst.
    static void KeepBest(Measures& best, const Measures& run);

  private:
    std::optional<double> Value(size_t column, const std::string& key) const;
    std::optional<double> Growth(const std::string& key) const;

    std::vector<Column> columns_;
};

// The seven tables in the order of the run, then every later phase of a run.
const std::vector<std::string>& TablePhases();
const std::vector<std::string>& RunPhases();

}  // namespace bench
