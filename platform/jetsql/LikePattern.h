// LikePattern: a Jet `like` pattern, parsed once, matched in two ways.
//
// Jet's wildcards are * (any run), ? (one character), # (one digit) and character lists
// [abc], [a-z], [!abc]; letters compare without regard to case, also outside ASCII. The
// translator runs `x like 'pattern'` as SQLite's LIKE, with a range of the literal prefix that
// an index can serve, and narrows it with jet_like (Matches) only where SQLite's pattern
// matches more than Jet's. A value type; holds only the parsed pattern.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class LikePattern {
  public:
    explicit LikePattern(std::string_view jetPattern);

    bool Matches(std::string_view text) const;

    // The pattern as a SQLite LIKE pattern with '\' as escape character; it matches at least
    // what this pattern matches ('#', lists and letters outside ASCII become '_').
    std::string SqlitePattern() const;
    // True when SqlitePattern() matches more than this pattern, so that Matches must decide.
    bool NeedsExactCheck() const;
    // The bounds of a range in the text order of columns (JET_GENERAL) that holds every text
    // this pattern matches, for an index to serve: from the characters before the first
    // wildcard to just after every text starting with them. Nothing where no such prefix
    // exists or a number could match it: SQLite would compare a Number column's values with
    // the bounds as numbers ('-1' > -15), not as texts.
    std::optional<std::pair<std::string, std::string>> PrefixRange() const;

  private:
    struct Element {
        enum Kind { Literal, AnyChar, Digit, AnyRun, List } kind = Literal;
        char32_t ch = 0;  // Literal, as written
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;  // List

        bool Matches(char32_t c) const;
    };

    std::vector<Element> elements_;
};

}  // namespace platform
