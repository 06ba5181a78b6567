// Field: one field of a table definition, index or recordset, with DAO's properties.
//
// A Field made by TableDef::CreateField (or read from a table definition) describes a column:
// Name, Type, Size, Attributes, DefaultValue, Required, AllowZeroLength. A Field of a
// recordset describes its column the same way and also carries the current row's Value;
// SetValue converts the value as Jet does when a value is assigned (see Value.h) and is only
// allowed between AddNew or Edit and Update. Recordset fields belong to their recordset and
// are valid while it is open.
#pragma once

#include <cstdint>
#include <string>

#include "TableDescription.h"
#include "Value.h"

namespace platform {

class RecordsetCursor;

class Field {
  public:
    Field() = default;
    explicit Field(FieldDescription description) : description_(std::move(description)) {}

    const std::string& Name() const { return description_.Name; }
    int Type() const { return description_.Type; }
    int32_t Size() const { return description_.Size; }
    int32_t Attributes() const { return description_.Attributes; }
    const std::string& DefaultValue() const { return description_.DefaultValue; }
    bool Required() const { return description_.Required; }
    bool AllowZeroLength() const { return description_.AllowZeroLength; }

    // Definition properties; for fields not yet appended to a table definition.
    void SetAttributes(int32_t attributes) { description_.Attributes = attributes; }
    void SetDefaultValue(std::string text) { description_.DefaultValue = std::move(text); }
    void SetRequired(bool required) { description_.Required = required; }
    void SetAllowZeroLength(bool allow) { description_.AllowZeroLength = allow; }

    // Recordset fields only (3219 otherwise). Value: the current row's value, or during
    // AddNew/Edit the value to be written. SetValue: 3020 outside AddNew/Edit, 3164 for a
    // field that is no column of the updated table, 3421/3163/3315 when the value is refused.
    platform::Value Value() const;
    void SetValue(platform::Value v);

    const FieldDescription& Description() const { return description_; }

  private:
    friend class RecordsetCursor;
    FieldDescription description_;
    RecordsetCursor* owner_ = nullptr;
    int column_ = -1;
};

}  // namespace platform
