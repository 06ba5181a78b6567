#include "platform/engine/RecordsetCursor.h"

#include <sqlite3.h>

#include <map>

#include "platform/JetError.h"
#include "platform/engine/FieldRules.h"
#include "platform/engine/OpenDatabaseState.h"
#include "platform/engine/WriteScope.h"

namespace platform {
namespace {

FieldDescription ExpressionFieldDescription(const std::string& name, int storage) {
    FieldDescription description;
    description.Name = name;
    switch (storage) {
        case SQLITE_INTEGER:
            description.Type = dbLong;
            break;
        case SQLITE_FLOAT:
            description.Type = dbDouble;
            break;
        case SQLITE_BLOB:
            description.Type = dbLongBinary;
            break;
        default:
            description.Type = dbText;
            break;
    }
    description.Size = DefaultFieldSize(description.Type);
    description.AllowZeroLength = true;
    return description;
}

}  // namespace

void RecordsetCursor::RequireOpen() const {
    if (!open) ThrowJetError(jet::kObjectInvalid);
}

void RecordsetCursor::Start() {
    EngineConnection& connection = db->Connection();
    sqlite3_stmt* s = statement.Handle();
    const int count = statement.ColumnCount();
    const int first = hasRowid ? 1 : 0;
    const bool hasRow = statement.Step();
    for (int col = first; col < count; ++col) {
        const std::string name = sqlite3_column_name(s, col);
        const char* schema = sqlite3_column_database_name(s, col);
        const char* table = sqlite3_column_table_name(s, col);
        const char* origin = sqlite3_column_origin_name(s, col);
        const FieldDescription* description = nullptr;
        std::shared_ptr<const TableInfo> info;
        Attachment* owner = schema ? connection.FindBySchema(schema) : nullptr;
        if (owner && table && origin) {
            info = owner->GetCatalog().FindTable(table);
            if (info) description = info->FindField(origin);
        }
        Field field(description ? *description
                                : ExpressionFieldDescription(
                                      name, hasRow ? sqlite3_column_type(s, col) : SQLITE_TEXT));
        field.description_.Name = name;
        field.owner_ = this;
        field.column_ = static_cast<int>(fields.size());
        fieldIndex.emplace(LowerName(name), fields.size());
        const FieldDescription* writable = nullptr;
        if (target && description && owner == target->attachment && info &&
            LowerName(info->name) == LowerName(target->info->name)) {
            writable = target->info->FindField(origin);
        }
        targetField.push_back(writable);
        typedColumn.push_back(description != nullptr);
        fields.push_back(std::move(field));
        sourceTables.push_back(info ? info->name : std::string());
    }
    NameDuplicateColumnsByTable();
    if (snapshot) {
        bool more = hasRow;
        while (more) {
            ReadRow();
            snapshotRows.push_back(current);
            more = statement.Step();
        }
        statement = Statement();
        snapshotPosition = 0;
        eof = snapshotRows.empty();
        if (!eof) current = snapshotRows[0];
        return;
    }
    eof = !hasRow;
    if (hasRow) ReadRow();
    if (target && hasRowid && !eof) {
        watchedFile = target->attachment;
        connection.WatchWrites(this);
    }
}

// Two columns of one name from two tables (a `select *` over a join) are told apart as Jet
// does, as "table.name"; a column whose table is not known keeps its name.
void RecordsetCursor::NameDuplicateColumnsByTable() {
    std::map<std::string, int> uses;
    for (const Field& f : fields) ++uses[LowerName(f.Name())];
    bool renamed = false;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (uses[LowerName(fields[i].Name())] < 2 || sourceTables[i].empty()) continue;
        fields[i].description_.Name = sourceTables[i] + "." + fields[i].Name();
        renamed = true;
    }
    if (!renamed) return;
    fieldIndex.clear();
    for (size_t i = 0; i < fields.size(); ++i) fieldIndex.emplace(LowerName(fields[i].Name()), i);
}

void RecordsetCursor::BeforeWrite(const Attachment* file) {
    if (file && file != watchedFile) return;
    FixKeyset();
}

RecordsetCursor::~RecordsetCursor() { StopWatching(); }

void RecordsetCursor::StopWatching() noexcept {
    if (!watchedFile) return;
    watchedFile = nullptr;
    EngineConnection::Instance().UnwatchWrites(this);
}

