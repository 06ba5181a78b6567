#include "platform/engine/Catalog.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/JetError.h"
#include "platform/engine/EngineConnection.h"
#include "platform/engine/FieldRules.h"
#include "platform/engine/WriteScope.h"
#include "platform/jetsql/JetSqlTranslator.h"

namespace platform {
namespace {

// A structure change leaves the cached descriptions stale, whether it succeeded or was undone.
struct ForgetCachedTables {
    std::map<std::string, std::shared_ptr<TableInfo>>& tables;
    explicit ForgetCachedTables(std::map<std::string, std::shared_ptr<TableInfo>>& t) : tables(t) {}
    ~ForgetCachedTables() { tables.clear(); }
};

// An object kind as the catalog's SQL spells it.
std::string Kind(ObjectKind kind) { return std::to_string(static_cast<int>(kind)); }

constexpr int32_t kSystemAttributes = dbSystemObject;
const char* const kCatalogTables[] = {"MSysObjects", "MSysFields", "MSysIndexes", "MSysProperties"};

bool IsCatalogTable(std::string_view name) {
    const std::string lower = LowerName(name);
    for (const char* t : kCatalogTables)
        if (lower == LowerName(t)) return true;
    return false;
}

}  // namespace

std::string IndexFieldsText(const std::vector<IndexFieldDescription>& fields) {
    std::string out;
    for (const auto& f : fields) {
        if (!out.empty()) out += ';';
        out += (f.Descending ? '-' : '+') + f.Name;
    }
    return out;
}

std::vector<IndexFieldDescription> ParseIndexFieldsText(std::string_view text) {
    std::vector<IndexFieldDescription> fields;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view part = text.substr(start, end - start);
        while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
        if (!part.empty()) {
            IndexFieldDescription f;
            if (part.front() == '-' || part.front() == '+') {
                f.Descending = part.front() == '-';
                part.remove_prefix(1);
            }
            if (part.size() >= 2 && part.front() == '[' && part.back() == ']') {
                part = part.substr(1, part.size() - 2);
            }
            f.Name = std::string(part);
            fields.push_back(std::move(f));
        }
        start = end + 1;
    }
    return fields;
}

const FieldDescription* TableInfo::FindField(std::string_view fieldName) const {
    const std::string key = LowerName(fieldName);
    for (const auto& f : description.Fields)
        if (LowerName(f.Name) == key) return &f;
    return nullptr;
}

Catalog::Catalog(EngineConnection& connection, std::string schema)
    : connection_(connection), schema_(std::move(schema)) {}

std::string Catalog::Qualified(std::string_view object) const {
    return QuoteIdentifier(schema_) + "." + QuoteIdentifier(object);
}

bool Catalog::HasCatalogTables() {
    if (!hasCatalog_) {
        Statement& s =
            connection_.Cached("SELECT count(*) FROM " + QuoteIdentifier(schema_) +
                               ".sqlite_master WHERE type='table' AND name='MSysObjects'");
        s.Step();
        hasCatalog_ = s.ColumnInteger(0) > 0;
        s.Reset();
    }
    return *hasCatalog_;
}

void Catalog::CreateCatalogTables(const std::string& locale) {
    WriteScope write(connection_);
    connection_.Exec("CREATE TABLE " + Qualified("MSysObjects") +
                     " (\"Id\" INTEGER PRIMARY KEY, \"Name\" TEXT NOT NULL COLLATE NOCASE UNIQUE,"
                     " \"Kind\" INTEGER NOT NULL, \"Attributes\" INTEGER NOT NULL DEFAULT 0,"
                     " \"Connect\" TEXT, \"SourceTableName\" TEXT, \"SQL\" TEXT,"
                     " \"QueryType\" INTEGER)");
    connection_.Exec(
        "CREATE TABLE " + Qualified("MSysFields") +
        " (\"TableName\" TEXT NOT NULL COLLATE NOCASE, \"Position\" INTEGER NOT NULL,"
        " \"Name\" TEXT NOT NULL COLLATE NOCASE, \"Type\" INTEGER NOT NULL,"
        " \"Size\" INTEGER NOT NULL, \"Attributes\" INTEGER NOT NULL,"
        " \"DefaultValue\" TEXT NOT NULL DEFAULT '', \"Required\" INTEGER NOT NULL,"
        " \"AllowZeroLength\" INTEGER NOT NULL, PRIMARY KEY (\"TableName\", \"Name\"))");
    connection_.Exec("CREATE TABLE " + Qualified("MSysIndexes") +
                     " (\"TableName\" TEXT NOT NULL COLLATE NOCASE, \"Position\" INTEGER NOT NULL,"
                     " \"Name\" TEXT NOT NULL COLLATE NOCASE, \"IsPrimary\" INTEGER NOT NULL,"
                     " \"IsUnique\" INTEGER NOT NULL, \"IgnoreNulls\" INTEGER NOT NULL,"
                     " \"Required\" INTEGER NOT NULL, \"Fields\" TEXT NOT NULL,"
                     " \"PhysicalName\" TEXT NOT NULL, PRIMARY KEY (\"TableName\", \"Name\"))");
    connection_.Exec("CREATE TABLE " + Qualified("MSysProperties") +
                     " (\"Name\" TEXT PRIMARY KEY COLLATE NOCASE, \"Value\" TEXT)");
    connection_.Exec("INSERT INTO " + Qualified("MSysProperties") + " VALUES ('Locale', " +
                     QuoteLiteral(locale) + "), ('CatalogVersion', '1')");
    write.Release();
    hasCatalog_ = true;
    tables_.clear();
}

