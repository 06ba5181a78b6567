// RecordsetCursor: the position, current row and edit buffer behind a Recordset (internal).
//
// Owned by the Recordset handle; the database handle that opened it watches it so that
// closing the database closes it. Holds its SQLite statement (or, for a snapshot, the rows
// read at the start) and a reference to the database's state, which keeps that alive.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Field.h"
#include "platform/Value.h"
#include "platform/engine/BaseTable.h"
#include "platform/engine/Statement.h"

namespace platform {

class OpenDatabaseState;

class RecordsetCursor {
public:
    enum class Mode { None, Adding, Editing };

    std::shared_ptr<OpenDatabaseState> db;
    Statement statement;
    bool open = true;
    bool eof = true;
    bool hasRowid = false;
    bool snapshot = false;
    std::vector<std::vector<Value>> snapshotRows;
    size_t snapshotPosition = 0;

    // A recordset on one table walks a keyset: the rowids its query gave when it opened, each
    // row read by `fetch` when the cursor reaches it. So each row is visited once however the
    // rows change meanwhile; rows added later are not in it and deleted ones are passed over.
    std::vector<int64_t> keys;
    size_t keyPosition = 0;
    Statement fetch;
    std::vector<int> fetchColumn;                  // per field: its column in `fetch`, or -1
    std::vector<size_t> computedSlot;              // per field not fetched: its place in a row below
    std::vector<std::vector<Value>> computedRows;  // per key: the values of fields not fetched

    std::vector<Field> fields;
    std::vector<char> typedColumn;  // per field: a table column, read by its field type
    std::map<std::string, size_t> fieldIndex;  // lower-cased name -> position
    std::vector<Value> current;
    int64_t currentRowid = 0;

    // Where AddNew/Edit write: the one table the rows come from, if any.
    std::optional<BaseTable> target;
    std::vector<const FieldDescription*> targetField;  // per recordset field, null when not writable

    Mode mode = Mode::None;
    std::vector<Value> buffer;
    std::vector<char> dirty;

    // Reads the column layout and the first row.
    void Start();
    void StartKeyset(bool hasRow);
    // Reads the row of keys[position] into `current`; false when it no longer exists.
    bool FetchKey(size_t position);
    // Moves from keyPosition to the first row that still exists, or to the end.
    void SettleOnKey();
    void ReadRow();
    void Advance();
    void Close();

    void RequireOpen() const;
    size_t FieldPosition(std::string_view name) const;  // 3265 when absent
    Value FieldValue(int column) const;
    void SetFieldValue(int column, const Value& v);
    void AddNew();
    // Reads the current row afresh; 3167 when it was deleted meanwhile.
    void Edit();
    // 3167 when the row being edited was deleted meanwhile.
    void Update();
};

}  // namespace platform
