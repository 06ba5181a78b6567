#include "platform/engine/FieldRules.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>

#include "platform/DateConversion.h"
#include "platform/JetError.h"
#include "platform/engine/Catalog.h"
#include "platform/engine/JetTextOrder.h"

namespace platform {
namespace {

// Length in characters of UTF-8 text.
size_t CharacterCount(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

Value WholeNumberInRange(const Value& v, int64_t low, int64_t high) {
    const int64_t i = v.ToInteger();
    if (i < low || i > high) ThrowJetError(jet::kTypeConversion);
    return Value::FromInteger(i);
}

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

Value ConvertForField(const FieldDescription& field, Value v) {
    if (v.IsNull()) return v;
    switch (field.Type) {
        case dbBoolean:
            return Value::FromBoolean(v.ToBoolean());
        case dbByte:
            return WholeNumberInRange(v, 0, 255);
        case dbInteger:
            return WholeNumberInRange(v, -32768, 32767);
        case dbLong:
            return WholeNumberInRange(v, std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max());
        case dbSingle: {
            const double d = v.ToDouble();
            if (std::fabs(d) > std::numeric_limits<float>::max())
                ThrowJetError(jet::kTypeConversion);
            return Value::FromSingle(static_cast<float>(d));
        }
        case dbDouble:
            return Value::FromDouble(v.ToDouble());
        case dbCurrency: {
            const double d = v.ToDouble();
            if (std::fabs(d) > 922337203685477.0) ThrowJetError(jet::kTypeConversion);
            return Value::FromDouble(std::nearbyint(d * 10000.0) / 10000.0);
        }
        case dbDate: {
            const double d = v.ToDate();
            if (d < -657434.0 || d >= 2958466.0) ThrowJetError(jet::kTypeConversion);
            return Value::FromDate(d);
        }
        case dbText:
        case dbMemo:
        case dbGUID: {
            if (v.Kind() != ValueKind::Text) v = Value::FromText(v.ToText());
            const std::string& text = v.AsText();
            if (text.empty() && !field.AllowZeroLength) {
                ThrowJetError(jet::kZeroLengthString, field.Name);
            }
            if (field.Type == dbText && field.Size > 0 &&
                CharacterCount(text) > static_cast<size_t>(field.Size)) {
                ThrowJetError(jet::kFieldTooSmall);
            }
            return v;
        }
        case dbBinary:
        case dbLongBinary: {
            if (v.Kind() == ValueKind::Binary) {
                if (field.Type == dbBinary && field.Size > 0 &&
                    v.AsBinary().size() > static_cast<size_t>(field.Size)) {
                    ThrowJetError(jet::kFieldTooSmall);
                }
                return v;
            }
            const std::string text = v.ToText();
            return Value::FromBinary(std::vector<uint8_t>(text.begin(), text.end()));
        }
        default:
            return v;
    }
}

std::string SqlColumnDefinition(const FieldDescription& f, bool rowidAlias, bool notNull) {
    const std::string name = QuoteIdentifier(f.Name);
    std::string sql = name;
    switch (f.Type) {
        case dbBoolean:
        case dbByte:
        case dbInteger:
        case dbLong:
            sql += rowidAlias ? " INTEGER PRIMARY KEY AUTOINCREMENT" : " INTEGER";
            break;
        case dbSingle:
        case dbDouble:
        case dbCurrency:
            sql += " REAL";
            break;
        case dbDate:
            sql += " DATETIME";
            break;
        case dbBinary:
        case dbLongBinary:
            sql += " BLOB";
            break;
        default:
            sql += std::string(" TEXT COLLATE ") + JetTextOrder::kCollation;
            break;
    }
    if ((notNull || f.Required) && !rowidAlias) sql += " NOT NULL";
    if (auto def = DefaultValueAsSql(f)) sql += " DEFAULT " + *def;

    // The same refusals as ConvertForField, for rows written by SQL statements. The
    // constraint names tell the error mapping which Jet error a failure is.
    const std::string tag = f.Name;
    // Plain comparisons, not IN lists: SQLite builds a temporary b-tree for an IN list each
    // time a row is checked, which made every insert many times slower.
    auto typeIs = [&](std::initializer_list<const char*> types) {
        std::string condition = "(" + name + " IS NULL";
        for (const char* t : types)
            condition += std::string(" OR typeof(") + name + ") = '" + t + "'";
        return condition + ")";
    };
    auto check = [&](const std::string& kind, const std::string& condition) {
        sql += " CONSTRAINT " + QuoteIdentifier(kind + ":" + tag) + " CHECK (" + condition + ")";
    };
    switch (f.Type) {
        case dbBoolean:
            check("type", typeIs({"integer"}));
            break;
        case dbByte:
            check("type", typeIs({"integer"}) + " AND " + name + " BETWEEN 0 AND 255");
            break;
        case dbInteger:
            check("type", typeIs({"integer"}) + " AND " + name + " BETWEEN -32768 AND 32767");
            break;
        case dbLong:
            if (!rowidAlias) {
                check("type",
                      typeIs({"integer"}) + " AND " + name + " BETWEEN -2147483648 AND 2147483647");
            }
            break;
        case dbSingle:
        case dbDouble:
        case dbCurrency:
            check("type", typeIs({"real", "integer"}));
            break;
        case dbDate:
            check("type", typeIs({"text"}));
            break;
        case dbText:
            if (f.Size > 0) check("size", "length(" + name + ") <= " + std::to_string(f.Size));
            break;
        case dbBinary:
            if (f.Size > 0) check("size", "length(" + name + ") <= " + std::to_string(f.Size));
            break;
        default:
            break;
    }
    // Zero-length text is refused on assignment only, so that AllowZeroLength stays a
    // property that can change without rebuilding the table.
    return sql;
}

std::optional<std::string> DefaultValueAsSql(const FieldDescription& field) {
    const Value v = DefaultValueAsValue(field);
    const std::string def = Trim(field.DefaultValue);
    if (v.IsNull()) return std::nullopt;
    std::string lower = LowerName(def);
    if (lower == "now()" || lower == "now") {
        return std::string("(strftime('%Y-%m-%d %H:%M:%S','now','localtime'))");
    }
    if (lower == "date()" || lower == "date") {
        return std::string("(strftime('%Y-%m-%d 00:00:00','now','localtime'))");
    }
    switch (v.Kind()) {
        case ValueKind::Boolean:
        case ValueKind::Integer:
            return std::to_string(v.AsInteger());
        case ValueKind::Single:
        case ValueKind::Double:
            return v.ToText();
        case ValueKind::Date:
            return QuoteLiteral(FormatStoredDate(v.AsDate()));
        case ValueKind::Text:
            return QuoteLiteral(v.AsText());
        default:
            return std::nullopt;
    }
}

namespace {

std::string DefaultExpression(const FieldDescription& field) {
    std::string def = Trim(field.DefaultValue);
    if (!def.empty() && def[0] == '=') def = Trim(def.substr(1));
    return def;
}

}  // namespace

bool DefaultValueReadsClock(const FieldDescription& field) {
    const std::string lower = LowerName(DefaultExpression(field));
    return lower == "now()" || lower == "now" || lower == "date()" || lower == "date";
}

Value DefaultValueAsValue(const FieldDescription& field) {
    const std::string def = DefaultExpression(field);
    if (def.empty()) return Value();
    const std::string lower = LowerName(def);
    if (lower == "null") return Value();
    Value raw;
    if (lower == "now()" || lower == "now") {
        raw = Value::FromDate(NowAsOleDate());
    } else if (lower == "date()" || lower == "date") {
        raw = Value::FromDate(std::floor(NowAsOleDate()));
    } else if (def.size() >= 2 && (def[0] == '"' || def[0] == '\'') && def.back() == def[0]) {
        std::string inner;
        for (size_t i = 1; i + 1 < def.size(); ++i) {
            inner += def[i];
            if (def[i] == def[0] && i + 2 < def.size() && def[i + 1] == def[0]) ++i;
        }
        raw = Value::FromText(inner);
    } else if (def.size() >= 2 && def[0] == '#' && def.back() == '#') {
        auto d = ParseDateText(def.substr(1, def.size() - 2));
        if (!d) return Value();
        raw = Value::FromDate(*d);
    } else if (lower == "true" || lower == "yes" || lower == "on") {
        raw = Value::FromBoolean(true);
    } else if (lower == "false" || lower == "no" || lower == "off") {
        raw = Value::FromBoolean(false);
    } else {
        raw = Value::FromText(def);
    }
    try {
        return ConvertForField(field, raw);
    } catch (const JetError&) {
        return Value();  // a default the field cannot hold applies no value
    }
}

void ReadHeldColumn(Value& slot, const Statement& statement, int col,
                    const FieldDescription* field) {
    // Read in place: the caller's hold keeps the value from changing underneath.
    sqlite3_value* v = sqlite3_column_value(statement.Handle(), col);
    const int storage = sqlite3_value_type(v);
    if (storage == SQLITE_NULL) {
        slot = Value();
        return;
    }
    const auto text = [v] {
        const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
        return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v)))
                 : std::string_view();
    };
    if (field) {
        switch (field->Type) {
            case dbBoolean:
                slot = Value::FromBoolean(sqlite3_value_int64(v) != 0);
                return;
            case dbByte:
            case dbInteger:
            case dbLong:
                if (storage == SQLITE_INTEGER) {
                    slot = Value::FromInteger(sqlite3_value_int64(v));
                    return;
                }
                break;
            case dbSingle:
                if (storage != SQLITE_TEXT && storage != SQLITE_BLOB) {
                    slot = Value::FromSingle(static_cast<float>(sqlite3_value_double(v)));
                    return;
                }
                break;
            case dbDouble:
            case dbCurrency:
                if (storage != SQLITE_TEXT && storage != SQLITE_BLOB) {
                    slot = Value::FromDouble(sqlite3_value_double(v));
                    return;
                }
                break;
            case dbDate:
                if (storage == SQLITE_TEXT) {
                    if (auto d = ParseDateText(text())) {
                        slot = Value::FromDate(*d);
                        return;
                    }
                } else if (storage != SQLITE_BLOB) {
                    slot = Value::FromDate(sqlite3_value_double(v));
                    return;
                }
                break;
            case dbText:
            case dbMemo:
            case dbGUID:
                slot.SetText(text());
                return;
            default:
                break;
        }
    }
    switch (storage) {
        case SQLITE_INTEGER:
            slot = Value::FromInteger(sqlite3_value_int64(v));
            return;
        case SQLITE_FLOAT:
            slot = Value::FromDouble(sqlite3_value_double(v));
            return;
        case SQLITE_TEXT:
            slot.SetText(text());
            return;
        default: {
            const auto* p = static_cast<const uint8_t*>(sqlite3_value_blob(v));
            const int n = sqlite3_value_bytes(v);
            slot = Value::FromBinary(p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>());
        }
    }
}

