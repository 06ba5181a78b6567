#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/DateConversion.h"
#include "platform/jetsql/JetFunctionSupport.h"

// Jet's date functions (Now, Year, DateAdd, DateDiff, DateSerial, ...) and the date half of
// Format. Dates arrive as stored text or day counts and leave as stored text.

namespace platform {

double DayOf(const CalendarDateTime& c) {
    return CalendarToOleDate(CalendarDateTime{c.year, c.month, c.day, 0, 0, 0});
}

int WeekdayOf(double ole, int firstDay) {
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

namespace {

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

double AddMonths(double ole, long long months) {
    CalendarDateTime c = OleDateToCalendar(ole);
    const long long total = c.year * 12LL + (c.month - 1) + months;
    if (total < 100 * 12 || total > 9999 * 12 + 11) throw kInvalidCall;
    c.year = static_cast<int>(total / 12);
    c.month = static_cast<int>(total % 12) + 1;
    c.day = std::min(c.day, DaysInMonth(c.year, c.month));
    return CalendarToOleDate(c);
}

std::string IntervalOf(sqlite3_value* v) { return LowerName(TrimSpace(TextOf(v))); }

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

bool StartsNoCase(std::string_view s, size_t at, std::string_view prefix) {
    return s.size() - at >= prefix.size() && EqualsNoCase(s.substr(at, prefix.size()), prefix);
}

// ASCII lower case of a format character; tolower would follow the process locale.
char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; }

// The regional formats follow English/US, the convention of dbLangGeneral databases, whatever
// the process locale.
constexpr const char* kShortDate = "m/d/yyyy";
constexpr const char* kLongDate = "dddd, mmmm d, yyyy";
constexpr const char* kLongTime = "h:nn:ss AM/PM";

std::string NamedDateFormat(double ole, std::string_view name, bool* known) {
    *known = true;
    const CalendarDateTime c = OleDateToCalendar(ole);
    if (EqualsNoCase(name, "General Date")) {
        const bool hasDate = DayOf(c) != 0, hasTime = c.hour || c.minute || c.second;
        std::string out = hasDate || !hasTime ? FormatDate(ole, kShortDate) : "";
        if (hasTime) out += (out.empty() ? "" : " ") + FormatDate(ole, kLongTime);
        return out;
    }
    if (EqualsNoCase(name, "Long Date")) return FormatDate(ole, kLongDate);
    if (EqualsNoCase(name, "Medium Date")) return FormatDate(ole, "dd-mmm-yy");
    if (EqualsNoCase(name, "Short Date")) return FormatDate(ole, kShortDate);
    if (EqualsNoCase(name, "Long Time")) return FormatDate(ole, kLongTime);
    if (EqualsNoCase(name, "Medium Time")) return FormatDate(ole, "hh:nn AM/PM");
    if (EqualsNoCase(name, "Short Time")) return FormatDate(ole, "hh:nn");
    *known = false;
    return {};
}

}  // namespace

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
        const char lc = AsciiLower(ch);
        size_t run = 1;
        while (i + run < fmt.size() && AsciiLower(fmt[i + run]) == lc) ++run;
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
                for (char& m : mark) m = AsciiLower(m);
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
                    out += FormatDate(ole, kShortDate);
                else
                    out += FormatDate(ole, kLongDate);
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

// A format text that shows a date rather than a number.
bool IsDateFormat(std::string_view fmt) {
    bool named = false;
    NamedDateFormat(0, fmt, &named);
    if (named) return true;
    bool quoted = false, dateChars = false;
    for (size_t i = 0; i < fmt.size(); ++i) {
        const char ch = AsciiLower(fmt[i]);
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

namespace {

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

void CDate(sqlite3_context* ctx, Args a) {
    if (IsNull(a[0])) return sqlite3_result_null(ctx);
    ResultDate(ctx, Need(DateOf(a[0])));
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

}  // namespace

std::span<const ScalarFunction> DateFunctions() {
    static const ScalarFunction kFunctions[] = {
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
        {"jet_cdate", 1, Call<CDate>},
        {"jet_dateserial", 3, Call<DateSerial>},
        {"jet_datevalue", 1, Call<DateValue>},
        {"jet_dateadd", 3, Call<DateAddFn>},
        {"jet_datediff", -1, Call<DateDiffFn>},
    };
    return kFunctions;
}

}  // namespace platform
