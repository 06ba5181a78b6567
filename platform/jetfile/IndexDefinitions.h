// IndexDefinitions: the index part of a Jet table definition, read from its bytes.
//
// A Jet table keeps two lists: the physical indexes (their key fields and flags) and the
// logical ones (names and kinds), each logical index naming the physical one it uses. libmdb
// pairs them by the wrong number and then reads on at shifted offsets, so a table whose
// indexes were made in another order than their physical slots comes out with indexes on no
// fields. This reader pairs them by the physical index number and checks every offset
// against the bytes it has.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

struct IndexKeyDefinition {
    // The field's number in the table definition (which counts deleted fields too), not its
    // position among the table's fields.
    int FieldNumber = 0;
    bool Descending = false;
};

struct IndexDefinition {
    std::vector<uint8_t> RawName;  // as stored: UTF-16LE (Jet 4) or the file's code page (Jet 3)
    uint8_t Kind = 0;              // 1 primary key, 2 the far side of a relationship, 0 others
    // Flags of the physical index (1 unique, 2 ignore nulls, 8 required); nothing when the
    // logical index names a physical index that the table does not have.
    std::optional<uint8_t> Flags;
    std::vector<IndexKeyDefinition> Keys;
};

// `definition` is the table definition: its first page whole, then each continuation page
// without its 8-byte header. Gives nothing when the bytes end before the index part does.
std::optional<std::vector<IndexDefinition>> ReadIndexDefinitions(
    const std::vector<uint8_t>& definition, bool jet4);

// Index kinds and flags as the table definition holds them.
constexpr uint8_t kPrimaryKeyIndex = 1;
constexpr uint8_t kRelationshipIndex = 2;
constexpr uint8_t kUniqueIndexFlag = 0x01;
constexpr uint8_t kIgnoreNullsIndexFlag = 0x02;
constexpr uint8_t kRequiredIndexFlag = 0x08;

}  // namespace platform
