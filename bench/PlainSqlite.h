// PlainSqlite: what SQLite alone needs for the migration's writes, the limit the run is held to.
//
// TimeInserts puts the rows of some tables of one database into an emptied copy of another
// with the same schema (the shipped target): one prepared insert per table, all in one
// transaction, values read beforehand in chunks so that only inserting and committing count.
// TimeVacuumInto writes a compacted copy of a database with SQLite's `VACUUM INTO` and syncs it,
// as the engine's compaction does. Both open
// their own connections and close them before returning; the text collation of the engine's
// files is registered on each, as the indexes need it.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct InsertTiming {
    long rows = 0;
    double seconds = 0;  // inserting and committing only
};

// `work` is created from `emptyTarget`; the rows of `tables` in it are deleted first (untimed).
InsertTiming TimeInserts(const std::string& filled, const std::string& emptyTarget,
                         const std::string& work, const std::vector<std::string>& tables);

// `destination` must not exist. Throws std::runtime_error when SQLite refuses.
double TimeVacuumInto(const std::string& source, const std::string& destination);

}  // namespace bench
