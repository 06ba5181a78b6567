#include "platform/jetsql/JetFunctions.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "platform/DateConversion.h"
#include "platform/JetError.h"
#include "platform/engine/Utf8.h"

namespace platform {
namespace {

// --- Text: UTF-8 and Jet's letter case -----------------------------------------------------

std::u32string Decode(std::string_view s) {
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

std::string Encode(std::u32string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char32_t c : s) AppendUtf8(out, static_cast<uint32_t>(c));
    return out;
}

// Latin-1, Latin Extended-A, Greek and Cyrillic capitals; enough for the names in a music
// library, which is what the comparisons see.
char32_t LowerChar(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0xC0) return c;
    if (c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x100 && c <= 0x137 && c % 2 == 0) return c + 1;
    if (c >= 0x139 && c <= 0x148 && c % 2 == 1) return c + 1;
    if (c >= 0x14A && c <= 0x177 && c % 2 == 0) return c + 1;
    if (c == 0x178) return 0xFF;
    if (c == 0x179 || c == 0x17B || c == 0x17D) return c + 1;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

char32_t UpperChar(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c < 0xE0) return c;
    if (c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c >= 0x101 && c <= 0x137 && c % 2 == 1) return c - 1;
    if (c >= 0x13A && c <= 0x148 && c % 2 == 0) return c - 1;
    if (c >= 0x14B && c <= 0x177 && c % 2 == 1) return c - 1;
    if (c == 0x17A || c == 0x17C || c == 0x17E) return c - 1;
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

std::u32string Lower(std::u32string s) {
    for (char32_t& c : s) c = LowerChar(c);
    return s;
}

// --- Jet's Like ----------------------------------------------------------------------------

struct PatternElement {
    enum Kind { Literal, AnyChar, Digit, AnyRun, List } kind = Literal;
    char32_t ch = 0;  // Literal, in lower case
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // List

    bool Matches(char32_t c) const {
        switch (kind) {
            case Literal:
                return LowerChar(c) == ch;
            case AnyChar:
                return true;
            case Digit:
                return c >= '0' && c <= '9';
            case List: {
                const char32_t lc = LowerChar(c);
                bool in = false;
                for (const auto& [lo, hi] : ranges)
                    if ((c >= lo && c <= hi) || (lc >= LowerChar(lo) && lc <= LowerChar(hi)))
                        in = true;
                return in != negated;
            }
            default:
                return false;
        }
    }
};

std::vector<PatternElement> ParsePattern(const std::u32string& p) {
    std::vector<PatternElement> out;
    for (size_t i = 0; i < p.size(); ++i) {
        PatternElement e;
        const char32_t c = p[i];
        if (c == '*') {
            e.kind = PatternElement::AnyRun;
        } else if (c == '?') {
            e.kind = PatternElement::AnyChar;
        } else if (c == '#') {
            e.kind = PatternElement::Digit;
        } else if (c == '[' && p.find(']', i + 1) != std::u32string::npos) {
            const size_t close = p.find(']', i + 1);
            if (close == i + 1) {  // "[]" stands for no character at all
                i = close;
                continue;
            }
            e.kind = PatternElement::List;
            size_t k = i + 1;
            if (p[k] == '!' && k + 1 < close) {
                e.negated = true;
                ++k;
            }
            for (; k < close; ++k) {
                if (k + 2 < close && p[k + 1] == '-') {
                    e.ranges.emplace_back(p[k], p[k + 2]);
                    k += 2;
                } else {
                    e.ranges.emplace_back(p[k], p[k]);
                }
            }
            i = close;
        } else {
            e.ch = LowerChar(c);
        }
        out.push_back(std::move(e));
    }
    return out;
}

bool MatchPattern(const std::u32string& t, const std::vector<PatternElement>& p) {
    size_t ti = 0, pi = 0, starP = std::string::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi].kind == PatternElement::AnyRun) {
            starP = pi++;
            starT = ti;
        } else if (pi < p.size() && p[pi].Matches(t[ti])) {
            ++pi;
            ++ti;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi].kind == PatternElement::AnyRun) ++pi;
    return pi == p.size();
}

// --- Values --------------------------------------------------------------------------------

