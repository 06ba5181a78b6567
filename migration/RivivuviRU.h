// RivivuviRU: the migration plan.
//
// Holds the path of the chosen old database, the two format version texts and the ordered,
// keyed list of table entries that the transfer run walks. Keys are the entries' TableName at
// the moment they were added, compared without regard to ASCII letter case; renaming an entry
// later does not change its key. Entries are shared with whoever added them. The plan opens no
// database. Single-threaded; owned by the window for its lifetime.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "migration/MigriereTable.h"

namespace migration {

// The number and text a Visual Basic collection raises for a key it already holds; the plan
// refuses a duplicate entry with it (as a platform::JetError, the project's one error type).
inline constexpr int kDuplicateCollectionKey = 457;

class RivivuviRU {
  public:
    using EntryList = std::vector<std::shared_ptr<MigriereTable>>;

    // The entry whose key equals `tname`, letter case ignored; JetError 3001 (invalid
    // argument) for a name that is not in the list.
    MigriereTable& GetMigTable(const std::string& tname) const;
    // The live list in the order of adding (not a copy).
    const EntryList& GetMigTables() const { return entries_; }
    // Appends `MigTable` under its current TableName; JetError 457 for a key that is present
    // (letter case ignored), 3001 for a missing entry; the list then stays unchanged.
    void AddMigTable(std::shared_ptr<MigriereTable> MigTable);

    const std::string& OldDBName() const { return oldDBName_; }
    void OldDBName(const std::string& vNewValue) { oldDBName_ = vNewValue; }
    const std::string& CurrVersion() const { return currVersion_; }
    void CurrVersion(const std::string& vNewValue) { currVersion_ = vNewValue; }
    const std::string& OldVersion() const { return oldVersion_; }
    void OldVersion(const std::string& vNewValue) { oldVersion_ = vNewValue; }

  private:
    std::string oldDBName_;
    std::string currVersion_;
    std::string oldVersion_;
    EntryList entries_;
    std::vector<std::string> keys_;  // lower-cased, parallel to entries_
};

}  // namespace migration
