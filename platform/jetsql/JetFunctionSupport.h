// What the Jet function files share: reading SQLite arguments as Jet reads values, writing
// results, the errors a function raises, and the registration entry of one function.
//
// Each function file (text, number and format, date) lists its functions as
// ScalarFunction entries; JetFunctions.cpp registers them all. Internal to jetsql/.
#pragma once

#include <sqlite3.h>

#include <cmath>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/DateConversion.h"
#include "platform/engine/SqlText.h"

namespace platform {

// --- Values --------------------------------------------------------------------------------

// A number as Jet prints it: whole numbers without a point, others with 15 digits.
std::string NumberText(double d);
// Any argument as text: numbers as NumberText, Null as "".
std::string TextOf(sqlite3_value* v);
// A whole text as a number (blanks around it allowed), nothing when it is none.
std::optional<double> ParseNumber(std::string_view text);
bool IsNull(sqlite3_value* v);
// A number, or a text that reads as a number, True/False or a date (its day count).
std::optional<double> NumberOf(sqlite3_value* v);
// A date: a date text or day count.
std::optional<double> DateOf(sqlite3_value* v);

// --- Dates the format and the arithmetic share with the date functions ----------------------

double DayOf(const CalendarDateTime& c);  // the date's day count, without the time
int DaysInMonth(int year, int month);
int WeekdayOf(double ole, int firstDay);  // 1 = firstDay (1 Sunday ... 7 Saturday)
std::string FormatDate(double ole, std::string_view fmt);
bool IsDateFormat(std::string_view fmt);  // a format text that shows a date, not a number

// --- SQLite glue ---------------------------------------------------------------------------

struct FunctionError {
    const char* message;
};
inline constexpr FunctionError kMismatch{"Data type mismatch in criteria expression."};
inline constexpr FunctionError kInvalidCall{"Invalid procedure call or argument."};
inline constexpr FunctionError kOverflow{"Overflow."};
inline constexpr FunctionError kDivisionByZero{"Division by zero."};

using Args = std::span<sqlite3_value*>;

void ResultText(sqlite3_context* ctx, const std::string& s);
// Whole numbers as integers, others as reals.
void ResultNumber(sqlite3_context* ctx, double d);
void ResultDate(sqlite3_context* ctx, double ole);  // as the stored date text

double Need(std::optional<double> d);  // kMismatch when absent
long long NeedInt(sqlite3_value* v);   // rounded to even, as Jet does
void NeedArgs(Args a, size_t min, size_t max);
bool AnyNull(Args a);

using Body = void (*)(sqlite3_context*, Args);

// The SQLite entry point of a function body: its FunctionErrors become SQLite errors.
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

struct ScalarFunction {
    const char* name;
    int args;  // -1: any number, checked by the function
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic = true;
};

// The functions of each file, registered by RegisterJetFunctions.
std::span<const ScalarFunction> TextFunctions();
std::span<const ScalarFunction> NumberFunctions();
std::span<const ScalarFunction> DateFunctions();

}  // namespace platform
