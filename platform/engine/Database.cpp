#include "platform/Database.h"

#include <sqlite3.h>

#include <exception>
#include <limits>
#include <vector>

#include "platform/JetError.h"
#include "platform/engine/ActionQuery.h"
#include "platform/engine/FieldRules.h"
#include "platform/engine/OpenDatabaseState.h"
#include "platform/engine/RecordsetCursor.h"
#include "platform/engine/SqlText.h"
#include "platform/engine/SqliteErrors.h"
#include "platform/jetsql/LikePattern.h"

namespace platform {
namespace {

constexpr int kMaxLinkHops = 16;

bool StartsWithWord(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    if (LowerName(text.substr(0, word.size())) != word) return false;
    return text.size() == word.size() ||
           !(std::isalnum(static_cast<unsigned char>(text[word.size()])) ||
             text[word.size()] == '_');
}

bool LooksLikeSelect(std::string_view text) {
    return StartsWithWord(text, "select") || StartsWithWord(text, "parameters") ||
           StartsWithWord(text, "transform") || (!text.empty() && text.front() == '(');
}

// The path of a link's Connect text (";Database=<path>"). A folder name may hold ';', so the
// path ends only where another "name=" item follows, or at the end of the text.
std::string ConnectDatabasePath(const std::string& connect) {
    const std::string lower = LowerName(connect);
    const size_t at = lower.find("database=");
    if (at == std::string::npos) return {};
    const size_t start = at + 9;
    for (size_t end = connect.find(';', start); end != std::string::npos;
         end = connect.find(';', end + 1)) {
        size_t name = end + 1;
        while (name < connect.size() &&
               (std::isalnum(static_cast<unsigned char>(connect[name])) || connect[name] == ' '))
            ++name;
        if (name > end + 1 && name < connect.size() && connect[name] == '=')
            return connect.substr(start, end - start);
    }
    return connect.substr(start);
}

bool IsSelectQueryType(int type) { return type == dbQSelect || type == dbQSetOperation; }

// Resolves the names of one statement against a database; stored select queries are
// translated in place, their own parameters joining the statement's.
class DatabaseNameResolver : public SqlNameResolver {
  public:
    explicit DatabaseNameResolver(OpenDatabaseState& db) : db_(db) {}

    std::optional<TableReference> ResolveTable(std::string_view name) override {
        if (auto base = db_.FindBaseTable(name)) {
            TableReference ref;
            ref.sql = base->Qualified();
            return ref;
        }
        auto query = db_.OwnCatalog().FindQuery(name);
        if (!query || !IsSelectQueryType(query->type)) {
            // The connection's own main schema stays empty: a name this database does not
            // have is reported missing there, never found in another open database.
            TableReference missing;
            missing.sql = "\"main\"." + QuoteIdentifier(name);
            return missing;
        }
        // Queries built on queries are expanded in place; a query that reaches itself
        // would never end.
        if (++expansions_ > kMaxExpansions) ThrowJetError(jet::kInputTableNotFound, name);
        TableReference ref;
        ref.isQuery = true;
        ref.querySql = query->sql;
        return ref;
    }