std::string NumberText(double d) {
    char buf[40];
    if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", d);
    else
        std::snprintf(buf, sizeof buf, "%.15g", d);
    std::string s = buf;
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

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<double> ParseNumber(std::string_view text) {
    const std::string s(Trim(text));
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    const double d = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(d)) return std::nullopt;
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
            const std::string_view tt = Trim(t);
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

// --- SQLite glue ---------------------------------------------------------------------------

struct FunctionError {
    const char* message;
};
const FunctionError kMismatch{"Data type mismatch in criteria expression."};
const FunctionError kInvalidCall{"Invalid procedure call or argument."};
const FunctionError kOverflow{"Overflow."};
const FunctionError kDivisionByZero{"Division by zero."};

using Args = std::span<sqlite3_value*>;

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
void NeedArgs(Args a, size_t min, size_t max) {
    if (a.size() < min || a.size() > max) throw kInvalidCall;
}
bool AnyNull(Args a) {
    return std::any_of(a.begin(), a.end(), [](sqlite3_value* v) { return IsNull(v); });
}

using Body = void (*)(sqlite3_context*, Args);

template <Body body>
void Call(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    try {
        body(ctx, Args(argv, static_cast<size_t>(argc)));
    } catch (const FunctionError& e) {
        sqlite3_result_error(ctx, e.message, -1);
    } catch (const std::exception& e) {
        sqlite3_result_error(ctx, e.what(), -1);
    }
}

// --- Dates ---------------------------------------------------------------------------------

double DayOf(const CalendarDateTime& c) {
    return CalendarToOleDate(CalendarDateTime{c.year, c.month, c.day, 0, 0, 0});
}

long long AbsoluteSeconds(double ole) {
    const CalendarDateTime c = OleDateToCalendar(ole);
    return static_cast<long long>(DayOf(c)) * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
}

double FromAbsoluteSeconds(long long s) {
    long long day = s / 86400, rest = s % 86400;
    if (rest < 0) {
        rest += 86400;
        --day;
    }
    return day >= 0 ? static_cast<double>(day) + static_cast<double>(rest) / 86400.0
                    : static_cast<double>(day) - static_cast<double>(rest) / 86400.0;
}

int WeekdayOf(double ole, int firstDay) {  // 1 = firstDay (1 Sunday ... 7 Saturday)
    const auto day = static_cast<long long>(DayOf(OleDateToCalendar(ole)));
    const int sundayBased = static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
    if (firstDay < 1 || firstDay > 7) firstDay = 1;
    return (sundayBased - firstDay + 7) % 7 + 1;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

double AddMonths(double ole, long long months) {
    CalendarDateTime c = OleDateToCalendar(ole);
    const long long total = c.year * 12LL + (c.month - 1) + months;
    if (total < 100 * 12 || total > 9999 * 12 + 11) throw kInvalidCall;
    c.year = static_cast<int>(total / 12);
    c.month = static_cast<int>(total % 12) + 1;
    c.day = std::min(c.day, DaysInMonth(c.year, c.month));
    return CalendarToOleDate(c);
}

std::string IntervalOf(sqlite3_value* v) {
    std::string s(Trim(TextOf(v)));
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

double DateAdd(const std::string& interval, long long n, double ole) {
    if (interval == "yyyy") return AddMonths(ole, n * 12);
    if (interval == "q") return AddMonths(ole, n * 3);
    if (interval == "m") return AddMonths(ole, n);
    long long seconds = 0;
    if (interval == "y" || interval == "d" || interval == "w")
        seconds = n * 86400;
    else if (interval == "ww")
        seconds = n * 7 * 86400;
    else if (interval == "h")
        seconds = n * 3600;
    else if (interval == "n")
        seconds = n * 60;
    else if (interval == "s")
        seconds = n;
    else
        throw kInvalidCall;
    return FromAbsoluteSeconds(AbsoluteSeconds(ole) + seconds);
}

long long FloorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

long long DateDiff(const std::string& interval, double d1, double d2, int firstDay) {
    const CalendarDateTime a = OleDateToCalendar(d1), b = OleDateToCalendar(d2);
    const long long s1 = AbsoluteSeconds(d1), s2 = AbsoluteSeconds(d2);
    if (interval == "yyyy") return b.year - a.year;
    if (interval == "q")
        return (b.year * 4LL + (b.month - 1) / 3) - (a.year * 4LL + (a.month - 1) / 3);
    if (interval == "m") return (b.year * 12LL + b.month) - (a.year * 12LL + a.month);
    const long long days = FloorDiv(s2, 86400) - FloorDiv(s1, 86400);
    if (interval == "y" || interval == "d") return days;
    if (interval == "w") return days / 7;
    if (interval == "ww") {  // week starts crossed
        const long long w1 = FloorDiv(s1, 86400) - (WeekdayOf(d1, firstDay) - 1);
        const long long w2 = FloorDiv(s2, 86400) - (WeekdayOf(d2, firstDay) - 1);
        return (w2 - w1) / 7;
    }
    if (interval == "h") return FloorDiv(s2, 3600) - FloorDiv(s1, 3600);
    if (interval == "n") return FloorDiv(s2, 60) - FloorDiv(s1, 60);
    if (interval == "s") return s2 - s1;
    throw kInvalidCall;
}

// --- Format --------------------------------------------------------------------------------

const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};
const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool StartsNoCase(std::string_view s, size_t at, std::string_view prefix) {
    return s.size() - at >= prefix.size() && EqualsNoCase(s.substr(at, prefix.size()), prefix);
}

std::string FormatDate(double ole, std::string_view fmt);

std::string NamedDateFormat(double ole, std::string_view name, bool* known) {
    *known = true;
    const CalendarDateTime c = OleDateToCalendar(ole);
    if (EqualsNoCase(name, "General Date")) {
        const bool hasDate = DayOf(c) != 0, hasTime = c.hour || c.minute || c.second;
        std::string out = hasDate || !hasTime ? FormatDate(ole, "dd.mm.yyyy") : "";
        if (hasTime) out += (out.empty() ? "" : " ") + FormatDate(ole, "hh:nn:ss");
        return out;
    }
    if (EqualsNoCase(name, "Long Date")) return FormatDate(ole, "dddd, d. mmmm yyyy");
    if (EqualsNoCase(name, "Medium Date")) return FormatDate(ole, "dd-mmm-yy");
    if (EqualsNoCase(name, "Short Date")) return FormatDate(ole, "dd.mm.yyyy");
    if (EqualsNoCase(name, "Long Time")) return FormatDate(ole, "hh:nn:ss");
    if (EqualsNoCase(name, "Medium Time")) return FormatDate(ole, "hh:nn AM/PM");
    if (EqualsNoCase(name, "Short Time")) return FormatDate(ole, "hh:nn");
    *known = false;
    return {};
}

std::string FormatDate(double ole, std::string_view fmt) {
    bool named = false;
    std::string namedText = NamedDateFormat(ole, fmt, &named);
    if (named) return namedText;
    const CalendarDateTime c = OleDateToCalendar(ole);
    const bool twelveHour = [&] {
        for (size_t i = 0; i < fmt.size(); ++i)
            if (StartsNoCase(fmt, i, "AM/PM") || StartsNoCase(fmt, i, "A/P") ||
                StartsNoCase(fmt, i, "AMPM"))
                return true;
        return false;
    }();
    const int hour = twelveHour ? (c.hour % 12 == 0 ? 12 : c.hour % 12) : c.hour;
    std::string out;
    bool afterHour = false;
    for (size_t i = 0; i < fmt.size();) {
        const char ch = fmt[i];
        const char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        size_t run = 1;
        while (i + run < fmt.size() && std::tolower(static_cast<unsigned char>(fmt[i + run])) == lc)
            ++run;
        if (ch == '"') {
            const size_t close = fmt.find('"', i + 1);
            const size_t end = close == std::string_view::npos ? fmt.size() : close;
            out += fmt.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (ch == '\\' && i + 1 < fmt.size()) {
            out += fmt[i + 1];
            i += 2;
            continue;
        }
        if (StartsNoCase(fmt, i, "AM/PM") || StartsNoCase(fmt, i, "A/P") ||
            StartsNoCase(fmt, i, "AMPM")) {
            const bool pm = c.hour >= 12;
            const bool full = !StartsNoCase(fmt, i, "A/P");
            const bool lower = ch == 'a' || ch == 'p';
            std::string mark = full ? (pm ? "PM" : "AM") : (pm ? "P" : "A");
            if (lower)
                for (char& m : mark)
                    m = static_cast<char>(std::tolower(static_cast<unsigned char>(m)));
            out += mark;
            i += StartsNoCase(fmt, i, "AM/PM") ? 5 : StartsNoCase(fmt, i, "A/P") ? 3 : 4;
            continue;
        }
        switch (lc) {
            case 'd':
                if (run == 1)
                    out += std::to_string(c.day);
                else if (run == 2)
                    out += Two(c.day);
                else if (run == 3)
                    out += std::string(kDayNames[WeekdayOf(ole, 1) - 1]).substr(0, 3);
                else if (run == 4)
                    out += kDayNames[WeekdayOf(ole, 1) - 1];
                else if (run == 5)
                    out += FormatDate(ole, "dd.mm.yyyy");
                else
                    out += FormatDate(ole, "dddd, d. mmmm yyyy");
                break;
            case 'm':
                if (afterHour && run <= 2)
                    out += run == 1 ? std::to_string(c.minute) : Two(c.minute);
                else if (run == 1)
                    out += std::to_string(c.month);
                else if (run == 2)
                    out += Two(c.month);
                else if (run == 3)
                    out += std::string(kMonthNames[c.month - 1]).substr(0, 3);
                else
                    out += kMonthNames[c.month - 1];
                break;
            case 'y':
                if (run == 1)
                    out += std::to_string(static_cast<long long>(DayOf(c) - DayOf({c.year, 1, 1})) +
                                          1);
                else if (run <= 3)
                    out += Two(c.year % 100);
                else
                    out += std::to_string(c.year);
                break;
            case 'h':
                out += run == 1 ? std::to_string(hour) : Two(hour);
                break;
            case 'n':
                out += run == 1 ? std::to_string(c.minute) : Two(c.minute);
                break;
            case 's':
                out += run == 1 ? std::to_string(c.second) : Two(c.second);
                break;
            case 'q':
                out += std::to_string((c.month - 1) / 3 + 1);
                break;
            case 'w':
                if (run == 1)
                    out += std::to_string(WeekdayOf(ole, 1));
                else
                    out +=
                        std::to_string((static_cast<long long>(DayOf(c) - DayOf({c.year, 1, 1})) +
                                        WeekdayOf(DayOf({c.year, 1, 1}), 1) - 1) /
                                           7 +
                                       1);
                break;
            case 'c':
                out += NamedDateFormat(ole, "General Date", &named);
                break;
            default:
                out.append(run, ch);
                break;
        }
        afterHour = lc == 'h' || (afterHour && (lc == ' ' || lc == ':'));
        i += run;
    }
    return out;
}

std::vector<std::string_view> Sections(std::string_view fmt) {
    std::vector<std::string_view> out;
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '"') quoted = !quoted;
        if (fmt[i] == ';' && !quoted) {
            out.push_back(fmt.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(fmt.substr(start));
    return out;
}

std::string FormatNumberSection(double v, std::string_view f) {
    // prefix literals, then the digit placeholders 0 # , . and the rest as suffix
    std::string prefix, suffix;
    int minInt = 0, minDec = 0, maxDec = 0;
    bool grouping = false, percent = false, inNumber = false, afterNumber = false,
         afterPoint = false;
    for (size_t i = 0; i < f.size(); ++i) {
        const char ch = f[i];
        std::string literal;
        if (ch == '"') {
            const size_t close = f.find('"', i + 1);
            const size_t end = close == std::string_view::npos ? f.size() : close;
            literal = std::string(f.substr(i + 1, end - i - 1));
            i = end;
        } else if (ch == '\\' && i + 1 < f.size()) {
            literal = std::string(1, f[++i]);
        } else if (!afterNumber &&
                   (ch == '0' || ch == '#' || ch == '.' || (ch == ',' && inNumber))) {
            inNumber = true;
            if (ch == '.')
                afterPoint = true;
            else if (ch == ',')
                grouping = !afterPoint;
            else if (afterPoint) {
                ++maxDec;
                if (ch == '0') minDec = maxDec;
            } else if (ch == '0') {
                ++minInt;
            }
            continue;
        } else {
            if (ch == '%') percent = true;
            literal = std::string(1, ch);
        }
        if (inNumber) afterNumber = true;
        (afterNumber ? suffix : prefix) += literal;
    }
    if (percent) v *= 100;
    // Format rounds half away from zero, printf half to even.
    const double scale = std::pow(10.0, maxDec);
    double magnitude = std::fabs(v);
    if (magnitude * scale < 1e15) magnitude = std::round(magnitude * scale) / scale;
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", maxDec, magnitude);
    std::string digits = buf;
    std::string intPart = digits.substr(0, digits.find('.'));
    std::string decPart =
        digits.find('.') == std::string::npos ? "" : digits.substr(digits.find('.') + 1);
    while (decPart.size() > static_cast<size_t>(minDec) && decPart.back() == '0')
        decPart.pop_back();
    if (intPart == "0" && minInt == 0) intPart.clear();
    while (intPart.size() < static_cast<size_t>(minInt)) intPart.insert(0, "0");
    if (grouping)
        for (int k = static_cast<int>(intPart.size()) - 3; k > 0; k -= 3)
            intPart.insert(static_cast<size_t>(k), ",");
    std::string number = intPart + (decPart.empty() ? "" : "." + decPart);
    if (!inNumber) number.clear();
    return prefix + number + suffix;
}

std::string FormatNumber(double v, std::string_view fmt) {
    if (fmt.empty() || EqualsNoCase(fmt, "General Number")) return NumberText(v);
    if (EqualsNoCase(fmt, "Fixed")) return FormatNumber(v, "0.00");
    if (EqualsNoCase(fmt, "Standard")) return FormatNumber(v, "#,##0.00");
    if (EqualsNoCase(fmt, "Percent")) return FormatNumber(v, "0.00%");
    if (EqualsNoCase(fmt, "Currency")) return FormatNumber(v, "#,##0.00");
    if (EqualsNoCase(fmt, "Scientific")) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2E", v);
        return buf;
    }
    if (EqualsNoCase(fmt, "Yes/No")) return v != 0 ? "Yes" : "No";
    if (EqualsNoCase(fmt, "True/False")) return v != 0 ? "True" : "False";
    if (EqualsNoCase(fmt, "On/Off")) return v != 0 ? "On" : "Off";
    const auto sections = Sections(fmt);
    if (v < 0 && sections.size() >= 2 && !sections[1].empty())
        return FormatNumberSection(-v, sections[1]);
    if (v == 0 && sections.size() >= 3 && !sections[2].empty())
        return FormatNumberSection(v, sections[2]);
    std::string out = FormatNumberSection(v, sections[0]);
    if (v < 0 && out.find_first_of("123456789") != std::string::npos) out.insert(0, "-");
    return out;
}

// A format text that shows a date rather than a number.
bool IsDateFormat(std::string_view fmt) {
    bool named = false;
    NamedDateFormat(0, fmt, &named);
    if (named) return true;
    bool quoted = false, dateChars = false;
    for (size_t i = 0; i < fmt.size(); ++i) {
        const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(fmt[i])));
        if (ch == '"') quoted = !quoted;
        if (quoted) continue;
        if (ch == '\\') {
            ++i;
            continue;
        }
        if (ch == '0' || ch == '#') return false;
        if (std::string_view("dmyhnswqc").find(ch) != std::string_view::npos) dateChars = true;
    }
    return dateChars;
}

std::string FormatText(std::string_view text, std::string_view fmt) {
    if (fmt.find('>') != std::string_view::npos) {
        std::u32string u = Decode(text);
        for (char32_t& c : u) c = UpperChar(c);
        return Encode(u);
    }
    if (fmt.find('<') != std::string_view::npos) return Encode(Lower(Decode(text)));
    return std::string(text);
}

// --- The functions -------------------------------------------------------------------------

void Concat(sqlite3_context* ctx, Args a) {
    if (std::all_of(a.begin(), a.end(), [](sqlite3_value* v) { return IsNull(v); })) {
        sqlite3_result_null(ctx);
        return;
    }
    std::string out;
    for (sqlite3_value* v : a) out += TextOf(v);
    ResultText(ctx, out);
}

void Nz(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 1, 2);
    if (!IsNull(a[0]))
        sqlite3_result_value(ctx, a[0]);
    else if (a.size() == 2)
        sqlite3_result_value(ctx, a[1]);
    else
        sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
}

