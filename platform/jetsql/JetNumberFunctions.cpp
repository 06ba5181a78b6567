#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/DateConversion.h"
#include "platform/jetsql/JetFunctionSupport.h"
#include "platform/jetsql/JetFunctions.h"
#include "platform/jetsql/JetText.h"

// Jet's number functions (CLng, CDbl, Val, Int, ...), the operators ^, \, + and -, and Format,
// which shows numbers, dates and texts.

namespace platform {
namespace {

// --- Format --------------------------------------------------------------------------------

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
    const auto written =
        std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, maxDec);
    std::string digits(buf, written.ec == std::errc() ? written.ptr : buf);
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

bool IsNamedNumberFormat(std::string_view fmt) {
    for (const char* name : {"General Number", "Fixed", "Standard", "Percent", "Currency",
                             "Scientific", "Yes/No", "True/False", "On/Off"})
        if (EqualsNoCase(fmt, name)) return true;
    return false;
}

std::string FormatNumber(double v, std::string_view fmt) {
    if (fmt.empty() || EqualsNoCase(fmt, "General Number")) return NumberText(v);
    if (EqualsNoCase(fmt, "Fixed")) return FormatNumber(v, "0.00");
    if (EqualsNoCase(fmt, "Standard")) return FormatNumber(v, "#,##0.00");
    if (EqualsNoCase(fmt, "Percent")) return FormatNumber(v, "0.00%");
    // English/US, the convention of dbLangGeneral databases, whatever the process locale.
    if (EqualsNoCase(fmt, "Currency")) return FormatNumber(v, "$#,##0.00;($#,##0.00)");
    if (EqualsNoCase(fmt, "Scientific")) {
        char buf[64];
        const auto written =
            std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 2);
        std::string out(buf, written.ec == std::errc() ? written.ptr : buf);
        std::replace(out.begin(), out.end(), 'e', 'E');
        return out;
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

std::string FormatText(std::string_view text, std::string_view fmt) {
    if (fmt.find('>') != std::string_view::npos) return EncodeUtf8(UpperText(DecodeUtf8(text)));
    if (fmt.find('<') != std::string_view::npos) return EncodeUtf8(LowerText(DecodeUtf8(text)));
    return std::string(text);
}

// --- The functions -------------------------------------------------------------------------

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
        const std::string t(TrimSpace(TextOf(a[0])));
        for (const char* yes : {"true", "yes", "on"})
            if (EqualsNoCase(t, yes)) return sqlite3_result_int(ctx, -1);
        for (const char* no : {"false", "no", "off"})
            if (EqualsNoCase(t, no)) return sqlite3_result_int(ctx, 0);
    }
    sqlite3_result_int(ctx, Need(NumberOf(a[0])) != 0 ? -1 : 0);
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
    std::string_view number(compact.data(), n);
    if (!number.empty() && number.front() == '+') number.remove_prefix(1);
    double d = 0;
    if (std::from_chars(number.data(), number.data() + number.size(), d).ec != std::errc()) d = 0;
    ResultNumber(ctx, std::isfinite(d) ? d : 0);
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

// --- Xor, Eqv, Imp ------------------------------------------------------------------------

// Bitwise on whole numbers, as Jet's; True is -1, so on truth values they are the logical
// operators. Null in either operand gives Null, except where Imp's answer does not depend on
// it: False Imp Null and Null Imp True are True.
void Xor(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, NeedInt(a[0]) ^ NeedInt(a[1]));
}

void Eqv(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, ~(NeedInt(a[0]) ^ NeedInt(a[1])));
}

