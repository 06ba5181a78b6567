// Catalog: the structure of one database file that SQLite's schema cannot hold (internal).
//
// Kept in tables of the file itself: MSysObjects (tables, links and stored queries),
// MSysFields (DAO field types, sizes, attributes, defaults, required, zero-length),
// MSysIndexes (index names, flags and field lists) and MSysProperties. The catalog also
// creates and drops the SQLite tables and indexes that back the Jet objects, so the two never
// disagree. Tables that another tool created in the file without catalog rows are described
// from SQLite's own schema. Owned by the file's Attachment; single-threaded.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TableDescription.h"
#include "platform/engine/SqlText.h"

namespace platform {

class EngineConnection;

enum class ObjectKind { Table = 1, Query = 5, Link = 6 };

struct TableInfo {
    std::string name;
    ObjectKind kind = ObjectKind::Table;
    int32_t attributes = 0;  // dbSystemObject for the catalog's own tables
    std::string connect;     // links: ";Database=<path>"
    std::string sourceTableName;
    TableDescription description;  // local tables: fields and indexes; links: empty
    // The auto-increment field that is SQLite's rowid for this table, or "".
    std::string rowidField;

    const FieldDescription* FindField(std::string_view fieldName) const;
};

struct QueryInfo {
    std::string name;
    std::string sql;
    int type = 0;  // DAO query type
};

class Catalog {
  public:
    Catalog(EngineConnection& connection, std::string schema);

    // Creates the catalog tables in a new, empty file.
    void CreateCatalogTables(const std::string& locale);

    // Names in collection order: tables (with links and system tables), then queries;
    // alphabetical without regard to letter case.
    std::vector<std::string> TableNames();
    std::vector<std::string> QueryNames();

    // Null/nothing when there is no such object (letter case ignored).
    std::shared_ptr<const TableInfo> FindTable(std::string_view name);
    std::optional<QueryInfo> FindQuery(std::string_view name);

    // Structure changes. REQUIRES: the file is writable (the caller checks).
    void CreateTable(const TableDescription& description);  // 3010 when the name is taken
    void CreateLink(const std::string& name, const std::string& connect,
                    const std::string& sourceTable);
    void DropTable(std::string_view name);  // tables and links; 3265 when missing
    void CreateIndex(std::string_view table, const IndexDescription& index);
    void DropIndex(std::string_view table, std::string_view index);
    void AddColumn(std::string_view table, const FieldDescription& field);
    void SetAllowZeroLength(std::string_view table, std::string_view field, bool allow);
    void CreateQuery(const std::string& name, const std::string& sql);  // 3012 when taken
    void DeleteQuery(std::string_view name);                            // 3265 when missing

    void Invalidate() { tables_.clear(); }

  private:
    bool HasCatalogTables();
    std::shared_ptr<TableInfo> LoadTable(std::string_view name);
    std::shared_ptr<TableInfo> DescribeForeignTable(const std::string& name);
    // The SQLite table of that name as the file spells it, or "".
    std::string PhysicalTableName(std::string_view name);
    std::string Qualified(std::string_view object) const;
    void CreatePhysicalIndex(const std::string& table, const IndexDescription& index);
    void InsertIndexRow(const std::string& table, const IndexDescription& index, int position);
    void RequireFreeName(std::string_view name, int errorNumber);

    EngineConnection& connection_;
    std::string schema_;
    std::optional<bool> hasCatalog_;
    std::map<std::string, std::shared_ptr<TableInfo>> tables_;  // key: lower-cased name
};

// The "+a;-b" text of an index's fields, as DAO's Index.Fields reads.
std::string IndexFieldsText(const std::vector<IndexFieldDescription>& fields);
std::vector<IndexFieldDescription> ParseIndexFieldsText(std::string_view text);

}  // namespace platform