void Mid(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 3);
    if (AnyNull(a.subspan(0, 2)) || (a.size() == 3 && IsNull(a[2])))
        return sqlite3_result_null(ctx);
    const long long start = NeedInt(a[1]);
    const long long len = a.size() == 3 ? NeedInt(a[2]) : -1;
    if (start < 1 || (a.size() == 3 && len < 0)) throw kInvalidCall;
    const std::u32string s = Decode(TextOf(a[0]));
    const auto from =
        static_cast<size_t>(std::min<long long>(start - 1, static_cast<long long>(s.size())));
    const size_t count = len < 0 ? std::u32string::npos : static_cast<size_t>(len);
    ResultText(ctx, Encode(s.substr(from, count)));
}

void Left(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 2);
    if (AnyNull(a.subspan(0, 1))) return sqlite3_result_null(ctx);
    const long long n = NeedInt(a[1]);
    if (n < 0) throw kInvalidCall;
    ResultText(ctx, Encode(Decode(TextOf(a[0])).substr(0, static_cast<size_t>(n))));
}

void Right(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 2);
    if (AnyNull(a.subspan(0, 1))) return sqlite3_result_null(ctx);
    const long long n = NeedInt(a[1]);
    if (n < 0) throw kInvalidCall;
    const std::u32string s = Decode(TextOf(a[0]));
    const size_t keep = std::min(s.size(), static_cast<size_t>(n));
    ResultText(ctx, Encode(s.substr(s.size() - keep)));
}

