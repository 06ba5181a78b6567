#include "migration/RivivuviRU.h"

#include "platform/JetError.h"
#include "platform/NamedList.h"

namespace migration {

MigriereTable& RivivuviRU::GetMigTable(const std::string& tname) const {
    const std::string key = platform::LowerName(tname);
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] == key) return *entries_[i];
    }
    platform::ThrowJetError(platform::jet::kInvalidArgument);
}

void RivivuviRU::AddMigTable(std::shared_ptr<MigriereTable> MigTable) {
    if (!MigTable) platform::ThrowJetError(platform::jet::kInvalidArgument);
    const std::string key = platform::LowerName(MigTable->TableName);
    bool present = false;
    for (const std::string& k : keys_) present = present || k == key;
    if (present) {
        throw platform::JetError(kDuplicateCollectionKey,
                                 "This key is already associated with an element of this "
                                 "collection");
    }
    keys_.push_back(key);
    entries_.push_back(std::move(MigTable));
}

}  // namespace migration
