// RecordsetCursor: the position, current row and edit buffer behind a Recordset (internal).
//
// Owned by the Recordset handle; the database handle that opened it watches it so that
// closing the database closes it. Holds its SQLite statement (or, for a snapshot, the rows
// read at the start) and a reference to the database's state, which keeps that alive.
//
// A cursor on one table streams its rows until something is about to write to that table's
// file (this recordset, another one, or a statement). Then it fixes its keyset: the row ids
// the query has yet to give, read to the end at once, after which each row is read by its id
// when the cursor reaches it. So a walk visits each row once, as Jet's dynaset does, and pays
// for the keyset only where writes meet it.
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
#include "platform/engine/EngineConnection.h"
#include "platform/engine/Statement.h"
#include "platform/engine/WritePlan.h"

namespace platform {

class OpenDatabaseState;

class RecordsetCursor final : public WriteWatcher {
  public:
    enum class Mode { None, Adding, Editing };

    RecordsetCursor() = default;
    ~RecordsetCursor();
    RecordsetCursor(const RecordsetCursor&) = delete;
    RecordsetCursor& operator=(const RecordsetCursor&) = delete;

    std::shared_ptr<OpenDatabaseState> db;
    Statement statement;
    bool open = true;
    bool eof = true;
    bool hasRowid = false;
    bool snapshot = false;
    std::vector<std::vector<Value>> snapshotRows;
    size_t snapshotPosition = 0;

    // The keyset, once fixed: the row ids still to visit from the current one on, each row
    // read by `fetch` when the cursor reaches it; rows deleted meanwhile are passed over.
    const Attachment* watchedFile = nullptr;  // set while streaming rows of that file
    bool keyed = false;
    std::vector<int64_t> keys;
    size_t keyPosition = 0;
    Statement fetch;
    std::vector<int> fetchColumn;      // per field: its column in `fetch`, or -1
    std::vector<size_t> computedSlot;  // per field not fetched: its place in a row below
    std::vector<std::vector<Value>> computedRows;  // per key: the values of fields not fetched

    std::vector<Field> fields;
    std::vector<char> typedColumn;             // per field: a table column, read by its field type
    std::map<std::string, size_t> fieldIndex;  // lower-cased name -> position
    std::vector<std::string> sourceTables;      // per field: its table's name, or ""
    std::vector<Value> current;
    int64_t currentRowid = 0;

    // Where AddNew/Edit write: the one table the rows come from, if any.
    std::optional<BaseTable> target;
    std::vector<const FieldDescription*>
        targetField;  // per recordset field, null when not writable

    Mode mode = Mode::None;
    std::vector<Value> buffer;
    std::vector<char> dirty;
    std::optional<WritePlan> writePlan;  // made at the first AddNew or Edit
    std::vector<size_t> writtenColumns;  // the last Update's, kept for its capacity
    // The last Update's statement: finding it by its text hashed a long statement per row.
    Statement* writeStatement = nullptr;
    std::string writeStatementSql;
    uint64_t writeStatementGeneration = 0;

    WritePlan& Plan();

    // Reads the column layout and the first row.
    void Start();
    void NameDuplicateColumnsByTable();
    // Called before any write to `file` (null: any file) while this cursor streams.
    void BeforeWrite(const Attachment* file) override;
    void FixKeyset();
    void StopWatching() noexcept;
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
    void SetFieldValue(int column, Value v);
    void AddNew();
    // Reads the current row afresh; 3167 when it was deleted meanwhile.
    void Edit();
    // 3167 when the row being edited was deleted meanwhile.
    void Update();
};

}  // namespace platform