void Len(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(Decode(TextOf(a[0])).size()));
}

void UCase(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    std::u32string u = Decode(TextOf(a[0]));
    for (char32_t& c : u) c = UpperChar(c);
    ResultText(ctx, Encode(u));
}

void LCase(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultText(ctx, Encode(Lower(Decode(TextOf(a[0])))));
}

template <bool kLeft, bool kRight>
void TrimSpaces(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    std::string s = TextOf(a[0]);
    size_t b = 0, e = s.size();
    if (kLeft)
        while (b < e && s[b] == ' ') ++b;
    if (kRight)
        while (e > b && s[e - 1] == ' ') --e;
    ResultText(ctx, s.substr(b, e - b));
}

void Now(sqlite3_context* ctx, Args) { ResultDate(ctx, NowAsOleDate()); }
void Today(sqlite3_context* ctx, Args) {
    ResultDate(ctx, DayOf(OleDateToCalendar(NowAsOleDate())));
}
void TimeOfDay(sqlite3_context* ctx, Args) {
    CalendarDateTime c = OleDateToCalendar(NowAsOleDate());
    c.year = 1899, c.month = 12, c.day = 30;
    ResultDate(ctx, CalendarToOleDate(c));
}

template <int CalendarDateTime::*kPart>
void DatePart(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, OleDateToCalendar(Need(DateOf(a[0]))).*kPart);
}

