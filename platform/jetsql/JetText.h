// JetText: UTF-8 text as characters, and Jet's letter case for the text of values.
//
// The Jet functions and the `like` pattern work on characters, not bytes: Mid counts letters,
// and 'Ä' matches 'ä'. Bytes that are not UTF-8 are read as Latin-1 characters, so that no
// input is refused. Free functions; no state.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::u32string DecodeUtf8(std::string_view s);
std::string EncodeUtf8(std::u32string_view s);

// Jet's case mapping of one character, from JetTextOrder's table (Latin, Greek, Cyrillic).
char32_t LowerChar(char32_t c);
char32_t UpperChar(char32_t c);

std::u32string LowerText(std::u32string s);
std::u32string UpperText(std::u32string s);

}  // namespace platform