std::vector<std::string> Catalog::TableNames() {
    std::vector<std::string> names;
    Statement s(connection_.Db(),
                "SELECT name FROM " + QuoteIdentifier(schema_) +
                    ".sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
    while (s.Step()) names.push_back(s.ColumnText(0));
    if (HasCatalogTables()) {
        Statement links(connection_.Db(), "SELECT \"Name\" FROM " + Qualified("MSysObjects") +
                                              " WHERE \"Kind\" = " + Kind(ObjectKind::Link) + "");
        while (links.Step()) names.push_back(links.ColumnText(0));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return LowerName(a) < LowerName(b);
    });
    return names;
}

std::vector<std::string> Catalog::QueryNames() {
    std::vector<std::string> names;
    if (!HasCatalogTables()) return names;
    Statement s(connection_.Db(), "SELECT \"Name\" FROM " + Qualified("MSysObjects") +
                                      " WHERE \"Kind\" = " + Kind(ObjectKind::Query) + "");
    while (s.Step()) names.push_back(s.ColumnText(0));
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return LowerName(a) < LowerName(b);
    });
    return names;
}

std::shared_ptr<const TableInfo> Catalog::FindTable(std::string_view name) {
    const std::string key = LowerName(name);
    auto it = tables_.find(key);
    if (it != tables_.end()) return it->second;
    auto info = LoadTable(name);
    if (info) tables_[key] = info;
    return info;
}

std::shared_ptr<TableInfo> Catalog::LoadTable(std::string_view name) {
    if (!HasCatalogTables()) {
        const std::string physical = PhysicalTableName(name);
        return physical.empty() ? nullptr : DescribeForeignTable(physical);
    }
    auto info = std::make_shared<TableInfo>();
    {
        Statement& s = connection_.Cached(
            "SELECT \"Name\", \"Kind\", \"Attributes\", \"Connect\", \"SourceTableName\" FROM " +
            Qualified("MSysObjects") + " WHERE \"Name\" = ?1 AND \"Kind\" IN (" +
            Kind(ObjectKind::Table) + ", " + Kind(ObjectKind::Link) + ")");
        s.BindText(1, name);
        const bool found = s.Step();
        if (found) {
            info->name = s.ColumnText(0);
            info->kind = static_cast<ObjectKind>(s.ColumnInteger(1));
            info->attributes = static_cast<int32_t>(s.ColumnInteger(2));
            info->connect = s.ColumnText(3);
            info->sourceTableName = s.ColumnText(4);
        }
        s.Reset();
        if (!found) {
            // The catalog's own tables, or a table another tool created in the file.
            const std::string physical = PhysicalTableName(name);
            if (physical.empty()) return nullptr;
            auto described = DescribeForeignTable(physical);
            if (IsCatalogTable(physical)) described->attributes = kSystemAttributes;
            return described;
        }
    }
    if (info->kind == ObjectKind::Link) {
        info->attributes |= dbAttachedTable;
        return info;
    }
    {
        Statement& s = connection_.Cached(
            "SELECT \"Name\", \"Type\", \"Size\", \"Attributes\", \"DefaultValue\", \"Required\","
            " \"AllowZeroLength\" FROM " +
            Qualified("MSysFields") + " WHERE \"TableName\" = ?1 ORDER BY \"Position\"");
        s.BindText(1, info->name);
        while (s.Step()) {
            FieldDescription f;
            f.Name = s.ColumnText(0);
            f.Type = static_cast<int>(s.ColumnInteger(1));
            f.Size = static_cast<int32_t>(s.ColumnInteger(2));
            f.Attributes = static_cast<int32_t>(s.ColumnInteger(3));
            f.DefaultValue = s.ColumnText(4);
            f.Required = s.ColumnInteger(5) != 0;
            f.AllowZeroLength = s.ColumnInteger(6) != 0;
            if ((f.Attributes & dbAutoIncrField) && info->rowidField.empty())
                info->rowidField = f.Name;
            info->description.Fields.push_back(std::move(f));
        }
        s.Reset();
    }
    {
        Statement& s = connection_.Cached(
            "SELECT \"Name\", \"IsPrimary\", \"IsUnique\", \"IgnoreNulls\", \"Required\", "
            "\"Fields\""
            " FROM " +
            Qualified("MSysIndexes") + " WHERE \"TableName\" = ?1 ORDER BY \"Position\"");
        s.BindText(1, info->name);
        while (s.Step()) {
            IndexDescription index;
            index.Name = s.ColumnText(0);
            index.Primary = s.ColumnInteger(1) != 0;
            index.Unique = s.ColumnInteger(2) != 0;
            index.IgnoreNulls = s.ColumnInteger(3) != 0;
            index.Required = s.ColumnInteger(4) != 0;
            index.Fields = ParseIndexFieldsText(s.ColumnText(5));
            info->description.Indexes.push_back(std::move(index));
        }
        s.Reset();
    }
    info->description.Name = info->name;
    return info;
}

