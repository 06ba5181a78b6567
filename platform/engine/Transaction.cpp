#include "platform/Transaction.h"

#include "platform/DBEngine.h"

namespace platform {

Transaction::Transaction() { DBEngine::Instance().Workspaces(0).BeginTrans(); }

Transaction::~Transaction() {
    if (!open_) return;
    try {
        DBEngine::Instance().Workspaces(0).Rollback();
    } catch (...) {
        // 3034 when a failed commit has already ended it; nothing more can be undone here.
    }
}

void Transaction::Commit() {
    DBEngine::Instance().Workspaces(0).CommitTrans();
    open_ = false;
}

}  // namespace platform
