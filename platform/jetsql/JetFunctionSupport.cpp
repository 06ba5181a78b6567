#include "platform/jetsql/JetFunctionSupport.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace platform {

// Numbers are written and read with to_chars/from_chars: always a point, whatever locale the
// process runs in (printf and strtod follow LC_NUMERIC, which a Qt application sets).
std::string NumberText(double d) {
    char buf[40];
    const bool whole = std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15;
    const auto result =
        whole ? std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, 0)
              : std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
    std::string s(buf, result.ec == std::errc() ? result.ptr : buf);
    // Jet writes the exponent with a capital E: 1E+20, 1.5E-07.
    std::replace(s.begin(), s.end(), 'e', 'E');
    return s == "-0" ? "0" : s;
}

std::string TextOf(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return std::to_string(sqlite3_value_int64(v));
        case SQLITE_FLOAT:
            return NumberText(sqlite3_value_double(v));
        case SQLITE_NULL:
            return {};
        default: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
            return p ? std::string(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
        }
    }
}

std::optional<double> ParseNumber(std::string_view text) {
    std::string_view s = TrimSpace(text);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    double d = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(d)) return std::nullopt;
    return d;
}

bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

std::optional<double> NumberOf(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return static_cast<double>(sqlite3_value_int64(v));
        case SQLITE_FLOAT:
            return sqlite3_value_double(v);
        case SQLITE_NULL:
            return std::nullopt;
        default: {
            const std::string t = TextOf(v);
            if (auto d = ParseNumber(t)) return d;
            const std::string_view tt = TrimSpace(t);
            if (tt.size() == 4 && (tt == "True" || tt == "true" || tt == "TRUE")) return -1.0;
            if (tt.size() == 5 && (tt == "False" || tt == "false" || tt == "FALSE")) return 0.0;
            return ParseDateText(t);
        }
    }
}

std::optional<double> DateOf(sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_TEXT) {
        const std::string t = TextOf(v);
        if (auto d = ParseDateText(t)) return d;
        return ParseNumber(t);
    }
    return NumberOf(v);
}

void ResultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}
void ResultNumber(sqlite3_context* ctx, double d) {
    if (d == std::trunc(d) && std::fabs(d) < 9e15)
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(d));
    else
        sqlite3_result_double(ctx, d);
}
void ResultDate(sqlite3_context* ctx, double ole) { ResultText(ctx, FormatStoredDate(ole)); }

double Need(std::optional<double> d) {
    if (!d) throw kMismatch;
    return *d;
}
long long NeedInt(sqlite3_value* v) {
    const double d = std::nearbyint(Need(NumberOf(v)));
    if (!(std::fabs(d) < 9e15)) throw kOverflow;
    return static_cast<long long>(d);
}
bool HasFourPlaces(double x, long long& scaled) {
    const double s = x * 10000.0;
    if (!(std::fabs(s) < 9.0e15)) return false;
    const double r = std::nearbyint(s);
    if (std::fabs(s - r) > 1e-6) return false;
    scaled = static_cast<long long>(r);
    return true;
}

void NeedArgs(Args a, size_t min, size_t max) {
    if (a.size() < min || a.size() > max) throw kInvalidCall;
}
bool AnyNull(Args a) {
    return std::any_of(a.begin(), a.end(), [](sqlite3_value* v) { return IsNull(v); });
}

}  // namespace platform