std::string Catalog::PhysicalTableName(std::string_view name) {
    Statement s(connection_.Db(),
                "SELECT name FROM " + QuoteIdentifier(schema_) +
                    ".sqlite_master WHERE type='table' AND name = ?1 COLLATE NOCASE");
    s.BindText(1, name);
    return s.Step() ? s.ColumnText(0) : std::string();
}

std::shared_ptr<TableInfo> Catalog::DescribeForeignTable(const std::string& name) {
    auto info = std::make_shared<TableInfo>();
    info->name = name;
    info->description.Name = name;
    Statement s(connection_.Db(), "PRAGMA " + QuoteIdentifier(schema_) + ".table_info(" +
                                      QuoteIdentifier(name) + ")");
    while (s.Step()) {
        FieldDescription f;
        f.Name = s.ColumnText(1);
        const std::string type = LowerName(s.ColumnText(2));
        const bool pk = s.ColumnInteger(5) != 0;
        if (type.find("int") != std::string::npos) {
            f.Type = dbLong;
            if (pk && type == "integer") {
                f.Attributes = dbAutoIncrField;
                info->rowidField = f.Name;
            }
        } else if (type.find("real") != std::string::npos ||
                   type.find("floa") != std::string::npos ||
                   type.find("doub") != std::string::npos) {
            f.Type = dbDouble;
        } else if (type.find("date") != std::string::npos ||
                   type.find("time") != std::string::npos) {
            f.Type = dbDate;
        } else if (type.find("blob") != std::string::npos) {
            f.Type = dbLongBinary;
        } else {
            f.Type = dbMemo;
        }
        f.Size = DefaultFieldSize(f.Type);
        f.Required = s.ColumnInteger(3) != 0;
        f.AllowZeroLength = true;
        info->description.Fields.push_back(std::move(f));
    }
    return info;
}

std::optional<QueryInfo> Catalog::FindQuery(std::string_view name) {
    if (!HasCatalogTables()) return std::nullopt;
    Statement& s = connection_.Cached(
        "SELECT \"Name\", \"SQL\", \"QueryType\" FROM " + Qualified("MSysObjects") +
        " WHERE \"Name\" = ?1 AND \"Kind\" = " + Kind(ObjectKind::Query) + "");
    s.BindText(1, name);
    std::optional<QueryInfo> result;
    if (s.Step())
        result = QueryInfo{s.ColumnText(0), s.ColumnText(1), static_cast<int>(s.ColumnInteger(2))};
    s.Reset();
    return result;
}

void Catalog::RequireFreeName(std::string_view name, int errorNumber) {
    if (FindTable(name) || FindQuery(name)) ThrowJetError(errorNumber, name);
}

