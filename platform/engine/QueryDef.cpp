#include "platform/QueryDef.h"

#include "platform/JetError.h"
#include "platform/engine/OpenDatabaseState.h"
#include "platform/jetsql/JetSqlTranslator.h"

namespace platform {
namespace {

std::vector<ParameterValue> ValuesOf(NamedList<Parameter>& parameters) {
    std::vector<ParameterValue> values;
    for (const Parameter& p : parameters) {
        // A parameter that was never given a value stays unbound, which Jet reports (3061).
        if (p.HasValue()) values.push_back({p.Name(), p.Value()});
    }
    return values;
}

}  // namespace

QueryDef::QueryDef(std::shared_ptr<OpenDatabaseState> db, std::string name, std::string sql,
                   int type)
    : db_(std::move(db)), name_(std::move(name)), sql_(std::move(sql)), type_(type) {
    parameters_.SetDuplicateError(jet::kObjectExists);
    for (const ParameterDeclaration& p : DeclaredParameters(sql_)) {
        parameters_.AppendUnchecked(Parameter(p.name, p.type));
    }
}

Recordset QueryDef::OpenRecordset(int type) {
    if (!db_) ThrowJetError(jet::kObjectInvalid);
    db_->RequireOpen();
    if (type_ != 0 && type_ != 128) ThrowJetError(jet::kInvalidOperation);
    return Recordset(db_->OpenSelect(sql_, ValuesOf(parameters_), type == dbOpenSnapshot));
}

long QueryDef::Execute() {
    if (!db_) ThrowJetError(jet::kObjectInvalid);
    return db_->Execute(sql_, ValuesOf(parameters_));
}

}  // namespace platform
