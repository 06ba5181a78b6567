// SqlText: the engine's one way to fold letter case, quote and trim the text of names,
// literals and statements (internal).
//
// Names compare without regard to ASCII letter case, as Jet's names do; identifiers and
// literals are quoted as SQLite reads them. Free functions; no state.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// ASCII lower case; the key under which names are compared.
std::string LowerName(std::string_view name);
// ASCII upper case, for keyword comparisons.
std::string UpperAscii(std::string_view s);
// True when the two texts differ at most in the letter case of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);

// "name" with inner quotes doubled: an identifier as SQLite reads it.
std::string QuoteIdentifier(std::string_view name);
// 'text' with inner quotes doubled: a string literal as SQLite reads it. A text holding NUL
// bytes becomes a parenthesized concatenation with char(0).
std::string QuoteLiteral(std::string_view text);

// Without white space at either end.
std::string_view TrimSpace(std::string_view text);
// A statement's text without white space at either end and without trailing ';'.
std::string TrimText(std::string_view text);

}  // namespace platform
