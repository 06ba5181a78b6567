#include "platform/DateConversion.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

namespace platform {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
constexpr long long kOleEpochDays = -25569;
// 9999-12-31, the last day Jet holds.
constexpr long long kLastDay = 2958465;

bool ValidDate(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

bool ValidTime(int h, int mi, int s) {
    return h >= 0 && h < 24 && mi >= 0 && mi < 60 && s >= 0 && s < 60;
}

// Writes `value` as `width` digits at `out` (value < 10^width, not negative).
void PutDigits(char* out, int value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
}

int Digits(std::string_view text, size_t at, size_t width) {
    int value = 0;
    for (size_t i = at; i < at + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The stored form "YYYY-MM-DD HH:MM:SS" exactly, which is nearly every date the engine reads;
// nothing for anything else, which the general parser then takes.
std::optional<CalendarDateTime> StoredForm(std::string_view text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const CalendarDateTime c{Digits(text, 0, 4),  Digits(text, 5, 2),  Digits(text, 8, 2),
                             Digits(text, 11, 2), Digits(text, 14, 2), Digits(text, 17, 2)};
    if (c.year < 0 || c.month < 0 || c.day < 0 || c.hour < 0 || c.minute < 0 || c.second < 0)
        return std::nullopt;
    return c;
}

}  // namespace

CalendarDateTime OleDateToCalendar(double oleDate) {
    // Outside Jet's years 100 to 9999 there is no date to give; keep the arithmetic below
    // defined (callers refuse such values before they get here).
    if (!(oleDate >= -657434.0 && oleDate < 2958466.0)) oleDate = 0;
    // Jet counts the time forward from the day even for negative day numbers.
    double dayPart = std::trunc(oleDate);
    double fraction = std::fabs(oleDate - dayPart);
    long long seconds = std::llround(fraction * 86400.0);
    long long day = static_cast<long long>(dayPart);
    if (seconds >= 86400) {
        if (day >= kLastDay) {
            seconds = 86399;  // no day follows 9999-12-31: a year of five digits reads as nothing
        } else {
            seconds -= 86400;
            ++day;  // the next calendar day, also for negative day numbers
        }
    }
    CalendarDateTime c;
    CivilFromDays(day + kOleEpochDays, c.year, c.month, c.day);
    c.hour = static_cast<int>(seconds / 3600);
    c.minute = static_cast<int>(seconds / 60 % 60);
    c.second = static_cast<int>(seconds % 60);
    return c;
}

double CalendarToOleDate(const CalendarDateTime& c) {
    const long long day =
        DaysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day)) -
        kOleEpochDays;
    const double fraction = (c.hour * 3600.0 + c.minute * 60.0 + c.second) / 86400.0;
    return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

void FormatStoredDate(double oleDate, std::span<char, 19> out) {
    // The calendar keeps the year within 100 to 9999, so four digits always hold it.
    const CalendarDateTime c = OleDateToCalendar(oleDate);
    char* text = out.data();
    PutDigits(&text[0], c.year, 4);
    text[4] = '-';
    PutDigits(&text[5], c.month, 2);
    text[7] = '-';
    PutDigits(&text[8], c.day, 2);
    text[10] = ' ';
    PutDigits(&text[11], c.hour, 2);
    text[13] = ':';
    PutDigits(&text[14], c.minute, 2);
    text[16] = ':';
    PutDigits(&text[17], c.second, 2);
}

std::string FormatStoredDate(double oleDate) {
    std::string text(19, ' ');
    FormatStoredDate(oleDate, std::span<char, 19>(text.data(), 19));
    return text;
}

std::optional<double> ParseDateText(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty() || text.size() > 40) return std::nullopt;
    if (const std::optional<CalendarDateTime> stored = StoredForm(text)) {
        if (!ValidDate(stored->year, stored->month, stored->day) || stored->year < 100 ||
            !ValidTime(stored->hour, stored->minute, stored->second)) {
            return std::nullopt;
        }
        return CalendarToOleDate(*stored);
    }
    const std::string s(text);

    CalendarDateTime c;
    int consumed = 0;
    int a = 0, b = 0, d = 0;
    const char* rest = nullptr;
    if (std::sscanf(s.c_str(), "%d-%d-%d%n", &a, &b, &d, &consumed) == 3 && s[0] != '-') {
        c.year = a, c.month = b, c.day = d;
    } else if (std::sscanf(s.c_str(), "%d.%d.%d%n", &a, &b, &d, &consumed) == 3) {
        c.day = a, c.month = b, c.year = d;
    } else if (std::sscanf(s.c_str(), "%d/%d/%d%n", &a, &b, &d, &consumed) == 3) {
        c.month = a, c.day = b, c.year = d;
    } else {
        consumed = -1;
    }
    if (consumed >= 0) {
        if (!ValidDate(c.year, c.month, c.day) || c.year < 100) return std::nullopt;
        rest = s.c_str() + consumed;
        if (*rest == 'T' || *rest == ' ') ++rest;
        while (*rest == ' ') ++rest;
    } else {
        rest = s.c_str();  // a bare time
    }
    if (*rest != '\0') {
        int h = 0, mi = 0, sec = 0, n = 0;
        const int got = std::sscanf(rest, "%d:%d%n:%d%n", &h, &mi, &n, &sec, &n);
        if (got < 2 || rest[n] != '\0' || !ValidTime(h, mi, got == 3 ? sec : 0)) {
            return std::nullopt;
        }
        c.hour = h, c.minute = mi, c.second = got == 3 ? sec : 0;
    } else if (consumed < 0) {
        return std::nullopt;
    }
    return CalendarToOleDate(c);
}

double NowAsOleDate() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    CalendarDateTime c{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
    return CalendarToOleDate(c);
}

}  // namespace platform
