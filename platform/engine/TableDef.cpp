#include "platform/TableDef.h"

#include "platform/JetError.h"
#include "platform/engine/Catalog.h"
#include "platform/engine/OpenDatabaseState.h"

namespace platform {

TableDef::TableDef()
    : fields_(std::make_shared<NamedList<Field>>()),
      indexes_(std::make_shared<NamedList<Index>>()) {
    fields_->SetDuplicateError(jet::kFieldDefinedTwice);
    indexes_->SetDuplicateError(jet::kIndexExists);
}

TableDef::TableDef(std::string name) : TableDef() { name_ = std::move(name); }

Field TableDef::CreateField(std::string name, int type, int32_t size) const {
    if (!IsKnownFieldType(type)) ThrowJetError(jet::kInvalidArgument);
    FieldDescription description;
    description.Name = std::move(name);
    description.Type = type;
    description.Size =
        size > 0 && (type == dbText || type == dbBinary) ? size : DefaultFieldSize(type);
    description.Attributes =
        (type == dbText || type == dbMemo || type == dbBinary || type == dbLongBinary)
            ? dbVariableField
            : dbFixedField;
    return Field(std::move(description));
}

Index TableDef::CreateIndex(std::string name) const {
    IndexDescription description;
    description.Name = std::move(name);
    return Index(std::move(description));
}

TableDescription TableDef::Description() const {
    TableDescription description;
    description.Name = name_;
    for (const Field& f : *fields_) description.Fields.push_back(f.Description());
    for (const Index& i : *indexes_) description.Indexes.push_back(i.Description());
    return description;
}

void TableDef::BindTo(std::shared_ptr<OpenDatabaseState> db) {
    const std::string table = name_;
    std::weak_ptr<OpenDatabaseState> weak = db;
    fields_->SetOnAppend([weak, table](const Field& field) {
        auto state = weak.lock();
        if (!state) ThrowJetError(jet::kObjectInvalid);
        state->RequireOpen();
        state->RequireWritable(*state->attachment);
        state->OwnCatalog().AddColumn(table, field.Description());
        state->Connection().CommitIfDue();
    });
    indexes_->SetOnAppend([weak, table](const Index& index) {
        auto state = weak.lock();
        if (!state) ThrowJetError(jet::kObjectInvalid);
        state->RequireOpen();
        state->RequireWritable(*state->attachment);
        state->OwnCatalog().CreateIndex(table, index.Description());
        state->Connection().CommitIfDue();
    });
}

void Index::SetFields(std::string_view daoText) {
    description_.Fields = ParseIndexFieldsText(daoText);
}

}  // namespace platform
