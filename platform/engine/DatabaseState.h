// The state behind Database, Recordset, TableDef and QueryDef handles (internal).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/engine/EngineConnection.h"
#include "platform/Field.h"
#include "platform/jetsql/JetSqlTranslator.h"
#include "platform/Value.h"

namespace platform {

struct RecordsetState;

// A table as the SQL and the recordsets reach it: links followed to the file that holds the
// rows.
struct BaseTable {
    Attachment* attachment = nullptr;
    std::shared_ptr<const TableInfo> info;
    std::string Qualified() const;
};

struct ParameterValue {
    std::string name;
    Value value;
};

struct DatabaseState : std::enable_shared_from_this<DatabaseState> {
    std::string name;
    std::shared_ptr<Attachment> attachment;
    // Opened read-only on request: every write through this handle is refused.
    bool readOnly = false;
    // Files reached through links, kept attached while this handle is open.
    std::map<std::string, std::shared_ptr<Attachment>> linkedFiles;
    std::vector<std::weak_ptr<RecordsetState>> recordsets;

    EngineConnection& Connection() { return attachment->Connection(); }
    Catalog& OwnCatalog() { return attachment->GetCatalog(); }
    void RequireOpen() const;
    // 3027 when this handle or `file` is read-only.
    void RequireWritable(const Attachment& file) const;

    // The table or link `name` of this database, followed to its rows; nothing when the
    // database has no table or link of that name. Throws 3024 for a link whose file is
    // missing and 3078 for a link whose source table is missing.
    std::optional<BaseTable> FindBaseTable(std::string_view name);

    TranslatedStatement Translate(const std::string& jetSql, const TranslateOptions& options);

    // Opens a SELECT (Jet SQL) with the given parameter values.
    std::shared_ptr<RecordsetState> OpenSelect(const std::string& jetSql,
                                               const std::vector<ParameterValue>& parameters,
                                               bool snapshot);
    std::shared_ptr<RecordsetState> OpenTable(const BaseTable& table);
    long Execute(const std::string& text, const std::vector<ParameterValue>& parameters);

    void Close();

private:
    std::optional<BaseTable> FollowLink(const TableInfo& link, int depth);
    void ApplyDdl(const DdlStatement& ddl);
    void BindParameters(Statement& statement, const TranslatedStatement& translated,
                        const std::vector<ParameterValue>& parameters);
};

struct RecordsetState {
    enum class Mode { None, Adding, Editing };

    std::shared_ptr<DatabaseState> db;
    Statement statement;
    bool open = true;
    bool eof = true;
    bool hasRowid = false;
    bool snapshot = false;
    std::vector<std::vector<Value>> snapshotRows;
    size_t snapshotPosition = 0;

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
    void ReadRow();
    void Advance();
    void Close();

    void RequireOpen() const;
    // 3027 when this handle or `file` is read-only.
    void RequireWritable(const Attachment& file) const;
    size_t FieldPosition(std::string_view name) const;  // 3265 when absent
    Value FieldValue(int column) const;
    void SetFieldValue(int column, const Value& v);
    void AddNew();
    void Edit();
    void Update();
};

std::string TrimText(std::string_view text);

}  // namespace platform