void Catalog::CreateTable(const TableDescription& description) {
    if (description.Name.empty()) ThrowJetError(jet::kInvalidArgument);
    RequireFreeName(description.Name, jet::kTableExists);
    if (description.Fields.empty()) ThrowJetError(jet::kNoFieldDefined, description.Name);
    for (size_t i = 0; i < description.Fields.size(); ++i) {
        if (!IsKnownFieldType(description.Fields[i].Type) || description.Fields[i].Name.empty())
            ThrowJetError(jet::kInvalidArgument);
        for (size_t j = 0; j < i; ++j)
            if (LowerName(description.Fields[i].Name) == LowerName(description.Fields[j].Name))
                ThrowJetError(jet::kFieldDefinedTwice);
    }
    // The auto-increment field becomes SQLite's rowid: fast, and it never reuses a value.
    std::string rowidField;
    for (const auto& f : description.Fields) {
        if ((f.Attributes & dbAutoIncrField) && f.Type == dbLong) {
            rowidField = f.Name;
            break;
        }
    }
    std::vector<std::string> keyFields;
    for (const auto& index : description.Indexes) {
        if (!index.Primary) continue;
        for (const auto& f : index.Fields) keyFields.push_back(LowerName(f.Name));
    }
    for (const auto& index : description.Indexes) {
        for (const auto& f : index.Fields) {
            bool known = false;
            for (const auto& field : description.Fields)
                known = known || LowerName(field.Name) == LowerName(f.Name);
            if (!known) ThrowJetError(jet::kItemNotFound);
        }
    }

    std::string sql = "CREATE TABLE " + Qualified(description.Name) + " (";
    for (size_t i = 0; i < description.Fields.size(); ++i) {
        const FieldDescription& f = description.Fields[i];
        const bool isKey =
            std::find(keyFields.begin(), keyFields.end(), LowerName(f.Name)) != keyFields.end();
        if (i) sql += ", ";
        sql += SqlColumnDefinition(f, f.Name == rowidField, isKey);
    }
    sql += ")";

    WriteScope write(connection_);
    try {
        connection_.Exec(sql);
        Statement& obj = connection_.Cached("INSERT INTO " + Qualified("MSysObjects") +
                                            " (\"Name\", \"Kind\", \"Attributes\") VALUES (?1, " +
                                            Kind(ObjectKind::Table) + ", 0)");
        obj.BindText(1, description.Name);
        obj.Step();
        obj.Reset();
        Statement& field = connection_.Cached("INSERT INTO " + Qualified("MSysFields") +
                                              " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        for (size_t i = 0; i < description.Fields.size(); ++i) {
            const FieldDescription& f = description.Fields[i];
            field.BindText(1, description.Name);
            field.BindInteger(2, static_cast<int64_t>(i));
            field.BindText(3, f.Name);
            field.BindInteger(4, f.Type);
            field.BindInteger(5, f.Size > 0 ? f.Size : DefaultFieldSize(f.Type));
            field.BindInteger(6, f.Attributes);
            field.BindText(7, f.DefaultValue);
            field.BindInteger(8, f.Required ? 1 : 0);
            field.BindInteger(9, f.AllowZeroLength ? 1 : 0);
            field.Step();
            field.Reset();
        }
        for (size_t i = 0; i < description.Indexes.size(); ++i) {
            const IndexDescription& index = description.Indexes[i];
            for (size_t j = 0; j < i; ++j)
                if (LowerName(description.Indexes[j].Name) == LowerName(index.Name))
                    ThrowJetError(jet::kIndexExists, description.Name, index.Name);
            const bool onRowid = index.Primary && index.Fields.size() == 1 && !rowidField.empty() &&
                                 LowerName(index.Fields[0].Name) == LowerName(rowidField);
            if (!onRowid) CreatePhysicalIndex(description.Name, index);
            InsertIndexRow(description.Name, index, static_cast<int>(i));
        }
    } catch (...) {
        // The scope undoes the half-made table with its catalog rows.
        tables_.erase(LowerName(description.Name));
        throw;
    }
    write.Release();
    tables_.erase(LowerName(description.Name));
}

void Catalog::CreatePhysicalIndex(const std::string& table, const IndexDescription& index) {
    std::string sql = std::string("CREATE ") + (index.Unique || index.Primary ? "UNIQUE " : "") +
                      "INDEX " + Qualified(table + "." + index.Name) + " ON " +
                      QuoteIdentifier(table) + " (";
    for (size_t i = 0; i < index.Fields.size(); ++i) {
        if (i) sql += ", ";
        sql += QuoteIdentifier(index.Fields[i].Name) + (index.Fields[i].Descending ? " DESC" : "");
    }
    connection_.Exec(sql + ")");
}

