// Jet's expression functions for SQLite: format, nz, mid, left, len, ucase, ... and the
// helpers that translated SQL calls (jet_like, jet_concat, jet_add and jet_sub for + and -).
// Names are registered with the prefix "jet_" (jet_format, jet_nz, ...); the translator writes
// calls under those names. The functions live by concern in JetTextFunctions.cpp,
// JetNumberFunctions.cpp (with Format) and JetDateFunctions.cpp; this file registers them.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace platform {

// Registers every function on the connection (jet_* scalars, the aggregates jet_first and
// jet_last) and the text order JET_GENERAL, and switches off SQLite's fallback that reads an
// unknown "name" as a string, so that a name the translated SQL quotes and no table has fails
// as "no such column". Dates go in as stored text or day counts and come out as stored text.
// Throws JetError on failure.
void RegisterJetFunctions(sqlite3* db);

// Jet's Format function for a date (stored text or day count) or number with a format text
// such as "dd.mm.yyyy", "yyyymmdd", "hh:nn:ss", "0.00".
std::string JetFormat(std::string_view valueText, bool valueIsNumber, double number,
                      std::string_view formatText);

}  // namespace platform