void RecordsetCursor::FixKeyset() {
    StopWatching();
    if (keyed) return;
    keyed = true;
    // From here the table's own columns are read afresh at every move, so a row shows what
    // was written since; anything else (an expression) keeps the value the query gave it.
    std::string columns;
    int fetched = 0;
    size_t computed = 0;
    fetchColumn.assign(fields.size(), -1);
    computedSlot.assign(fields.size(), 0);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (targetField[i]) {
            columns += (fetched ? ", " : "") + QuoteIdentifier(targetField[i]->Name);
            fetchColumn[i] = fetched++;
        } else {
            computedSlot[i] = computed++;
        }
    }
    fetch =
        Statement(db->Connection().Db(), "SELECT " + (fetched ? columns : std::string("NULL")) +
                                             " FROM " + target->Qualified() + " WHERE rowid = ?1");
    const auto keep = [&](int64_t rowid, auto&& valueOf) {
        keys.push_back(rowid);
        if (computed == 0) return;
        std::vector<Value>& values = computedRows.emplace_back();
        for (size_t i = 0; i < fields.size(); ++i)
            if (fetchColumn[i] < 0) values.push_back(valueOf(i));
    };
    // The current row first, then the rows the query has yet to give.
    if (!eof) {
        keep(currentRowid, [&](size_t i) { return current[i]; });
        while (statement.Step()) {
            keep(statement.ColumnInteger(0), [&](size_t i) {
                return ReadColumnValue(statement, static_cast<int>(i) + 1,
                                       typedColumn[i] ? &fields[i].description_ : nullptr);
            });
        }
    }
    statement = Statement();  // an ended statement no longer holds files
    keyPosition = 0;
}

bool RecordsetCursor::FetchKey(size_t position) {
    fetch.Reset();
    fetch.BindInteger(1, keys[position]);
    if (!fetch.Step()) {
        fetch.Reset();
        return false;
    }
    current.resize(fields.size());
    const ConnectionMutexHold hold(fetch.Handle());
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fetchColumn[i] >= 0) {
            ReadHeldColumn(current[i], fetch, fetchColumn[i],
                           typedColumn[i] ? &fields[i].description_ : nullptr);
        } else {
            current[i] = computedRows[position][computedSlot[i]];
        }
    }
    currentRowid = keys[position];
    fetch.Reset();
    return true;
}

void RecordsetCursor::SettleOnKey() {
    // Rows deleted since the recordset opened are passed over.
    while (keyPosition < keys.size() && !FetchKey(keyPosition)) ++keyPosition;
    eof = keyPosition >= keys.size();
    if (eof) current.clear();
}

void RecordsetCursor::ReadRow() {
    const int first = hasRowid ? 1 : 0;
    const ConnectionMutexHold hold(statement.Handle());
    current.resize(fields.size());
    if (hasRowid) currentRowid = statement.ColumnInteger(0);
    for (size_t i = 0; i < fields.size(); ++i) {
        ReadHeldColumn(current[i], statement, static_cast<int>(i) + first,
                       typedColumn[i] ? &fields[i].description_ : nullptr);
    }
}

void RecordsetCursor::Advance() {
    RequireOpen();
    if (eof) ThrowJetError(jet::kNoCurrentRecord);
    mode = Mode::None;
    if (snapshot) {
        if (++snapshotPosition >= snapshotRows.size()) {
            eof = true;
            current.clear();
        } else {
            current = snapshotRows[snapshotPosition];
        }
        return;
    }
    if (keyed) {
        ++keyPosition;
        SettleOnKey();
        return;
    }
    if (statement.Step()) {
        ReadRow();
    } else {
        eof = true;
        current.clear();
        StopWatching();
        statement.Reset();  // an ended statement no longer holds files
        EngineConnection::Instance().DetachReleased();
    }
}

void RecordsetCursor::Close() {
    StopWatching();
    open = false;
    eof = true;
    mode = Mode::None;
    const bool hadStatement = static_cast<bool>(statement);
    statement = Statement();
    fetch = Statement();
    writeStatement = nullptr;
    snapshotRows.clear();
    keys.clear();
    computedRows.clear();
    if (hadStatement) EngineConnection::Instance().DetachReleased();
}