void Weekday(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 1, 2);
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const int first = a.size() == 2 && !IsNull(a[1]) ? static_cast<int>(NeedInt(a[1])) : 1;
    sqlite3_result_int(ctx, WeekdayOf(Need(DateOf(a[0])), first == 0 ? 1 : first));
}

void CStr(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultText(ctx, TextOf(a[0]));
}

template <long long kMin, long long kMax>
void CWhole(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const long long v = NeedInt(a[0]);
    if (v < kMin || v > kMax) throw kOverflow;
    sqlite3_result_int64(ctx, v);
}

void CDbl(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    sqlite3_result_double(ctx, Need(NumberOf(a[0])));
}

void CSng(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    sqlite3_result_double(ctx, static_cast<double>(static_cast<float>(Need(NumberOf(a[0])))));
}

void CBool(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(a[0]) == SQLITE_TEXT) {
        const std::string t(Trim(TextOf(a[0])));
        for (const char* yes : {"true", "yes", "on"})
            if (EqualsNoCase(t, yes)) return sqlite3_result_int(ctx, -1);
        for (const char* no : {"false", "no", "off"})
            if (EqualsNoCase(t, no)) return sqlite3_result_int(ctx, 0);
    }
    sqlite3_result_int(ctx, Need(NumberOf(a[0])) != 0 ? -1 : 0);
}

void CDate(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultDate(ctx, Need(DateOf(a[0])));
}

void Val(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(a[0]) != SQLITE_TEXT) return sqlite3_result_value(ctx, a[0]);
    std::string compact;  // Val ignores blanks, tabs and line feeds inside the number
    for (char ch : TextOf(a[0]))
        if (ch != ' ' && ch != '\t' && ch != '\n' && ch != '\r') compact += ch;
    if (compact.size() > 2 && compact[0] == '&' &&
        (compact[1] == 'H' || compact[1] == 'h' || compact[1] == 'O' || compact[1] == 'o')) {
        const int base = (compact[1] == 'H' || compact[1] == 'h') ? 16 : 8;
        return sqlite3_result_int64(ctx, std::strtoll(compact.c_str() + 2, nullptr, base));
    }
    size_t n = 0;
    if (n < compact.size() && (compact[n] == '-' || compact[n] == '+')) ++n;
    while (n < compact.size() && std::isdigit(static_cast<unsigned char>(compact[n]))) ++n;
    if (n < compact.size() && compact[n] == '.') {
        ++n;
        while (n < compact.size() && std::isdigit(static_cast<unsigned char>(compact[n]))) ++n;
    }
    if (n < compact.size() &&
        (compact[n] == 'e' || compact[n] == 'E' || compact[n] == 'd' || compact[n] == 'D')) {
        size_t k = n + 1;
        if (k < compact.size() && (compact[k] == '-' || compact[k] == '+')) ++k;
        if (k < compact.size() && std::isdigit(static_cast<unsigned char>(compact[k]))) {
            compact[n] = 'e';
            while (k < compact.size() && std::isdigit(static_cast<unsigned char>(compact[k]))) ++k;
            n = k;
        }
    }
    const double d = std::strtod(compact.substr(0, n).c_str(), nullptr);
    ResultNumber(ctx, std::isfinite(d) ? d : 0);
}

// Character position (1-based) of `find` in `s` from `start`, 0 when absent.
long long Find(const std::u32string& s, const std::u32string& find, long long start, bool text) {
    if (start < 1) throw kInvalidCall;
    if (static_cast<size_t>(start) > s.size() + (find.empty() ? 1 : 0)) return 0;
    if (find.empty()) return start;
    const std::u32string hay = text ? Lower(s) : s, needle = text ? Lower(find) : find;
    const size_t at = hay.find(needle, static_cast<size_t>(start - 1));
    return at == std::u32string::npos ? 0 : static_cast<long long>(at) + 1;
}

void InStr(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 4);
    const bool withStart = a.size() >= 3;
    const size_t k = withStart ? 1 : 0;
    if (IsNull(a[k]) || IsNull(a[k + 1]) || (withStart && IsNull(a[0])))
        return sqlite3_result_null(ctx);
    const long long start = withStart ? NeedInt(a[0]) : 1;
    const bool text = a.size() == 4 && !IsNull(a[3]) ? NeedInt(a[3]) != 0 : true;
    sqlite3_result_int64(ctx, Find(Decode(TextOf(a[k])), Decode(TextOf(a[k + 1])), start, text));
}

