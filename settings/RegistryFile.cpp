#include "settings/RegistryFile.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace settings {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

char AsciiLower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

// "Software\Sonavoxa\", " Software\Sonavoxa " and "Software\Sonavoxa" name the same key.
std::string_view TrimKey(std::string_view keyPath) {
    while (!keyPath.empty() && (keyPath.front() == ' ' || keyPath.front() == '\t'))
        keyPath.remove_prefix(1);
    while (!keyPath.empty() &&
           (keyPath.back() == '\\' || keyPath.back() == ' ' || keyPath.back() == '\t')) {
        keyPath.remove_suffix(1);
    }
    return keyPath;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

void AppendHexByte(std::string& out, unsigned char c) {
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 0x0f];
}

// Escapes a name or a text so that it fits on one line and reads back unchanged.
std::string Escape(std::string_view text, bool isName) {
    if (isName && text.empty()) return "@";
    if (isName && text == "@") return "\\x40";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool first = i == 0;
        const bool last = i + 1 == text.size();
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\0') {
            out += "\\0";
        } else if (IsControl(c) || (isName && c == '=') ||
                   (isName && first && (c == '[' || c == ';' || c == '#' || c == ' ')) ||
                   (last && c == ' ')) {
            // A trailing blank is spelled out so that nobody misses it, and reading (which
            // trims blanks around names and values) keeps it.
            out += "\\x";
            AppendHexByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            out += '\\';  // a closing backslash, as in a folder path
            break;
        }
        switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            case 'x': {
                if (i + 2 >= text.size()) return std::nullopt;
                const int high = HexValue(text[i + 1]);
                const int low = HexValue(text[i + 2]);
                if (high < 0 || low < 0) return std::nullopt;
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                // A backslash before anything else is a person's literal backslash
                // ("C:\Music"), not an escape.
                out += '\\';
                out += text[i];
                break;
        }
    }
    return out;
}

std::optional<uint32_t> ParseHexNumber(std::string_view digits, size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    uint32_t number = 0;
    for (char c : digits) {
        const int v = HexValue(c);
        if (v < 0) return std::nullopt;
        number = number * 16 + static_cast<uint32_t>(v);
    }
    return number;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<RegistryValue> ParseTypedValue(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string kindText = LowerAscii(TrimBlanks(text.substr(0, colon)));
    const std::string_view kind = kindText;
    const std::string_view data = text.substr(colon + 1);
    if (kind == "sz" || kind == "expand_sz") {
        auto unescaped = Unescape(data);
        if (!unescaped) return std::nullopt;
        return RegistryValue{kind == "sz" ? regtype::kSz : regtype::kExpandSz,
                             std::move(*unescaped)};
    }
    if (kind == "dword") {
        auto number = ParseHexNumber(data, 8);
        if (!number) return std::nullopt;
        std::string bytes;
        for (int shift = 0; shift < 32; shift += 8) {
            bytes += static_cast<char>((*number >> shift) & 0xff);
        }
        return RegistryValue{regtype::kDword, std::move(bytes)};
    }
    if (kind.size() > 5 && kind.substr(0, 4) == "hex(" && kind.back() == ')') {
        auto type = ParseHexNumber(kind.substr(4, kind.size() - 5), 8);
        if (!type) return std::nullopt;
        std::string bytes;
        for (size_t i = 0; i < data.size(); i += 3) {
            auto byte = ParseHexNumber(data.substr(i, 2), 2);
            if (!byte || data.substr(i, 2).size() != 2) return std::nullopt;
            if (i + 2 < data.size() && data[i + 2] != ',') return std::nullopt;
            bytes += static_cast<char>(*byte);
        }
        return RegistryValue{*type, std::move(bytes)};
    }
    return std::nullopt;
}

// A value as people write it by hand: with a kind ("sz:local"), or plain text ("local"), which
// they mean as text. Only a kind that is there but malformed makes the line unreadable.
std::optional<RegistryValue> ParseValue(std::string_view text) {
    if (auto typed = ParseTypedValue(text)) return typed;
    const size_t colon = text.find(':');
    const std::string kind = colon == std::string_view::npos
                                 ? std::string()
                                 : LowerAscii(TrimBlanks(text.substr(0, colon)));
    if (kind == "sz" || kind == "expand_sz" || kind == "dword" || kind.starts_with("hex(")) {
        return std::nullopt;
    }
    auto unescaped = Unescape(text);
    if (!unescaped) return std::nullopt;
    return RegistryValue{regtype::kSz, std::move(*unescaped)};
}

std::string SerializeValue(const RegistryValue& value) {
    if (value.type == regtype::kSz) return "sz:" + Escape(value.data, false);
    if (value.type == regtype::kExpandSz) return "expand_sz:" + Escape(value.data, false);
    std::string out;
    if (value.type == regtype::kDword && value.data.size() == 4) {
        out = "dword:";
        for (int i = 3; i >= 0; --i) AppendHexByte(out, static_cast<unsigned char>(value.data[i]));
        return out;
    }
    out = "hex(";
    bool leading = true;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const auto digit = (value.type >> shift) & 0xf;
        if (leading && digit == 0 && shift > 0) continue;
        leading = false;
        out += kHexDigits[digit];
    }
    out += "):";
    for (size_t i = 0; i < value.data.size(); ++i) {
        if (i > 0) out += ',';
        AppendHexByte(out, static_cast<unsigned char>(value.data[i]));
    }
    return out;
}

}  // namespace

