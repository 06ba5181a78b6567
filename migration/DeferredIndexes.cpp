#include "migration/DeferredIndexes.h"

#include "platform/TableDef.h"

namespace migration {
namespace {

bool DecidesRows(const platform::Index& index) { return index.Unique() || index.Required(); }

std::string Bracketed(const std::string& name) { return "[" + name + "]"; }

}  // namespace

DeferredIndexes::DeferredIndexes(platform::Database& db, std::string table)
    : db_(db), table_(std::move(table)) {}

void DeferredIndexes::Drop() {
    const platform::TableDef def = db_.TableDefs().Item(table_);
    if (def.IsLink()) return;  // a link's indexes belong to the other file
    std::vector<platform::Index> trailing;
    for (const platform::Index& index : def.Indexes()) {
        if (DecidesRows(index))
            trailing.clear();
        else
            trailing.push_back(index);
    }
    for (const platform::Index& index : trailing) {
        db_.Execute("DROP INDEX " + Bracketed(index.Name()) + " ON " + Bracketed(table_));
        dropped_.push_back(index);
    }
}

void DeferredIndexes::Rebuild() {
    if (dropped_.empty()) return;
    platform::TableDef def = db_.TableDefs().Item(table_);
    // Appended to a stored table's definition, an index is built in the file at once.
    for (const platform::Index& index : dropped_) def.Indexes().Append(index);
    dropped_.clear();
}

}  // namespace migration
