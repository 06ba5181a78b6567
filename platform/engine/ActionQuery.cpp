#include "platform/engine/ActionQuery.h"

#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/JetError.h"
#include "platform/engine/FieldRules.h"
#include "platform/engine/SqlText.h"
#include "platform/engine/WriteScope.h"

namespace platform {
namespace {

// Errors that refuse one row; any other error ends the statement.
bool RefusesRow(int number) {
    return number == jet::kDuplicateKey || number == jet::kRequiredIsNull ||
           number == jet::kZeroLengthString || number == jet::kFieldTooSmall ||
           number == jet::kTypeConversion;
}

// The value `field` stores for `v`; Null where Jet's conversion fails. Text that is too long
// or empty where the field refuses it stays a refusal of the row.
Value StoredValue(const FieldDescription& field, const Value& v) {
    try {
        return ConvertForField(field, v);
    } catch (const JetError& e) {
        if (e.Number() == jet::kTypeConversion) return Value();
        throw;
    }
}

std::vector<Value> ReadValues(const Statement& source, int from) {
    std::vector<Value> values;
    for (int c = from; c < source.ColumnCount(); ++c)
        values.push_back(ReadColumnValue(source, c, nullptr));
    return values;
}

}  // namespace

ActionQuery::ActionQuery(EngineConnection& connection, const TranslatedStatement& translated,
                         const BaseTable& target, bool failOnError)
    : connection_(connection),
      translated_(translated),
      target_(target),
      failOnError_(failOnError) {}

ActionQuery::Outcome ActionQuery::Run(Statement& source) {
    // The statement with all its rows, or nothing of it.
    WriteScope write(connection_, target_.attachment);
    switch (translated_.kind) {
        case StatementKind::Insert:
            Insert(source);
            break;
        case StatementKind::Update:
            Update(source);
            break;
        default:
            source.Step();
            outcome_.affected = static_cast<long>(sqlite3_changes(connection_.Db()));
            break;
    }
    write.Release();
    return outcome_;
}

std::vector<const FieldDescription*> ActionQuery::TargetFields(int unknownFieldError) const {
    std::vector<const FieldDescription*> fields;
    if (translated_.targetColumns.empty()) {
        for (const FieldDescription& f : target_.info->description.Fields) fields.push_back(&f);
        return fields;
    }
    for (const std::string& name : translated_.targetColumns) {
        const FieldDescription* f = target_.info->FindField(name);
        if (!f) {
            if (unknownFieldError == jet::kTooFewParameters) ThrowJetError(unknownFieldError, "1");
            ThrowJetError(unknownFieldError, name);
        }
        fields.push_back(f);
    }
    return fields;
}

void ActionQuery::Insert(Statement& source) {
    const auto fields = TargetFields(jet::kUnknownInsertField);
    if (source.ColumnCount() != static_cast<int>(fields.size()))
        ThrowJetError(jet::kValueCountMismatch);
    std::string columns, marks;
    for (const FieldDescription* f : fields) {
        columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(f->Name);
        marks += marks.empty() ? "?" : ", ?";
    }
    Statement insert(connection_.Db(), "INSERT INTO " + translated_.targetSql + " (" + columns +
                                           ") VALUES (" + marks + ")");
    // Rows read from the table being filled are all read first, or the new rows would be
    // read again.
    if (translated_.sourceSql.find(translated_.targetSql) != std::string::npos) {
        std::vector<std::vector<Value>> rows;
        while (source.Step()) rows.push_back(ReadValues(source, 0));
        for (const auto& row : rows)
            if (WriteRow(insert, fields, row)) ++outcome_.affected;
        return;
    }
    while (source.Step())
        if (WriteRow(insert, fields, ReadValues(source, 0))) ++outcome_.affected;
}

void ActionQuery::Update(Statement& source) {
    const auto fields = TargetFields(jet::kTooFewParameters);
    std::string assignments;
    for (size_t i = 0; i < fields.size(); ++i) {
        assignments +=
            (i ? ", " : "") + QuoteIdentifier(fields[i]->Name) + " = ?" + std::to_string(i + 1);
    }
    const int rowidIndex = static_cast<int>(fields.size()) + 1;
    Statement update(connection_.Db(), "UPDATE " + translated_.targetSql + " SET " + assignments +
                                           " WHERE rowid = ?" + std::to_string(rowidIndex));
    // Every new value is computed from the rows as they were, as one UPDATE statement does.
    std::vector<std::pair<int64_t, std::vector<Value>>> rows;
    while (source.Step()) rows.emplace_back(source.ColumnInteger(0), ReadValues(source, 1));
    for (const auto& [rowid, values] : rows) {
        update.BindInteger(rowidIndex, rowid);
        if (WriteRow(update, fields, values)) ++outcome_.affected;
    }
}

bool ActionQuery::WriteRow(Statement& write, const std::vector<const FieldDescription*>& fields,
                           const std::vector<Value>& values) {
    bool changed = false;
    try {
        for (size_t i = 0; i < fields.size(); ++i)
            BindValue(write, static_cast<int>(i) + 1, StoredValue(*fields[i], values[i]));
        write.Step();
        changed = sqlite3_changes(connection_.Db()) > 0;
    } catch (const JetError& e) {
        write.Reset();
        if (!RefusesRow(e.Number())) throw;
        Refuse(e);
        return false;
    }
    write.Reset();
    return changed;
}

void ActionQuery::Refuse(const JetError& error) {
    if (failOnError_) throw error;
    if (outcome_.refusals.count++ == 0) {
        outcome_.refusals.firstErrorNumber = error.Number();
        outcome_.refusals.firstErrorText = error.Description();
    }
}

}  // namespace platform
