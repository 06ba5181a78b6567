#include "platform/jetsql/JetText.h"

#include <cstdint>

#include "platform/engine/JetTextOrder.h"
#include "platform/engine/Utf8.h"

namespace platform {

std::u32string DecodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80           ? 1
                  : (b >> 5) == 0x6  ? 2
                  : (b >> 4) == 0xE  ? 3
                  : (b >> 3) == 0x1E ? 4
                                     : 0;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
        bool ok = len > 0 && i + static_cast<size_t>(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((c & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if (!ok) {  // not UTF-8: take the byte as a Latin-1 character
            out += static_cast<char32_t>(b);
            ++i;
            continue;
        }
        out += cp;
        i += static_cast<size_t>(len);
    }
    return out;
}

std::string EncodeUtf8(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) AppendUtf8(out, static_cast<uint32_t>(c));
    return out;
}

// The same letters as the text order of columns, so that Like, LCase and UCase agree with
// `=` and `order by`.
char32_t LowerChar(char32_t c) { return JetTextOrder::FoldCase(c); }

char32_t UpperChar(char32_t c) { return JetTextOrder::UpperCase(c); }

std::u32string LowerText(std::u32string s) {
    for (char32_t& c : s) c = LowerChar(c);
    return s;
}

std::u32string UpperText(std::u32string s) {
    for (char32_t& c : s) c = UpperChar(c);
    return s;
}

}  // namespace platform
