// BaseTable: a table as SQL statements and recordsets reach it (internal).
//
// Links are already followed: `attachment` is the file that holds the rows and `info` the
// table's description there. Both belong to the engine connection; a BaseTable only refers to
// them and is valid while the database handle that found it keeps the file attached.
#pragma once

#include <memory>
#include <string>

#include "platform/engine/Catalog.h"

namespace platform {

class Attachment;

struct BaseTable {
    Attachment* attachment = nullptr;
    std::shared_ptr<const TableInfo> info;
    // The table's name for SQL, with its schema: "db2"."titles".
    std::string Qualified() const;
};

}  // namespace platform