void StrComp(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 2, 3);
    if (IsNull(a[0]) || IsNull(a[1])) return sqlite3_result_null(ctx);
    const bool text = a.size() == 3 && !IsNull(a[2]) ? NeedInt(a[2]) != 0 : true;
    std::u32string x = Decode(TextOf(a[0])), y = Decode(TextOf(a[1]));
    if (text) x = Lower(x), y = Lower(y);
    sqlite3_result_int(ctx, x < y ? -1 : x == y ? 0 : 1);
}

void Int(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultNumber(ctx, std::floor(Need(NumberOf(a[0]))));
}

void Fix(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultNumber(ctx, std::trunc(Need(NumberOf(a[0]))));
}

void Sgn(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const double d = Need(NumberOf(a[0]));
    sqlite3_result_int(ctx, d > 0 ? 1 : d < 0 ? -1 : 0);
}

void Space(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const long long n = NeedInt(a[0]);
    if (n < 0 || n > 1000000) throw kInvalidCall;
    ResultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void String(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    const long long n = NeedInt(a[0]);
    if (n < 0 || n > 1000000) throw kInvalidCall;
    char32_t ch = 0;
    if (sqlite3_value_type(a[1]) == SQLITE_TEXT) {
        const std::u32string s = Decode(TextOf(a[1]));
        if (s.empty()) throw kInvalidCall;
        ch = s[0];
    } else {
        const long long code = NeedInt(a[1]);
        if (code < 0 || code > 0x10FFFF) throw kInvalidCall;
        ch = static_cast<char32_t>(code);
    }
    ResultText(ctx, Encode(std::u32string(static_cast<size_t>(n), ch)));
}

void IsNullFn(sqlite3_context* ctx, Args a) { sqlite3_result_int(ctx, IsNull(a[0]) ? -1 : 0); }

void ReplaceFn(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 3, 6);
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    const std::u32string s = Decode(TextOf(a[0])), find = Decode(TextOf(a[1])),
                         with = Decode(TextOf(a[2]));
    const long long start = a.size() >= 4 ? NeedInt(a[3]) : 1;
    long long count = a.size() >= 5 ? NeedInt(a[4]) : -1;
    const bool text = a.size() == 6 && NeedInt(a[5]) != 0;
    if (start < 1 || count < -1) throw kInvalidCall;
    if (static_cast<size_t>(start) > s.size())
        return sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
    const std::u32string rest = s.substr(static_cast<size_t>(start - 1));
    if (find.empty()) return ResultText(ctx, Encode(rest));
    const std::u32string hay = text ? Lower(rest) : rest, needle = text ? Lower(find) : find;
    std::u32string out;
    size_t pos = 0;
    while (count != 0) {
        const size_t at = hay.find(needle, pos);
        if (at == std::u32string::npos) break;
        out += rest.substr(pos, at - pos);
        out += with;
        pos = at + find.size();
        if (count > 0) --count;
    }
    out += rest.substr(pos);
    ResultText(ctx, Encode(out));
}

void DateSerial(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    long long y = NeedInt(a[0]);
    const long long m = NeedInt(a[1]), d = NeedInt(a[2]);
    if (y >= 0 && y < 30)
        y += 2000;
    else if (y >= 30 && y < 100)
        y += 1900;
    const long long total = y * 12 + (m - 1);
    const long long year = FloorDiv(total, 12), month = total - year * 12 + 1;
    if (year < 100 || year > 9999 || std::llabs(d) > 4000000) throw kInvalidCall;
    const double first =
        CalendarToOleDate({static_cast<int>(year), static_cast<int>(month), 1, 0, 0, 0});
    const double day = first + static_cast<double>(d - 1);
    if (day < -657434 || day > 2958465) throw kInvalidCall;
    ResultDate(ctx, day);
}

void DateValue(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultDate(ctx, DayOf(OleDateToCalendar(Need(DateOf(a[0])))));
}

void DateAddFn(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    ResultDate(ctx, DateAdd(IntervalOf(a[0]), NeedInt(a[1]), Need(DateOf(a[2]))));
}

void DateDiffFn(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 3, 5);
    if (AnyNull(a.subspan(0, 3))) return sqlite3_result_null(ctx);
    const int first = a.size() >= 4 && !IsNull(a[3]) ? static_cast<int>(NeedInt(a[3])) : 1;
    sqlite3_result_int64(ctx, DateDiff(IntervalOf(a[0]), Need(DateOf(a[1])), Need(DateOf(a[2])),
                                       first == 0 ? 1 : first));
}

void Asc(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const std::u32string s = Decode(TextOf(a[0]));
    if (s.empty()) throw kInvalidCall;
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(s[0]));
}

void Chr(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const long long code = NeedInt(a[0]);
    if (code < 0 || code > 0xFFFF) throw kInvalidCall;
    ResultText(ctx, Encode(std::u32string(1, static_cast<char32_t>(code))));
}

void Format(sqlite3_context* ctx, Args a) {
    NeedArgs(a, 1, 4);
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    const std::string fmt = a.size() >= 2 && !IsNull(a[1]) ? TextOf(a[1]) : "";
    const int type = sqlite3_value_type(a[0]);
    const bool isNumber = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
    ResultText(ctx,
               JetFormat(TextOf(a[0]), isNumber, isNumber ? sqlite3_value_double(a[0]) : 0, fmt));
}

void Pow(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    const double r = std::pow(Need(NumberOf(a[0])), Need(NumberOf(a[1])));
    if (!std::isfinite(r)) throw kInvalidCall;
    ResultNumber(ctx, r);
}