void Catalog::InsertIndexRow(const std::string& table, const IndexDescription& index,
                             int position) {
    Statement& s = connection_.Cached("INSERT INTO " + Qualified("MSysIndexes") +
                                      " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    s.BindText(1, table);
    s.BindInteger(2, position);
    s.BindText(3, index.Name);
    s.BindInteger(4, index.Primary ? 1 : 0);
    s.BindInteger(5, index.Unique || index.Primary ? 1 : 0);
    s.BindInteger(6, index.IgnoreNulls ? 1 : 0);
    s.BindInteger(7, index.Required || index.Primary ? 1 : 0);
    s.BindText(8, IndexFieldsText(index.Fields));
    s.BindText(9, table + "." + index.Name);
    s.Step();
    s.Reset();
}

void Catalog::CreateLink(const std::string& name, const std::string& connect,
                         const std::string& sourceTable) {
    if (name.empty()) ThrowJetError(jet::kInvalidArgument);
    RequireFreeName(name, jet::kTableExists);
    WriteScope write(connection_);
    Statement& s = connection_.Cached(
        "INSERT INTO " + Qualified("MSysObjects") +
        " (\"Name\", \"Kind\", \"Attributes\", \"Connect\", \"SourceTableName\") VALUES (?1, " +
        Kind(ObjectKind::Link) + ", 0, ?2, ?3)");
    s.BindText(1, name);
    s.BindText(2, connect);
    s.BindText(3, sourceTable.empty() ? name : sourceTable);
    try {
        s.Step();
    } catch (...) {
        s.Reset();
        throw;
    }
    s.Reset();
    write.Release();
    tables_.erase(LowerName(name));
}

void Catalog::DropTable(std::string_view name) {
    auto info = FindTable(name);
    if (!info || info->attributes == kSystemAttributes) ThrowJetError(jet::kItemNotFound);
    const ForgetCachedTables forget(tables_);
    WriteScope write(connection_);
    if (info->kind == ObjectKind::Table) connection_.Exec("DROP TABLE " + Qualified(info->name));
    if (HasCatalogTables()) {
        const std::string where = " WHERE \"TableName\" = " + QuoteLiteral(info->name);
        connection_.Exec("DELETE FROM " + Qualified("MSysObjects") +
                         " WHERE \"Name\" = " + QuoteLiteral(info->name) + " AND \"Kind\" IN (" +
                         Kind(ObjectKind::Table) + ", " + Kind(ObjectKind::Link) + ")");
        connection_.Exec("DELETE FROM " + Qualified("MSysFields") + where);
        connection_.Exec("DELETE FROM " + Qualified("MSysIndexes") + where);
    }
    write.Release();
}

void Catalog::CreateIndex(std::string_view table, const IndexDescription& index) {
    auto info = FindTable(table);
    if (!info) ThrowJetError(jet::kInputTableNotFound, table);
    if (info->kind != ObjectKind::Table || info->attributes != 0)
        ThrowJetError(jet::kOperationNotSupported);
    if (index.Name.empty() || index.Fields.empty()) ThrowJetError(jet::kInvalidArgument);
    for (const auto& existing : info->description.Indexes) {
        if (LowerName(existing.Name) == LowerName(index.Name))
            ThrowJetError(jet::kIndexExists, info->name, index.Name);
        if (existing.Primary && index.Primary) ThrowJetError(jet::kPrimaryKeyExists);
    }
    for (const auto& f : index.Fields)
        if (!info->FindField(f.Name)) ThrowJetError(jet::kItemNotFound);
    const ForgetCachedTables forget(tables_);
    WriteScope write(connection_);
    CreatePhysicalIndex(info->name, index);
    InsertIndexRow(info->name, index, static_cast<int>(info->description.Indexes.size()));
    write.Release();
}

void Catalog::DropIndex(std::string_view table, std::string_view index) {
    auto info = FindTable(table);
    if (!info) ThrowJetError(jet::kInputTableNotFound, table);
    const IndexDescription* found = nullptr;
    for (const auto& existing : info->description.Indexes)
        if (LowerName(existing.Name) == LowerName(index)) found = &existing;
    if (!found) ThrowJetError(jet::kItemNotFound);
    const ForgetCachedTables forget(tables_);
    WriteScope write(connection_);
    connection_.Exec("DROP INDEX IF EXISTS " + Qualified(info->name + "." + found->Name));
    connection_.Exec("DELETE FROM " + Qualified("MSysIndexes") + " WHERE \"TableName\" = " +
                     QuoteLiteral(info->name) + " AND \"Name\" = " + QuoteLiteral(found->Name));
    write.Release();
}

void Catalog::AddColumn(std::string_view table, const FieldDescription& field) {
    auto info = FindTable(table);
    if (!info) ThrowJetError(jet::kInputTableNotFound, table);
    if (info->kind != ObjectKind::Table || info->attributes != 0)
        ThrowJetError(jet::kOperationNotSupported);
    if (info->FindField(field.Name)) ThrowJetError(jet::kFieldDefinedTwice);
    if (!IsKnownFieldType(field.Type) || field.Name.empty()) ThrowJetError(jet::kInvalidArgument);
    // A table has at most one counter, as in Jet.
    if (field.Attributes & dbAutoIncrField) {
        for (const FieldDescription& existing : info->description.Fields)
            if (existing.Attributes & dbAutoIncrField) ThrowJetError(jet::kInvalidFieldType);
    }
    FieldDescription f = field;
    f.Attributes &= ~dbAutoIncrField;  // SQLite cannot add a rowid to an existing table
    if (f.Size <= 0) f.Size = DefaultFieldSize(f.Type);
    const ForgetCachedTables forget(tables_);
    WriteScope write(connection_);
    connection_.Exec("ALTER TABLE " + Qualified(info->name) + " ADD COLUMN " +
                     SqlColumnDefinition(f, false, false));
    // SQLite shows the default in rows that existed before; in Jet they hold Null.
    if (!f.Required && DefaultValueAsSql(f)) {
        connection_.Exec("UPDATE " + Qualified(info->name) + " SET " + QuoteIdentifier(f.Name) +
                         " = NULL");
    }
    Statement& s = connection_.Cached("INSERT INTO " + Qualified("MSysFields") +
                                      " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    s.BindText(1, info->name);
    s.BindInteger(2, static_cast<int64_t>(info->description.Fields.size()));
    s.BindText(3, f.Name);
    s.BindInteger(4, f.Type);
    s.BindInteger(5, f.Size);
    s.BindInteger(6, f.Attributes);
    s.BindText(7, f.DefaultValue);
    s.BindInteger(8, f.Required ? 1 : 0);
    s.BindInteger(9, f.AllowZeroLength ? 1 : 0);
    s.Step();
    s.Reset();
    write.Release();
}

void Catalog::SetAllowZeroLength(std::string_view table, std::string_view field, bool allow) {
    auto info = FindTable(table);
    if (!info) ThrowJetError(jet::kInputTableNotFound, table);
    if (info->kind != ObjectKind::Table || info->attributes != 0 || !HasCatalogTables())
        ThrowJetError(jet::kOperationNotSupported);
    const FieldDescription* description = info->FindField(field);
    if (!description) ThrowJetError(jet::kItemNotFound);
    WriteScope write(connection_);
    Statement& s = connection_.Cached(
        "UPDATE " + Qualified("MSysFields") +
        " SET \"AllowZeroLength\" = ?1 WHERE \"TableName\" = ?2 AND \"Name\" = ?3");
    s.BindInteger(1, allow ? 1 : 0);
    s.BindText(2, info->name);
    s.BindText(3, description->Name);
    s.Step();
    s.Reset();
    write.Release();
    tables_.clear();
}

void Catalog::CreateQuery(const std::string& name, const std::string& sql) {
    if (name.empty()) ThrowJetError(jet::kInvalidArgument);
    RequireFreeName(name, jet::kObjectExists);
    WriteScope write(connection_);
    Statement& s =
        connection_.Cached("INSERT INTO " + Qualified("MSysObjects") +
                           " (\"Name\", \"Kind\", \"Attributes\", \"SQL\", \"QueryType\")"
                           " VALUES (?1, " +
                           Kind(ObjectKind::Query) + ", 0, ?2, ?3)");
    s.BindText(1, name);
    s.BindText(2, sql);
    s.BindInteger(3, QueryTypeOfSql(sql));
    try {
        s.Step();
    } catch (...) {
        s.Reset();
        throw;
    }
    s.Reset();
    write.Release();
}

void Catalog::DeleteQuery(std::string_view name) {
    if (!FindQuery(name)) ThrowJetError(jet::kItemNotFound);
    WriteScope write(connection_);
    connection_.Exec("DELETE FROM " + Qualified("MSysObjects") + " WHERE \"Kind\" = " +
                     Kind(ObjectKind::Query) + " AND \"Name\" = " + QuoteLiteral(name));
    write.Release();
}

}  // namespace platform
