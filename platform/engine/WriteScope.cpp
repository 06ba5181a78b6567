#include "platform/engine/WriteScope.h"

#include <sqlite3.h>

#include "platform/engine/EngineConnection.h"

namespace platform {

WriteScope::WriteScope(EngineConnection& connection, const Attachment* file, Extent extent)
    : connection_(connection) {
    connection_.BeginWrite(file);
    if (extent == Extent::OneStatement) return;
    savepoint_ = "jet_write_" + std::to_string(connection_.WriteDepth());
    try {
        connection_.Exec("SAVEPOINT " + savepoint_);
    } catch (...) {
        connection_.EndWrite();
        throw;
    }
}

WriteScope::~WriteScope() {
    if (done_) return;
    // SQLite may already have undone the whole transaction (an interrupted or failed write).
    if (!savepoint_.empty() && !sqlite3_get_autocommit(connection_.Db())) {
        try {
            connection_.Exec("ROLLBACK TO " + savepoint_);
            connection_.Exec("RELEASE " + savepoint_);
        } catch (...) {
            // Nothing more can be undone here; the batch reports the failure at its commit.
        }
    }
    connection_.EndWrite();
}

void WriteScope::Release() {
    if (done_) return;
    if (!savepoint_.empty() && !sqlite3_get_autocommit(connection_.Db()))
        connection_.Exec("RELEASE " + savepoint_);
    done_ = true;
    connection_.EndWrite();
}

}  // namespace platform
