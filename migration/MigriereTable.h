// MigriereTable: one table of the migration plan.
//
// Says how the transfer run treats one table that exists under the same name in the old and in
// the target database: how the old rows are read, what is deleted in the target first, which
// statement runs after the copy and how the log describes the table. A plain value holder; the
// plan stores entries by shared reference, so whoever added one may still hold it.
#pragma once

#include <string>

namespace migration {

struct MigriereTable {
    // Condition behind " where " of the delete that empties the target table; empty empties it
    // completely.
    std::string WhereSqlByDel;
    // The table's name in both databases; the entry's key in the plan when it is added.
    std::string TableName;
    std::string WhereSQL;  // carried for the plan's callers, never read by the run
    // A complete SELECT on the old database; empty reads the old table itself, all columns.
    std::string UpdateSQL;
    std::string UpdateSouceField;  // carried for the plan's callers, never read by the run
    // An action statement executed on the target once the rows are copied; empty: none.
    std::string InsertSql;
    // German description for the table's log line.
    std::string Beschreibung;
};

}  // namespace migration