void Imp(sqlite3_context* ctx, Args a) {
    const bool nullLeft = IsNull(a[0]), nullRight = IsNull(a[1]);
    if (nullLeft && nullRight) return sqlite3_result_null(ctx);
    if (nullLeft) {
        const long long y = NeedInt(a[1]);
        return y == -1 ? sqlite3_result_int64(ctx, -1) : sqlite3_result_null(ctx);
    }
    const long long x = NeedInt(a[0]);
    if (nullRight) return x == 0 ? sqlite3_result_int64(ctx, -1) : sqlite3_result_null(ctx);
    sqlite3_result_int64(ctx, ~x | NeedInt(a[1]));
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
    const std::string s(TrimSpace(text));
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

// The outcome of one + or -, kept so that it can be the left operand of the next.
struct Sum {
    enum Kind { Whole, Real, Number, Text } kind = Whole;  // Number: whole or not, as it falls
    sqlite3_int64 whole = 0;
    double real = 0;
    std::string text;  // Text; a date is the stored date text
};

Sum DayCount(double days) {
    // Jet's dates run from the year 100 to 9999.
    if (!(days >= -657434.0 && days < 2958466.0)) throw kOverflow;
    return Sum{Sum::Text, 0, 0, FormatStoredDate(days)};
}

Sum NumericSum(const Operand& x, const Operand& y, bool subtract) {
    if (x.kind == Operand::Whole && y.kind == Operand::Whole) {
        sqlite3_int64 r = 0;
        const bool overflow = subtract ? __builtin_sub_overflow(x.whole, y.whole, &r)
                                       : __builtin_add_overflow(x.whole, y.whole, &r);
        if (!overflow) return Sum{Sum::Whole, r, 0, {}};
    }
    long long sx = 0, sy = 0, sr = 0;
    if (x.kind != Operand::Date && y.kind != Operand::Date && HasFourPlaces(x.Number(), sx) &&
        HasFourPlaces(y.Number(), sy) &&
        !(subtract ? __builtin_sub_overflow(sx, sy, &sr) : __builtin_add_overflow(sx, sy, &sr))) {
        // Currency values (four places) add up exactly, as in Jet: 0.1 + 0.2 is 0.3.
        return Sum{Sum::Real, 0, static_cast<double>(sr) / 10000.0, {}};
    }
    const double r = subtract ? x.Number() - y.Number() : x.Number() + y.Number();
    if (x.kind == Operand::Date || y.kind == Operand::Date) {
        if (subtract && x.kind == Operand::Date && y.kind == Operand::Date)     // days between
            return Sum{Sum::Number, 0, std::round(r * 86400.0) / 86400.0, {}};  // whole seconds
        return DayCount(r);
    }
    return Sum{Sum::Real, 0, r, {}};
}

Sum AddStep(const Operand& x, const Operand& y, bool subtract) {
    const bool xText = x.kind == Operand::Text, yText = y.kind == Operand::Text;
    if (!xText && !yText) return NumericSum(x, y, subtract);
    const auto nx = xText ? NumericText(x.text) : std::optional<Operand>(x);
    const auto ny = yText ? NumericText(y.text) : std::optional<Operand>(y);
    // Two texts (a stored date is one as well) are concatenated by +, unless a date meets a
    // number: that is date arithmetic.
    const bool xStored = xText || x.kind == Operand::Date;
    const bool yStored = yText || y.kind == Operand::Date;
    if (!subtract && xStored && yStored && ((xText && yText) || !nx || !ny)) {
        std::string out(x.text);
        out += y.text;
        return Sum{Sum::Text, 0, 0, std::move(out)};
    }
    if (!nx || !ny) throw kMismatch;
    return NumericSum(*nx, *ny, subtract);
}

void ResultOf(sqlite3_context* ctx, const Sum& r) {
    switch (r.kind) {
        case Sum::Whole:
            return sqlite3_result_int64(ctx, r.whole);
        case Sum::Real:
            return sqlite3_result_double(ctx, r.real);
        case Sum::Number:
            return ResultNumber(ctx, r.real);
        case Sum::Text:
            return ResultText(ctx, r.text);
    }
}

// The outcome as the next step's left operand, read as it would be read back from SQLite.
// `r` must outlive the operand, which may view its text.
Operand OperandOf(const Sum& r) {
    Operand o;
    switch (r.kind) {
        case Sum::Whole:
            o.whole = r.whole;
            return o;
        case Sum::Number:
            if (r.real == std::trunc(r.real) && std::fabs(r.real) < 9e15) {
                o.whole = static_cast<sqlite3_int64>(r.real);
                return o;
            }
            [[fallthrough]];
        case Sum::Real:
            o.kind = Operand::Real;
            o.real = r.real;
            return o;
        case Sum::Text: {
            o.text = r.text;
            const auto d = StoredDate(o.text);
            o.kind = d ? Operand::Date : Operand::Text;
            o.real = d.value_or(0);
            return o;
        }
    }
    return o;
}

template <bool kSubtract>
void AddOrSubtract(sqlite3_context* ctx, Args a) {
    if (AnyNull(a)) return sqlite3_result_null(ctx);
    ResultOf(ctx, AddStep(OperandOf(a[0]), OperandOf(a[1]), kSubtract));
}

// A chain a + b - c ... in one call, taken from the left: the last argument spells the
// operators ("+-"), one for each operand after the first. Flat, because SQLite parses only
// some thirty nested calls; Null anywhere makes the rest Null, as in Jet.
void AddChain(sqlite3_context* ctx, Args a) {
    if (a.size() < 3) throw kInvalidCall;
    const std::string ops = TextOf(a[a.size() - 1]);
    if (ops.size() != a.size() - 2) throw kInvalidCall;
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    Sum acc;
    for (size_t k = 0; k < ops.size(); ++k) {
        if (IsNull(a[k + 1])) return sqlite3_result_null(ctx);
        const Operand y = OperandOf(a[k + 1]);
        acc = k == 0 ? AddStep(OperandOf(a[0]), y, ops[k] == '-')
                     : AddStep(OperandOf(acc), y, ops[k] == '-');
    }
    ResultOf(ctx, acc);
}

}  // namespace

