// WritePlan: what a recordset's AddNew and Update need from its table, worked out once (internal).
//
// Built by a RecordsetCursor from the table description it opened with and its fields'
// place in that table; owned by the cursor and kept as long as it. Holds the field defaults
// that do not change from row to row, the required fields in the order they are checked, and
// the last INSERT and UPDATE text for a set of assigned fields. Row-by-row writing then costs
// only the values: no description walk, default parsing or SQL building per row. The cursor
// never sees a later structure change of its table (it keeps the description it opened
// with), so nothing here needs to be forgotten while the cursor lives.
#pragma once

#include <string>
#include <vector>

#include "platform/TableDescription.h"
#include "platform/Value.h"
#include "platform/engine/BaseTable.h"

namespace platform {

class WritePlan {
  public:
    // `targetField`: per recordset field, its field in `table`, or null when not writable.
    WritePlan(const BaseTable& table, const std::vector<const FieldDescription*>& targetField);

    // A new row's buffer: every writable field's default (Now() and Date() read the clock
    // per row), auto-increment fields and fields without a default Null.
    void FillDefaults(std::vector<Value>& buffer) const;

    // Throws 3314 "<table>.<field>" for the first required field left Null: assigned Null,
    // left Null in a new row, or not in the recordset and without a default in a new row.
    void CheckRequired(const std::vector<Value>& buffer, const std::vector<char>& dirty,
                       bool adding) const;

    // The statement that writes the fields at `columns` (recordset positions, in order):
    // INSERT with ?1..?n, or UPDATE with ?1..?n and the rowid as ?n+1.
    const std::string& InsertSql(const std::vector<size_t>& columns);
    const std::string& UpdateSql(const std::vector<size_t>& columns);

  private:
    enum class DefaultKind : char { None, Fixed, PerRow };
    struct RequiredField {
        std::string label;              // "<table>.<field>" for the error
        std::vector<size_t> positions;  // recordset fields that write it
        bool defaultIsNull = false;
    };
    struct CachedSql {
        bool built = false;
        std::vector<size_t> columns;
        std::string sql;
    };

    std::string BuildSql(bool adding, const std::vector<size_t>& columns) const;

    std::vector<const FieldDescription*> targetField_;
    std::string qualified_;
    std::vector<DefaultKind> defaultKind_;  // per recordset field
    std::vector<Value> fixedDefault_;       // per recordset field, for DefaultKind::Fixed
    std::vector<RequiredField> required_;
    CachedSql insert_;
    CachedSql update_;
};

}  // namespace platform
