// DeferredIndexes: the indexes of a target table that are built after its rows instead of
// with every row.
//
// A large table fills faster when its plain indexes are built once at the end, from sorted
// keys, than when every row is added to each of them. Only indexes that decide nothing about
// which rows the table takes are deferred (not the primary key, not unique, not required),
// so every row is still refused or kept as it would have been. The caller drops and
// rebuilds them inside the transaction that holds the rows: if the rebuild fails, rolling
// that transaction back brings the indexes back with the table as it was.
#pragma once

#include <string>
#include <vector>

#include "platform/Database.h"
#include "platform/Index.h"

namespace migration {

class DeferredIndexes {
  public:
    DeferredIndexes(platform::Database& db, std::string table);

    // Drops the plain indexes that follow the last index kept, so that rebuilding them
    // leaves the table's indexes in their order. No recordset may be open on the table.
    // On a JetError, the indexes dropped so far are remembered for Rebuild.
    void Drop();
    // Builds every dropped index again, as it was. Throws JetError; the caller's
    // transaction must then be rolled back.
    void Rebuild();

  private:
    platform::Database& db_;
    std::string table_;
    std::vector<platform::Index> dropped_;
};

}  // namespace migration
