// ActionQuery: one translated INSERT, UPDATE or DELETE, run the way Jet's Execute runs it
// (internal to the engine).
//
// Every value written into a field is converted as an assignment through a recordset would
// convert it (ConvertForField): a Long stores 120 for 120.5, a Date the date of '3/4/2005', a
// Yes/No -1 for 5. A value that cannot be converted becomes Null. A row that is then refused
// (a duplicate key, a Null in a required field, text too long or empty where the field does
// not allow it) is left out and counted; with failOnError the first refusal undoes the whole
// statement and is raised. The statement runs inside a savepoint of its own, so that a failure
// part way through leaves no row of it behind. Made for one Execute; holds no handle after Run.
#pragma once

#include "platform/Database.h"
#include "platform/engine/BaseTable.h"
#include "platform/engine/EngineConnection.h"
#include "platform/engine/Statement.h"
#include "platform/jetsql/JetSqlTranslator.h"

namespace platform {

class ActionQuery {
  public:
    struct Outcome {
        long affected = 0;
        ExecuteRefusals refusals;
    };

    // `target` is where the statement writes; `source` the prepared, bound statement that
    // translated.sourceSql (Insert, Update) or translated.sql (Delete) gives.
    ActionQuery(EngineConnection& connection, const TranslatedStatement& translated,
                const BaseTable& target, bool failOnError);

    Outcome Run(Statement& source);

  private:
    void Insert(Statement& source);
    void Update(Statement& source);
    // The fields the statement writes, in the order of the source's values.
    std::vector<const FieldDescription*> TargetFields(int unknownFieldError) const;
    // Converts `values` for `fields` and writes them through `write` (bound from parameter 1
    // on); false when the row was refused, which is then counted or raised.
    bool WriteRow(Statement& write, const std::vector<const FieldDescription*>& fields,
                  const std::vector<Value>& values);
    void Refuse(const JetError& error);

    EngineConnection& connection_;
    const TranslatedStatement& translated_;
    const BaseTable& target_;
    bool failOnError_;
    Outcome outcome_;
};

}  // namespace platform