void IntDiv(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    const long long x = NeedInt(a[0]), y = NeedInt(a[1]);
    if (y == 0) throw kDivisionByZero;
    sqlite3_result_int64(ctx, x / y);
}

// --- + and - -------------------------------------------------------------------------------

// Jet's + and - see a date as its day count; this engine stores dates as text, which SQLite's
// own arithmetic would read as the year alone. So both run here, with Jet's rules: a date
// plus or minus a number is a date, the difference of two dates a number of days, two texts
// joined by + are concatenated, and a whole number plus a whole number stays whole.
struct Operand {
    enum Kind { Whole, Real, Date, Text } kind = Whole;
    sqlite3_int64 whole = 0;
    double real = 0;  // Real; Date: the day count
    std::string_view text;

    double Number() const { return kind == Whole ? static_cast<double>(whole) : real; }
};

// Only the stored form reads as a date ("2005-03-04" or "2005-03-04 10:00:00"): other texts
// ParseDateText accepts, such as "12:30" or "4.3.2005", are texts to + as they are to Jet.
// Read by hand, as + and - may run for every row of a large table.
std::optional<double> StoredDate(std::string_view t) {
    static constexpr std::string_view kShape = "0000-00-00 00:00:00";
    if (t.size() != 10 && t.size() != kShape.size()) return std::nullopt;
    for (size_t i = 0; i < t.size(); ++i) {
        const bool ok = kShape[i] == '0' ? (t[i] >= '0' && t[i] <= '9') : t[i] == kShape[i];
        if (!ok) return std::nullopt;
    }
    const auto field = [t](size_t at, size_t len) {
        int v = 0;
        for (size_t i = at; i < at + len && i < t.size(); ++i) v = v * 10 + (t[i] - '0');
        return v;
    };
    const CalendarDateTime c{field(0, 4),  field(5, 2),  field(8, 2),
                             field(11, 2), field(14, 2), field(17, 2)};
    if (c.year < 100 || c.month < 1 || c.month > 12 || c.day < 1 ||
        c.day > DaysInMonth(c.year, c.month) || c.hour > 23 || c.minute > 59 || c.second > 59)
        return std::nullopt;
    return CalendarToOleDate(c);
}

Operand OperandOf(sqlite3_value* v) {
    Operand o;
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            o.whole = sqlite3_value_int64(v);
            return o;
        case SQLITE_FLOAT:
            o.kind = Operand::Real;
            o.real = sqlite3_value_double(v);
            return o;
        case SQLITE_TEXT: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
            o.text = std::string_view(p ? p : "", static_cast<size_t>(sqlite3_value_bytes(v)));
            const auto d = StoredDate(o.text);
            o.kind = d ? Operand::Date : Operand::Text;
            o.real = d.value_or(0);
            return o;
        }
        default:
            throw kMismatch;
    }
}

// A text operand read as a number, whole where it is written as one.
std::optional<Operand> NumericText(std::string_view text) {
    const std::string s(Trim(text));
    if (s.empty()) return std::nullopt;
    Operand o;
    char* end = nullptr;
    errno = 0;
    const long long whole = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str() + s.size() && errno == 0) {
        o.whole = whole;
        return o;
    }
    const auto d = ParseNumber(s);
    if (!d) return std::nullopt;
    o.kind = Operand::Real;
    o.real = *d;
    return o;
}

void ResultDayCount(sqlite3_context* ctx, double days) {
    // Jet's dates run from the year 100 to 9999.
    if (!(days >= -657434.0 && days < 2958466.0)) throw kOverflow;
    ResultDate(ctx, days);
}

void ResultSum(sqlite3_context* ctx, const Operand& x, const Operand& y, bool subtract) {
    if (x.kind == Operand::Whole && y.kind == Operand::Whole) {
        sqlite3_int64 r = 0;
        const bool overflow = subtract ? __builtin_sub_overflow(x.whole, y.whole, &r)
                                       : __builtin_add_overflow(x.whole, y.whole, &r);
        if (!overflow) return sqlite3_result_int64(ctx, r);
    }
    const double r = subtract ? x.Number() - y.Number() : x.Number() + y.Number();
    if (x.kind == Operand::Date || y.kind == Operand::Date) {
        if (subtract && x.kind == Operand::Date && y.kind == Operand::Date)  // days between
            return ResultNumber(ctx, std::round(r * 86400.0) / 86400.0);     // to whole seconds
        return ResultDayCount(ctx, r);
    }
    sqlite3_result_double(ctx, r);
}

template <bool kSubtract>
void AddOrSubtract(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    const Operand x = OperandOf(a[0]), y = OperandOf(a[1]);
    const bool xText = x.kind == Operand::Text, yText = y.kind == Operand::Text;
    if (!xText && !yText) return ResultSum(ctx, x, y, kSubtract);
    const auto nx = xText ? NumericText(x.text) : std::optional<Operand>(x);
    const auto ny = yText ? NumericText(y.text) : std::optional<Operand>(y);
    // Two texts (a stored date is one as well) are concatenated by +, unless a date meets a
    // number: that is date arithmetic.
    const bool xStored = xText || x.kind == Operand::Date;
    const bool yStored = yText || y.kind == Operand::Date;
    if (!kSubtract && xStored && yStored && ((xText && yText) || !nx || !ny)) {
        std::string out(x.text);
        out += y.text;
        return ResultText(ctx, out);
    }
    if (!nx || !ny) throw kMismatch;
    ResultSum(ctx, *nx, *ny, kSubtract);
}

void Like(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, JetLikeMatches(TextOf(a[0]), TextOf(a[1])) ? -1 : 0);
}