RegistryFile RegistryFile::Parse(std::string_view text) {
    RegistryFile file;
    // Files saved by Windows editors start with a byte-order mark.
    while (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    file.fromText_ = true;
    Key* current = nullptr;
    bool inBrokenKey = false;  // after a key line that cannot be read, values belong to no key
    // Lines that are not values of a key stay where they stood when the file is written back.
    auto keepLine = [&](std::string_view line) {
        if (current)
            current->entries.push_back(Entry{true, std::string(line), {}, {}, inBrokenKey});
        else
            file.preamble_.emplace_back(line);
    };
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view original = text.substr(start, end - start);
        start = end + 1;
        while (!original.empty() && original.back() == '\r') original.remove_suffix(1);
        const std::string_view line = TrimBlanks(original);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            keepLine(original);
            continue;
        }
        if (line.front() == '[') {
            if (line.size() >= 2 && line.back() == ']') {
                const std::string_view path = TrimBlanks(line.substr(1, line.size() - 2));
                if (file.AddKey(path)) {
                    current = file.FindKey(path);
                    current->fromText = true;
                    inBrokenKey = false;
                    continue;
                }
            }
            inBrokenKey = true;
            keepLine(original);
            continue;
        }
        const size_t equals = line.find('=');
        if (current == nullptr || inBrokenKey || equals == std::string_view::npos) {
            keepLine(original);
            continue;
        }
        const std::string_view rawName = TrimBlanks(line.substr(0, equals));
        std::optional<std::string> name =
            rawName == "@" ? std::optional<std::string>("") : Unescape(rawName);
        std::optional<RegistryValue> value = ParseValue(TrimBlanks(line.substr(equals + 1)));
        if (!name || !value) {
            keepLine(original);
            continue;
        }
        // A later line for the same name wins; the earlier one goes.
        auto& entries = current->entries;
        std::erase_if(entries,
                      [&](const Entry& e) { return !e.raw && SameIgnoringCase(e.name, *name); });
        entries.push_back(
            Entry{false, std::string(original), std::move(*name), std::move(*value), false});
    }
    return file;
}

std::string RegistryFile::Serialize() const {
    std::string out;
    if (!fromText_) {
        out =
            "; Sonavoxa settings store, the tool's stand-in for the Windows registry.\n"
            "; [key] opens a key; Name=kind:data sets a value of the kind sz (text), expand_sz\n"
            "; (text), dword (8 hex digits) or hex(N) (bytes of type N). Escapes: \\\\ \\n \\r "
            "\\t \\0 \\xHH.\n";
    }
    for (const std::string& line : preamble_) out += line + "\n";
    for (const Key& key : keys_) {
        out += key.fromText ? "[" + key.path + "]\n" : "\n[" + key.path + "]\n";
        bool afterDetached = false;
        for (const Entry& entry : key.entries) {
            // Lines of the key that stood below a later header of it (after lines that
            // belonged to no key) need that header again to be read as the key's.
            if (entry.detached) {
                afterDetached = true;
            } else if (afterDetached) {
                out += "[" + key.path + "]\n";
                afterDetached = false;
            }
            if (entry.raw || !entry.text.empty())
                out += entry.text + "\n";
            else
                out += Escape(entry.name, true) + "=" + SerializeValue(entry.value) + "\n";
        }
    }
    return out;
}

bool RegistryFile::HasKey(std::string_view keyPath) const { return FindKey(keyPath) != nullptr; }

const RegistryValue* RegistryFile::Find(std::string_view keyPath,
                                        std::string_view valueName) const {
    const Key* key = FindKey(keyPath);
    if (key == nullptr) return nullptr;
    for (const Entry& entry : key->entries) {
        if (!entry.raw && SameIgnoringCase(entry.name, valueName)) return &entry.value;
    }
    return nullptr;
}

bool RegistryFile::AddKey(std::string_view keyPath) {
    keyPath = TrimKey(keyPath);
    if (std::any_of(keyPath.begin(), keyPath.end(),
                    [](char c) { return IsControl(static_cast<unsigned char>(c)); })) {
        return false;
    }
    if (FindKey(keyPath) == nullptr) keys_.push_back(Key{std::string(keyPath), {}, false});
    return true;
}

bool RegistryFile::Set(std::string_view keyPath, std::string_view valueName, RegistryValue value) {
    if (!AddKey(keyPath)) return false;
    Key* key = FindKey(keyPath);
    for (Entry& entry : key->entries) {
        if (!entry.raw && SameIgnoringCase(entry.name, valueName)) {
            entry.value = std::move(value);
            entry.text.clear();  // written anew in the store's own form
            return true;
        }
    }
    // Before any lines that followed an unreadable key line: values there belong to no key.
    auto at = std::find_if(key->entries.begin(), key->entries.end(),
                           [](const Entry& e) { return e.detached; });
    key->entries.insert(at, Entry{false, {}, std::string(valueName), std::move(value), false});
    return true;
}

RegistryFile::Key* RegistryFile::FindKey(std::string_view keyPath) {
    keyPath = TrimKey(keyPath);
    for (Key& key : keys_) {
        if (SameIgnoringCase(key.path, keyPath)) return &key;
    }
    return nullptr;
}

const RegistryFile::Key* RegistryFile::FindKey(std::string_view keyPath) const {
    return const_cast<RegistryFile*>(this)->FindKey(keyPath);
}

}  // namespace settings
