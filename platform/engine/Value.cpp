#include "platform/Value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/DateConversion.h"
#include "platform/JetError.h"

namespace platform {
namespace {

std::string Trimmed(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::optional<double> ParseNumber(const std::string& text) {
    const std::string t = Trimmed(text);
    if (t.empty()) return std::nullopt;
    const char* begin = t.data();
    const char* end = t.data() + t.size();
    if (*begin == '+') ++begin;
    double d = 0;
    auto [ptr, ec] = std::from_chars(begin, end, d);
    if (ec != std::errc() || ptr != end || !std::isfinite(d)) return std::nullopt;
    return d;
}

std::string ShortestText(double d) {
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, ec == std::errc() ? ptr : buf);
}

std::string ShortestText(float f) {
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, f);
    return std::string(buf, ec == std::errc() ? ptr : buf);
}

}  // namespace

Value Value::FromBoolean(bool b) {
    Value v;
    v.kind_ = ValueKind::Boolean;
    v.data_ = static_cast<int64_t>(b ? -1 : 0);
    return v;
}

Value Value::FromInteger(int64_t i) {
    Value v;
    v.kind_ = ValueKind::Integer;
    v.data_ = i;
    return v;
}

Value Value::FromSingle(float f) {
    Value v;
    v.kind_ = ValueKind::Single;
    v.data_ = static_cast<double>(f);
    return v;
}

Value Value::FromDouble(double d) {
    Value v;
    v.kind_ = ValueKind::Double;
    v.data_ = d;
    return v;
}

Value Value::FromDate(double oleDate) {
    Value v;
    v.kind_ = ValueKind::Date;
    v.data_ = oleDate;
    return v;
}

Value Value::FromText(std::string utf8) {
    Value v;
    v.kind_ = ValueKind::Text;
    v.data_ = std::move(utf8);
    return v;
}

void Value::SetText(std::string_view utf8) {
    kind_ = ValueKind::Text;
    if (auto* text = std::get_if<std::string>(&data_)) {
        text->assign(utf8);
    } else {
        data_.emplace<std::string>(utf8);
    }
}

Value Value::FromBinary(std::vector<uint8_t> bytes) {
    Value v;
    v.kind_ = ValueKind::Binary;
    v.data_ = std::move(bytes);
    return v;
}

bool Value::IsNumeric() const {
    return kind_ == ValueKind::Boolean || kind_ == ValueKind::Integer ||
           kind_ == ValueKind::Single || kind_ == ValueKind::Double;
}

bool Value::AsBoolean() const { return std::get<int64_t>(data_) != 0; }
int64_t Value::AsInteger() const { return std::get<int64_t>(data_); }
double Value::AsDouble() const { return std::get<double>(data_); }
double Value::AsDate() const { return std::get<double>(data_); }
const std::string& Value::AsText() const { return std::get<std::string>(data_); }
const std::vector<uint8_t>& Value::AsBinary() const {
    return std::get<std::vector<uint8_t>>(data_);
}

double Value::ToDouble() const {
    switch (kind_) {
        case ValueKind::Boolean:
        case ValueKind::Integer:
            return static_cast<double>(std::get<int64_t>(data_));
        case ValueKind::Single:
        case ValueKind::Double:
        case ValueKind::Date:
            return std::get<double>(data_);
        case ValueKind::Text: {
            const std::string& t = AsText();
            if (auto d = ParseNumber(t)) return *d;
            if (EqualsIgnoringAsciiCase(Trimmed(t), "true")) return -1;
            if (EqualsIgnoringAsciiCase(Trimmed(t), "false")) return 0;
            break;
        }
        default:
            break;
    }
    ThrowJetError(jet::kTypeConversion);
}

int64_t Value::ToInteger() const {
    if (kind_ == ValueKind::Boolean || kind_ == ValueKind::Integer) return std::get<int64_t>(data_);
    const double d = std::nearbyint(ToDouble());  // default rounding mode: half to even
    if (!(d >= -9.2e18 && d <= 9.2e18)) ThrowJetError(jet::kTypeConversion);
    return static_cast<int64_t>(d);
}

bool Value::ToBoolean() const {
    if (kind_ == ValueKind::Text) {
        const std::string t = Trimmed(AsText());
        for (const char* yes : {"true", "yes", "on"})
            if (EqualsIgnoringAsciiCase(t, yes)) return true;
        for (const char* no : {"false", "no", "off"})
            if (EqualsIgnoringAsciiCase(t, no)) return false;
    }
    return ToDouble() != 0;
}

double Value::ToDate() const {
    switch (kind_) {
        case ValueKind::Date:
            return AsDate();
        case ValueKind::Text:
            if (auto d = ParseDateText(AsText())) return *d;
            if (auto n = ParseNumber(AsText())) return *n;
            break;
        case ValueKind::Binary:
        case ValueKind::Null:
            break;
        default:
            return ToDouble();
    }
    ThrowJetError(jet::kTypeConversion);
}

std::string Value::ToText() const {
    switch (kind_) {
        case ValueKind::Null:
            return {};
        case ValueKind::Boolean:
            return AsBoolean() ? "True" : "False";
        case ValueKind::Integer:
            return std::to_string(AsInteger());
        case ValueKind::Single:
            return ShortestText(static_cast<float>(AsDouble()));
        case ValueKind::Double:
            return ShortestText(AsDouble());
        case ValueKind::Date: {
            std::string s = FormatStoredDate(AsDate());
            if (s.ends_with(" 00:00:00")) s.resize(10);
            return s;
        }
        case ValueKind::Text:
            return AsText();
        case ValueKind::Binary: {
            const auto& b = AsBinary();
            return std::string(b.begin(), b.end());
        }
    }
    return {};
}

std::string Value::ToDisplayText() const {
    switch (kind_) {
        case ValueKind::Boolean:
            return AsBoolean() ? "-1" : "0";
        case ValueKind::Date:
            return FormatStoredDate(AsDate());
        default:
            return ToText();
    }
}

bool operator==(const Value& a, const Value& b) {
    if (a.IsNull() || b.IsNull()) return false;
    if (a.IsNumeric() && b.IsNumeric()) {
        const bool aWhole = a.kind_ == ValueKind::Boolean || a.kind_ == ValueKind::Integer;
        const bool bWhole = b.kind_ == ValueKind::Boolean || b.kind_ == ValueKind::Integer;
        if (aWhole && bWhole) return a.AsInteger() == b.AsInteger();
        return a.ToDouble() == b.ToDouble();
    }
    if (a.kind_ == ValueKind::Date && b.kind_ == ValueKind::Date) return a.AsDate() == b.AsDate();
    if (a.kind_ == ValueKind::Text && b.kind_ == ValueKind::Text) return a.AsText() == b.AsText();
    if (a.kind_ == ValueKind::Binary && b.kind_ == ValueKind::Binary)
        return a.AsBinary() == b.AsBinary();
    return false;
}

}  // namespace platform
