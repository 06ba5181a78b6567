// OpenDatabaseState: what one open database handle holds (internal).
//
// Shared by the Database handle and everything made from it (recordsets, table and query
// definitions), so that those can tell when the handle was closed. Owns its reference to the
// attached file and to the files its links reach; the recordsets it opened are only watched
// (weakly) so that closing the handle closes them too.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/engine/BaseTable.h"
#include "platform/engine/EngineConnection.h"
#include "platform/engine/ParameterValue.h"
#include "platform/jetsql/JetSqlTranslator.h"

namespace platform {

class RecordsetCursor;
struct ExecuteRefusals;

class OpenDatabaseState : public std::enable_shared_from_this<OpenDatabaseState> {
  public:
    std::string name;
    std::shared_ptr<Attachment> attachment;
    // Opened read-only on request: every write through this handle is refused.
    bool readOnly = false;
    // Files reached through links, kept attached while this handle is open.
    std::map<std::string, std::shared_ptr<Attachment>> linkedFiles;
    std::vector<std::weak_ptr<RecordsetCursor>> recordsets;

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
    std::shared_ptr<RecordsetCursor> OpenSelect(const std::string& jetSql,
                                                const std::vector<ParameterValue>& parameters,
                                                bool snapshot);
    std::shared_ptr<RecordsetCursor> OpenTable(const BaseTable& table);
    // Runs an action statement; `options` and `refusals` as Database::Execute has them.
    long Execute(const std::string& text, const std::vector<ParameterValue>& parameters,
                 int options = 0, ExecuteRefusals* refusals = nullptr);

    void Close();

  private:
    std::optional<BaseTable> FollowLink(const TableInfo& link, int depth);
    void ApplyDdl(const DdlStatement& ddl);
    void BindParameters(Statement& statement, const TranslatedStatement& translated,
                        const std::vector<ParameterValue>& parameters);
};

}  // namespace platform
