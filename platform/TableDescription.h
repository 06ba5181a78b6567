// Plain descriptions of table structure: fields, indexes and tables as Jet defines them.
//
// These are values, not live objects: the DDL parser produces them, the Jet file reader
// produces them, and the engine's catalog stores and returns them. Type codes and attribute
// bits are DAO's, so that structure copied field by field round-trips exactly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// DAO field type codes.
enum DataTypeEnum : int16_t {
    dbBoolean = 1,
    dbByte = 2,
    dbInteger = 3,
    dbLong = 4,
    dbCurrency = 5,
    dbSingle = 6,
    dbDouble = 7,
    dbDate = 8,
    dbBinary = 9,
    dbText = 10,
    dbLongBinary = 11,
    dbMemo = 12,
    dbGUID = 15,
};

// DAO field attribute bits.
inline constexpr int32_t dbFixedField = 1;
inline constexpr int32_t dbVariableField = 2;
inline constexpr int32_t dbAutoIncrField = 16;
inline constexpr int32_t dbUpdatableField = 32;

// DAO table definition attribute bits.
inline constexpr int32_t dbHiddenObject = 1;
inline constexpr int32_t dbSystemObject = static_cast<int32_t>(0x80000002u);
inline constexpr int32_t dbAttachedTable = 0x40000000;

// The size DAO reports for a field of a fixed-size type; 0 for Memo and LongBinary; for
// Text and Binary the default size when none is given (255).
int32_t DefaultFieldSize(int type);
// True for the type codes above.
bool IsKnownFieldType(int type);
// Jet DDL name of a type ("TEXT", "LONG", ...), as the engine shell prints it.
const char* JetTypeName(int type);

struct FieldDescription {
    std::string Name;
    int Type = dbText;
    int32_t Size = 0;          // characters for Text, bytes otherwise
    int32_t Attributes = 0;    // dbAutoIncrField, dbFixedField, ...
    std::string DefaultValue;  // Jet expression text, e.g. 0, False, "abc", Now(); "" for none
    bool Required = false;
    bool AllowZeroLength = false;
};

struct IndexFieldDescription {
    std::string Name;
    bool Descending = false;
};

struct IndexDescription {
    std::string Name;
    bool Primary = false;
    bool Unique = false;  // a primary index is unique as well
    bool IgnoreNulls = false;
    bool Required = false;
    std::vector<IndexFieldDescription> Fields;
};

struct TableDescription {
    std::string Name;
    std::vector<FieldDescription> Fields;
    std::vector<IndexDescription> Indexes;
};

}  // namespace platform
