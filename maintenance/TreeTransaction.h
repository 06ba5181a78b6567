// TreeTransaction: one transaction of the engine's workspace around the rebuild of one tree
// table, so that a rebuild that fails after emptying its table leaves the old rows.
//
// Begins on construction; Commit makes the work durable; destruction without Commit rolls
// everything back (failures of the rollback are swallowed: it runs while a failure unwinds).
// The databases it should cover must be open before it begins. Not copyable, not movable.
#pragma once

namespace maintenance {

class TreeTransaction {
  public:
    TreeTransaction();
    ~TreeTransaction();
    TreeTransaction(const TreeTransaction&) = delete;
    TreeTransaction& operator=(const TreeTransaction&) = delete;

    // Raises when the commit fails; the transaction is then rolled back by the destructor.
    void Commit();

  private:
    bool open_ = true;
};

}  // namespace maintenance