std::string JetFormat(std::string_view valueText, bool valueIsNumber, double number,
                      std::string_view formatText) {
    // "Currency" and "Scientific" hold letters of date formats; they are number formats.
    const bool dateFormat = IsDateFormat(formatText) && !IsNamedNumberFormat(formatText);
    if (valueIsNumber) {
        if (dateFormat) return FormatDate(number, formatText);
        return FormatNumber(number, formatText);
    }
    const auto date = ParseDateText(valueText);
    const auto num = ParseNumber(valueText);
    if (formatText.empty()) return std::string(valueText);
    if (date && (dateFormat || !num)) return FormatDate(*date, formatText);
    if (num && !dateFormat) return FormatNumber(*num, formatText);
    if (num) return FormatDate(*num, formatText);
    return FormatText(valueText, formatText);
}

std::span<const ScalarFunction> NumberFunctions() {
    static const ScalarFunction kFunctions[] = {
        {"jet_clng", 1, Call<CWhole<-2147483648LL, 2147483647LL>>},
        {"jet_cint", 1, Call<CWhole<-32768, 32767>>},
        {"jet_cdbl", 1, Call<CDbl>},
        {"jet_csng", 1, Call<CSng>},
        {"jet_cbool", 1, Call<CBool>},
        {"jet_val", 1, Call<Val>},
        {"jet_int", 1, Call<Int>},
        {"jet_fix", 1, Call<Fix>},
        {"jet_sgn", 1, Call<Sgn>},
        {"jet_format", -1, Call<Format>},
        {"jet_pow", 2, Call<Pow>},
        {"jet_intdiv", 2, Call<IntDiv>},
        {"jet_xor", 2, Call<Xor>},
        {"jet_eqv", 2, Call<Eqv>},
        {"jet_imp", 2, Call<Imp>},
        {"jet_add", 2, Call<AddOrSubtract<false>>},
        {"jet_sub", 2, Call<AddOrSubtract<true>>},
        {"jet_addchain", -1, Call<AddChain>},
    };
    return kFunctions;
}

}  // namespace platform
