// JetStoredValues: the little-endian integers, Jet 4 text and replication IDs (GUIDs) as a
// Jet file stores them, decoded from the raw bytes of a page or a row.
//
// Free functions over caller-owned bytes; they read exactly the bytes they are given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The `n` bytes of a Jet 4 text value as UTF-8.
std::string DecodeJet4Text(const uint8_t* p, size_t n);
// The 16 bytes of a replication ID as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string FormatGuid(const uint8_t* p);

}  // namespace platform
