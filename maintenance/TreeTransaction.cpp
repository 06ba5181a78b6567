#include "maintenance/TreeTransaction.h"

#include "platform/DBEngine.h"

namespace maintenance {

TreeTransaction::TreeTransaction() { platform::DBEngine::Instance().Workspaces(0).BeginTrans(); }

TreeTransaction::~TreeTransaction() {
    if (!open_) return;
    try {
        platform::DBEngine::Instance().Workspaces(0).Rollback();
    } catch (...) {
        // Nothing better to do while unwinding: the engine ends the transaction with the
        // handle at the latest.
    }
}

void TreeTransaction::Commit() {
    platform::DBEngine::Instance().Workspaces(0).CommitTrans();
    open_ = false;
}

}  // namespace maintenance
