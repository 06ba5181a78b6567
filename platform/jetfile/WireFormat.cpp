#include "platform/jetfile/WireFormat.h"

#include <cstring>

#include "platform/JetError.h"

namespace platform {

namespace {
[[noreturn]] void CutShort() {
    ThrowJetError(jet::kCannotOpenDatabase, "the Jet file reader's answer was cut short");
}
}  // namespace

void WireWriter::PutInt(int64_t i) { bytes_.append(reinterpret_cast<const char*>(&i), sizeof i); }

void WireWriter::PutDouble(double d) { bytes_.append(reinterpret_cast<const char*>(&d), sizeof d); }

void WireWriter::PutText(std::string_view text) {
    PutInt(static_cast<int64_t>(text.size()));
    bytes_.append(text);
}

void WireWriter::PutValue(const Value& value) {
    PutByte(static_cast<uint8_t>(value.Kind()));
    switch (value.Kind()) {
        case ValueKind::Null:
            break;
        case ValueKind::Boolean:
            PutByte(value.AsBoolean() ? 1 : 0);
            break;
        case ValueKind::Integer:
            PutInt(value.AsInteger());
            break;
        case ValueKind::Single:
        case ValueKind::Double:
            PutDouble(value.AsDouble());
            break;
        case ValueKind::Date:
            PutDouble(value.AsDate());
            break;
        case ValueKind::Text:
            PutText(value.AsText());
            break;
        case ValueKind::Binary: {
            const std::vector<uint8_t>& b = value.AsBinary();
            PutText(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
            break;
        }
    }
}

void WireWriter::PutTexts(const std::vector<std::string>& texts) {
    PutInt(static_cast<int64_t>(texts.size()));
    for (const std::string& t : texts) PutText(t);
}

void WireWriter::PutTables(const std::vector<TableDescription>& tables) {
    PutInt(static_cast<int64_t>(tables.size()));
    for (const TableDescription& table : tables) {
        PutText(table.Name);
        PutInt(static_cast<int64_t>(table.Fields.size()));
        for (const FieldDescription& f : table.Fields) {
            PutText(f.Name);
            PutInt(f.Type);
            PutInt(f.Size);
            PutInt(f.Attributes);
            PutText(f.DefaultValue);
            PutByte(static_cast<uint8_t>((f.Required ? 1 : 0) | (f.AllowZeroLength ? 2 : 0)));
        }
        PutInt(static_cast<int64_t>(table.Indexes.size()));
        for (const IndexDescription& index : table.Indexes) {
            PutText(index.Name);
            PutByte(static_cast<uint8_t>((index.Primary ? 1 : 0) | (index.Unique ? 2 : 0) |
                                         (index.IgnoreNulls ? 4 : 0) | (index.Required ? 8 : 0)));
            PutInt(static_cast<int64_t>(index.Fields.size()));
            for (const IndexFieldDescription& field : index.Fields) {
                PutText(field.Name);
                PutByte(field.Descending ? 1 : 0);
            }
        }
    }
}

void WireReader::Take(void* out, size_t n) {
    if (rest_.size() < n) CutShort();
    std::memcpy(out, rest_.data(), n);
    rest_.remove_prefix(n);
}

uint8_t WireReader::GetByte() {
    uint8_t b = 0;
    Take(&b, 1);
    return b;
}

int64_t WireReader::GetInt() {
    int64_t i = 0;
    Take(&i, sizeof i);
    return i;
}

double WireReader::GetDouble() {
    double d = 0;
    Take(&d, sizeof d);
    return d;
}

size_t WireReader::GetCount(size_t minimumItemBytes) {
    const int64_t n = GetInt();
    if (n < 0 || static_cast<uint64_t>(n) > rest_.size() / minimumItemBytes) CutShort();
    return static_cast<size_t>(n);
}

std::string_view WireReader::GetBytes() {
    const size_t n = GetCount(1);
    const std::string_view bytes = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return bytes;
}

std::string WireReader::GetText() { return std::string(GetBytes()); }

WireValue WireReader::GetValueInPlace() {
    WireValue v;
    v.kind = static_cast<ValueKind>(GetByte());
    switch (v.kind) {
        case ValueKind::Null:
            return v;
        case ValueKind::Boolean:
            v.integer = GetByte() != 0 ? -1 : 0;  // Jet's True, as Value holds it
            return v;
        case ValueKind::Integer:
            v.integer = GetInt();
            return v;
        case ValueKind::Single:
            v.number = static_cast<float>(GetDouble());
            return v;
        case ValueKind::Double:
        case ValueKind::Date:
            v.number = GetDouble();
            return v;
        case ValueKind::Text:
        case ValueKind::Binary:
            v.bytes = GetBytes();
            return v;
    }
    CutShort();
}

Value WireValue::ToValue() const {
    switch (kind) {
        case ValueKind::Null:
            return Value::Null();
        case ValueKind::Boolean:
            return Value::FromBoolean(integer != 0);
        case ValueKind::Integer:
            return Value::FromInteger(integer);
        case ValueKind::Single:
            return Value::FromSingle(static_cast<float>(number));
        case ValueKind::Double:
            return Value::FromDouble(number);
        case ValueKind::Date:
            return Value::FromDate(number);
        case ValueKind::Text:
            return Value::FromText(std::string(bytes));
        case ValueKind::Binary:
            return Value::FromBinary(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    return Value::Null();
}

std::vector<std::string> WireReader::GetTexts() {
    std::vector<std::string> texts(GetCount(8));
    for (std::string& t : texts) t = GetText();
    return texts;
}

std::vector<TableDescription> WireReader::GetTables() {
    std::vector<TableDescription> tables(GetCount(24));
    for (TableDescription& table : tables) {
        table.Name = GetText();
        table.Fields.resize(GetCount(41));
        for (FieldDescription& f : table.Fields) {
            f.Name = GetText();
            f.Type = static_cast<int>(GetInt());
            f.Size = static_cast<int32_t>(GetInt());
            f.Attributes = static_cast<int32_t>(GetInt());
            f.DefaultValue = GetText();
            const uint8_t flags = GetByte();
            f.Required = (flags & 1) != 0;
            f.AllowZeroLength = (flags & 2) != 0;
        }
        table.Indexes.resize(GetCount(17));
        for (IndexDescription& index : table.Indexes) {
            index.Name = GetText();
            const uint8_t flags = GetByte();
            index.Primary = (flags & 1) != 0;
            index.Unique = (flags & 2) != 0;
            index.IgnoreNulls = (flags & 4) != 0;
            index.Required = (flags & 8) != 0;
            index.Fields.resize(GetCount(9));
            for (IndexFieldDescription& field : index.Fields) {
                field.Name = GetText();
                field.Descending = GetByte() != 0;
            }
        }
    }
    return tables;
}

}  // namespace platform
