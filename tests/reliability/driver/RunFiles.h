// RunFiles: what the reliability driver leaves in ROOT/out and how the sweeps read it back.
//
// The driver writes the log of each start, a few facts about a faulty run, and an inspection
// of the data folder (each database's integrity and whether the engine opens it, the row
// counts of the migrated tables, leftover work files). Shared by the driver and the sweeps.
#pragma once

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace reliability {

inline constexpr char kRunStartLog[] = "run-start-log.txt";
inline constexpr char kRunLog[] = "run-log.txt";
inline constexpr char kRunFacts[] = "run-facts.txt";
inline constexpr char kInspectAfterFault[] = "inspect-after-fault.txt";
inline constexpr char kStartLog[] = "start-log.txt";
inline constexpr char kRerunLog[] = "rerun-log.txt";
inline constexpr char kInspectAfterRerun[] = "inspect-after-rerun.txt";

inline std::string OldLibrary(const std::string& root) { return root + "/old/library.mdb"; }

// The seven migrated tables and the rebuilt trees, reached through the target database.
inline const std::vector<std::string>& CountedTables() {
    static const std::vector<std::string> tables = {
        "db_all", "pl_name",  "pl_group",   "db_edit",    "pl_stat",       "PL_MIXSETS",
        "pl_all", "TREE_DIR", "TREE_ALBUM", "TREE_GENRE", "TREE_INTERPRET"};
    return tables;
}

// Work files of a run that a crash or a failure may leave in the data folder.
inline bool IsLeftover(const std::string& name) {
    return name == "temp.mdb" || name == "~tree.tmp" || name == "~migration.run" ||
           name.find(".building") != std::string::npos ||
           name.find(".compacting-") != std::string::npos || name.ends_with("-journal") ||
           name.ends_with("-wal");
}

// The engine's temporary copy of a compaction (and its journal).
inline bool IsCompactionLeftover(const std::string& name) {
    return name.find(".compacting-") != std::string::npos;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The log of the faulty start as the user saw it: the start's texts, then the run's.
inline std::string ReadRunLog(const std::string& root) {
    return ReadText(root + "/out/" + kRunStartLog) + "\n" + ReadText(root + "/out/" + kRunLog);
}

// An inspection file read back: "integrity <file>", "engine <file>", "count <table>" map to
// the rest of their line; leftovers are listed.
struct Inspection {
    std::map<std::string, std::string> facts;
    std::vector<std::string> leftovers;

    static Inspection Read(const std::string& path) {
        Inspection result;
        std::istringstream in(ReadText(path));
        std::string line;
        while (std::getline(in, line)) {
            const size_t first = line.find(' ');
            const size_t second = line.find(' ', first + 1);
            if (line.rfind("leftover ", 0) == 0)
                result.leftovers.push_back(line.substr(9));
            else if (first != std::string::npos && second != std::string::npos)
                result.facts[line.substr(0, second)] = line.substr(second + 1);
        }
        return result;
    }
    std::string Counts() const {
        std::string out;
        for (const std::string& table : CountedTables()) {
            const auto at = facts.find("count " + table);
            out += table + "=" + (at == facts.end() ? "?" : at->second) + " ";
        }
        return out;
    }
};

}  // namespace reliability
