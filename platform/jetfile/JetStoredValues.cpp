#include "platform/jetfile/JetStoredValues.h"

#include <cstdio>

#include "platform/engine/Utf8.h"

namespace platform {

// Jet 4 text is UTF-16LE, optionally "compressed": after the marker FF FE, runs of one byte
// per character (the low byte, high byte zero) alternate with runs of two bytes per
// character, each 00 byte switching between the two. Decoding it here rather than through
// libmdb's iconv keeps characters outside the 16-bit range (surrogate pairs) intact.
namespace {

// Appends UTF-16 code units as UTF-8 as they come, pairing surrogates; an unpaired one becomes
// U+FFFD. One pass, without a UTF-16 copy of the text: titles are read by the hundred thousand.
class Utf16ToUtf8 {
  public:
    explicit Utf16ToUtf8(std::string& out) : out_(out) {}

    void Put(uint32_t unit) {
        if (high_ != 0) {
            if (unit >= 0xdc00 && unit < 0xe000) {
                AppendUtf8(out_, 0x10000 + ((high_ - 0xd800) << 10) + (unit - 0xdc00));
                high_ = 0;
                return;
            }
            AppendUtf8(out_, 0xfffd);
            high_ = 0;
        }
        if (unit < 0x80) {
            out_.push_back(static_cast<char>(unit));
        } else if (unit >= 0xd800 && unit < 0xdc00) {
            high_ = unit;
        } else {
            AppendUtf8(out_, unit >= 0xdc00 && unit < 0xe000 ? 0xfffd : unit);
        }
    }

    void End() {
        if (high_ != 0) AppendUtf8(out_, 0xfffd);
        high_ = 0;
    }

  private:
    std::string& out_;
    uint32_t high_ = 0;
};

}  // namespace

std::string DecodeJet4Text(const uint8_t* p, size_t n) {
    std::string out;
    out.reserve(n + n / 2);
    Utf16ToUtf8 text(out);
    if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
        bool compressed = true;
        size_t i = 2;
        while (i < n) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text.Put(p[i]);
                ++i;
            } else if (i + 1 < n) {
                text.Put(Le16(p + i));
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (size_t i = 0; i + 1 < n; i += 2) text.Put(Le16(p + i));
    }
    text.End();
    return out;
}

std::string FormatGuid(const uint8_t* p) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", Le32(p),
                  Le16(p + 4), Le16(p + 6), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return buf;
}

}  // namespace platform
