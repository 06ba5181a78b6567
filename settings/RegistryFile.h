// RegistryFile: the contents of one settings store file, parsed and written back.
//
// The store files are the tool's stand-in for a registry hive: a small INI-like text that
// people can read and edit. Keys are sections, values are lines:
//
//   [Software\Sonavoxa]
//   AppPathConfig=sz:user.normal
//   Path=expand_sz:%HOME%/music
//   Count=dword:0000002a
//   Blob=hex(3):01,ff,00
//
// `sz` (type 1) and `expand_sz` (type 2) carry text, `dword` (type 4) a 32-bit number in
// eight hexadecimal digits, `hex(N)` raw bytes of any type N (N in hexadecimal). In text and
// names, "\\", "\n", "\r", "\t", "\0" and "\xHH" stand for a backslash, control characters, NUL
// and any byte; a name "@" is the key's unnamed default value. Lines starting with ';' or '#'
// are comments. Key and value names compare without regard to ASCII letter case and keep the
// case they were first written with.
//
// The files are read as people write them by hand: a byte-order mark, Windows line ends,
// blanks around names, "=" and section brackets, and plain text without a kind (read as sz)
// are all understood. Writing back keeps every line that was not changed as it stood,
// comments and lines that could not be read included; only values set since are written in
// the store's own form. A value object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace settings {

// One value as the registry holds it: its type number and its data bytes. Text data may or may
// not end with a terminating NUL, depending on who wrote it.
struct RegistryValue {
    uint32_t type = 1;
    std::string data;

    bool operator==(const RegistryValue&) const = default;
};

namespace regtype {
inline constexpr uint32_t kSz = 1;
inline constexpr uint32_t kExpandSz = 2;
inline constexpr uint32_t kBinary = 3;
inline constexpr uint32_t kDword = 4;
}  // namespace regtype

class RegistryFile {
  public:
    static RegistryFile Parse(std::string_view text);
    std::string Serialize() const;

    bool HasKey(std::string_view keyPath) const;
    // nullptr when the key or the value does not exist.
    const RegistryValue* Find(std::string_view keyPath, std::string_view valueName) const;

    // False when the key path holds a control character (no line of the file could carry it).
    bool AddKey(std::string_view keyPath);
    // Creates the key when needed; replaces a value of the same name.
    bool Set(std::string_view keyPath, std::string_view valueName, RegistryValue value);

  private:
    // A line of a key: a value, or a line kept as it stood (`raw`). `text` is the line a value
    // was read from, written back unchanged until the value is set anew.
    struct Entry {
        bool raw = false;
        std::string text;
        std::string name;
        RegistryValue value;
        bool detached = false;  // kept after an unreadable key line
    };
    struct Key {
        std::string path;
        std::vector<Entry> entries;
        bool fromText = false;
    };

    Key* FindKey(std::string_view keyPath);
    const Key* FindKey(std::string_view keyPath) const;

    std::vector<Key> keys_;
    std::vector<std::string> preamble_;  // lines before the first key
    bool fromText_ = false;
};

}  // namespace settings
