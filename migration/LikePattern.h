// LikePattern: Visual Basic's Like operator with binary (case-sensitive) comparison.
//
// `*` matches any run of characters, `?` one character, `#` one digit, `[list]` one character
// of the list (ranges such as a-z; `!` first negates; `-` first or last is literal; `[]`
// matches nothing and consumes nothing). Texts are UTF-8 and compared character by character.
// The old-database choice uses it for its version test. Stateless.
#pragma once

#include <string_view>

namespace migration {

// Visual Basic's error number for a pattern with an unclosed `[`.
inline constexpr int kInvalidPatternString = 93;

// True when `text` matches `pattern`; platform::JetError 93 for an unclosed `[`.
bool Like(std::string_view text, std::string_view pattern);

}  // namespace migration