  private:
    static constexpr int kMaxExpansions = 64;
    OpenDatabaseState& db_;
    int expansions_ = 0;
};

}  // namespace

std::string BaseTable::Qualified() const {
    return attachment->QuotedSchema() + "." + QuoteIdentifier(info->name);
}

void OpenDatabaseState::RequireOpen() const {
    if (!attachment) ThrowJetError(jet::kObjectInvalid);
}

std::optional<BaseTable> OpenDatabaseState::FindBaseTable(std::string_view tableName) {
    RequireOpen();
    auto info = OwnCatalog().FindTable(tableName);
    if (!info) return std::nullopt;
    std::optional<BaseTable> base =
        info->kind == ObjectKind::Link ? FollowLink(*info, 0) : BaseTable{attachment.get(), info};
    // Every use of a table's rows finds the table here first: a Jet file's rows are read now.
    if (base && base->attachment->IsJetFile()) {
        Connection().LoadJetTable(*base->attachment, base->info->name);
        // An index the rows did not fit is gone from the description now.
        if (auto loaded = base->attachment->GetCatalog().FindTable(base->info->name))
            base->info = loaded;
    }
    return base;
}

std::optional<BaseTable> OpenDatabaseState::FollowLink(const TableInfo& link, int depth) {
    if (depth >= kMaxLinkHops) ThrowJetError(jet::kInputTableNotFound, link.name);
    const std::string path = ConnectDatabasePath(link.connect);
    if (path.empty()) ThrowJetError(jet::kFileNotFound, path);
    const std::string canonical = EngineConnection::CanonicalPath(path);
    std::shared_ptr<Attachment> file;
    if (canonical == attachment->Path()) {
        file = attachment;
    } else if (auto it = linkedFiles.find(canonical); it != linkedFiles.end()) {
        file = it->second;
    } else {
        file = Connection().Open(path);
        linkedFiles[canonical] = file;
    }
    const std::string source = link.sourceTableName.empty() ? link.name : link.sourceTableName;
    auto info = file->GetCatalog().FindTable(source);
    if (!info) ThrowJetError(jet::kInputTableNotFound, source);
    if (info->kind == ObjectKind::Link) {
        // A link in the other file: follow it from there.
        OpenDatabaseState hop;
        hop.attachment = file;
        auto result = hop.FollowLink(*info, depth + 1);
        for (auto& [key, value] : hop.linkedFiles) linkedFiles.emplace(key, value);
        return result;
    }
    return BaseTable{file.get(), info};
}

TranslatedStatement OpenDatabaseState::Translate(const std::string& jetSql,
                                                 const TranslateOptions& options) {
    DatabaseNameResolver resolver(*this);
    JetSqlTranslator translator;
    return translator.Translate(jetSql, resolver, options);
}

void OpenDatabaseState::BindParameters(Statement& statement, const TranslatedStatement& translated,
                                       const std::vector<ParameterValue>& parameters) {
    int missing = 0;
    for (size_t i = 0; i < translated.parameters.size(); ++i) {
        const ParameterValue* given = nullptr;
        for (const auto& p : parameters)
            if (LowerName(p.name) == LowerName(translated.parameters[i].name)) given = &p;
        if (!given) {
            ++missing;
            continue;
        }
        const std::string& sqliteName = translated.sqliteParameterNames[i];
        Value v = given->value;
        if (!v.IsNull()) {
            FieldDescription declared;
            declared.Name = given->name;
            declared.Type = translated.parameters[i].type;
            declared.AllowZeroLength = true;
            try {
                v = ConvertForField(declared, v);
            } catch (const JetError&) {
                // Jet passes a value it cannot convert on as it is.
            }
        }
        if (int index = statement.ParameterIndex(sqliteName.c_str()))
            BindValue(statement, index, v);
        const std::string likeName = sqliteName + "_like";
        if (int index = statement.ParameterIndex(likeName.c_str())) {
            if (v.IsNull())
                statement.BindNull(index);
            else
                statement.BindText(index, LikePattern(v.ToText()).SqlitePattern());
            // The ranges an index serves: the pattern's prefix; without one every text, and
            // every number (a blob sorts after every text, -inf before every number).
            const auto range = v.IsNull() ? std::nullopt : LikePattern(v.ToText()).PrefixRange();
            const std::vector<uint8_t> afterTexts{0}, empty{1};
            if (int from = statement.ParameterIndex((sqliteName + "_from").c_str()))
                statement.BindText(from, range ? range->first : std::string());
            if (int to = statement.ParameterIndex((sqliteName + "_to").c_str())) {
                if (range)
                    statement.BindText(to, range->second);
                else
                    statement.BindBlob(to, afterTexts);
            }
            if (int from = statement.ParameterIndex((sqliteName + "_numfrom").c_str())) {
                if (range)
                    statement.BindBlob(from, empty);  // [X'01', X'00') holds nothing
                else
                    statement.BindDouble(from, -std::numeric_limits<double>::infinity());
            }
            if (int to = statement.ParameterIndex((sqliteName + "_numto").c_str()))
                statement.BindBlob(to, afterTexts);
        }
    }
    if (missing > 0) ThrowJetError(jet::kTooFewParameters, std::to_string(missing));
}

std::shared_ptr<RecordsetCursor> OpenDatabaseState::OpenSelect(
    const std::string& jetSql, const std::vector<ParameterValue>& parameters, bool snapshot) {
    RequireOpen();
    TranslateOptions options;
    options.addRowIdColumn = !snapshot;
    TranslatedStatement t = Translate(jetSql, options);
    if (t.kind != StatementKind::Select) ThrowJetError(jet::kInvalidOperation);
    auto state = std::make_shared<RecordsetCursor>();
    state->db = shared_from_this();
    state->statement = Statement(Connection().Db(), t.sql);
    BindParameters(state->statement, t, parameters);
    state->snapshot = snapshot;
    if (!snapshot && !t.updatableTable.empty()) {
        state->hasRowid = true;  // the translator put the table's rowid first
        state->target = FindBaseTable(t.updatableTable);
    }
    state->Start();
    recordsets.push_back(state);
    return state;
}

std::shared_ptr<RecordsetCursor> OpenDatabaseState::OpenTable(const BaseTable& table) {
    auto state = std::make_shared<RecordsetCursor>();
    state->db = shared_from_this();
    state->statement =
        Statement(Connection().Db(), "SELECT rowid AS \"__rowid__\", * FROM " + table.Qualified());
    state->hasRowid = true;
    state->target = table;
    state->Start();
    recordsets.push_back(state);
    return state;
}

long OpenDatabaseState::Execute(const std::string& text,
                                const std::vector<ParameterValue>& parameters, int options,
                                ExecuteRefusals* refusals) {
    RequireOpen();
    if (refusals) *refusals = {};
    std::string sql = TrimText(text);
    if (auto query = OwnCatalog().FindQuery(sql)) {
        if (IsSelectQueryType(query->type)) ThrowJetError(jet::kCannotExecuteSelect);
        sql = query->sql;
    }
    if (auto ddl = ParseDdl(sql)) {
        ApplyDdl(*ddl);
        return 0;
    }
    TranslatedStatement t = Translate(sql, {});
    if (t.kind == StatementKind::Select) ThrowJetError(jet::kCannotExecuteSelect);
    if (t.kind == StatementKind::DataDefinition) ThrowJetError(jet::kSyntaxInCreateTable);
    auto target = FindBaseTable(t.targetTable);
    if (!target) ThrowJetError(jet::kInputTableNotFound, t.targetTable);
    RequireWritable(*target->attachment);
    EngineConnection& connection = Connection();
    Statement source(connection.Db(), t.kind == StatementKind::Delete ? t.sql : t.sourceSql);
    BindParameters(source, t, parameters);
    connection.BeginCancellableWrite();
    ActionQuery::Outcome outcome;
    try {
        outcome = ActionQuery(connection, t, *target, (options & dbFailOnError) != 0).Run(source);
    } catch (...) {
        connection.EndCancellableWrite();
        throw;
    }
    connection.EndCancellableWrite();
    connection.CommitIfDue();
    if (refusals) *refusals = outcome.refusals;
    return outcome.affected;
}

void OpenDatabaseState::ApplyDdl(const DdlStatement& ddl) {
    RequireWritable(*attachment);
    Catalog& catalog = OwnCatalog();
    switch (ddl.kind) {
        case DdlStatement::Kind::CreateTable:
            catalog.CreateTable(ddl.createTable);
            break;
        case DdlStatement::Kind::CreateIndex:
            catalog.CreateIndex(ddl.table, ddl.index);
            break;
        case DdlStatement::Kind::DropTable:
            if (!catalog.FindTable(ddl.table)) ThrowJetError(jet::kInputTableNotFound, ddl.table);
            catalog.DropTable(ddl.table);
            break;
        case DdlStatement::Kind::DropIndex:
            catalog.DropIndex(ddl.table, ddl.index.Name);
            break;
        case DdlStatement::Kind::AddColumn:
            catalog.AddColumn(ddl.table, ddl.column);
            break;
    }
    Connection().CommitIfDue();
}

void OpenDatabaseState::RequireWritable(const Attachment& file) const {
    if (readOnly) ThrowJetError(jet::kReadOnly);
    file.RequireWritable();
}

void OpenDatabaseState::Close() {
    for (auto& weak : recordsets)
        if (auto rs = weak.lock()) rs->Close();
    recordsets.clear();
    // The handle closes in any case; a commit that failed is raised after it.
    std::exception_ptr failure;
    if (attachment) {
        try {
            attachment->Connection().Commit();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    linkedFiles.clear();
    attachment.reset();
    if (failure) std::rethrow_exception(failure);
}

// --- Database ---------------------------------------------------------------------------

Database::~Database() {
    try {
        Close();
    } catch (const JetError&) {
        // A destructor cannot raise; the changes stay pending and are committed once the
        // file is free. Callers that must know call Close.
    }
}
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        try {
            Close();
        } catch (const JetError&) {
            // As in the destructor.
        }
        state_ = std::move(other.state_);
        recordsAffected_ = other.recordsAffected_;
        refusals_ = std::move(other.refusals_);
    }
    return *this;
}

OpenDatabaseState& Database::State() const {
    if (!state_ || !state_->attachment) ThrowJetError(jet::kObjectInvalid);
    return *state_;
}

const std::string& Database::Name() const {
    static const std::string empty;
    return state_ ? state_->name : empty;
}

bool Database::IsOpen() const { return state_ && state_->attachment; }

bool Database::ReadOnly() const { return State().readOnly || State().attachment->ReadOnly(); }

std::vector<std::string> Database::OpenNotes() const { return State().attachment->OpenNotes(); }

long Database::Execute(const std::string& sql, int options) {
    OpenDatabaseState& st = State();
    recordsAffected_ = 0;
    refusals_ = {};
    recordsAffected_ = st.Execute(sql, {}, options, &refusals_);
    return recordsAffected_;
}

Recordset Database::OpenRecordset(const std::string& source) {
    OpenDatabaseState& st = State();
    const std::string text = TrimText(source);
    if (!LooksLikeSelect(text)) {
        if (auto base = st.FindBaseTable(text)) return Recordset(st.OpenTable(*base));
        if (auto query = st.OwnCatalog().FindQuery(text)) {
            if (!IsSelectQueryType(query->type)) ThrowJetError(jet::kInvalidOperation);
            return Recordset(st.OpenSelect(query->sql, {}, false));
        }
        ThrowJetError(jet::kInputTableNotFound, text);
    }
    return Recordset(st.OpenSelect(text, {}, false));
}

TableDefCollection Database::TableDefs() {
    State();
    return TableDefCollection(state_);
}

QueryDefCollection Database::QueryDefs() {
    State();
    return QueryDefCollection(state_);
}

TableDef Database::CreateTableDef(const std::string& name) {
    State();
    return TableDef(name);
}

QueryDef Database::CreateQueryDef(const std::string& name, const std::string& sql) {
    OpenDatabaseState& st = State();
    if (!name.empty()) {
        st.RequireWritable(*st.attachment);
        st.OwnCatalog().CreateQuery(name, sql);
        st.Connection().CommitIfDue();
    }
    return QueryDef(state_, name, sql, QueryTypeOfSql(sql));
}

void Database::SetAllowZeroLength(const std::string& table, const std::string& field, bool allow) {
    OpenDatabaseState& st = State();
    st.RequireWritable(*st.attachment);
    st.OwnCatalog().SetAllowZeroLength(table, field, allow);
    st.Connection().CommitIfDue();
}

void Database::Close() {
    std::shared_ptr<OpenDatabaseState> state = std::move(state_);
    if (state) state->Close();
}

// --- TableDefCollection ----------------------------------------------------------------

TableDefCollection::TableDefCollection(std::shared_ptr<OpenDatabaseState> db) : db_(std::move(db)) {
    Refresh();
}

void TableDefCollection::Refresh() {
    db_->RequireOpen();
    names_ = db_->OwnCatalog().TableNames();
}

TableDef TableDefCollection::operator[](size_t index) const {
    if (index >= names_.size()) ThrowJetError(jet::kItemNotFound);
    return Item(names_[index]);
}

TableDef TableDefCollection::Item(std::string_view name) const {
    db_->RequireOpen();
    auto info = db_->OwnCatalog().FindTable(name);
    if (!info) ThrowJetError(jet::kItemNotFound);
    TableDef def(info->name);
    def.SetAttributes(info->attributes);
    def.SetConnect(info->connect);
    def.SetSourceTableName(info->sourceTableName);
    std::shared_ptr<const TableInfo> described = info;
    if (info->kind == ObjectKind::Link) {
        // A link shows the fields and indexes of the table it points to, when it can be reached.
        try {
            if (auto base = db_->FindBaseTable(info->name)) described = base->info;
        } catch (const JetError&) {
            described.reset();
        }
    } else if (db_->attachment->IsJetFile() && info->attributes == 0) {
        // A Jet file's table shows the indexes its rows allow: those are known once they are
        // read. Rows that cannot be read fail where they are used, not here.
        try {
            if (auto base = db_->FindBaseTable(info->name)) described = base->info;
        } catch (const JetError&) {
        }
    }
    if (described) {
        for (const auto& f : described->description.Fields) def.Fields().AppendUnchecked(Field(f));
        for (const auto& i : described->description.Indexes)
            def.Indexes().AppendUnchecked(Index(i));
    }
    if (info->kind == ObjectKind::Table && info->attributes == 0) def.BindTo(db_);
    return def;
}

void TableDefCollection::Append(TableDef& tableDef) {
    db_->RequireOpen();
    db_->RequireWritable(*db_->attachment);
    Catalog& catalog = db_->OwnCatalog();
    if (tableDef.IsLink()) {
        catalog.CreateLink(tableDef.Name(), tableDef.Connect(), tableDef.SourceTableName());
    } else {
        catalog.CreateTable(tableDef.Description());
        tableDef.BindTo(db_);
    }
    db_->Connection().CommitIfDue();
    Refresh();
}

void TableDefCollection::Delete(std::string_view name) {
    db_->RequireOpen();
    db_->RequireWritable(*db_->attachment);
    db_->OwnCatalog().DropTable(name);
    db_->Connection().CommitIfDue();
    Refresh();
}

// --- QueryDefCollection ----------------------------------------------------------------

QueryDefCollection::QueryDefCollection(std::shared_ptr<OpenDatabaseState> db) : db_(std::move(db)) {
    db_->RequireOpen();
    names_ = db_->OwnCatalog().QueryNames();
}

QueryDef QueryDefCollection::operator[](size_t index) const {
    if (index >= names_.size()) ThrowJetError(jet::kItemNotFound);
    return Item(names_[index]);
}

QueryDef QueryDefCollection::Item(std::string_view name) const {
    db_->RequireOpen();
    auto query = db_->OwnCatalog().FindQuery(name);
    if (!query) ThrowJetError(jet::kItemNotFound);
    return QueryDef(db_, query->name, query->sql, query->type);
}

void QueryDefCollection::Delete(std::string_view name) {
    db_->RequireOpen();
    db_->RequireWritable(*db_->attachment);
    db_->OwnCatalog().DeleteQuery(name);
    db_->Connection().CommitIfDue();
    names_ = db_->OwnCatalog().QueryNames();
}

}  // namespace platform