Value ReadColumnValue(const Statement& statement, int col, const FieldDescription* field) {
    const ConnectionMutexHold hold(statement.Handle());
    Value value;
    ReadHeldColumn(value, statement, col, field);
    return value;
}

void BindValueInPlace(Statement& statement, int index, const Value& v) {
    if (v.Kind() == ValueKind::Text) {
        statement.BindTextInPlace(index, v.AsText());
    } else if (v.Kind() == ValueKind::Binary) {
        const std::vector<uint8_t>& bytes = v.AsBinary();
        statement.BindBlobInPlace(
            index, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } else {
        BindValue(statement, index, v);
    }
}

void BindValue(Statement& statement, int index, const Value& v) {
    switch (v.Kind()) {
        case ValueKind::Null:
            statement.BindNull(index);
            break;
        case ValueKind::Boolean:
        case ValueKind::Integer:
            statement.BindInteger(index, v.AsInteger());
            break;
        case ValueKind::Single:
        case ValueKind::Double:
            statement.BindDouble(index, v.AsDouble());
            break;
        case ValueKind::Date:
            statement.BindText(index, FormatStoredDate(v.AsDate()));
            break;
        case ValueKind::Text:
            statement.BindText(index, v.AsText());
            break;
        case ValueKind::Binary:
            statement.BindBlob(index, v.AsBinary());
            break;
    }
}

}  // namespace platform
