// Jet's rules for field values, and how values are kept in SQLite (internal).
//
// Storage: Boolean, Byte, Integer and Long as SQLite integers (true is -1); Single, Double
// and Currency as reals; Date as text "YYYY-MM-DD HH:MM:SS"; Text, Memo and GUID as text
// (COLLATE JET_GENERAL, Jet's order: letter case ignored, see JetTextOrder); Binary as
// blobs. Types, ranges and text sizes are also written into each table as CHECK constraints,
// so that SQL statements cannot store what an assignment would refuse.
#pragma once

#include <optional>
#include <string>

#include "platform/TableDescription.h"
#include "platform/Value.h"
#include "platform/engine/Statement.h"

namespace platform {

// The value that a field of this definition stores for `v`, converted as Jet converts on
// assignment. Throws 3421 (no conversion, number out of range), 3163 (text longer than the
// field), 3315 (empty text where zero length is not allowed). Null passes unchanged.
Value ConvertForField(const FieldDescription& field, Value v);

// The SQLite column definition of a field (without the table's key clauses).
std::string SqlColumnDefinition(const FieldDescription& field, bool rowidAlias, bool notNull);

// The field's DefaultValue as a SQLite expression and as a value; nothing for no default.
std::optional<std::string> DefaultValueAsSql(const FieldDescription& field);
Value DefaultValueAsValue(const FieldDescription& field);
// Whether that value is read from the clock (Now(), Date()) and so differs from row to row.
bool DefaultValueReadsClock(const FieldDescription& field);

// Reads column `col` of the current row: by the field's type when the column is a field
// of a table, by SQLite's storage class otherwise.
Value ReadColumnValue(const Statement& statement, int col, const FieldDescription* field);
// The same into `slot`, whose text storage is reused. REQUIRES: the caller holds the
// connection's mutex (ConnectionMutexHold) across the row, so that no other thread's call on
// the connection changes the column while it is read in place.
void ReadHeldColumn(Value& slot, const Statement& statement, int col,
                    const FieldDescription* field);

// Binds `v` in its stored form.
void BindValue(Statement& statement, int index, const Value& v);
// The same without copying text or bytes: `v` must stay as it is until the statement's next
// Step and Reset.
void BindValueInPlace(Statement& statement, int index, const Value& v);

}  // namespace platform
