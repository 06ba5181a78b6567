#include "platform/jetfile/JetStoredValues.h"

#include <cstdio>

#include "platform/engine/Utf8.h"

namespace platform {

// Jet 4 text is UTF-16LE, optionally "compressed": after the marker FF FE, runs of one byte
// per character (the low byte, high byte zero) alternate with runs of two bytes per
// character, each 00 byte switching between the two. Decoding it here rather than through
// libmdb's iconv keeps characters outside the 16-bit range (surrogate pairs) intact.
std::string DecodeJet4Text(const uint8_t* p, size_t n) {
    std::u16string units;
    units.reserve(n);
    if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        bool compressed = true;
        size_t i = 2;
        while (i < n) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                units.push_back(p[i]);
                ++i;
            } else if (i + 1 < n) {
                units.push_back(static_cast<char16_t>(Le16(p + i)));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (size_t i = 0; i + 1 < n; i += 2) units.push_back(static_cast<char16_t>(Le16(p + i)));
    }
    std::string out;
    out.reserve(units.size() + units.size() / 4);
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t u = units[i];
        if (u >= 0xd800 && u < 0xdc00 && i + 1 < units.size() && units[i + 1] >= 0xdc00 &&
            units[i + 1] < 0xe000) {
            u = 0x10000 + ((u - 0xd800) << 10) + (units[i + 1] - 0xdc00u);
            ++i;
        } else if (u >= 0xd800 && u < 0xe000) {
            u = 0xfffd;  // an unpaired surrogate
        }
        AppendUtf8(out, u);
    }
    return out;
}

std::string FormatGuid(const uint8_t* p) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", Le32(p),
                  Le16(p + 4), Le16(p + 6), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return buf;
}

}  // namespace platform
