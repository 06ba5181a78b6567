// BatchedRowInsert: puts a Jet table's rows into the engine's copy of it, several rows to a
// statement (internal).
//
// SQLite starts and ends a statement, and keeps a counter's highest value in sqlite_sequence,
// once per statement. With one row to a statement that cost as much as the row itself: in plain
// SQLite, 150,000 rows of six columns took 0.43 s one to a statement and 0.10 s fifty to a
// statement. The rows' values are copied, since the reader's texts last only for its call; the
// slots keep their text storage from batch to batch. Rows with large memos or pictures go in
// as soon as a megabyte is waiting, so a batch never holds much more than one large row. Lives
// on the stack of one table load, which holds the connection's batch; single-threaded.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Value.h"
#include "platform/engine/Statement.h"
#include "platform/jetfile/WireFormat.h"

struct sqlite3;

namespace platform {

class BatchedRowInsert {
  public:
    // `into`: the qualified, quoted table; `columns`: how many values a row has.
    BatchedRowInsert(sqlite3* db, std::string into, size_t columns);

    // Takes one row; inserts the batch when it is full. Throws the insert's JetError.
    void Add(const std::vector<WireValue>& row);

    // Inserts the rows of a batch that did not fill up.
    void Finish();

  private:
    std::string Sql(size_t rows) const;
    void Run(Statement& insert);

    sqlite3* db_;
    std::string into_;
    size_t columns_;
    size_t rowsPerStatement_ = 1;
    std::vector<Value> slots_;  // a batch's values, row after row; texts keep their storage
    static constexpr size_t kMostPendingBytes = 1 << 20;

    size_t pending_ = 0;
    size_t pendingBytes_ = 0;
    Statement full_;
};

}  // namespace platform