// First and Last: the value of the first or last row of the group, Null included.
template <bool kLast>
void FirstLastStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto** slot = static_cast<sqlite3_value**>(
        sqlite3_aggregate_context(ctx, sizeof(sqlite3_value*) + sizeof(int)));
    if (!slot) return sqlite3_result_error_nomem(ctx);
    int* seen = reinterpret_cast<int*>(slot + 1);
    if (*seen && !kLast) return;
    sqlite3_value_free(*slot);
    *slot = sqlite3_value_dup(argv[0]);
    *seen = 1;
}

void FirstLastFinal(sqlite3_context* ctx) {
    auto** slot = static_cast<sqlite3_value**>(sqlite3_aggregate_context(ctx, 0));
    if (!slot || !*slot) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, *slot);
    sqlite3_value_free(*slot);
    *slot = nullptr;
}

struct Scalar {
    const char* name;
    int args;  // -1: any number, checked by the function
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic = true;
};

}  // namespace

bool JetLikeMatches(std::string_view text, std::string_view pattern) {
    return MatchPattern(Decode(text), ParsePattern(Decode(pattern)));
}

std::string JetFormat(std::string_view valueText, bool valueIsNumber, double number,
                      std::string_view formatText) {
    if (valueIsNumber) {
        if (IsDateFormat(formatText)) return FormatDate(number, formatText);
        return FormatNumber(number, formatText);
    }
    const auto date = ParseDateText(valueText);
    const auto num = ParseNumber(valueText);
    if (formatText.empty()) return std::string(valueText);
    if (date && (IsDateFormat(formatText) || !num)) return FormatDate(*date, formatText);
    if (num && !IsDateFormat(formatText)) return FormatNumber(*num, formatText);
    if (num) return FormatDate(*num, formatText);
    return FormatText(valueText, formatText);
}

void RegisterJetFunctions(sqlite3* db) {
    // A double-quoted name that names no column must be an error (Jet's "too few
    // parameters"), not the string SQLite would otherwise make of it.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);

    static const Scalar kScalars[] = {
        {"jet_concat", -1, Call<Concat>},
        {"jet_nz", -1, Call<Nz>},
        {"jet_mid", -1, Call<Mid>},
        {"jet_left", 2, Call<Left>},
        {"jet_right", 2, Call<Right>},
        {"jet_len", 1, Call<Len>},
        {"jet_ucase", 1, Call<UCase>},
        {"jet_lcase", 1, Call<LCase>},
        {"jet_trim", 1, Call<TrimSpaces<true, true>>},
        {"jet_ltrim", 1, Call<TrimSpaces<true, false>>},
        {"jet_rtrim", 1, Call<TrimSpaces<false, true>>},
        {"jet_now", 0, Call<Now>, false},
        {"jet_date", 0, Call<Today>, false},
        {"jet_time", 0, Call<TimeOfDay>, false},
        {"jet_year", 1, Call<DatePart<&CalendarDateTime::year>>},
        {"jet_month", 1, Call<DatePart<&CalendarDateTime::month>>},
        {"jet_day", 1, Call<DatePart<&CalendarDateTime::day>>},
        {"jet_hour", 1, Call<DatePart<&CalendarDateTime::hour>>},
        {"jet_minute", 1, Call<DatePart<&CalendarDateTime::minute>>},
        {"jet_second", 1, Call<DatePart<&CalendarDateTime::second>>},
        {"jet_weekday", -1, Call<Weekday>},
        {"jet_cstr", 1, Call<CStr>},
        {"jet_clng", 1, Call<CWhole<-2147483648LL, 2147483647LL>>},
        {"jet_cint", 1, Call<CWhole<-32768, 32767>>},
        {"jet_cdbl", 1, Call<CDbl>},
        {"jet_csng", 1, Call<CSng>},
        {"jet_cbool", 1, Call<CBool>},
        {"jet_cdate", 1, Call<CDate>},
        {"jet_val", 1, Call<Val>},
        {"jet_instr", -1, Call<InStr>},
        {"jet_strcomp", -1, Call<StrComp>},
        {"jet_int", 1, Call<Int>},
        {"jet_fix", 1, Call<Fix>},
        {"jet_sgn", 1, Call<Sgn>},
        {"jet_space", 1, Call<Space>},
        {"jet_string", 2, Call<String>},
        {"jet_isnull", 1, Call<IsNullFn>},
        {"jet_replace", -1, Call<ReplaceFn>},
        {"jet_dateserial", 3, Call<DateSerial>},
        {"jet_datevalue", 1, Call<DateValue>},
        {"jet_dateadd", 3, Call<DateAddFn>},
        {"jet_datediff", -1, Call<DateDiffFn>},
        {"jet_asc", 1, Call<Asc>},
        {"jet_chr", 1, Call<Chr>},
        {"jet_format", -1, Call<Format>},
        {"jet_pow", 2, Call<Pow>},
        {"jet_intdiv", 2, Call<IntDiv>},
        {"jet_add", 2, Call<AddOrSubtract<false>>},
        {"jet_sub", 2, Call<AddOrSubtract<true>>},
        {"jet_like", 2, Call<Like>},
    };
    for (const Scalar& f : kScalars) {
        const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
        if (sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr,
                                       nullptr) != SQLITE_OK)
            ThrowJetError(jet::kEngineFailure, sqlite3_errmsg(db));
    }
    for (const auto& [name, step] : {std::pair{"jet_first", &FirstLastStep<false>},
                                     std::pair{"jet_last", &FirstLastStep<true>}}) {
        if (sqlite3_create_function_v2(db, name, 1, SQLITE_UTF8, nullptr, nullptr, step,
                                       FirstLastFinal, nullptr) != SQLITE_OK)
            ThrowJetError(jet::kEngineFailure, sqlite3_errmsg(db));
    }
}

}  // namespace platform
