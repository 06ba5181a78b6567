// Index: one index of a table definition, with DAO's properties.
//
// Fields is the index's field list with each field's sort order; it can be read from one
// index and assigned to another, or set from DAO's text form "+Name;-Other".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TableSpec.h"

namespace platform {

class Index {
public:
    Index() = default;
    explicit Index(IndexSpec spec) : spec_(std::move(spec)) {}

    const std::string& Name() const { return spec_.Name; }
    bool Primary() const { return spec_.Primary; }
    bool Unique() const { return spec_.Unique || spec_.Primary; }
    bool IgnoreNulls() const { return spec_.IgnoreNulls; }
    bool Required() const { return spec_.Required || spec_.Primary; }
    const std::vector<IndexFieldSpec>& Fields() const { return spec_.Fields; }

    void SetPrimary(bool primary) { spec_.Primary = primary; }
    void SetUnique(bool unique) { spec_.Unique = unique; }
    void SetIgnoreNulls(bool ignore) { spec_.IgnoreNulls = ignore; }
    void SetRequired(bool required) { spec_.Required = required; }
    void SetFields(std::vector<IndexFieldSpec> fields) { spec_.Fields = std::move(fields); }
    void SetFields(std::string_view daoText);  // "+a;-b", "a;b"
    void AppendField(std::string name, bool descending = false) {
        spec_.Fields.push_back({std::move(name), descending});
    }

    const IndexSpec& Spec() const { return spec_; }

private:
    IndexSpec spec_;
};

}  // namespace platform
