// TableDef: the definition of a table or a link, with DAO's properties.
//
// A TableDef made by Database::CreateTableDef is a plain value until it is appended to the
// database's TableDefs: then the table (with its fields and indexes) or the link is created.
// A TableDef read from TableDefs describes what the database holds; appending a field or an
// index to it changes the table in the database at once. A link is a TableDef whose Connect
// is ";Database=<path>" and whose SourceTableName names the table in that file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Field.h"
#include "Index.h"
#include "NamedList.h"

namespace platform {

class OpenDatabaseState;

class TableDef {
  public:
    TableDef();
    explicit TableDef(std::string name);

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    // 0 for a plain local table; dbSystemObject, dbHiddenObject, dbAttachedTable bits.
    int32_t Attributes() const { return attributes_; }
    void SetAttributes(int32_t attributes) { attributes_ = attributes; }
    const std::string& Connect() const { return connect_; }
    void SetConnect(std::string connect) { connect_ = std::move(connect); }
    const std::string& SourceTableName() const { return sourceTableName_; }
    void SetSourceTableName(std::string name) { sourceTableName_ = std::move(name); }

    NamedList<Field>& Fields() { return *fields_; }
    NamedList<Index>& Indexes() { return *indexes_; }
    const NamedList<Field>& Fields() const { return *fields_; }
    const NamedList<Index>& Indexes() const { return *indexes_; }

    // A new field or index, not yet appended. Size 0 takes the type's default size.
    Field CreateField(std::string name, int type, int32_t size = 0) const;
    Index CreateIndex(std::string name) const;

    bool IsLink() const { return !connect_.empty(); }
    TableDescription Description() const;

  private:
    friend class TableDefCollection;
    // Binds the definition to the table `name` of an open database (after Append or when
    // read from TableDefs), so that later field and index appends change the table.
    void BindTo(std::shared_ptr<OpenDatabaseState> db);

    std::string name_;
    int32_t attributes_ = 0;
    std::string connect_;
    std::string sourceTableName_;
    // Held by pointer so that the append hooks stay valid when the TableDef is moved.
    std::shared_ptr<NamedList<Field>> fields_;
    std::shared_ptr<NamedList<Index>> indexes_;
};

}  // namespace platform
