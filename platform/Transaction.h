// Transaction: one transaction of the engine's workspace, for a piece of work that must land
// whole or not at all.
//
// Begins on construction; Commit makes the work durable; destruction without a successful
// Commit rolls it back (a failing rollback is swallowed: it runs while a failure unwinds, and
// the engine ends the transaction with the handle at the latest). Begin it only after every
// database it covers is open: the engine refuses to open files inside a transaction. Not
// copyable, not movable.
#pragma once

namespace platform {

class Transaction {
  public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // Raises when the commit fails (3035 when a failed write had already undone the work).
    void Commit();

  private:
    bool open_ = true;
};

}  // namespace platform
