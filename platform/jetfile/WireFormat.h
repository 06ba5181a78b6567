// WireFormat: the bytes in which a Jet file's structure and rows cross from the child process
// that reads the file to the engine.
//
// Both ends are the same program on the same machine, so numbers travel in the machine's own
// byte order. A reader checks every length against what is left, so a message cut short by a
// crashed child raises JetError 3049 instead of reading past its end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TableDescription.h"
#include "platform/Value.h"

namespace platform {

class WireWriter {
  public:
    void PutByte(uint8_t b) { bytes_.push_back(static_cast<char>(b)); }
    void PutInt(int64_t i);
    void PutDouble(double d);
    void PutText(std::string_view text);
    void PutValue(const Value& value);
    void PutTables(const std::vector<TableDescription>& tables);
    void PutTexts(const std::vector<std::string>& texts);

    const std::string& Bytes() const { return bytes_; }
    size_t Size() const { return bytes_.size(); }
    void Clear() { bytes_.clear(); }

  private:
    std::string bytes_;
};

// One value of a row as it lies in a message: a text or binary value is a view into the
// message, valid as long as the message is.
struct WireValue {
    ValueKind kind = ValueKind::Null;
    int64_t integer = 0;      // Boolean (0 or -1) and Integer
    double number = 0;        // Single, Double, Date
    std::string_view bytes;   // Text (UTF-8) and Binary

    Value ToValue() const;
};

class WireReader {
  public:
    explicit WireReader(std::string_view bytes) : rest_(bytes) {}

    uint8_t GetByte();
    int64_t GetInt();
    double GetDouble();
    std::string GetText();
    WireValue GetValueInPlace();
    std::vector<TableDescription> GetTables();
    std::vector<std::string> GetTexts();
    bool AtEnd() const { return rest_.empty(); }

  private:
    // A count read from the message, checked against the bytes left (each item takes at least
    // `minimumItemBytes`).
    size_t GetCount(size_t minimumItemBytes);
    std::string_view GetBytes();
    void Take(void* out, size_t n);

    std::string_view rest_;
};

}  // namespace platform
