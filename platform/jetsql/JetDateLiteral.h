// JetDateLiteral: the dates Jet reads between # signs in SQL text.
//
// Jet reads a date literal in its US form (month/day/year) but takes much else: a year first
// (yyyy-m-d, yyyy/m/d), day first where the first number cannot be a month, day.month.year,
// two-digit years, month names and their abbreviations, a time with or without seconds and
// with AM or PM, and a time alone (on Jet's day zero, 30 December 1899). A free function;
// no state.
#pragma once

#include <optional>
#include <string_view>

namespace platform {

// The day count (OLE date) of the literal's text without the # signs, or nothing when Jet
// would not read it as a date. A date without a year falls in the current year.
std::optional<double> ParseJetDateLiteral(std::string_view text);

}  // namespace platform
