// Index: one index of a table definition, with DAO's properties.
//
// Fields is the index's field list with each field's sort order; it can be read from one
// index and assigned to another, or set from DAO's text form "+Name;-Other".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TableDescription.h"

namespace platform {

class Index {
  public:
    Index() = default;
    explicit Index(IndexDescription description) : description_(std::move(description)) {}

    const std::string& Name() const { return description_.Name; }
    bool Primary() const { return description_.Primary; }
    bool Unique() const { return description_.Unique || description_.Primary; }
    bool IgnoreNulls() const { return description_.IgnoreNulls; }
    bool Required() const { return description_.Required || description_.Primary; }
    const std::vector<IndexFieldDescription>& Fields() const { return description_.Fields; }

    void SetPrimary(bool primary) { description_.Primary = primary; }
    void SetUnique(bool unique) { description_.Unique = unique; }
    void SetIgnoreNulls(bool ignore) { description_.IgnoreNulls = ignore; }
    void SetRequired(bool required) { description_.Required = required; }
    void SetFields(std::vector<IndexFieldDescription> fields) {
        description_.Fields = std::move(fields);
    }
    void SetFields(std::string_view daoText);  // "+a;-b", "a;b"
    void AppendField(std::string name, bool descending = false) {
        description_.Fields.push_back({std::move(name), descending});
    }

    const IndexDescription& Description() const { return description_; }

  private:
    IndexDescription description_;
};

}  // namespace platform