size_t RecordsetCursor::FieldPosition(std::string_view name) const {
    auto it = fieldIndex.find(LowerName(name));
    if (it == fieldIndex.end()) ThrowJetError(jet::kItemNotFound);
    return it->second;
}

Value RecordsetCursor::FieldValue(int column) const {
    RequireOpen();
    if (mode != Mode::None) return buffer[static_cast<size_t>(column)];
    if (eof) ThrowJetError(jet::kNoCurrentRecord);
    return current[static_cast<size_t>(column)];
}

void RecordsetCursor::SetFieldValue(int column, Value v) {
    RequireOpen();
    if (mode == Mode::None) ThrowJetError(jet::kUpdateWithoutEdit);
    const FieldDescription* description = targetField[static_cast<size_t>(column)];
    if (!description) ThrowJetError(jet::kFieldNotUpdatable);
    buffer[static_cast<size_t>(column)] = ConvertForField(*description, std::move(v));
    dirty[static_cast<size_t>(column)] = 1;
}

WritePlan& RecordsetCursor::Plan() {
    if (!writePlan) writePlan.emplace(*target, targetField);
    return *writePlan;
}

void RecordsetCursor::AddNew() {
    RequireOpen();
    if (!target || snapshot) ThrowJetError(jet::kReadOnly);
    db->RequireWritable(*target->attachment);
    Plan().FillDefaults(buffer);
    dirty.assign(fields.size(), 0);
    mode = Mode::Adding;
}

void RecordsetCursor::Edit() {
    RequireOpen();
    if (!target || snapshot || !hasRowid) ThrowJetError(jet::kReadOnly);
    db->RequireWritable(*target->attachment);
    if (eof) ThrowJetError(jet::kNoCurrentRecord);
    // A streaming row is as fresh as it gets: any write to its file fixed the keyset first.
    if (keyed && !FetchKey(keyPosition)) ThrowJetError(jet::kRecordDeleted);
    buffer = current;
    dirty.assign(fields.size(), 0);
    mode = Mode::Editing;
}

void RecordsetCursor::Update() {
    RequireOpen();
    if (mode == Mode::None) ThrowJetError(jet::kUpdateWithoutEdit);
    WritePlan& plan = Plan();
    plan.CheckRequired(buffer, dirty, mode == Mode::Adding);

    std::vector<size_t>& columns = writtenColumns;
    columns.clear();
    for (size_t i = 0; i < fields.size(); ++i)
        if (dirty[i] && targetField[i]) columns.push_back(i);
    if (mode == Mode::Editing && columns.empty()) {
        mode = Mode::None;
        return;
    }
    const std::string& sql =
        mode == Mode::Adding ? plan.InsertSql(columns) : plan.UpdateSql(columns);

    EngineConnection& connection = db->Connection();
    if (writeStatement == nullptr || writeStatementSql != sql ||
        writeStatementGeneration != connection.CachedStatementsGeneration()) {
        writeStatement = &connection.Cached(sql);
        writeStatementSql = sql;
        writeStatementGeneration = connection.CachedStatementsGeneration();
    } else {
        writeStatement->Reset();  // another recordset may have used it since
    }
    Statement& write = *writeStatement;
    {
        // The buffer stays put until the write is reset below.
        const ConnectionMutexHold hold(write.Handle());
        for (size_t k = 0; k < columns.size(); ++k)
            BindValueInPlace(write, static_cast<int>(k + 1), buffer[columns[k]]);
        if (mode == Mode::Editing)
            write.BindInteger(static_cast<int>(columns.size() + 1), currentRowid);
    }
    int64_t changed = 0;
    {
        std::optional<WriteScope> scope;
        try {
            scope.emplace(connection, target->attachment, WriteScope::Extent::OneStatement);
            write.Step();
            changed = sqlite3_changes64(connection.Db());
        } catch (...) {
            write.Reset();  // it must not keep pointing into the buffer
            throw;
        }
        write.Reset();
        scope->Release();
    }
    if (mode == Mode::Editing && changed == 0) {
        // Deleted since it was read: Jet refuses rather than dropping the change unseen.
        mode = Mode::None;
        ThrowJetError(jet::kRecordDeleted);
    }
    if (mode == Mode::Editing) {
        for (size_t i : columns) current[i] = buffer[i];
    }
    mode = Mode::None;
    connection.CommitIfDue();
}

}  // namespace platform
