#include "platform/engine/WritePlan.h"

#include "platform/JetError.h"
#include "platform/NamedList.h"
#include "platform/engine/Catalog.h"
#include "platform/engine/FieldRules.h"
#include "platform/engine/SqlText.h"

namespace platform {

WritePlan::WritePlan(const BaseTable& table,
                     const std::vector<const FieldDescription*>& targetField)
    : targetField_(targetField), qualified_(table.Qualified()) {
    defaultKind_.assign(targetField_.size(), DefaultKind::None);
    fixedDefault_.assign(targetField_.size(), Value());
    for (size_t i = 0; i < targetField_.size(); ++i) {
        const FieldDescription* description = targetField_[i];
        if (!description || (description->Attributes & dbAutoIncrField)) continue;
        if (DefaultValueReadsClock(*description)) {
            defaultKind_[i] = DefaultKind::PerRow;
        } else {
            fixedDefault_[i] = DefaultValueAsValue(*description);
            if (!fixedDefault_[i].IsNull()) defaultKind_[i] = DefaultKind::Fixed;
        }
    }

    // Required fields first, then the fields of the primary key and of required indexes, as
    // they were always checked; a field may be listed twice, the first failure is reported.
    const TableInfo& info = *table.info;
    std::vector<std::string> names;
    for (const auto& f : info.description.Fields)
        if (f.Required && !(f.Attributes & dbAutoIncrField)) names.push_back(LowerName(f.Name));
    for (const auto& index : info.description.Indexes) {
        if (!index.Primary && !index.Required) continue;
        for (const auto& f : index.Fields) {
            const FieldDescription* description = info.FindField(f.Name);
            if (description && !(description->Attributes & dbAutoIncrField))
                names.push_back(LowerName(f.Name));
        }
    }
    for (const std::string& name : names) {
        const FieldDescription* description = info.FindField(name);
        RequiredField field;
        field.label = info.name + "." + description->Name;
        for (size_t i = 0; i < targetField_.size(); ++i)
            if (targetField_[i] && LowerName(targetField_[i]->Name) == name)
                field.positions.push_back(i);
        field.defaultIsNull = DefaultValueAsValue(*description).IsNull();
        required_.push_back(std::move(field));
    }
}

void WritePlan::FillDefaults(std::vector<Value>& buffer) const {
    buffer.assign(targetField_.size(), Value());
    for (size_t i = 0; i < targetField_.size(); ++i) {
        if (defaultKind_[i] == DefaultKind::Fixed) {
            buffer[i] = fixedDefault_[i];
        } else if (defaultKind_[i] == DefaultKind::PerRow) {
            buffer[i] = DefaultValueAsValue(*targetField_[i]);
        }
    }
}

void WritePlan::CheckRequired(const std::vector<Value>& buffer, const std::vector<char>& dirty,
                              bool adding) const {
    for (const RequiredField& field : required_) {
        for (size_t i : field.positions) {
            if (buffer[i].IsNull() && (adding || dirty[i]))
                ThrowJetError(jet::kRequiredIsNull, field.label);
        }
        if (field.positions.empty() && adding && field.defaultIsNull)
            ThrowJetError(jet::kRequiredIsNull, field.label);
    }
}

const std::string& WritePlan::InsertSql(const std::vector<size_t>& columns) {
    if (!insert_.built || insert_.columns != columns) {
        insert_.sql = BuildSql(true, columns);
        insert_.columns = columns;
        insert_.built = true;
    }
    return insert_.sql;
}

const std::string& WritePlan::UpdateSql(const std::vector<size_t>& columns) {
    if (!update_.built || update_.columns != columns) {
        update_.sql = BuildSql(false, columns);
        update_.columns = columns;
        update_.built = true;
    }
    return update_.sql;
}

std::string WritePlan::BuildSql(bool adding, const std::vector<size_t>& columns) const {
    std::string sql;
    if (adding) {
        if (columns.empty()) return "INSERT INTO " + qualified_ + " DEFAULT VALUES";
        sql = "INSERT INTO " + qualified_ + " (";
        std::string values;
        for (size_t k = 0; k < columns.size(); ++k) {
            sql += (k ? ", " : "") + QuoteIdentifier(targetField_[columns[k]]->Name);
            values += (k ? ", ?" : "?") + std::to_string(k + 1);
        }
        return sql + ") VALUES (" + values + ")";
    }
    sql = "UPDATE " + qualified_ + " SET ";
    for (size_t k = 0; k < columns.size(); ++k) {
        sql += (k ? ", " : "") + QuoteIdentifier(targetField_[columns[k]]->Name) + " = ?" +
               std::to_string(k + 1);
    }
    return sql + " WHERE rowid = ?" + std::to_string(columns.size() + 1);
}

}  // namespace platform
