// Maps SQLite's failures onto Jet's error numbers (internal to the engine).
#pragma once

#include <string_view>

#include "platform/JetError.h"

struct sqlite3;

namespace platform {

// The JetError for a failed SQLite call with result code `rc` on `db`. Names in SQLite's
// message (tables, columns, constraint names of the form "size:Field") select the number:
// a missing table 3078, a missing column 3061, duplicates 3022, a required field 3314, ...
JetError MapSqliteError(sqlite3* db, int rc, std::string_view sql);

}  // namespace platform
