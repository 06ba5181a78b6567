// Conversions between Jet's date representation and calendar dates and texts.
//
// Jet holds a date as a double: whole days since 1899-12-30, the fraction being the time of
// day. Negative values count days backwards while the fraction still counts forward
// (-1.25 is 1899-12-29 06:00). In database files of this engine dates are stored as text
// "YYYY-MM-DD HH:MM:SS", which SQLite tools show readably and which sorts and compares like the
// dates themselves for the years 100 to 9999 that Jet allows.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

struct CalendarDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Whole seconds: the fraction is rounded to the nearest second, as DAO shows dates.
CalendarDateTime OleDateToCalendar(double oleDate);
double CalendarToOleDate(const CalendarDateTime& c);

// "YYYY-MM-DD HH:MM:SS".
std::string FormatStoredDate(double oleDate);
// The same 19 characters written into `out`, for copies of many rows that should not allocate.
void FormatStoredDate(double oleDate, std::span<char, 19> out);
// Parses the stored form and the forms people write: "YYYY-MM-DD[ HH:MM[:SS]]",
// "YYYY-MM-DDTHH:MM:SS", "DD.MM.YYYY[ HH:MM[:SS]]", "M/D/YYYY[ HH:MM[:SS]]" (Jet's #...#
// literal order) and a bare time "HH:MM[:SS]". Gives nothing for anything else or an
// impossible date.
std::optional<double> ParseDateText(std::string_view text);

// The current local date and time as a Jet date.
double NowAsOleDate();

}  // namespace platform
