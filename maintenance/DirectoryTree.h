// DirectoryTree: the rows of tree_dir, one per folder level of the library's folders.
//
// Made on the open database of a directory-tree rebuild. The constructor reads the folder rows
// of v_tree_dir and the keys of tree_dir (opening the tree database for a moment), so it must
// run before the rebuild's transaction begins; raises when v_tree_dir cannot be read.
// AddLevelRows then adds the level rows, with their title counts, to the emptied table, and
// CountNetworkFolders gives the network folders their sums. Both skip a failing row on its own
// and note it in the outcome. Borrows the database, which must outlive the object.
#pragma once

#include <memory>

#include "maintenance/UpdateDB.h"
#include "platform/Database.h"

namespace maintenance {

class DirectoryTree {
  public:
    explicit DirectoryTree(platform::Database& db);
    ~DirectoryTree();
    DirectoryTree(const DirectoryTree&) = delete;
    DirectoryTree& operator=(const DirectoryTree&) = delete;

    // Raises only when the table cannot be opened for adding.
    void AddLevelRows(MaintenanceOutcome& outcome);
    // Raises only when the network folders cannot be selected.
    void CountNetworkFolders(MaintenanceOutcome& outcome);

  private:
    struct State;
    platform::Database& db_;
    std::unique_ptr<State> state_;
};

}  // namespace maintenance
